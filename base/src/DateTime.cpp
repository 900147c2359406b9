#include "zorp/base/DateTime.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <limits>

#include "zorp/base/Exceptions.h"
#include "zorp/base/Messages.h"
#include "zorp/base/TextEncoding.h"

namespace Zorp::Base {

namespace {

using namespace std::chrono;

constexpr std::int64_t MSecsPerDayInt = 86400000;
constexpr sys_days Epoch = sys_days(year(1899) / December / 30);

// Values beyond this many days cannot be split into a 64-bit millisecond count safely; the
// calendar range (years 1..9999) lies far inside.
constexpr double MaxSplittableDays = 1e11;

// A value as whole days since 1899-12-30 (the calendar day) and milliseconds into that day,
// rounded to the nearest millisecond. Before 1899-12-30 the whole part is negative and the
// fraction still counts forward into the day, so the split is trunc and |fraction|.
bool SplitValue(TDateTime value, std::int64_t& day, std::int64_t& milliseconds) {
  if (!std::isfinite(value) || std::fabs(value) > MaxSplittableDays) return false;
  const double whole = std::trunc(value);
  day = static_cast<std::int64_t>(whole);
  milliseconds = std::llround(std::fabs(value - whole) * MSecsPerDay);
  if (milliseconds >= MSecsPerDayInt) {
    // Rounded up to midnight: that is the start of the next calendar day, whatever the sign.
    milliseconds -= MSecsPerDayInt;
    ++day;
  }
  return true;
}

TDateTime JoinValue(std::int64_t day, std::int64_t milliseconds) {
  const double time = static_cast<double>(milliseconds) / MSecsPerDay;
  return day >= 0 ? static_cast<double>(day) + time : static_cast<double>(day) - time;
}

std::int64_t FloorDiv(std::int64_t a, std::int64_t b) {
  const std::int64_t q = a / b;
  return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

year_month_day CalendarDay(std::int64_t day) { return year_month_day(Epoch + days(day)); }

// The calendar day with years 1..9999, or false.
bool TryCalendarDay(std::int64_t day, year_month_day& date) {
  static const std::int64_t first = (sys_days(year(1) / January / 1) - Epoch).count();
  static const std::int64_t last = (sys_days(year(9999) / December / 31) - Epoch).count();
  if (day < first || day > last) return false;
  date = CalendarDay(day);
  return true;
}

bool StartsWithNoCase(std::string_view text, std::size_t at, std::string_view prefix) {
  if (text.size() - at < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i)
    if (LowerAscii(text[at + i]) != prefix[i]) return false;
  return true;
}

// ---------------------------------------------------------------------------------------------
// Formatting

constexpr const char* ShortMonthNames[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                           "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
constexpr const char* LongMonthNames[] = {"January", "February", "March",     "April",   "May",      "June",
                                          "July",    "August",   "September", "October", "November", "December"};
constexpr const char* ShortDayNames[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr const char* LongDayNames[] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};

// Patterns that name other patterns (ddddd, tt, c) are followed this deep, so a settings pattern
// that names itself cannot recurse without end.
constexpr int MaxPatternDepth = 3;

struct TFormatContext {
  TDateTimeParts Parts;
  int WeekDay;  // 0 = Sunday
  bool HasTime;
  const TFormatSettings& Settings;
};

// Whether the pattern asks for a 12-hour clock (am/pm, a/p or ampm outside quotes).
bool HasAmPm(std::string_view pattern) {
  char quote = '\0';
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    const char c = pattern[i];
    if (quote != '\0') {
      if (c == quote) quote = '\0';
    } else if (c == '"' || c == '\'') {
      quote = c;
    } else if (StartsWithNoCase(pattern, i, "am/pm") || StartsWithNoCase(pattern, i, "a/p") ||
               StartsWithNoCase(pattern, i, "ampm")) {
      return true;
    }
  }
  return false;
}

void AppendNumber(std::string& out, int value, int width) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%0*d", width, value);
  out += buffer;
}

void AppendPattern(std::string& out, std::string_view pattern, const TFormatContext& context, int depth) {
  if (depth > MaxPatternDepth) return;
  const TDateTimeParts& p = context.Parts;
  const bool twelveHour = HasAmPm(pattern);
  std::size_t i = 0;
  while (i < pattern.size()) {
    const char c = pattern[i];
    const char lower = LowerAscii(c);
    std::size_t run = 1;
    while (i + run < pattern.size() && LowerAscii(pattern[i + run]) == lower) ++run;
    switch (lower) {
      case '"':
      case '\'': {
        const std::size_t close = pattern.find(c, i + 1);
        const std::size_t end = close == std::string_view::npos ? pattern.size() : close;
        out.append(pattern.substr(i + 1, end - i - 1));
        i = end == pattern.size() ? end : end + 1;
        continue;
      }
      case 'y':
        if (run <= 2)
          AppendNumber(out, p.Year % 100, 2);
        else
          AppendNumber(out, p.Year, 4);
        break;
      case 'm':
        if (run <= 2)
          AppendNumber(out, p.Month, static_cast<int>(run));
        else if (p.Month >= 1 && p.Month <= 12)
          out += (run == 3 ? ShortMonthNames : LongMonthNames)[p.Month - 1];
        break;
      case 'd':
        if (run <= 2)
          AppendNumber(out, p.Day, static_cast<int>(run));
        else if (run <= 4) {
          if (context.WeekDay >= 0) out += (run == 3 ? ShortDayNames : LongDayNames)[context.WeekDay];
        } else {
          AppendPattern(out, context.Settings.ShortDatePattern, context, depth + 1);
        }
        break;
      case 'h': {
        int hour = p.Hour;
        if (twelveHour) hour = hour % 12 == 0 ? 12 : hour % 12;
        AppendNumber(out, hour, run >= 2 ? 2 : 1);
        break;
      }
      case 'n':
        AppendNumber(out, p.Minute, run >= 2 ? 2 : 1);
        break;
      case 's':
        AppendNumber(out, p.Second, run >= 2 ? 2 : 1);
        break;
      case 'z':
        AppendNumber(out, p.Millisecond, run >= 2 ? 3 : 1);
        break;
      case 't':
        if (run >= 2) {
          AppendPattern(out, context.Settings.LongTimePattern, context, depth + 1);
        } else {
          std::string shortTime = "hh:nn";
          if (HasAmPm(context.Settings.LongTimePattern)) shortTime += " AM/PM";
          AppendPattern(out, shortTime, context, depth + 1);
        }
        break;
      case 'c':
        AppendPattern(out, context.Settings.ShortDatePattern, context, depth + 1);
        if (context.HasTime) {
          out += ' ';
          AppendPattern(out, context.Settings.LongTimePattern, context, depth + 1);
        }
        run = 1;
        break;
      case 'a': {
        const bool pm = p.Hour >= 12;
        if (StartsWithNoCase(pattern, i, "am/pm")) {
          const bool upper = c == 'A';
          out += pm ? (upper ? "PM" : "pm") : (upper ? "AM" : "am");
          run = 5;
        } else if (StartsWithNoCase(pattern, i, "a/p")) {
          out += pm ? (c == 'A' ? 'P' : 'p') : (c == 'A' ? 'A' : 'a');
          run = 3;
        } else if (StartsWithNoCase(pattern, i, "ampm")) {
          out += pm ? "PM" : "AM";
          run = 4;
        } else {
          out += c;
          run = 1;
        }
        break;
      }
      case '/':
        out += context.Settings.DateSeparator;
        run = 1;
        break;
      case ':':
        out += context.Settings.TimeSeparator;
        run = 1;
        break;
      default:
        out += c;
        run = 1;
        break;
    }
    i += run;
  }
}

// ---------------------------------------------------------------------------------------------
// Parsing

// A small cursor over the text to parse.
struct TScanner {
  std::string_view Text;
  std::size_t Pos = 0;

  bool AtEnd() const { return Pos >= Text.size(); }
  bool Take(char c) {
    if (AtEnd() || Text[Pos] != c) return false;
    ++Pos;
    return true;
  }
  // One to maxDigits decimal digits; the count read goes to digitCount.
  bool Number(int maxDigits, int& value, int* digitCount = nullptr) {
    int count = 0;
    value = 0;
    while (!AtEnd() && IsAsciiDigit(Text[Pos]) && count < maxDigits) {
      value = value * 10 + (Text[Pos] - '0');
      ++Pos;
      ++count;
    }
    if (digitCount != nullptr) *digitCount = count;
    // More digits than allowed is not a number of this field.
    return count > 0 && (AtEnd() || !IsAsciiDigit(Text[Pos]));
  }
  std::size_t SkipBlanks() {
    const std::size_t start = Pos;
    while (!AtEnd() && Text[Pos] == ' ') ++Pos;
    return Pos - start;
  }
};

// The order of the year, month and day fields in a short date pattern, as "ymd", "dmy" and so on.
std::string DateFieldOrder(std::string_view pattern) {
  std::string order;
  char quote = '\0';
  for (char c : pattern) {
    if (quote != '\0') {
      if (c == quote) quote = '\0';
      continue;
    }
    if (c == '"' || c == '\'') {
      quote = c;
      continue;
    }
    const char lower = LowerAscii(c);
    if ((lower == 'y' || lower == 'm' || lower == 'd') && order.find(lower) == std::string::npos) order += lower;
  }
  return order.size() == 3 ? order : "ymd";
}

// A year written with one or two digits lies within 50 years of the current one.
int ExpandTwoDigitYear(int year) {
  const int currentYear = static_cast<int>(year_month_day(floor<days>(system_clock::now())).year());
  const int centuryBase = currentYear - 50;
  int result = year + centuryBase / 100 * 100;
  if (result < centuryBase) result += 100;
  return result;
}

}  // namespace

// -----------------------------------------------------------------------------------------------
// Validity and encoding

bool IsValidDate(int y, int m, int d) {
  if (y < 1 || y > 9999 || m < 1 || m > 12 || d < 1 || d > 31) return false;
  return year_month_day(year(y), month(static_cast<unsigned>(m)), day(static_cast<unsigned>(d))).ok();
}

bool IsValidTime(int hour, int minute, int second, int millisecond) {
  return hour >= 0 && hour < 24 && minute >= 0 && minute < 60 && second >= 0 && second < 60 && millisecond >= 0 &&
         millisecond < 1000;
}

bool TryEncodeDate(int y, int m, int d, TDateTime& value) {
  if (!IsValidDate(y, m, d)) return false;
  const sys_days date(year(y) / month(static_cast<unsigned>(m)) / day(static_cast<unsigned>(d)));
  value = static_cast<double>((date - Epoch).count());
  return true;
}

bool TryEncodeTime(int hour, int minute, int second, int millisecond, TDateTime& value) {
  if (!IsValidTime(hour, minute, second, millisecond)) return false;
  value = static_cast<double>(((hour * 60 + minute) * 60 + second) * 1000 + millisecond) / MSecsPerDay;
  return true;
}

bool TryEncodeDateTime(int y, int m, int d, int hour, int minute, int second, int millisecond, TDateTime& value) {
  TDateTime date = 0;
  TDateTime time = 0;
  if (!TryEncodeDate(y, m, d, date) || !TryEncodeTime(hour, minute, second, millisecond, time)) return false;
  value = date >= 0 ? date + time : date - time;
  return true;
}

TDateTime EncodeDate(int year, int month, int day) {
  TDateTime value = 0;
  if (!TryEncodeDate(year, month, day, value)) throw EConvertError(SDateEncodeError);
  return value;
}

TDateTime EncodeTime(int hour, int minute, int second, int millisecond) {
  TDateTime value = 0;
  if (!TryEncodeTime(hour, minute, second, millisecond, value)) throw EConvertError(STimeEncodeError);
  return value;
}

TDateTime EncodeDateTime(int year, int month, int day, int hour, int minute, int second, int millisecond) {
  const TDateTime date = EncodeDate(year, month, day);
  const TDateTime time = EncodeTime(hour, minute, second, millisecond);
  return date >= 0 ? date + time : date - time;
}

// -----------------------------------------------------------------------------------------------
// Decoding

TDateTimeParts DecodeDateTime(TDateTime value) {
  std::int64_t dayNumber = 0;
  std::int64_t milliseconds = 0;
  year_month_day date;
  if (!SplitValue(value, dayNumber, milliseconds) || !TryCalendarDay(dayNumber, date)) {
    return TDateTimeParts{0, 0, 0, 0, 0, 0, 0};
  }
  TDateTimeParts parts;
  parts.Year = static_cast<int>(date.year());
  parts.Month = static_cast<int>(static_cast<unsigned>(date.month()));
  parts.Day = static_cast<int>(static_cast<unsigned>(date.day()));
  const auto ms = static_cast<int>(milliseconds);
  parts.Hour = ms / 3600000;
  parts.Minute = ms / 60000 % 60;
  parts.Second = ms / 1000 % 60;
  parts.Millisecond = ms % 1000;
  return parts;
}

void DecodeDate(TDateTime value, int& year, int& month, int& day) {
  const TDateTimeParts parts = DecodeDateTime(value);
  year = parts.Year;
  month = parts.Month;
  day = parts.Day;
}

void DecodeTime(TDateTime value, int& hour, int& minute, int& second, int& millisecond) {
  const TDateTimeParts parts = DecodeDateTime(value);
  hour = parts.Hour;
  minute = parts.Minute;
  second = parts.Second;
  millisecond = parts.Millisecond;
}

TDateTime IncMilliSecond(TDateTime value, std::int64_t milliseconds) {
  std::int64_t dayNumber = 0;
  std::int64_t time = 0;
  if (!SplitValue(value, dayNumber, time)) return value;
  // |dayNumber| <= 1e11 days keeps this product far inside 64 bits.
  std::int64_t total = dayNumber * MSecsPerDayInt + time;
  if (__builtin_add_overflow(total, milliseconds, &total))
    total = milliseconds > 0 ? std::numeric_limits<std::int64_t>::max() : std::numeric_limits<std::int64_t>::min();
  const std::int64_t newDay = FloorDiv(total, MSecsPerDayInt);
  return JoinValue(newDay, total - newDay * MSecsPerDayInt);
}

// -----------------------------------------------------------------------------------------------
// Text

std::string FormatDateTime(std::string_view pattern, TDateTime value, const TFormatSettings& settings) {
  std::int64_t dayNumber = 0;
  std::int64_t milliseconds = 0;
  const bool split = SplitValue(value, dayNumber, milliseconds);
  year_month_day date;
  const bool valid = split && TryCalendarDay(dayNumber, date);
  const int weekDay = valid ? static_cast<int>(weekday(sys_days(date)).c_encoding()) : -1;
  const TFormatContext context{DecodeDateTime(value), weekDay, valid && milliseconds != 0, settings};
  std::string out;
  AppendPattern(out, pattern, context, 0);
  return out;
}

std::string DateTimeToStr(TDateTime value, const TFormatSettings& settings) {
  return FormatDateTime("ddddd tt", value, settings);
}

bool TryStrToDateTime(std::string_view text, TDateTime& value, const TFormatSettings& settings) {
  // Surrounding blanks and control characters are ignored.
  while (!text.empty() && static_cast<unsigned char>(text.front()) <= ' ') text.remove_prefix(1);
  while (!text.empty() && static_cast<unsigned char>(text.back()) <= ' ') text.remove_suffix(1);
  TScanner scan{text};

  // The date: three numbers in the order of the short date pattern.
  const std::string order = DateFieldOrder(settings.ShortDatePattern);
  int y = 0, m = 0, d = 0;
  int yearDigits = 0;
  for (std::size_t field = 0; field < 3; ++field) {
    if (field > 0 && !scan.Take(settings.DateSeparator)) return false;
    switch (order[field]) {
      case 'y':
        if (!scan.Number(4, y, &yearDigits)) return false;
        break;
      case 'm':
        if (!scan.Number(2, m)) return false;
        break;
      default:
        if (!scan.Number(2, d)) return false;
        break;
    }
  }
  if (yearDigits <= 2) y = ExpandTwoDigitYear(y);

  // The optional time: h:n[:s[.zzz]] [AM/PM].
  int hour = 0, minute = 0, second = 0, millisecond = 0;
  if (!scan.AtEnd()) {
    if (scan.SkipBlanks() == 0) return false;
    if (!scan.Number(2, hour) || !scan.Take(settings.TimeSeparator) || !scan.Number(2, minute)) return false;
    if (scan.Take(settings.TimeSeparator)) {
      if (!scan.Number(2, second)) return false;
      if (scan.Take('.') || scan.Take(settings.DecimalSeparator)) {
        int digits = 0;
        if (!scan.Number(3, millisecond, &digits)) return false;
        for (; digits < 3; ++digits) millisecond *= 10;  // a fraction of a second: ".5" is 500 ms
      }
    }
    const std::size_t blanks = scan.SkipBlanks();
    if (!scan.AtEnd()) {
      const std::string_view rest = text.substr(scan.Pos);
      const bool am = StartsWithNoCase(rest, 0, "am") || (rest.size() == 1 && LowerAscii(rest[0]) == 'a');
      const bool pm = StartsWithNoCase(rest, 0, "pm") || (rest.size() == 1 && LowerAscii(rest[0]) == 'p');
      const bool fullWord = rest.size() == 2 || rest.size() == 1;
      if (blanks == 0 || !fullWord || !(am || pm) || hour < 1 || hour > 12) return false;
      hour = hour % 12 + (pm ? 12 : 0);
    }
  }
  return TryEncodeDateTime(y, m, d, hour, minute, second, millisecond, value);
}

TDateTime StrToDateTime(std::string_view text, const TFormatSettings& settings) {
  TDateTime value = 0;
  if (!TryStrToDateTime(text, value, settings))
    throw EConvertError(Format(SInvalidDateTime, std::string(text).c_str()));
  return value;
}

}  // namespace Zorp::Base
