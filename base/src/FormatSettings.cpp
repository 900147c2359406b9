#include "zorp/base/FormatSettings.h"

#include <langinfo.h>
#include <locale.h>

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <limits>
#include <memory>
#include <system_error>
#include <type_traits>
#include <vector>

#include "zorp/base/Exceptions.h"
#include "zorp/base/Messages.h"
#include "zorp/base/TextEncoding.h"

namespace Zorp::Base {

namespace {

// ---------------------------------------------------------------------------------------------
// Locale mapping

// The locale name in force for a category, by the POSIX precedence LC_ALL > LC_<category> > LANG.
std::string LocaleNameFor(const char* categoryVariable) {
  for (const char* variable : {"LC_ALL", categoryVariable, "LANG"}) {
    const char* value = std::getenv(variable);
    if (value != nullptr && *value != '\0') return value;
  }
  return "C";
}

bool IsPosixLocaleName(const std::string& name) {
  return name == "C" || name == "POSIX" || name.rfind("C.", 0) == 0 || name.rfind("POSIX.", 0) == 0;
}

// Owns a locale_t from newlocale.
struct TLocaleDeleter {
  void operator()(locale_t locale) const { freelocale(locale); }
};
using TLocaleHandle = std::unique_ptr<std::remove_pointer_t<locale_t>, TLocaleDeleter>;

TLocaleHandle OpenLocale(int categoryMask, const std::string& name) {
  return TLocaleHandle(newlocale(categoryMask, name.c_str(), static_cast<locale_t>(nullptr)));
}

// Expands the strftime shorthands that stand for whole dates or times.
std::string ExpandStrftime(std::string_view format) {
  std::string result;
  for (std::size_t i = 0; i < format.size(); ++i) {
    if (format[i] == '%' && i + 1 < format.size()) {
      const char c = format[i + 1];
      const char* expansion = c == 'D'   ? "%m/%d/%y"
                              : c == 'F' ? "%Y-%m-%d"
                              : c == 'T' ? "%H:%M:%S"
                              : c == 'R' ? "%H:%M"
                              : c == 'r' ? "%I:%M:%S %p"
                                         : nullptr;
      if (expansion != nullptr) {
        result += expansion;
        ++i;
        continue;
      }
    }
    result += format[i];
  }
  return result;
}

// Maps a strftime format of the shape FIELD SEP FIELD SEP FIELD [blank %p] to a pattern of ours.
// The fields come from the given table; the separators must be one and the same ASCII
// punctuation character. Returns false for anything else.
struct TFieldMapping {
  char Conversion;
  const char* Pattern;
  char Kind;  // which field it fills
};

bool MapFieldFormat(std::string_view format, const TFieldMapping* table, std::size_t tableSize, std::size_t minFields,
                    std::string& pattern, char& separator, bool& hasAmPm) {
  pattern.clear();
  separator = '\0';
  hasAmPm = false;
  std::string kinds;
  std::size_t i = 0;
  while (i < format.size()) {
    if (format[i] != '%' || i + 1 >= format.size()) return false;
    // Skip glibc's padding flags (%-d, %_m, %0e).
    std::size_t c = i + 1;
    if (c < format.size() - 1 && (format[c] == '-' || format[c] == '_' || format[c] == '0')) ++c;
    const TFieldMapping* found = nullptr;
    for (std::size_t k = 0; k < tableSize; ++k)
      if (table[k].Conversion == format[c]) found = &table[k];
    if (found == nullptr || kinds.find(found->Kind) != std::string::npos) return false;
    kinds += found->Kind;
    pattern += found->Pattern;
    i = c + 1;
    if (i == format.size()) break;
    if (format.substr(i) == " %p") {
      hasAmPm = true;
      break;
    }
    const char sep = format[i];
    const bool punctuation = sep > ' ' && sep < 127 && !std::isalnum(static_cast<unsigned char>(sep)) && sep != '%' &&
                             sep != '\'' && sep != '"';
    if (!punctuation || (separator != '\0' && sep != separator)) return false;
    separator = sep;
    pattern += sep;
    ++i;
  }
  return kinds.size() >= minFields && separator != '\0';
}

bool MapDateFormat(std::string_view format, std::string& pattern, char& separator) {
  static const TFieldMapping table[] = {
      {'d', "dd", 'd'}, {'e', "d", 'd'}, {'m', "mm", 'm'}, {'Y', "yyyy", 'y'}, {'y', "yy", 'y'}};
  bool hasAmPm = false;
  return MapFieldFormat(ExpandStrftime(format), table, std::size(table), 3, pattern, separator, hasAmPm) && !hasAmPm;
}

bool MapTimeFormat(std::string_view format, std::string& pattern, char& separator) {
  static const TFieldMapping table[] = {{'H', "hh", 'h'}, {'k', "h", 'h'},  {'I', "hh", 'h'},
                                        {'l', "h", 'h'},  {'M', "nn", 'n'}, {'S', "ss", 's'}};
  bool hasAmPm = false;
  if (!MapFieldFormat(ExpandStrftime(format), table, std::size(table), 2, pattern, separator, hasAmPm)) return false;
  if (pattern.find('h') != 0 || pattern.find('n') == std::string::npos) return false;
  if (hasAmPm) pattern += " AM/PM";
  return true;
}

// The environment's settings, taken once (safely from any thread) and never written afterwards.
const TFormatSettings& EnvironmentSettings() {
  static const TFormatSettings settings = TFormatSettings::FromEnvironment();
  return settings;
}

// One object per thread for the thread's lifetime, so references handed out by FormatSettings()
// stay valid when the thread's settings are replaced, and no thread writes what another reads.
TFormatSettings& ThreadSettings() {
  thread_local TFormatSettings settings = EnvironmentSettings();
  return settings;
}

// ---------------------------------------------------------------------------------------------
// Number parsing

// Parses [sign] (decimal digits | "$" hex | "0x" hex), the whole text, into a magnitude and sign.
bool ParseInteger(std::string_view text, std::uint64_t& magnitude, bool& negative) {
  negative = false;
  std::size_t i = 0;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  int base = 10;
  if (i < text.size() && text[i] == '$') {
    base = 16;
    ++i;
  } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    base = 16;
    i += 2;
  }
  if (i >= text.size()) return false;
  // from_chars takes neither a sign nor a prefix here, and must consume the rest exactly.
  if (text[i] == '+' || text[i] == '-') return false;
  const char* first = text.data() + i;
  const char* last = text.data() + text.size();
  const auto [end, error] = std::from_chars(first, last, magnitude, base);
  return error == std::errc() && end == last;
}

template <typename T>
bool TryStrToIntegral(std::string_view text, T& value) {
  std::uint64_t magnitude = 0;
  bool negative = false;
  if (!ParseInteger(text, magnitude, negative)) return false;
  using Unsigned = std::make_unsigned_t<T>;
  const auto maxPositive = static_cast<std::uint64_t>(std::numeric_limits<T>::max());
  if (negative) {
    if (magnitude > maxPositive + 1) return false;
    value = static_cast<T>(static_cast<Unsigned>(0) - static_cast<Unsigned>(magnitude));
  } else {
    if (magnitude > maxPositive) return false;
    value = static_cast<T>(magnitude);
  }
  return true;
}

std::string Message(const char* pattern, std::string_view text) { return Format(pattern, std::string(text).c_str()); }

}  // namespace

// -----------------------------------------------------------------------------------------------
// Settings

TFormatSettings TFormatSettings::Invariant() { return TFormatSettings(); }

TFormatSettings TFormatSettings::FromLocaleFormats(std::string_view radix, std::string_view dateFormat,
                                                   std::string_view timeFormat) {
  TFormatSettings result = Invariant();
  if (radix.size() == 1 && radix[0] > ' ' && radix[0] < 127 && !IsAsciiDigit(radix[0]))
    result.DecimalSeparator = radix[0];
  std::string pattern;
  char separator = '\0';
  if (MapDateFormat(dateFormat, pattern, separator)) {
    result.ShortDatePattern = pattern;
    result.DateSeparator = separator;
  }
  if (MapTimeFormat(timeFormat, pattern, separator)) {
    result.LongTimePattern = pattern;
    result.TimeSeparator = separator;
  }
  return result;
}

TFormatSettings TFormatSettings::FromEnvironment() {
  TFormatSettings result = Invariant();
  const std::string numericName = LocaleNameFor("LC_NUMERIC");
  if (!IsPosixLocaleName(numericName)) {
    if (const TLocaleHandle numeric = OpenLocale(LC_NUMERIC_MASK, numericName)) {
      result.DecimalSeparator = FromLocaleFormats(nl_langinfo_l(RADIXCHAR, numeric.get()), "", "").DecimalSeparator;
    }
  }
  const std::string timeName = LocaleNameFor("LC_TIME");
  if (!IsPosixLocaleName(timeName)) {
    if (const TLocaleHandle time = OpenLocale(LC_TIME_MASK, timeName)) {
      const TFormatSettings mapped =
          FromLocaleFormats("", nl_langinfo_l(D_FMT, time.get()), nl_langinfo_l(T_FMT, time.get()));
      result.DateSeparator = mapped.DateSeparator;
      result.ShortDatePattern = mapped.ShortDatePattern;
      result.TimeSeparator = mapped.TimeSeparator;
      result.LongTimePattern = mapped.LongTimePattern;
    }
  }
  return result;
}

const TFormatSettings& FormatSettings() { return ThreadSettings(); }

const TFormatSettings& InvariantFormatSettings() {
  static const TFormatSettings settings = TFormatSettings::Invariant();
  return settings;
}

void SetFormatSettings(const TFormatSettings& settings) { ThreadSettings() = settings; }

// -----------------------------------------------------------------------------------------------
// Formatting

std::string Format(const char* pattern, ...) {
  va_list args;
  va_start(args, pattern);
  va_list copy;
  va_copy(copy, args);
  const int length = std::vsnprintf(nullptr, 0, pattern, copy);
  va_end(copy);
  std::string result;
  if (length > 0) {
    std::vector<char> buffer(static_cast<std::size_t>(length) + 1);
    std::vsnprintf(buffer.data(), buffer.size(), pattern, args);
    result.assign(buffer.data(), static_cast<std::size_t>(length));
  }
  va_end(args);
  return result;
}

std::string FloatToStrG(double value, int precision, const TFormatSettings& settings) {
  if (std::isnan(value)) return "NAN";
  if (std::isinf(value)) return value < 0 ? "-INF" : "INF";
  if (value == 0) return "0";
  if (precision < 1) precision = 1;
  if (precision > 17) precision = 17;

  // The C library rounds correctly to the wanted number of significant digits: "d.ddde+XX".
  char buffer[64];
  const int length = std::snprintf(buffer, sizeof buffer, "%.*e", precision - 1, std::fabs(value));
  if (length <= 0 || static_cast<std::size_t>(length) >= sizeof buffer) return "0";
  const std::string_view scientific(buffer, static_cast<std::size_t>(length));
  const std::size_t e = scientific.find('e');
  if (e == std::string_view::npos) return "0";
  std::string digits;
  for (char c : scientific.substr(0, e))
    if (IsAsciiDigit(c)) digits += c;
  const int exponent = std::atoi(std::string(scientific.substr(e + 1)).c_str());
  while (digits.size() > 1 && digits.back() == '0') digits.pop_back();

  std::string result = value < 0 ? "-" : "";
  if (exponent >= -5 && exponent < precision) {
    if (exponent >= 0) {
      const auto integerDigits = static_cast<std::size_t>(exponent) + 1;
      if (digits.size() <= integerDigits) {
        result += digits;
        result.append(integerDigits - digits.size(), '0');
      } else {
        result += digits.substr(0, integerDigits);
        result += settings.DecimalSeparator;
        result += digits.substr(integerDigits);
      }
    } else {
      result += '0';
      result += settings.DecimalSeparator;
      result.append(static_cast<std::size_t>(-exponent - 1), '0');
      result += digits;
    }
  } else {
    result += digits[0];
    if (digits.size() > 1) {
      result += settings.DecimalSeparator;
      result += digits.substr(1);
    }
    result += 'E';
    result += std::to_string(exponent);
  }
  return result;
}

// -----------------------------------------------------------------------------------------------
// Parsing

bool TryStrToInt(std::string_view text, std::int32_t& value) { return TryStrToIntegral(text, value); }

bool TryStrToInt64(std::string_view text, std::int64_t& value) { return TryStrToIntegral(text, value); }

std::int32_t StrToInt(std::string_view text) {
  std::int32_t value = 0;
  if (!TryStrToInt(text, value)) throw EConvertError(Message(SInvalidInteger, text));
  return value;
}

std::int64_t StrToInt64(std::string_view text) {
  std::int64_t value = 0;
  if (!TryStrToInt64(text, value)) throw EConvertError(Message(SInvalidInteger, text));
  return value;
}

bool TryStrToFloat(std::string_view text, double& value, const TFormatSettings& settings) {
  // Blanks around the number are allowed.
  std::size_t first = 0;
  std::size_t last = text.size();
  while (first < last && text[first] == ' ') ++first;
  while (last > first && text[last - 1] == ' ') --last;
  text = text.substr(first, last - first);

  // Check the syntax [sign] digits [separator digits] [E [sign] digits] and rewrite it for
  // from_chars, which always wants '.' and no '+'.
  std::string plain;
  std::size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  int mantissaDigits = 0;
  // The decimal magnitude of the mantissa: significant digits before the separator, or minus the
  // zeros that lead the fraction. Only its sign is used, to tell overflow from underflow.
  long long integerDigits = 0;
  long long leadingFractionZeros = 0;
  bool significant = false;
  for (; i < text.size() && IsAsciiDigit(text[i]); ++i, ++mantissaDigits) {
    significant = significant || text[i] != '0';
    if (significant) ++integerDigits;
    plain += text[i];
  }
  if (i < text.size() && text[i] == settings.DecimalSeparator) {
    plain += '.';
    for (++i; i < text.size() && IsAsciiDigit(text[i]); ++i, ++mantissaDigits) {
      significant = significant || text[i] != '0';
      if (!significant) ++leadingFractionZeros;
      plain += text[i];
    }
  }
  if (mantissaDigits == 0) return false;
  long long exponent = 0;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    plain += 'e';
    ++i;
    bool negativeExponent = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
      negativeExponent = text[i] == '-';
      plain += text[i++];
    }
    int exponentDigits = 0;
    for (; i < text.size() && IsAsciiDigit(text[i]); ++i, ++exponentDigits) {
      plain += text[i];
      if (exponent < 100000) exponent = exponent * 10 + (text[i] - '0');  // saturates, only its sign matters
    }
    if (exponentDigits == 0) return false;
    if (negativeExponent) exponent = -exponent;
  }
  if (i != text.size()) return false;

  double parsed = 0;
  const auto [end, error] = std::from_chars(plain.data(), plain.data() + plain.size(), parsed);
  if (end != plain.data() + plain.size()) return false;
  if (error == std::errc::result_out_of_range) {
    // Too large fails; too small is zero.
    const long long magnitude = integerDigits > 0 ? integerDigits + exponent : exponent - leadingFractionZeros;
    if (magnitude > 0) return false;
    parsed = 0;
  } else if (error != std::errc()) {
    return false;
  }
  value = negative ? -parsed : parsed;
  return true;
}

double StrToFloat(std::string_view text, const TFormatSettings& settings) {
  double value = 0;
  if (!TryStrToFloat(text, value, settings)) throw EConvertError(Message(SInvalidFloat, text));
  return value;
}

}  // namespace Zorp::Base
