#pragma once
// Locale settings and number formatting: the general float format ("%g", "%.4g"), printf-style
// formatting into std::string, and text-to-number conversions that raise the platform's errors.

#include <cstdint>
#include <string>
#include <string_view>

namespace Zorp::Base {

struct TFormatSettings {
  char DecimalSeparator = '.';
  char DateSeparator = '-';
  char TimeSeparator = ':';
  // Date-time pattern letters: yyyy, yy, mm, m, dd, d, hh, h, nn, n, ss, s, zzz, am/pm.
  std::string ShortDatePattern = "yyyy-mm-dd";
  std::string LongTimePattern = "hh:nn:ss";

  // The settings of the C/POSIX locale: "." and "yyyy-mm-dd hh:nn:ss".
  static TFormatSettings Invariant();
  // The settings derived from the environment's locale (LC_ALL, LC_NUMERIC, LC_TIME, LANG);
  // falls back to Invariant() when the locale cannot be mapped.
  static TFormatSettings FromEnvironment();
  // Maps a POSIX locale's radix character and strftime date and time formats (nl_langinfo's
  // RADIXCHAR, D_FMT, T_FMT). Each part that cannot be mapped keeps its Invariant() value.
  static TFormatSettings FromLocaleFormats(std::string_view radix, std::string_view dateFormat,
                                           std::string_view timeFormat);
};

// The calling thread's settings: those of the environment (taken once, on first use in the process)
// until SetFormatSettings replaces them for this thread. Only texts shown to a person follow them.
const TFormatSettings& FormatSettings();
// The C settings, fixed for the whole run: every text that is stored in a file or read back from one
// uses them, whatever the thread's settings say.
const TFormatSettings& InvariantFormatSettings();
// Replaces the calling thread's settings (used by programs that let the user choose, and by tests);
// other threads keep theirs.
void SetFormatSettings(const TFormatSettings& settings);

// printf-style formatting into a std::string.
std::string Format(const char* pattern, ...) __attribute__((format(printf, 1, 2)));

// The general float format with the given significant digits (clamped to 1..17): fixed notation
// while the decimal exponent of the rounded value is below the precision and its magnitude is at
// least 0.00001, scientific otherwise ("1.5E-7", "1E15", "-2.5E20": exponent without plus sign or
// leading zeros); no trailing zeros nor a bare separator; the settings' decimal separator.
// Halfway cases round as the C library does (to even: 1234.5 with precision 4 is "1234").
// Zero is "0"; NaN and infinities are "NAN", "INF" and "-INF".
std::string FloatToStrG(double value, int precision, const TFormatSettings& settings);
inline std::string FloatToStrG(double value, int precision = 15) {
  return FloatToStrG(value, precision, FormatSettings());
}

// Decimal integer parsing (optional sign, optional "$"/"0x" hex prefix as the platform allows,
// no surrounding blanks); the value, hexadecimal ones too, must lie in the type's signed range.
// Failures raise EConvertError "''%s'' is not a valid integer value".
bool TryStrToInt(std::string_view text, std::int32_t& value);
bool TryStrToInt64(std::string_view text, std::int64_t& value);
std::int32_t StrToInt(std::string_view text);
std::int64_t StrToInt64(std::string_view text);

// Float parsing with the settings' decimal separator; leading/trailing blanks are allowed.
// Failures raise EConvertError "''%s'' is not a valid floating point value".
bool TryStrToFloat(std::string_view text, double& value, const TFormatSettings& settings);
double StrToFloat(std::string_view text, const TFormatSettings& settings);
inline double StrToFloat(std::string_view text) { return StrToFloat(text, FormatSettings()); }

}  // namespace Zorp::Base
