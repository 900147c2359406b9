// The Exif container: construction, change notification, section access with the lazy MakerNote,
// clearing, the read path (Exif header test, TIFF reader, JPEG scan) and the thumbnail.

#include "zorp/exif/ExifData.h"

#include <algorithm>
#include <cmath>
#include <set>

#include "zorp/base/Exceptions.h"
#include "zorp/base/SafeFile.h"
#include "zorp/exif/Consts.h"
#include "zorp/exif/ExifExceptions.h"
#include "zorp/exif/TagIDs.h"
#include "zorp/exif/TiffReader.h"
#include "zorp/exif/XMPUtils.h"

namespace Zorp::Exif {

using Zorp::Base::TStream;

bool HasExifSignature(TStream& stream) {
  std::uint8_t header[6];
  const std::int64_t read = stream.Read(header, sizeof header);
  stream.Seek(-read, Zorp::Base::soCurrent);
  return read == 6 && std::equal(header, header + 6, "Exif\0\0");
}

bool HasExifHeader(TStream& stream, bool moveToTiffHeader) {
  std::uint8_t header[10];
  const std::int64_t read = stream.Read(header, sizeof header);
  const bool ok = read == 10 && std::equal(header, header + 6, "Exif\0\0") &&
                  ((header[6] == 'I' && header[7] == 'I') || (header[6] == 'M' && header[7] == 'M')) &&
                  ((header[8] == 0x2A && header[9] == 0) || (header[8] == 0 && header[9] == 0x2A));
  stream.Seek(ok && moveToTiffHeader ? -4 : -read, Zorp::Base::soCurrent);
  return ok;
}

// ---------------------------------------------------------------------------------------------
// TCustomExifData

TCustomExifData::TCustomExifData(bool extendableSections) {
  FExifVersion = std::make_unique<TExifVersion>(this);
  FFlashPixVersion = std::make_unique<TFlashPixVersion>(this);
  FGPSVersion = std::make_unique<TGPSVersion>(this);
  FGPSLatitude = std::make_unique<TGPSLatitude>(this, ttGPSLatitude);
  FGPSLongitude = std::make_unique<TGPSLongitude>(this, ttGPSLongitude);
  FGPSDestLatitude = std::make_unique<TGPSLatitude>(this, ttGPSDestLatitude);
  FGPSDestLongitude = std::make_unique<TGPSLongitude>(this, ttGPSDestLongitude);
  for (int kind = skPrimary; kind <= skMakerNote; ++kind) {
    const auto sectionKind = static_cast<TExifSectionKind>(kind);
    if (extendableSections)
      FSections[kind - 1] = std::make_unique<TExtendableExifSection>(this, sectionKind);
    else
      FSections[kind - 1] = std::make_unique<TExifSection>(this, sectionKind);
  }
  FFlash = std::make_unique<TExifFlashInfo>(this);
  FFocalPlaneResolution = std::make_unique<TFocalPlaneResolution>(this);
  FInteropVersion = std::make_unique<TInteropVersion>(this);
  FISOSpeedRatings = std::make_unique<TISOSpeedRatings>(this);
  FResolution = std::make_unique<TImageResolution>(this);
  FThumbnailResolution = std::make_unique<TThumbnailResolution>(this);
  FXMPPacket = std::make_unique<TContainedXMPPacket>(this);
  FIPTC = std::make_unique<TIPTCData>();
  FIPTC->SetOnChange([this] { Changed(nullptr); });
  ResetMakerNote();
  FXMPPacket->SetWritePolicy(wpUpdateExistingOnly);
}

TCustomExifData::~TCustomExifData() {
  FUpdateCount = 1000;  // nothing may notify from here on
  FMakerNote.reset();
  FThumbnailResolution.reset();
  FResolution.reset();
  FISOSpeedRatings.reset();
  FInteropVersion.reset();
  FGPSDestLongitude.reset();
  FGPSDestLatitude.reset();
  FGPSLongitude.reset();
  FGPSLatitude.reset();
  FGPSVersion.reset();
  FFocalPlaneResolution.reset();
  FFlash.reset();
  FFlashPixVersion.reset();
  FExifVersion.reset();
  for (auto& section : FSections) section.reset();
  FXMPPacket.reset();
  FIPTC.reset();
}

void TCustomExifData::BeginUpdate() { ++FUpdateCount; }

void TCustomExifData::EndUpdate() {
  --FUpdateCount;
  if (FUpdateCount == 0 && FChangedWhileUpdating) {
    FChangedWhileUpdating = false;
    Changed(nullptr);
  }
}

void TCustomExifData::Changed(TExifSection*) {
  if (FUpdateCount > 0) {
    FChangedWhileUpdating = true;
    return;
  }
  FModified = true;
  if (FOnChange) FOnChange(*this);
}

void TCustomExifData::SetModified(bool value) {
  if (value)
    Changed(nullptr);
  else
    FModified = false;
}

TExifSection& TCustomExifData::Sections(TExifSectionKind kind) {
  if (kind < skPrimary || kind > skMakerNote) throw Zorp::Base::ERangeError(SRangeError);
  if (kind == skMakerNote && FMakerNoteType != &TUnrecognizedMakerNote) MakerNote();
  return *FSections[kind - 1];
}

TExifSection* TCustomExifData::Section(TExifSectionKind kind) {
  if (kind < skPrimary || kind > skMakerNote) return nullptr;
  return kind == skMakerNote ? &Sections(kind) : FSections[kind - 1].get();
}

const TExifSection& TCustomExifData::PeekSection(TExifSectionKind kind) const {
  if (kind < skPrimary || kind > skMakerNote) throw Zorp::Base::ERangeError(SRangeError);
  return *FSections[kind - 1];
}

TExifMakerNote& TCustomExifData::MakerNote() {
  if (!FMakerNote) {
    // Reading the private directory on first use is not a change of the data: the flags and any
    // notification pending from an enclosing update are as they were before.
    const bool wasModified = FModified, wasPending = FChangedWhileUpdating;
    BeginUpdate();
    struct TRestore {
      TCustomExifData* Data;
      bool Modified, Pending;
      ~TRestore() {
        Data->FChangedWhileUpdating = Pending;
        Data->EndUpdate();
        Data->FModified = Modified;
      }
    } restore{this, wasModified, wasPending};
    TExifSection& section = *FSections[skMakerNote - 1];
    const std::optional<TMakerNoteContext> context = MakerNoteContext();
    FMakerNote = FMakerNoteType->Create(section, context ? &*context : nullptr);
    if (FMakerNoteType == &THeaderlessMakerNote && section.Count() == 0) {
      FMakerNote.reset();
      FMakerNoteType = &TUnrecognizedMakerNote;
      FMakerNote = TUnrecognizedMakerNote.Create(section, nullptr);
    }
    section.SetModified(false);
  }
  return *FMakerNote;
}

std::optional<TMakerNoteContext> TCustomExifData::MakerNoteContext() const {
  const TExifTag* tag = PeekSection(skExif).Find(ttMakerNote);
  if (!tag) return std::nullopt;
  const TOptionalLongInt offset = MakerNoteDataOffset();
  TMakerNoteContext context{CameraMake(), CameraModel(), FByteOrder, *tag, offset.Missing ? 0 : offset.Value};
  // The block is offered only while the tag's bytes are those at its source offset in it.
  const std::span<const std::uint8_t> block = FSourceBlock;
  const std::int64_t at = tag->SourceDataOffset();
  const std::span<const std::uint8_t> bytes = tag->Bytes();
  if (!bytes.empty() && at >= 0 && at <= static_cast<std::int64_t>(block.size()) &&
      bytes.size() <= block.size() - static_cast<std::size_t>(at) &&
      std::equal(bytes.begin(), bytes.end(), block.begin() + at))
    context.Block = block;
  return context;
}

void TCustomExifData::ResetMakerNote() {
  FMakerNoteType = &TUnrecognizedMakerNote;
  FMakerNote.reset();
}

bool TCustomExifData::HasMakerNote() const {
  TTiffDataTypes all;
  for (int type = dtByte; type <= dtIfd; ++type) all.Include(static_cast<TTiffDataType>(type));
  return PeekSection(skExif).TagExists(ttMakerNote, all, 1);
}

bool TCustomExifData::IsEmpty() const {
  for (const auto& section : FSections)
    if (section->Count() > 0) return false;
  return true;
}

void TCustomExifData::Clear(bool xmpPacketToo) {
  WithinUpdate([&] {
    ResetMakerNote();
    for (auto& section : FSections) section->Clear();
    FSourceBlock.clear();
    FLoadedPrimaryDirectory = false;
    FUnreadableExif = false;
    FReadOnlyFormat.clear();
    if (xmpPacketToo) {
      FPendingXMPSegment.reset();
      FUnreadableXMP = false;
      FXMPPacket->Clear();
      FPendingIPTCSegments.clear();
      FIPTC->Clear();
    }
  });
}

// The offset a pointer tag holds: exactly one LONG, SLONG or IFD element, taken as signed.
static bool TryGetPointer(const TExifSection& section, TExifTagID id, std::int64_t& offset) {
  const TExifTag* tag = section.Find(id);
  if (!tag || tag->ElementCount() != 1 || tag->DataSize() < 4) return false;
  if (tag->DataType() != dtLong && tag->DataType() != dtSLong && tag->DataType() != dtIfd) return false;
  offset = static_cast<std::int32_t>(GetLongWord(tag->Data(), boLittleEndian));
  return true;
}

bool TCustomExifData::GetThumbnailOffset(TStream* stream, std::int64_t& offset) const {
  if (!TryGetPointer(PeekSection(skThumbnail), ttJPEGInterchangeFormat, offset)) return false;
  if (!stream) return true;
  const std::int64_t saved = stream->Position();
  std::uint8_t start[ThumbnailProbeSize];
  bool result = false;
  if (FTiffHeaderOffset + offset >= 0) {
    stream->SetPosition(FTiffHeaderOffset + offset);
    result = stream->Read(start, sizeof start) == ThumbnailProbeSize && start[0] == 0xFF && start[1] == 0xD8;
  }
  stream->SetPosition(saved);
  return result;
}

void TCustomExifData::FinishLoad() {
  FChangedWhileUpdating = false;
  EndUpdate();
  FModified = false;
}

void TCustomExifData::DoLoadFromStream(TStream& stream) {
  if (!HasExifHeader(stream, true)) throw EInvalidExifData(SInvalidExifData);
  BeginUpdate();
  try {
    TTiffReader reader(stream);
    FTiffHeaderOffset = reader.BaseOffset();
    // The block's bytes as they are, for the writer; no more than one segment can hold.
    const std::int64_t blockSize = std::min<std::int64_t>(stream.Size() - FTiffHeaderOffset, MaxJPEGSegmentDataSize);
    const auto size = static_cast<std::size_t>(std::max<std::int64_t>(blockSize, 0));
    const std::int64_t position = stream.Position();
    stream.SetPosition(FTiffHeaderOffset);
    // From a segment in memory the bytes are copied once, without zero-filling the block first.
    if (const auto memory = Zorp::Base::MemoryFromPosition(stream); memory && memory->size() >= size) {
      FSourceBlock.assign(memory->begin(), memory->begin() + static_cast<std::ptrdiff_t>(size));
    } else {
      FSourceBlock.assign(size, 0);
      stream.ReadBuffer(FSourceBlock.data(), static_cast<std::int64_t>(size));
    }
    stream.SetPosition(position);
    FByteOrder = reader.ByteOrder();
    const auto& ifds = reader.Ifds();
    if (!ifds.empty()) {
      TExifSection& primary = *FSections[skPrimary - 1];
      TExifSection& exif = *FSections[skExif - 1];
      primary.LoadFromIfd(reader, ifds[0]);
      FLoadedPrimaryDirectory = primary.Count() > 0;
      FUnreadableExif = primary.LoadErrors().Contains(leBadOffset);
      // A directory is loaded once per block: a pointer to one already loaded (IFD0, IFD1 or another
      // sub-directory) is a bad offset, so that aliased pointers cannot multiply the cost of a load.
      std::set<std::int64_t> loaded = {ifds[0].Offset};
      if (ifds.size() > 1) loaded.insert(ifds[1].Offset);
      auto loadDirectory = [&](TExifSection& section, std::int64_t offset) {
        if (loaded.insert(offset).second) {
          section.Load(reader, offset);
        } else {
          TIfdInfo aliased;
          aliased.LoadErrors.Include(leBadOffset);
          section.LoadFromIfd(reader, aliased);
        }
      };
      std::int64_t offset = 0;
      if (TryGetPointer(primary, ttExifIFDPointer, offset)) loadDirectory(exif, offset);
      if (TryGetPointer(primary, ttGPSInfoIFDPointer, offset)) loadDirectory(*FSections[skGps - 1], offset);
      if (TryGetPointer(exif, ttInteroperabilityIFDPointer, offset)) loadDirectory(*FSections[skInterop - 1], offset);
      if (ifds.size() > 1) FSections[skThumbnail - 1]->LoadFromIfd(reader, ifds[1]);
    }
    if (const std::optional<TMakerNoteContext> context = MakerNoteContext()) {
      FMakerNoteType = &THeaderlessMakerNote;
      FMakerNoteType = &RecognizeMakerNote(*context);
    }
  } catch (...) {
    FinishLoad();
    throw;
  }
  FinishLoad();
}

void TCustomExifData::LoadFromJPEG(TStream& stream) {
  FSourceMetadata.Clear();
  FXMPSegmentOffset = 0;
  FXMPSegmentSize = 0;
  BeginUpdate();
  try {
    Clear(true);
    // A file cut off behind its metadata (a damaged image) keeps what was read.
    const auto scanner = ScanJPEGSegments(stream, TJPEGMarkerSet{jmApp1, jmApp13});
    while (MoveNextBeforeCut(*scanner, !FSourceMetadata.Empty())) {
      const std::shared_ptr<IFoundJPEGSegment> segment = scanner->Current();
      Zorp::Base::TMemoryStream& data = segment->Data();
      if (segment->Marker() == jmApp13) {
        if (HasPhotoshopSignature(std::span<const std::uint8_t>(data.Memory(), static_cast<std::size_t>(data.Size())))) {
          FSourceMetadata.Include(mkIPTC);
          FPendingIPTCSegments.push_back(segment);
        }
      } else if (!FSourceMetadata.Contains(mkExif) && HasExifHeader(data)) {
        FSourceMetadata.Include(mkExif);
        DoLoadFromStream(data);
        FTiffHeaderOffset += segment->DataOffset();
      } else if (!FSourceMetadata.Contains(mkExif) && HasExifSignature(data)) {
        FUnreadableExif = true;  // "Exif" 00 00 without a valid TIFF header behind it
      } else if (!FSourceMetadata.Contains(mkXMP) && HasXMPSignature(data)) {
        FSourceMetadata.Include(mkXMP);
        FXMPSegmentOffset = segment->Offset();
        FXMPSegmentSize = data.Size();
        FPendingXMPSegment = segment;
      }
    }
  } catch (...) {
    FIPTC->SetModified(false);
    FinishLoad();
    throw;
  }
  FIPTC->SetModified(false);
  FinishLoad();
}

TIPTCData& TCustomExifData::IPTC() {
  if (!FPendingIPTCSegments.empty()) {
    std::vector<std::span<const std::uint8_t>> segments;
    for (const auto& segment : FPendingIPTCSegments) {
      Zorp::Base::TMemoryStream& data = segment->Data();
      segments.emplace_back(data.Memory(), static_cast<std::size_t>(data.Size()));
    }
    FIPTC->LoadFromSegments(segments);
    FPendingIPTCSegments.clear();
  }
  return *FIPTC;
}

TXMPPacket& TCustomExifData::XMPPacket() {
  if (FPendingXMPSegment) {
    const std::shared_ptr<IFoundJPEGSegment> segment = std::move(FPendingXMPSegment);
    FPendingXMPSegment.reset();
    Zorp::Base::TMemoryStream& data = segment->Data();
    data.SetPosition(0);
    FUnreadableXMP = !FXMPPacket->TryLoadFromStream(data);
    if (FUnreadableXMP && FXMPPacket->OnLoadError()) {
      data.SetPosition(0);
      FXMPPacket->OnLoadError()(*FXMPPacket, data);
    }
  }
  return *FXMPPacket;
}

void TCustomExifData::RemovePaddingTags() {
  for (int kind = skPrimary; kind <= skMakerNote; ++kind)
    Sections(static_cast<TExifSectionKind>(kind)).RemovePaddingTag();
}

void TCustomExifData::Assign(const TCustomExifData* source) {
  if (!source) {
    Clear(true);
    return;
  }
  WithinUpdate([&] {
    for (int kind = skPrimary; kind <= skMakerNote; ++kind) {
      const auto sectionKind = static_cast<TExifSectionKind>(kind);
      // Reading the source's MakerNote section loads it.
      TExifSection& from = const_cast<TCustomExifData*>(source)->Sections(sectionKind);
      FSections[kind - 1]->Assign(&from);
    }
  });
}

// ---------------------------------------------------------------------------------------------
// TExifData

TExifData::TExifData() : TCustomExifData(true) {}

TExifData::~TExifData() = default;

Zorp::Base::TJPEGImage& TExifData::Thumbnail() {
  if (!FThumbnail) {
    FThumbnail = std::make_unique<Zorp::Base::TJPEGImage>();
    FThumbnail->SetOnChange([this] { ThumbnailChanged(); });
  }
  return *FThumbnail;
}

void TExifData::SetThumbnail(const Zorp::Base::TJPEGImage* value) {
  if (!value) {
    FThumbnail.reset();
    return;
  }
  Thumbnail().Assign(*value);
}

void TExifData::ThumbnailChanged() {
  SetModified(true);
  TExifSection& thumbnail = Sections(skThumbnail);
  if (FThumbnail && (thumbnail.Find(ttImageWidth) || thumbnail.Find(ttImageLength))) {
    WithinUpdate([&] {
      thumbnail.SetWordValue(ttImageWidth, 0, static_cast<std::uint16_t>(FThumbnail->Width()));
      thumbnail.SetWordValue(ttImageLength, 0, static_cast<std::uint16_t>(FThumbnail->Height()));
    });
  }
}

void FitThumbnailSize(int width, int height, int maxWidth, int maxHeight, int& newWidth, int& newHeight) {
  newWidth = newHeight = 0;
  if (width <= 0 || height <= 0) return;
  const double ratio = static_cast<double>(width) / height;
  // std::lrint rounds half to even in the default rounding mode.
  if (height < width) {
    newWidth = maxWidth;
    newHeight = static_cast<int>(std::lrint(maxWidth / ratio));
    if (newHeight > maxHeight) {
      newHeight = maxHeight;
      newWidth = static_cast<int>(std::lrint(ratio * maxHeight));
    }
  } else {
    newHeight = maxHeight;
    newWidth = static_cast<int>(std::lrint(ratio * maxHeight));
    if (newWidth > maxWidth) {
      newWidth = maxWidth;
      newHeight = static_cast<int>(std::lrint(maxWidth / ratio));
    }
  }
}

void TExifData::StandardizeThumbnail() {
  if (!HasThumbnail()) return;
  const int width = FThumbnail->Width(), height = FThumbnail->Height();
  if (width <= 160 && height <= 120) return;
  int newWidth = 0, newHeight = 0;
  FitThumbnailSize(width, height, 160, 120, newWidth, newHeight);
  Thumbnail().Assign(FThumbnail->StretchedTo(newWidth, newHeight));
}

bool TExifData::IsEmpty() const { return TCustomExifData::IsEmpty() && !HasThumbnail(); }

void TExifData::Clear(bool xmpPacketToo) {
  FThumbnail.reset();
  FMovedMakerNote = {};  // the place a save gave a MakerNote belongs to the data now cleared
  TCustomExifData::Clear(xmpPacketToo);
}

void TExifData::Assign(const TCustomExifData* source) {
  if (!source) {
    TCustomExifData::Assign(source);
    return;
  }
  WithinUpdate([&] {
    TCustomExifData::Assign(source);
    if (const auto* exifSource = dynamic_cast<const TExifData*>(source)) {
      SetThumbnail(exifSource->HasThumbnail() ? exifSource->FThumbnail.get() : nullptr);
    } else if (Sections(skThumbnail).Count() == 0) {
      FThumbnail.reset();
    }
  });
}

void TExifData::LoadFromStream(TStream& stream) {
  Clear(false);
  DoLoadFromStream(stream);
}

void TExifData::LoadFromJPEG(const std::string& fileName) {
  FRecoveryNote = Zorp::Base::RecoverInterruptedSave(fileName);
  FFileState.reset();
  Zorp::Base::TFileReadStream file(fileName);
  LoadFromJPEG(file);
  FStateFileName = fileName;
  FFileState = file.Identity();
}

void TExifData::RememberFileState() {
  if (FStateFileName.empty()) return;
  FFileState = Zorp::Base::ReadFileIdentity(FStateFileName);
}

void TExifData::DoLoadFromStream(TStream& stream) {
  TCustomExifData::DoLoadFromStream(stream);
  // The thumbnail is cut out of the block with the JPEG length routine. Loading it changes no tag
  // and notifies nobody; a thumbnail that cannot be read is left out rather than failing the load.
  std::int64_t offset = 0;
  if (!GetThumbnailOffset(&stream, offset)) return;
  const std::int64_t saved = stream.Position();
  try {
    stream.SetPosition(FTiffHeaderOffset + offset);
    const std::int64_t length = MeasureJPEGData(stream);
    auto image = std::make_unique<Zorp::Base::TJPEGImage>();
    image->LoadFromStream(stream, length);
    image->SetModified(false);
    image->SetOnChange([this] { ThumbnailChanged(); });
    FThumbnail = std::move(image);
  } catch (const Zorp::Base::Exception&) {
    FThumbnail.reset();
  }
  stream.SetPosition(saved);
  SetModified(false);
}

}  // namespace Zorp::Exif
