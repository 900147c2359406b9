#include "core/PropertySetters.h"

#include <cmath>
#include <optional>
#include <string_view>
#include <utility>

#include "core/EnumTexts.h"
#include "core/StandardListing.h"
#include "zorp/base/Exceptions.h"
#include "zorp/base/TextEncoding.h"
#include "zorp/exif/Consts.h"
#include "zorp/exif/ExifTags.h"
#include "zorp/exif/MWG.h"
#include "zorp/exif/TagIDs.h"
#include "zorp/exif/XMPNamespaces.h"

namespace Quorvane::Viewer {

using namespace Zorp::Exif;
using Zorp::Base::TDateTime;

namespace {

// Whether the typed date-time gives a fraction of a second: a point or decimal separator after the
// last time separator ("10:41:07.5"), or milliseconds that read as more than zero.
bool TypedSubSeconds(const std::string& text, TDateTime value, const Zorp::Base::TFormatSettings& settings) {
  if (Zorp::Base::DecodeDateTime(value).Millisecond != 0) return true;
  const std::size_t lastSeparator = text.rfind(settings.TimeSeparator);
  if (lastSeparator == std::string::npos) return false;
  const std::string_view seconds = std::string_view(text).substr(lastSeparator + 1);
  return seconds.find('.') != std::string_view::npos ||
         seconds.find(settings.DecimalSeparator) != std::string_view::npos;
}

// A reader of the fixed date-time forms; every read checks what is left.
class TDateTimeText {
 public:
  explicit TDateTimeText(std::string_view text) : FText(text) {}

  bool AtEnd() const { return FPos == FText.size(); }
  char Peek() const { return AtEnd() ? '\0' : FText[FPos]; }
  bool Skip(char c) {
    if (Peek() != c || AtEnd()) return false;
    ++FPos;
    return true;
  }
  // Exactly count decimal digits.
  bool Digits(std::size_t count, int& value) {
    if (count > FText.size() - FPos) return false;
    value = 0;
    for (std::size_t i = 0; i < count; ++i) {
      const char c = FText[FPos + i];
      if (c < '0' || c > '9') return false;
      value = value * 10 + (c - '0');
    }
    FPos += count;
    return true;
  }
  // One or more digits of a fraction, as milliseconds (digits after the third are dropped).
  bool Fraction(int& milliseconds) {
    std::size_t digits = 0;
    milliseconds = 0;
    for (; !AtEnd() && Peek() >= '0' && Peek() <= '9'; ++FPos, ++digits)
      if (digits < 3) milliseconds = milliseconds * 10 + (Peek() - '0');
    for (std::size_t i = digits; i < 3; ++i) milliseconds *= 10;
    return digits > 0;
  }

 private:
  std::string_view FText;
  std::size_t FPos = 0;
};

// "YYYY-MM-DD" or "YYYY:MM:DD", "T" or a blank, "HH:MM:SS", then an optional fraction after "." or
// "," and an optional zone "Z" or "+hh:mm"/"-hh:mm" (at most 14 hours, as real zones are).
bool ParseFixedDateTime(std::string_view text, TTypedDateTime& result) {
  TDateTimeText in(text);
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, millisecond = 0;
  if (!in.Digits(4, year)) return false;
  const char separator = in.Peek();
  if ((separator != '-' && separator != ':') || !in.Skip(separator) || !in.Digits(2, month) || !in.Skip(separator) ||
      !in.Digits(2, day) || !(in.Skip('T') || in.Skip(' ')) || !in.Digits(2, hour) || !in.Skip(':') ||
      !in.Digits(2, minute) || !in.Skip(':') || !in.Digits(2, second))
    return false;
  TTypedDateTime typed;
  if (in.Skip('.') || in.Skip(',')) {
    if (!in.Fraction(millisecond)) return false;
    typed.HasSubSeconds = true;
  }
  if (in.Skip('Z')) {
    typed.Offset = "+00:00";
  } else if (const char sign = in.Peek(); sign == '+' || sign == '-') {
    in.Skip(sign);
    int hours = 0, minutes = 0;
    if (!in.Digits(2, hours) || !in.Skip(':') || !in.Digits(2, minutes) || hours > 14 || minutes > 59) return false;
    typed.OffsetMinutes = (sign == '-' ? -1 : 1) * (hours * 60 + minutes);
    typed.Offset = Zorp::Base::Format("%c%.2d:%.2d", sign, hours, minutes);
  }
  if (!in.AtEnd() || !Zorp::Base::TryEncodeDateTime(year, month, day, hour, minute, second, millisecond, typed.Value))
    return false;
  result = std::move(typed);
  return true;
}

// Every save writes these from the image's own frame, so an edit could never last.
bool IsSizeRow(std::string_view key) { return key == "exif-image-width" || key == "exif-image-height"; }

// Text that goes into the ASCII tags as UTF-8 for the length of an edit, whatever the data's option.
class TUtf8TextScope {
 public:
  explicit TUtf8TextScope(TExifData& data) : FData(data), FEnforced(data.EnforceASCII()) {
    FData.SetEnforceASCII(false);
  }
  ~TUtf8TextScope() { FData.SetEnforceASCII(FEnforced); }
  TUtf8TextScope(const TUtf8TextScope&) = delete;
  TUtf8TextScope& operator=(const TUtf8TextScope&) = delete;

 private:
  TExifData& FData;
  bool FEnforced;
};

// The library keeps a name that is not ASCII in the Windows author tag only; a photo's Artist tag
// gets it too, as UTF-8, so that readers of Artist see the same name.
void SetAuthorKeepingArtist(TExifData& data, const std::string& value) {
  const bool hasArtist = data.PeekSection(skPrimary).Find(ttArtist) != nullptr;
  data.SetAuthor(value);
  if (hasArtist && !value.empty() && !IsAsciiText(value)) data.Sections(skPrimary).SetStringValue(ttArtist, value);
}

// The value of a row whose copies live in Exif, IPTC and XMP alike.
std::optional<TMWGValue> MWGValueOfKey(std::string_view key) {
  static constexpr std::pair<std::string_view, TMWGValue> Keys[] = {
      {"copyright", mvCopyright}, {"author", mvCreator}, {"image-description", mvDescription},
      {"keywords", mvKeywords},   {"title", mvTitle}};
  for (const auto& [name, value] : Keys)
    if (name == key) return value;
  return std::nullopt;
}

}  // namespace

const TPropertySetters& Setters() {
  static const TPropertySetters setters = [] {
    TPropertySetters s;
    auto text = [](void (TCustomExifData::*setter)(const std::string&)) {
      return [setter](TExifData& data, const std::string& value) { (data.*setter)(value); };
    };
    s.Text = {
        {"camera-make", text(&TCustomExifData::SetCameraMake)},
        {"camera-model", text(&TCustomExifData::SetCameraModel)},
        {"software", text(&TCustomExifData::SetSoftware)},
        {"image-description", text(&TCustomExifData::SetImageDescription)},
        {"copyright", text(&TCustomExifData::SetCopyright)},
        {"author", SetAuthorKeepingArtist},
        {"comments", text(&TCustomExifData::SetComments)},
        {"keywords", text(&TCustomExifData::SetKeywords)},
        {"subject", text(&TCustomExifData::SetSubject)},
        {"title", text(&TCustomExifData::SetTitle)},
        {"exif-version", [](TExifData& data, const std::string& value) { data.ExifVersion().SetAsString(value); }},
        {"orientation",
         [](TExifData& data, const std::string& value) { data.SetOrientation(StrToOrientation(value)); }}};
    s.DateTimes = {
        {"date-time", {ttDateTime, &TCustomExifData::SetDateTime, ttOffsetTime}},
        {"date-time-original", {ttDateTimeOriginal, &TCustomExifData::SetDateTimeOriginal, ttOffsetTimeOriginal}},
        {"date-time-digitised", {ttDateTimeDigitized, &TCustomExifData::SetDateTimeDigitized, ttOffsetTimeDigitized}}};
    s.UTCDateTimes = {{"gps-date-time-utc", &TCustomExifData::SetGPSDateTimeUTC}};
    return s;
  }();
  return setters;
}

bool HasPropertySetter(const std::string& keyOrCaption) {
  const std::string key(StandardRowKey(keyOrCaption));
  const TPropertySetters& setters = Setters();
  return setters.Text.contains(key) || setters.DateTimes.contains(key) || setters.UTCDateTimes.contains(key);
}

std::string NotEditableHint(const std::string& keyOrCaption) {
  return IsSizeRow(StandardRowKey(keyOrCaption)) ? "Set from the image's real size on every save; not editable"
                                                 : std::string();
}

std::string NotEditableMessage(const std::string& keyOrCaption) {
  if (!IsSizeRow(StandardRowKey(keyOrCaption))) return {};
  return "\"" + std::string(StandardRowCaption(keyOrCaption)) +
         "\" is set from the image's real size on every save and cannot be edited";
}

std::string UnstorableDateTimeMessage(TDateTime value) {
  // Only whole seconds reach the Exif date text; the sub-seconds live in a tag of their own that a
  // photo may lack, so a date whose seconds read as the zero date is refused whatever its fraction.
  if (!std::isfinite(value)) return {};
  const Zorp::Base::TDateTimeParts parts = Zorp::Base::DecodeDateTime(value);
  if (parts.Year != 1899 || parts.Month != 12 || parts.Day != 30 || parts.Hour != 0 || parts.Minute != 0 ||
      parts.Second != 0)
    return {};
  return "1899-12-30 00:00:00 cannot be stored; enter a date-time from 0001-01-01 00:00:00 to 9999-12-31 23:59:59 "
         "other than 1899-12-30 00:00:00";
}

bool ParseTypedDateTime(const std::string& text, TTypedDateTime& result, const Zorp::Base::TFormatSettings& settings) {
  if (ParseFixedDateTime(text, result)) return true;
  TTypedDateTime typed;
  if (!Zorp::Base::TryStrToDateTime(text, typed.Value, settings)) return false;
  typed.HasSubSeconds = TypedSubSeconds(text, typed.Value, settings);
  result = std::move(typed);
  return true;
}

void SetPropertyFromText(TExifData& data, const std::string& keyOrCaption, const std::string& value) {
  const std::string key(StandardRowKey(keyOrCaption));
  const TPropertySetters& setters = Setters();
  if (const auto text = setters.Text.find(key); text != setters.Text.end()) {
    // The text also goes into the XMP copies: what XML cannot hold is refused before any change.
    CheckXMPText(value);
    // The IPTC copy first: a value it cannot hold is refused before the Exif tags change.
    if (const auto copy = MWGValueOfKey(key)) UpdateIPTCCopy(data, *copy, value);
    const TUtf8TextScope utf8(data);
    text->second(data, value);
    return;
  }
  const auto local = setters.DateTimes.find(key);
  const auto utc = setters.UTCDateTimes.find(key);
  if (local == setters.DateTimes.end() && utc == setters.UTCDateTimes.end()) return;
  TTypedDateTime typed;
  if (!ParseTypedDateTime(value, typed, Zorp::Base::FormatSettings()))
    throw Zorp::Base::EConvertError(SInvalidDataFormat);
  TDateTime dateTime = typed.Value;
  // The GPS time is UTC: a time typed with its zone is moved there.
  if (utc != setters.UTCDateTimes.end() && typed.OffsetMinutes != 0) {
    dateTime = Zorp::Base::IncMilliSecond(dateTime, -std::int64_t{typed.OffsetMinutes} * 60000);
    if (Zorp::Base::DecodeDateTime(dateTime).Year < 1) throw Zorp::Base::EConvertError(SInvalidDataFormat);
  }
  if (const std::string refusal = UnstorableDateTimeMessage(dateTime); !refusal.empty())
    throw Zorp::Base::EConvertError(refusal);
  if (utc != setters.UTCDateTimes.end()) {
    (data.*(utc->second))(dateTime);
    return;
  }
  if (local->second.ID == ttDateTimeOriginal) UpdateIPTCCopy(data, mvDateTimeOriginal, DateTimeToExifText(dateTime));
  data.WithinUpdate([&] {
    // The zone goes first, so that the date's XMP copies name it too.
    if (!typed.Offset.empty()) data.Sections(skExif).SetStringValue(local->second.OffsetID, typed.Offset);
    if (typed.HasSubSeconds)
      (data.*(local->second.Setter))(dateTime);
    else
      data.SetDateTimeKeepingSubSeconds(local->second.ID, dateTime);
  });
}

}  // namespace Quorvane::Viewer
