// JPEG photos: the Exif APP1 segment, the XMP APP1 segment and the rest of the file kept as it is,
// written back through the rewrite that replaces only the segments that changed. A ".exif" file
// holding a bare Exif block reads through the same load.

#include <array>
#include <cstring>

#include "formats/FileFormats.h"

namespace Zorp::Exif::Formats {
namespace {

class TJPEGFileFormat final : public TMetadataFileFormat {
 public:
  std::string_view Name() const override { return "JPEG"; }
  std::span<const std::string_view> Extensions() const override { return FExtensions; }
  bool Recognizes(std::span<const std::uint8_t> head, std::string_view) const override {
    // A start-of-image marker followed by any marker.
    return head.size() >= 3 && head[0] == 0xFF && head[1] == 0xD8 && head[2] == 0xFF;
  }
  bool WritesInPlace() const override { return true; }
  void Load(TMetadataFile& file) const override { file.Exif().LoadFromJPEG(file.FileName()); }
  void LoadFromStream(TMetadataFile& file, Zorp::Base::TStream& stream) const override {
    file.Exif().LoadFromJPEG(stream);
  }
  void Save(TMetadataFile& file) const override { file.Exif().SaveToJPEG(file.FileName(), true); }

 private:
  static constexpr std::array<std::string_view, 3> FExtensions = {".jpg", ".jpeg", ".exif"};
};

const TJPEGFileFormat Instance;

}  // namespace

const TMetadataFileFormat& JPEG = Instance;

}  // namespace Zorp::Exif::Formats
