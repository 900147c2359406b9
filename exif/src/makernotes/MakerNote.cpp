// The MakerNote base: reading the private directory with the offset base and byte order its class
// chooses, and the retry in the other byte order; the two classes outside the registry.

#include <algorithm>

#include "makernotes/Layouts.h"
#include "makernotes/MakerNoteClasses.h"
#include "zorp/base/Streams.h"
#include "zorp/base/TextEncoding.h"
#include "zorp/exif/Consts.h"
#include "zorp/exif/ExifExceptions.h"
#include "zorp/exif/StreamHelper.h"
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
    reader.AllowValuesBehindData();
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

bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && Zorp::Base::SameText(text.substr(0, prefix.size()), prefix);
}

// Whether the tag's data starts with the signature bytes.
bool DataStartsWith(const TExifTag& tag, std::string_view signature) {
  const auto bytes = tag.Bytes();
  if (bytes.size() < signature.size()) return false;
  return std::equal(signature.begin(), signature.end(), bytes.begin(),
                    [](char a, std::uint8_t b) { return static_cast<std::uint8_t>(a) == b; });
}

const TMakerNoteForm* FindForm(std::span<const TMakerNoteForm> forms, const TMakerNoteContext& context,
                               std::int32_t& headerSize) {
  const auto bytes = context.Tag.Bytes();
  const auto size = static_cast<std::int64_t>(bytes.size());
  for (const TMakerNoteForm& form : forms) {
    if (form.Signature.empty() ? !StartsWithIgnoringCase(context.Make, form.Make) : !DataStartsWith(context.Tag, form.Signature))
      continue;
    std::int64_t header = form.HeaderSize;
    if (form.DirectoryPointerAt >= 0) {
      if (form.DirectoryPointerAt + std::int64_t{4} > size) continue;
      header = GetLongWord(&bytes[static_cast<std::size_t>(form.DirectoryPointerAt)], boLittleEndian);
      if (header < form.HeaderSize) continue;
    }
    // The directory's entry count must lie within the note.
    if (header + 2 > size) continue;
    headerSize = static_cast<std::int32_t>(header);
    return &form;
  }
  return nullptr;
}

namespace {

// Whether every value held outside its entry lies behind the directory and before `end`, its offsets
// counted from `base` (both as places in the MakerNote). A directory without such values fits any base.
bool ValuesFit(std::span<const std::uint8_t> note, std::int64_t headerSize, TByteOrder order, std::int64_t base,
               std::int64_t end) {
  std::int64_t directoryEnd = 0;
  std::vector<TValueReference> values;
  if (!DirectoryValues(note, headerSize, order, directoryEnd, values)) return false;
  return std::all_of(values.begin(), values.end(), [&](const TValueReference& value) {
    const std::int64_t at = base + value.Offset;
    return at >= directoryEnd && at + value.Size <= end;
  });
}

}  // namespace

void FormIFDInfo(const TMakerNoteForm& form, const TMakerNoteContext& context, TByteOrder& byteOrder,
                 TMakerNoteOffsetBase& base) {
  const auto bytes = context.Tag.Bytes();
  if (form.Order == TFormOrder::Little) byteOrder = boLittleEndian;
  if (form.Order == TFormOrder::Big) byteOrder = boBigEndian;
  if (form.Order == TFormOrder::Marked && form.OrderMarkAt + std::size_t{2} <= bytes.size()) {
    const std::uint8_t* mark = &bytes[static_cast<std::size_t>(form.OrderMarkAt)];
    if (mark[0] == 'I' && mark[1] == 'I') byteOrder = boLittleEndian;
    if (mark[0] == 'M' && mark[1] == 'M') byteOrder = boBigEndian;
  }
  base = form.Base;
  std::int32_t headerSize = 0;
  // Only a MakerNote read where it was loaded tells where its offsets may point.
  const std::int64_t noteAt = context.Tag.SourceDataOffset();
  if (!form.BaseVaries || context.OffsetAdjustment != 0 || context.Block.empty() || noteAt < 8 ||
      !FindForm(std::span(&form, 1), context, headerSize))
    return;
  const auto size = static_cast<std::int64_t>(bytes.size());
  const std::int64_t blockEnd = static_cast<std::int64_t>(context.Block.size()) - noteAt;
  auto fits = [&](TMakerNoteOffsetBase candidate) {
    return candidate == obMainHeader ? ValuesFit(bytes, headerSize, byteOrder, -noteAt, blockEnd)
                                     : ValuesFit(bytes, headerSize, byteOrder, 0, std::max(size, blockEnd));
  };
  const TMakerNoteOffsetBase other = form.Base == obMainHeader ? obMakerNoteStart : obMainHeader;
  if (!fits(form.Base) && fits(other)) base = other;
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
