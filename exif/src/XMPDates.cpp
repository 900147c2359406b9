#include "zorp/exif/XMPDates.h"

#include <chrono>

#include "zorp/base/FormatSettings.h"

namespace Zorp::Exif {

namespace {

namespace chrono = std::chrono;

// Exactly length digits at text[pos...] as a number; false for anything else.
bool TakeDigits(std::string_view text, std::size_t& pos, std::size_t length, int& value) {
  if (text.size() - pos < length) return false;
  value = 0;
  for (std::size_t i = pos; i < pos + length; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    value = value * 10 + (text[i] - '0');
  }
  pos += length;
  return true;
}

bool Take(std::string_view text, std::size_t& pos, char c) {
  if (pos >= text.size() || text[pos] != c) return false;
  ++pos;
  return true;
}

// "Z", "+hh:mm", "-hh:mm", "+hhmm" or "-hhmm" with hours 0-23 and minutes 0-59.
bool IsZone(std::string_view zone) {
  if (zone == "Z") return true;
  if (zone.size() != 5 && zone.size() != 6) return false;
  if (zone[0] != '+' && zone[0] != '-') return false;
  std::size_t pos = 1;
  int hours = 0, minutes = 0;
  if (!TakeDigits(zone, pos, 2, hours)) return false;
  if (zone.size() == 6 && !Take(zone, pos, ':')) return false;
  return TakeDigits(zone, pos, 2, minutes) && hours <= 23 && minutes <= 59;
}

bool OnCalendar(int year, int month, int day) {
  return year >= 1 && year <= 9999 &&
         chrono::year_month_day{chrono::year{year}, chrono::month{static_cast<unsigned>(month)},
                                chrono::day{static_cast<unsigned>(day)}}
             .ok();
}

}  // namespace

bool TryParseXMPDate(std::string_view text, TXMPDate& date) {
  TXMPDate result;
  std::size_t pos = 0;
  if (!TakeDigits(text, pos, 4, result.Year)) return false;
  result.Precision = dpYear;
  if (Take(text, pos, '-')) {
    if (!TakeDigits(text, pos, 2, result.Month)) return false;
    result.Precision = dpMonth;
    if (Take(text, pos, '-')) {
      if (!TakeDigits(text, pos, 2, result.Day)) return false;
      result.Precision = dpDay;
      if (Take(text, pos, 'T')) {
        if (!TakeDigits(text, pos, 2, result.Hour) || !Take(text, pos, ':') || !TakeDigits(text, pos, 2, result.Minute))
          return false;
        result.Precision = dpMinute;
        if (Take(text, pos, ':')) {
          if (!TakeDigits(text, pos, 2, result.Second)) return false;
          result.Precision = dpSecond;
          if (Take(text, pos, '.')) {
            const std::size_t start = pos;
            while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') ++pos;
            if (pos == start) return false;
            result.Fraction = std::string(text.substr(start, pos - start));
          }
        }
        result.Zone = std::string(text.substr(pos));
        if (!result.Zone.empty() && !IsZone(result.Zone)) return false;
        pos = text.size();
      }
    }
  }
  if (pos != text.size()) return false;
  if (result.Month < 1 || result.Month > 12 || !OnCalendar(result.Year, result.Month, result.Day) || result.Hour > 23 ||
      result.Minute > 59 || result.Second > 59)
    return false;
  date = std::move(result);
  return true;
}

std::string XMPDateText(const TXMPDate& date) {
  using Zorp::Base::Format;
  std::string text = Format("%.4d", date.Year);
  if (date.Precision >= dpMonth) text += Format("-%.2d", date.Month);
  if (date.Precision >= dpDay) text += Format("-%.2d", date.Day);
  if (date.Precision >= dpMinute) text += Format("T%.2d:%.2d", date.Hour, date.Minute);
  if (date.Precision >= dpSecond) {
    text += Format(":%.2d", date.Second);
    if (!date.Fraction.empty()) text += "." + date.Fraction;
  }
  // A zone goes with a time only.
  if (date.Precision >= dpMinute) text += date.Zone;
  return text;
}

bool TryShiftXMPDate(TXMPDate& date, std::int64_t seconds) {
  // Nothing within the years 1 to 9999 is further apart than this; a longer shift cannot land there
  // and is refused before the arithmetic could overflow.
  constexpr std::int64_t LongestShift = std::int64_t{10000} * 366 * 86400;
  if (seconds > LongestShift || seconds < -LongestShift) return false;
  const bool hasTime = date.Precision >= dpMinute;
  const chrono::sys_days day =
      chrono::year_month_day{chrono::year{date.Year}, chrono::month{static_cast<unsigned>(date.Month)},
                             chrono::day{static_cast<unsigned>(date.Day)}};
  const chrono::sys_seconds moment = hasTime ? day + chrono::hours{date.Hour} + chrono::minutes{date.Minute} +
                                                   chrono::seconds{date.Second} + chrono::seconds{seconds}
                                             : day + chrono::days{seconds / 86400};
  const chrono::sys_days newDay = chrono::floor<chrono::days>(moment);
  const chrono::year_month_day ymd{newDay};
  const int year = static_cast<int>(ymd.year());
  if (year < 1 || year > 9999) return false;
  const chrono::hh_mm_ss<chrono::seconds> time{moment - newDay};
  date.Year = year;
  // A coarser precision keeps its unwritten parts at their first value, so that the text is cut, not rounded.
  date.Month = date.Precision >= dpMonth ? static_cast<int>(static_cast<unsigned>(ymd.month())) : 1;
  date.Day = date.Precision >= dpDay ? static_cast<int>(static_cast<unsigned>(ymd.day())) : 1;
  date.Hour = hasTime ? static_cast<int>(time.hours().count()) : 0;
  date.Minute = hasTime ? static_cast<int>(time.minutes().count()) : 0;
  date.Second = date.Precision >= dpSecond ? static_cast<int>(time.seconds().count()) : 0;
  return true;
}

std::span<const TXMPDateCopy> XMPDateCopies(TExifTagID dateTimeID) {
  static constexpr TXMPDateCopy DateTime[] = {{xnTIFF, "DateTime"}, {xnXMPBasic, "ModifyDate"}};
  static constexpr TXMPDateCopy Original[] = {{xnExif, "DateTimeOriginal"}, {xnPhotoshop, "DateCreated"}};
  static constexpr TXMPDateCopy Digitized[] = {{xnExif, "DateTimeDigitized"}, {xnXMPBasic, "CreateDate"}};
  switch (dateTimeID) {
    case ttDateTime:
      return DateTime;
    case ttDateTimeOriginal:
      return Original;
    case ttDateTimeDigitized:
      return Digitized;
    default:
      return {};
  }
}

}  // namespace Zorp::Exif
