#pragma once
// TDateTime: days since 1899-12-30 as a double (0 = no date); the fraction is the time of day.
// Before 1899-12-30 the whole part is negative and the fraction still adds time (-1.25 = 1899-12-29 06:00).

#include <cstdint>
#include <string>
#include <string_view>

#include "zorp/base/FormatSettings.h"

namespace Zorp::Base {

using TDateTime = double;

inline constexpr double MSecsPerDay = 86400000.0;

bool IsValidDate(int year, int month, int day);
bool IsValidTime(int hour, int minute, int second, int millisecond);

bool TryEncodeDate(int year, int month, int day, TDateTime& value);
bool TryEncodeTime(int hour, int minute, int second, int millisecond, TDateTime& value);
bool TryEncodeDateTime(int year, int month, int day, int hour, int minute, int second, int millisecond,
                       TDateTime& value);
// The raising forms throw EConvertError for an invalid date or time.
TDateTime EncodeDate(int year, int month, int day);
TDateTime EncodeTime(int hour, int minute, int second, int millisecond);
TDateTime EncodeDateTime(int year, int month, int day, int hour, int minute, int second, int millisecond);

struct TDateTimeParts {
  int Year = 1899, Month = 12, Day = 30;
  int Hour = 0, Minute = 0, Second = 0, Millisecond = 0;
};
// Splits a value, rounding to the nearest millisecond. A value outside years 1..9999 (or NaN)
// gives all fields 0.
TDateTimeParts DecodeDateTime(TDateTime value);
void DecodeDate(TDateTime value, int& year, int& month, int& day);
void DecodeTime(TDateTime value, int& hour, int& minute, int& second, int& millisecond);

// Adds milliseconds in the platform's encoding (crossing midnight and zero correctly).
TDateTime IncMilliSecond(TDateTime value, std::int64_t milliseconds);

// Formats with date-time patterns (letters in either case): yyyy yy, mm m (always the month;
// minutes are nn n), mmm mmmm (English month names), dd d, ddd dddd (English day names), hh h,
// nn n, ss s, zzz z, "ddddd" (short date), "tt" (long time), "t" (hh:nn), "c" (short date, then a
// blank and the long time unless the time is exactly midnight), am/pm, a/p and ampm (these make
// h and hh a 12-hour clock), "/" and ":" (the settings' separators), 'quoted' and "quoted"
// literals; anything else is copied.
std::string FormatDateTime(std::string_view pattern, TDateTime value, const TFormatSettings& settings);
// Short date, a blank, long time ("ddddd tt").
std::string DateTimeToStr(TDateTime value, const TFormatSettings& settings);
inline std::string DateTimeToStr(TDateTime value) { return DateTimeToStr(value, FormatSettings()); }

// Parses text in the settings' short date format (the order of y, m and d in ShortDatePattern, the
// DateSeparator; a one- or two-digit year lies within 50 years of the current one), optionally
// followed by blanks and a time h:n[:s[.fraction]] with the TimeSeparator (the fraction after '.'
// or the DecimalSeparator, up to milliseconds) and an optional AM/PM. Surrounding blanks are
// ignored. Failures raise EConvertError "''%s'' is not a valid date and time".
bool TryStrToDateTime(std::string_view text, TDateTime& value, const TFormatSettings& settings);
TDateTime StrToDateTime(std::string_view text, const TFormatSettings& settings);

}  // namespace Zorp::Base
