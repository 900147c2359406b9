// Sections: ordering, the fixed and extendable edit policies, typed access, enumeration while
// deleting, loading from an IFD, and the notifications that reach the owning container.

#include <gtest/gtest.h>

#include "TestHelpers.h"

#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "ByteBuilder.h"
#include "zorp/base/DateTime.h"
#include "zorp/exif/Consts.h"
#include "zorp/exif/ExifExceptions.h"
#include "zorp/exif/ExifSections.h"
#include "zorp/exif/TagIDs.h"

using namespace Zorp::Exif;
using Zorp::Base::EncodeDateTime;
using Zorp::Base::TMemoryStream;
using Zorp::Testing::ByteBuilder;

namespace {

// A container stand-in that coalesces changes within BeginUpdate/EndUpdate into one event.
class TTestOwner : public TExifSectionOwner {
 public:
  void BeginUpdate() override { ++FUpdateCount; }
  void EndUpdate() override {
    if (--FUpdateCount == 0 && FChangedWhileUpdating) {
      FChangedWhileUpdating = false;
      ++ChangeEvents;
    }
  }
  void SectionChanged(TExifSection*) override {
    if (FUpdateCount > 0)
      FChangedWhileUpdating = true;
    else
      ++ChangeEvents;
  }
  void ResetMakerNote() override { ++MakerNoteResets; }
  bool EnforceASCII() const override { return Enforce; }
  bool AlwaysWritePreciseTimes() const override { return PreciseTimes; }
  TExifSection* Section(TExifSectionKind kind) override { return kind == skExif ? ExifSection : nullptr; }

  int ChangeEvents = 0;
  int MakerNoteResets = 0;
  bool Enforce = true;
  bool PreciseTimes = false;
  TExifSection* ExifSection = nullptr;
  int UpdateDepth() const { return FUpdateCount; }

 private:
  int FUpdateCount = 0;
  bool FChangedWhileUpdating = false;
};

std::vector<TExifTagID> IDs(const TExifSection& section) {
  std::vector<TExifTagID> ids;
  for (TExifTag* tag : section) ids.push_back(tag->ID());
  return ids;
}

std::vector<std::uint8_t> BytesOf(const TExifTag* tag) { return {tag->Bytes().begin(), tag->Bytes().end()}; }

// One entry of a test IFD; Value holds the bytes as they lie in the file.
struct TestEntry {
  TExifTagID ID;
  std::uint16_t Type;
  std::int32_t Count;
  std::vector<std::uint8_t> Value;
};

std::vector<std::uint8_t> Text(const std::string& text) {
  std::vector<std::uint8_t> bytes(text.begin(), text.end());
  bytes.push_back(0);
  return bytes;
}

// Writes an IFD at offset 0 (count, entries, next link, then the values that do not fit an entry)
// and describes it as the reader records it.
void BuildIfd(TByteOrder order, const std::vector<TestEntry>& entries, TMemoryStream& stream, TIfdInfo& info) {
  ByteBuilder builder(order);
  std::vector<std::uint8_t> data;
  const std::size_t dataStart = 2 + 12 * entries.size() + 4;
  builder.U16(static_cast<std::uint16_t>(entries.size()));
  info = {};
  for (const TestEntry& entry : entries) {
    TIfdEntryInfo record;
    record.EntryOffset = static_cast<std::int64_t>(builder.Size());
    record.ID = entry.ID;
    record.DataType = entry.Type;
    record.ElementCount = entry.Count;
    builder.U16(entry.ID).U16(entry.Type).U32(static_cast<std::uint32_t>(entry.Count));
    if (entry.Value.size() <= 4) {
      record.DataOffset = static_cast<std::int64_t>(builder.Size());
      builder.Bytes(entry.Value).Fill(4 - entry.Value.size());
    } else {
      record.DataOffset = static_cast<std::int64_t>(dataStart + data.size());
      builder.U32(static_cast<std::uint32_t>(record.DataOffset));
      data.insert(data.end(), entry.Value.begin(), entry.Value.end());
    }
    info.Entries.push_back(record);
  }
  builder.U32(0).Bytes(data);
  builder.ToStream(stream);
}

class AnExifSection : public ::testing::Test {
 protected:
  void SetUp() override { FOwner.ExifSection = &FExif; }

  // Loads entries into section through a reader over their bytes.
  void LoadInto(TExifSection& section, const std::vector<TestEntry>& entries, TByteOrder order = boLittleEndian) {
    TIfdInfo info;
    BuildIfd(order, entries, FStream, info);
    TTiffReader reader(FStream, 0, order);
    section.LoadFromIfd(reader, info);
  }

  TTestOwner FOwner;
  TExtendableExifSection FPrimary{&FOwner, skPrimary};
  TExtendableExifSection FExif{&FOwner, skExif};
  TMemoryStream FStream;
};

}  // namespace

// ---- Order, adding and renaming ----

TEST_F(AnExifSection, KeepsTagsInAscendingIdOrderAndRefusesDuplicates) {
  FPrimary.AddTag(300, dtShort, 1);
  FPrimary.AddTag(100, dtShort, 1);
  FPrimary.AddTag(200, dtShort, 1);
  EXPECT_EQ(IDs(FPrimary), (std::vector<TExifTagID>{100, 200, 300}));

  EXPECT_THROW_MSG(FPrimary.AddTag(200, dtLong, 1), ETagAlreadyExists,
                   "Tag with ID of \"200\" already exists in section");
  EXPECT_EQ(FPrimary.Count(), 3);
  EXPECT_EQ(FPrimary.Find(200)->DataType(), dtShort);
}

TEST_F(AnExifSection, MovesARenamedTagToItsPlace) {
  for (TExifTagID id : {100, 200, 300}) FPrimary.AddTag(id, dtShort, 1);
  FPrimary.Find(100)->SetID(250);
  EXPECT_EQ(IDs(FPrimary), (std::vector<TExifTagID>{200, 250, 300}));
  FPrimary.Find(300)->SetID(50);
  EXPECT_EQ(IDs(FPrimary), (std::vector<TExifTagID>{50, 200, 250}));

  EXPECT_THROW_MSG(FPrimary.Find(50)->SetID(250), ETagAlreadyExists,
                   "Tag with ID of \"250\" already exists in section");
  EXPECT_EQ(IDs(FPrimary), (std::vector<TExifTagID>{50, 200, 250}));
}

TEST_F(AnExifSection, FindsTagsAndTestsTheirTypeAndCount) {
  FPrimary.AddTag(100, dtShort, 2);
  FPrimary.AddTag(300, dtShort, 1);
  std::int32_t index = -1;
  EXPECT_FALSE(FPrimary.FindIndex(200, index));
  EXPECT_EQ(index, 1);
  EXPECT_TRUE(FPrimary.FindIndex(300, index));
  EXPECT_EQ(index, 1);

  EXPECT_TRUE(FPrimary.TagExists(100, {dtShort, dtLong}, 2));
  EXPECT_FALSE(FPrimary.TagExists(100, {dtShort}, 3));
  EXPECT_FALSE(FPrimary.TagExists(100, {dtLong}));
  EXPECT_FALSE(FPrimary.TagExists(200, AllTiffDataTypes()));
  EXPECT_THROW_MSG(FPrimary.Tags(2), Zorp::Base::EListError, "List index out of bounds (2)");
}

// ---- Removing and enumerating ----

TEST_F(AnExifSection, EnumerationVisitsEveryTagOnceWhileTheCurrentOneIsFreed) {
  for (TExifTagID id : {10, 20, 30, 40, 50}) FPrimary.AddTag(id, dtByte, 1);
  std::vector<TExifTagID> visited;
  for (TExifTag* tag : FPrimary) {
    visited.push_back(tag->ID());
    if (tag->ID() != 30) FPrimary.Remove(tag->ID());
  }
  EXPECT_EQ(visited, (std::vector<TExifTagID>{10, 20, 30, 40, 50}));
  EXPECT_EQ(IDs(FPrimary), (std::vector<TExifTagID>{30}));
}

TEST_F(AnExifSection, LetsAFreedTagTakeItselfOutOfTheList) {
  for (TExifTagID id : {10, 20, 30}) FPrimary.AddTag(id, dtByte, 1);
  FOwner.ChangeEvents = 0;
  TExifSectionEnumerator enumerator = FPrimary.GetEnumerator();
  std::vector<TExifTagID> visited;
  while (enumerator.MoveNext()) {
    visited.push_back(enumerator.Current()->ID());
    std::unique_ptr<TExifTag> freed(enumerator.Current());  // freeing a tag deletes it from its section
  }
  EXPECT_EQ(visited, (std::vector<TExifTagID>{10, 20, 30}));
  EXPECT_EQ(FPrimary.Count(), 0);
  EXPECT_EQ(FOwner.ChangeEvents, 3);
}

TEST_F(AnExifSection, RemovesOneOrManyTagsInEitherSectionClass) {
  TExifSection fixed(&FOwner, skPrimary);
  LoadInto(fixed, {{10, dtByte, 1, {1}}, {20, dtByte, 1, {2}}, {30, dtByte, 1, {3}}, {40, dtByte, 1, {4}}});
  EXPECT_TRUE(fixed.Remove(20));
  EXPECT_FALSE(fixed.Remove(20));
  FOwner.ChangeEvents = 0;
  fixed.Remove({10, 40, 99});
  EXPECT_EQ(IDs(fixed), (std::vector<TExifTagID>{30}));
  EXPECT_EQ(FOwner.ChangeEvents, 1);  // one event for the whole batch
}

TEST_F(AnExifSection, RemovesOnePaddingTagPerCall) {
  const std::vector<std::uint8_t> padding = {0x1C, 0xEA, 0, 0, 0, 0};
  LoadInto(FPrimary,
           {{ttPadding, dtUndefined, 6, padding}, {0x0100, dtShort, 1, {1, 0}}, {ttPadding, dtUndefined, 6, padding}});
  EXPECT_EQ(IDs(FPrimary), (std::vector<TExifTagID>{0x0100, ttPadding, ttPadding}));  // duplicates from a file stay
  EXPECT_TRUE(FPrimary.RemovePaddingTag());
  EXPECT_EQ(FPrimary.Count(), 2);
  EXPECT_TRUE(FPrimary.RemovePaddingTag());
  EXPECT_FALSE(FPrimary.RemovePaddingTag());
  EXPECT_EQ(IDs(FPrimary), (std::vector<TExifTagID>{0x0100}));
}

// Loading sorts short directories one way and long ones another: both give ascending IDs with
// duplicates in file order (each entry's byte tells which one it was).
TEST_F(AnExifSection, LoadsEntriesInIdOrderWithDuplicatesInFileOrder) {
  struct TCase {
    const char* Name;
    std::size_t Count;
    TExifTagID (*IdOf)(std::size_t);
  };
  const TCase cases[] = {
      {"short, reversed", 10, [](std::size_t i) { return static_cast<TExifTagID>(100 - i); }},
      {"short, pairs", 40, [](std::size_t i) { return static_cast<TExifTagID>(500 - i / 2); }},
      {"short, in order", 64, [](std::size_t i) { return static_cast<TExifTagID>(i); }},
      {"long, pairs reversed", 300, [](std::size_t i) { return static_cast<TExifTagID>(1000 - i / 2); }},
      {"long, interleaved", 200, [](std::size_t i) { return static_cast<TExifTagID>(i % 7); }},
      {"long, in order", 100, [](std::size_t i) { return static_cast<TExifTagID>(i); }},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    std::vector<TestEntry> entries;
    for (std::size_t i = 0; i < c.Count; ++i)
      entries.push_back({c.IdOf(i), dtByte, 1, {static_cast<std::uint8_t>(i)}});
    TExtendableExifSection section(&FOwner, skMakerNote);
    LoadInto(section, entries);
    ASSERT_EQ(section.Count(), static_cast<std::int32_t>(c.Count));
    const TExifTag* previous = nullptr;
    for (const TExifTag* tag : section) {
      if (previous) {
        EXPECT_LE(previous->ID(), tag->ID());
        if (previous->ID() == tag->ID()) {
          EXPECT_LT(previous->Bytes()[0], tag->Bytes()[0]);
        }
      }
      previous = tag;
    }
  }
}

// ---- The fixed layout ----

TEST_F(AnExifSection, WithAFixedLayoutLetsValuesChangeOnlyWithinTheirRoom) {
  TExifSection fixed(&FOwner, skPrimary);
  ByteBuilder shortValue(boBigEndian);
  shortValue.U16(1);
  LoadInto(fixed, {{ttMake, dtAscii, 20, Text("Canon EOS 5D Mark I")}, {ttOrientation, dtShort, 1, shortValue.Data()}},
           boBigEndian);
  TExifTag* make = fixed.Find(ttMake);
  ASSERT_NE(make, nullptr);
  EXPECT_EQ(make->SourceDataSize(), 20u);

  make->SetAsString("Canon EOS 5");  // 12 bytes fit the 20 it had
  EXPECT_THROW_MSG(make->SetAsString("Canon EOS 5D Mark II and more"), EIllegalEditOfExifData, SIllegalEditOfExifData);
  EXPECT_EQ(make->AsString(), "Canon EOS 5");
  EXPECT_EQ(make->ElementCount(), 12);

  TExifTag* orientation = fixed.Find(ttOrientation);
  const std::uint32_t six = 6;
  orientation->UpdateData(dtLong, 1, &six);  // 4 bytes fit the entry itself
  EXPECT_EQ(fixed.GetLongWordValue(ttOrientation, 0).Value, 6u);
  EXPECT_THROW(orientation->SetElementCount(2), EIllegalEditOfExifData);

  EXPECT_THROW_MSG(fixed.AddTag(0x0131, dtAscii, 2), EIllegalEditOfExifData, SIllegalEditOfExifData);
  EXPECT_THROW(orientation->SetID(0x0113), EIllegalEditOfExifData);
  EXPECT_EQ(IDs(fixed), (std::vector<TExifTagID>{ttMake, ttOrientation}));
}

TEST_F(AnExifSection, AssignsCopiesOfAnotherSectionsTags) {
  FPrimary.SetStringValue(ttMake, "Canon");
  FPrimary.SetWordValue(ttOrientation, 0, 3);
  TExtendableExifSection copy(&FOwner, skThumbnail);
  copy.AddTag(5, dtByte, 1);
  copy.Assign(&FPrimary);
  EXPECT_EQ(IDs(copy), (std::vector<TExifTagID>{ttMake, ttOrientation}));
  EXPECT_EQ(copy.GetStringValue(ttMake), "Canon");
  EXPECT_NE(copy.Find(ttMake), FPrimary.Find(ttMake));

  copy.Assign(&copy);
  EXPECT_EQ(copy.Count(), 2);
  copy.Assign(nullptr);
  EXPECT_EQ(copy.Count(), 0);

  TExifSection fixed(&FOwner, skPrimary);
  EXPECT_THROW(fixed.Assign(&FPrimary), EIllegalEditOfExifData);  // a fixed layout cannot gain tags
}

TEST_F(AnExifSection, TagAssignWithinOneSectionKeepsTheId) {
  FPrimary.SetStringValue(ttMake, "Canon");
  FPrimary.SetWordValue(ttOrientation, 0, 3);
  FPrimary.Find(ttOrientation)->Assign(FPrimary.Find(ttMake));
  EXPECT_EQ(FPrimary.GetStringValue(ttOrientation), "Canon");
  EXPECT_EQ(FPrimary.GetStringValue(ttMake), "Canon");
}

// ---- Loading ----

TEST_F(AnExifSection, LoadsAnIfdSortedAndUnmodified) {
  ByteBuilder builder(boBigEndian);
  builder.Fill(6);  // the IFD starts at offset 6
  builder.U16(3);
  builder.U16(0x0112).U16(dtShort).U32(1).U16(6).U16(0);
  builder.U16(0x010F).U16(dtAscii).U32(6).U32(48);
  builder.U16(0x0100).U16(dtLong).U32(1).U32(4000);
  builder.U32(0).Text("Nikon").Bytes({0});
  builder.ToStream(FStream);
  TTiffReader reader(FStream, 0, boBigEndian);

  FPrimary.AddTag(1, dtByte, 1);
  FPrimary.Load(reader, 6);
  EXPECT_EQ(IDs(FPrimary), (std::vector<TExifTagID>{0x0100, 0x010F, 0x0112}));
  EXPECT_EQ(FPrimary.FirstTagHeaderOffset(), 8);
  EXPECT_EQ(FPrimary.GetStringValue(0x010F), "Nikon");
  EXPECT_EQ(FPrimary.GetWordValue(0x0112, 0), 6);
  EXPECT_EQ(FPrimary.GetLongWordValue(0x0100, 0).Value, 4000u);
  EXPECT_EQ(FPrimary.Find(0x010F)->SourceDataOffset(), 48);
  EXPECT_FALSE(FPrimary.Modified());
  EXPECT_TRUE(FPrimary.LoadErrors().Empty());
}

TEST_F(AnExifSection, TakesTheLoadErrorsOfItsIfdUntilCleared) {
  TIfdInfo info;
  info.LoadErrors = {leBadOffset};
  TTiffReader reader(FStream, 0, boLittleEndian);
  FPrimary.LoadFromIfd(reader, info);
  EXPECT_TRUE(FPrimary.LoadErrors().Contains(leBadOffset));
  EXPECT_EQ(FPrimary.FirstTagHeaderOffset(), 0);
  FPrimary.SetWordValue(1, 0, 1);
  FPrimary.Clear();
  EXPECT_TRUE(FPrimary.LoadErrors().Empty());
  EXPECT_TRUE(FPrimary.Modified());  // clearing is a change; only loading resets the flag
}

// ---- Typed reading ----

TEST_F(AnExifSection, GettersGiveDefaultsForWrongTypesAndIndexes) {
  FPrimary.SetWordValue(1, 0, 0x1234);
  const std::uint8_t minusOne = 0xFF;
  FPrimary.SetArrayElement(2, dtSByte, 0, &minusOne);
  const std::int32_t offset = 8;
  FPrimary.SetArrayElement(3, dtIfd, 0, &offset);
  const std::int32_t negative = -5;
  FPrimary.SetArrayElement(4, dtSLong, 0, &negative);
  FPrimary.SetFractionValue(5, 0, {3, 4});

  std::uint8_t byte = 0;
  EXPECT_FALSE(FPrimary.TryGetByteValue(1, 0, byte));
  EXPECT_TRUE(FPrimary.TryGetByteValue(2, 0, byte));
  EXPECT_EQ(byte, 0xFF);

  std::uint16_t word = 0;
  EXPECT_TRUE(FPrimary.TryGetWordValue(2, 0, word));
  EXPECT_EQ(word, 0x00FF);  // zero-extended, not sign-extended
  EXPECT_FALSE(FPrimary.TryGetWordValue(4, 0, word));
  EXPECT_EQ(FPrimary.GetWordValue(1, 0), 0x1234);
  EXPECT_EQ(FPrimary.GetWordValue(1, 1), MissingWord);
  EXPECT_EQ(FPrimary.GetWordValue(1, -1), MissingWord);
  EXPECT_EQ(FPrimary.GetWordValue(99, 0), 65536);

  std::uint32_t longValue = 0;
  EXPECT_FALSE(FPrimary.TryGetLongValue(3, 0, longValue));  // an IFD offset is not a number
  EXPECT_EQ(FPrimary.GetLongIntValue(4, 0).Value, -5);
  EXPECT_FALSE(FPrimary.GetLongIntValue(4, 0).Missing);
  const TOptionalLongWord missing = FPrimary.GetLongWordValue(5, 0);
  EXPECT_TRUE(missing.Missing);
  EXPECT_EQ(missing.Value, 0u);

  EXPECT_EQ(FPrimary.GetFractionValue(5, 0), (TTiffRational{3, 4}));
  EXPECT_EQ(FPrimary.GetFractionValue(5, 1, {1, 1}), (TTiffRational{1, 1}));
  EXPECT_EQ(FPrimary.GetFractionValue(1, 0), (TTiffRational{0, 0}));

  EXPECT_EQ(FPrimary.GetStringValue(1, "none"), "none");
}

TEST_F(AnExifSection, ReadsAsciiTextLoadedWithOrWithoutItsNul) {
  using namespace std::string_literals;
  struct Case {
    std::string Bytes;  // the whole value, count = its size
    std::string Text;
  };
  const Case cases[] = {{"Canon\0"s, "Canon"}, {"Canon"s, "Canon"},    {"1.710_KR"s, "1.710_KR"}, {"N"s, "N"},
                        {"\0"s, ""},           {"AB\0CD"s, "AB\0CD"s}, {"AB\0\0"s, "AB\0"s}};
  for (const TByteOrder order : {boLittleEndian, boBigEndian}) {
    for (const Case& c : cases) {
      LoadInto(FPrimary,
               {{ttMake, dtAscii, static_cast<std::int32_t>(c.Bytes.size()),
                 std::vector<std::uint8_t>(c.Bytes.begin(), c.Bytes.end())}},
               order);
      EXPECT_EQ(FPrimary.GetStringValue(ttMake, "none"), c.Text) << c.Bytes;
      EXPECT_EQ(FPrimary.Find(ttMake)->AsString(), c.Text) << c.Bytes;
    }
  }
}

TEST_F(AnExifSection, ReadsSubSecondsWrittenWithoutTheirNul) {
  FExif.SetStringValue(ttDateTimeOriginal, "2010:07:04 10:20:30");
  struct Case {
    const char* Bytes;
    std::int32_t Count;
    int Milliseconds;
  };
  for (const Case& c : {Case{"5", 1, 500}, Case{"123", 3, 123}, Case{"12", 3, 120}, Case{"", 1, 0}}) {
    FExif.AddOrUpdateTag(ttSubsecTimeOriginal, dtAscii, c.Count, c.Bytes);
    const auto parts = Zorp::Base::DecodeDateTime(FExif.GetDateTimeValue(ttDateTimeOriginal, ttSubsecTimeOriginal));
    EXPECT_EQ(parts.Millisecond, c.Milliseconds) << c.Bytes << "/" << c.Count;
  }
}

TEST_F(AnExifSection, ReadsWindowsTextOnlyFromWholeCodeUnits) {
  // Five bytes: two code units and a stray byte; without a NUL terminator the last unit is text.
  const std::uint8_t odd[] = {'A', 0, 'b', 0, 0};
  FPrimary.AddOrUpdateTag(ttXPTitle, dtByte, 5, odd);
  EXPECT_EQ(FPrimary.GetWindowsStringValue(ttXPTitle), "Ab");
  EXPECT_EQ(FPrimary.Find(ttXPTitle)->AsString(), "Ab");
  FPrimary.AddOrUpdateTag(ttXPTitle, dtByte, 1, odd);
  EXPECT_EQ(FPrimary.GetWindowsStringValue(ttXPTitle, "none"), "none");
  EXPECT_EQ(FPrimary.Find(ttXPTitle)->AsString(), "");
}

// ---- Typed writing ----

TEST_F(AnExifSection, SetWordValueCreatesOrConvertsTheTag) {
  FPrimary.SetWordValue(500, 2, 7);
  EXPECT_EQ(FPrimary.Find(500)->DataType(), dtShort);
  EXPECT_EQ(FPrimary.Find(500)->AsString(), "0,0,7");

  FPrimary.SetLongWordValue(600, 0, 70000);
  FPrimary.SetWordValue(600, 0, 5);
  EXPECT_EQ(FPrimary.Find(600)->DataType(), dtShort);
  EXPECT_EQ(FPrimary.Find(600)->ElementCount(), 1);
  EXPECT_EQ(FPrimary.GetWordValue(600, 0), 5);

  FPrimary.SetByteValue(600, 2, 9);  // the byte setter imposes its type, keeping the values
  EXPECT_EQ(FPrimary.Find(600)->AsString(), "5,0,9");
}

TEST_F(AnExifSection, SetArrayElementRefusesANegativeIndex) {
  const std::uint16_t value = 1;
  EXPECT_THROW(FPrimary.SetArrayElement(500, dtShort, -1, &value), Zorp::Base::EAssertionFailed);
  EXPECT_EQ(FPrimary.Count(), 0);
}

TEST_F(AnExifSection, SetFractionValueWithZeroOverZeroShrinksOrDeletes) {
  FPrimary.SetFractionValue(7, 2, {5, 1});
  FPrimary.SetFractionValue(7, 0, {1, 1});
  FPrimary.SetFractionValue(7, 1, {2, 1});
  FPrimary.SetFractionValue(7, 1, {0, 0});  // not the last element: stored
  EXPECT_EQ(FPrimary.Find(7)->ElementCount(), 3);
  EXPECT_EQ(FPrimary.GetFractionValue(7, 1, {9, 9}), (TTiffRational{0, 0}));
  EXPECT_EQ(FPrimary.GetFractionValue(7, 2), (TTiffRational{5, 1}));
  FPrimary.SetFractionValue(7, 2, {0, 0});  // the last element: cut off
  EXPECT_EQ(FPrimary.Find(7)->ElementCount(), 2);
  FPrimary.SetFractionValue(7, 5, {0, 0});  // beyond the elements: nothing
  EXPECT_EQ(FPrimary.Find(7)->ElementCount(), 2);
  FPrimary.SetFractionValue(7, 1, {0, 0});
  FPrimary.SetFractionValue(7, 0, {0, 0});  // the only element: the tag goes
  EXPECT_EQ(FPrimary.Find(7), nullptr);
  FPrimary.SetFractionValue(8, 0, {0, 0});  // absent: nothing
  EXPECT_EQ(FPrimary.Count(), 0);
}

TEST_F(AnExifSection, SetStringValueWithEmptyTextRemovesTheTag) {
  FPrimary.SetStringValue(ttModel, "X100");
  EXPECT_EQ(FPrimary.Find(ttModel)->ElementCount(), 5);
  FPrimary.SetStringValue(ttModel, "");
  EXPECT_EQ(FPrimary.Find(ttModel), nullptr);
}

// ---- Text policy ----

TEST_F(AnExifSection, RejectsNonAsciiTextWhileTheOwnerEnforcesAscii) {
  FPrimary.SetStringValue(ttArtist, "Ann");
  EXPECT_THROW_MSG(FPrimary.SetStringValue(ttArtist, "Ren\xC3\xA9"), ENotOnlyASCIIError,
                   "Tag may contain only ASCII string data");
  EXPECT_THROW_MSG(FPrimary.Find(ttArtist)->SetAsString("\xC2\x80"), ENotOnlyASCIIError,
                   "Tag may contain only ASCII string data");
  EXPECT_EQ(FPrimary.GetStringValue(ttArtist), "Ann");

  FOwner.Enforce = false;
  FPrimary.SetStringValue(ttArtist, "Ren\xC3\xA9");
  EXPECT_EQ(BytesOf(FPrimary.Find(ttArtist)), (std::vector<std::uint8_t>{'R', 'e', 'n', 0xC3, 0xA9, 0}));
  EXPECT_EQ(FPrimary.GetStringValue(ttArtist), "Ren\xC3\xA9");
}

TEST_F(AnExifSection, StoresWindowsTextAsUtf16OnlyInThePrimarySection) {
  FPrimary.SetWindowsStringValue(ttXPTitle, "Ab");
  TExifTag* title = FPrimary.Find(ttXPTitle);
  EXPECT_EQ(title->DataType(), dtByte);
  EXPECT_EQ(BytesOf(title), (std::vector<std::uint8_t>{0x41, 0, 0x62, 0, 0, 0}));
  EXPECT_TRUE(title->IsWindowsText());
  EXPECT_EQ(title->AsString(), "Ab");
  EXPECT_EQ(FPrimary.GetWindowsStringValue(ttXPTitle), "Ab");

  title->SetAsString("\xC3\xA9t\xC3\xA9");  // no ASCII rule for UTF-16 text
  EXPECT_EQ(title->ElementCount(), 8);
  EXPECT_EQ(FPrimary.GetWindowsStringValue(ttXPTitle), "\xC3\xA9t\xC3\xA9");

  FExif.SetWindowsStringValue(ttXPTitle, "Ab");
  EXPECT_FALSE(FExif.Find(ttXPTitle)->IsWindowsText());
  EXPECT_EQ(FExif.Find(ttXPTitle)->AsString(), "65,0,98,0,0,0");
}

TEST_F(AnExifSection, GivesATagsTextAfreshWhenItsIDMakesItWindowsTextOrNot) {
  const std::vector<std::uint8_t> bytes = {0x41, 0, 0x62, 0, 0, 0};
  TExifTag* tag = FPrimary.AddOrUpdateTag(100, dtByte, 6, bytes.data());
  EXPECT_EQ(tag->AsString(), "65,0,98,0,0,0");
  tag->SetID(ttXPTitle);
  EXPECT_EQ(tag->AsString(), "Ab");
  tag->SetAsString(tag->AsString());  // the text reads back as the same bytes
  EXPECT_EQ(BytesOf(tag), bytes);
  tag->SetID(100);
  EXPECT_EQ(tag->AsString(), "65,0,98,0,0,0");
}

// ---- Date-times ----

TEST_F(AnExifSection, ReadsSubSecondsFromTheExifSection) {
  FExif.SetStringValue(ttDateTimeOriginal, "2010:07:04 10:20:30");
  const Zorp::Base::TDateTime whole = EncodeDateTime(2010, 7, 4, 10, 20, 30, 0);
  EXPECT_EQ(FExif.GetDateTimeValue(ttDateTimeOriginal, 0), whole);

  struct Case {
    const char* Text;
    int Milliseconds;
  };
  for (const Case& c : {Case{"25", 250}, Case{"5", 500}, Case{"05", 50}, Case{"123456", 123}, Case{"x", 0}}) {
    FExif.SetStringValue(ttSubsecTimeOriginal, c.Text);
    const auto parts = Zorp::Base::DecodeDateTime(FExif.GetDateTimeValue(ttDateTimeOriginal, ttSubsecTimeOriginal));
    EXPECT_EQ(parts.Second, 30) << c.Text;
    EXPECT_EQ(parts.Millisecond, c.Milliseconds) << c.Text;
  }

  // The date may lie elsewhere; the sub-seconds always come from the Exif section.
  FPrimary.SetStringValue(ttDateTime, "2010:07:04 10:20:30");
  FExif.SetStringValue(ttSubsecTime, "7");
  EXPECT_EQ(Zorp::Base::DecodeDateTime(FPrimary.GetDateTimeValue(ttDateTime, ttSubsecTime)).Millisecond, 700);

  FPrimary.SetStringValue(ttDateTime, "2010:02:30 10:20:30");
  EXPECT_EQ(FPrimary.GetDateTimeValue(ttDateTime, ttSubsecTime, 42.0), 42.0);
}

TEST_F(AnExifSection, WritesDateTimesWithTheirSubSeconds) {
  const Zorp::Base::TDateTime value = EncodeDateTime(2011, 12, 31, 23, 59, 58, 250);
  FExif.SetDateTimeValue(ttDateTimeOriginal, ttSubsecTimeOriginal, value);
  EXPECT_EQ(FExif.GetStringValue(ttDateTimeOriginal), "2011:12:31 23:59:58");
  EXPECT_EQ(FExif.Find(ttSubsecTimeOriginal), nullptr);  // not created unless precise times are wanted

  FOwner.PreciseTimes = true;
  FExif.SetDateTimeValue(ttDateTimeOriginal, ttSubsecTimeOriginal, value);
  EXPECT_EQ(FExif.GetStringValue(ttSubsecTimeOriginal), "250");
  EXPECT_EQ(FExif.Find(ttSubsecTimeOriginal)->ElementCount(), 4);

  FOwner.PreciseTimes = false;
  FExif.SetWordValue(ttSubsecTime, 0, 1);  // an existing sub-second tag is rewritten as text
  FPrimary.SetDateTimeValue(ttDateTime, ttSubsecTime, value + 0.5);
  EXPECT_EQ(FPrimary.GetStringValue(ttDateTime), "2012:01:01 11:59:58");
  EXPECT_EQ(FExif.Find(ttSubsecTime)->DataType(), dtAscii);
  EXPECT_EQ(FExif.GetStringValue(ttSubsecTime), "250");

  FPrimary.SetDateTimeValue(ttDateTime, ttSubsecTime, 0);
  EXPECT_EQ(FPrimary.Find(ttDateTime), nullptr);
  EXPECT_EQ(FExif.Find(ttSubsecTime), nullptr);
  EXPECT_NE(FExif.Find(ttSubsecTimeOriginal), nullptr);
}

TEST(ADateTimeWrite, ChangesNeitherTagWhenSomethingIsRefused) {
  const Zorp::Base::TDateTime valid = EncodeDateTime(2011, 12, 31, 23, 59, 58, 250);
  struct Case {
    const char* Name;
    bool FixedPrimary;
    bool FixedExif;
    Zorp::Base::TDateTime Value;
  };
  const Case cases[] = {
      {"a date with no entry in a fixed layout", true, false, valid},
      {"a new sub-second tag in a fixed layout", false, true, valid},
      {"not a number", false, false, std::nan("")},
      {"infinity", false, false, HUGE_VAL},
      {"after year 9999", false, false, Zorp::Base::EncodeDate(9999, 12, 31) + 1},
      {"before year 1", false, false, Zorp::Base::EncodeDate(1, 1, 1) - 1},
  };
  auto dump = [](const TExifSection& section) {
    std::vector<std::vector<std::uint8_t>> tags;
    for (TExifTag* tag : section) {
      tags.push_back(BytesOf(tag));
      tags.back().push_back(static_cast<std::uint8_t>(tag->ID()));
    }
    return tags;
  };
  for (const Case& c : cases) {
    TTestOwner owner;
    owner.PreciseTimes = true;
    auto makeSection = [&owner](bool fixed, TExifSectionKind kind) -> std::unique_ptr<TExifSection> {
      if (fixed) return std::make_unique<TExifSection>(&owner, kind);
      return std::make_unique<TExtendableExifSection>(&owner, kind);
    };
    const std::unique_ptr<TExifSection> primary = makeSection(c.FixedPrimary, skPrimary);
    const std::unique_ptr<TExifSection> exif = makeSection(c.FixedExif, skExif);
    owner.ExifSection = exif.get();
    if (!c.FixedPrimary) primary->SetStringValue(ttDateTime, "2000:01:02 03:04:05");
    const auto primaryBefore = dump(*primary), exifBefore = dump(*exif);
    EXPECT_THROW(primary->SetDateTimeValue(ttDateTime, ttSubsecTime, c.Value), Zorp::Base::Exception) << c.Name;
    EXPECT_EQ(dump(*primary), primaryBefore) << c.Name;
    EXPECT_EQ(dump(*exif), exifBefore) << c.Name;
  }
}

// ---- Notifications ----

TEST_F(AnExifSection, TellsTheOwnerOfChangesButNotOfUnchangedElements) {
  FPrimary.SetWordValue(100, 0, 5);
  EXPECT_GT(FOwner.ChangeEvents, 0);
  EXPECT_TRUE(FPrimary.Modified());

  FOwner.ChangeEvents = 0;
  FPrimary.SetWordValue(100, 0, 5);
  EXPECT_EQ(FOwner.ChangeEvents, 0);
  FPrimary.SetWordValue(100, 0, 6);
  EXPECT_EQ(FOwner.ChangeEvents, 1);

  FPrimary.AddTag(200, dtByte, 1);
  FPrimary.AddTag(300, dtByte, 1);
  FOwner.ChangeEvents = 0;
  FPrimary.Clear();
  EXPECT_EQ(FOwner.ChangeEvents, 1);
  EXPECT_EQ(FOwner.UpdateDepth(), 0);
  EXPECT_FALSE(FPrimary.Remove(100));
  EXPECT_EQ(FOwner.ChangeEvents, 1);
}

TEST_F(AnExifSection, OfKindNoneKeepsItsChangesToItself) {
  TExtendableExifSection loose(&FOwner, skNone);
  loose.SetWordValue(1, 0, 1);
  EXPECT_TRUE(loose.Modified());
  EXPECT_EQ(FOwner.ChangeEvents, 0);
}

TEST_F(AnExifSection, DropsTheMakerNoteWhenItsTagChangesOrGoes) {
  FExif.AddTag(ttMakerNote, dtUndefined, 8);
  FPrimary.AddTag(ttMakerNote, dtUndefined, 8);
  FOwner.MakerNoteResets = 0;

  FPrimary.Find(ttMakerNote)->SetAsString("00");
  FPrimary.Remove(ttMakerNote);
  EXPECT_EQ(FOwner.MakerNoteResets, 0);  // only the Exif section holds the MakerNote

  FExif.Find(ttMakerNote)->SetAsString("0102");
  EXPECT_EQ(FOwner.MakerNoteResets, 1);
  FExif.Remove(ttMakerNote);
  EXPECT_EQ(FOwner.MakerNoteResets, 2);
}

TEST_F(AnExifSection, FreesItsTagsWhenDestroyed) {
  auto section = std::make_unique<TExtendableExifSection>(&FOwner, skGps);
  section->AddTag(1, dtByte, 4);
  section->AddTag(2, dtAscii, 2);
  FOwner.ChangeEvents = 0;
  section.reset();  // the sanitizer build checks that every tag is freed once
  EXPECT_EQ(FOwner.ChangeEvents, 0);
}

// ---- Loaded tags and their shared allocation ----

// The tags of one load share an allocation: freed one by one in any order, changed to outgrow or
// leave their room, and the rest freed with the section or by the next load.
TEST_F(AnExifSection, FreesLoadedTagsOneByOneInAnyOrder) {
  const std::vector<TestEntry> entries = {{0x0100, dtShort, 1, {1, 0}},
                                          {0x010F, dtAscii, 20, Text("A maker name of 19.")},
                                          {0x011A, dtRational, 1, {72, 0, 0, 0, 1, 0, 0, 0}},
                                          {0x9286, dtUndefined, 40, std::vector<std::uint8_t>(40, 0x41)}};
  const std::vector<std::vector<TExifTagID>> orders = {
      {0x0100, 0x010F, 0x011A, 0x9286}, {0x9286, 0x011A, 0x010F, 0x0100}, {0x010F, 0x9286}, {0x011A}, {}};
  for (const auto& order : orders) {
    TExtendableExifSection section(&FOwner, skPrimary);
    LoadInto(section, entries);
    section.Find(0x0100)->SetElementCount(30);  // from the tag to the heap
    section.Find(0x9286)->SetElementCount(3);   // and back
    for (const TExifTagID id : order) delete section.Find(id);
    EXPECT_EQ(section.Count(), 4 - static_cast<std::int32_t>(order.size()));
    if (const TExifTag* text = section.Find(0x010F)) {
      EXPECT_EQ(text->AsString(), "A maker name of 19.");
    }
    if (const TExifTag* bytes = section.Find(0x9286)) {
      EXPECT_EQ(BytesOf(bytes), (std::vector<std::uint8_t>{0x41, 0x41, 0x41}));
    }
    if (const TExifTag* shorts = section.Find(0x0100)) {
      EXPECT_EQ(shorts->ElementAsUInt32(0), 1u);
    }
    LoadInto(section, entries);  // a second load frees what is left of the first
    EXPECT_EQ(section.Count(), 4);
    EXPECT_EQ(section.Find(0x011A)->AsString(), "72");
  }
}
