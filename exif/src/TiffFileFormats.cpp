// The table of TIFF-based formats: one row per format, with its name, the extensions its files carry
// and the camera make that tells it from a plain TIFF.

#include <array>

#include "zorp/exif/TiffFile.h"

namespace Zorp::Exif {

using namespace std::string_view_literals;

namespace {

constexpr std::array<TTiffFileFormatInfo, 10> Formats = {{
    {tfTIFF, "TIFF"sv, ".tif .tiff"sv, ""sv},
    {tfDNG, "DNG"sv, ".dng"sv, ""sv},
    {tfCanonCR2, "Canon CR2"sv, ".cr2"sv, "Canon"sv},
    {tfNikonNEF, "Nikon NEF"sv, ".nef"sv, "NIKON"sv},
    {tfNikonNRW, "Nikon NRW"sv, ".nrw"sv, "NIKON"sv},
    {tfSonyARW, "Sony ARW"sv, ".arw"sv, "SONY"sv},
    {tfSonySR2, "Sony SR2"sv, ".sr2"sv, "SONY"sv},
    {tfOlympusORF, "Olympus ORF"sv, ".orf"sv, "OLYMPUS"sv},
    {tfPanasonicRW2, "Panasonic RW2"sv, ".rw2 .raw .rwl"sv, "Panasonic"sv},
    {tfPentaxPEF, "Pentax PEF"sv, ".pef"sv, "PENTAX"sv},
}};

}  // namespace

std::span<const TTiffFileFormatInfo> TiffFileFormats() { return Formats; }

const TTiffFileFormatInfo* FindTiffFileFormat(TTiffFileFormat format) {
  for (const TTiffFileFormatInfo& info : Formats)
    if (info.Format == format) return &info;
  return nullptr;
}

std::string_view TiffFileFormatName(TTiffFileFormat format) {
  const TTiffFileFormatInfo* info = FindTiffFileFormat(format);
  return info ? info->Name : std::string_view();
}

}  // namespace Zorp::Exif
