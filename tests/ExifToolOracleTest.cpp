// Judges the reader against an independent one: Debian's exiftool lists the same tags in the same
// directories of the sample photos, and resaved photos read as before in exiftool and in exiv2.
// Skips when exiftool or the photos are absent.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <functional>
#include <future>
#include <iostream>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <set>
#include <sstream>
#include <string_view>

#include "SamplePhotos.h"
#include "TestHelpers.h"
#include "core/PhotoListing.h"
#include "core/StandardListing.h"
#include "core/SummaryListing.h"
#include "zorp/base/TextEncoding.h"
#include "zorp/exif/ExifData.h"
#include "zorp/exif/ExifExceptions.h"
#include "zorp/exif/IPTC.h"
#include "zorp/exif/MWG.h"
#include "zorp/exif/TagIDs.h"

namespace {

using namespace Zorp::Exif;
using namespace Zorp::Testing;

// ExifTool's JSON listing of the photos in folder, read with the given options (-j and -q -q
// added); not an array when it could not be read.
nlohmann::json ExifToolListing(const std::string& options, const std::filesystem::path& folder) {
  return nlohmann::json::parse(RunCommand("exiftool -j -q -q " + options + " '" + folder.string() + "' 2>/dev/null"),
                               nullptr, false);
}

// Why a comparison with exiftool cannot run here (no sample photos in folder, or no exiftool); empty
// when it can.
std::string OracleMissing(const std::filesystem::path& folder) {
  std::ostringstream why;
  if (!std::filesystem::is_directory(folder))
    why << "no sample photos at " << folder;
  else if (!HasExifTool())
    why << "exiftool is not installed";
  return why.str();
}

// Loads the photo; false for one the reader refuses, which the comparisons leave out.
bool Loads(TExifData& data, const std::string& file) {
  try {
    data.LoadFromJPEG(file);
  } catch (const Zorp::Base::Exception&) {
    return false;
  }
  return true;
}

TEST(TheReader, ListsTheSameStandardTagsAsExifTool) {
  const std::filesystem::path folder = QUORVANE_PHOTOS_DIR;
  if (const std::string why = OracleMissing(folder); !why.empty()) GTEST_SKIP() << why;

  const auto listing = ExifToolListing("-G1 -a -n -u -D", folder);
  ASSERT_TRUE(listing.is_array());

  // Their group names for our directories.
  const std::map<std::string, TExifSectionKind> groups = {
      {"IFD0", skPrimary}, {"ExifIFD", skExif}, {"GPS", skGps}, {"InteropIFD", skInterop}, {"IFD1", skThumbnail}};
  // Pointer tags are structure to them, not tags; PrintIM and a few private tags go to groups of their own.
  const std::set<int> notListedByThem = {ttExifIFDPointer, ttGPSInfoIFDPointer, ttInteroperabilityIFDPointer,
                                         ttMakerNote,      0xC4A5,              0xC6D2, 0xC6D3};
  int compared = 0;
  for (const auto& photo : listing) {
    const std::string file = photo.value("SourceFile", "");
    TExifData data;
    if (!Loads(data, file)) continue;
    // A block whose TIFF magic number is not 42 is no Exif block to us; they read it anyway.
    if (!data.SourceMetadata().Contains(mkExif)) continue;
    std::map<TExifSectionKind, std::set<int>> theirs;
    for (const auto& [key, value] : photo.items()) {
      const auto colon = key.find(':');
      if (colon == std::string::npos || !value.is_object() || !value.contains("id")) continue;
      const auto group = groups.find(key.substr(0, colon));
      if (group == groups.end()) continue;
      const auto& id = value["id"];
      if (id.is_number_integer()) theirs[group->second].insert(id.template get<int>());
    }
    for (const auto& [name, kind] : groups) {
      std::set<int> ours;
      for (const TExifTag* tag : data.PeekSection(kind))
        if (tag->WellFormed() && !notListedByThem.count(tag->ID())) ours.insert(tag->ID());
      // A directory whose first entry they cannot read they give up; we read on past it.
      const auto warning = photo.find("ExifTool:Warning");
      const bool theyGaveUp = theirs[kind].empty() && warning != photo.end() && warning->is_object() &&
                              warning->value("val", "").rfind("Bad format", 0) == 0;
      if (theyGaveUp) continue;
      EXPECT_EQ(ours, theirs[kind]) << file << " " << name;
      ++compared;
    }
    // Text values agree too, once the padding they drop (from the first NUL, trailing blanks) is gone.
    if (photo.contains("IFD0:Make") && photo["IFD0:Make"]["val"].is_string()) {
      std::string make = data.CameraMake();
      make = make.substr(0, make.find('\0'));
      make.erase(make.find_last_not_of(' ') + 1);
      EXPECT_EQ(make, photo["IFD0:Make"]["val"].template get<std::string>()) << file;
    }
  }
  EXPECT_GT(compared, 400);
}

// ---- The Standard list's texts, judged by exiftool ----------------------------------------------

// "yyyy:mm:dd..." as the invariant list shows it ("yyyy-mm-dd..."); the text itself when it is no date.
std::string AsListedDate(std::string text) {
  if (text.size() >= 10 && text[4] == ':' && text[7] == ':') text[4] = text[7] = '-';
  return text;
}

// A date-time exiftool prints that is a real one: "yyyy:mm:dd hh:mm:ss" with digits, month 1-12, day 1-31.
bool IsRealDateTime(const std::string& text) {
  if (text.size() != 19) return false;
  for (std::size_t i : {0u, 1u, 2u, 3u, 5u, 6u, 8u, 9u, 11u, 12u, 14u, 15u, 17u, 18u})
    if (text[i] < '0' || text[i] > '9') return false;
  const int month = std::stoi(text.substr(5, 2)), day = std::stoi(text.substr(8, 2));
  return text[4] == ':' && text[7] == ':' && month >= 1 && month <= 12 && day >= 1 && day <= 31 &&
         std::stoi(text.substr(11, 2)) < 24 && std::stoi(text.substr(14, 2)) < 60 && std::stoi(text.substr(17, 2)) < 60;
}

// What the row of a caption shows, from exiftool's values of the photo ("Group:Name" -> text); nullopt
// where their text is not ours to match (binary values, which they give in base64).
using TTheirValues = std::map<std::string, std::string>;
using TRowOracle = std::function<std::optional<std::string>(const TTheirValues&)>;

std::optional<std::string> Their(const TTheirValues& values, const std::string& tag) {
  const auto found = values.find(tag);
  if (found == values.end()) return std::string();
  if (found->second.rfind("base64:", 0) == 0) return std::nullopt;  // binary, or a number
  // Their raw values keep trailing blanks, which the list leaves out.
  return found->second.substr(0, found->second.find_last_not_of(' ') + 1);
}

TRowOracle Text(const std::string& tag) {
  return [tag](const TTheirValues& values) { return Their(values, tag); };
}

// A date row: their date when it is a real one, otherwise empty.
TRowOracle Date(const std::string& tag) {
  return [tag](const TTheirValues& values) -> std::optional<std::string> {
    const auto text = Their(values, tag);
    if (!text) return text;
    return IsRealDateTime(*text) ? AsListedDate(*text) : std::string();
  };
}

// The GPS row: what the date stamp and the time stamp hold, each on its own.
std::optional<std::string> GpsDateTime(const TTheirValues& values) {
  const auto date = Their(values, "GPS:GPSDateStamp"), time = Their(values, "GPS:GPSTimeStamp");
  if (!date || !time) return std::nullopt;
  const std::string shownDate = IsRealDateTime(*date + " 00:00:00") ? AsListedDate(*date) : "";
  // Their time keeps fractions of a second ("14:28:17.24"); the list shows whole seconds.
  const std::string shownTime = time->size() >= 8 && (*time)[2] == ':' ? time->substr(0, 8) : "";
  return shownDate + (shownDate.empty() || shownTime.empty() ? "" : " ") + shownTime;
}

// Windows text first, then the other tag.
TRowOracle Either(const std::string& first, const std::string& second) {
  return [first, second](const TTheirValues& values) -> std::optional<std::string> {
    const auto text = Their(values, first);
    return !text || !text->empty() ? text : Their(values, second);
  };
}

// Whether the user comment is missing or in one of the character codes the list shows: UNICODE,
// ASCII or undefined (eight NULs).
bool KnownCommentCode(const TExifData& data) {
  const TExifTag* tag = data.PeekSection(skExif).Find(ttUserComment);
  if (tag == nullptr || tag->Bytes().size() < 8) return true;
  const std::string header(tag->Bytes().begin(), tag->Bytes().begin() + 8);
  return header == std::string("UNICODE\0", 8) || header == std::string("ASCII\0\0\0", 8) ||
         header == std::string(8, '\0');
}

// The IPTC texts of every photo read as ExifTool reads them: the same text datasets of record 2
// with the same values in the same order. Dates, times and numbers they convert are left out.
TEST(TheIPTCReader, ReadsTheSameTextsAsExifTool) {
  const std::filesystem::path folder = QUORVANE_PHOTOS_DIR;
  if (const std::string why = OracleMissing(folder); !why.empty()) GTEST_SKIP() << why;

  const auto listing = ExifToolListing("-G1 -a -n -IPTC:all", folder);
  ASSERT_TRUE(listing.is_array());
  int compared = 0;
  for (const auto& photo : listing) {
    const std::string file = photo.value("SourceFile", "");
    TExifData data;
    if (!Loads(data, file)) continue;
    std::map<std::string, std::vector<std::string>> ours, theirs;
    for (const TIPTCDataset& dataset : data.IPTC().Datasets()) {
      const TIPTCDatasetInfo* info = FindIPTCDataset(dataset.Record, dataset.Number);
      if (!info || info->Record != 2 || info->Kind != ikText) continue;
      // Without 1:90 they read every byte as Latin; we take text that is valid UTF-8 as UTF-8.
      const std::string_view bytes(reinterpret_cast<const char*>(dataset.Value.data()), dataset.Value.size());
      const bool latinToThem = !data.IPTC().IsUTF8() && Zorp::Base::IsValidUtf8(bytes);
      ours[std::string("IPTC:") + info->Name].push_back(latinToThem ? Zorp::Base::Windows1252ToUtf8(bytes)
                                                                     : data.IPTC().DisplayText(dataset));
    }
    for (const auto& [key, value] : photo.items()) {
      const TIPTCDatasetInfo* info = key.rfind("IPTC:", 0) == 0 ? FindIPTCDataset(key.substr(5)) : nullptr;
      if (!info || info->Record != 2 || info->Kind != ikText) continue;
      for (const auto& item : value.is_array() ? value : nlohmann::json::array({value}))
        theirs[key].push_back(item.is_string() ? item.template get<std::string>() : item.dump());
    }
    EXPECT_EQ(ours, theirs) << file;
    compared += static_cast<int>(ours.size());
  }
  std::cout << compared << " IPTC datasets compared with exiftool's\n";
  EXPECT_GT(compared, 50);
}

// The value shown where Exif, IPTC and XMP each hold a copy is the one ExifTool's MWG tags pick.
TEST(TheReconciledValues, AreTheOnesExifToolsMWGTagsPick) {
  const std::filesystem::path folder = QUORVANE_PHOTOS_DIR;
  if (const std::string why = OracleMissing(folder); !why.empty()) GTEST_SKIP() << why;

  const auto listing = ExifToolListing(
      "-sep '; ' -MWG:Copyright -MWG:Creator -MWG:Description -MWG:Keywords -MWG:DateTimeOriginal", folder);
  ASSERT_TRUE(listing.is_array());
  const std::pair<const char*, TMWGValue> values[] = {{"Copyright", mvCopyright},
                                                      {"Creator", mvCreator},
                                                      {"Description", mvDescription},
                                                      {"Keywords", mvKeywords},
                                                      {"DateTimeOriginal", mvDateTimeOriginal}};
  int compared = 0;
  for (const auto& photo : listing) {
    const std::string file = photo.value("SourceFile", "");
    TExifData data;
    if (!Loads(data, file)) continue;
    for (const auto& [name, item] : values) {
      const std::string ours = ReadMWGValue(data, item).Value;
      std::string theirs;
      if (photo.contains(name)) {
        const auto& value = photo[name];
        theirs = value.is_string() ? value.get<std::string>() : value.dump();
      }
      theirs = Zorp::Base::Trim(theirs);
      // Theirs carries sub-seconds and a zone, and only values that are there; ours the seconds.
      if (item == mvDateTimeOriginal) theirs = theirs.substr(0, std::min<std::size_t>(theirs.size(), ours.size()));
      // Their tags know no Windows copy, which stands in for a missing Exif one in ours; an XMP
      // packet in UTF-16 is one our reader does not parse.
      if (theirs.empty() && (item == mvCreator || item == mvKeywords)) continue;
      if (ours.empty() && data.UnreadableXMP()) continue;
      EXPECT_EQ(ours, theirs) << file << " " << name;
      ++compared;
    }
  }
  std::cout << compared << " reconciled values compared with exiftool's MWG tags\n";
  EXPECT_GT(compared, 50);
}

// Every photo with IPTC, given new keywords: ExifTool reads them, finds no new IPTC problem (a
// stale digest it warned about is current afterwards), and the other datasets read as before.
TEST(TheIPTCWriter, EditsEveryRealPhotoSoThatExifToolReadsAndValidatesIt) {
  const std::filesystem::path photos = QUORVANE_PHOTOS_DIR;
  if (const std::string why = OracleMissing(photos); !why.empty()) GTEST_SKIP() << why;
  const std::filesystem::path folder = FreshTestFolder("quorvane-iptc-oracle");
  int edited = 0;
  for (const auto& entry : std::filesystem::directory_iterator(photos)) {
    TExifData data;
    if (!Loads(data, entry.path().string()) || !data.IPTC().HasDatasets() || !data.IPTC().Writable() ||
        data.UnreadableExif())
      continue;
    const std::string name = entry.path().filename().string();
    const std::string copy = (folder / name).string(), quoted = "'" + copy + "'";
    CopyWritable(entry.path(), copy);
    const std::string others = RunCommand("exiftool -s3 -G1 -a -n -IPTC:all --IPTC:Keywords " + quoted);
    // The photo's own IPTC problems (values over their length) stay, but for the keywords replaced;
    // a stale digest does not.
    const std::string problems =
        "exiftool -validate -warning -a -s3 " + quoted + " | grep -i iptc | grep -v -i 'digest\\|keywords' | sed 's/ (.*//'";
    const std::string before = RunCommand(problems);
    TExifData editor;
    editor.LoadFromJPEG(copy);
    std::vector<std::string> keywords = {"Quorvane", "K\u00f6ln"};
    try {
      editor.IPTC().SetValues("Keywords", keywords);
    } catch (const EInvalidIPTCValue& refused) {
      // Text in Latin that would outgrow its limit in UTF-8: ASCII keywords need no conversion.
      EXPECT_NE(refused.Message().find("needs IPTC in UTF-8"), std::string::npos) << name;
      keywords = {"Quorvane", "Koeln"};
      editor.IPTC().SetValues("Keywords", keywords);
    }
    editor.SaveToJPEG(copy);
    EXPECT_EQ(RunCommand("exiftool -s3 -sep '|' -IPTC:Keywords " + quoted), keywords[0] + "|" + keywords[1] + "\n")
        << name;
    EXPECT_EQ(RunCommand("exiftool -validate -warning -a -s3 " + quoted + " | grep -i 'iptc.*digest'"), "") << name;
    EXPECT_EQ(RunCommand(problems), before) << name;
    if (data.IPTC().IsUTF8()) {
      EXPECT_EQ(RunCommand("exiftool -s3 -G1 -a -n -IPTC:all --IPTC:Keywords " + quoted), others) << name;
    }
    ++edited;
  }
  std::filesystem::remove_all(folder);
  EXPECT_GT(edited, 10);
}

TEST(TheStandardList, ShowsTheTextsExifToolReads) {
  const std::filesystem::path folder = QUORVANE_PHOTOS_DIR;
  if (const std::string why = OracleMissing(folder); !why.empty()) GTEST_SKIP() << why;
  const std::vector<std::pair<std::string, TRowOracle>> rows = {
      {"Camera make", Text("IFD0:Make")},
      {"Camera model", Text("IFD0:Model")},
      {"Software", Text("IFD0:Software")},
      {"Image description", Text("IFD0:ImageDescription")},
      {"Title", Text("IFD0:XPTitle")},
      {"Subject", Text("IFD0:XPSubject")},
      {"Keywords", Text("IFD0:XPKeywords")},
      {"Author", Either("IFD0:XPAuthor", "IFD0:Artist")},
      {"Comments", Either("IFD0:XPComment", "ExifIFD:UserComment")},
      {"Image unique ID", Text("ExifIFD:ImageUniqueID")},
      {"GPS map datum", Text("GPS:GPSMapDatum")},
      {"Date/time", Date("IFD0:ModifyDate")},
      {"Date/time original", Date("ExifIFD:DateTimeOriginal")},
      {"Date/time digitised", Date("ExifIFD:CreateDate")},
      {"GPS date/time (UTC)", GpsDateTime},
      {"Lens make", Text("ExifIFD:LensMake")},
      {"Lens model", Text("ExifIFD:LensModel")},
      {"Lens serial number", Text("ExifIFD:LensSerialNumber")},
      {"Body serial number", Text("ExifIFD:SerialNumber")},
      {"Offset time", Text("ExifIFD:OffsetTime")},
      {"Offset time original", Text("ExifIFD:OffsetTimeOriginal")},
      {"Offset time digitised", Text("ExifIFD:OffsetTimeDigitized")},
      {"Sub-second time original", Text("ExifIFD:SubSecTimeOriginal")}};
  const auto listing = ExifToolListing("-G1 -n -ext jpg -ext jpeg -Warning -IFD0:all -ExifIFD:all -GPS:all", folder);
  ASSERT_TRUE(listing.is_array());
  int compared = 0;
  for (const auto& photo : listing) {
    const std::string file = photo.value("SourceFile", "");
    TExifData data;
    data.SetEnsureEnumsInRange(false);
    if (!Loads(data, file)) continue;
    if (!data.SourceMetadata().Contains(mkExif)) continue;
    TTheirValues theirs;
    for (const auto& [key, value] : photo.items())
      // A value they print as a JSON number has lost its digits ("1.00" reads 1.0): not compared.
      theirs[key] = value.is_string() ? value.template get<std::string>() : "base64:";
    Quorvane::Viewer::TListRows ours;
    Quorvane::Viewer::ListStandardData(ours, data, Zorp::Base::TFormatSettings::Invariant());
    for (const auto& [caption, oracle] : rows) {
      const auto row = std::find_if(ours.begin(), ours.end(),
                                    [&caption = caption](const auto& r) { return r.Caption == "   " + caption; });
      const std::optional<std::string> expected = oracle(theirs);
      if (row == ours.end() || !expected) continue;
      // A directory they gave up at its first entry tells nothing about its values.
      const auto warning = theirs.find("ExifTool:Warning");
      if (warning != theirs.end() && warning->second.rfind("Bad format", 0) == 0) continue;
      // A comment in a character code other than these three is not shown (exiftool decodes JIS too).
      if (caption == "Comments" && !KnownCommentCode(data)) continue;
      EXPECT_EQ(row->Value(), *expected) << file << ": " << caption << " (ours, theirs)";
      ++compared;
    }
  }
  std::cout << compared << " Standard rows compared with exiftool's\n";
  EXPECT_GT(compared, 500);
}

// ---- The Summary's numbers, judged by exiftool ----------------------------------------------------

// The number a text starts with, "1/167" read as a fraction; nullopt when it starts with none.
std::optional<double> LeadingNumber(const std::string& text) {
  std::size_t used = 0;
  try {
    const double value = std::stod(text, &used);
    if (text.compare(used, 1, "/") == 0) return value / std::stod(text.substr(used + 1));
    return value;
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

TEST(TheSummary, ShowsTheExposureApertureIsoAndFocalLengthExifToolReads) {
  const std::filesystem::path folder = QUORVANE_PHOTOS_DIR;
  if (const std::string why = OracleMissing(folder); !why.empty()) GTEST_SKIP() << why;
  // Caption, their tag, the text before our number, and how far the numbers may differ (a share of
  // theirs for times, which both round to a whole reciprocal or one decimal).
  const struct {
    const char* Caption;
    const char* Tag;
    const char* Prefix;
    double Tolerance;
    bool Relative;
  } rows[] = {{"Exposure", "ExifIFD:ExposureTime", "", 0.15, true},
              {"Aperture", "ExifIFD:FNumber", "f/", 0.051, false},
              {"ISO", "ExifIFD:ISO", "ISO ", 0, false},
              {"Focal length", "ExifIFD:FocalLength", "", 0.051, false}};
  const auto listing = ExifToolListing(
      "-G1 -ext jpg -ext jpeg -ExifIFD:ExposureTime -ExifIFD:FNumber -ExifIFD:ISO -ExifIFD:FocalLength", folder);
  ASSERT_TRUE(listing.is_array());
  int compared = 0;
  for (const auto& photo : listing) {
    const std::string file = photo.value("SourceFile", "");
    TExifData data;
    if (!Loads(data, file)) continue;
    Quorvane::Viewer::TListRows ours;
    Quorvane::Viewer::ListSummary(data, ours);
    for (const auto& row : rows) {
      if (!photo.contains(row.Tag)) continue;
      const auto& value = photo[row.Tag];
      const std::string theirText = value.is_string() ? value.get<std::string>() : value.dump();
      const std::optional<double> theirs = LeadingNumber(theirText);
      // A zero or unreadable value they print is no value to us.
      if (!theirs || *theirs <= 0) continue;
      const auto found = std::find_if(ours.begin(), ours.end(),
                                      [&](const auto& r) { return r.Caption == std::string("   ") + row.Caption; });
      ASSERT_NE(found, ours.end()) << file << ": no " << row.Caption << " row; theirs " << theirText;
      const std::string shown = found->Value();
      ASSERT_TRUE(shown.starts_with(row.Prefix)) << file << ": " << shown;
      const std::optional<double> number = LeadingNumber(shown.substr(std::string_view(row.Prefix).size()));
      ASSERT_TRUE(number.has_value()) << file << ": " << shown;
      EXPECT_LE(std::abs(*number - *theirs), row.Tolerance * (row.Relative ? *theirs : 1))
          << file << ": " << row.Caption << " ours " << shown << ", theirs " << theirText;
      // Their reciprocal times read as ours do.
      if (theirText.starts_with("1/")) {
        EXPECT_EQ(shown, theirText + " s") << file;
      }
      ++compared;
    }
  }
  std::cout << compared << " Summary values compared with exiftool's\n";
  EXPECT_GT(compared, 200);
}

// Every MakerNote of the makers we describe loads cleanly where exiftool reads the photo without a
// warning, and is read by the class of its maker.
TEST(TheMakerNoteList, LoadsCleanlyWhereExifToolReadsTheMakerNoteWithoutAWarning) {
  const std::filesystem::path folder = QUORVANE_PHOTOS_DIR;
  if (const std::string why = OracleMissing(folder); !why.empty()) GTEST_SKIP() << why;
  // Camera make (its start, any case) -> the types our list may show for it.
  const std::vector<std::pair<std::string, std::set<std::string>>> makers = {
      {"canon", {"Canon"}},
      {"nikon", {"NikonType1", "NikonType2", "NikonType3"}},
      {"sony", {"Sony"}},
      {"panasonic", {"Panasonic"}},
      {"olympus", {"Olympus"}},
      {"om digital", {"Olympus"}},
      {"fujifilm", {"Fujifilm"}},
      {"fuji photo", {"Fujifilm"}},
      {"pentax", {"Pentax", "Ricoh"}},
      {"ricoh", {"Pentax", "Ricoh"}},
      {"samsung", {"Samsung", "Pentax"}},
      {"apple", {"Apple"}},
      {"sigma", {"Sigma"}},
      {"casio", {"Casio", "CasioType2"}},
      {"eastman kodak", {"Kodak"}}};
  const auto listing = ExifToolListing("-G0 -ext jpg -ext jpeg -Warning -EXIF:Make -MakerNotes:all", folder);
  ASSERT_TRUE(listing.is_array());
  const Quorvane::Viewer::TMemIniFile ini;
  int checked = 0;
  for (const auto& photo : listing) {
    const std::string file = photo.value("SourceFile", "");
    std::string make = photo.contains("EXIF:Make") && photo["EXIF:Make"].is_string() ? photo["EXIF:Make"].template get<std::string>() : "";
    std::transform(make.begin(), make.end(), make.begin(), [](unsigned char c) { return std::tolower(c); });
    const auto maker = std::find_if(makers.begin(), makers.end(), [&](const auto& m) { return make.starts_with(m.first); });
    const bool theyReadIt = std::any_of(photo.items().begin(), photo.items().end(),
                                        [](const auto& item) { return item.key().starts_with("MakerNotes:"); });
    if (maker == makers.end() || !theyReadIt || photo.contains("ExifTool:Warning")) continue;
    std::map<std::string, std::string> rows;
    for (const auto& row : Quorvane::Viewer::ListPhoto(file, ini).MakerNote)
      if (row.IsValueRow()) rows[row.Caption.substr(row.Caption.find_first_not_of(' '))] = row.Value();
    EXPECT_EQ(rows["Loaded cleanly"], "Yes") << file;
    EXPECT_TRUE(maker->second.contains(rows["Type"])) << file << ": read as " << rows["Type"];
    ++checked;
  }
  std::cout << checked << " MakerNotes of described makers checked\n";
  EXPECT_GT(checked, 40);
}

// ---- Resaved and edited photos, judged by exiftool -------------------------------------------

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

// What a save may change by design: the layout (offsets, also those of the multi-picture images
// that move with the file's length), padding it drops, the offset schema it applies, a thumbnail's
// length (cut after its end marker) and its Compression 7 written as 6, the Exif image size taken
// from the frame (checked apart), the toolkit of a regenerated XMP packet, and the edited field.
// The start offsets of other images are judged in Comparable, by the bytes they point at.
bool ChangedByDesign(const std::string& tag) {
  static const std::set<std::string> tags = {
      "IFD0:ExifOffset",       "IFD0:GPSInfo",           "ExifIFD:InteropOffset",  "IFD1:ThumbnailOffset",
      "IFD1:ThumbnailLength",  "IFD1:ThumbnailImage",    "IFD1:StripOffsets",      "IFD0:Padding",
      "ExifIFD:Padding",       "ExifIFD:OffsetSchema",   "ExifIFD:ExifImageWidth", "ExifIFD:ExifImageHeight",
      "XMP-exif:ExifImageWidth", "XMP-exif:ExifImageHeight",
      "XMP-x:XMPToolkit",      "IFD0:Copyright",         "XMP-dc:Rights",
      "Composite:ImageSize",   "Composite:Megapixels",   "Composite:ThumbnailImage"};
  return tag.rfind("System:", 0) == 0 || tags.count(tag) ||
         (tag.rfind("MPImage", 0) == 0 && tag.find(":MPImageStart") != std::string::npos);
}

bool EndsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// ---- Binary values by their bytes --------------------------------------------------------------

// exiftool's text mode prints a binary value as this placeholder, whatever its bytes.
bool IsBinaryPlaceholder(const std::string& value) {
  return value.rfind("(Binary data ", 0) == 0 && EndsWith(value, ", use -b option to extract)");
}

// A binary value named by its length and the digest of its bytes.
std::string BinaryDigest(const std::string& printed) {
  std::size_t length = printed.size();
  if (printed.rfind("base64:", 0) == 0) {
    const std::size_t chars = printed.size() - 7;
    const std::size_t padding = std::count(printed.end() - std::min<std::size_t>(chars, 2), printed.end(), '=');
    length = chars / 4 * 3 - padding;
  }
  return "(Binary data " + std::to_string(length) + " bytes, fnv1a " + Fnv1aHex(printed) + ")";
}

bool IsBinaryDigest(const std::string& value) {
  return value.rfind("(Binary data ", 0) == 0 && value.find(" bytes, fnv1a ") != std::string::npos;
}

// Each file's values as exiftool prints them with -b (JSON, binary ones in base64), by digest:
// "Group:Name" -> one digest for each copy ("Group:CopyN:Name" tells copies apart). RequestAll=3
// also gives the binary tags that -b extracts only on request. Files -> tags -> digests.
using TExifToolDigests = std::map<std::string, std::map<std::string, std::vector<std::string>>>;
TExifToolDigests ExifToolDigests(const std::vector<std::string>& files) {
  std::vector<std::string> arguments = {"-j", "-a", "-G1:4", "-n", "-b", "-api", "validate=1", "-api", "RequestAll=3"};
  arguments.insert(arguments.end(), files.begin(), files.end());
  const TArgumentFile args(arguments, "json");
  const auto json =
      nlohmann::json::parse(RunCommand("exiftool -@ '" + args.Path.string() + "' 2>/dev/null"), nullptr, false);
  TExifToolDigests digests;
  if (!json.is_array()) return digests;
  for (const auto& photo : json) {
    auto& tags = digests[photo.value("SourceFile", "")];
    for (const auto& [key, value] : photo.items()) {
      // "Group:Copy2:Name" -> "Group:Name"
      std::string tag = key;
      const std::size_t first = key.find(':'), second = key.find(':', first + 1);
      if (second != std::string::npos && key.compare(first + 1, 4, "Copy") == 0) tag.erase(first, second - first);
      tags[tag].push_back(BinaryDigest(value.is_string() ? value.template get<std::string>() : value.dump()));
    }
  }
  return digests;
}

// Gives each binary value of the text listings by its bytes; one exiftool cannot read (an image
// past the end of the file) keeps its placeholder. Warnings stay those of the text listings: JSON
// keeps fewer. Returns how many values it gave by their bytes.
int GiveBinaryValuesByBytes(std::map<std::string, TExifToolListing>& listings, TExifToolDigests digests) {
  int given = 0;
  for (auto& [file, listing] : listings) {
    auto& tags = digests[file];
    for (auto& [tag, value] : listing) {
      auto found = tags.find(tag);
      if (!IsBinaryPlaceholder(value) || found == tags.end() || found->second.empty()) continue;
      value = found->second.back();
      found->second.pop_back();
      ++given;
    }
  }
  return given;
}

struct TJudgedPhoto {
  std::string Name;
  std::string Original, Resaved, Edited;
  bool ThumbnailDropped = false;
  bool HadExif = true;
};

// A photo without Exif gains a main directory with the tags every JPEG main directory must have.
bool AddedWithNewExif(const std::string& tag) {
  static const std::set<std::string> tags = {"File:ExifByteOrder", "IFD0:XResolution", "IFD0:YResolution",
                                             "IFD0:ResolutionUnit", "IFD0:YCbCrPositioning"};
  return tags.count(tag) > 0;
}

// Whether every value of a tag in the listing is a digest of its bytes.
bool ListedByDigest(const TExifToolListing& listing, const std::string& tag) {
  const auto [first, last] = listing.equal_range(tag);
  return first != last && std::all_of(first, last, [](const auto& entry) { return IsBinaryDigest(entry.second); });
}

// The tags and warnings of a listing that a save must keep as they were. A tag listed twice (a
// directory with two entries of one ID) is written once.
std::pair<std::set<std::string>, std::set<std::string>> Comparable(const TExifToolListing& listing,
                                                                  const TJudgedPhoto& photo) {
  std::set<std::string> lines, warnings;
  for (const auto& [tag, value] : listing) {
    if (ChangedByDesign(tag) || (photo.ThumbnailDropped && tag.rfind("IFD1:", 0) == 0)) continue;
    if (!photo.HadExif && AddedWithNewExif(tag)) continue;
    // An image's start offset is a file position that moves with the layout: where the image is
    // listed by digest ("Group:PreviewImage" for "Group:PreviewImageStart"), its bytes judge it instead.
    if (EndsWith(tag, "Start") && ListedByDigest(listing, tag.substr(0, tag.size() - 5))) continue;
    if (tag == "IFD1:Compression" && value == "7") {
      lines.insert(tag + " = 6");
      continue;
    }
    // The text exiftool sees in an empty XMP structure ("."): the regenerated packet keeps the
    // structure, not the white space inside it.
    if (tag.rfind("XMP-", 0) == 0 && value == ".") {
      lines.insert(tag + " = ");
      continue;
    }
    // A trailer with offsets from the start of the file: exiftool adjusts them to any new length.
    if (tag == "ExifTool:Warning" && value.rfind("[minor] Adjusted AFCP offsets", 0) == 0) continue;
    (tag == "ExifTool:Warning" ? warnings : lines).insert(tag + " = " + value);
  }
  return {lines, warnings};
}

template <typename T>
std::vector<std::string> Minus(const T& left, const T& right) {
  std::vector<std::string> result;
  std::set_difference(left.begin(), left.end(), right.begin(), right.end(), std::back_inserter(result));
  return result;
}

// ---- The same photos, judged by exiv2 ----------------------------------------------------------

// What exiv2 prints of a file's Exif tags, maker note tags included ("key" -> "type count value",
// long values by digest), and the lines it prints to stderr other than warnings, the file's name
// in them replaced by "<file>".
struct TExiv2Listing {
  std::multimap<std::string, std::string> Tags;
  std::set<std::string> Errors;
};

// One shell loop runs exiv2 on each file in turn: a run on many files leaves its stderr lines
// without the file they belong to.
std::map<std::string, TExiv2Listing> Exiv2Listings(const std::vector<std::string>& files) {
  const TArgumentFile args(files, "exiv2");
  const fs::path errors = args.Path.string() + ".err";
  std::istringstream text(RunCommand("while IFS= read -r f; do printf '======== %s\\n' \"$f\"; exiv2 -pe -u -b \"$f\" 2>'" +
                                     errors.string() + "'; sed 's/^/stderr: /' '" + errors.string() + "'; done < '" +
                                     args.Path.string() + "'; rm -f '" + errors.string() + "'"));
  std::map<std::string, TExiv2Listing> listings;
  std::string line, current;
  while (std::getline(text, line)) {
    if (line.rfind("======== ", 0) == 0) {
      current = line.substr(9);
      listings[current];
      continue;
    }
    if (current.empty()) continue;
    TExiv2Listing& listing = listings[current];
    if (line.rfind("stderr: ", 0) == 0) {
      std::string message = line.substr(8);
      if (message.rfind("Warning", 0) == 0) continue;
      for (std::size_t at; (at = message.find(current)) != std::string::npos;) message.replace(at, current.size(), "<file>");
      listing.Errors.insert(message);
      continue;
    }
    // "Exif.Image.Make   Ascii   6  Canon"
    std::istringstream fields(line);
    std::string key, type, count, value;
    if (!(fields >> key >> type >> count) || key.rfind("Exif.", 0) != 0) continue;
    std::getline(fields, value);
    value.erase(0, value.find_first_not_of(' '));
    if (value.size() > 100) value = "(" + std::to_string(value.size()) + " chars, fnv1a " + Fnv1aHex(value) + ")";
    listing.Tags.emplace(key, type + " " + count + " " + value);
  }
  return listings;
}

// exiv2's names for what a save may change by design (see ChangedByDesign), and for the maker note's
// position in the file.
bool Exiv2ChangedByDesign(const std::string& key) {
  static const std::set<std::string> keys = {
      "Exif.Image.ExifTag",           "Exif.Image.GPSTag",           "Exif.Photo.InteroperabilityTag",
      "Exif.Thumbnail.JPEGInterchangeFormat", "Exif.Thumbnail.JPEGInterchangeFormatLength",
      "Exif.Thumbnail.StripOffsets",  "Exif.Image.0xea1c",           "Exif.Photo.0xea1c",
      "Exif.Image.Padding",           "Exif.Photo.Padding",          "Exif.Photo.0xea1d",
      "Exif.Photo.OffsetSchema",      "Exif.Photo.PixelXDimension",  "Exif.Photo.PixelYDimension",
      "Exif.Image.Copyright",         "Exif.MakerNote.Offset"};
  return keys.count(key) > 0;
}

// exiv2's maker preview start offsets, and the exiftool tag whose digest judges the bytes they
// point at: an offset is left out only where that digest is listed.
const std::map<std::string, std::string>& Exiv2PreviewStarts() {
  static const std::map<std::string, std::string> starts = {
      {"Exif.NikonPreview.JPEGInterchangeFormat", "PreviewIFD:PreviewImage"},
      {"Exif.Casio2.PreviewImageStart", "Casio:PreviewImage"},
      {"Exif.OlympusCs.PreviewImageStart", "Olympus:PreviewImage"},
      {"Exif.Minolta.ThumbnailOffset", "Minolta:PreviewImage"},
      {"Exif.Pentax.PreviewOffset", "Pentax:PreviewImage"}};
  return starts;
}

// The tags of an exiv2 listing that a save must keep as they were; exifTool is the original's
// exiftool listing, with digests, which tells which preview starts its bytes judge.
std::set<std::string> Exiv2Comparable(const TExiv2Listing& listing, const TJudgedPhoto& photo,
                                      const TExifToolListing& exifTool) {
  static const std::set<std::string> addedWithNewExif = {"Exif.Image.XResolution", "Exif.Image.YResolution",
                                                         "Exif.Image.ResolutionUnit", "Exif.Image.YCbCrPositioning"};
  std::set<std::string> lines;
  for (const auto& [key, value] : listing.Tags) {
    if (Exiv2ChangedByDesign(key) || (photo.ThumbnailDropped && key.rfind("Exif.Thumbnail.", 0) == 0)) continue;
    if (!photo.HadExif && addedWithNewExif.count(key)) continue;
    // An entry of a type TIFF does not define (exiv2 prints its number) could not be read: not written.
    if (value.rfind("0x", 0) == 0) continue;
    const auto start = Exiv2PreviewStarts().find(key);
    if (start != Exiv2PreviewStarts().end() && ListedByDigest(exifTool, start->second)) continue;
    lines.insert(key + " " + (key == "Exif.Thumbnail.Compression" && value == "Short 1 7" ? "Short 1 6" : value));
  }
  return lines;
}

TEST(EveryRealPhoto, ResavedAndEditedReadsAsBeforeInExifTool) {
  const fs::path photos = QUORVANE_PHOTOS_DIR;
  if (const std::string why = OracleMissing(photos); !why.empty()) GTEST_SKIP() << why;
  const fs::path folder = fs::temp_directory_path() / ("quorvane-resave-" + std::to_string(::getpid()));
  fs::remove_all(folder);
  fs::create_directories(folder);
  // The copies go when the test ends, also when an assertion ends it early.
  const std::unique_ptr<const fs::path, void (*)(const fs::path*)> removeCopies(&folder, [](const fs::path* path) {
    std::error_code ignored;
    fs::remove_all(*path, ignored);
  });

  std::vector<TJudgedPhoto> judged;
  std::vector<std::string> files, refused;
  for (const auto& entry : fs::directory_iterator(photos)) {
    const std::string extension = entry.path().extension().string();
    if (extension != ".jpg" && extension != ".jpeg") continue;
    TJudgedPhoto photo;
    photo.Name = entry.path().filename().string();
    photo.Original = entry.path().string();
    photo.Resaved = (folder / ("resaved-" + photo.Name)).string();
    photo.Edited = (folder / ("edited-" + photo.Name)).string();
    try {
      TExifData probe;
      probe.LoadFromJPEG(photo.Original);
      if (probe.UnreadableExif()) {
        // Saving would discard the Exif segment it could not read: refused, the file untouched.
        CopyWritable(photo.Original, photo.Edited);
        probe.SetCopyright("Quorvane Tester");
        EXPECT_THROW(probe.SaveToJPEG(photo.Edited), EZorpExifException) << photo.Name;
        EXPECT_EQ(ReadFileBytes(photo.Edited), ReadFileBytes(photo.Original)) << photo.Name;
        continue;
      }
    } catch (const Zorp::Base::Exception&) {
      continue;  // not readable in the first place
    }
    try {
      CopyWritable(photo.Original, photo.Resaved);
      CopyWritable(photo.Original, photo.Edited);
      TExifData resaved;
      resaved.LoadFromJPEG(photo.Resaved);
      resaved.SaveToJPEG(photo.Resaved);
      TExifData edited;
      edited.LoadFromJPEG(photo.Edited);
      // A thumbnail directory without a thumbnail that loads (or strips) is not written.
      photo.ThumbnailDropped = !edited.HasThumbnail() && !edited.PeekSection(skThumbnail).Find(ttStripOffsets);
      edited.SetCopyright("Quorvane Tester");
      edited.SaveToJPEG(photo.Edited);
      // The same container saved a second time gives the same file.
      const std::string again = (folder / ("again-" + photo.Name)).string();
      CopyWritable(photo.Original, again);
      edited.SaveToJPEG(again);
      EXPECT_EQ(ReadFileBytes(again), ReadFileBytes(photo.Edited)) << photo.Name;
      fs::remove(again);
    } catch (const Zorp::Base::Exception& error) {
      refused.push_back(photo.Name + ": " + error.what());
      continue;
    }
    EXPECT_EQ(FromStartOfScan(ReadFileBytes(photo.Edited)), FromStartOfScan(ReadFileBytes(photo.Original))) << photo.Name;
    files.insert(files.end(), {photo.Original, photo.Resaved, photo.Edited});
    judged.push_back(photo);
  }
  EXPECT_TRUE(refused.empty()) << ::testing::PrintToString(refused);
  ASSERT_GT(judged.size(), 80u);

  // The readers run side by side: exiftool's text listing, its binary values by their bytes, exiv2.
  const bool exiv2 = HasExiv2();
  auto exiv2Listings = std::async(std::launch::async, [&files, exiv2] {
    return exiv2 ? Exiv2Listings(files) : std::map<std::string, TExiv2Listing>{};
  });
  auto digests = std::async(std::launch::async, [&files] { return ExifToolDigests(files); });
  auto listings = ExifToolListings(files);
  // Each photo's thumbnail at least, in the original and both copies.
  EXPECT_GT(GiveBinaryValuesByBytes(listings, digests.get()), static_cast<int>(judged.size()));
  for (TJudgedPhoto& photo : judged) {
    SCOPED_TRACE(photo.Name);
    const auto original = listings.find(photo.Original);
    ASSERT_NE(original, listings.end());
    photo.HadExif = original->second.count("File:ExifByteOrder") > 0;
    const auto [before, warningsBefore] = Comparable(original->second, photo);
    for (const std::string& saved : {photo.Resaved, photo.Edited}) {
      const auto listing = listings.find(saved);
      ASSERT_NE(listing, listings.end());
      const auto [after, warningsAfter] = Comparable(listing->second, photo);
      const auto lost = Minus(before, after), gained = Minus(after, before);
      EXPECT_TRUE(lost.empty()) << saved << "\nlost: " << ::testing::PrintToString(lost);
      // A directory they gave up at its first entry is written well-formed, and they read it then.
      const bool theyGaveUp = std::any_of(warningsBefore.begin(), warningsBefore.end(), [](const std::string& w) {
        return w.find("Bad format") != std::string::npos && w.find(" entry 0") != std::string::npos;
      });
      if (theyGaveUp) continue;
      EXPECT_TRUE(gained.empty()) << saved << "\ngained: " << ::testing::PrintToString(gained);
      EXPECT_TRUE(Minus(warningsAfter, warningsBefore).empty())
          << saved << " new warnings: " << ::testing::PrintToString(Minus(warningsAfter, warningsBefore));
      // The Exif image size is the frame's, and a thumbnail never grows.
      for (const auto& [exifTag, frameTag] : {std::pair{"ExifIFD:ExifImageWidth", "File:ImageWidth"},
                                              std::pair{"ExifIFD:ExifImageHeight", "File:ImageHeight"}}) {
        const auto size = listing->second.find(exifTag), frame = listing->second.find(frameTag);
        EXPECT_EQ(original->second.count(exifTag), listing->second.count(exifTag)) << exifTag;
        if (size != listing->second.end() && frame != listing->second.end()) {
          EXPECT_EQ(size->second, frame->second);
        }
      }
      const auto lengthBefore = original->second.find("IFD1:ThumbnailLength");
      const auto lengthAfter = listing->second.find("IFD1:ThumbnailLength");
      if (lengthBefore != original->second.end() && !photo.ThumbnailDropped) {
        ASSERT_NE(lengthAfter, listing->second.end()) << saved;
        EXPECT_LE(std::stol(lengthAfter->second), std::stol(lengthBefore->second)) << saved;
      }
    }
    const auto copyright = listings.at(photo.Edited).find("IFD0:Copyright");
    ASSERT_NE(copyright, listings.at(photo.Edited).end());
    EXPECT_EQ(copyright->second, "Quorvane Tester");
  }

  // The second reader: every Exif and maker note tag it prints stays, and no new error appears.
  const auto secondListings = exiv2Listings.get();
  if (!exiv2) std::cout << "exiv2 is not installed: the resaved photos are judged by exiftool alone\n";
  std::size_t readByExiv2 = 0;
  for (const TJudgedPhoto& photo : exiv2 ? judged : std::vector<TJudgedPhoto>{}) {
    SCOPED_TRACE(photo.Name + " (exiv2)");
    const auto original = secondListings.find(photo.Original);
    ASSERT_NE(original, secondListings.end());
    readByExiv2 += !original->second.Tags.empty();
    const auto& exifTool = listings.at(photo.Original);
    const auto before = Exiv2Comparable(original->second, photo, exifTool);
    for (const std::string& saved : {photo.Resaved, photo.Edited}) {
      const auto listing = secondListings.find(saved);
      ASSERT_NE(listing, secondListings.end());
      const auto after = Exiv2Comparable(listing->second, photo, exifTool);
      const auto lost = Minus(before, after), gained = Minus(after, before);
      EXPECT_TRUE(lost.empty() && gained.empty()) << saved << "\nlost: " << ::testing::PrintToString(lost)
                                                  << "\ngained: " << ::testing::PrintToString(gained);
      const auto newErrors = Minus(listing->second.Errors, original->second.Errors);
      EXPECT_TRUE(newErrors.empty()) << saved << " new errors: " << ::testing::PrintToString(newErrors);
    }
    const auto copyright = secondListings.at(photo.Edited).Tags.find("Exif.Image.Copyright");
    ASSERT_NE(copyright, secondListings.at(photo.Edited).Tags.end());
    EXPECT_EQ(copyright->second, "Ascii 16 Quorvane Tester");
  }
  // Most photos have Exif that exiv2 reads: an empty listing throughout would judge nothing.
  if (exiv2) {
    EXPECT_GT(readByExiv2, judged.size() * 3 / 4);
  }
}

}  // namespace
