#pragma once
// The metadata file: one object per photo file that owns its Exif container (with the XMP packet the
// file embeds) and its XMP sidecar, knows the file's format and reads and writes it through that
// format; a file the format does not write takes its edits in the sidecar. A format is a
// TMetadataFileFormat object in a file of its own, listed by one line in MetadataFile.cpp; programs
// ask the registry which files they can open instead of naming extensions themselves.

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "zorp/base/FileLock.h"
#include "zorp/base/Streams.h"
#include "zorp/exif/ExifData.h"
#include "zorp/exif/ExifExceptions.h"
#include "zorp/exif/XMPPacket.h"

namespace Zorp::Exif {

class TMetadataFile;

// Data that a format cannot read in the way asked for.
ZORP_DECLARE_EXCEPTION(EUnsupportedFileFormat, EZorpExifException);
// An edit of a file whose format is read-only and that has no other place for its edits.
ZORP_DECLARE_EXCEPTION(EReadOnlyFileFormat, EZorpExifException);

// The bytes a format test sees of a file's start.
inline constexpr std::size_t MetadataFileHeadSize = 4096;

// What a format keeps of a file beyond the containers (the directories and previews of a raw file).
class TMetadataFileExtras {
 public:
  virtual ~TMetadataFileExtras() = default;
};

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
  // A file whose data comes from a stream (Format().LoadFromStream), with the format fileName's
  // extension names, JPEG for a name without a registered extension.
  static std::unique_ptr<TMetadataFile> CreateForStream(const std::string& fileName);

  const std::string& FileName() const { return FFileName; }
  const TMetadataFileFormat& Format() const { return *FFormat; }
  bool WritesInPlace() const { return FFormat->WritesInPlace(); }

  // The Exif container. Its XMP packet is the one edits go to: the packet the file embeds, or for
  // a file that is not written in place, its sidecar's.
  TExifData& Exif() { return *FExif; }
  const TExifData& Exif() const { return *FExif; }
  TXMPPacket& XMP() { return FExif->XMPPacket(); }

  // What the format keeps beyond the containers; nullptr when nothing.
  const TMetadataFileExtras* Extras() const { return FExtras.get(); }
  void SetExtras(std::unique_ptr<TMetadataFileExtras> extras) { FExtras = std::move(extras); }

  // ---- The XMP sidecar beside the file: "PHOTO.EXT.xmp" or "PHOTO.xmp" ----
  // The sidecar read with the file, or written by Save; empty when there is none. A file written in
  // place looks for its sidecar only when asked (a listing of many photos asks for none).
  const std::string& SidecarFileName();
  // The sidecar's packet: XMP() for a file that is not written in place, a read-only copy beside the
  // embedded packet otherwise; nullptr without a sidecar.
  TXMPPacket* Sidecar();
  // The packet a file that is not written in place embeds (XMP() holds its sidecar); nullptr
  // for other files and files without one.
  const TXMPPacket* EmbeddedXMP() const { return FEmbeddedXMP.get(); }
  // Why the sidecar could not be read; empty when it was read or there is none.
  const std::string& SidecarError();
  // The sidecar of fileName that exists, trying "NAME.EXT.xmp" then "NAME.xmp", each with ".xmp"
  // and ".XMP"; empty when none does.
  static std::string FindSidecar(const std::string& fileName);
  // The name a new sidecar of fileName gets: "NAME.xmp".
  static std::string NewSidecarName(const std::string& fileName);
  // The most bytes a sidecar may have to be read.
  static constexpr std::int64_t MaxSidecarSize = 16 * 1024 * 1024;

  // Reads the file into the containers, which the format's load clears first, and the sidecar of a
  // file that is not written in place. A file named as a JPEG that holds another registered format
  // is read as that format.
  void Load();
  // Writes the edits: into the file through its format when it writes in place, else the XMP
  // packet into the sidecar (created when missing), through a safe replacement. Refuses with
  // EFileChanged when another program changed or created the sidecar since it was read.
  void Save();

 private:
  // Takes the format, and the sidecar write policy when the format does not write the file.
  void UseFormat(const TMetadataFileFormat& format);
  void LoadSidecar();
  void SaveSidecar();

  std::string FFileName;
  const TMetadataFileFormat* FFormat = nullptr;
  std::unique_ptr<TExifData> FExif;
  std::unique_ptr<TMetadataFileExtras> FExtras;
  bool FSidecarRead = false;
  std::string FSidecarFileName;
  std::optional<Zorp::Base::TFileIdentity> FSidecarState;  // as read; none when it did not exist
  std::unique_ptr<TXMPPacket> FSidecar;                     // files written in place only
  std::unique_ptr<TXMPPacket> FEmbeddedXMP;                 // other files only
  std::string FSidecarError;
};

}  // namespace Zorp::Exif
