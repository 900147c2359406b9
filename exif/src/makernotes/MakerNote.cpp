// The MakerNote base: reading the private directory with the offset base and byte order its class
// chooses, the retry in the other byte order, the registry and the recognition of a MakerNote tag.

#include <algorithm>
#include <array>

#include "makernotes/MakerNoteClasses.h"
#include "zorp/base/Streams.h"
#include "zorp/exif/Consts.h"
#include "zorp/exif/ExifData.h"
#include "zorp/exif/ExifExceptions.h"
#include "zorp/exif/TagIDs.h"
#include "zorp/exif/TiffReader.h"

namespace Zorp::Exif {

void TExifMakerNote::GetIFDInfo(const TExifTag&, TByteOrder&, TMakerNoteOffsetBase&) {}

void TExifMakerNote::ReadDirectory() {
  auto* container = dynamic_cast<TCustomExifData*>(FTags->Owner());
  const TExifTag* tag = container ? container->PeekSection(skExif).Find(ttMakerNote) : nullptr;
  std::int32_t headerSize = 0;
  if (!tag || !ClassType().FormatIsOK(*tag, headerSize)) throw EInvalidMakerNoteFormat(SInvalidMakerNoteFormat);

  FDataOffsetsType = obMainHeader;
  TByteOrder byteOrder = container->ByteOrder();
  GetIFDInfo(*tag, byteOrder, FDataOffsetsType);

  // A read-only view of the tag's own buffer: no copy, and no read can leave it.
  Zorp::Base::TUserMemoryStream data(tag->Data(), tag->DataSize());
  std::int64_t baseOffset = headerSize;  // obEmbeddedHeader
  if (FDataOffsetsType == obMainHeader) baseOffset = -tag->SourceDataOffset();
  if (FDataOffsetsType == obMakerNoteStart) baseOffset = 0;
  std::int64_t adjustment = -8;
  if (FDataOffsetsType != obEmbeddedHeader) {
    const TOptionalLongInt offset = container->MakerNoteDataOffset();
    adjustment = offset.Missing ? 0 : offset.Value;
  }
  // The directory always starts right behind the header, whatever the offset base.
  const std::int64_t ifdOffset = headerSize - baseOffset;
  auto load = [&](TByteOrder order) {
    TTiffReader reader(data, baseOffset, order);
    FTags->Load(reader, ifdOffset, adjustment);
  };

  load(byteOrder);
  const TExifSectionLoadErrors errors = FTags->LoadErrors();
  const bool looksWrong = FTags->Count() == 0 ||
                          (!errors.Empty() && !errors.Contains(leBadOffset) && FTags->Count() < 3);
  if (looksWrong) {
    byteOrder = byteOrder == boLittleEndian ? boBigEndian : boLittleEndian;
    load(byteOrder);
    if (!FTags->LoadErrors().Empty()) FTags->Clear();
    if (FTags->Count() == 0) {
      TIfdInfo nothing;
      nothing.LoadErrors.Include(leBadOffset);
      TTiffReader reader(data, baseOffset, byteOrder);
      FTags->LoadFromIfd(reader, nothing);
    }
  }
  FByteOrder = byteOrder;
}

namespace Detail {

// Whether the tag's data starts with the signature bytes.
bool DataStartsWith(const TExifTag& tag, std::string_view signature) {
  const auto bytes = tag.Bytes();
  if (bytes.size() < signature.size()) return false;
  return std::equal(signature.begin(), signature.end(), bytes.begin(),
                    [](char a, std::uint8_t b) { return static_cast<std::uint8_t>(a) == b; });
}

// The container that owns the tag's section, if any.
const TCustomExifData* ContainerOf(const TExifTag& tag) {
  return tag.Section() ? dynamic_cast<const TCustomExifData*>(tag.Section()->Owner()) : nullptr;
}

namespace {

class TUnrecognized final : public TExifMakerNote {
 public:
  explicit TUnrecognized(TExifSection& section) : TExifMakerNote(section) {}
  const TExifMakerNoteClass& ClassType() const override { return TUnrecognizedMakerNote; }
};

class THeaderless final : public TExifMakerNote {
 public:
  explicit THeaderless(TExifSection& section) : TExifMakerNote(section) {}
  const TExifMakerNoteClass& ClassType() const override { return THeaderlessMakerNote; }
  static std::unique_ptr<TExifMakerNote> Create(TExifSection& s) { return CreateAndRead<THeaderless>(s); }
};

}  // namespace
}  // namespace Detail

const TExifMakerNoteClass TUnrecognizedMakerNote = {
    "TUnrecognizedMakerNote", [](const TExifTag&, std::int32_t&) { return false; },
    [](TExifSection& section) -> std::unique_ptr<TExifMakerNote> {
      return std::make_unique<Detail::TUnrecognized>(section);
    }};

const TExifMakerNoteClass THeaderlessMakerNote = {"THeaderlessMakerNote",
                                                  [](const TExifTag&, std::int32_t& headerSize) {
                                                    headerSize = 0;
                                                    return true;
                                                  },
                                                  Detail::THeaderless::Create};

std::span<const TExifMakerNoteClass* const> MakerNoteClassList() {
  static const std::array<const TExifMakerNoteClass*, 6> list = {&TNikonType2MakerNote, &TCanonMakerNote,
                                                                 &TSonyMakerNote,       &TNikonType1MakerNote,
                                                                 &TNikonType3MakerNote, &TPanasonicMakerNote};
  return list;
}

const TExifMakerNoteClass& RecognizeMakerNote(const TExifTag& makerNoteTag) {
  if (makerNoteTag.DataType() != dtUndefined || makerNoteTag.ElementCount() <= 1) return THeaderlessMakerNote;
  const auto list = MakerNoteClassList();
  for (auto it = list.rbegin(); it != list.rend(); ++it) {
    std::int32_t headerSize = 0;
    if ((*it)->FormatIsOK(makerNoteTag, headerSize)) return **it;
  }
  return THeaderlessMakerNote;
}

}  // namespace Zorp::Exif
