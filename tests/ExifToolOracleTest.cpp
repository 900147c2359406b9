// Judges the reader against an independent one: Debian's exiftool lists the same tags in the same
// directories of the sample photos. Skips when exiftool or the photos are absent.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <set>

#include "SamplePhotos.h"

#include "zorp/exif/ExifData.h"
#include "zorp/exif/ExifExceptions.h"
#include "zorp/exif/TagIDs.h"

namespace {

using namespace Zorp::Exif;
using namespace Zorp::Testing;

TEST(TheReader, ListsTheSameStandardTagsAsExifTool) {
  const std::filesystem::path folder = QUORVANE_PHOTOS_DIR;
  if (!std::filesystem::is_directory(folder)) GTEST_SKIP() << "no sample photos at " << folder;
  if (!HasExifTool()) GTEST_SKIP() << "exiftool is not installed";

  const auto listing = nlohmann::json::parse(
      RunCommand("exiftool -j -G1 -a -n -u -D -q -q '" + folder.string() + "' 2>/dev/null"), nullptr, false);
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
    try {
      data.LoadFromJPEG(file);
    } catch (const Zorp::Base::Exception&) {
      continue;
    }
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

// ---- Resaved and edited photos, judged by exiftool -------------------------------------------

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

// What a save may change by design: the layout (offsets, also those of images that move with the
// file's length), padding it drops, the offset schema it applies, a thumbnail's length (cut after its
// end marker) and its Compression 7 written as 6, the Exif image size taken from the frame (checked
// apart), the toolkit of a regenerated XMP packet, and the edited field.
bool ChangedByDesign(const std::string& tag) {
  static const std::set<std::string> tags = {
      "IFD0:ExifOffset",       "IFD0:GPSInfo",           "ExifIFD:InteropOffset",  "IFD1:ThumbnailOffset",
      "IFD1:ThumbnailLength",  "IFD1:ThumbnailImage",    "IFD1:StripOffsets",      "IFD0:Padding",
      "ExifIFD:Padding",       "ExifIFD:OffsetSchema",   "ExifIFD:ExifImageWidth", "ExifIFD:ExifImageHeight",
      "XMP-exif:ExifImageWidth", "XMP-exif:ExifImageHeight",
      "XMP-x:XMPToolkit",      "IFD0:Copyright",         "XMP-dc:Rights",          "PreviewIFD:PreviewImageStart",
      "Composite:ImageSize",   "Composite:Megapixels",   "Composite:ThumbnailImage"};
  return tag.rfind("System:", 0) == 0 || tags.count(tag) ||
         (tag.rfind("MPImage", 0) == 0 && tag.find(":MPImageStart") != std::string::npos);
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

// The tags and warnings of a listing that a save must keep as they were. A tag listed twice (a
// directory with two entries of one ID) is written once.
std::pair<std::set<std::string>, std::set<std::string>> Comparable(const TExifToolListing& listing,
                                                                  const TJudgedPhoto& photo) {
  std::set<std::string> lines, warnings;
  for (const auto& [tag, value] : listing) {
    if (ChangedByDesign(tag) || (photo.ThumbnailDropped && tag.rfind("IFD1:", 0) == 0)) continue;
    if (!photo.HadExif && AddedWithNewExif(tag)) continue;
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

TEST(EveryRealPhoto, ResavedAndEditedReadsAsBeforeInExifTool) {
  const fs::path photos = QUORVANE_PHOTOS_DIR;
  if (!fs::is_directory(photos)) GTEST_SKIP() << "no sample photos at " << photos;
  if (!HasExifTool()) GTEST_SKIP() << "exiftool is not installed";
  const fs::path folder = fs::temp_directory_path() / ("quorvane-resave-" + std::to_string(::getpid()));
  fs::remove_all(folder);
  fs::create_directories(folder);

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

  const auto listings = ExifToolListings(files);
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
      EXPECT_TRUE(lost.empty() && gained.empty()) << saved << "\nlost: " << ::testing::PrintToString(lost)
                                                  << "\ngained: " << ::testing::PrintToString(gained);
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
  fs::remove_all(folder);
}

}  // namespace
