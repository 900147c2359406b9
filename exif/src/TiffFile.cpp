// TIFF and TIFF-based raw files, read only: telling the format from the header, IFD0's DNGVersion
// and Make and the file name; loading the directories into the Exif container as the JPEG read path
// does with the file itself as the TIFF block; the directories beyond those and the JPEG previews.

#include "zorp/exif/TiffFile.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <set>

#include "makernotes/Layouts.h"
#include "zorp/base/Exceptions.h"
#include "zorp/base/TextEncoding.h"
#include "zorp/exif/Consts.h"
#include "zorp/exif/ExifExceptions.h"
#include "zorp/exif/JPEGUtils.h"
#include "zorp/exif/TagIDs.h"
#include "zorp/exif/TiffReader.h"
#include "zorp/exif/XMPPacket.h"

namespace Zorp::Exif {

using Zorp::Base::TStream;

namespace {

constexpr TExifTagID ttSubIFDs = 0x014A;
constexpr TExifTagID ttXMPPacket = 0x02BC;
constexpr TExifTagID ttIPTCNAA = 0x83BB;
constexpr TExifTagID ttDNGVersion = 0xC612;
constexpr TExifTagID ttPanasonicJpgFromRaw = 0x002E;

// What the first eight (CR2: ten) bytes say.
enum class THeaderKind : std::uint8_t { NotTiff, Tiff, BigTiff, CanonCR2, OlympusORF, PanasonicRW2 };

struct THeader {
  THeaderKind Kind = THeaderKind::NotTiff;
  TByteOrder Order = boLittleEndian;
  std::uint32_t FirstIfd = 0;
};

THeader ReadHeader(std::span<const std::uint8_t> head) {
  THeader header;
  if (head.size() < 8) return header;
  if (head[0] == 'I' && head[1] == 'I')
    header.Order = boLittleEndian;
  else if (head[0] == 'M' && head[1] == 'M')
    header.Order = boBigEndian;
  else
    return header;
  const std::uint16_t magic = GetWord(&head[2], header.Order);
  header.FirstIfd = GetLongWord(&head[4], header.Order);
  const bool little = header.Order == boLittleEndian;
  if (magic == 42)
    header.Kind =
        little && head.size() >= 10 && head[8] == 'C' && head[9] == 'R' ? THeaderKind::CanonCR2 : THeaderKind::Tiff;
  else if (magic == 43)
    header.Kind = THeaderKind::BigTiff;
  else if ((little && head[2] == 'R' && (head[3] == 'O' || head[3] == 'S')) ||
           (!little && head[2] == 'O' && head[3] == 'R'))
    header.Kind = THeaderKind::OlympusORF;
  else if (little && magic == 0x55)
    header.Kind = THeaderKind::PanasonicRW2;
  return header;
}

// The name's extension in lower case with its dot, "" without one.
std::string Extension(std::string_view fileName) {
  const std::size_t slash = fileName.find_last_of('/');
  const std::string_view name = slash == std::string_view::npos ? fileName : fileName.substr(slash + 1);
  const std::size_t dot = name.find_last_of('.');
  return dot == std::string_view::npos || dot == 0 ? std::string() : Zorp::Base::LowerCase(name.substr(dot));
}

bool HasExtension(const TTiffFileFormatInfo& info, std::string_view extension) {
  if (extension.empty()) return false;
  std::string_view list = info.Extensions;
  while (!list.empty()) {
    const std::size_t blank = list.find(' ');
    if (list.substr(0, blank) == extension) return true;
    list = blank == std::string_view::npos ? std::string_view() : list.substr(blank + 1);
  }
  return false;
}

// Formats that only their header bytes make: a TIFF header with their maker's Make is a plain TIFF.
bool MadeByHeader(TTiffFileFormat format) {
  return format == tfCanonCR2 || format == tfOlympusORF || format == tfPanasonicRW2;
}

// The bytes first, then IFD0's DNGVersion and Make, then the extension.
TTiffFileFormat Classify(THeaderKind kind, bool hasDNGVersion, std::string_view make, std::string_view fileName) {
  switch (kind) {
    case THeaderKind::NotTiff:
    case THeaderKind::BigTiff:
      return tfUnknown;
    case THeaderKind::CanonCR2:
      return tfCanonCR2;
    case THeaderKind::OlympusORF:
      return tfOlympusORF;
    case THeaderKind::PanasonicRW2:
      return tfPanasonicRW2;
    case THeaderKind::Tiff:
      break;
  }
  if (hasDNGVersion) return tfDNG;
  const std::string extension = Extension(fileName);
  const auto formats = TiffFileFormats();
  const TTiffFileFormatInfo* byExtension = nullptr;
  for (const TTiffFileFormatInfo& info : formats)
    if (HasExtension(info, extension)) byExtension = &info;
  if (byExtension && byExtension->Format == tfTIFF) return tfTIFF;
  for (const TTiffFileFormatInfo& info : formats) {
    if (info.Make.empty() || make.size() < info.Make.size() ||
        !Zorp::Base::SameText(make.substr(0, info.Make.size()), info.Make))
      continue;
    if (MadeByHeader(info.Format)) return tfTIFF;
    // The maker's formats apart by the extension (NEF and NRW, ARW and SR2), else its first one.
    return byExtension && byExtension->Make == info.Make ? byExtension->Format : info.Format;
  }
  return byExtension && !MadeByHeader(byExtension->Format) ? byExtension->Format : tfTIFF;
}

// Element count times element size, for a TIFF type.
std::int64_t ValueSize(std::uint16_t type, std::uint32_t count) { return std::int64_t{count} * TiffDataTypeSize(type); }

// IFD0's DNGVersion and Make where they lie within head.
void PeekFirstIfd(std::span<const std::uint8_t> head, const THeader& header, bool& hasDNGVersion, std::string& make) {
  hasDNGVersion = false;
  make.clear();
  const std::uint64_t at = header.FirstIfd;
  if (at < 8 || at > head.size() || head.size() - at < 2) return;
  const std::uint64_t count = GetWord(&head[at], header.Order);
  const std::uint64_t fit = std::min<std::uint64_t>(count, (head.size() - at - 2) / 12);
  for (std::uint64_t i = 0; i < fit; ++i) {
    const std::uint8_t* entry = &head[at + 2 + i * 12];
    const std::uint16_t id = GetWord(entry, header.Order);
    if (id == ttDNGVersion) hasDNGVersion = true;
    if (id != ttMake || GetWord(entry + 2, header.Order) != dtAscii) continue;
    const std::uint32_t length = GetLongWord(entry + 4, header.Order);
    std::uint64_t valueAt = at + 2 + i * 12 + 8;
    if (length > 4) valueAt = GetLongWord(entry + 8, header.Order);
    if (valueAt > head.size() || length > head.size() - valueAt) continue;
    const auto* text = reinterpret_cast<const char*>(&head[valueAt]);
    make.assign(text, strnlen(text, length));
  }
}

// The file as the TIFF reader sees it: reads bounded by the file and by a budget of bytes, and the
// header's magic number read as 42, so that ORF and RW2 headers pass the reader's check.
class TSourceStream final : public TStream {
 public:
  TSourceStream(TStream& source, TByteOrder order, std::int64_t budget)
      : FSource(source), FSize(std::max<std::int64_t>(source.Size(), 0)), FBudget(budget) {
    FMagic[0] = order == boLittleEndian ? 42 : 0;
    FMagic[1] = order == boLittleEndian ? 0 : 42;
  }

  std::int64_t Read(void* buffer, std::int64_t count) override {
    if (count <= 0 || FPosition >= FSize || FPosition < 0) return 0;
    const std::int64_t wanted = std::min({count, FSize - FPosition, FBudget});
    if (wanted <= 0) return 0;
    FSource.SetPosition(FPosition);
    const std::int64_t got = std::max<std::int64_t>(FSource.Read(buffer, wanted), 0);
    auto* bytes = static_cast<std::uint8_t*>(buffer);
    for (std::int64_t at = 2; at < 4; ++at)
      if (at >= FPosition && at < FPosition + got) bytes[at - FPosition] = FMagic[at - 2];
    FPosition += got;
    FBudget -= got;
    FRead += got;
    return got;
  }
  std::int64_t Write(const void*, std::int64_t) override { return 0; }
  std::int64_t Seek(std::int64_t offset, Zorp::Base::TSeekOrigin origin) override {
    std::int64_t base = origin == Zorp::Base::soBeginning ? 0 : origin == Zorp::Base::soCurrent ? FPosition : FSize;
    std::int64_t position;
    if (__builtin_add_overflow(base, offset, &position) || position < 0) position = 0;
    FPosition = position;
    return FPosition;
  }
  std::int64_t Size() const override { return FSize; }
  void SetSize(std::int64_t) override { throw Zorp::Base::EInvalidOperation(SReadOnlyStream); }

  // Reads exactly size bytes at offset; false (and nothing) when they are not there or the budget is spent.
  bool ReadAt(std::int64_t offset, std::int64_t size, std::vector<std::uint8_t>& bytes) {
    bytes.clear();
    if (offset < 0 || size < 0 || offset > FSize || size > FSize - offset || size > FBudget) return false;
    bytes.resize(static_cast<std::size_t>(size));
    const std::int64_t saved = FPosition;
    FPosition = offset;
    std::int64_t done = 0;
    while (done < size) {
      const std::int64_t got = Read(bytes.data() + done, size - done);
      if (got <= 0) break;
      done += got;
    }
    FPosition = saved;
    if (done == size) return true;
    bytes.clear();
    return false;
  }
  std::int64_t BytesRead() const { return FRead; }

 private:
  TStream& FSource;
  std::int64_t FSize;
  std::int64_t FBudget;
  std::int64_t FPosition = 0;
  std::int64_t FRead = 0;
  std::uint8_t FMagic[2];
};

// The XMP packet of tag 700, handed to the container as its pending XMP data: parsed on first use.
class TTiffXMPData final : public TUserJPEGSegment, public IFoundJPEGSegment {
 public:
  TTiffXMPData(std::span<const std::uint8_t> bytes, std::int64_t offset) : TUserJPEGSegment(jmApp1), FOffset(offset) {
    FData.WriteBuffer(bytes.data(), static_cast<std::int64_t>(bytes.size()));
    FData.SetPosition(0);
  }
  std::int64_t Offset() const override { return FOffset; }
  std::int64_t DataOffset() const override { return FOffset; }
  std::int32_t TotalSize() const override {
    return static_cast<std::int32_t>(std::min<std::int64_t>(FData.Size(), std::numeric_limits<std::int32_t>::max()));
  }

 private:
  std::int64_t FOffset;
};

// One value of a SHORT, LONG or IFD tag as a number.
bool TryGetNumber(const TExifSection& section, TExifTagID id, std::int32_t index, std::uint32_t& value) {
  const TExifTag* tag = section.Find(id);
  if (!tag || index < 0 || index >= tag->ElementCount()) return false;
  const std::int64_t at = std::int64_t{index} * TiffDataTypeSize(tag->DataType());
  switch (tag->DataType()) {
    case dtShort:
      if (at + 2 > tag->DataSize()) return false;
      value = GetWord(tag->Data() + at, boLittleEndian);
      return true;
    case dtLong:
    case dtIfd:
      if (at + 4 > tag->DataSize()) return false;
      value = GetLongWord(tag->Data() + at, boLittleEndian);
      return true;
    default:
      return false;
  }
}

}  // namespace

TTiffFileFormat IdentifyTiffFile(std::span<const std::uint8_t> head, std::string_view fileName) {
  const THeader header = ReadHeader(head);
  if (header.Kind == THeaderKind::NotTiff || header.Kind == THeaderKind::BigTiff) return tfUnknown;
  bool hasDNGVersion = false;
  std::string make;
  PeekFirstIfd(head, header, hasDNGVersion, make);
  return Classify(header.Kind, hasDNGVersion, make, fileName);
}

TTiffFileFormat IdentifyTiffFile(const std::string& fileName) {
  try {
    Zorp::Base::TFileReadStream file(fileName);
    std::vector<std::uint8_t> head(TiffFileProbeSize);
    const std::int64_t read = file.Read(head.data(), static_cast<std::int64_t>(head.size()));
    head.resize(static_cast<std::size_t>(std::max<std::int64_t>(read, 0)));
    return IdentifyTiffFile(head, fileName);
  } catch (const Zorp::Base::Exception&) {
    return tfUnknown;
  }
}

namespace Detail {

class TTiffFileLoader {
 public:
  TTiffFileLoader(TStream& file, const std::string& fileName, TExifData& data, TTiffFile& result)
      : FFile(file), FFileName(fileName), FData(data), FResult(result) {}

  void Run();
  // Opens the file read-only, runs the load and remembers the file's state in data.
  static void LoadFile(const std::string& fileName, TExifData& data, TTiffFile& result) {
    data.FRecoveryNote.clear();
    data.FFileState.reset();
    Zorp::Base::TFileReadStream file(fileName);
    TTiffFileLoader(file, fileName, data, result).Run();
    data.FStateFileName = fileName;
    data.FFileState = file.Identity();
  }

 private:
  TIfdInfo Bounded(TIfdInfo ifd);
  // Loads a section's directory once; returns the link behind it (0 without one).
  std::int64_t LoadSection(TExifSection& section, std::int64_t offset);
  // Loads a further directory once; next gets the link behind it (0 without one).
  TExifSection* AddDirectory(const std::string& name, std::int64_t offset, std::int32_t depth,
                             std::int64_t* next = nullptr);
  void AddDirectoryTree(const std::string& name, std::int64_t offset, std::int32_t depth);
  void FollowChain(const std::string& name, std::int64_t next, std::int32_t depth);
  void AddSubIFDs(const TExifSection& tags, const std::string& prefix, std::int32_t depth);
  std::int64_t NextLink(const TIfdInfo& ifd);
  bool IsExifThumbnail(const TExifSection& tags);
  void LoadThumbnail();
  void FindPreviews(const TExifSection& tags, const std::string& source);
  void AddPreview(const std::string& source, std::int64_t offset, std::int64_t size);
  void FindMakerNotePreviews();
  void KeepMakerNoteBlock();
  void LoadPreviewImage();

  TStream& FFile;
  const std::string& FFileName;
  TExifData& FData;
  TTiffFile& FResult;
  std::unique_ptr<TSourceStream> FStream;
  std::unique_ptr<TTiffReader> FReader;
  std::set<std::int64_t> FLoaded;
  std::int64_t FValueBytesLeft = TTiffFile::MaxValueBytes;
  std::int64_t FEntriesLeft = TTiffFile::MaxEntries;
  std::int64_t FJpgFromRawOffset = -1, FJpgFromRawSize = 0;
};

TIfdInfo TTiffFileLoader::Bounded(TIfdInfo ifd) {
  // Overlapping directories must not multiply the tags kept: entries beyond the cap are cut.
  if (static_cast<std::int64_t>(ifd.Entries.size()) > FEntriesLeft) {
    ifd.Entries.resize(static_cast<std::size_t>(FEntriesLeft));
    ifd.LoadErrors.Include(leBadTagCount);
  }
  FEntriesLeft -= static_cast<std::int64_t>(ifd.Entries.size());
  // Values beyond the caps are not read: their tags load as not well-formed.
  for (TIfdEntryInfo& entry : ifd.Entries) {
    if (entry.ElementCount < 0) continue;
    const std::int64_t size = ValueSize(entry.DataType, static_cast<std::uint32_t>(entry.ElementCount));
    if (entry.ID == ttPanasonicJpgFromRaw && entry.DataType == dtUndefined && FJpgFromRawOffset < 0 &&
        ifd.Offset == FReader->Ifds().front().Offset) {
      FJpgFromRawOffset = entry.DataOffset;
      FJpgFromRawSize = size;
      // The preview is read only as the preview, not as a tag value.
      entry.ElementCount = -1;
      continue;
    }
    if (size <= 4) continue;
    if (size > TTiffFile::MaxValueSize || size > FValueBytesLeft)
      entry.ElementCount = -1;
    else
      FValueBytesLeft -= size;
  }
  return ifd;
}

std::int64_t TTiffFileLoader::LoadSection(TExifSection& section, std::int64_t offset) {
  // A directory is loaded once: an aliased pointer is a bad offset, as in a JPEG's Exif block.
  if (FLoaded.insert(offset).second) {
    const TIfdInfo ifd = FReader->ParseIfd(offset);
    section.LoadFromIfd(*FReader, Bounded(ifd));
    return NextLink(ifd);
  }
  TIfdInfo aliased;
  aliased.LoadErrors.Include(leBadOffset);
  section.LoadFromIfd(*FReader, aliased);
  return 0;
}

TExifSection* TTiffFileLoader::AddDirectory(const std::string& name, std::int64_t offset, std::int32_t depth,
                                            std::int64_t* next) {
  if (next) *next = 0;
  // Nothing more is read once the caps are reached, so overlapping directories cannot multiply reads.
  if (static_cast<std::int32_t>(FResult.FDirectories.size()) >= TTiffFile::MaxDirectories || FEntriesLeft <= 0)
    return nullptr;
  if (offset <= 0 || !FLoaded.insert(offset).second) return nullptr;
  const TIfdInfo ifd = FReader->ParseIfd(offset);
  if (next) *next = NextLink(ifd);
  TTiffDirectory directory;
  directory.Name = name;
  directory.Offset = offset;
  directory.Depth = depth;
  directory.Tags = std::make_unique<TExifSection>(nullptr, skNone);
  directory.Tags->LoadFromIfd(*FReader, Bounded(ifd));
  FResult.FDirectories.push_back(std::move(directory));
  return FResult.FDirectories.back().Tags.get();
}

std::int64_t TTiffFileLoader::NextLink(const TIfdInfo& ifd) {
  if (ifd.Offset < 0 || !ifd.LoadErrors.Empty()) return 0;
  std::vector<std::uint8_t> link;
  if (!FStream->ReadAt(ifd.Offset + 2 + 12 * static_cast<std::int64_t>(ifd.Entries.size()), 4, link)) return 0;
  return GetLongWord(link.data(), FReader->ByteOrder());
}

void TTiffFileLoader::AddSubIFDs(const TExifSection& tags, const std::string& prefix, std::int32_t depth) {
  if (depth > TTiffFile::MaxDepth) return;
  const TExifTag* tag = tags.Find(ttSubIFDs);
  if (!tag) return;
  const std::int32_t count = std::min(tag->ElementCount(), TTiffFile::MaxDirectories);
  for (std::int32_t i = 0; i < count; ++i) {
    std::uint32_t offset = 0;
    if (!TryGetNumber(tags, ttSubIFDs, i, offset)) break;
    AddDirectoryTree(prefix + std::to_string(i + 1), offset, depth);
  }
}

void TTiffFileLoader::AddDirectoryTree(const std::string& name, std::int64_t offset, std::int32_t depth) {
  std::int64_t next = 0;
  const TExifSection* tags = AddDirectory(name, offset, depth, &next);
  if (!tags) return;
  AddSubIFDs(*tags, name + ".", depth + 1);
  FollowChain(name, next, depth);
}

void TTiffFileLoader::FollowChain(const std::string& name, std::int64_t next, std::int32_t depth) {
  // Directories linked behind a SubIFD or the Exif directory; the chain ends at a directory read before.
  for (std::int32_t n = 1; next != 0 && n <= TTiffFile::MaxDirectories; ++n)
    if (!AddDirectory(name + ", next " + std::to_string(n), next, depth, &next)) return;
}

bool TTiffFileLoader::IsExifThumbnail(const TExifSection& tags) {
  // As an Exif thumbnail: a JPEG that fits a JPEG segment, pointed at by 0x0201/0x0202.
  std::uint32_t offset = 0, length = 0;
  if (!TryGetNumber(tags, ttJPEGInterchangeFormat, 0, offset) ||
      !TryGetNumber(tags, ttJPEGInterchangeFormatLength, 0, length))
    return false;
  if (length < 4 || length > MaxJPEGSegmentDataSize || length > FStream->Size() - std::int64_t{offset}) return false;
  std::vector<std::uint8_t> start;
  return FStream->ReadAt(offset, 2, start) && start[0] == 0xFF && start[1] == 0xD8;
}

void TTiffFileLoader::LoadThumbnail() {
  const TExifSection& tags = FData.PeekSection(skThumbnail);
  std::uint32_t offset = 0, length = 0;
  if (!TryGetNumber(tags, ttJPEGInterchangeFormat, 0, offset) ||
      !TryGetNumber(tags, ttJPEGInterchangeFormatLength, 0, length))
    return;
  std::vector<std::uint8_t> bytes;
  if (!FStream->ReadAt(offset, length, bytes)) return;
  try {
    auto image = std::make_unique<Zorp::Base::TJPEGImage>();
    image->LoadFromBytes(bytes.data(), bytes.size());
    image->SetModified(false);
    TExifData& data = FData;
    image->SetOnChange([&data] { data.ThumbnailChanged(); });
    FData.FThumbnail = std::move(image);
  } catch (const Zorp::Base::Exception&) {
    FData.FThumbnail.reset();
  }
}

void TTiffFileLoader::AddPreview(const std::string& source, std::int64_t offset, std::int64_t size) {
  const std::int64_t fileSize = FStream->Size();
  if (size < 4 || offset < 0 || offset > fileSize || size > fileSize - offset) return;
  for (const TTiffPreview& known : FResult.FPreviews)
    if (known.Offset == offset) return;
  // Walk the markers up to the frame header: a lossless frame is raw sensor data, not a preview.
  std::vector<std::uint8_t> bytes;
  if (!FStream->ReadAt(offset, 4, bytes) || bytes[0] != 0xFF || bytes[1] != 0xD8) return;
  TTiffPreview preview{source, offset, size, 0, 0};
  std::int64_t at = 2;
  for (int markers = 0; markers < 64 && at + 4 <= size; ++markers) {
    if (!FStream->ReadAt(offset + at, 4, bytes) || bytes[0] != 0xFF) break;
    const std::uint8_t marker = bytes[1];
    const std::int64_t length = GetWord(&bytes[2], boBigEndian);
    const bool frame = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
    if (frame) {
      if (marker == 0xC3 || marker == 0xC7 || marker == 0xCB || marker == 0xCF) return;
      if (length >= 7 && at + 9 <= size && FStream->ReadAt(offset + at + 5, 4, bytes)) {
        preview.Height = GetWord(&bytes[0], boBigEndian);
        preview.Width = GetWord(&bytes[2], boBigEndian);
      }
      break;
    }
    if (marker == 0xDA || length < 2) break;
    at += 2 + length;
  }
  FResult.FPreviews.push_back(std::move(preview));
}

void TTiffFileLoader::FindPreviews(const TExifSection& tags, const std::string& source) {
  std::uint32_t offset = 0, length = 0;
  if (TryGetNumber(tags, ttJPEGInterchangeFormat, 0, offset) &&
      TryGetNumber(tags, ttJPEGInterchangeFormatLength, 0, length))
    AddPreview(source, offset, length);
  // A single strip of JPEG data (old-style or new-style).
  std::uint32_t compression = 0;
  const TExifTag* strips = tags.Find(ttStripOffsets);
  const TExifTag* counts = tags.Find(ttStripByteCounts);
  if (TryGetNumber(tags, ttCompression, 0, compression) && (compression == 6 || compression == 7) && strips && counts &&
      strips->ElementCount() == 1 && counts->ElementCount() == 1 && TryGetNumber(tags, ttStripOffsets, 0, offset) &&
      TryGetNumber(tags, ttStripByteCounts, 0, length))
    AddPreview(source, offset, length);
}

void TTiffFileLoader::FindMakerNotePreviews() {
  // The images the MakerNote's layout names, in its directory or in a sub-directory that a LONG or
  // IFD entry points at (Nikon's preview directory, Olympus's camera settings).
  const TExifTag* note = FData.PeekSection(skExif).Find(ttMakerNote);
  if (!note || !note->WellFormed()) return;
  const TMakerNoteLayout* layout = FindMakerNoteLayout(note->Bytes(), FData.CameraMake());
  if (!layout || layout->Images.empty()) return;
  try {
    TExifMakerNote& makerNote = FData.MakerNote();
    const TExifSection& tags = makerNote.Tags();
    // Where the MakerNote's offsets count from, in the file.
    std::int64_t base = makerNote.BaseShift();
    if (makerNote.DataOffsetsType() == obMakerNoteStart) base = note->SourceDataOffset();
    if (makerNote.DataOffsetsType() == obEmbeddedHeader) base = note->SourceDataOffset() + layout->EmbeddedHeaderAt;
    for (const TImagePointer& image : layout->Images) {
      std::uint32_t start = 0, length = 0;
      if (TryGetNumber(tags, image.Start, 0, start) && TryGetNumber(tags, image.Length, 0, length))
        AddPreview("MakerNote", base + start, length);
    }
    TTiffReader reader(*FStream, base, makerNote.ByteOrder());
    const auto number = [&](const TIfdInfo& ifd, TExifTagID id, std::uint32_t& value) {
      for (const TIfdEntryInfo& entry : ifd.Entries) {
        if (entry.ID != id || entry.ElementCount != 1) continue;
        std::uint8_t bytes[4];
        if (entry.DataType == dtShort && reader.ReadValue(entry, bytes, 2))
          value = GetWord(bytes, boLittleEndian);
        else if ((entry.DataType == dtLong || entry.DataType == dtIfd) && reader.ReadValue(entry, bytes, 4))
          value = GetLongWord(bytes, boLittleEndian);
        else
          return false;
        return true;
      }
      return false;
    };
    for (const TExifTagID id : layout->SubDirectories) {
      std::uint32_t at = 0;
      if (!TryGetNumber(tags, id, 0, at)) continue;
      const TIfdInfo sub = reader.ParseIfd(at);
      for (const TImagePointer& image : layout->Images) {
        std::uint32_t start = 0, length = 0;
        if (number(sub, image.Start, start) && number(sub, image.Length, length))
          AddPreview("MakerNote", base + start, length);
      }
    }
  } catch (const Zorp::Base::Exception&) {
    // A MakerNote that cannot be read names no preview.
  }
}

void TTiffFileLoader::KeepMakerNoteBlock() {
  // The MakerNote code reads values past a MakerNote's declared end from the block around it: the
  // file's head up to a little behind the MakerNote, when that is not much.
  const TExifTag* note = FData.PeekSection(skExif).Find(ttMakerNote);
  if (!note || !note->WellFormed() || note->SourceDataOffset() < 0) return;
  const std::int64_t end =
      std::min(FStream->Size(), note->SourceDataOffset() + note->DataSize() + std::int64_t{1 << 20});
  if (end > TTiffFile::MaxMakerNoteBlock) return;
  std::vector<std::uint8_t> block;
  if (FStream->ReadAt(0, end, block)) FData.FSourceBlock = std::move(block);
}

void TTiffFileLoader::LoadPreviewImage() {
  const TTiffPreview* largest = FResult.LargestPreview();
  if (!largest || largest->Size > TTiffFile::MaxPreviewSize) return;
  std::vector<std::uint8_t> bytes;
  if (!FStream->ReadAt(largest->Offset, largest->Size, bytes)) return;
  try {
    FResult.FPreview.LoadFromBytes(bytes.data(), bytes.size());
    FResult.FPreview.SetModified(false);
  } catch (const Zorp::Base::Exception&) {
    FResult.FPreview.Clear();
    return;
  }
  if (!FData.HasThumbnail()) {
    auto image = std::make_unique<Zorp::Base::TJPEGImage>(FResult.FPreview);
    image->SetModified(false);
    TExifData& data = FData;
    image->SetOnChange([&data] { data.ThumbnailChanged(); });
    FData.FThumbnail = std::move(image);
  }
}

void TTiffFileLoader::Run() {
  FResult.Clear();
  FData.Clear(true);
  FData.FSourceMetadata.Clear();
  FData.FXMPSegmentOffset = 0;
  FData.FXMPSegmentSize = 0;

  std::uint8_t head[16] = {};
  FFile.SetPosition(0);
  const std::int64_t headSize = FFile.Read(head, sizeof head);
  const THeader header = ReadHeader(std::span(head, static_cast<std::size_t>(std::max<std::int64_t>(headSize, 0))));
  if (header.Kind == THeaderKind::BigTiff) throw EInvalidTiffData(SBigTiffNotSupported);
  if (header.Kind == THeaderKind::NotTiff) throw EInvalidTiffData(SNotATiffFile);

  FStream = std::make_unique<TSourceStream>(FFile, header.Order, TTiffFile::MaxBytesRead);
  FData.BeginUpdate();
  try {
    FReader = std::make_unique<TTiffReader>(*FStream);
    const auto& ifds = FReader->Ifds();
    if (ifds.empty() || ifds[0].LoadErrors.Contains(leBadOffset)) throw EInvalidTiffData(SInvalidTiffData);
    FData.FTiffHeaderOffset = 0;
    FData.FByteOrder = FReader->ByteOrder();
    for (const TIfdInfo& ifd : ifds) FLoaded.insert(ifd.Offset);

    TExifSection& primary = *FData.FSections[skPrimary - 1];
    primary.LoadFromIfd(*FReader, Bounded(ifds[0]));
    FData.FLoadedPrimaryDirectory = primary.Count() > 0;
    FData.FSourceMetadata.Include(mkExif);

    FResult.FFormat = Classify(header.Kind, primary.Find(ttDNGVersion) != nullptr, FData.CameraMake(), FFileName);
    FData.FReadOnlyFormat = std::string(TiffFileFormatName(FResult.FFormat));

    std::uint32_t offset = 0;
    TExifSection& exif = *FData.FSections[skExif - 1];
    if (TryGetNumber(primary, ttExifIFDPointer, 0, offset)) {
      const std::int64_t next = LoadSection(exif, offset);
      FollowChain("Exif IFD", next, 1);
    }
    if (TryGetNumber(primary, ttGPSInfoIFDPointer, 0, offset)) LoadSection(*FData.FSections[skGps - 1], offset);
    if (TryGetNumber(exif, ttInteroperabilityIFDPointer, 0, offset))
      LoadSection(*FData.FSections[skInterop - 1], offset);

    // IFD1 is the thumbnail only when it holds an Exif thumbnail; raw files keep other images there.
    std::vector<std::pair<std::string, const TExifSection*>> imageDirectories = {{"IFD0", &primary}};
    AddSubIFDs(primary, "SubIFD ", 1);
    for (std::size_t i = 1; i < ifds.size(); ++i) {
      const std::string name = "IFD" + std::to_string(i);
      TExifSection probe(nullptr, skNone);
      const TIfdInfo ifd = Bounded(ifds[i]);
      probe.LoadFromIfd(*FReader, ifd);
      if (i == 1 && IsExifThumbnail(probe)) {
        FData.FSections[skThumbnail - 1]->LoadFromIfd(*FReader, ifd);
        LoadThumbnail();
        imageDirectories.emplace_back(name, FData.FSections[skThumbnail - 1].get());
      } else if (static_cast<std::int32_t>(FResult.FDirectories.size()) < TTiffFile::MaxDirectories) {
        TTiffDirectory directory{name, ifds[i].Offset, 0, std::make_unique<TExifSection>(nullptr, skNone)};
        directory.Tags->LoadFromIfd(*FReader, ifd);
        FResult.FDirectories.push_back(std::move(directory));
      }
      const TExifSection* added = nullptr;
      for (const TTiffDirectory& directory : FResult.FDirectories)
        if (directory.Name == name) added = directory.Tags.get();
      if (added) AddSubIFDs(*added, name + " SubIFD ", 1);
    }

    // IPTC bytes as stored, not as the tag's host-order elements.
    if (const TExifTag* iptc = primary.Find(ttIPTCNAA); iptc && iptc->WellFormed() && iptc->DataSize() > 0) {
      FStream->ReadAt(iptc->SourceDataOffset(), iptc->DataSize(), FResult.FIPTCData);
      if (!FResult.FIPTCData.empty()) FData.FSourceMetadata.Include(mkIPTC);
    }
    if (const TExifTag* xmp = primary.Find(ttXMPPacket);
        xmp && xmp->WellFormed() && xmp->DataSize() > 0 &&
        (xmp->DataType() == dtByte || xmp->DataType() == dtUndefined)) {
      FData.FPendingXMPSegment = std::make_shared<TTiffXMPData>(xmp->Bytes(), xmp->SourceDataOffset());
      FData.FSourceMetadata.Include(mkXMP);
      FData.FXMPSegmentOffset = xmp->SourceDataOffset();
      FData.FXMPSegmentSize = xmp->DataSize();
    }

    KeepMakerNoteBlock();
    if (const std::optional<TMakerNoteContext> context = FData.MakerNoteContext()) {
      FData.FMakerNoteType = &THeaderlessMakerNote;
      FData.FMakerNoteType = &RecognizeMakerNote(*context);
    }

    // Previews: every directory's JPEG images, Panasonic's JpgFromRaw, the MakerNote's.
    for (const auto& [name, tags] : imageDirectories) FindPreviews(*tags, name);
    for (const TTiffDirectory& directory : FResult.FDirectories) FindPreviews(*directory.Tags, directory.Name);
    if (FJpgFromRawOffset >= 0) AddPreview("IFD0", FJpgFromRawOffset, FJpgFromRawSize);
    FindMakerNotePreviews();
    LoadPreviewImage();
  } catch (...) {
    FResult.FBytesRead = FStream->BytesRead();
    FData.FinishLoad();
    throw;
  }
  FResult.FBytesRead = FStream->BytesRead();
  FData.FinishLoad();
}

}  // namespace Detail

TTiffFile::TTiffFile() = default;
TTiffFile::~TTiffFile() = default;

void TTiffFile::Clear() {
  FFormat = tfUnknown;
  FDirectories.clear();
  FPreviews.clear();
  FPreview.Clear();
  FIPTCData.clear();
  FBytesRead = 0;
}

const TTiffPreview* TTiffFile::LargestPreview() const {
  const TTiffPreview* largest = nullptr;
  for (const TTiffPreview& preview : FPreviews)
    if (!largest || preview.Size > largest->Size) largest = &preview;
  return largest;
}

void TTiffFile::Load(TStream& stream, const std::string& fileName, TExifData& data) {
  Detail::TTiffFileLoader(stream, fileName, data, *this).Run();
}

void TTiffFile::Load(const std::string& fileName, TExifData& data) {
  Detail::TTiffFileLoader::LoadFile(fileName, data, *this);
}

std::unique_ptr<TTiffFile> LoadTiffFile(const std::string& fileName, TExifData& data) {
  auto result = std::make_unique<TTiffFile>();
  result->Load(fileName, data);
  return result;
}

}  // namespace Zorp::Exif
