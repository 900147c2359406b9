#pragma once
// TIFF files and the raw formats built on TIFF (DNG, CR2, NEF, NRW, ARW, SR2, ORF, RW2, PEF), read
// only: which format a file is, and its metadata loaded into an Exif container, together with what
// such a container has no place for (further directories, the embedded JPEG previews, IPTC bytes).
//
// The file is read through a stream, only where its directories and values lie, each read bounded
// by the file's size and all of them by a fixed budget; image data is never read. A container loaded
// here refuses every save (TCustomExifData::ReadOnlyFormat).

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "zorp/base/JPEGImage.h"
#include "zorp/base/Streams.h"
#include "zorp/exif/ExifData.h"
#include "zorp/exif/ExifSections.h"
#include "zorp/exif/MetadataFile.h"

namespace Zorp::Exif {

enum TTiffFileFormat : std::uint8_t {
  tfUnknown = 0,
  tfTIFF,
  tfDNG,
  tfCanonCR2,
  tfNikonNEF,
  tfNikonNRW,
  tfSonyARW,
  tfSonySR2,
  tfOlympusORF,
  tfPanasonicRW2,
  tfPentaxPEF
};

// One row of the format table (TiffFileFormats.cpp).
struct TTiffFileFormatInfo {
  TTiffFileFormat Format;
  std::string_view Name;        // as shown: "Nikon NEF"
  std::string_view Extensions;  // lower case, with dots, separated by blanks: ".rw2 .raw"
  std::string_view Make;        // IFD0 Make that tells it from plain TIFF (start, any case); may be empty
};

// Every format, in the order of the enumeration from tfTIFF on.
std::span<const TTiffFileFormatInfo> TiffFileFormats();
// The row of a format; null for tfUnknown.
const TTiffFileFormatInfo* FindTiffFileFormat(TTiffFileFormat format);
// The format's name, "" for tfUnknown.
std::string_view TiffFileFormatName(TTiffFileFormat format);

// How many of a file's first bytes IdentifyTiffFile can use.
inline constexpr std::size_t TiffFileProbeSize = 4096;

// Which format a file is from its first bytes (up to TiffFileProbeSize; fewer when the file is
// shorter) and its name. The header tells ORF, RW2 and CR2; for a plain TIFF header IFD0 tells DNG
// (DNGVersion) and the maker (Make) when it lies within head, else the name's extension does; a
// ".tif"/".tiff" name stays TIFF. tfUnknown for anything else, BigTIFF included.
TTiffFileFormat IdentifyTiffFile(std::span<const std::uint8_t> head, std::string_view fileName);
// The same for a file's first bytes, read from it; tfUnknown also when it cannot be read.
TTiffFileFormat IdentifyTiffFile(const std::string& fileName);

// A directory that the Exif container has no section for: IFD1 when it holds no Exif thumbnail, the
// IFDs behind it, SubIFDs (0x014A) and the chains behind the Exif directory and SubIFDs.
struct TTiffDirectory {
  std::string Name;         // "IFD1", "IFD2", "SubIFD 1", "SubIFD 1.2", "SubIFD 1, next 1", "Exif IFD, next 1"
  std::int64_t Offset = 0;  // from the file's start
  std::int32_t Depth = 0;   // 0 for IFDs of the main chain, 1 for their SubIFDs, ...
  // Its tags (section kind skNone: changes notify nobody). Never null.
  std::unique_ptr<TExifSection> Tags;
};

// An embedded JPEG image.
struct TTiffPreview {
  std::string Source;       // the directory that points at it ("IFD0", "SubIFD 1", "MakerNote")
  std::int64_t Offset = 0;  // from the file's start
  std::int64_t Size = 0;    // bytes
  std::int32_t Width = 0;   // pixels, from its frame header; 0 when not read
  std::int32_t Height = 0;
};

class TTiffFile : public TMetadataFileExtras {
 public:
  // Caps that keep a hostile file from making the load read or keep much.
  static constexpr std::int32_t MaxDirectories = 64;             // extra directories
  static constexpr std::int32_t MaxDepth = 4;                    // SubIFDs within SubIFDs
  static constexpr std::int64_t MaxEntries = 100000;             // entries of all directories together
  static constexpr std::int64_t MaxValueSize = 16LL << 20;       // one tag value
  static constexpr std::int64_t MaxValueBytes = 48LL << 20;      // all tag values together
  static constexpr std::int64_t MaxPreviewSize = 32LL << 20;     // the preview loaded as an image
  static constexpr std::int64_t MaxMakerNoteBlock = 16LL << 20;  // the file's head kept for the MakerNote
  static constexpr std::int64_t MaxBytesRead = 160LL << 20;      // everything read from the file

  TTiffFile();
  ~TTiffFile() override;
  TTiffFile(const TTiffFile&) = delete;
  TTiffFile& operator=(const TTiffFile&) = delete;

  // Loads the file into data (cleared first): IFD0, the Exif, GPS and interoperability directories
  // into their sections, the MakerNote through the MakerNote registry, IFD1 into the thumbnail
  // section when it holds an Exif JPEG thumbnail, the XMP packet (tag 700) as data's packet; and
  // here the other directories, the previews and the IPTC bytes. The file is only read. A file that
  // is not one of the formats raises EInvalidTiffData with the reason (BigTIFF has its own); a file
  // that cannot be opened EFOpenError. Problems inside the directories are load errors, as for JPEG.
  void Load(const std::string& fileName, TExifData& data);
  // The same from a stream (its start is the file's start); fileName helps to tell the format.
  void Load(Zorp::Base::TStream& stream, const std::string& fileName, TExifData& data);

  TTiffFileFormat Format() const { return FFormat; }
  std::string_view FormatName() const { return TiffFileFormatName(FFormat); }
  const std::vector<TTiffDirectory>& Directories() const { return FDirectories; }
  // Every embedded JPEG image found, in the order found (a place listed once).
  const std::vector<TTiffPreview>& Previews() const { return FPreviews; }
  // The largest of them (the file's preview), null when there is none.
  const TTiffPreview* LargestPreview() const;
  // The largest preview's image, empty when there is none or it is over MaxPreviewSize. Also the
  // container's Thumbnail when the file has no Exif thumbnail.
  const Zorp::Base::TJPEGImage& Preview() const { return FPreview; }
  // The IPTC record bytes of tag 0x83BB in IFD0 as stored (empty without one).
  const std::vector<std::uint8_t>& IPTCData() const { return FIPTCData; }
  // Bytes read from the file by the last load.
  std::int64_t BytesRead() const { return FBytesRead; }

  void Clear();

 private:
  friend class Detail::TTiffFileLoader;
  TTiffFileFormat FFormat = tfUnknown;
  std::vector<TTiffDirectory> FDirectories;
  std::vector<TTiffPreview> FPreviews;
  Zorp::Base::TJPEGImage FPreview;
  std::vector<std::uint8_t> FIPTCData;
  std::int64_t FBytesRead = 0;
};

// Loads a file into data and returns what else it holds; see TTiffFile::Load.
std::unique_ptr<TTiffFile> LoadTiffFile(const std::string& fileName, TExifData& data);

}  // namespace Zorp::Exif
