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
// Splits a value, rounding to the nearest millisecond.
TDateTimeParts DecodeDateTime(TDateTime value);
void DecodeDate(TDateTime value, int& year, int& month, int& day);
void DecodeTime(TDateTime value, int& hour, int& minute, int& second, int& millisecond);

// Adds milliseconds in the platform's encoding (crossing midnight and zero correctly).
TDateTime IncMilliSecond(TDateTime value, std::int64_t milliseconds);

// Formats with Delphi-style patterns: yyyy yy mm m dd d hh h nn n ss s zzz z, "ddddd" (short date),
// "tt" (long time), "c" (short date + long time), "/" and ":" (the settings' separators),
// 'quoted' and "quoted" literals; anything else is copied.
std::string FormatDateTime(std::string_view pattern, TDateTime value, const TFormatSettings& settings);
// Short date, a blank, long time ("ddddd tt").
std::string DateTimeToStr(TDateTime value, const TFormatSettings& settings);
inline std::string DateTimeToStr(TDateTime value) { return DateTimeToStr(value, FormatSettings()); }

// Parses text in the settings' short date format, optionally followed by a blank and a time in the
// long time format (seconds and milliseconds optional). Failures raise EConvertError
// "''%s'' is not a valid date and time".
bool TryStrToDateTime(std::string_view text, TDateTime& value, const TFormatSettings& settings);
TDateTime StrToDateTime(std::string_view text, const TFormatSettings& settings);

}  // namespace Zorp::Base
