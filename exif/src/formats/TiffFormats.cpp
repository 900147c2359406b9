// TIFF files and the raw formats built on TIFF: read through TTiffFile (TiffFile.h), never written;
// their edits go to the XMP sidecar. The file's further directories and previews stay with the
// metadata file as its extras, and embedded IPTC records become the container's IPTC data.

#include <vector>

#include "formats/FileFormats.h"
#include "zorp/exif/IPTC.h"
#include "zorp/exif/TiffFile.h"

namespace Zorp::Exif::Formats {
namespace {

class TTiffBasedFormat final : public TMetadataFileFormat {
 public:
  explicit TTiffBasedFormat(TTiffFileFormat format) : FInfo(*FindTiffFileFormat(format)) {
    std::string_view list = FInfo.Extensions;
    while (!list.empty()) {
      const std::size_t end = std::min(list.find(' '), list.size());
      if (end > 0) FExtensions.push_back(list.substr(0, end));
      list.remove_prefix(std::min(end + 1, list.size()));
    }
  }
  std::string_view Name() const override { return FInfo.Name; }
  std::span<const std::string_view> Extensions() const override { return FExtensions; }
  bool Recognizes(std::span<const std::uint8_t> head, std::string_view fileName) const override {
    return IdentifyTiffFile(head, fileName) == FInfo.Format;
  }
  bool WritesInPlace() const override { return false; }
  void Load(TMetadataFile& file) const override { Take(file, LoadTiffFile(file.FileName(), file.Exif())); }
  void LoadFromStream(TMetadataFile& file, Zorp::Base::TStream& stream) const override {
    auto tiff = std::make_unique<TTiffFile>();
    tiff->Load(stream, file.FileName(), file.Exif());
    Take(file, std::move(tiff));
  }

 private:
  static void Take(TMetadataFile& file, std::unique_ptr<TTiffFile> tiff) {
    if (!tiff->IPTCData().empty()) {
      file.Exif().IPTC().LoadFromIPTCRecords(tiff->IPTCData());
      file.Exif().SetModified(false);
    }
    file.SetExtras(std::move(tiff));
  }

  const TTiffFileFormatInfo& FInfo;
  std::vector<std::string_view> FExtensions;
};

const TTiffBasedFormat TIFFFormat(tfTIFF), DNGFormat(tfDNG), CR2Format(tfCanonCR2), NEFFormat(tfNikonNEF),
    NRWFormat(tfNikonNRW), ARWFormat(tfSonyARW), SR2Format(tfSonySR2), ORFFormat(tfOlympusORF),
    RW2Format(tfPanasonicRW2), PEFFormat(tfPentaxPEF);

}  // namespace

const TMetadataFileFormat& TIFF = TIFFFormat;
const TMetadataFileFormat& DNG = DNGFormat;
const TMetadataFileFormat& CanonCR2 = CR2Format;
const TMetadataFileFormat& NikonNEF = NEFFormat;
const TMetadataFileFormat& NikonNRW = NRWFormat;
const TMetadataFileFormat& SonyARW = ARWFormat;
const TMetadataFileFormat& SonySR2 = SR2Format;
const TMetadataFileFormat& OlympusORF = ORFFormat;
const TMetadataFileFormat& PanasonicRW2 = RW2Format;
const TMetadataFileFormat& PentaxPEF = PEFFormat;

}  // namespace Zorp::Exif::Formats
