#pragma once
// The metadata file: one object per photo file that owns its Exif container (with the XMP packet the
// file embeds), knows the file's format and reads and writes it through that format. A format is a
// TMetadataFileFormat object in a file of its own, listed by one line in MetadataFile.cpp; programs
// ask the registry which files they can open instead of naming extensions themselves.

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "zorp/base/Streams.h"
#include "zorp/exif/ExifData.h"
#include "zorp/exif/ExifExceptions.h"

namespace Zorp::Exif {

class TMetadataFile;

// Data that a format cannot read in the way asked for.
ZORP_DECLARE_EXCEPTION(EUnsupportedFileFormat, EZorpExifException);
// An edit of a file whose format is read-only and that has no other place for its edits.
ZORP_DECLARE_EXCEPTION(EReadOnlyFileFormat, EZorpExifException);

// The bytes a format test sees of a file's start.
inline constexpr std::size_t MetadataFileHeadSize = 64;

// One file format: how a file of it is recognised, read and written.
class TMetadataFileFormat {
 public:
  virtual ~TMetadataFileFormat() = default;
  // The name shown to a person: "JPEG", "TIFF", "Nikon NEF".
  virtual std::string_view Name() const = 0;
  // The file name extensions of the format, lower case with their dot.
  virtual std::span<const std::string_view> Extensions() const = 0;
  // Whether head, the first bytes of a file (up to MetadataFileHeadSize, fewer for a short file),
  // is of this format; fileName breaks ties between formats with the same first bytes.
  virtual bool Recognizes(std::span<const std::uint8_t> head, std::string_view fileName) const = 0;
  // Whether the file itself takes edits.
  virtual bool WritesInPlace() const = 0;
  // Reads file.FileName() into the file's containers.
  virtual void Load(TMetadataFile& file) const = 0;
  // Reads the file's data from a stream; raises EUnsupportedFileFormat unless the format can.
  virtual void LoadFromStream(TMetadataFile& file, Zorp::Base::TStream& stream) const;
  // Writes the containers back into file.FileName(), atomically; only for WritesInPlace formats.
  virtual void Save(TMetadataFile& file) const;
};

// The registered formats, in the order they are tried.
std::span<const TMetadataFileFormat* const> MetadataFileFormats();
// The JPEG format (also the format of a bare Exif block in a ".exif" file).
const TMetadataFileFormat& JPEGFileFormat();
// The format a file name's extension names, compared without regard to letter case; nullptr for none.
const TMetadataFileFormat* FileFormatOfName(std::string_view fileName);
// Whether a program should offer the file: its extension names a registered format.
bool IsMetadataFileName(std::string_view fileName);
// The format of a file's first bytes; the one its extension names when no test recognises them (a
// JPEG without its start marker still loads as a JPEG does today); nullptr when neither.
const TMetadataFileFormat* RecognizeFileFormat(std::span<const std::uint8_t> head, std::string_view fileName);

class TMetadataFile {
 public:
  // A file of a known format, not yet read.
  TMetadataFile(std::string fileName, const TMetadataFileFormat& format);
  ~TMetadataFile();
  TMetadataFile(const TMetadataFile&) = delete;
  TMetadataFile& operator=(const TMetadataFile&) = delete;

  // The file with the format its name's extension gives, else the format its first bytes give, else
  // JPEG (whose load then tells what is wrong); not yet loaded.
  static std::unique_ptr<TMetadataFile> Create(const std::string& fileName);
  // Create, then Load.
  static std::unique_ptr<TMetadataFile> Open(const std::string& fileName);
  // The same for data in a stream, read as the format fileName's extension names (JPEG for a name
  // without a registered extension).
  static std::unique_ptr<TMetadataFile> Open(Zorp::Base::TStream& stream, const std::string& fileName);

  const std::string& FileName() const { return FFileName; }
  const TMetadataFileFormat& Format() const { return *FFormat; }
  bool WritesInPlace() const { return FFormat->WritesInPlace(); }

  // The Exif container with the XMP packet embedded in the file.
  TExifData& Exif() { return *FExif; }
  const TExifData& Exif() const { return *FExif; }
  TXMPPacket& XMP() { return FExif->XMPPacket(); }

  // Reads the file into the containers, which the format's load clears first.
  void Load();
  // Writes the edits into the file through its format; EReadOnlyFileFormat for a read-only format.
  void Save();

 private:
  std::string FFileName;
  const TMetadataFileFormat* FFormat;
  std::unique_ptr<TExifData> FExif;
};

}  // namespace Zorp::Exif
