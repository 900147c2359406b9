// The registry of file formats and the metadata file that reads and writes through them. A new
// format is one file in formats/ defining its TMetadataFileFormat object, and one line in the table
// below.

#include "zorp/exif/MetadataFile.h"

#include <array>

#include "zorp/base/TextEncoding.h"
#include "formats/FileFormats.h"

namespace Zorp::Exif {
namespace {

// Tried in this order; the first format whose test passes wins.
const std::array<const TMetadataFileFormat*, 1> Registry = {
    &Formats::JPEG,
};

// The extension of a file name, lower case with its dot; empty without one.
std::string ExtensionOf(std::string_view fileName) {
  const std::size_t slash = fileName.find_last_of('/');
  const std::string_view name = slash == std::string_view::npos ? fileName : fileName.substr(slash + 1);
  const std::size_t dot = name.find_last_of('.');
  if (dot == std::string_view::npos || dot == 0) return {};
  return Zorp::Base::LowerCase(name.substr(dot));
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
    : FFileName(std::move(fileName)), FFormat(&format), FExif(std::make_unique<TExifData>()) {}

TMetadataFile::~TMetadataFile() = default;

std::unique_ptr<TMetadataFile> TMetadataFile::Create(const std::string& fileName) {
  // The extension decides when it names a format, which spares a second read of every photo; the
  // first bytes decide for other names. What neither places is read as a JPEG, whose load says
  // what is wrong with it (and first recovers an interrupted save of a file that is missing).
  const TMetadataFileFormat* format = FileFormatOfName(fileName);
  if (!format) {
    try {
      std::array<std::uint8_t, MetadataFileHeadSize> head{};
      Zorp::Base::TFileReadStream stream(fileName);
      const std::int64_t read = stream.Read(head.data(), static_cast<std::int64_t>(head.size()));
      format = RecognizeFileFormat(std::span(head.data(), static_cast<std::size_t>(read)), fileName);
    } catch (const Zorp::Base::EStreamError&) {
      format = nullptr;
    }
  }
  return std::make_unique<TMetadataFile>(fileName, format ? *format : JPEGFileFormat());
}

std::unique_ptr<TMetadataFile> TMetadataFile::Open(const std::string& fileName) {
  auto file = Create(fileName);
  file->Load();
  return file;
}

std::unique_ptr<TMetadataFile> TMetadataFile::Open(Zorp::Base::TStream& stream, const std::string& fileName) {
  const TMetadataFileFormat* format = FileFormatOfName(fileName);
  auto file = std::make_unique<TMetadataFile>(fileName, format ? *format : JPEGFileFormat());
  file->FFormat->LoadFromStream(*file, stream);
  return file;
}

void TMetadataFile::Load() { FFormat->Load(*this); }

void TMetadataFile::Save() { FFormat->Save(*this); }

}  // namespace Zorp::Exif
