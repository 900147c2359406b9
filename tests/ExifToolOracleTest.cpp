// Judges the reader against an independent one: Debian's exiftool lists the same tags in the same
// directories of the sample photos. Skips when exiftool or the photos are absent.

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <set>

#include "zorp/exif/ExifData.h"
#include "zorp/exif/TagIDs.h"

namespace {

using namespace Zorp::Exif;

std::string RunCommand(const std::string& command) {
  std::string output;
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
  if (!pipe) return output;
  std::array<char, 65536> buffer;
  std::size_t n;
  while ((n = std::fread(buffer.data(), 1, buffer.size(), pipe.get())) > 0) output.append(buffer.data(), n);
  return output;
}

TEST(TheReader, ListsTheSameStandardTagsAsExifTool) {
  const std::filesystem::path folder = QUORVANE_PHOTOS_DIR;
  if (!std::filesystem::is_directory(folder)) GTEST_SKIP() << "no sample photos at " << folder;
  if (RunCommand("command -v exiftool").empty()) GTEST_SKIP() << "exiftool is not installed";

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

}  // namespace
