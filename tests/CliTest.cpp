#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "Commands.h"
#include "ExifBuilder.h"
#include "IPTCBytes.h"
#include "SamplePhotos.h"
#include "zorp/base/JPEGImage.h"
#include "zorp/exif/TagIDs.h"

namespace {

using namespace Zorp::Exif;
using Zorp::Testing::ByteBuilder;
using Zorp::Testing::ExifBuilder;

class TheCli : public ::testing::Test {
 protected:
  void SetUp() override {
    Folder = std::filesystem::temp_directory_path() /
             ("quorvane-cli-test-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
              ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(Folder);
  }
  void TearDown() override { std::filesystem::remove_all(Folder); }

  std::string Write(const std::string& name, const std::vector<std::uint8_t>& bytes) {
    const auto path = (Folder / name).string();
    Zorp::Testing::WriteFileBytes(path, bytes);
    return path;
  }
  std::string Write(const std::string& name, std::string_view text) {
    return Write(name, std::vector<std::uint8_t>(text.begin(), text.end()));
  }

  // A photo with a primary and Exif directory, a Canon MakerNote, a thumbnail and an XMP packet.
  std::string Photo() {
    ExifBuilder block = Zorp::Testing::CanonCamera(boBigEndian);
    ThumbnailSize = block.ThumbnailJPEG.size();
    const std::string xmp = std::string("http://ns.adobe.com/xap/1.0/") + '\0' +
                            "<x:xmpmeta xmlns:x='adobe:ns:meta/'><rdf:RDF "
                            "xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'><rdf:Description "
                            "rdf:about='' xmlns:xmp='http://ns.adobe.com/xap/1.0/' xmp:Rating='3'/>"
                            "</rdf:RDF></x:xmpmeta>";
    XMPSize = xmp.size();
    return Write("photo.jpg", ExifBuilder::Jpeg({block.Build(), std::vector<std::uint8_t>(xmp.begin(), xmp.end())}));
  }

  std::filesystem::path Folder;
  std::size_t ThumbnailSize = 0, XMPSize = 0;
};

TEST_F(TheCli, ListsTagsAsText) {
  const std::string photo = Photo();
  std::ostringstream out, err;
  EXPECT_EQ(Quorvane::Cli::RunTags({photo}, false, out, err), 0);
  const std::string expected = "file: " + photo +
                               "\n"
                               "byte-order: MM\n"
                               "section primary tags=3 errors=-\n"
                               "  0x010f Make ASCII 6 Canon\n"
                               "  0x0112 Orientation SHORT 1 1\n"
                               "  0x8769 ExifIFDPointer LONG 1 56\n"
                               "section exif tags=2 errors=-\n"
                               "  0x829a ExposureTime RATIONAL 1 1/60\n"
                               "  0x927c MakerNote UNDEFINED 18 010001000300010000000700000000000000\n"
                               "section interop tags=0 errors=-\n"
                               "section gps tags=0 errors=-\n"
                               "section thumbnail tags=3 errors=-\n"
                               "  0x0103 Compression SHORT 1 6\n"
                               "  0x0201 JPEGInterchangeFormat LONG 1 154\n"
                               "  0x0202 JPEGInterchangeFormatLength LONG 1 " +
                               std::to_string(ThumbnailSize) +
                               "\n"
                               "section makernote tags=1 errors=-\n"
                               "  0x0001 SHORT 1 7\n"
                               "makernote: TCanonMakerNote II\n"
                               "thumbnail: " +
                               std::to_string(ThumbnailSize) +
                               " 8x4\n"
                               "xmp: " +
                               std::to_string(XMPSize) + "\n";
  EXPECT_EQ(out.str(), expected);
  EXPECT_EQ(err.str(), "");
}

TEST_F(TheCli, ListsTagsAsJsonWithTheDocumentedKeys) {
  const std::string photo = Photo();
  const std::string missing = (Folder / "missing.jpg").string();
  std::ostringstream out, err;
  EXPECT_EQ(Quorvane::Cli::RunTags({photo, missing}, true, out, err), 1);
  const auto documents = nlohmann::json::parse(out.str());
  ASSERT_EQ(documents.size(), 2u);
  const auto& first = documents[0];
  EXPECT_EQ(first["file"], photo);
  EXPECT_EQ(first["byteOrder"], "MM");
  EXPECT_EQ(first["error"], nullptr);
  const auto& make = first["sections"]["primary"]["tags"][0];
  EXPECT_EQ(make, (nlohmann::json{{"id", 271},
                                  {"name", "Make"},
                                  {"type", "ASCII"},
                                  {"count", 6},
                                  {"text", "Canon"},
                                  {"wellFormed", true}}));
  EXPECT_EQ(first["sections"]["primary"]["loadErrors"], nlohmann::json::array());
  EXPECT_EQ(first["sections"]["makernote"]["tags"].size(), 1u);
  EXPECT_EQ(first["makerNote"], (nlohmann::json{{"class", "TCanonMakerNote"}, {"byteOrder", "II"}}));
  EXPECT_EQ(first["thumbnail"], (nlohmann::json{{"bytes", ThumbnailSize}, {"width", 8}, {"height", 4}}));
  EXPECT_EQ(first["xmp"], (nlohmann::json{{"bytes", XMPSize}}));
  // The keys stand in the documented order.
  EXPECT_EQ(out.str().find("\"file\""), out.str().find('"'));
  const auto& second = documents[1];
  EXPECT_EQ(second["file"], missing);
  EXPECT_EQ(second["error"], true);  // the reason only on standard error
  EXPECT_EQ(second["makerNote"], nullptr);
  EXPECT_TRUE(err.str().starts_with("quorvane-cli: " + missing + ": ")) << err.str();
}

// IPTC is listed for a photo that holds it, as lines after the other data and as the "iptc" array.
TEST_F(TheCli, ListsIPTCDatasetsWithTheirValuesInTextAndJson) {
  using namespace Zorp::Testing;
  const TBytes records = Join({Dataset(2, 25, "sea"), Dataset(2, 25, "sky"), Dataset(2, 116, "Ana")});
  const std::string photo =
      Write("iptc.jpg", Zorp::Testing::Photo({{jmApp13, PhotoshopSegment(Resource(0x0404, "", records))}}));
  const std::string plain = TheCli::Photo();
  std::ostringstream text, json, err;
  EXPECT_EQ(Quorvane::Cli::RunTags({photo, plain}, false, text, err), 0) << err.str();
  EXPECT_NE(text.str().find("iptc: 2\n  2:25 Keywords = sea\n  2:25 Keywords = sky\n  2:116 CopyrightNotice = Ana\n"),
            std::string::npos)
      << text.str();
  EXPECT_EQ(text.str().find("iptc:", text.str().find(plain)), std::string::npos);  // none without IPTC
  EXPECT_EQ(Quorvane::Cli::RunTags({photo, plain}, true, json, err), 0);
  const auto documents = nlohmann::json::parse(json.str());
  EXPECT_EQ(documents[0]["iptc"],
            (nlohmann::json{{{"record", 2}, {"dataset", 25}, {"name", "Keywords"}, {"values", {"sea", "sky"}}},
                            {{"record", 2}, {"dataset", 116}, {"name", "CopyrightNotice"}, {"values", {"Ana"}}}}));
  EXPECT_EQ(documents[1]["iptc"], nullptr);
}

TEST_F(TheCli, MarksMalformedTagsAndEscapesControlCharacters) {
  ExifBuilder block;
  block.Primary.Ascii(ttImageDescription, "two\nlines").Raw(0x0200, 0, 1, {});
  const std::string photo = Write("bad.jpg", ExifBuilder::Jpeg({block.Build()}));
  std::ostringstream out, err;
  EXPECT_EQ(Quorvane::Cli::RunTags({photo}, false, out, err), 0);
  EXPECT_NE(out.str().find("  0x010e ImageDescription ASCII 10 two\\nlines\n"), std::string::npos) << out.str();
  EXPECT_NE(out.str().find("  0x0200 UNDEFINED 0  (malformed)\n"), std::string::npos) << out.str();
  EXPECT_NE(out.str().find("section primary tags=2 errors=bad-tag-header\n"), std::string::npos);
  EXPECT_NE(out.str().find("makernote: none\nthumbnail: none\nxmp: none\n"), std::string::npos);
}

TEST_F(TheCli, CutsLongTextsAt200Characters) {
  ExifBuilder block;
  block.Primary.Ascii(ttImageDescription, std::string(250, 'x'));
  const std::string photo = Write("long.jpg", ExifBuilder::Jpeg({block.Build()}));
  std::ostringstream out, err;
  Quorvane::Cli::RunTags({photo}, false, out, err);
  EXPECT_NE(out.str().find("  0x010e ImageDescription ASCII 251 " + std::string(200, 'x') + "...\n"),
            std::string::npos);
}

TEST_F(TheCli, NamesTheTagsThatHaveAStandardNameInTheirDirectory) {
  ExifBuilder block;
  block.Primary.Ascii(ttMake, "Canon").Undefined(0xC4A5, {1, 2});
  block.Exif.Rational(ttExposureTime, 1, 60);
  block.Gps.Ascii(ttGPSLatitudeRef, "N").Short(0x0020, {1});
  block.Interop.Ascii(ttInteroperabilityIndex, "R98");
  const std::string photo = Write("names.jpg", ExifBuilder::Jpeg({block.Build()}));
  std::ostringstream text, json, err;
  ASSERT_EQ(Quorvane::Cli::RunTags({photo}, false, text, err), 0);
  ASSERT_EQ(Quorvane::Cli::RunTags({photo}, true, json, err), 0);
  const auto document = nlohmann::ordered_json::parse(json.str())[0];

  struct TRow {
    const char* Section;
    int ID;
    const char* Type;
    const char* Name;  // nullptr: none
  };
  const TRow rows[] = {
      {"primary", 0x010F, "ASCII", "Make"},
      {"primary", 0x8769, "LONG", "ExifIFDPointer"},
      {"primary", 0x8825, "LONG", "GPSInfoIFDPointer"},
      {"primary", 0xC4A5, "UNDEFINED", nullptr},
      {"exif", 0xA005, "LONG", "InteroperabilityIFDPointer"},
      {"gps", 0x0001, "ASCII", "GPSLatitudeRef"},
      {"gps", 0x0020, "SHORT", nullptr},
      {"interop", 0x0001, "ASCII", "InteroperabilityIndex"},
  };
  for (const TRow& row : rows) {
    SCOPED_TRACE(std::string(row.Section) + " " + std::to_string(row.ID));
    const auto& tags = document["sections"][row.Section]["tags"];
    const auto tag = std::find_if(tags.begin(), tags.end(), [&](const auto& t) { return t["id"] == row.ID; });
    ASSERT_NE(tag, tags.end());
    std::vector<std::string> keys;
    for (const auto& item : tag->items()) keys.push_back(item.key());
    if (row.Name) {
      EXPECT_EQ(keys, (std::vector<std::string>{"id", "name", "type", "count", "text", "wellFormed"}));
      EXPECT_EQ((*tag)["name"], row.Name);
    } else {
      EXPECT_EQ(keys, (std::vector<std::string>{"id", "type", "count", "text", "wellFormed"}));
    }
    // In the text form the name stands between the number and the type.
    char id[8];
    std::snprintf(id, sizeof id, "0x%04x", row.ID);
    const std::string line =
        "\n  " + std::string(id) + ' ' + (row.Name ? std::string(row.Name) + ' ' : "") + row.Type + ' ';
    EXPECT_NE(text.str().find(line), std::string::npos) << line << text.str();
  }
}

TEST_F(TheCli, ListsXMPValuesAndReportsAFileWithout) {
  const std::string photo = Photo();
  ExifBuilder plain;
  plain.Primary.Ascii(ttMake, "X");
  const std::string without = Write("plain.jpg", ExifBuilder::Jpeg({plain.Build()}));
  std::ostringstream out, err;
  EXPECT_EQ(Quorvane::Cli::RunXmp({photo, without}, false, out, err), 0);
  EXPECT_EQ(out.str(), "file: " + photo + "\nabout: \nxmp:Rating = 3\nfile: " + without + "\nxmp: none\n");
}

TEST_F(TheCli, RegeneratesTheXMPPacketWithoutItsSignature) {
  const std::string photo = Photo();
  std::ostringstream out, err;
  EXPECT_EQ(Quorvane::Cli::RunXmp({photo}, true, out, err), 0);
  const std::string text = out.str();
  EXPECT_EQ(text.rfind("file: " + photo + "\n<?xpacket begin=", 0), 0u) << text;
  EXPECT_EQ(text.find(std::string("http://ns.adobe.com/xap/1.0/\0", 29)), std::string::npos);
  EXPECT_NE(text.find("<xmp:Rating>3</xmp:Rating>"), std::string::npos) << text;
  EXPECT_NE(text.find("<?xpacket end=\"w\"?> \n"), std::string::npos) << text;
}

TEST_F(TheCli, ReportsAnXMPPacketThatFailsToParse) {
  const std::string xmp = std::string("http://ns.adobe.com/xap/1.0/") + '\0' + "<x:xmpmeta><unclosed";
  const std::string photo = Write("broken.jpg", ExifBuilder::Jpeg({std::vector<std::uint8_t>(xmp.begin(), xmp.end())}));
  std::ostringstream out, err;
  EXPECT_EQ(Quorvane::Cli::RunXmp({photo}, false, out, err), 1);
  EXPECT_EQ(out.str(), "");
  EXPECT_EQ(err.str(), "quorvane-cli: " + photo + ": XMP packet is not valid\n");
}

// The Standard list's first groups and the MakerNote list of Photo(), without descriptions.
const char* const PhotoListStart = "General\n-------\nByte order:Motorola (big endian)\n\nMain IFD\n--------\n";
const char* const PhotoMakerNoteList =
    "\nGeneral\n-------\nType:Canon\nByte order:Intel (small endian)\nLoaded cleanly:Yes\n\nTags\n----\n"
    "Unknown ($0001):7\n";

TEST_F(TheCli, ListsTheViewersTwoListsInTheExportLayoutWithLineFeeds) {
  const std::string photo = Photo();
  std::ostringstream out, err;
  EXPECT_EQ(Quorvane::Cli::RunList({photo}, false, "", out, err), 0);
  EXPECT_TRUE(out.str().starts_with(PhotoListStart)) << out.str();
  EXPECT_TRUE(out.str().ends_with(std::string("\n") + PhotoMakerNoteList)) << out.str();
  EXPECT_EQ(out.str().find('\r'), std::string::npos);
  EXPECT_EQ(err.str(), "");
}

TEST_F(TheCli, ListsSeveralFilesUnderHeadersAndGoesOnAfterOneThatFails) {
  const std::string photo = Photo(), missing = (Folder / "missing.jpg").string();
  std::ostringstream out, err;
  EXPECT_EQ(Quorvane::Cli::RunList({missing, photo}, false, "", out, err), 1);
  const std::string text = out.str();
  EXPECT_TRUE(text.starts_with("\n==> " + photo + " <==\n" + PhotoListStart)) << text;  // nothing of the missing one
  EXPECT_TRUE(err.str().starts_with("quorvane-cli: " + missing + ": ")) << err.str();
}

TEST_F(TheCli, ListsAsJsonWithTheDocumentedKeys) {
  const std::string photo = Photo(), missing = (Folder / "missing.jpg").string();
  const std::string ini = Write("tags.ini", "[TCanonMakerNote.$0001]\nTagDescription=Zoom\n");
  std::ostringstream out, err;
  EXPECT_EQ(Quorvane::Cli::RunList({photo, missing}, true, ini, out, err), 1);
  const auto json = nlohmann::json::parse(out.str());
  ASSERT_EQ(json.size(), 2u);
  EXPECT_EQ(json[0]["file"], photo);
  EXPECT_EQ(json[0]["standard"][0], (nlohmann::json{{"caption", "General"}}));
  const auto& rows = json[0]["standard"];
  const auto orientation = std::find_if(rows.begin(), rows.end(), [](const auto& r) { return r["caption"] == "Orientation"; });
  ASSERT_NE(orientation, rows.end());
  EXPECT_EQ((*orientation)["value"], "Normal");
  EXPECT_EQ((*orientation)["kind"], "select");
  EXPECT_NE((*orientation)["choices"].get<std::string>().find("Normal\r\n"), std::string::npos);
  EXPECT_EQ(json[0]["makernote"][1], (nlohmann::json{{"caption", "Type"}, {"value", "Canon"}, {"kind", ""}, {"choices", ""}}));
  EXPECT_EQ(json[0]["makernote"].back()["caption"], "Zoom");
  EXPECT_EQ(json[1]["file"], missing);
  EXPECT_EQ(json[1]["standard"], nlohmann::json::array());  // data only; the reason is on standard error
  EXPECT_EQ(json[1]["makernote"], nlohmann::json::array());
  EXPECT_EQ(json[0]["summary"], nlohmann::json::parse(R"([{"caption": "Camera", "value": "Canon"},
      {"caption": "Exposure", "value": "1/60 s"}, {"caption": "Orientation", "value": "Normal"}])"));
  EXPECT_EQ(json[1]["summary"], nlohmann::json::array());
  std::vector<std::string> keys;
  const auto ordered = nlohmann::ordered_json::parse(out.str());
  for (const auto& [key, value] : ordered[0].items()) keys.push_back(key);
  EXPECT_EQ(keys, (std::vector<std::string>{"file", "summary", "standard", "makernote"}));
}

struct TExportCase {
  const char* Name;
  const char* Out;
  const char* Written;
  bool MakerNote;
};

class TheCliExport : public TheCli, public ::testing::WithParamInterface<TExportCase> {};

TEST_P(TheCliExport, WritesTheFileAsTheViewersSaveDoes) {
  const std::string photo = Photo();
  Write("existing.txt", "old");
  std::ostringstream err;
  EXPECT_EQ(Quorvane::Cli::RunExport(photo, (Folder / GetParam().Out).string(), GetParam().MakerNote, "", err), 0);
  std::ifstream file(Folder / GetParam().Written, std::ios::binary);
  const std::string text((std::istreambuf_iterator<char>(file)), {});
  EXPECT_TRUE(text.starts_with(GetParam().MakerNote ? "\xEF\xBB\xBFGeneral\r\n-------\r\nType:Canon\r\n"
                                                    : "\xEF\xBB\xBFGeneral\r\n-------\r\nByte order:"))
      << text;
  EXPECT_TRUE(text.ends_with("\r\n"));
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), std::count(text.begin(), text.end(), '\r'));
}

INSTANTIATE_TEST_SUITE_P(Cases, TheCliExport,
                         ::testing::Values(TExportCase{"StandardWithoutExtension", "list", "list.txt", false},
                                           TExportCase{"MakerNoteReplacingAFile", "existing.txt", "existing.txt", true},
                                           TExportCase{"OtherExtensionKept", "list.csv", "list.csv", false}),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST_F(TheCli, ExportsNothingForAPhotoItCannotRead) {
  const std::string out = Write("existing.txt", "old");
  std::ostringstream err;
  EXPECT_EQ(Quorvane::Cli::RunExport((Folder / "missing.jpg").string(), out, false, "", err), 1);
  std::ifstream file(out, std::ios::binary);
  EXPECT_EQ(std::string((std::istreambuf_iterator<char>(file)), {}), "old");
  EXPECT_NE(err.str(), "");
}

struct TSetCase {
  const char* Name;
  const char* Label;
  const char* Value;
  int Status;
  const char* Listed;  // the row afterwards, as `list` prints it
  const char* Error;   // part of the message; "" for none
};

class TheCliSet : public TheCli, public ::testing::WithParamInterface<TSetCase> {};

TEST_P(TheCliSet, EditsAsTheViewerDoes) {
  const TSetCase& c = GetParam();
  const std::string photo = Photo();
  const auto before = Zorp::Testing::ReadFileBytes(photo);
  std::ostringstream err, out, ignored;
  EXPECT_EQ(Quorvane::Cli::RunSet(photo, c.Label, c.Value, "", err), c.Status);
  EXPECT_NE(err.str().find(c.Error), std::string::npos) << err.str();
  if (c.Status != 0) {
    EXPECT_EQ(Zorp::Testing::ReadFileBytes(photo), before);
  }
  Quorvane::Cli::RunList({photo}, false, "", out, ignored);
  EXPECT_NE(out.str().find(std::string("\n") + c.Listed + "\n"), std::string::npos) << out.str();
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TheCliSet,
    ::testing::Values(TSetCase{"TextTrimmed", "Camera make", "  Nikon ", 0, "Camera make:Nikon", ""},
                      TSetCase{"SameText", "Camera make", "Canon", 0, "Camera make:Canon", ""},
                      TSetCase{"Choice", "Orientation", "Rotate 90", 0, "Orientation:Rotate 90", ""},
                      TSetCase{"NotAChoice", "Orientation", "Sideways", 1, "Orientation:Normal", "Rotate 90, Mirror"},
                      TSetCase{"SizeNotEditable", "Exif image width", "70000", 2, "Exif image width:0",
                               "quorvane-cli: \"Exif image width\" is set from the image's real size on every save "
                               "and cannot be edited\n"},
                      TSetCase{"ZeroDate", "Date/time", "1899-12-30 00:00:00", 1, "Date/time:",
                               ": 1899-12-30 00:00:00 cannot be stored; enter a date-time from "
                               "0001-01-01 00:00:00 to 9999-12-31 23:59:59 other than 1899-12-30 00:00:00\n"},
                      TSetCase{"NotADate", "Date/time", "soon", 1, "Date/time:", "Invalid data format"},
                      TSetCase{"NotEditable", "Exposure time", "1", 2, "Camera make:Canon", "  Camera make\n"},
                      TSetCase{"ByKey", "camera-make", "Nikon", 0, "Camera make:Nikon", ""},
                      TSetCase{"SizeByKey", "exif-image-height", "1", 2, "Camera make:Canon",
                               "\"Exif image height\" is set from"},
                      TSetCase{"NotAKey", "camera_make", "Nikon", 2, "Camera make:Canon", "  Camera make\n"},
                      TSetCase{"TextBeyondASCII", "copyright", "© 2026 Ana Müller 漢", 0,
                               "Copyright:© 2026 Ana Müller 漢", ""},
                      TSetCase{"ExifFormDate", "date-time", "2024:05:03 14:22:07", 0, "Date/time:2024-05-03 14:22:07",
                               ""},
                      TSetCase{"ISODateWithZone", "Date/time original", "2024-05-03T14:22:07.5+02:00", 0,
                               "Offset time original:+02:00", ""},
                      TSetCase{"ISODateBadFraction", "date-time", "2024-05-03T14:22:07.", 1, "Date/time:",
                               "Invalid data format"},
                      TSetCase{"LoadStatusByKey", "loaded-cleanly", "Yes", 0, "Loaded cleanly:Yes", ""}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST_F(TheCli, SetsAValueOnAPhotoWithoutExifAndListsItsKeys) {
  const std::string photo = Write("plain.jpg", ExifBuilder::Jpeg({}));
  std::ostringstream err, out, ignored;
  EXPECT_EQ(Quorvane::Cli::RunSet(photo, "image-description", "Zürich", "", err), 0) << err.str();
  TExifData saved;
  saved.LoadFromJPEG(photo);
  EXPECT_EQ(saved.ImageDescription(), "Zürich");
  EXPECT_EQ(Quorvane::Cli::RunList({photo}, true, "", out, ignored), 0);
  const auto rows = nlohmann::json::parse(out.str())[0]["standard"];
  const auto row =
      std::find_if(rows.begin(), rows.end(), [](const auto& r) { return r["caption"] == "Image description"; });
  ASSERT_NE(row, rows.end());
  EXPECT_EQ(*row, (nlohmann::json{{"caption", "Image description"}, {"key", "image-description"}, {"value", "Zürich"},
                                  {"kind", "string"}, {"choices", ""}}));
}

// `set` writes through the same safe replacement as every save: what the path names is respected.
TEST_F(TheCli, SetsThroughASymlinkAndRefusesWhatItMayNotWrite) {
  const std::string photo = Photo();
  const std::string named = (Folder / "Ferienfoto Zürich.jpg").string();
  std::filesystem::copy_file(photo, named);
  const std::string link = (Folder / "link.jpg").string();
  std::filesystem::create_symlink(photo, link);
  std::ostringstream err;
  EXPECT_EQ(Quorvane::Cli::RunSet(link, "Camera make", "Nikon", "", err), 0) << err.str();
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_EQ(Quorvane::Cli::RunSet(named, "Camera make", "Nikon", "", err), 0) << err.str();
  for (const std::string& path : {photo, named}) {
    TExifData saved;
    saved.LoadFromJPEG(path);
    EXPECT_EQ(saved.CameraMake(), "Nikon") << path;
  }

  std::filesystem::permissions(photo, std::filesystem::perms::owner_read, std::filesystem::perm_options::replace);
  const auto before = Zorp::Testing::ReadFileBytes(photo);
  EXPECT_EQ(Quorvane::Cli::RunSet(photo, "Camera make", "Canon", "", err), 1);
  EXPECT_EQ(Zorp::Testing::ReadFileBytes(photo), before);
  const std::string fifo = (Folder / "fifo.jpg").string();
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_EQ(Quorvane::Cli::RunSet(fifo, "Camera make", "Canon", "", err), 1);  // at once, never blocking
  EXPECT_EQ(Quorvane::Cli::RunSet(Folder.string(), "Camera make", "Canon", "", err), 1);
}

TEST_F(TheCli, ExitsWithTwoOnAUsageError) {
  const std::string cli = std::string(QUORVANE_BIN_DIR) + "/quorvane-cli";
  EXPECT_EQ(WEXITSTATUS(std::system((cli + " frobnicate >/dev/null 2>&1").c_str())), 2);
  EXPECT_EQ(WEXITSTATUS(std::system((cli + " tags >/dev/null 2>&1").c_str())), 2);
  EXPECT_EQ(WEXITSTATUS(std::system((cli + " list >/dev/null 2>&1").c_str())), 2);
  EXPECT_EQ(WEXITSTATUS(std::system((cli + " list --ini /nonexistent.ini " + Photo() + " >/dev/null 2>&1").c_str())), 2);
  EXPECT_EQ(WEXITSTATUS(std::system((cli + " export " + Photo() + " >/dev/null 2>&1").c_str())), 2);
  EXPECT_EQ(WEXITSTATUS(std::system((cli + " tags " + Photo() + " >/dev/null").c_str())), 0);
}

}  // namespace

namespace {

// ---- quorvane-cli as a user runs it: one error channel, marked line breaks, safe cells ----

struct TRun {
  int Status = -1;  // -1: killed
  std::string Out, Err;
};

// Runs quorvane-cli with these arguments in folder, standard output to stdoutPath (a file read back
// afterwards unless it is a device); killed after 30 seconds, so a blocking open fails the test.
TRun RunCli(const std::filesystem::path& folder, const std::vector<std::string>& arguments,
            const std::string& stdoutPath) {
  const std::string cli = std::string(QUORVANE_BIN_DIR) + "/quorvane-cli";
  const std::filesystem::path errPath = folder / "stderr.txt";
  const pid_t child = ::fork();
  if (child == 0) {
    ::alarm(30);
    if (::chdir(folder.c_str()) != 0) ::_exit(127);
    const int out = ::open(stdoutPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out < 0 || err < 0 || ::dup2(out, 1) < 0 || ::dup2(err, 2) < 0) ::_exit(127);
    std::vector<char*> argv{const_cast<char*>(cli.c_str())};
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    ::execv(cli.c_str(), argv.data());
    ::_exit(127);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  TRun run;
  run.Status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  const auto read = [](const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
  };
  if (!stdoutPath.starts_with("/dev/")) run.Out = read(folder / stdoutPath);
  run.Err = read(errPath);
  return run;
}

class TheCliChannels : public TheCli {
 protected:
  void SetUp() override {
    TheCli::SetUp();
    ExifBuilder block;
    block.Primary.Ascii(ttImageDescription, "two\r\nCamera make:Forged")
        .Ascii(ttMake, "\x1b]0;owned\x07" "Canon\xE2\x80\xAE")
        .Ascii(ttDateTime, "2024:01:02 03:04:05")
        .Ascii(ttCopyright, "=HYPERLINK(\"http://x\",\"y\")");
    Write("hostile.jpg", ExifBuilder::Jpeg({block.Build()}));
    ExifBuilder plain;
    plain.Primary.Ascii(ttMake, "Canon").Ascii(ttDateTime, "2024:01:02 03:04:05");
    Write("new\nline.jpg", ExifBuilder::Jpeg({plain.Build()}));
    Write("big.ini", std::string(TMemIniFileMax + 1, ';'));
    ASSERT_EQ(::mkfifo((Folder / "fifo.ini").c_str(), 0600), 0);
    // The reason names the file as it was given: here relative to the folder the command runs in.
    const std::string path = (Folder / "missing.jpg").string();
    try {
      TExifData data;
      data.LoadFromJPEG(path);
    } catch (const std::exception& e) {
      Missing = e.what();
    }
    ASSERT_NE(Missing.find(path), std::string::npos) << Missing;
    Missing.replace(Missing.find(path), path.size(), "missing.jpg");
  }
  static constexpr std::size_t TMemIniFileMax = 4 * 1024 * 1024;
  std::string Missing;  // the reason a missing file gives
};

struct TChannelCase {
  const char* Name;
  std::vector<std::string> Arguments;
  int Status;
  std::string Out;     // the whole standard output; "*" for any
  std::string Err;     // the whole standard error; {missing} stands for the missing file's reason
  std::string OutHas;  // a part of standard output ("" for none)
  std::string OutLacks;  // text standard output must not hold ("" for none)
  friend void PrintTo(const TChannelCase& c, std::ostream* os) { *os << c.Name; }
};

class TheCliChannelsTable : public TheCliChannels, public ::testing::WithParamInterface<TChannelCase> {};

TEST_P(TheCliChannelsTable, KeepsDataOnStdoutAndOneErrorLinePerFailureOnStderr) {
  const TChannelCase& c = GetParam();
  const TRun run = RunCli(Folder, c.Arguments, "stdout.txt");
  std::string err = c.Err;
  for (std::size_t at; (at = err.find("{missing}")) != std::string::npos;) err.replace(at, 9, Missing);
  EXPECT_EQ(run.Status, c.Status);
  if (c.Out != "*") {
    EXPECT_EQ(run.Out, c.Out);
  }
  EXPECT_EQ(run.Err, err);
  if (!c.OutHas.empty()) {
    EXPECT_NE(run.Out.find(c.OutHas), std::string::npos) << run.Out;
  }
  if (!c.OutLacks.empty()) {
    EXPECT_EQ(run.Out.find(c.OutLacks), std::string::npos) << run.Out;
  }
}

const std::string MissingLine = "quorvane-cli: missing.jpg: {missing}\n";

INSTANTIATE_TEST_SUITE_P(
    Cases, TheCliChannelsTable,
    ::testing::Values(
        TChannelCase{"TagsMissing", {"tags", "missing.jpg"}, 1, "", MissingLine, "", ""},
        TChannelCase{"TagsMissingAmongOthers", {"tags", "--jobs", "2", "missing.jpg", "hostile.jpg"}, 1, "*",
                     MissingLine, "file: hostile.jpg\nbyte-order: II\n", "missing"},
        TChannelCase{"XmpMissing", {"xmp", "missing.jpg", "new\nline.jpg"}, 1, "file: new\\nline.jpg\nxmp: none\n",
                     MissingLine, "", ""},
        TChannelCase{"ListMissing", {"list", "missing.jpg"}, 1, "", MissingLine, "", ""},
        TChannelCase{"ListMissingAmongOthers", {"list", "missing.jpg", "new\nline.jpg"}, 1, "*", MissingLine,
                     "==> new\\nline.jpg <==\nGeneral\n", "Could not read"},
        TChannelCase{"CsvMissing", {"csv", "--columns", "Camera make", "missing.jpg"}, 1,
                     "File,Camera make\r\nmissing.jpg,\r\n", MissingLine, "", ""},
        TChannelCase{"ExportMissing", {"export", "missing.jpg", "out.txt"}, 1, "", MissingLine, "", ""},
        TChannelCase{"SetMissing", {"set", "missing.jpg", "Camera make", "X"}, 1, "", MissingLine, "", ""},
        TChannelCase{"WriteMissing", {"write", "missing.jpg", "CameraMake=X"}, 1, "", MissingLine, "", ""},
        TChannelCase{"ShiftMissing", {"shift", "--by", "+0:00:00:01", "missing.jpg"}, 1, "", MissingLine, "", ""},
        TChannelCase{"MissingNameWithLineBreaks", {"tags", "gone\r\nfile: x.jpg"}, 1, "",
                     "quorvane-cli: gone\\r\\nfile: x.jpg: Cannot open file \"gone\\r\\nfile: x.jpg\". No such file or "
                     "directory\n",
                     "", ""},
        TChannelCase{"ShiftReportMarksLineBreaks", {"shift", "--by", "+0:00:00:01", "new\nline.jpg"}, 0,
                     "new\\nline.jpg: changed\n", "", "", ""},
        TChannelCase{"GpsReportMarksLineBreaks", {"gps", "--clear", "new\nline.jpg"}, 0, "new\\nline.jpg: unchanged\n",
                     "", "", ""},
        TChannelCase{"ListMarksLineBreaksInValues", {"list", "hostile.jpg"}, 0, "*", "",
                     "\nImage description:two\\r\\nCamera make:Forged\n", "\nCamera make:Forged"},
        TChannelCase{"ListKeepsBytesForAPipe", {"list", "hostile.jpg"}, 0, "*", "",
                     "\nCamera make:\x1b]0;owned\x07" "Canon\xE2\x80\xAE\n", ""},
        TChannelCase{"XmpUnknownNameMarked", {"xmp", "missing\n.jpg"}, 1, "",
                     "quorvane-cli: missing\\n.jpg: Cannot open file \"missing\\n.jpg\". No such file or directory\n", "",
                     ""},
        TChannelCase{"CsvNeutralisesFormulas", {"csv", "--columns", "Copyright,Image description", "hostile.jpg"}, 0,
                     "File,Copyright,Image description\r\n"
                     "hostile.jpg,\"'=HYPERLINK(\"\"http://x\"\",\"\"y\"\")\",\"two\r\nCamera make:Forged\"\r\n",
                     "", "", ""},
        TChannelCase{"IniDevice", {"list", "--ini", "/dev/zero", "hostile.jpg"}, 1, "",
                     "quorvane-cli: /dev/zero: the description file is not a regular file\n", "", ""},
        TChannelCase{"IniFifo", {"export", "--ini", "fifo.ini", "hostile.jpg", "out.txt"}, 1, "",
                     "quorvane-cli: fifo.ini: the description file is not a regular file\n", "", ""},
        TChannelCase{"IniTooLarge", {"list", "--ini", "big.ini", "hostile.jpg"}, 1, "",
                     "quorvane-cli: big.ini: the description file is larger than 4 MB\n", "", ""}),
    [](const auto& info) { return std::string(info.param.Name); });

// Every command that prints data fails with one line when standard output takes nothing.
TEST_F(TheCliChannels, ExitWithOneWhenTheOutputCannotBeWritten) {
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  const std::vector<std::vector<std::string>> commands = {
      {"csv", "hostile.jpg"},         {"tags", "hostile.jpg"},          {"tags", "--json", "hostile.jpg"},
      {"list", "hostile.jpg"},        {"list", "--json", "hostile.jpg"}, {"xmp", "hostile.jpg"},
      {"gps", "--clear", "hostile.jpg"}, {"--version"},                  {"csv", "--help"}};
  for (const auto& arguments : commands) {
    const TRun run = RunCli(Folder, arguments, "/dev/full");
    EXPECT_EQ(run.Status, 1) << arguments[0] << " " << arguments.back();
    EXPECT_EQ(run.Err, "quorvane-cli: cannot write the output: No space left on device\n") << arguments[0];
  }
}

// A failed file keeps its JSON object with the usual keys and no prose; the reason is on stderr.
TEST_F(TheCliChannels, KeepValidJsonWithFailuresOnlyOnStderr) {
  for (const std::string command : {"tags", "list"}) {
    const TRun run = RunCli(Folder, {command, "--json", "missing.jpg", "hostile.jpg"}, "stdout.txt");
    EXPECT_EQ(run.Status, 1);
    EXPECT_EQ(run.Err, "quorvane-cli: missing.jpg: " + Missing + "\n");
    const auto documents = nlohmann::ordered_json::parse(run.Out);
    ASSERT_EQ(documents.size(), 2u);
    std::vector<std::string> failedKeys, keys;
    for (const auto& item : documents[0].items()) failedKeys.push_back(item.key());
    for (const auto& item : documents[1].items()) keys.push_back(item.key());
    EXPECT_EQ(failedKeys, keys) << command;
    EXPECT_EQ(run.Out.find(Missing), std::string::npos) << run.Out;
  }
}

// On a terminal, escape sequences and bidi overrides of a value are shown, not obeyed.
TEST_F(TheCliChannels, ShowControlCharactersAsEscapesOnATerminal) {
  int master = -1, slave = -1;
  if (::openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) GTEST_SKIP() << "no pseudo-terminal";
  const std::string cli = std::string(QUORVANE_BIN_DIR) + "/quorvane-cli";
  const pid_t child = ::fork();
  if (child == 0) {
    ::alarm(30);
    ::close(master);
    if (::chdir(Folder.c_str()) != 0 || ::dup2(slave, 1) < 0) ::_exit(127);
    ::execl(cli.c_str(), cli.c_str(), "list", "hostile.jpg", static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ::close(slave);
  std::string shown;
  char buffer[4096];
  for (ssize_t got; (got = ::read(master, buffer, sizeof buffer)) > 0;) shown.append(buffer, static_cast<std::size_t>(got));
  ::close(master);
  int status = 0;
  ::waitpid(child, &status, 0);
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_NE(shown.find("Camera make:\\x1b]0;owned\\x07Canon\\u202e"), std::string::npos) << shown;
  EXPECT_EQ(shown.find('\x1b'), std::string::npos);
  EXPECT_NE(shown.find("Image description:two\\r\\nCamera make:Forged"), std::string::npos);
}

}  // namespace
