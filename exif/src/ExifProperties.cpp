// The container's named properties: each reads its tags through the section operations with a fixed
// default, and each writable one changes the tags and then mirrors the value into the XMP packet.

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>
#include <limits>
#include <span>
#include <string_view>
#include <vector>

#include "ExifTagsDetail.h"
#include "zorp/base/DateTime.h"
#include "zorp/base/Exceptions.h"
#include "zorp/base/TextEncoding.h"
#include "zorp/exif/Consts.h"
#include "zorp/exif/ExifData.h"
#include "zorp/exif/ExifValues.h"
#include "zorp/exif/TagIDs.h"
#include "zorp/exif/XMPDates.h"
#include "zorp/exif/XMPUtils.h"

namespace Zorp::Exif {

using Zorp::Base::TDateTime;

namespace {

// Where the ASCII text properties are mirrored, looked up by section and tag. A tag may have more
// than one mirror; they are updated in table order. The GPS texts take the GPS tag names instead.
// XMP names are case-sensitive; OldName is a wrong spelling of Name that earlier versions wrote.
struct TTextMirror {
  TExifSectionKind Kind;
  TExifTagID ID;
  TXMPNamespaceKind Schema;
  const char* Name;
  TXMPPropertyKind Shape;
  const char* OldName = nullptr;
};

constexpr TTextMirror AsciiMirrors[] = {
    {skPrimary, ttMake, xnTIFF, "Make", pkSimple},
    {skPrimary, ttModel, xnTIFF, "Model", pkSimple},
    {skPrimary, ttCopyright, xnDublinCore, "rights", pkLangAlternative},
    {skPrimary, ttImageDescription, xnDublinCore, "description", pkLangAlternative},
    {skPrimary, ttSoftware, xnXMPBasic, "CreatorTool", pkSimple, "creatortool"},
    {skPrimary, ttSoftware, xnTIFF, "Software", pkSimple},
    {skExif, ttImageUniqueID, xnExif, "ImageUniqueID", pkSimple},
    {skExif, ttRelatedSoundFile, xnExif, "RelatedSoundFile", pkSimple},
    {skExif, ttSpectralSensitivity, xnExif, "SpectralSensitivity", pkSimple},
};

constexpr TTextMirror WindowsMirrors[] = {
    {skPrimary, ttXPKeywords, xnDublinCore, "subject", pkBag},
    {skPrimary, ttXPKeywords, xnMicrosoftPhoto, "LastKeywordXMP", pkBag},
    {skPrimary, ttXPSubject, xnDublinCore, "description", pkLangAlternative},
    {skPrimary, ttXPTitle, xnDublinCore, "title", pkLangAlternative},
};

// The letters of the GPS reference types, by ordinal; the first member has none.
constexpr const char* GPSStatusLetters[] = {"", "A", "V"};
constexpr const char* GPSMeasureModeLetters[] = {"", "2", "3"};
constexpr const char* GPSSpeedRefLetters[] = {"", "K", "M", "N"};
constexpr const char* GPSDirectionRefLetters[] = {"", "T", "M"};
constexpr const char* GPSDistanceRefLetters[] = {"", "K", "M", "N"};

template <typename E, std::size_t N>
E ReadGPSLetter(const TExifSection& gps, TExifTagID id, const char* const (&letters)[N]) {
  const std::string text = gps.GetStringValue(id);
  if (text.empty()) return static_cast<E>(0);
  const char letter = Zorp::Base::UpperAscii(text[0]);
  for (std::size_t i = 1; i < N; ++i)
    if (letters[i][0] == letter) return static_cast<E>(i);
  return static_cast<E>(0);
}

// The star rating's texts in the two XMP schemas.
constexpr const char* MicrosoftPhotoRatings[] = {"", "1", "25", "50", "75", "99"};
constexpr const char* XMPBasicRatings[] = {"", "1", "2", "3", "4", "5"};

constexpr char UnicodeCommentHeader[8] = {'U', 'N', 'I', 'C', 'O', 'D', 'E', '\0'};
constexpr char AsciiCommentHeader[8] = {'A', 'S', 'C', 'I', 'I', '\0', '\0', '\0'};

// Four digits, or two, at text[start..start+length) as a number; false for anything else.
bool TryReadDigits(std::string_view text, std::size_t start, std::size_t length, int& value) {
  value = 0;
  for (std::size_t i = start; i < start + length; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    value = value * 10 + (text[i] - '0');
  }
  return true;
}

// A property under the mirror's old name takes the right one, so that the update finds it under
// every policy; beside a correctly named property it is a stale copy and goes.
void RenameOldMirror(TXMPPacket& packet, const TTextMirror& mirror) {
  TXMPSchema* schema;
  TXMPProperty* property;
  if (mirror.OldName == nullptr || !packet.FindSchema(mirror.Schema, schema) ||
      !schema->FindProperty(mirror.OldName, property))
    return;
  TXMPProperty* current;
  if (schema->FindProperty(mirror.Name, current))
    schema->RemoveProperty(mirror.OldName);
  else
    property->SetName(mirror.Name);
}

// The zone of an Exif offset tag ("+hh:mm" or "-hh:mm"); empty when the tag is missing or malformed.
std::string OffsetTimeText(const TExifSection& exif, TExifTagID id) {
  const std::string text = exif.GetStringValue(id);
  int hours = 0, minutes = 0;
  if (text.size() != 6 || (text[0] != '+' && text[0] != '-') || text[3] != ':' || !TryReadDigits(text, 1, 2, hours) ||
      !TryReadDigits(text, 4, 2, minutes) || hours > 23 || minutes > 59)
    return {};
  return text;
}

}  // namespace

// ---------------------------------------------------------------------------------------------------
// Text properties

std::string TCustomExifData::GetAsciiValue(TExifSectionKind kind, TExifTagID id) const {
  return PeekSection(kind).GetStringValue(id);
}

void TCustomExifData::SetAsciiValue(TExifSectionKind kind, TExifTagID id, const std::string& value) {
  TXMPPacket& packet = XMPPacket();
  std::string gpsName;
  const bool mirrored =
      kind == skGps ? TryGetGPSTagName(id, gpsName)
                    : std::any_of(std::begin(AsciiMirrors), std::end(AsciiMirrors),
                                  [&](const TTextMirror& mirror) { return mirror.Kind == kind && mirror.ID == id; });
  // A value the tag or the XMP mirror would refuse changes neither.
  Sections(kind).CheckStringValue(value);
  if (mirrored) packet.CheckUpdateText(value);
  Sections(kind).SetStringValue(id, value);
  if (kind == skGps) {
    if (mirrored) packet.UpdateProperty(xnExif, gpsName, value);
    return;
  }
  if (kind == skPrimary && id == ttImageDescription && value.empty()) {
    // The Windows subject is mirrored into the same XMP description; while it is there, clearing the
    // ASCII description leaves the XMP text alone.
    if (packet.WritePolicy() == wpRemove || !PeekSection(skPrimary).Find(ttXPSubject))
      packet.RemoveProperty(xnDublinCore, "description");
    return;
  }
  for (const TTextMirror& mirror : AsciiMirrors) {
    if (mirror.Kind != kind || mirror.ID != id) continue;
    RenameOldMirror(packet, mirror);
    packet.UpdateProperty(mirror.Schema, mirror.Name, value, mirror.Shape);
  }
}

void TCustomExifData::SetWindowsValue(TExifTagID id, const std::string& value) {
  TXMPPacket& packet = XMPPacket();
  packet.CheckUpdateText(value);  // every Windows text is mirrored
  Sections(skPrimary).SetWindowsStringValue(id, value);
  for (const TTextMirror& mirror : WindowsMirrors)
    if (mirror.ID == id) packet.UpdateProperty(mirror.Schema, mirror.Name, value, mirror.Shape);
}

std::string TCustomExifData::CameraMake() const { return GetAsciiValue(skPrimary, ttMake); }
void TCustomExifData::SetCameraMake(const std::string& value) { SetAsciiValue(skPrimary, ttMake, value); }
std::string TCustomExifData::CameraModel() const { return GetAsciiValue(skPrimary, ttModel); }
void TCustomExifData::SetCameraModel(const std::string& value) { SetAsciiValue(skPrimary, ttModel, value); }
std::string TCustomExifData::Copyright() const { return GetAsciiValue(skPrimary, ttCopyright); }
void TCustomExifData::SetCopyright(const std::string& value) { SetAsciiValue(skPrimary, ttCopyright, value); }
std::string TCustomExifData::ImageDescription() const { return GetAsciiValue(skPrimary, ttImageDescription); }
void TCustomExifData::SetImageDescription(const std::string& value) {
  SetAsciiValue(skPrimary, ttImageDescription, value);
}
std::string TCustomExifData::Software() const { return GetAsciiValue(skPrimary, ttSoftware); }
void TCustomExifData::SetSoftware(const std::string& value) { SetAsciiValue(skPrimary, ttSoftware, value); }

std::string TCustomExifData::ImageUniqueID() const { return GetAsciiValue(skExif, ttImageUniqueID); }
void TCustomExifData::SetImageUniqueID(const std::string& value) { SetAsciiValue(skExif, ttImageUniqueID, value); }
std::string TCustomExifData::RelatedSoundFile() const { return GetAsciiValue(skExif, ttRelatedSoundFile); }
void TCustomExifData::SetRelatedSoundFile(const std::string& value) {
  SetAsciiValue(skExif, ttRelatedSoundFile, value);
}
std::string TCustomExifData::SpectralSensitivity() const { return GetAsciiValue(skExif, ttSpectralSensitivity); }
void TCustomExifData::SetSpectralSensitivity(const std::string& value) {
  SetAsciiValue(skExif, ttSpectralSensitivity, value);
}
std::string TCustomExifData::SubsecTime() const { return GetAsciiValue(skExif, ttSubsecTime); }
void TCustomExifData::SetSubsecTime(const std::string& value) { SetAsciiValue(skExif, ttSubsecTime, value); }
std::string TCustomExifData::SubsecTimeOriginal() const { return GetAsciiValue(skExif, ttSubsecTimeOriginal); }
void TCustomExifData::SetSubsecTimeOriginal(const std::string& value) {
  SetAsciiValue(skExif, ttSubsecTimeOriginal, value);
}
std::string TCustomExifData::SubsecTimeDigitized() const { return GetAsciiValue(skExif, ttSubsecTimeDigitized); }
void TCustomExifData::SetSubsecTimeDigitized(const std::string& value) {
  SetAsciiValue(skExif, ttSubsecTimeDigitized, value);
}
std::string TCustomExifData::InteropTypeName() const { return GetAsciiValue(skInterop, ttInteroperabilityIndex); }
void TCustomExifData::SetInteropTypeName(const std::string& value) {
  SetAsciiValue(skInterop, ttInteroperabilityIndex, value);
}

std::string TCustomExifData::GPSSatellites() const { return GetAsciiValue(skGps, ttGPSSatellites); }
void TCustomExifData::SetGPSSatellites(const std::string& value) { SetAsciiValue(skGps, ttGPSSatellites, value); }
std::string TCustomExifData::GPSMapDatum() const { return GetAsciiValue(skGps, ttGPSMapDatum); }
void TCustomExifData::SetGPSMapDatum(const std::string& value) { SetAsciiValue(skGps, ttGPSMapDatum, value); }
std::string TCustomExifData::GPSDateStamp() const { return GetAsciiValue(skGps, ttGPSDateStamp); }
void TCustomExifData::SetGPSDateStamp(const std::string& value) { SetAsciiValue(skGps, ttGPSDateStamp, value); }

std::string TCustomExifData::Keywords() const { return PeekSection(skPrimary).GetWindowsStringValue(ttXPKeywords); }
void TCustomExifData::SetKeywords(const std::string& value) { SetWindowsValue(ttXPKeywords, value); }
std::string TCustomExifData::Subject() const { return PeekSection(skPrimary).GetWindowsStringValue(ttXPSubject); }
void TCustomExifData::SetSubject(const std::string& value) { SetWindowsValue(ttXPSubject, value); }
std::string TCustomExifData::Title() const { return PeekSection(skPrimary).GetWindowsStringValue(ttXPTitle); }
void TCustomExifData::SetTitle(const std::string& value) { SetWindowsValue(ttXPTitle, value); }

std::string TCustomExifData::Author() const {
  const TExifSection& primary = PeekSection(skPrimary);
  std::string result = primary.GetWindowsStringValue(ttXPAuthor);
  if (result.empty()) result = primary.GetStringValue(ttArtist);
  return result;
}

void TCustomExifData::SetAuthor(const std::string& value) {
  // The tags first, each write that may be refused before any that cannot, and the XMP packet last:
  // a refusal leaves tags and packet as they were.
  TXMPPacket& packet = XMPPacket();
  packet.CheckUpdateText(value);
  WithinUpdate([&] {
    TExifSection& primary = Sections(skPrimary);
    if (value.empty()) {
      primary.Remove({ttArtist, ttXPAuthor});
    } else if (!IsAsciiText(value)) {
      // The Artist tag holds ASCII only: another name lives in the Windows tag alone.
      primary.SetWindowsStringValue(ttXPAuthor, value);
      primary.Remove(ttArtist);
    } else if (TExifTag* artist = primary.Find(ttArtist)) {
      std::vector<std::uint8_t> bytes(value.begin(), value.end());
      bytes.push_back(0);
      const TTiffDataType oldType = artist->DataType();
      const std::int32_t oldCount = artist->ElementCount();
      const std::vector<std::uint8_t> oldBytes(artist->Bytes().begin(), artist->Bytes().end());
      artist->UpdateData(dtAscii, static_cast<std::int32_t>(bytes.size()), std::span<const std::uint8_t>(bytes));
      try {
        if (primary.Find(ttXPAuthor)) primary.SetWindowsStringValue(ttXPAuthor, value);
      } catch (...) {
        // Back to the size it had, which its room allowed before.
        artist->UpdateData(oldType, oldCount, std::span<const std::uint8_t>(oldBytes));
        throw;
      }
    } else {
      primary.SetWindowsStringValue(ttXPAuthor, value);
    }
    packet.UpdateProperty(xnDublinCore, "creator", value, pkSequence);
    packet.UpdateProperty(xnTIFF, "Artist", value);
  });
}

std::string TCustomExifData::Comments() const {
  std::string result = PeekSection(skPrimary).GetWindowsStringValue(ttXPComment);
  if (!result.empty()) return result;
  const TExifTag* tag = PeekSection(skExif).Find(ttUserComment);
  if (!tag || (tag->DataType() != dtByte && tag->DataType() != dtUndefined) || tag->ElementCount() <= 9) return {};
  const std::span<const std::uint8_t> bytes =
      tag->Bytes().first(std::min<std::size_t>(tag->Bytes().size(), static_cast<std::size_t>(tag->ElementCount())));
  if (bytes.size() <= 8) return {};
  const std::span<const std::uint8_t> text = bytes.subspan(8);
  if (std::memcmp(bytes.data(), UnicodeCommentHeader, 8) == 0) {
    // UCS-2 in the byte order of the photo.
    const bool bigEndian = ByteOrder() == boBigEndian;
    std::vector<std::uint8_t> units(text.begin(), text.end() - static_cast<std::ptrdiff_t>(text.size() % 2));
    if (bigEndian)
      for (std::size_t i = 0; i + 1 < units.size(); i += 2) std::swap(units[i], units[i + 1]);
    std::size_t count = units.size() / 2;
    // Trailing blanks, control characters and NULs are padding.
    while (count > 0 && (units[count * 2 - 2] | (units[count * 2 - 1] << 8)) < 33) --count;
    return Zorp::Base::Utf16LEToUtf8(units.data(), count);
  }
  const bool ascii = std::memcmp(bytes.data(), AsciiCommentHeader, 8) == 0;
  const bool undefined = std::all_of(bytes.begin(), bytes.begin() + 8, [](std::uint8_t byte) { return byte == 0; });
  if (!ascii && !undefined) return {};
  // Text ends at its first NUL, as in every ASCII value; trailing blanks and control characters
  // are padding.
  std::size_t length = static_cast<std::size_t>(std::find(text.begin(), text.end(), 0) - text.begin());
  while (length > 0 && text[length - 1] < 33) --length;
  // A comment of undefined character code is shown when it is plain text; anything else may be
  // binary data of some writer.
  if (undefined && !std::all_of(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(length),
                                [](std::uint8_t byte) { return byte >= 32 && byte != 127; }))
    return {};
  return Zorp::Base::DecodeTagText(text.data(), length);
}

void TCustomExifData::SetComments(const std::string& value) {
  // As for the author: what may be refused first, the XMP packet last.
  TXMPPacket& packet = XMPPacket();
  packet.CheckUpdateText(value);
  WithinUpdate([&] {
    if (value.empty()) {
      Sections(skPrimary).Remove(ttXPComment);
      Sections(skExif).Remove(ttUserComment);
      packet.UpdateProperty(xnExif, "UserComment", value, pkLangAlternative);
      return;
    }
    // An existing user comment is rewritten in UTF-16 of the photo's byte order, as it is read;
    // it is never created here.
    TExifTag* tag = Sections(skExif).Find(ttUserComment);
    std::vector<std::uint8_t> bytes;
    if (tag) {
      bytes.assign(std::begin(UnicodeCommentHeader), std::end(UnicodeCommentHeader));
      std::vector<std::uint8_t> text = Zorp::Base::Utf8ToUtf16LE(value);
      if (ByteOrder() == boBigEndian)
        for (std::size_t i = 0; i + 1 < text.size(); i += 2) std::swap(text[i], text[i + 1]);
      bytes.insert(bytes.end(), text.begin(), text.end());
      if (bytes.size() > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max()))
        throw Zorp::Base::ERangeError(SRangeError);
    }
    Sections(skPrimary).SetWindowsStringValue(ttXPComment, value);
    if (tag && bytes.size() > tag->SourceDataSize() && !tag->Section()->IsExtendable()) {
      // The new comment does not fit the room of the old one, which is emptied instead.
      tag->SetElementCount(0);
    } else if (tag) {
      tag->UpdateData(dtByte, static_cast<std::int32_t>(bytes.size()), std::span<const std::uint8_t>(bytes));
    }
    packet.UpdateProperty(xnExif, "UserComment", value, pkLangAlternative);
  });
}

// ---------------------------------------------------------------------------------------------------
// Date-times

void TCustomExifData::SetDateTimeProperty(TExifSectionKind kind, TExifTagID id, TExifTagID subSecsID,
                                          TExifTagID offsetID, TDateTime value, bool keepSubSeconds) {
  TXMPPacket& packet = XMPPacket();  // a pending packet is read before anything changes
  if (keepSubSeconds && (value == 0 || !std::isfinite(value) || Zorp::Base::DecodeDateTime(value).Year < 1))
    throw Zorp::Base::EConvertError(SDateEncodeError);
  WithinUpdate([&] {
    if (keepSubSeconds)
      Sections(kind).SetStringValue(id, DateTimeToExifText(value));
    else
      Sections(kind).SetDateTimeValue(id, subSecsID, value);
    // Camera times are local: the XMP text names the photo's own offset, the zone the copy named
    // before, or none.
    const std::string offset = OffsetTimeText(PeekSection(skExif), offsetID);
    const TXMPWritePolicy policy = packet.WritePolicy();
    bool mirror = true;
    for (const TXMPDateCopy& copy : XMPDateCopies(id)) {
      // Only the mirror is created under wpUpdateOrAdd; the other copies follow where they are.
      packet.SetWritePolicy(!mirror && policy == wpUpdateOrAdd ? wpUpdateExistingOnly : policy);
      try {
        packet.UpdateLocalDateTimeProperty(copy.Schema, copy.Name, value, offset, keepSubSeconds);
      } catch (...) {
        packet.SetWritePolicy(policy);
        throw;
      }
      mirror = false;
    }
    packet.SetWritePolicy(policy);
  });
}

TDateTime TCustomExifData::DateTime() const {
  return PeekSection(skPrimary).GetDateTimeValue(ttDateTime, ttSubsecTime);
}
void TCustomExifData::SetDateTime(TDateTime value) {
  SetDateTimeProperty(skPrimary, ttDateTime, ttSubsecTime, ttOffsetTime, value);
}
TDateTime TCustomExifData::DateTimeOriginal() const {
  return PeekSection(skExif).GetDateTimeValue(ttDateTimeOriginal, ttSubsecTimeOriginal);
}
void TCustomExifData::SetDateTimeOriginal(TDateTime value) {
  SetDateTimeProperty(skExif, ttDateTimeOriginal, ttSubsecTimeOriginal, ttOffsetTimeOriginal, value);
}
TDateTime TCustomExifData::DateTimeDigitized() const {
  return PeekSection(skExif).GetDateTimeValue(ttDateTimeDigitized, ttSubsecTimeDigitized);
}
void TCustomExifData::SetDateTimeDigitized(TDateTime value) {
  SetDateTimeProperty(skExif, ttDateTimeDigitized, ttSubsecTimeDigitized, ttOffsetTimeDigitized, value);
}
void TCustomExifData::SetDateTimeKeepingSubSeconds(TExifTagID dateTimeID, TDateTime value) {
  switch (dateTimeID) {
    case ttDateTime:
      return SetDateTimeProperty(skPrimary, ttDateTime, ttSubsecTime, ttOffsetTime, value, true);
    case ttDateTimeOriginal:
      return SetDateTimeProperty(skExif, ttDateTimeOriginal, ttSubsecTimeOriginal, ttOffsetTimeOriginal, value, true);
    case ttDateTimeDigitized:
      return SetDateTimeProperty(skExif, ttDateTimeDigitized, ttSubsecTimeDigitized, ttOffsetTimeDigitized, value,
                                 true);
    default:
      throw Zorp::Base::EAssertionFailed(SAssertionFailed);
  }
}

bool TCustomExifData::TryGetGPSDate(TDateTime& date) const {
  // Some writers pad the stamp with NULs or blanks after its ten characters.
  const std::string stored = PeekSection(skGps).GetStringValue(ttGPSDateStamp);
  const std::string_view stamp = ShownAsciiText(stored);
  int year = 0, month = 0, day = 0;
  return stamp.size() == 10 && TryReadDigits(stamp, 0, 4, year) && TryReadDigits(stamp, 5, 2, month) &&
         TryReadDigits(stamp, 8, 2, day) && Zorp::Base::TryEncodeDate(year, month, day, date);
}

bool TCustomExifData::TryGetGPSTime(TDateTime& time) const {
  const TExifSection& gps = PeekSection(skGps);
  const TTiffRational hours = gps.GetFractionValue(ttGPSTimeStamp, 0),
                      minutes = gps.GetFractionValue(ttGPSTimeStamp, 1),
                      seconds = gps.GetFractionValue(ttGPSTimeStamp, 2);
  if (hours.Denominator == 0 || minutes.Denominator == 0 || seconds.Denominator == 0) return false;
  const std::uint32_t hour = hours.Numerator / hours.Denominator, minute = minutes.Numerator / minutes.Denominator,
                      second = seconds.Numerator / seconds.Denominator;
  return hour <= 23 && minute <= 59 && second <= 59 &&
         Zorp::Base::TryEncodeTime(static_cast<int>(hour), static_cast<int>(minute), static_cast<int>(second), 0, time);
}

TDateTime TCustomExifData::GPSDateTimeUTC() const {
  TDateTime date = 0, time = 0;
  if (!TryGetGPSDate(date)) date = 0;
  if (!TryGetGPSTime(time)) return date;
  if (date == 0) {
    date = std::trunc(DateTime());
    if (date == 0) date = std::trunc(DateTimeOriginal());
  }
  // Before 1899-12-30 the whole part is negative while the time still counts forwards.
  return date < 0 ? date - time : date + time;
}

void TCustomExifData::SetGPSDateTimeUTC(TDateTime value) {
  WithinUpdate([&] {
    if (value == 0) {
      Sections(skGps).Remove({ttGPSDateStamp, ttGPSTimeStamp});
      XMPPacket().RemoveProperty(xnExif, "GPSTimeStamp");
      return;
    }
    const Zorp::Base::TDateTimeParts parts = Zorp::Base::DecodeDateTime(value);
    SetGPSDateStamp(Zorp::Base::Format("%.4d:%.2d:%.2d", parts.Year, parts.Month, parts.Day));
    SetGPSTimeStamp(0, {static_cast<std::uint32_t>(parts.Hour), 1});
    SetGPSTimeStamp(1, {static_cast<std::uint32_t>(parts.Minute), 1});
    SetGPSTimeStamp(2, {static_cast<std::uint32_t>(parts.Second), 1});
    XMPPacket().UpdateDateTimeProperty(xnExif, "GPSTimeStamp", value, false);
  });
}

TTiffRational TCustomExifData::GPSTimeStamp(std::int32_t index) const {
  if (index < 0 || index > 2) return {};
  return PeekSection(skGps).GetFractionValue(ttGPSTimeStamp, index);
}

void TCustomExifData::SetGPSTimeStamp(std::int32_t index, const TTiffRational& value) {
  if (index < 0 || index > 2) throw Zorp::Base::ERangeError(SRangeError);
  Sections(skGps).SetFractionValue(ttGPSTimeStamp, index, value);
  // A partial time no longer matches the XMP date-time; inside a bracket the whole value is written.
  if (!Updating()) XMPPacket().RemoveProperty(xnExif, "GPSTimeStamp");
}

// ---------------------------------------------------------------------------------------------------
// Enumerated values

TTiffOrientation TCustomExifData::GetOrientationOf(TExifSectionKind kind) const {
  std::uint16_t value = 0;
  if (!PeekSection(kind).TryGetWordValue(ttOrientation, 0, value)) return toUndefined;
  const auto ordinal = static_cast<std::uint8_t>(value & 0xFF);
  if (FEnsureEnumsInRange && ordinal > toLeftBottom) return toUndefined;
  return static_cast<TTiffOrientation>(ordinal);
}

void TCustomExifData::SetOrientationOf(TExifSectionKind kind, TTiffOrientation value) {
  if (value == toUndefined)
    Sections(kind).Remove(ttOrientation);
  else
    Sections(kind).SetWordValue(ttOrientation, 0, value);
  if (kind == skPrimary)
    XMPPacket().UpdateProperty(xnTIFF, "Orientation", value == toUndefined ? std::string() : std::to_string(value));
}

TTiffOrientation TCustomExifData::Orientation() const { return GetOrientationOf(skPrimary); }
void TCustomExifData::SetOrientation(TTiffOrientation value) { SetOrientationOf(skPrimary, value); }
TTiffOrientation TCustomExifData::ThumbnailOrientation() const { return GetOrientationOf(skThumbnail); }
void TCustomExifData::SetThumbnailOrientation(TTiffOrientation value) { SetOrientationOf(skThumbnail, value); }

TWindowsStarRating TCustomExifData::UserRating() const {
  std::uint16_t value = 0;
  if (!PeekSection(skPrimary).TryGetWordValue(ttRating, 0, value)) return urUndefined;
  const auto ordinal = static_cast<std::uint8_t>(value & 0xFF);
  if (FEnsureEnumsInRange && ordinal > urFiveStars) return urUndefined;
  return static_cast<TWindowsStarRating>(ordinal);
}

void TCustomExifData::SetUserRating(TWindowsStarRating value) {
  if (value > urFiveStars) throw Zorp::Base::ERangeError(SRangeError);
  if (value == urUndefined)
    Sections(skPrimary).Remove(ttRating);
  else
    Sections(skPrimary).SetWordValue(ttRating, 0, value);
  TXMPPacket& packet = XMPPacket();
  packet.UpdateProperty(xnMicrosoftPhoto, "Rating", MicrosoftPhotoRatings[value]);
  packet.UpdateProperty(xnXMPBasic, "Rating", XMPBasicRatings[value]);
}

void TCustomExifData::SetEnumByte(TExifTagID id, const char* xmpName, std::uint8_t value) {
  if (value == 0) {
    Sections(skExif).Remove(id);
    XMPPacket().RemoveProperty(xnExif, xmpName);
    return;
  }
  Sections(skExif).SetArrayElement(id, dtUndefined, 0, &value);
  XMPPacket().UpdateProperty(xnExif, xmpName, static_cast<int>(value));
}

TExifFileSource TCustomExifData::FileSource() const {
  std::uint8_t value = 0;
  if (!PeekSection(skExif).TryGetByteValue(ttFileSource, 0, value)) return fsUnknown;
  if (FEnsureEnumsInRange && value > fsDigitalCamera) return fsUnknown;
  return static_cast<TExifFileSource>(value);
}

void TCustomExifData::SetFileSource(TExifFileSource value) { SetEnumByte(ttFileSource, "FileSource", value); }

TExifSceneType TCustomExifData::SceneType() const {
  std::uint8_t value = 0;
  if (!PeekSection(skExif).TryGetByteValue(ttSceneType, 0, value)) return esUnknown;
  if (FEnsureEnumsInRange && value > esDirectlyPhotographed) return esUnknown;
  return static_cast<TExifSceneType>(value);
}

void TCustomExifData::SetSceneType(TExifSceneType value) { SetEnumByte(ttSceneType, "SceneType", value); }

TGPSAltitudeRef TCustomExifData::GPSAltitudeRef() const {
  std::uint8_t value = 0;
  if (!PeekSection(skGps).TryGetByteValue(ttGPSAltitudeRef, 0, value)) return alTagMissing;
  if (FEnsureEnumsInRange && value > 1) return alTagMissing;
  return static_cast<TGPSAltitudeRef>(static_cast<std::uint8_t>(value + 1));
}

void TCustomExifData::SetGPSAltitudeRef(TGPSAltitudeRef value) {
  if (value == alTagMissing) {
    Sections(skGps).Remove(ttGPSAltitudeRef);
    XMPPacket().RemoveProperty(xnExif, "GPSAltitudeRef");
    return;
  }
  const auto stored = static_cast<std::uint8_t>(value - 1);
  Sections(skGps).SetByteValue(ttGPSAltitudeRef, 0, stored);
  XMPPacket().UpdateProperty(xnExif, "GPSAltitudeRef", static_cast<int>(stored));
}

void TCustomExifData::SetGPSLetter(TExifTagID id, const char* xmpName, const char* const* letters, std::size_t count,
                                   std::uint8_t value) {
  if (value >= count) throw Zorp::Base::ERangeError(SRangeError);
  Sections(skGps).SetStringValue(id, letters[value]);
  XMPPacket().UpdateProperty(xnExif, xmpName, letters[value]);
}

TGPSStatus TCustomExifData::GPSStatus() const {
  return ReadGPSLetter<TGPSStatus>(PeekSection(skGps), ttGPSStatus, GPSStatusLetters);
}
void TCustomExifData::SetGPSStatus(TGPSStatus value) {
  SetGPSLetter(ttGPSStatus, "GPSStatus", GPSStatusLetters, std::size(GPSStatusLetters), value);
}
TGPSMeasureMode TCustomExifData::GPSMeasureMode() const {
  return ReadGPSLetter<TGPSMeasureMode>(PeekSection(skGps), ttGPSMeasureMode, GPSMeasureModeLetters);
}
void TCustomExifData::SetGPSMeasureMode(TGPSMeasureMode value) {
  SetGPSLetter(ttGPSMeasureMode, "GPSMeasureMode", GPSMeasureModeLetters, std::size(GPSMeasureModeLetters), value);
}
TGPSSpeedRef TCustomExifData::GPSSpeedRef() const {
  return ReadGPSLetter<TGPSSpeedRef>(PeekSection(skGps), ttGPSSpeedRef, GPSSpeedRefLetters);
}
void TCustomExifData::SetGPSSpeedRef(TGPSSpeedRef value) {
  SetGPSLetter(ttGPSSpeedRef, "GPSSpeedRef", GPSSpeedRefLetters, std::size(GPSSpeedRefLetters), value);
}
TGPSDirectionRef TCustomExifData::GPSTrackRef() const {
  return ReadGPSLetter<TGPSDirectionRef>(PeekSection(skGps), ttGPSTrackRef, GPSDirectionRefLetters);
}
void TCustomExifData::SetGPSTrackRef(TGPSDirectionRef value) {
  SetGPSLetter(ttGPSTrackRef, "GPSTrackRef", GPSDirectionRefLetters, std::size(GPSDirectionRefLetters), value);
}
TGPSDirectionRef TCustomExifData::GPSImgDirectionRef() const {
  return ReadGPSLetter<TGPSDirectionRef>(PeekSection(skGps), ttGPSImgDirectionRef, GPSDirectionRefLetters);
}
void TCustomExifData::SetGPSImgDirectionRef(TGPSDirectionRef value) {
  SetGPSLetter(ttGPSImgDirectionRef, "GPSImgDirectionRef", GPSDirectionRefLetters, std::size(GPSDirectionRefLetters),
               value);
}
TGPSDirectionRef TCustomExifData::GPSDestBearingRef() const {
  return ReadGPSLetter<TGPSDirectionRef>(PeekSection(skGps), ttGPSDestBearingRef, GPSDirectionRefLetters);
}
void TCustomExifData::SetGPSDestBearingRef(TGPSDirectionRef value) {
  SetGPSLetter(ttGPSDestBearingRef, "GPSDestBearingRef", GPSDirectionRefLetters, std::size(GPSDirectionRefLetters),
               value);
}
TGPSDistanceRef TCustomExifData::GPSDestDistanceRef() const {
  return ReadGPSLetter<TGPSDistanceRef>(PeekSection(skGps), ttGPSDestDistanceRef, GPSDistanceRefLetters);
}
void TCustomExifData::SetGPSDestDistanceRef(TGPSDistanceRef value) {
  SetGPSLetter(ttGPSDestDistanceRef, "GPSDestDistanceRef", GPSDistanceRefLetters, std::size(GPSDistanceRefLetters),
               value);
}

// ---------------------------------------------------------------------------------------------------
// The typed value objects

void TCustomExifData::SetExifVersion(const TCustomExifVersion* value) { FExifVersion->Assign(value); }
void TCustomExifData::SetFlashPixVersion(const TCustomExifVersion* value) { FFlashPixVersion->Assign(value); }
void TCustomExifData::SetGPSVersion(const TCustomExifVersion* value) { FGPSVersion->Assign(value); }
void TCustomExifData::SetInteropVersion(const TCustomExifVersion* value) { FInteropVersion->Assign(value); }
void TCustomExifData::SetFlash(const TExifFlashInfo* value) { FFlash->Assign(value); }
void TCustomExifData::SetResolution(const TCustomExifResolution* value) { FResolution->Assign(value); }
void TCustomExifData::SetFocalPlaneResolution(const TCustomExifResolution* value) {
  FFocalPlaneResolution->Assign(value);
}
void TCustomExifData::SetThumbnailResolution(const TCustomExifResolution* value) {
  FThumbnailResolution->Assign(value);
}
void TCustomExifData::SetISOSpeedRatings(const TISOSpeedRatings* value) {
  if (value != FISOSpeedRatings.get()) FISOSpeedRatings->Assign(value);
}
void TCustomExifData::SetGPSLatitude(const TGPSLatitude* value) { FGPSLatitude->Assign(value); }
void TCustomExifData::SetGPSLongitude(const TGPSLongitude* value) { FGPSLongitude->Assign(value); }
void TCustomExifData::SetGPSDestLatitude(const TGPSLatitude* value) { FGPSDestLatitude->Assign(value); }
void TCustomExifData::SetGPSDestLongitude(const TGPSLongitude* value) { FGPSDestLongitude->Assign(value); }

// ---------------------------------------------------------------------------------------------------
// Read-only values and the pixel size

TTiffRational TCustomExifData::ExposureTime() const { return PeekSection(skExif).GetFractionValue(ttExposureTime, 0); }
TTiffRational TCustomExifData::FNumber() const { return PeekSection(skExif).GetFractionValue(ttFNumber, 0); }
TTiffRational TCustomExifData::CompressedBitsPerPixel() const {
  return PeekSection(skExif).GetFractionValue(ttCompressedBitsPerPixel, 0);
}
TTiffRational TCustomExifData::ApertureValue() const {
  return PeekSection(skExif).GetFractionValue(ttApertureValue, 0);
}
TTiffRational TCustomExifData::MaxApertureValue() const {
  return PeekSection(skExif).GetFractionValue(ttMaxApertureValue, 0);
}
TTiffRational TCustomExifData::SubjectDistance() const {
  return PeekSection(skExif).GetFractionValue(ttSubjectDistance, 0);
}
TTiffRational TCustomExifData::FocalLength() const { return PeekSection(skExif).GetFractionValue(ttFocalLength, 0); }
TTiffRational TCustomExifData::ExposureIndex() const {
  return PeekSection(skExif).GetFractionValue(ttExposureIndex, 0);
}
TTiffRational TCustomExifData::DigitalZoomRatio() const {
  return PeekSection(skExif).GetFractionValue(ttDigitalZoomRatio, 0);
}
TTiffRational TCustomExifData::BrightnessValue() const {
  return PeekSection(skExif).GetFractionValue(ttBrightnessValue, 0);
}
TTiffRational TCustomExifData::ExposureBiasValue() const {
  return PeekSection(skExif).GetFractionValue(ttExposureBiasValue, 0);
}

double TCustomExifData::ShutterSpeedMilliseconds() const {
  const TTiffRational value = PeekSection(skExif).GetFractionValue(ttShutterSpeedValue, 0);
  if (value.Denominator == 0) return 0;
  const double apex = static_cast<double>(static_cast<std::int32_t>(value.Numerator)) /
                      static_cast<double>(static_cast<std::int32_t>(value.Denominator));
  return 1000.0 / std::pow(2.0, apex);
}

std::uint16_t TCustomExifData::ColorSpace() const {
  std::uint16_t value = 0;
  if (!PeekSection(skExif).TryGetWordValue(ttColorSpace, 0, value)) return 0;
  return value;
}

std::int16_t TCustomExifData::GetRangedWord(TExifSectionKind kind, TExifTagID id, std::int32_t maxValue,
                                            std::int32_t modulus) const {
  std::uint16_t value = 0;
  if (!PeekSection(kind).TryGetWordValue(id, 0, value)) return -1;
  // The test runs on value + 1 wrapped to the type's width, so a stored 256 passes for a byte range.
  if (FEnsureEnumsInRange && (value + 1) % modulus > maxValue + 1) return -1;
  return static_cast<std::int16_t>(value);
}

std::int16_t TCustomExifData::ExposureProgram() const { return GetRangedWord(skExif, ttExposureProgram, 8); }
std::int16_t TCustomExifData::MeteringMode() const { return GetRangedWord(skExif, ttMeteringMode, 6); }
std::int16_t TCustomExifData::LightSource() const { return GetRangedWord(skExif, ttLightSource, 255, 65536); }
std::int16_t TCustomExifData::SensingMethod() const { return GetRangedWord(skExif, ttSensingMethod, 8); }
std::int16_t TCustomExifData::Rendering() const { return GetRangedWord(skExif, ttCustomRendered, 1); }
std::int16_t TCustomExifData::WhiteBalanceMode() const { return GetRangedWord(skExif, ttWhiteBalance, 1); }
std::int16_t TCustomExifData::SceneCaptureType() const { return GetRangedWord(skExif, ttSceneCaptureType, 3); }
std::int16_t TCustomExifData::GainControl() const { return GetRangedWord(skExif, ttGainControl, 4); }
std::int16_t TCustomExifData::SubjectDistanceRange() const { return GetRangedWord(skExif, ttSubjectDistanceRange, 3); }
std::int16_t TCustomExifData::GPSDifferential() const { return GetRangedWord(skGps, ttGPSDifferential, 1); }

TSmallPoint TCustomExifData::SubjectLocation() const {
  const TExifSection& exif = PeekSection(skExif);
  TSmallPoint result;
  if (!exif.TagExists(ttSubjectLocation, {dtShort, dtSShort}, 2)) return result;
  exif.TryGetWordValue(ttSubjectLocation, 0, result.X);
  exif.TryGetWordValue(ttSubjectLocation, 1, result.Y);
  return result;
}

std::int32_t TCustomExifData::FocalLengthIn35mmFilm() const {
  return PeekSection(skExif).GetWordValue(ttFocalLengthIn35mmFilm, 0);
}

void TCustomExifData::SetFocalLengthIn35mmFilm(std::int32_t value) {
  if (value & 0x00FF0000) {
    Sections(skExif).Remove(ttFocalLengthIn35mmFilm);
    XMPPacket().RemoveProperty(xnExif, "FocalLengthIn35mmFilm");
    return;
  }
  const auto word = static_cast<std::uint16_t>(value & 0xFFFF);
  Sections(skExif).SetWordValue(ttFocalLengthIn35mmFilm, 0, word);
  XMPPacket().UpdateProperty(xnExif, "FocalLengthIn35mmFilm", static_cast<int>(word));
}

void TCustomExifData::SetPixelDimension(TExifTagID id, const char* xmpName, const TOptionalLongWord& value) {
  TExifSection& exif = Sections(skExif);
  if (value.Missing) {
    exif.Remove(id);
    XMPPacket().RemoveProperty(xnExif, xmpName);
    return;
  }
  TExifTag* tag = exif.Find(id);
  if (Detail::PixelDimensionType(tag, value.Value) == dtShort)
    exif.SetWordValue(id, 0, static_cast<std::uint16_t>(value.Value));
  else if (tag)
    tag->UpdateData(dtLong, 1, &value.Value);
  else
    exif.SetLongWordValue(id, 0, value.Value);
  XMPPacket().UpdateProperty(xnExif, xmpName, std::to_string(value.Value));
}

TOptionalLongWord TCustomExifData::ExifImageWidth() const {
  return PeekSection(skExif).GetLongWordValue(ttPixelXDimension, 0);
}
void TCustomExifData::SetExifImageWidth(const TOptionalLongWord& value) {
  SetPixelDimension(ttPixelXDimension, "PixelXDimension", value);
}
TOptionalLongWord TCustomExifData::ExifImageHeight() const {
  return PeekSection(skExif).GetLongWordValue(ttPixelYDimension, 0);
}
void TCustomExifData::SetExifImageHeight(const TOptionalLongWord& value) {
  SetPixelDimension(ttPixelYDimension, "PixelYDimension", value);
}

TOptionalLongInt TCustomExifData::MakerNoteDataOffset() const {
  return PeekSection(skExif).GetLongIntValue(ttOffsetSchema, 0);
}

void TCustomExifData::SetMakerNoteDataOffset(const TOptionalLongInt& value) {
  if (value.Missing)
    Sections(skExif).Remove(ttOffsetSchema);
  else
    Sections(skExif).SetArrayElement(ttOffsetSchema, dtSLong, 0, &value.Value);
}

TTiffRational TCustomExifData::GPSAltitude() const { return PeekSection(skGps).GetFractionValue(ttGPSAltitude, 0); }
void TCustomExifData::SetGPSAltitude(const TTiffRational& value) {
  WithinUpdate([&] {
    // One RATIONAL, whatever an old tag held.
    while (Sections(skGps).Remove(ttGPSAltitude)) {
    }
    if (value.Denominator == 0) {
      XMPPacket().RemoveProperty(xnExif, "GPSAltitude");
      return;
    }
    Sections(skGps).SetFractionValue(ttGPSAltitude, 0, value);
    XMPPacket().UpdateProperty(xnExif, "GPSAltitude", RationalToText(value));
  });
}
TTiffRational TCustomExifData::GPSDOP() const { return PeekSection(skGps).GetFractionValue(ttGPSDOP, 0); }
TTiffRational TCustomExifData::GPSSpeed() const { return PeekSection(skGps).GetFractionValue(ttGPSSpeed, 0); }
TTiffRational TCustomExifData::GPSTrack() const { return PeekSection(skGps).GetFractionValue(ttGPSTrack, 0); }
TTiffRational TCustomExifData::GPSImgDirection() const {
  return PeekSection(skGps).GetFractionValue(ttGPSImgDirection, 0);
}
TTiffRational TCustomExifData::GPSDestBearing() const {
  return PeekSection(skGps).GetFractionValue(ttGPSDestBearing, 0);
}
TTiffRational TCustomExifData::GPSDestDistance() const {
  return PeekSection(skGps).GetFractionValue(ttGPSDestDistance, 0);
}

}  // namespace Zorp::Exif
