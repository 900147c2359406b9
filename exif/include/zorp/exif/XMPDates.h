#pragma once
// XMP date texts ("2009-06-24T09:41:07.72+01:00", ISO 8601 as XMP has it): read with their
// precision, fraction and time zone, moved by a number of seconds, and written back in the same
// form. Also the XMP properties that hold a copy of each Exif date-time.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "zorp/exif/TagIDs.h"
#include "zorp/exif/XMPNamespaces.h"

namespace Zorp::Exif {

// How much of a date an XMP text gives: "2009", "2009-06", "2009-06-24", "2009-06-24T09:41",
// "2009-06-24T09:41:07" (with or without a fraction of a second).
enum TXMPDatePrecision : std::uint8_t { dpYear, dpMonth, dpDay, dpMinute, dpSecond };

struct TXMPDate {
  int Year = 1, Month = 1, Day = 1;
  int Hour = 0, Minute = 0, Second = 0;
  TXMPDatePrecision Precision = dpSecond;
  std::string Fraction;  // the digits after the seconds' point, as stored ("72"); empty for none
  std::string Zone;      // the time-zone designator as stored ("Z", "+01:00", "-0530"); empty for local time
};

// Reads "YYYY[-MM[-DD[Thh:mm[:ss[.s+]]TZD?]]]" where TZD is "Z", "+hh:mm", "-hh:mm" (or without the
// colon). False for other text or a date that is not on the calendar (years 1 to 9999).
bool TryParseXMPDate(std::string_view text, TXMPDate& date);

// The text of the date in its precision, with its fraction and zone as stored.
std::string XMPDateText(const TXMPDate& date);

// Moves the date by seconds, keeping its precision, fraction and zone. A date with a time moves by
// the whole shift and is cut to its precision (09:41 moved by 90 seconds reads 09:42); a date
// without a time moves by the shift's whole days only, so a shift of a few hours leaves it as it
// was; a year or year-month is read as its first day. False (date unchanged) when the result would
// leave the years 1 to 9999.
bool TryShiftXMPDate(TXMPDate& date, std::int64_t seconds);

// One XMP property that holds a copy of an Exif date-time.
struct TXMPDateCopy {
  TXMPNamespaceKind Schema;
  const char* Name;
};

// The XMP copies of DateTime (ttDateTime: tiff:DateTime, xmp:ModifyDate), DateTimeOriginal
// (exif:DateTimeOriginal, photoshop:DateCreated) and DateTimeDigitized (exif:DateTimeDigitized,
// xmp:CreateDate), the pairing photo tools agree on; the first of each is the mirror the Exif
// property writes under every write policy. Empty for other tags.
std::span<const TXMPDateCopy> XMPDateCopies(TExifTagID dateTimeID);

}  // namespace Zorp::Exif
