// The MakerNote base: reading the private directory with the offset base and byte order its class
// chooses, and the retry in the other byte order; the two classes outside the registry.

#include <algorithm>

#include "makernotes/Layouts.h"
#include "makernotes/MakerNoteClasses.h"
#include "zorp/base/Streams.h"
#include "zorp/exif/Consts.h"
#include "zorp/exif/ExifExceptions.h"
#include "zorp/exif/TiffReader.h"

namespace Zorp::Exif {

void TExifMakerNote::GetIFDInfo(const TMakerNoteContext&, TByteOrder&, TMakerNoteOffsetBase&) {}

void TExifMakerNote::ReadDirectory(const TMakerNoteContext* context) {
  std::int32_t headerSize = 0;
  if (!context || !ClassType().FormatIsOK(*context, headerSize)) throw EInvalidMakerNoteFormat(SInvalidMakerNoteFormat);
  const TExifTag& tag = context->Tag;

  FDataOffsetsType = obMainHeader;
  TByteOrder byteOrder = context->ByteOrder;
  GetIFDInfo(*context, byteOrder, FDataOffsetsType);

  // A read-only view of the loaded block around the tag, so that values stored past the MakerNote's
  // declared end read as other readers read them; without the block, of the tag's own buffer. No
  // copy, and no read can leave the view.
  // Only for a directory whose entries lie within the MakerNote's own bytes: its values may lie past
  // the declared end, its entries may not (a count read from bytes that are no directory would
  // otherwise walk the rest of the block).
  const auto entriesFit = [&](TByteOrder order) {
    if (tag.DataSize() < std::int64_t{headerSize} + 2) return false;
    const std::uint8_t* at = tag.Data() + headerSize;
    const int count = order == boLittleEndian ? at[0] | at[1] << 8 : at[0] << 8 | at[1];
    return count > 0 && std::int64_t{headerSize} + 2 + std::int64_t{count} * 12 <= tag.DataSize();
  };
  const bool inBlock = !context->Block.empty() && entriesFit(byteOrder);
  Zorp::Base::TUserMemoryStream data(inBlock ? context->Block.data() : tag.Data(),
                                     inBlock ? static_cast<std::int64_t>(context->Block.size()) : tag.DataSize());
  const std::int64_t tagStart = inBlock ? tag.SourceDataOffset() : 0;
  std::int64_t baseOffset = tagStart + headerSize;  // obEmbeddedHeader
  if (FDataOffsetsType == obMainHeader) baseOffset = tagStart - tag.SourceDataOffset();
  if (FDataOffsetsType == obMakerNoteStart) baseOffset = tagStart;
  std::int64_t adjustment = FDataOffsetsType == obEmbeddedHeader ? -8 : context->OffsetAdjustment;
  FBaseShift = Detail::MakerNoteBaseShift(*context, byteOrder);
  adjustment += FBaseShift;
  // The directory always starts right behind the header, whatever the offset base.
  const std::int64_t ifdOffset = tagStart + headerSize - baseOffset;
  auto load = [&](TByteOrder order) {
    TTiffReader reader(data, baseOffset, order);
    FTags->Load(reader, ifdOffset, adjustment);
  };

  load(byteOrder);
  const TExifSectionLoadErrors errors = FTags->LoadErrors();
  // An empty directory, or one read in the wrong order (malformed entries do not end a directory),
  // has no well-formed tag.
  bool anyWellFormed = false;
  for (const TExifTag* tag : *FTags) anyWellFormed = anyWellFormed || tag->WellFormed();
  const bool looksWrong = !anyWellFormed ||
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
};

}  // namespace
}  // namespace Detail

const TExifMakerNoteClass TUnrecognizedMakerNote = {
    "TUnrecognizedMakerNote", [](const TMakerNoteContext&, std::int32_t&) { return false; },
    [](TExifSection& section, const TMakerNoteContext*) -> std::unique_ptr<TExifMakerNote> {
      return std::make_unique<Detail::TUnrecognized>(section);
    }};

const TExifMakerNoteClass THeaderlessMakerNote = {"THeaderlessMakerNote",
                                                  [](const TMakerNoteContext&, std::int32_t& headerSize) {
                                                    headerSize = 0;
                                                    return true;
                                                  },
                                                  TExifMakerNote::CreateAndRead<Detail::THeaderless>};

}  // namespace Zorp::Exif
