#include "zorp/exif/ExifSections.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <limits>

#include "ExifTagsDetail.h"
#include "zorp/base/Exceptions.h"
#include "zorp/base/FormatSettings.h"
#include "zorp/base/TextEncoding.h"
#include "zorp/exif/Consts.h"
#include "zorp/exif/ExifExceptions.h"
#include "zorp/exif/TagIDs.h"

namespace Zorp::Exif {

using Zorp::Base::Format;
using Zorp::Base::TDateTime;

namespace Detail {

// The two texts of the last date-time written, reused when the same value is written again. One per
// thread, so that containers used on different threads never share it.
struct TDateTimeTextCache {
  bool Valid = false;
  TDateTime Value = 0;
  std::string DateText;
  std::string SubSecText;
};
thread_local TDateTimeTextCache LastDateTimeTexts;

}  // namespace Detail

// ---------------------------------------------------------------------------------------------------
// Life and structure

TExifSection::TExifSection(TExifSectionOwner* owner, TExifSectionKind kind) : FKind(kind), FOwner(owner) {}

TExifSection::~TExifSection() {
  // Detach every tag first so that none tries to take itself out of the list.
  for (auto& tag : FTags) tag->FSection = nullptr;
  while (!FTags.empty()) FTags.pop_back();
}

void TExifSection::RaiseIndexError(std::int32_t index) {
  throw Zorp::Base::EListError(Format(SListIndexError, index));
}

std::int32_t TExifSection::IndexOf(const TExifTag* tag) const {
  for (std::size_t i = 0; i < FTags.size(); ++i)
    if (FTags[i].get() == tag) return static_cast<std::int32_t>(i);
  return -1;
}

void TExifSection::Clear() {
  FLoadErrors.Clear();
  WithinUpdate(FOwner, [this] {
    while (!FTags.empty()) DeleteTag(Count() - 1, true);
  });
}

void TExifSection::Assign(const TExifSection* source) {
  if (source == this) return;
  WithinUpdate(FOwner, [this, source] {
    Clear();
    if (source == nullptr) return;
    for (const auto& tag : source->FTags)
      AddOrUpdateTag(tag->ID(), tag->DataType(), tag->ElementCount(), Detail::DataOrNoBytes(tag->Bytes()));
  });
}

void TExifSection::Load(TTiffReader& reader, std::int64_t ifdOffset, std::int64_t dataOffsetAdjustment) {
  const TIfdInfo ifd = reader.ParseIfd(ifdOffset, dataOffsetAdjustment);
  LoadFromIfd(reader, ifd);
}

void TExifSection::LoadFromIfd(TTiffReader& reader, const TIfdInfo& ifd) {
  Clear();
  FLoadErrors = ifd.LoadErrors;
  FFirstTagHeaderOffset = ifd.Entries.empty() ? 0 : ifd.Entries.front().EntryOffset;
  TExifTag::CreateFromEntries(this, ifd.Entries, reader, FTags);
  // A file may hold duplicates; they stay, sorted, in file order among themselves. Directories are
  // short and mostly in order: an insertion sort (stable, no buffer) does them; long ones are merged.
  const auto byID = [](const auto& a, const auto& b) { return a->ID() < b->ID(); };
  if (FTags.size() > 64) {
    if (!std::is_sorted(FTags.begin(), FTags.end(), byID)) {
      // A radix sort by the low, then the high byte of the ID: stable, two passes, no comparisons.
      decltype(FTags) moved(FTags.size());
      for (const int shift : {0, 8}) {
        std::array<std::size_t, 257> starts{};
        for (const auto& tag : FTags) ++starts[((tag->ID() >> shift) & 0xFF) + 1];
        for (std::size_t digit = 1; digit < starts.size(); ++digit) starts[digit] += starts[digit - 1];
        for (auto& tag : FTags) {
          const std::size_t digit = (tag->ID() >> shift) & 0xFF;
          moved[starts[digit]++] = std::move(tag);
        }
        FTags.swap(moved);
      }
    }
  } else {
    for (auto next = FTags.begin(); next != FTags.end(); ++next)
      std::rotate(std::upper_bound(FTags.begin(), next, *next, byID), next, next + 1);
  }
  FModified = false;
}

// ---------------------------------------------------------------------------------------------------
// Lookup

bool TExifSection::FindIndex(TExifTagID id, std::int32_t& index) const {
  const auto found = std::lower_bound(FTags.begin(), FTags.end(), id,
                                      [](const auto& tag, TExifTagID value) { return tag->ID() < value; });
  index = static_cast<std::int32_t>(found - FTags.begin());
  return found != FTags.end() && (*found)->ID() == id;
}

bool TExifSection::Find(TExifTagID id, TExifTag*& tag) const {
  std::int32_t index;
  tag = FindIndex(id, index) ? FTags[static_cast<std::size_t>(index)].get() : nullptr;
  return tag != nullptr;
}

TExifTag* TExifSection::Find(TExifTagID id) const {
  TExifTag* tag;
  Find(id, tag);
  return tag;
}

bool TExifSection::TagExists(TExifTagID id, TTiffDataTypes validTypes, std::int32_t minElementCount) const {
  const TExifTag* tag = Find(id);
  return tag != nullptr && validTypes.Contains(tag->DataType()) && tag->ElementCount() >= minElementCount;
}

// ---------------------------------------------------------------------------------------------------
// Adding and removing

TExifTag* TExifSection::AddTag(TExifTagID id, TTiffDataType dataType, std::int32_t elementCount) {
  if (!IsExtendable()) throw EIllegalEditOfExifData(SIllegalEditOfExifData);
  std::int32_t index;
  if (FindIndex(id, index)) throw ETagAlreadyExists(Format(STagAlreadyExists, static_cast<int>(id)));
  auto tag = std::make_unique<TExifTag>(this, id, dataType, elementCount);
  TExifTag* result = tag.get();
  FTags.insert(FTags.begin() + index, std::move(tag));
  Changed();
  return result;
}

TExifTag* TExifSection::AddOrUpdateTag(TExifTagID id, TTiffDataType dataType, std::int32_t elementCount,
                                       const void* data) {
  TExifTag* tag = Find(id);
  if (tag == nullptr) tag = AddTag(id, dataType, elementCount);
  tag->UpdateData(dataType, elementCount, data);
  return tag;
}

bool TExifSection::Remove(TExifTagID id) {
  std::int32_t index;
  if (!FindIndex(id, index)) return false;
  DeleteTag(index, true);
  return true;
}

void TExifSection::Remove(std::span<const TExifTagID> ids) {
  WithinUpdate(FOwner, [this, ids] {
    for (std::int32_t i = Count() - 1; i >= 0; --i) {
      if (i >= Count()) continue;
      if (std::find(ids.begin(), ids.end(), FTags[static_cast<std::size_t>(i)]->ID()) != ids.end()) DeleteTag(i, true);
    }
  });
}

bool TExifSection::RemovePaddingTag() {
  for (std::int32_t i = 0; i < Count(); ++i) {
    if (FTags[static_cast<std::size_t>(i)]->IsPadding()) {
      DeleteTag(i, true);
      return true;
    }
  }
  return false;
}

void TExifSection::DeleteTag(std::int32_t index, bool freeTag) {
  if (index < 0 || index >= Count()) throw Zorp::Base::EListError(Format(SListIndexError, index));
  // The list lets go of the tag before anything can raise: when the tag's own destructor asked for
  // this (freeTag false), the tag must never be freed a second time.
  TExifTag* tag = FTags[static_cast<std::size_t>(index)].release();
  FTags.erase(FTags.begin() + index);
  tag->FSection = nullptr;
  std::unique_ptr<TExifTag> owned(freeTag ? tag : nullptr);
  if (tag->ID() == ttMakerNote && FKind == skExif && FOwner != nullptr) FOwner->ResetMakerNote();
  owned.reset();
  Changed();
}

void TExifSection::FreeTag(TExifTag* tag) {
  const std::int32_t index = IndexOf(tag);
  if (index >= 0) DeleteTag(index, true);
}

// ---------------------------------------------------------------------------------------------------
// Notifications

void TExifSection::TagChanging(TExifTag& tag, TExifTagID newID, TTiffDataType newDataType, std::int32_t newElementCount,
                               bool /*withNewData*/) {
  if (newID != tag.ID()) {
    if (!IsExtendable()) throw EIllegalEditOfExifData(SIllegalEditOfExifData);
    std::int32_t index;
    if (FindIndex(newID, index)) throw ETagAlreadyExists(Format(STagAlreadyExists, static_cast<int>(newID)));
  }
  // A fixed layout lets a value change freely while it fits the entry or the room it had in the file.
  const std::uint64_t newSize =
      static_cast<std::uint64_t>(std::max(newElementCount, 0)) * TiffDataTypeSize(newDataType);
  if (newSize > 4 && newSize > tag.SourceDataSize() && !IsExtendable())
    throw EIllegalEditOfExifData(SIllegalEditOfExifData);
  if (FKind == skExif && tag.ID() == ttMakerNote && FOwner != nullptr) FOwner->ResetMakerNote();
}

void TExifSection::TagChanged(TExifTag& tag, TExifTagChangeKind kind) {
  if (kind == tcID) {
    const std::int32_t index = IndexOf(&tag);
    if (index >= 0) Reposition(index);
  }
  Changed();
}

void TExifSection::Reposition(std::int32_t index) {
  std::unique_ptr<TExifTag> tag = std::move(FTags[static_cast<std::size_t>(index)]);
  FTags.erase(FTags.begin() + index);
  const TExifTagID id = tag->ID();
  const auto place = std::upper_bound(FTags.begin(), FTags.end(), id,
                                      [](TExifTagID value, const auto& other) { return value < other->ID(); });
  FTags.insert(place, std::move(tag));
}

void TExifSection::Changed() {
  FModified = true;
  if (FOwner != nullptr && FKind != skNone) FOwner->SectionChanged(this);
}

// ---------------------------------------------------------------------------------------------------
// Typed reading

const TExifTag* TExifSection::FindElement(TExifTagID id, std::int32_t index, TTiffDataTypes types) const {
  const TExifTag* tag = Find(id);
  if (tag == nullptr || !types.Contains(tag->DataType()) || index < 0 || index >= tag->ElementCount()) return nullptr;
  // The buffer always holds every element; checked anyway, as every read of a value is.
  if ((static_cast<std::uint64_t>(index) + 1) * tag->ElementSize() > tag->FDataSize) return nullptr;
  return tag;
}

bool TExifSection::TryGetByteValue(TExifTagID id, std::int32_t index, std::uint8_t& value) const {
  const TExifTag* tag = FindElement(id, index, {dtByte, dtSByte, dtUndefined});
  if (tag == nullptr) return false;
  value = tag->FData[static_cast<std::size_t>(index)];
  return true;
}

bool TExifSection::TryGetWordValue(TExifTagID id, std::int32_t index, std::uint16_t& value) const {
  const TExifTag* tag = FindElement(id, index, {dtByte, dtSByte, dtShort, dtSShort});
  if (tag == nullptr) return false;
  value = static_cast<std::uint16_t>(tag->ElementAsUInt32(index));
  return true;
}

bool TExifSection::TryGetLongValue(TExifTagID id, std::int32_t index, std::uint32_t& value) const {
  const TExifTag* tag = FindElement(id, index, {dtByte, dtSByte, dtShort, dtSShort, dtLong, dtSLong});
  if (tag == nullptr) return false;
  value = tag->ElementAsUInt32(index);
  return true;
}

bool TExifSection::TryGetLongValue(TExifTagID id, std::int32_t index, std::int32_t& value) const {
  std::uint32_t bits;
  if (!TryGetLongValue(id, index, bits)) return false;
  value = static_cast<std::int32_t>(bits);
  return true;
}

std::int32_t TExifSection::GetWordValue(TExifTagID id, std::int32_t index) const {
  std::uint16_t value;
  return TryGetWordValue(id, index, value) ? value : MissingWord;
}

TOptionalLongInt TExifSection::GetLongIntValue(TExifTagID id, std::int32_t index) const {
  TOptionalLongInt result;
  if (TryGetLongValue(id, index, result.Value))
    result.Missing = false;
  else
    result.Value = 0;
  return result;
}

TOptionalLongWord TExifSection::GetLongWordValue(TExifTagID id, std::int32_t index) const {
  TOptionalLongWord result;
  if (TryGetLongValue(id, index, result.Value))
    result.Missing = false;
  else
    result.Value = 0;
  return result;
}

TTiffRational TExifSection::GetFractionValue(TExifTagID id, std::int32_t index) const {
  return GetFractionValue(id, index, TTiffRational{0, 0});
}

TTiffRational TExifSection::GetFractionValue(TExifTagID id, std::int32_t index,
                                             const TTiffRational& defaultValue) const {
  const TExifTag* tag = FindElement(id, index, {dtRational, dtSRational});
  if (tag == nullptr) return defaultValue;
  TTiffRational value;
  std::memcpy(&value, tag->FData + static_cast<std::size_t>(index) * sizeof value, sizeof value);
  return value;
}

bool TExifSection::TryGetStringValue(TExifTagID id, std::string& value) const {
  const TExifTag* tag = Find(id);
  if (tag == nullptr || tag->DataType() != dtAscii || tag->ElementCount() <= 0 || tag->FDataSize == 0) return false;
  value = Zorp::Base::DecodeTagText(tag->FData, Detail::AsciiTextLength(tag->Bytes()));
  return true;
}

std::string TExifSection::GetStringValue(TExifTagID id, const std::string& defaultValue) const {
  std::string value;
  return TryGetStringValue(id, value) ? value : defaultValue;
}

bool TExifSection::TryGetWindowsStringValue(TExifTagID id, std::string& value) const {
  const TExifTag* tag = Find(id);
  if (tag == nullptr || tag->DataType() != dtByte || tag->ElementCount() <= 1) return false;
  // Whole UTF-16 code units up to the first NUL: writers that leave the terminator out keep their
  // last character, and padding after it is no text.
  const std::size_t codeUnits = tag->FDataSize / 2;
  std::size_t length = 0;
  while (length < codeUnits && (tag->FData[length * 2] | tag->FData[length * 2 + 1]) != 0) ++length;
  value = Zorp::Base::Utf16LEToUtf8(tag->FData, length);
  return true;
}

std::string TExifSection::GetWindowsStringValue(TExifTagID id, const std::string& defaultValue) const {
  std::string value;
  return TryGetWindowsStringValue(id, value) ? value : defaultValue;
}

TDateTime TExifSection::GetDateTimeValue(TExifTagID id, TExifTagID subSecsID, TDateTime defaultValue) const {
  TDateTime result;
  if (!ExifTextToDateTime(WithoutDateTimePadding(GetStringValue(id)), result)) return defaultValue;
  if (FOwner == nullptr || subSecsID == 0) return result;
  // Sub-seconds always come from the Exif section, wherever the date itself lies.
  const TExifSection* exif = FOwner->Section(skExif);
  const TExifTag* subSecs = exif != nullptr ? exif->Find(subSecsID) : nullptr;
  if (subSecs == nullptr || subSecs->DataType() != dtAscii) return result;
  const std::size_t length = Detail::AsciiTextLength(subSecs->Bytes());
  if (length == 0) return result;
  // The first three digits, left-aligned: "5" is 500 ms, "05" 50 ms, "123456" 123 ms.
  char digits[3] = {'0', '0', '0'};
  const std::size_t used = std::min<std::size_t>(length, 3);
  std::memcpy(digits, subSecs->FData, used);
  std::int32_t milliseconds;
  if (Zorp::Base::TryStrToInt(std::string_view(digits, 3), milliseconds) && milliseconds >= 0)
    result = Zorp::Base::IncMilliSecond(result, milliseconds);
  return result;
}

// ---------------------------------------------------------------------------------------------------
// Typed writing

void TExifSection::SetArrayElement(TExifTagID id, TTiffDataType dataType, std::int32_t index, const void* value) {
  if (index < 0 || value == nullptr) throw Zorp::Base::EAssertionFailed(SAssertionFailed);
  if (index == std::numeric_limits<std::int32_t>::max()) throw Zorp::Base::ERangeError(SRangeError);
  TExifTag* tag = Find(id);
  if (tag == nullptr) tag = AddTag(id, dataType, index + 1);
  tag->SetElement(dataType, index, value);
}

void TExifSection::SetByteValue(TExifTagID id, std::int32_t index, std::uint8_t value) {
  SetArrayElement(id, dtByte, index, &value);
}

void TExifSection::SetWordValue(TExifTagID id, std::int32_t index, std::uint16_t value) {
  SetArrayElement(id, dtShort, index, &value);
}

void TExifSection::SetLongWordValue(TExifTagID id, std::int32_t index, std::uint32_t value) {
  SetArrayElement(id, dtLong, index, &value);
}

void TExifSection::SetFractionValue(TExifTagID id, std::int32_t index, const TTiffRational& value) {
  if (!value.IsMissing()) {
    SetArrayElement(id, dtRational, index, &value);
    return;
  }
  TExifTag* tag = Find(id);
  if (tag == nullptr || index >= tag->ElementCount()) return;
  if (index < 0) throw Zorp::Base::EAssertionFailed(SAssertionFailed);
  if (index == tag->ElementCount() - 1) {
    // Clearing the last element cuts it off; clearing the only one removes the tag.
    if (index == 0)
      FreeTag(tag);
    else
      tag->SetElementCount(index);
    return;
  }
  const TTiffDataType type = tag->DataType() == dtSRational ? dtSRational : dtRational;
  SetArrayElement(id, type, index, &value);
}

void TExifSection::CheckStringValue(std::string_view value) const {
  if (FOwner != nullptr && FOwner->EnforceASCII() && !IsAsciiText(value))
    throw ENotOnlyASCIIError(STagCanContainOnlyASCII);
  if (value.size() >= static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max()))
    throw Zorp::Base::ERangeError(SRangeError);
}

void TExifSection::SetStringValue(TExifTagID id, std::string_view value) {
  if (value.empty()) {
    Remove(id);
    return;
  }
  CheckStringValue(value);
  std::vector<std::uint8_t> bytes(value.begin(), value.end());
  bytes.push_back(0);
  const auto count = static_cast<std::int32_t>(bytes.size());
  TExifTag* tag = Find(id);
  if (tag == nullptr) tag = AddTag(id, dtAscii, count);
  tag->UpdateData(dtAscii, count, bytes.data());
}

void TExifSection::SetWindowsStringValue(TExifTagID id, std::string_view value) {
  if (value.empty()) {
    Remove(id);
    return;
  }
  std::vector<std::uint8_t> bytes = Zorp::Base::Utf8ToUtf16LE(value);
  bytes.push_back(0);
  bytes.push_back(0);
  if (bytes.size() > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max()))
    throw Zorp::Base::ERangeError(SRangeError);
  const auto count = static_cast<std::int32_t>(bytes.size());
  TExifTag* tag = Find(id);
  if (tag == nullptr) tag = AddTag(id, dtByte, count);
  tag->UpdateData(dtByte, count, bytes.data());
}

void TExifSection::SetDateTimeValue(TExifTagID id, TExifTagID subSecsID, TDateTime value) {
  TExifSection* exif = FOwner != nullptr && subSecsID != 0 ? FOwner->Section(skExif) : nullptr;
  TExifTag* subSecs = exif != nullptr ? exif->Find(subSecsID) : nullptr;
  if (value == 0) {
    Remove(id);
    if (subSecs != nullptr) exif->FreeTag(subSecs);
    return;
  }
  // Whatever can be refused comes before the first change: a date without an Exif text (not finite,
  // or outside years 1..9999), a new sub-second tag in a fixed layout, then the date itself.
  if (!std::isfinite(value) || Zorp::Base::DecodeDateTime(value).Year < 1)
    throw Zorp::Base::EConvertError(SDateEncodeError);
  const bool addSubSecs = exif != nullptr && subSecs == nullptr && FOwner->AlwaysWritePreciseTimes();
  if (addSubSecs && !exif->IsExtendable()) throw EIllegalEditOfExifData(SIllegalEditOfExifData);
  auto& cache = Detail::LastDateTimeTexts;
  if (!cache.Valid || cache.Value != value) {
    cache.DateText = DateTimeToExifText(value);
    cache.SubSecText = MillisecondsToSubSecText(value);
    cache.Value = value;
    cache.Valid = true;
  }
  const std::string dateText = cache.DateText, subSecText = cache.SubSecText;
  SetStringValue(id, dateText);
  if (addSubSecs) subSecs = exif->AddTag(subSecsID, dtAscii, 4);
  if (subSecs != nullptr) {
    // Three digits and a NUL: a value that fits every entry, so the section cannot refuse it.
    std::vector<std::uint8_t> bytes(subSecText.begin(), subSecText.end());
    bytes.push_back(0);
    subSecs->UpdateData(dtAscii, static_cast<std::int32_t>(bytes.size()), std::span<const std::uint8_t>(bytes));
  }
}

}  // namespace Zorp::Exif
