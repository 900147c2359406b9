#pragma once
// Exif tags: the TIFF value types with their element sizes, one tag (ID, type, element count and an
// owned buffer of values in host order) with its text forms and its 12-byte IFD entry, and the
// text conversions shared by sections and typed values (rationals, Exif date-times, GPS tag names).

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "zorp/base/DateTime.h"
#include "zorp/base/Set.h"
#include "zorp/base/Streams.h"
#include "zorp/exif/StreamHelper.h"
#include "zorp/exif/TiffReader.h"

namespace Zorp::Exif {

// The TIFF/Exif value types, with their file type codes as ordinals.
enum TTiffDataType : std::uint16_t {
  dtByte = 1,        // unsigned 8-bit
  dtAscii = 2,       // 8-bit characters ending with a counted NUL
  dtShort = 3,       // unsigned 16-bit
  dtLong = 4,        // unsigned 32-bit
  dtRational = 5,    // unsigned numerator and denominator
  dtSByte = 6,       // signed 8-bit
  dtUndefined = 7,   // raw bytes
  dtSShort = 8,      // signed 16-bit
  dtSLong = 9,       // signed 32-bit
  dtSRational = 10,  // signed numerator and denominator
  dtFloat = 11,      // IEEE 754 single
  dtDouble = 12,     // IEEE 754 double
  dtIfd = 13         // offset of a sub-IFD, handled as signed 32-bit
};

using TTiffDataTypes = Zorp::Base::TSet<TTiffDataType, 16>;

// True for the codes 1..13.
constexpr bool IsValidTiffDataType(std::uint16_t code) { return code >= dtByte && code <= dtIfd; }

// Bytes per element of a type code: the one table of element sizes. 0 for a code outside 1..13.
constexpr std::uint32_t TiffDataTypeSize(std::uint16_t code) {
  constexpr std::uint32_t Sizes[13] = {1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8, 4};
  return IsValidTiffDataType(code) ? Sizes[code - 1] : 0;
}

// All thirteen types.
TTiffDataTypes AllTiffDataTypes();

using TExifTagID = std::uint16_t;

// A fraction as stored in RATIONAL and SRATIONAL tags; the signedness follows the tag's type.
// 0/0 is the missing fraction.
struct TTiffRational {
  std::uint32_t Numerator = 0;
  std::uint32_t Denominator = 0;

  bool IsMissing() const { return Numerator == 0 && Denominator == 0; }
  // The unsigned value as a number; 0 without a denominator.
  double Value() const { return Denominator == 0 ? 0.0 : static_cast<double>(Numerator) / Denominator; }
  bool operator==(const TTiffRational&) const = default;
};
static_assert(sizeof(TTiffRational) == 8);

enum TExifTagChangeKind : std::uint8_t {
  tcData = 0,      // bytes changed, size unchanged
  tcDataSize = 1,  // buffer size changed
  tcID = 2         // identifier changed
};

class TExifSection;

// One tag. It lives in at most one section, which owns it; deleting a tag that has a section takes it
// out of that section first, so freeing a tag is a valid way to remove it.
// A value of up to InlineDataSize bytes is kept in the tag itself. The tags a section loads share one
// allocation, which is freed with the last of them; deleting one of them is the same as any other.
class TExifTag {
 public:
  // A zero-filled tag; a negative count becomes 0. Sections pass themselves only from their add
  // operations, which also insert the tag into their list; any other caller passes nullptr.
  TExifTag(TExifSection* section, TExifTagID id, TTiffDataType dataType, std::int32_t elementCount);
  // A tag from an IFD entry as read by reader. An entry with an invalid type, a negative size or a
  // value that cannot be read becomes an empty dtUndefined tag with WellFormed() false, until
  // UpdateData gives it a value.
  static std::unique_ptr<TExifTag> CreateFromEntry(TExifSection* section, const TIfdEntryInfo& entry,
                                                   TTiffReader& reader);
  ~TExifTag();
  TExifTag(const TExifTag&) = delete;
  TExifTag& operator=(const TExifTag&) = delete;
  // A tag made by new and one loaded by a section are freed alike: in front of each tag lies the
  // allocation it shares, or nullptr.
  static void* operator new(std::size_t size);
  static void operator delete(void* tag) noexcept;

  // Values of at most this many bytes live in the tag, without an allocation of their own.
  static constexpr std::size_t InlineDataSize = 16;

  // Copies type, count and bytes (and the ID when the tags are in different sections); nullptr
  // empties the value.
  void Assign(const TExifTag* source);

  TExifTagID ID() const { return FID; }
  TTiffDataType DataType() const { return FDataType; }
  std::int32_t ElementCount() const { return FElementCount; }
  // The value bytes in host order (nullptr when empty).
  const std::uint8_t* Data() const { return FDataSize == 0 ? nullptr : FData; }
  std::span<const std::uint8_t> Bytes() const { return {Data(), FDataSize}; }
  std::int64_t DataSize() const { return static_cast<std::int64_t>(FDataSize); }
  std::uint32_t ElementSize() const { return TiffDataTypeSize(FDataType); }
  std::int64_t SourceDataOffset() const { return FSourceDataOffset; }
  std::uint32_t SourceDataSize() const { return FSourceDataSize; }
  bool WellFormed() const { return FWellFormed; }
  // The size of a value that lies behind the data the tag was read from (a MakerNote's preview
  // stored after the image): the tag holds no bytes but its header is sound. 0 otherwise.
  std::int64_t SizeBehindData() const { return FSizeBehindData; }
  TExifSection* Section() const { return FSection; }

  // Changing the ID, type or count goes through the section, which may refuse by raising.
  void SetID(TExifTagID newID);
  void SetDataType(TTiffDataType newDataType);
  void SetElementCount(std::int32_t newCount);

  // The text of the whole value, cached until the next change. ASCII text ends before a final NUL;
  // a value without one keeps all its characters.
  std::string AsString() const;
  // AsString, or a prefix of it longer than minBytes when it is longer: a long hex or number text
  // is formatted only as far as needed (such texts are ASCII). Not cached.
  std::string AsStringPrefix(std::size_t minBytes) const;
  // Appends AsString() to text; a hex text is written in place, without a string of its own.
  void AppendAsString(std::string& text) const;
  // Appends AsStringPrefix(minBytes) to text, formatted in place where the text allows. Not cached.
  void AppendAsStringPrefix(std::string& text, std::size_t minBytes) const;
  // Parses text by the tag's type. A text that does not convert raises (EConvertError, or ERangeError
  // for a number outside the type) and the tag keeps its value. Afterwards AsString is the text of
  // the stored value, which may differ in form from the text given ("007" reads back as "7").
  void SetAsString(std::string_view text);
  // The text of one element; an index outside the elements raises EListError.
  std::string ElementAsString(std::int32_t index) const;
  // Element index as an unsigned 32-bit value read from its own width (1, 2 or 4 bytes: integer
  // types), zero-extended; 0 when there is no such element.
  std::uint32_t ElementAsUInt32(std::int32_t index) const;

  // The padding tag 0xEA1C that reserves room in a file.
  bool IsPadding() const;
  // BYTE tags 0x9C9B..0x9C9F of the primary directory hold UTF-16LE text.
  bool IsWindowsText() const;

  // The one primitive that changes type, count and bytes. newData, when given, holds
  // newElementCount x element size bytes; without it integer values are converted.
  void UpdateData(TTiffDataType newDataType, std::int32_t newElementCount, const void* newData);
  // The same with the new bytes as a span, which must hold the whole new value.
  void UpdateData(TTiffDataType newDataType, std::int32_t newElementCount, std::span<const std::uint8_t> newData);
  // Converts the value to dataType with at least index + 1 elements (integers keep their values) and
  // sets element index from value, which holds one element in host order. Setting the value an
  // element already has is no change.
  void SetElement(TTiffDataType dataType, std::int32_t index, const void* value);
  // Replaces the bytes, keeping type and count; buffer holds DataSize() bytes.
  void SetRawData(const void* buffer);
  // The same from a span, which must hold DataSize() bytes.
  void SetRawData(std::span<const std::uint8_t> bytes);

  // Announces a planned change to the section (the veto point) and a done change to the section.
  void Changing(TExifTagID newID, TTiffDataType newDataType, std::int32_t newElementCount, bool withNewData);
  void Changed(TExifTagChangeKind kind);

  // Writes the 12-byte IFD entry; valueOffset is written when the value does not fit 4 bytes.
  void WriteEntry(Zorp::Base::TStream& stream, TByteOrder byteOrder, std::uint32_t valueOffset) const;
  // Writes the value that an entry refers to (nothing when it fits the entry).
  void WriteReferencedData(Zorp::Base::TStream& stream, TByteOrder byteOrder) const;

 private:
  friend class TExifSection;
  struct TBlock;
  TExifTag() = default;

  // The tags of entries, in their order, appended to tags; they share one allocation.
  static void CreateFromEntries(TExifSection* section, std::span<const TIfdEntryInfo> entries, TTiffReader& reader,
                                std::vector<std::unique_ptr<TExifTag>>& tags);
  // Reads the entry's value into this new, empty tag.
  void ReadEntry(const TIfdEntryInfo& entry, TTiffReader& reader);

  std::string ElementText(std::int32_t index) const;
  std::string ComputeAsString(std::size_t limit = static_cast<std::size_t>(-1)) const;
  // Appends the text of the value; a limit formats a hex or number text only until it passes limit.
  void AppendText(std::string& text, std::size_t limit) const;
  void AppendHex(std::string& text, std::size_t bytes) const;
  std::vector<std::uint8_t> ParseText(std::string_view text, std::int32_t& count) const;

  mutable std::string FAsStringCache;
  std::uint8_t* FData = FInlineData;  // FInlineData or FHeapData
  std::size_t FDataSize = 0;
  std::unique_ptr<std::uint8_t[]> FHeapData;
  TTiffDataType FDataType = dtUndefined;
  std::int32_t FElementCount = 0;
  TExifTagID FID = 0;
  std::int64_t FSourceDataOffset = 0;
  std::uint32_t FSourceDataSize = 0;
  bool FWellFormed = true;
  std::int64_t FSizeBehindData = 0;
  TExifSection* FSection = nullptr;
  std::uint8_t FInlineData[InlineDataSize];  // only the first FDataSize bytes are set
};

// True when every byte of text is below 128.
bool IsAsciiText(std::string_view text);

// "n/d", or "n" for denominator 1, both parts read as RATIONAL (unsigned) or SRATIONAL (signed);
// empty for denominator 0.
std::string RationalToText(const TTiffRational& value, bool isSigned = false);
// "n/d" or "n" (denominator 1). Unsigned, each part is a decimal in 0..4294967295; signed, each part
// lies in -2147483648..2147483647 and may carry a sign, a negative denominator moving its sign to the
// numerator where both can be negated ("1/-3" gives -1/3). On failure value becomes 0/0 and the
// result is false. Never raises.
bool TextToRational(std::string_view text, TTiffRational& value, bool isSigned = false);

// "yyyy:mm:dd hh:nn:ss", or 19 blanks for 0.
std::string DateTimeToExifText(Zorp::Base::TDateTime value);
// Parses exactly "yyyy:mm:dd hh:nn:ss" into a valid date and time.
bool ExifTextToDateTime(std::string_view text, Zorp::Base::TDateTime& value);
// The text of an ASCII value as a person reads it: up to its first NUL, without trailing blanks.
// Cameras pad fixed-size fields with NULs (and what the buffer held before) or blanks.
std::string_view ShownAsciiText(std::string_view text);
// A stored date-time text without the NULs or blanks some cameras pad it with after its 19
// characters; any other text as it is.
std::string_view WithoutDateTimePadding(std::string_view text);
// The millisecond part of value as three digits ("005").
std::string MillisecondsToSubSecText(Zorp::Base::TDateTime value);

// Names of the GPS tags; empty (false) for an ID without one.
std::string GetGPSTagName(TExifTagID id);
bool TryGetGPSTagName(TExifTagID id, std::string& name);

}  // namespace Zorp::Exif
