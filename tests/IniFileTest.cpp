#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "TestHelpers.h"
#include "core/IniFile.h"
#include "zorp/base/TextEncoding.h"

using namespace Quorvane::Viewer;

namespace {

// UTF-8 text as UTF-16 bytes of the given order, with a byte-order mark.
std::string Utf16(const std::string& text, bool bigEndian) {
  const std::vector<std::uint8_t> le = Zorp::Base::Utf8ToUtf16LE(text);
  std::string bytes = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
  for (std::size_t i = 0; i + 1 < le.size(); i += 2) {
    bytes += static_cast<char>(bigEndian ? le[i + 1] : le[i]);
    bytes += static_cast<char>(bigEndian ? le[i] : le[i + 1]);
  }
  return bytes;
}

// Ini bytes, a lookup and the string it reads ("<default>" when it falls back).
struct TReadCase {
  const char* Name;
  std::string Bytes;
  std::string Section;
  std::string Ident;
  std::string Expected;
  friend void PrintTo(const TReadCase& c, std::ostream* os) { *os << c.Name; }
};

class AnIniValue : public testing::TestWithParam<TReadCase> {};

TEST_P(AnIniValue, ReadsAsExpected) {
  const TMemIniFile ini = TMemIniFile::FromBytes(GetParam().Bytes);
  EXPECT_EQ(ini.ReadString(GetParam().Section, GetParam().Ident, "<default>"), GetParam().Expected);
}

INSTANTIATE_TEST_SUITE_P(Encodings, AnIniValue, testing::Values(
  TReadCase{"Utf8NoMark", "[S]\nk=\xC3\xA9t\xC3\xA9\n", "S", "k", "\xC3\xA9t\xC3\xA9"},
  TReadCase{"Utf8Mark", "\xEF\xBB\xBF[S]\r\nk=v\xC3\xA9\r\n", "S", "k", "v\xC3\xA9"},
  TReadCase{"Utf16LE", Utf16("[S]\r\nk=\xE2\x82\xAC 5\r\n", false), "s", "K", "\xE2\x82\xAC 5"},
  TReadCase{"Utf16BE", Utf16("[S]\r\nk=\xE2\x82\xAC 5\r\n", true), "S", "k", "\xE2\x82\xAC 5"},
  TReadCase{"InvalidLineAsWindows1252", "[S]\na=\xE9\x80\nb=\xC3\xA9", "S", "a", "\xC3\xA9\xE2\x82\xAC"},
  TReadCase{"ValidLineBesideInvalidKept", "[S]\na=\xE9\nb=\xC3\xA9", "S", "b", "\xC3\xA9"},
  TReadCase{"InvalidAfterUtf8Mark", "\xEF\xBB\xBF[S]\nk=\xFF", "S", "k", "\xC3\xBF"},
  TReadCase{"Utf16OddLastByteDropped", Utf16("[S]\nk=ab", false) + "c", "S", "k", "ab"},
  TReadCase{"Utf16LoneSurrogate", Utf16("[S]\nk=", false) + std::string("\x00\xD8", 2), "S", "k", "\xEF\xBF\xBD"},
  TReadCase{"LoneUtf8Mark", "\xEF\xBB\xBF", "S", "k", "<default>"},
  TReadCase{"Empty", "", "S", "k", "<default>"}));

INSTANTIATE_TEST_SUITE_P(Lookups, AnIniValue, testing::Values(
  TReadCase{"SectionCase", "[TCanonMakerNote]\nUseTagsFrom=X", "tcanonmakernote", "USETAGSFROM", "X"},
  TReadCase{"MissingKey", "[S]\na=1", "S", "b", "<default>"},
  TReadCase{"MissingSection", "[S]\na=1", "T", "a", "<default>"},
  TReadCase{"EmptyValueUsedAsIs", "[S]\na=\nb=2", "S", "a", ""},
  TReadCase{"Trimmed", "  [ S ]  \n\t a b \t=  c d  \r\n", "S", "a b", "c d"},
  TReadCase{"ValueKeepsEqualsAndQuotes", "[S]\nk= \"a=b\" ;c", "S", "k", "\"a=b\" ;c"},
  TReadCase{"IdentWithEqualsNotFound", "[S]\na=b=c", "S", "a=b", "<default>"},
  TReadCase{"IdentWithBlanksNotFound", "[S]\na=1", "S", " a", "<default>"},
  TReadCase{"FirstKeyWins", "[S]\nk=1\nK=2", "S", "k", "1"},
  TReadCase{"RepeatedSectionFirstKeyWins", "[S]\na=1\n[T]\n[s]\nb=2\na=3", "S", "a", "1"},
  TReadCase{"CrOnlyLines", "[S]\ra=1\rb=2", "S", "b", "2"},
  TReadCase{"CommentLine", "[S]\n ;k=1\nk=2", "S", "k", "2"},
  TReadCase{"KeyBeforeSection", "k=1\n[S]", "S", "k", "<default>"},
  TReadCase{"UnclosedHeaderSkipped", "[S]\n[T\nk=1", "S", "k", "1"},
  TReadCase{"LineWithoutEquals", "[S]\nk\nk=2", "S", "k", "2"},
  TReadCase{"EmptyKey", "[S]\n=1", "S", "", "<default>"},
  TReadCase{"NulInValue", std::string("[S]\nk=a\0b", 9), "S", "k", std::string("a\0b", 3)},
  TReadCase{"HugeLine", "[S]\nk=" + std::string(1 << 20, 'x') + "\nz=1", "S", "z", "1"}));

// A value text and what ReadInteger and ReadBool make of it (defaults 77 and true).
struct TNumberCase {
  std::string Value;
  std::int32_t Integer;
  bool Boolean;
  friend void PrintTo(const TNumberCase& c, std::ostream* os) { *os << '"' << c.Value << '"'; }
};

class AnIniNumber : public testing::TestWithParam<TNumberCase> {};

TEST_P(AnIniNumber, ReadsAsIntegerAndBoolean) {
  const TMemIniFile ini = TMemIniFile::FromBytes("[S]\nk=" + GetParam().Value + "\n");
  EXPECT_EQ(ini.ReadInteger("S", "k", 77), GetParam().Integer);
  EXPECT_EQ(ini.ReadBool("S", "k", true), GetParam().Boolean);
  EXPECT_FALSE(ini.ReadBool("S", "missing", false));
}

INSTANTIATE_TEST_SUITE_P(Values, AnIniNumber, testing::Values(
  TNumberCase{"1", 1, true}, TNumberCase{"0", 0, false}, TNumberCase{"-12", -12, true}, TNumberCase{"$1F", 31, true},
  TNumberCase{"0x00", 0, false}, TNumberCase{"0X10", 16, true}, TNumberCase{"  42  ", 42, true},
  TNumberCase{"2147483647", 2147483647, true}, TNumberCase{"2147483648", 77, true}, TNumberCase{"", 77, true},
  TNumberCase{"yes", 77, true}, TNumberCase{"1.5", 77, true}, TNumberCase{"$", 77, true}, TNumberCase{"0x", 77, true}));

TEST(IniFile, ListsSectionsAndKeysInFileOrderOnce) {
  const TMemIniFile ini = TMemIniFile::FromBytes("[B]\nz=1\na=\n[a]\n[b]\nZ=2\nm=3\n[Empty]\n");
  EXPECT_EQ(ini.ReadSections(), (std::vector<std::string>{"B", "a", "Empty"}));
  EXPECT_EQ(ini.ReadSection("b"), (std::vector<std::string>{"z", "a", "m"}));
  EXPECT_TRUE(ini.ReadSection("missing").empty());
  EXPECT_TRUE(ini.SectionExists("EMPTY"));
  EXPECT_FALSE(ini.SectionExists("C"));
  EXPECT_TRUE(ini.ValueExists("B", "A"));
  EXPECT_FALSE(ini.ValueExists("a", "z"));
  TMemIniFile reloaded = ini;
  reloaded.LoadFromBytes("[T]\nk=2");
  EXPECT_EQ(reloaded.ReadSections(), std::vector<std::string>{"T"});
}

TEST(IniFile, ReadsAFileAndTakesAMissingOneAsEmpty) {
  const auto path = std::filesystem::temp_directory_path() / "IniFileTest-MakerNotes.ini";
  std::ofstream(path, std::ios::binary) << Utf16("[TCanonMakerNote.$0001]\r\nTagDescription=Macro mode\r\n", false);
  const TMemIniFile ini(path);
  std::filesystem::remove(path);
  EXPECT_EQ(ini.ReadString("TCanonMakerNote.$0001", "TagDescription", ""), "Macro mode");
  EXPECT_EQ(ini.FileName(), path);
  const TMemIniFile missing(path);
  EXPECT_TRUE(missing.ReadSections().empty());
}

TEST(IniFile, AnyBytesLoadWithoutHarm) {
  std::mt19937 random(20261208);
  static const char letters[] = "[]=;\r\n \t\xEF\xBB\xBF\xFF\xFE\x00\xD8\xDC" "ab";
  const std::string alphabet(letters, sizeof letters - 1);
  for (int round = 0; round < 500; ++round) {
    std::string bytes(random() % 200, '\0');
    for (char& c : bytes) c = alphabet[random() % alphabet.size()];
    const TMemIniFile ini = TMemIniFile::FromBytes(bytes);
    for (const std::string& section : ini.ReadSections())
      for (const std::string& key : ini.ReadSection(section)) {
        ASSERT_TRUE(ini.ValueExists(section, key));
        ASSERT_TRUE(Zorp::Base::IsValidUtf8(key + ini.ReadString(section, key, "")));
      }
  }
}

// ---- description files that are not what they claim ----

class ADescriptionFile : public testing::Test {
 protected:
  void SetUp() override { Folder = Zorp::Testing::FreshTestFolder("IniFileTest"); }
  void TearDown() override { std::filesystem::remove_all(Folder); }
  std::filesystem::path Folder;
};

TEST_F(ADescriptionFile, IsReadOnlyWhenItIsARegularFileOfAtMostFourMegabytes) {
  const std::filesystem::path fifo = Folder / "fifo.ini", large = Folder / "large.ini", limit = Folder / "limit.ini";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const std::string entry = "[S]\nk=v\n";
  std::ofstream(large, std::ios::binary) << entry << std::string(TMemIniFile::MaxFileSize + 1 - entry.size(), ';');
  std::ofstream(limit, std::ios::binary) << entry << std::string(TMemIniFile::MaxFileSize - entry.size(), ';');
  const struct {
    std::filesystem::path Path;
    const char* Reason;  // "" when it loads
  } cases[] = {
      {"/dev/zero", "the description file is not a regular file"},
      {fifo, "the description file is not a regular file"},
      {Folder, "the description file is not a regular file"},
      {large, "the description file is larger than 4 MB"},
      {limit, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Path.string());
    TMemIniFile ini = TMemIniFile::FromBytes("[Old]\nk=1");
    const auto start = std::chrono::steady_clock::now();
    if (*c.Reason) {
      EXPECT_THROW_MSG(ini.LoadFromFile(c.Path), Zorp::Base::EFOpenError, c.Path.string() + ": " + c.Reason);
      EXPECT_TRUE(ini.ReadSections().empty());  // the old contents gone too
    } else {
      ini.LoadFromFile(c.Path);
      EXPECT_EQ(ini.ReadString("S", "k", ""), "v");
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));  // never blocks
  }
}

// A label or description shown to a person is cut at 200 characters, not bytes.
TEST(IniFile, CutsShownTextsAtTwoHundredCharacters) {
  const std::string e200 = [] {
    std::string text;
    for (int i = 0; i < 200; ++i) text += "\xC3\xA9";
    return text;
  }();
  const struct {
    std::string Value;
    std::string Shown;
  } cases[] = {
      {std::string(200, 'x'), std::string(200, 'x')},
      {std::string(201, 'x'), std::string(200, 'x') + "\xE2\x80\xA6"},
      {e200, e200},
      {e200 + "\xE2\x82\xAC", e200 + "\xE2\x80\xA6"},
      {std::string(1 << 20, 'y'), std::string(200, 'y') + "\xE2\x80\xA6"},
  };
  for (const auto& c : cases) {
    const TMemIniFile ini = TMemIniFile::FromBytes("[S]\nk=" + c.Value + "\n");
    EXPECT_EQ(ini.ReadShownString("S", "k", "d"), c.Shown) << c.Value.size();
    EXPECT_EQ(ini.ReadString("S", "k", "d"), c.Value);
  }
  const TMemIniFile empty;
  EXPECT_EQ(empty.ReadShownString("S", "k", std::string(300, 'd')), std::string(300, 'd'));  // a default as it is
}

}  // namespace
