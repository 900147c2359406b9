#include "zorp/exif/ExifTags.h"

#include <algorithm>
#include <charconv>
#include <array>
#include <bit>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>
#include <type_traits>

#include "ExifTagsDetail.h"
#include "zorp/base/Exceptions.h"
#include "zorp/base/FormatSettings.h"
#include "zorp/base/TextEncoding.h"
#include "zorp/exif/Consts.h"
#include "zorp/exif/ExifExceptions.h"
#include "zorp/exif/ExifSections.h"
#include "zorp/exif/TagIDs.h"

namespace Zorp::Exif {

using Zorp::Base::Format;

namespace Detail {

// The types whose values convert into each other when a tag changes type without new bytes.
inline bool IsIntegerType(TTiffDataType type) {
  return type == dtByte || type == dtShort || type == dtLong || type == dtSByte || type == dtSShort;
}

inline std::int32_t ClampCount(std::int32_t count) { return count < 0 ? 0 : count; }

inline std::uint64_t ValueSize(std::int32_t count, std::uint16_t type) {
  return static_cast<std::uint64_t>(ClampCount(count)) * TiffDataTypeSize(type);
}

inline std::uint32_t SourceSize(std::size_t size) {
  return size > std::numeric_limits<std::uint32_t>::max() ? std::numeric_limits<std::uint32_t>::max()
                                                          : static_cast<std::uint32_t>(size);
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

[[noreturn]] void RaiseRangeError() { throw Zorp::Base::ERangeError(SRangeError); }

enum TFractionResult { frOK, frMalformed, frOutOfRange };

// Reads "n/d" or "n" as a RATIONAL (unsigned) or SRATIONAL (signed) value. A signed value keeps its
// sign in the numerator when the negated parts still fit.
TFractionResult ParseFraction(std::string_view text, bool isSigned, TTiffRational& value) {
  const std::size_t slash = text.find('/');
  std::int64_t numerator = 0, denominator = 1;
  if (!Zorp::Base::TryStrToInt64(text.substr(0, slash), numerator)) return frMalformed;
  if (slash != std::string_view::npos && !Zorp::Base::TryStrToInt64(text.substr(slash + 1), denominator))
    return frMalformed;
  const std::int64_t low = isSigned ? std::numeric_limits<std::int32_t>::min() : 0;
  const std::int64_t high =
      isSigned ? std::numeric_limits<std::int32_t>::max() : std::numeric_limits<std::uint32_t>::max();
  if (numerator < low || numerator > high || denominator < low || denominator > high) return frOutOfRange;
  if (denominator < 0 && -numerator <= high && -denominator <= high) {
    numerator = -numerator;
    denominator = -denominator;
  }
  // Negative parts keep their two's complement bits.
  value = {static_cast<std::uint32_t>(numerator), static_cast<std::uint32_t>(denominator)};
  return frOK;
}

// Appends RationalToText(value, isSigned): decimal integers joined by hand, as formatting through
// printf costs more than the rest of a tag.
void AppendRationalText(std::string& text, const TTiffRational& value, bool isSigned) {
  if (value.Denominator == 0) return;
  const auto append = [&](std::uint32_t part) {
    char digits[16];
    text.append(digits, isSigned ? std::to_chars(digits, digits + sizeof digits, static_cast<std::int32_t>(part)).ptr
                                 : std::to_chars(digits, digits + sizeof digits, part).ptr);
  };
  append(value.Numerator);
  if (value.Denominator != 1) {
    text += '/';
    append(value.Denominator);
  }
}

std::int32_t CountFromSize(std::size_t size) {
  if (size > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) RaiseRangeError();
  return static_cast<std::int32_t>(size);
}

}  // namespace Detail

TTiffDataTypes AllTiffDataTypes() {
  TTiffDataTypes result;
  for (std::uint16_t code = dtByte; code <= dtIfd; ++code) result.Include(static_cast<TTiffDataType>(code));
  return result;
}

// ---------------------------------------------------------------------------------------------------
// Life

// The allocation that the tags of one load share: this header, then a slot for each tag. It is freed
// when the last of them is.
struct TExifTag::TBlock {
  std::size_t Live = 0;  // tags not yet freed, plus one while the load still adds tags

  // A slot: the owner of the tag's memory (its block, or nullptr for a tag allocated alone), then
  // the tag.
  static constexpr std::size_t OwnerSize = (sizeof(TBlock*) + alignof(TExifTag) - 1) / alignof(TExifTag) *
                                           alignof(TExifTag);
  static constexpr std::size_t SlotSize = OwnerSize + sizeof(TExifTag);
  static constexpr std::size_t SlotsOffset = (sizeof(std::size_t) + alignof(TExifTag) - 1) / alignof(TExifTag) *
                                             alignof(TExifTag);
  static_assert(alignof(TExifTag) <= __STDCPP_DEFAULT_NEW_ALIGNMENT__);

  static TBlock*& OwnerOf(void* tag) {
    return *reinterpret_cast<TBlock**>(static_cast<std::uint8_t*>(tag) - OwnerSize);
  }
  // The memory for the tag in slot index.
  void* Slot(std::size_t index) {
    std::uint8_t* slot = reinterpret_cast<std::uint8_t*>(this) + SlotsOffset + index * SlotSize;
    ::new (static_cast<void*>(slot)) TBlock*(this);
    return slot + OwnerSize;
  }
  void Release() {
    if (--Live == 0) {
      this->~TBlock();
      ::operator delete(static_cast<void*>(this));
    }
  }
};

void* TExifTag::operator new(std::size_t size) {
  auto* memory = static_cast<std::uint8_t*>(::operator new(TBlock::OwnerSize + size));
  ::new (static_cast<void*>(memory)) TBlock*(nullptr);
  return memory + TBlock::OwnerSize;
}

void TExifTag::operator delete(void* tag) noexcept {
  if (tag == nullptr) return;
  TBlock* block = TBlock::OwnerOf(tag);
  if (block == nullptr)
    ::operator delete(static_cast<void*>(static_cast<std::uint8_t*>(tag) - TBlock::OwnerSize));
  else
    block->Release();
}

TExifTag::TExifTag(TExifSection* section, TExifTagID id, TTiffDataType dataType, std::int32_t elementCount)
    : FDataType(dataType), FElementCount(Detail::ClampCount(elementCount)), FID(id), FSection(section) {
  const std::uint64_t size = Detail::ValueSize(FElementCount, FDataType);
  if (size > InlineDataSize) {
    if (size > std::numeric_limits<std::size_t>::max()) Detail::RaiseRangeError();
    FHeapData.reset(new std::uint8_t[static_cast<std::size_t>(size)]());
    FData = FHeapData.get();
  } else {
    std::memset(FInlineData, 0, sizeof FInlineData);
  }
  FDataSize = static_cast<std::size_t>(size);
  FSourceDataSize = Detail::SourceSize(FDataSize);
}

std::unique_ptr<TExifTag> TExifTag::CreateFromEntry(TExifSection* section, const TIfdEntryInfo& entry,
                                                    TTiffReader& reader) {
  std::unique_ptr<TExifTag> tag(new TExifTag);  // no zeroing beyond the members' own initialisers
  tag->ReadEntry(entry, reader);
  tag->FSection = section;
  return tag;
}

void TExifTag::CreateFromEntries(TExifSection* section, std::span<const TIfdEntryInfo> entries, TTiffReader& reader,
                                 std::vector<std::unique_ptr<TExifTag>>& tags) {
  if (entries.empty()) return;
  const std::uint64_t bytes = TBlock::SlotsOffset + static_cast<std::uint64_t>(entries.size()) * TBlock::SlotSize;
  if (bytes > std::numeric_limits<std::size_t>::max() / 2) throw std::bad_alloc();
  tags.reserve(tags.size() + entries.size());
  TBlock* block = ::new (::operator new(static_cast<std::size_t>(bytes))) TBlock;
  // The load holds one count of its own, so that a raise before the last tag frees nothing twice
  // and leaks nothing: the tags made so far are in tags and free the block with the last of them.
  block->Live = 1;
  struct TLoadReference {
    TBlock* Block;
    ~TLoadReference() { Block->Release(); }
  } loadReference{block};
  for (std::size_t i = 0; i < entries.size(); ++i) {
    std::unique_ptr<TExifTag> tag(::new (block->Slot(i)) TExifTag);
    ++block->Live;
    tag->ReadEntry(entries[i], reader);
    tag->FSection = section;
    tags.push_back(std::move(tag));  // cannot raise: the room is reserved
  }
}

void TExifTag::ReadEntry(const TIfdEntryInfo& entry, TTiffReader& reader) {
  FID = entry.ID;
  FSourceDataOffset = entry.DataOffset;

  const std::int64_t size = static_cast<std::int64_t>(entry.ElementCount) * TiffDataTypeSize(entry.DataType);
  // A value larger than the whole stream cannot be there; refusing it early also bounds the buffer.
  bool wellFormed = IsValidTiffDataType(entry.DataType) && size >= 0 &&
                    size <= std::numeric_limits<std::int32_t>::max() && size <= reader.Stream().Size() &&
                    reader.TakeValueBytes(size);
  if (wellFormed) {
    FDataType = static_cast<TTiffDataType>(entry.DataType);
    FElementCount = entry.ElementCount;
    if (entry.ElementCount > 0) {
      const auto length = static_cast<std::size_t>(size);
      if (length > InlineDataSize) {
        FHeapData.reset(new std::uint8_t[length]);
        FData = FHeapData.get();
      }
      FDataSize = length;
      wellFormed = reader.ReadValue(entry, FData, length);
    }
  }
  if (!wellFormed) {
    FDataType = dtUndefined;
    FElementCount = 0;
    FHeapData.reset();
    FData = FInlineData;
    FDataSize = 0;
  }
  FWellFormed = wellFormed;
  if (!wellFormed) FSizeBehindData = entry.SizeBehindData;
  FSourceDataSize = Detail::SourceSize(FDataSize);
}

TExifTag::~TExifTag() {
  TExifSection* section = FSection;
  if (section == nullptr) return;
  const std::int32_t index = section->IndexOf(this);
  FSection = nullptr;
  if (index < 0) return;
  // The section releases its owning pointer before anything that can raise; a change handler that
  // raises cannot be reported from a destructor, the tag is gone from the section either way.
  try {
    section->DeleteTag(index, false);
  } catch (...) {
  }
}

void TExifTag::Assign(const TExifTag* source) {
  if (source == nullptr) {
    UpdateData(FDataType, 0, nullptr);
    return;
  }
  if (FSection == nullptr || FSection != source->FSection) SetID(source->FID);
  // A source without bytes still counts as new data (an empty value), not as a conversion.
  UpdateData(source->FDataType, source->FElementCount, Detail::DataOrNoBytes(source->Bytes()));
}

// ---------------------------------------------------------------------------------------------------
// Changing

void TExifTag::SetID(TExifTagID newID) {
  if (newID == FID) return;
  Changing(newID, FDataType, FElementCount, false);
  FID = newID;
  Changed(tcID);
}

void TExifTag::SetDataType(TTiffDataType newDataType) {
  if (newDataType != FDataType) UpdateData(newDataType, FElementCount, nullptr);
}

void TExifTag::SetElementCount(std::int32_t newCount) {
  if (newCount != FElementCount) UpdateData(FDataType, newCount, nullptr);
}

void TExifTag::Changing(TExifTagID newID, TTiffDataType newDataType, std::int32_t newElementCount, bool withNewData) {
  if (FSection != nullptr) FSection->TagChanging(*this, newID, newDataType, newElementCount, withNewData);
}

void TExifTag::Changed(TExifTagChangeKind kind) {
  // The text follows the ID too: a Windows text tag reads as text, the same bytes elsewhere as numbers.
  FAsStringCache.clear();
  if (FSection != nullptr) FSection->TagChanged(*this, kind);
}

void TExifTag::UpdateData(TTiffDataType newDataType, std::int32_t newElementCount, const void* newData) {
  newElementCount = Detail::ClampCount(newElementCount);
  if (newData == nullptr && newDataType == FDataType && newElementCount == FElementCount) return;
  const std::size_t oldSize = FDataSize;
  const std::uint64_t newSize = Detail::ValueSize(newElementCount, newDataType);
  if (newSize > std::numeric_limits<std::size_t>::max()) Detail::RaiseRangeError();

  Changing(FID, newDataType, newElementCount, newData != nullptr);

  // The new value is built aside so that a failure leaves the tag as it was: in a small buffer when it
  // fits the tag, else in a heap buffer of its own.
  std::uint8_t small[InlineDataSize] = {};
  std::unique_ptr<std::uint8_t[]> heap;
  std::uint8_t* buffer = small;
  if (newSize > InlineDataSize) {
    heap.reset(new std::uint8_t[static_cast<std::size_t>(newSize)]());
    buffer = heap.get();
  }
  const auto bufferSize = static_cast<std::size_t>(newSize);
  const std::uint32_t oldElementSize = TiffDataTypeSize(FDataType);
  const std::uint32_t newElementSize = TiffDataTypeSize(newDataType);
  if (newData != nullptr) {
    if (bufferSize > 0) std::memcpy(buffer, newData, bufferSize);
  } else if (oldElementSize != newElementSize) {
    // Integers keep their values across widths (truncated to the low bytes when narrower); any
    // other change between element sizes leaves zeros.
    if (newSize != oldSize && Detail::IsIntegerType(FDataType) && Detail::IsIntegerType(newDataType) &&
        FElementCount > 0 && newElementCount > 0) {
      const std::int32_t kept = std::min(FElementCount, newElementCount);
      for (std::int32_t i = 0; i < kept; ++i) {
        const std::uint32_t value = ElementAsUInt32(i);
        std::memcpy(buffer + static_cast<std::size_t>(i) * newElementSize, &value, newElementSize);
      }
    }
  } else if (oldSize > 0 && bufferSize > 0) {
    std::memcpy(buffer, FData, std::min(oldSize, bufferSize));
  }

  if (heap) {
    FHeapData = std::move(heap);
    FData = FHeapData.get();
  } else {
    std::memcpy(FInlineData, small, sizeof small);
    FData = FInlineData;
    FHeapData.reset();
  }
  FDataSize = bufferSize;
  FDataType = newDataType;
  FElementCount = newElementCount;
  FWellFormed = true;  // a tag that could not be read holds what it was given now, and is written
  Changed(FDataSize != oldSize ? tcDataSize : tcData);
}

void TExifTag::UpdateData(TTiffDataType newDataType, std::int32_t newElementCount,
                          std::span<const std::uint8_t> newData) {
  if (newData.size() < Detail::ValueSize(newElementCount, newDataType))
    throw Zorp::Base::EAssertionFailed(SAssertionFailed);
  UpdateData(newDataType, newElementCount, static_cast<const void*>(Detail::DataOrNoBytes(newData)));
}

void TExifTag::SetElement(TTiffDataType dataType, std::int32_t index, const void* value) {
  if (index < 0 || value == nullptr) throw Zorp::Base::EAssertionFailed(SAssertionFailed);
  if (index == std::numeric_limits<std::int32_t>::max()) throw Zorp::Base::ERangeError(SRangeError);
  UpdateData(dataType, std::max(FElementCount, index + 1), nullptr);
  const std::uint32_t size = TiffDataTypeSize(dataType);
  const std::size_t offset = static_cast<std::size_t>(index) * size;
  if (size == 0 || offset + size > FDataSize) return;
  // Writing the value an element already has is no change.
  if (std::memcmp(FData + offset, value, size) == 0) return;
  std::memcpy(FData + offset, value, size);
  Changed(tcData);
}

void TExifTag::SetRawData(const void* buffer) {
  if (buffer == nullptr && FDataSize != 0) throw Zorp::Base::EAssertionFailed(SAssertionFailed);
  Changing(FID, FDataType, FElementCount, true);
  if (FDataSize != 0) std::memcpy(FData, buffer, FDataSize);
  Changed(tcData);
}

void TExifTag::SetRawData(std::span<const std::uint8_t> bytes) {
  if (bytes.size() < FDataSize) throw Zorp::Base::EAssertionFailed(SAssertionFailed);
  SetRawData(static_cast<const void*>(Detail::DataOrNoBytes(bytes)));
}

// ---------------------------------------------------------------------------------------------------
// Text forms

std::uint32_t TExifTag::ElementAsUInt32(std::int32_t index) const {
  const std::uint32_t size = ElementSize();
  if (index < 0 || size == 0 || static_cast<std::uint64_t>(index + 1ULL) * size > FDataSize) return 0;
  const std::uint8_t* element = FData + static_cast<std::size_t>(index) * size;
  switch (size) {
    case 1:
      return element[0];
    case 2: {
      std::uint16_t value;
      std::memcpy(&value, element, 2);
      return value;
    }
    default: {
      std::uint32_t value;
      std::memcpy(&value, element, 4);
      return value;
    }
  }
}

namespace {

bool IsIntegerType(TTiffDataType type) {
  return type == dtByte || type == dtSByte || type == dtShort || type == dtSShort || type == dtLong ||
         type == dtSLong || type == dtIfd;
}

}  // namespace

std::string TExifTag::ElementText(std::int32_t index) const {
  const std::uint32_t size = ElementSize();
  if (index < 0 || size == 0 || static_cast<std::uint64_t>(index + 1ULL) * size > FDataSize) return {};
  const std::uint8_t* element = FData + static_cast<std::size_t>(index) * size;
  switch (FDataType) {
    case dtAscii:
      return Zorp::Base::DecodeTagText(element, 1);
    case dtByte:
    case dtUndefined:
    case dtShort:
    case dtLong:
      return std::to_string(ElementAsUInt32(index));
    case dtSByte:
      return std::to_string(static_cast<std::int8_t>(element[0]));
    case dtSShort:
      return std::to_string(static_cast<std::int16_t>(ElementAsUInt32(index)));
    case dtSLong:
    case dtIfd:
      return std::to_string(static_cast<std::int32_t>(ElementAsUInt32(index)));
    case dtRational:
    case dtSRational: {
      TTiffRational value;
      std::memcpy(&value, element, sizeof value);
      return RationalToText(value, FDataType == dtSRational);
    }
    case dtFloat: {
      float value;
      std::memcpy(&value, element, sizeof value);
      return Zorp::Base::FloatToStrG(static_cast<double>(value), 15, Zorp::Base::InvariantFormatSettings());
    }
    case dtDouble: {
      double value;
      std::memcpy(&value, element, sizeof value);
      return Zorp::Base::FloatToStrG(value, 15, Zorp::Base::InvariantFormatSettings());
    }
  }
  return {};
}

std::string TExifTag::ComputeAsString(std::size_t limit) const {
  std::string text;
  AppendText(text, limit);
  return text;
}

void TExifTag::AppendText(std::string& text, std::size_t limit) const {
  if (FElementCount <= 0 || FDataSize == 0) return;
  if (FDataType == dtAscii) {
    const std::string_view bytes(reinterpret_cast<const char*>(FData), Detail::AsciiTextLength(Bytes()));
    if (Zorp::Base::IsValidUtf8(bytes))
      text += bytes;
    else
      text += Zorp::Base::DecodeTagText(FData, bytes.size());
    return;
  }
  if (FDataType == dtUndefined) {
    // Two hex digits a byte; a limit formats just enough bytes to pass it.
    AppendHex(text, limit / 2 < FDataSize ? limit / 2 + 1 : FDataSize);
    return;
  }
  if (IsWindowsText()) {
    // The final code unit is the terminator only when it is NUL; writers that leave it out keep
    // their last character.
    std::size_t codeUnits = FDataSize / 2;
    if (codeUnits > 0 && FData[codeUnits * 2 - 2] == 0 && FData[codeUnits * 2 - 1] == 0) --codeUnits;
    text += Zorp::Base::Utf16LEToUtf8(FData, codeUnits);
    return;
  }
  // Integers never need quotes: they are written straight into the text, with the same cut.
  if (IsIntegerType(FDataType)) {
    const std::uint32_t size = ElementSize();
    const std::size_t start = text.size();
    char digits[16];
    for (std::int32_t i = 0; i < FElementCount && (i == 0 || text.size() - start <= limit); ++i) {
      if (i > 0) text += ',';
      if (static_cast<std::uint64_t>(i + 1ULL) * size > FDataSize) continue;  // as ElementText: no text
      const std::uint32_t raw = ElementAsUInt32(i);
      std::int64_t value = raw;
      if (FDataType == dtSByte) value = static_cast<std::int8_t>(raw);
      if (FDataType == dtSShort) value = static_cast<std::int16_t>(raw);
      if (FDataType == dtSLong || FDataType == dtIfd) value = static_cast<std::int32_t>(raw);
      text.append(digits, std::to_chars(digits, digits + sizeof digits, value).ptr);
    }
    return;
  }
  // A fraction's text has no character that needs quotes either.
  if (FElementCount == 1 && (FDataType == dtRational || FDataType == dtSRational) && FDataSize >= 8) {
    TTiffRational value;
    std::memcpy(&value, FData, sizeof value);
    Detail::AppendRationalText(text, value, FDataType == dtSRational);
    return;
  }
  if (FElementCount == 1) {
    text += ElementText(0);
    return;
  }
  // With a limit, elements are formatted until their joined text passes it (quotes only add).
  std::vector<std::string> items;
  items.reserve(std::min<std::size_t>(static_cast<std::size_t>(FElementCount), 64));
  std::size_t length = 0;
  for (std::int32_t i = 0; i < FElementCount && (i == 0 || length <= limit); ++i) {
    items.push_back(ElementText(i));
    length += items.back().size() + (i > 0 ? 1 : 0);
  }
  text += Zorp::Base::JoinCommaText(items);
}

std::string TExifTag::AsString() const {
  if (FAsStringCache.empty()) FAsStringCache = ComputeAsString();
  return FAsStringCache;
}

void TExifTag::AppendHex(std::string& text, std::size_t bytes) const {
  static constexpr auto Pairs = [] {
    constexpr char digits[] = "0123456789ABCDEF";
    std::array<char, 512> pairs{};
    for (std::size_t byte = 0; byte < 256; ++byte) {
      pairs[2 * byte] = digits[byte >> 4];
      pairs[2 * byte + 1] = digits[byte & 0x0F];
    }
    return pairs;
  }();
  bytes = std::min(bytes, FDataSize);
  const std::size_t start = text.size();
  text.resize(start + bytes * 2);
  char* out = text.data() + start;
  std::size_t i = 0;
  if constexpr (std::endian::native == std::endian::little) {
    // Four bytes at a time in one word: each byte's nibbles spread to two bytes (high nibble first in
    // the text), then each nibble n becomes '0' + n, plus 7 from 10 on ('A' follows '9' after 7).
    constexpr std::uint64_t Ones = 0x0101010101010101u, Nibbles = 0x000F000F000F000Fu;
    for (; i + 4 <= bytes; i += 4) {
      std::uint32_t four;
      std::memcpy(&four, FData + i, sizeof four);
      std::uint64_t spread = four;
      spread = (spread | spread << 16) & 0x0000FFFF0000FFFFu;
      spread = (spread | spread << 8) & 0x00FF00FF00FF00FFu;
      const std::uint64_t nibbles = (spread >> 4 & Nibbles) | (spread & Nibbles) << 8;
      const std::uint64_t letters = ((nibbles + 6 * Ones) >> 4) & Ones;
      const std::uint64_t digits = nibbles + '0' * Ones + 7 * letters;
      std::memcpy(out + 2 * i, &digits, sizeof digits);
    }
  }
  for (; i < bytes; ++i) std::memcpy(out + 2 * i, Pairs.data() + 2 * FData[i], 2);
}

void TExifTag::AppendAsString(std::string& text) const { AppendAsStringPrefix(text, std::string::npos); }

void TExifTag::AppendAsStringPrefix(std::string& text, std::size_t minBytes) const {
  if (!FAsStringCache.empty()) {
    text += FAsStringCache;
    return;
  }
  // Text values are never cut.
  AppendText(text, FDataType == dtAscii || IsWindowsText() ? std::string::npos : minBytes);
}

std::string TExifTag::AsStringPrefix(std::size_t minBytes) const {
  if (!FAsStringCache.empty() || FDataType == dtAscii || IsWindowsText()) return AsString();
  return ComputeAsString(minBytes);
}

std::string TExifTag::ElementAsString(std::int32_t index) const {
  if (index < 0 || index >= FElementCount) throw Zorp::Base::EListError(Format(SListIndexError, index));
  return ElementText(index);
}

std::vector<std::uint8_t> TExifTag::ParseText(std::string_view text, std::int32_t& count) const {
  using namespace Zorp::Base;
  const std::vector<std::string> items = SplitCommaText(text);
  count = Detail::CountFromSize(items.size());
  const std::uint32_t size = ElementSize();
  std::vector<std::uint8_t> bytes(items.size() * size, 0);
  auto put = [&](std::size_t index, const auto& value) {
    static_assert(std::is_trivially_copyable_v<std::decay_t<decltype(value)>>);
    if (sizeof value == size) std::memcpy(bytes.data() + index * size, &value, sizeof value);
  };
  auto ranged = [](std::int64_t value, std::int64_t low, std::int64_t high) {
    if (value < low || value > high) Detail::RaiseRangeError();
    return value;
  };
  for (std::size_t i = 0; i < items.size(); ++i) {
    const std::string& item = items[i];
    switch (FDataType) {
      case dtByte:
        put(i, static_cast<std::uint8_t>(ranged(StrToInt(item), 0, 255)));
        break;
      case dtSByte:
        put(i, static_cast<std::int8_t>(ranged(StrToInt(item), -128, 127)));
        break;
      case dtShort:
        put(i, static_cast<std::uint16_t>(ranged(StrToInt(item), 0, 65535)));
        break;
      case dtSShort:
        put(i, static_cast<std::int16_t>(ranged(StrToInt(item), -32768, 32767)));
        break;
      case dtLong:
        put(i, static_cast<std::uint32_t>(ranged(StrToInt64(item), 0, 4294967295LL)));
        break;
      case dtSLong:
      case dtIfd:
        put(i, StrToInt(item));
        break;
      case dtRational:
      case dtSRational: {
        TTiffRational value;
        const Detail::TFractionResult result = Detail::ParseFraction(item, FDataType == dtSRational, value);
        if (result == Detail::frOutOfRange) Detail::RaiseRangeError();
        if (result != Detail::frOK) throw EConvertError(Format(SInvalidFraction, item.c_str()));
        put(i, value);
        break;
      }
      case dtFloat: {
        const double value = StrToFloat(item, InvariantFormatSettings());
        // A finite value beyond the single range has no single form.
        if (std::isfinite(value) && std::fabs(value) > FLT_MAX) Detail::RaiseRangeError();
        put(i, static_cast<float>(value));
        break;
      }
      case dtDouble:
        put(i, StrToFloat(item, InvariantFormatSettings()));
        break;
      case dtAscii:
      case dtUndefined:
        break;  // handled by SetAsString itself
    }
  }
  return bytes;
}

void TExifTag::SetAsString(std::string_view text) {
  if (text.empty()) {
    UpdateData(FDataType, 0, nullptr);
    FAsStringCache.clear();
    return;
  }
  if (FDataType == dtAscii) {
    if (FSection != nullptr && FSection->Owner() != nullptr && FSection->Owner()->EnforceASCII() && !IsAsciiText(text))
      throw ENotOnlyASCIIError(STagCanContainOnlyASCII);
    std::vector<std::uint8_t> bytes(text.begin(), text.end());
    bytes.push_back(0);
    UpdateData(dtAscii, Detail::CountFromSize(bytes.size()), bytes.data());
  } else if (FDataType == dtUndefined) {
    // Two hex digits per byte; decoding stops at the first pair that is not hexadecimal and the
    // bytes after it stay zero.
    std::vector<std::uint8_t> bytes(text.size() / 2, 0);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
      const int high = Detail::HexDigit(text[2 * i]), low = Detail::HexDigit(text[2 * i + 1]);
      if (high < 0 || low < 0) break;
      bytes[i] = static_cast<std::uint8_t>(high << 4 | low);
    }
    UpdateData(dtUndefined, Detail::CountFromSize(bytes.size()), std::span<const std::uint8_t>(bytes));
  } else if (IsWindowsText()) {
    std::vector<std::uint8_t> bytes = Zorp::Base::Utf8ToUtf16LE(text);
    bytes.push_back(0);
    bytes.push_back(0);
    UpdateData(dtByte, Detail::CountFromSize(bytes.size()), bytes.data());
  } else {
    std::int32_t count = 0;
    const std::vector<std::uint8_t> bytes = ParseText(text, count);
    UpdateData(FDataType, count, std::span<const std::uint8_t>(bytes));
  }
  // The cache was cleared by the change: AsString shows what was stored, never the text as given.
}

// ---------------------------------------------------------------------------------------------------
// Tests and writing

bool TExifTag::IsPadding() const {
  return FID == ttPadding && FDataType == dtUndefined && FElementCount > 1 && FDataSize >= 2 && FData[0] == 0x1C &&
         FData[1] == 0xEA;
}

bool TExifTag::IsWindowsText() const {
  return FDataType == dtByte && FSection != nullptr && FSection->Kind() == skPrimary && FID >= ttXPTitle &&
         FID <= ttXPSubject;
}

void TExifTag::WriteEntry(Zorp::Base::TStream& stream, TByteOrder byteOrder, std::uint32_t valueOffset) const {
  std::uint8_t entry[12] = {};
  PutWord(entry, byteOrder, FID);
  PutWord(entry + 2, byteOrder, static_cast<std::uint16_t>(FDataType));
  PutLongWord(entry + 4, byteOrder, static_cast<std::uint32_t>(FElementCount));
  std::uint8_t* field = entry + 8;
  if (FDataSize > 4) {
    PutLongWord(field, byteOrder, valueOffset);
  } else {
    // The value itself, left-aligned; the rest of the field stays zero.
    switch (ElementSize()) {
      case 1:
        if (FDataSize != 0) std::memcpy(field, FData, FDataSize);
        break;
      case 2:
        for (std::size_t i = 0; i + 2 <= FDataSize; i += 2)
          PutWord(field + i, byteOrder, static_cast<std::uint16_t>(FData[i] | FData[i + 1] << 8));
        break;
      case 4:
        if (FDataSize == 4) PutLongWord(field, byteOrder, ElementAsUInt32(0));
        break;
      default:
        break;
    }
  }
  stream.WriteBuffer(entry, sizeof entry);
}

void TExifTag::WriteReferencedData(Zorp::Base::TStream& stream, TByteOrder byteOrder) const {
  if (FDataSize <= 4) return;
  std::vector<std::uint8_t> bytes(FDataSize, 0);
  const std::uint32_t size = ElementSize();
  if (FDataType == dtDouble) {
    for (std::size_t i = 0; i + 8 <= FDataSize; i += 8) {
      std::uint64_t value;
      std::memcpy(&value, FData + i, 8);
      PutInt64(bytes.data() + i, byteOrder, value);
    }
  } else if (size == 1) {
    bytes.assign(FData, FData + FDataSize);
  } else if (size == 2) {
    for (std::size_t i = 0; i + 2 <= FDataSize; i += 2)
      PutWord(bytes.data() + i, byteOrder, static_cast<std::uint16_t>(FData[i] | FData[i + 1] << 8));
  } else {
    // 4- and 8-byte types as consecutive 32-bit words: a fraction writes its numerator, then its denominator.
    for (std::size_t i = 0; i + 4 <= FDataSize; i += 4) {
      std::uint32_t value;
      std::memcpy(&value, FData + i, 4);
      PutLongWord(bytes.data() + i, byteOrder, value);
    }
  }
  stream.WriteBuffer(bytes.data(), static_cast<std::int64_t>(bytes.size()));
}

// ---------------------------------------------------------------------------------------------------
// Unit routines

bool IsAsciiText(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 128; });
}

std::string RationalToText(const TTiffRational& value, bool isSigned) {
  std::string text;
  Detail::AppendRationalText(text, value, isSigned);
  return text;
}

bool TextToRational(std::string_view text, TTiffRational& value, bool isSigned) {
  value = {};
  TTiffRational parsed;
  if (Detail::ParseFraction(text, isSigned, parsed) != Detail::frOK) return false;
  value = parsed;
  return true;
}

std::string DateTimeToExifText(Zorp::Base::TDateTime value) {
  if (value == 0 || !std::isfinite(value)) return std::string(19, ' ');
  const Zorp::Base::TDateTimeParts parts = Zorp::Base::DecodeDateTime(value);
  return Format("%.4d:%.2d:%.2d %.2d:%.2d:%.2d", parts.Year, parts.Month, parts.Day, parts.Hour, parts.Minute,
                parts.Second);
}

bool ExifTextToDateTime(std::string_view text, Zorp::Base::TDateTime& value) {
  if (text.size() != 19 || text[4] != ':' || text[7] != ':') return false;
  int parts[6];
  static constexpr std::size_t Starts[6] = {0, 5, 8, 11, 14, 17};
  for (int i = 0; i < 6; ++i) {
    const std::size_t length = i == 0 ? 4 : 2;
    if (!Zorp::Base::TryStrToInt(text.substr(Starts[i], length), parts[i])) return false;
  }
  Zorp::Base::TDateTime result;
  if (!Zorp::Base::TryEncodeDateTime(parts[0], parts[1], parts[2], parts[3], parts[4], parts[5], 0, result))
    return false;
  value = result;
  return true;
}

std::string_view ShownAsciiText(std::string_view text) {
  text = text.substr(0, text.find('\0'));
  const std::size_t end = text.find_last_not_of(' ');
  return text.substr(0, end == std::string_view::npos ? 0 : end + 1);
}

std::string_view WithoutDateTimePadding(std::string_view text) {
  constexpr std::size_t DateTimeLength = 19;
  if (text.size() > DateTimeLength && text.find_first_not_of(std::string_view(" \0", 2), DateTimeLength) == std::string_view::npos)
    return text.substr(0, DateTimeLength);
  return text;
}

std::string MillisecondsToSubSecText(Zorp::Base::TDateTime value) {
  if (!std::isfinite(value)) return "000";
  return Format("%.3d", Zorp::Base::DecodeDateTime(value).Millisecond);
}

bool TryGetGPSTagName(TExifTagID id, std::string& name) {
  static constexpr struct {
    TExifTagID ID;
    const char* Name;
  } Names[] = {
      {0, "GPSVersionID"},    {2, "GPSLatitude"},      {4, "GPSLongitude"},        {5, "GPSAltitudeRef"},
      {6, "GPSAltitude"},     {7, "GPSTimeStamp"},     {8, "GPSSatellites"},       {9, "GPSStatus"},
      {10, "GPSMeasureMode"}, {11, "GPSDOP"},          {12, "GPSSpeedRef"},        {13, "GPSSpeed"},
      {14, "GPSTrackRef"},    {15, "GPSTrack"},        {16, "GPSImgDirectionRef"}, {17, "GPSImgDirection"},
      {18, "GPSMapDatum"},    {20, "GPSDestLatitude"}, {22, "GPSDestLongitude"},   {23, "GPSDestBearingRef"},
      {24, "GPSDestBearing"}, {26, "GPSDestDistance"}, {30, "GPSDifferential"},
  };
  for (const auto& entry : Names) {
    if (entry.ID == id) {
      name = entry.Name;
      return true;
    }
  }
  name.clear();
  return false;
}

std::string GetGPSTagName(TExifTagID id) {
  std::string name;
  TryGetGPSTagName(id, name);
  return name;
}

}  // namespace Zorp::Exif
