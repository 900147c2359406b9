#pragma once
// The sample photos and the independent reader that judges them: file bytes, writable copies, the
// image data no save may touch, Debian's exiftool listing as "Group:Name" -> values, and what
// Debian's exiv2 prints of the same files.

#include <unistd.h>

#include <array>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <string_view>
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
  const auto scanner = Zorp::Exif::ScanJPEGSegments(stream, Zorp::Exif::TJPEGMarkerSet{Zorp::Exif::jmStartOfScan});
  // A file cut off before its scan data has none.
  if (Zorp::Exif::MoveNextBeforeCut(*scanner, true))
    return std::vector<std::uint8_t>(jpeg.begin() + scanner->Current()->Offset(), jpeg.end());
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
inline bool HasExiv2() { return !RunCommand("command -v exiv2 2>/dev/null").empty(); }

// A 64-bit FNV-1a digest in hex: enough to tell changed bytes from kept ones.
inline std::string Fnv1aHex(std::string_view bytes) {
  std::uint64_t hash = 14695981039346656037ull;
  for (const char c : bytes) hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
  return text;
}

// A file of names, one a line, for a reader to take all at once: a command line may not hold
// hundreds of them. Removed when it goes out of scope.
class TArgumentFile {
 public:
  explicit TArgumentFile(const std::vector<std::string>& names, const std::string& kind = "args")
      : Path(std::filesystem::temp_directory_path() /
             ("quorvane-" + kind + "-" + std::to_string(::getpid()) + "-" + std::to_string(NextNumber()))) {
    std::ofstream file(Path);
    for (const std::string& name : names) file << name << "\n";
  }
  ~TArgumentFile() {
    std::error_code ignored;
    std::filesystem::remove(Path, ignored);
  }
  TArgumentFile(const TArgumentFile&) = delete;
  TArgumentFile& operator=(const TArgumentFile&) = delete;
  const std::filesystem::path Path;

 private:
  static int NextNumber() {
    static std::atomic<int> counter{0};
    return counter++;
  }
};

// exiftool's text listing of each file ("[Group] Name : value" lines, with its validation warnings)
// as "Group:Name" -> values, keyed by the file name as given.
using TExifToolListing = std::multimap<std::string, std::string>;
inline std::map<std::string, TExifToolListing> ExifToolListings(const std::vector<std::string>& files) {
  const TArgumentFile args(files);
  std::istringstream text(
      RunCommand("exiftool -a -G1 -s -n -api validate=1 -@ '" + args.Path.string() + "' 2>/dev/null"));
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
