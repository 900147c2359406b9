#pragma once
// The sample photos and the independent reader that judges them: file bytes, writable copies, the
// image data no save may touch, and Debian's exiftool listing as "Group:Name" -> values.

#include <unistd.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "zorp/base/Streams.h"
#include "zorp/exif/JPEGUtils.h"

namespace Zorp::Testing {

inline std::vector<std::uint8_t> ReadFileBytes(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(file), {});
}

inline void WriteFileBytes(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

// A copy of a sample photo that the test may rewrite (the samples themselves may be read-only).
inline void CopyWritable(const std::filesystem::path& from, const std::filesystem::path& to) {
  std::filesystem::copy_file(from, to);
  std::filesystem::permissions(to, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write,
                               std::filesystem::perm_options::add);
}

// The image data: everything from the start-of-scan marker on.
inline std::vector<std::uint8_t> FromStartOfScan(const std::vector<std::uint8_t>& jpeg) {
  Zorp::Base::TUserMemoryStream stream(jpeg.data(), static_cast<std::int64_t>(jpeg.size()));
  for (const auto& segment : Zorp::Exif::ScanJPEGSegments(stream, Zorp::Exif::TJPEGMarkerSet{Zorp::Exif::jmStartOfScan}))
    return std::vector<std::uint8_t>(jpeg.begin() + segment->Offset(), jpeg.end());
  return {};
}

// Runs a shell command and returns its standard output.
inline std::string RunCommand(const std::string& command) {
  std::string output;
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen(command.c_str(), "r"), ::pclose);
  if (!pipe) return output;
  std::array<char, 65536> buffer;
  std::size_t n;
  while ((n = std::fread(buffer.data(), 1, buffer.size(), pipe.get())) > 0) output.append(buffer.data(), n);
  return output;
}

inline bool HasExifTool() { return !RunCommand("command -v exiftool 2>/dev/null").empty(); }

// exiftool's text listing of each file ("[Group] Name : value" lines, with its validation warnings)
// as "Group:Name" -> values, keyed by the file name as given.
using TExifToolListing = std::multimap<std::string, std::string>;
inline std::map<std::string, TExifToolListing> ExifToolListings(const std::vector<std::string>& files) {
  namespace fs = std::filesystem;
  // The names go through an argument file: a command line may not hold hundreds of them.
  const fs::path argFile = fs::temp_directory_path() / ("quorvane-args-" + std::to_string(::getpid()));
  {
    std::ofstream args(argFile);
    for (const std::string& file : files) args << file << "\n";
  }
  std::istringstream text(
      RunCommand("exiftool -a -G1 -s -n -api validate=1 -@ '" + argFile.string() + "' 2>/dev/null"));
  fs::remove(argFile);
  std::map<std::string, TExifToolListing> listings;
  std::string line, current;
  while (std::getline(text, line)) {
    if (line.rfind("======== ", 0) == 0) {
      current = line.substr(9);
      continue;
    }
    const std::size_t colon = line.find(" : ");
    if (current.empty() || colon == std::string::npos || line.empty() || line[0] != '[') continue;
    std::string name = line.substr(0, colon);
    name.erase(name.find_last_not_of(' ') + 1);
    // "[Group]  Name" -> "Group:Name"
    const std::size_t close = name.find(']');
    std::string tag = name.substr(close + 1);
    tag.erase(0, tag.find_first_not_of(' '));
    listings[current].emplace(name.substr(1, close - 1) + ":" + tag, line.substr(colon + 3));
  }
  return listings;
}

}  // namespace Zorp::Testing
