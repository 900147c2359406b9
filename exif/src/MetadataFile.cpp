// The registry of file formats and the metadata file that reads and writes through them. A new
// format is one file in formats/ defining its TMetadataFileFormat object, and one line in the table
// below.

#include "zorp/exif/MetadataFile.h"

#include <sys/stat.h>

#include <array>
#include <vector>

#include "zorp/base/SafeFile.h"
#include "zorp/base/TextEncoding.h"
#include "zorp/exif/JPEGUtils.h"
#include "zorp/exif/Consts.h"
#include "zorp/exif/XMPUtils.h"
#include "formats/FileFormats.h"

namespace Zorp::Exif {
namespace {

constexpr const char* SSidecarChangedSinceRead =
    "The XMP sidecar was changed by another program after it was read; read the photo again";

// Tried in this order; the first format whose test passes wins.
const std::array Registry = {
    &Formats::JPEG,  &Formats::TIFF,         &Formats::DNG,         &Formats::CanonCR2,
    &Formats::NikonNEF, &Formats::NikonNRW,  &Formats::SonyARW,     &Formats::SonySR2,
    &Formats::OlympusORF, &Formats::PanasonicRW2, &Formats::PentaxPEF,
};

// Where the extension of a file name starts (its dot); npos without one. A dot that starts the name
// (".jpg") makes no extension.
std::size_t ExtensionDot(std::string_view fileName) {
  const std::size_t slash = fileName.find_last_of('/');
  const std::size_t nameStart = slash == std::string_view::npos ? 0 : slash + 1;
  const std::size_t dot = fileName.find_last_of('.');
  return dot == std::string_view::npos || dot <= nameStart ? std::string_view::npos : dot;
}

// The extension of a file name, lower case with its dot; empty without one.
std::string ExtensionOf(std::string_view fileName) {
  const std::size_t dot = ExtensionDot(fileName);
  return dot == std::string_view::npos ? std::string() : Zorp::Base::LowerCase(fileName.substr(dot));
}

// The format a file's first bytes show (the name breaking ties); nullptr when none does or the
// file cannot be read.
const TMetadataFileFormat* FormatOfContent(const std::string& fileName, std::string_view nameForTies) {
  try {
    std::array<std::uint8_t, MetadataFileHeadSize> head{};
    Zorp::Base::TFileReadStream stream(fileName);
    const std::int64_t read = stream.Read(head.data(), static_cast<std::int64_t>(head.size()));
    return RecognizeFileFormat(std::span(head.data(), static_cast<std::size_t>(read)), nameForTies);
  } catch (const Zorp::Base::EStreamError&) {
    return nullptr;
  }
}

}  // namespace

void TMetadataFileFormat::LoadFromStream(TMetadataFile&, Zorp::Base::TStream&) const {
  throw EUnsupportedFileFormat(std::string(Name()) + " data cannot be read from a stream");
}

void TMetadataFileFormat::Save(TMetadataFile& file) const {
  throw EReadOnlyFileFormat(file.FileName() + ": " + std::string(Name()) + " files are not written");
}

std::span<const TMetadataFileFormat* const> MetadataFileFormats() { return Registry; }

const TMetadataFileFormat& JPEGFileFormat() { return Formats::JPEG; }

const TMetadataFileFormat* FileFormatOfName(std::string_view fileName) {
  const std::string extension = ExtensionOf(fileName);
  if (extension.empty()) return nullptr;
  for (const TMetadataFileFormat* format : Registry)
    for (const std::string_view known : format->Extensions())
      if (known == extension) return format;
  return nullptr;
}

bool IsMetadataFileName(std::string_view fileName) { return FileFormatOfName(fileName) != nullptr; }

const TMetadataFileFormat* RecognizeFileFormat(std::span<const std::uint8_t> head, std::string_view fileName) {
  for (const TMetadataFileFormat* format : Registry)
    if (format->Recognizes(head, fileName)) return format;
  return FileFormatOfName(fileName);
}

TMetadataFile::TMetadataFile(std::string fileName, const TMetadataFileFormat& format)
    : FFileName(std::move(fileName)), FExif(std::make_unique<TExifData>()) {
  UseFormat(format);
}

void TMetadataFile::UseFormat(const TMetadataFileFormat& format) {
  FFormat = &format;
  // The sidecar of a file that is not written is where its edits live, so they are added to it.
  if (!format.WritesInPlace()) FExif->XMPPacket().SetWritePolicy(wpUpdateOrAdd);
}

TMetadataFile::~TMetadataFile() = default;

std::unique_ptr<TMetadataFile> TMetadataFile::Create(const std::string& fileName) {
  // The extension decides when it names a format, which spares a second read of every photo; the
  // first bytes decide for other names. What neither places is read as a JPEG, whose load says
  // what is wrong with it (and first recovers an interrupted save of a file that is missing).
  const TMetadataFileFormat* format = FileFormatOfName(fileName);
  if (!format) format = FormatOfContent(fileName, fileName);
  return std::make_unique<TMetadataFile>(fileName, format ? *format : JPEGFileFormat());
}

std::unique_ptr<TMetadataFile> TMetadataFile::CreateForStream(const std::string& fileName) {
  const TMetadataFileFormat* format = FileFormatOfName(fileName);
  return std::make_unique<TMetadataFile>(fileName, format ? *format : JPEGFileFormat());
}

std::unique_ptr<TMetadataFile> TMetadataFile::Open(const std::string& fileName) {
  auto file = Create(fileName);
  file->Load();
  return file;
}

void TMetadataFile::Load() {
  FSidecarRead = false;
  FExtras.reset();
  try {
    FFormat->Load(*this);
  } catch (const EInvalidJPEGHeader&) {
    // A file named as a JPEG that is none: another format may know its first bytes.
    const TMetadataFileFormat* other = FormatOfContent(FFileName, std::string_view());
    if (!other || other == FFormat) throw;
    // The same container (callers hold it), which the other format's load clears.
    UseFormat(*other);
    FFormat->Load(*this);
  }
  if (!WritesInPlace()) LoadSidecar();
}

void TMetadataFile::Save() {
  if (WritesInPlace())
    FFormat->Save(*this);
  else
    SaveSidecar();
}

const std::string& TMetadataFile::SidecarFileName() {
  if (!FSidecarRead) LoadSidecar();
  return FSidecarFileName;
}

const std::string& TMetadataFile::SidecarError() {
  if (!FSidecarRead) LoadSidecar();
  return FSidecarError;
}

TXMPPacket* TMetadataFile::Sidecar() {
  if (SidecarFileName().empty() || !FSidecarError.empty()) return nullptr;
  return WritesInPlace() ? FSidecar.get() : &XMP();
}

std::string TMetadataFile::FindSidecar(const std::string& fileName) {
  std::vector<std::string> candidates = {fileName + ".xmp", fileName + ".XMP"};
  if (const std::size_t dot = ExtensionDot(fileName); dot != std::string::npos) {
    const std::string stem = fileName.substr(0, dot);
    candidates.push_back(stem + ".xmp");
    candidates.push_back(stem + ".XMP");
  }
  for (std::string& candidate : candidates) {
    if (candidate == fileName) continue;  // the file is itself a sidecar
    struct stat status {};
    if (::stat(candidate.c_str(), &status) == 0 && S_ISREG(status.st_mode)) return std::move(candidate);
  }
  return {};
}

std::string TMetadataFile::NewSidecarName(const std::string& fileName) {
  return fileName.substr(0, std::min(ExtensionDot(fileName), fileName.size())) + ".xmp";
}

void TMetadataFile::LoadSidecar() {
  FSidecarRead = true;
  FSidecarFileName = FindSidecar(FFileName);
  FSidecarState.reset();
  FSidecar.reset();
  FEmbeddedXMP.reset();
  FSidecarError.clear();
  TXMPPacket* target = nullptr;
  if (!WritesInPlace()) {
    // The edits of a file that is not written go to its sidecar: the container's packet becomes
    // the sidecar's (empty while there is none), and the embedded packet is kept apart.
    TXMPPacket& packet = XMP();
    if (!packet.Empty()) {
      FEmbeddedXMP = std::make_unique<TXMPPacket>();
      FEmbeddedXMP->Assign(&packet);
    }
    const bool modified = FExif->Modified();
    packet.Clear();
    FExif->SetModified(modified);
    target = &packet;
  }
  if (FSidecarFileName.empty()) return;
  try {
    Zorp::Base::TFileReadStream stream(FSidecarFileName);
    FSidecarState = stream.Identity();
    if (stream.Size() > MaxSidecarSize) throw EInvalidXMPPacket("the sidecar is larger than 16 MiB");
    Zorp::Base::TMemoryStream text;
    text.CopyFrom(stream, stream.Size());
    text.SetPosition(0);
    if (!target) {
      FSidecar = std::make_unique<TXMPPacket>();
      target = FSidecar.get();
    }
    if (!target->TryLoadFromStream(text)) throw EInvalidXMPPacket(SInvalidXMPPacket);
    if (!WritesInPlace()) FExif->SetModified(false);
  } catch (const std::exception& e) {
    FSidecarError = e.what();
    FSidecar.reset();
  }
}

void TMetadataFile::SaveSidecar() {
  // A sidecar that could not be read is not replaced: its content would be lost.
  if (!SidecarError().empty())
    throw EReadOnlyFileFormat(FSidecarFileName + ": the sidecar could not be read, so it is not written: " +
                              FSidecarError);
  const std::string name = FSidecarFileName.empty() ? NewSidecarName(FFileName) : FSidecarFileName;
  const Zorp::Base::TFileLock lock(name);
  // The sidecar must still be what the load read, or still missing.
  if (Zorp::Base::ReadFileIdentity(name) != FSidecarState) throw Zorp::Base::EFileChanged(SSidecarChangedSinceRead);
  TXMPPacket& packet = XMP();
  packet.SetWriteSegmentHeader(false);
  const std::string& text = packet.RawXML();
  Zorp::Base::TSafeFileReplacement replacement(name);
  if (FSidecarState) replacement.SetExpectedIdentity(*FSidecarState);
  replacement.Stream().WriteBuffer(text.data(), static_cast<std::int64_t>(text.size()));
  replacement.Commit();
  FSidecarFileName = name;
  FSidecarState = Zorp::Base::ReadFileIdentity(name);
  FExif->SetModified(false);
}

}  // namespace Zorp::Exif
