#include "core/PhotoJobs.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstring>
#include <exception>
#include <ostream>
#include <stdexcept>
#include <utility>

#include "core/ListRows.h"
#include "core/PhotoListing.h"
#include "core/PropertySetters.h"
#include "core/StandardListing.h"
#include "core/SummaryListing.h"
#include "zorp/base/DateTime.h"
#include "zorp/base/Exceptions.h"
#include "zorp/base/FileLock.h"
#include "zorp/base/FormatSettings.h"
#include "zorp/base/SafeFile.h"
#include "zorp/base/TextEncoding.h"
#include "zorp/exif/Consts.h"
#include "zorp/exif/ExifData.h"
#include "zorp/exif/JPEGUtils.h"
#include "zorp/exif/MetadataFile.h"
#include "zorp/exif/TagIDs.h"
#include "zorp/exif/XMPUtils.h"

namespace Quorvane::Viewer {

using namespace Zorp::Exif;
using Zorp::Base::TDateTime;

namespace {

// A photo loaded for an edit, with the file times taken before anything could change them. The
// photo is locked from the load to the end of the save, so two Quorvane writers take turns.
struct TLoadedPhoto {
  Zorp::Base::TFileLock Lock;
  std::unique_ptr<TMetadataFile> File;
  TExifData& Data;
  Zorp::Base::TFileTimes Times;

  TLoadedPhoto(const std::string& fileName, const TEditOptions& options)
      : Lock(fileName), File(TMetadataFile::Create(fileName)), Data(File->Exif()) {
    Data.SetEnsureEnumsInRange(false);
    if (options.KeepFileDates) Times = Zorp::Base::GetFileTimes(fileName);
    File->Load();
  }

  // Saves atomically and verified through the file's format; the original's times come back when
  // asked for.
  TPhotoOutcome Save(const std::string& fileName, const TEditOptions& options) {
    File->Save();
    // A file its format does not write took the edit in its sidecar: the report says so.
    if (!File->WritesInPlace())
      return TPhotoOutcome(TPhotoOutcome::Changed, {"written to the XMP sidecar " + File->SidecarFileName()});
    if (options.KeepFileDates && !Zorp::Base::SetFileTimes(fileName, Times)) {
      TPhotoOutcome outcome(TPhotoOutcome::Changed, {FileDateNotKeptText(errno)});
      outcome.FileDateLost = true;
      return outcome;
    }
    return TPhotoOutcome::Changed;
  }
};

// A decimal of 1 to maxDigits digits and nothing else; false for other text.
bool ParseDigits(std::string_view text, std::size_t maxDigits, std::int64_t& value) {
  if (text.empty() || text.size() > maxDigits) return false;
  value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  return true;
}

// The date-time moved by seconds on the calendar (whole seconds; the milliseconds stay).
TDateTime ShiftedDateTime(TDateTime value, std::int64_t seconds) {
  namespace chrono = std::chrono;
  // No shift within the calendar's years 1 to 9999 is longer than this; a longer one is refused
  // before the day count could overflow.
  constexpr std::int64_t LongestShift = std::int64_t{10000} * 366 * 86400;
  if (seconds > LongestShift || seconds < -LongestShift) throw Zorp::Base::EConvertError(SDateEncodeError);
  const Zorp::Base::TDateTimeParts parts = Zorp::Base::DecodeDateTime(value);
  const chrono::sys_days day =
      chrono::year_month_day{chrono::year{parts.Year}, chrono::month{static_cast<unsigned>(parts.Month)},
                             chrono::day{static_cast<unsigned>(parts.Day)}};
  const chrono::sys_seconds moment = day + chrono::hours{parts.Hour} + chrono::minutes{parts.Minute} +
                                     chrono::seconds{parts.Second} + chrono::seconds{seconds};
  const chrono::sys_days newDay = chrono::floor<chrono::days>(moment);
  const chrono::year_month_day date{newDay};
  const chrono::hh_mm_ss<chrono::seconds> time{moment - newDay};
  TDateTime result = 0;
  if (!Zorp::Base::TryEncodeDateTime(static_cast<int>(date.year()),
                                     static_cast<int>(static_cast<unsigned>(date.month())),
                                     static_cast<int>(static_cast<unsigned>(date.day())),
                                     static_cast<int>(time.hours().count()), static_cast<int>(time.minutes().count()),
                                     static_cast<int>(time.seconds().count()), parts.Millisecond, result) ||
      static_cast<int>(date.year()) < 1)
    throw Zorp::Base::EConvertError(SDateEncodeError);
  return result;
}

// One of the three date-times: where it lives.
struct TDateTimeField {
  TExifSectionKind Kind;
  TExifTagID ID;
  TExifTagID SubSecsID;
};

constexpr TDateTimeField DateTimeFields[] = {{skPrimary, ttDateTime, ttSubsecTime},
                                             {skExif, ttDateTimeOriginal, ttSubsecTimeOriginal},
                                             {skExif, ttDateTimeDigitized, ttSubsecTimeDigitized}};

// The first value row with that key whose kind allows editing; nullptr when the list has none.
const TListRow* FindEditableRow(const TListRows& rows, std::string_view key) {
  for (const TListRow& row : rows)
    if (row.IsValueRow() && !row.Kind().empty() && row.Key == key) return &row;
  return nullptr;
}

}  // namespace

// ---------------------------------------------------------------------------------------------------
// Running a job

namespace {

// A photo that another program changed between the edit's load and its save was not written: the
// edit starts again from the new content, a few times before it gives up.
TPhotoOutcome EditReadingAgainOnChange(const TPhotoEdit& edit, const std::string& fileName) {
  constexpr int Attempts = 3;
  for (int attempt = 1;; ++attempt) {
    try {
      return edit(fileName);
    } catch (const Zorp::Base::EFileChanged&) {
      if (attempt == Attempts) throw;
    }
  }
}

}  // namespace

TJobSummary RunPhotoJob(const std::vector<std::string>& files, const TPhotoEdit& edit, const TJobProgress& progress) {
  TJobSummary summary;
  for (std::size_t done = 0; done < files.size(); ++done) {
    if (progress && !progress(done, files.size())) {
      summary.Cancelled = true;
      summary.NotDone = static_cast<int>(files.size() - done);
      return summary;
    }
    try {
      const TPhotoOutcome outcome = EditReadingAgainOnChange(edit, files[done]);
      ++(outcome == TPhotoOutcome::Changed ? summary.Changed : summary.Unchanged);
      for (const std::string& note : outcome.Notes) summary.Notes.push_back({files[done], note});
      if (outcome.FileDateLost) ++summary.FileDatesLost;
    } catch (const std::exception& error) {
      ++summary.Failed;
      summary.Failures.push_back({files[done], error.what()});
    }
  }
  if (progress) progress(files.size(), files.size());
  return summary;
}

std::string FileDateNotKeptText(int error) {
  return std::string("saved, but its file date could not be kept: ") + std::strerror(error);
}

std::string SummaryText(const TJobSummary& summary) {
  std::string text = std::to_string(summary.Changed) + " changed, " + std::to_string(summary.Unchanged) +
                     " unchanged, " + std::to_string(summary.Failed) + " failed";
  if (summary.Cancelled) text += ", " + std::to_string(summary.NotDone) + " not done (cancelled)";
  for (const TJobFailure& failure : summary.Failures) text += "\n" + failure.FileName + ": " + failure.Message;
  for (const TJobFailure& note : summary.Notes) text += "\n" + note.FileName + ": " + note.Message;
  return text;
}

std::ostream& operator<<(std::ostream& out, const TPhotoOutcome& outcome) {
  out << (outcome == TPhotoOutcome::Changed ? "changed" : "unchanged");
  for (const std::string& note : outcome.Notes) out << "; " << note;
  return out;
}

// ---------------------------------------------------------------------------------------------------
// Shifting the date-times

bool ParseTimeOffset(const std::string& text, TTimeOffset& offset) {
  std::string_view rest = text;
  std::int64_t sign = 1;
  if (!rest.empty() && (rest[0] == '+' || rest[0] == '-')) {
    sign = rest[0] == '-' ? -1 : 1;
    rest.remove_prefix(1);
  }
  std::vector<std::string_view> fields;
  for (std::size_t colon; fields.size() < 5; rest.remove_prefix(colon + 1)) {
    colon = rest.find(':');
    fields.push_back(rest.substr(0, colon));
    if (colon == std::string_view::npos) break;
  }
  if (fields.size() != 3 && fields.size() != 4) return false;
  // Days have up to six digits (some 2700 years), the others two.
  std::int64_t days = 0, hours = 0, minutes = 0, seconds = 0;
  const std::size_t first = fields.size() - 3;
  if ((first == 1 && !ParseDigits(fields[0], 6, days)) || !ParseDigits(fields[first], 2, hours) ||
      !ParseDigits(fields[first + 1], 2, minutes) || !ParseDigits(fields[first + 2], 2, seconds))
    return false;
  if (hours > 23 || minutes > 59 || seconds > 59) return false;
  offset.Seconds = sign * (((days * 24 + hours) * 60 + minutes) * 60 + seconds);
  return true;
}

std::string TimeOffsetText(const TTimeOffset& offset) {
  // Unsigned, so that even the most negative offset has a magnitude.
  const std::uint64_t magnitude = static_cast<std::uint64_t>(offset.Seconds);
  const std::uint64_t total = offset.Seconds < 0 ? 0 - magnitude : magnitude;
  return Zorp::Base::Format(
      "%c%llu:%.2llu:%.2llu:%.2llu", offset.Seconds < 0 ? '-' : '+', static_cast<unsigned long long>(total / 86400),
      static_cast<unsigned long long>(total / 3600 % 24), static_cast<unsigned long long>(total / 60 % 60),
      static_cast<unsigned long long>(total % 60));
}

TPhotoOutcome ShiftDateTimes(const std::string& fileName, const TTimeOffset& offset, const TEditOptions& options) {
  TLoadedPhoto photo(fileName, options);
  TExifData& data = photo.Data;
  if (offset.Seconds == 0) return TPhotoOutcome::Unchanged;
  // Every new value is computed before anything changes, so a date that would leave the calendar
  // refuses the photo as a whole.
  std::vector<std::pair<const TDateTimeField*, TDateTime>> shifted;
  std::vector<std::pair<const TXMPDateCopy*, std::string>> shiftedCopies;
  TXMPPacket& packet = data.XMPPacket();
  for (const TDateTimeField& field : DateTimeFields) {
    const TDateTime value = data.PeekSection(field.Kind).GetDateTimeValue(field.ID, field.SubSecsID, 0);
    if (value != 0) shifted.emplace_back(&field, ShiftedDateTime(value, offset.Seconds));
    // Each XMP copy moves from its own value, whatever the Exif date holds.
    for (const TXMPDateCopy& copy : XMPDateCopies(field.ID)) {
      TXMPSchema* schema = nullptr;
      TXMPProperty* property = nullptr;
      TXMPDate date;
      if (!packet.FindSchema(copy.Schema, schema) || !schema->FindProperty(copy.Name, property) ||
          property->Kind() != pkSimple || !TryParseXMPDate(Zorp::Base::Trim(property->Value()), date))
        continue;
      if (!TryShiftXMPDate(date, offset.Seconds)) throw Zorp::Base::EConvertError(SDateEncodeError);
      shiftedCopies.emplace_back(&copy, XMPDateText(date));
    }
  }
  if (shifted.empty() && shiftedCopies.empty()) return TPhotoOutcome::Unchanged;
  data.WithinUpdate([&] {
    // The date text alone: the sub-second tags stay, since only whole seconds moved.
    for (const auto& [field, value] : shifted)
      data.Sections(field->Kind).SetStringValue(field->ID, DateTimeToExifText(value));
    for (const auto& [copy, text] : shiftedCopies) packet.UpdateProperty(copy->Schema, copy->Name, text);
    // A file that is not written keeps the shift only in its sidecar: each moved date gets the
    // copies the sidecar lacks.
    if (!photo.File->WritesInPlace()) {
      for (const auto& [field, value] : shifted)
        for (const TXMPDateCopy& copy : XMPDateCopies(field->ID)) {
          const bool moved = std::any_of(shiftedCopies.begin(), shiftedCopies.end(),
                                         [&](const auto& done) { return done.first == &copy; });
          if (!moved) packet.UpdateLocalDateTimeProperty(copy.Schema, copy.Name, value, std::string());
        }
    }
  });
  return photo.Save(fileName, options);
}

// ---------------------------------------------------------------------------------------------------
// The location

namespace {

// Coordinates are stored to a ten-thousandth of an arc second (about 3 mm), altitudes to the millimetre.
constexpr std::int64_t SecondFractions = 10000;
constexpr std::int64_t UnitsPerDegree = 3600 * SecondFractions;
constexpr std::int64_t AltitudeFractions = 1000;
// The largest altitude a RATIONAL of millimetres holds.
constexpr double MaxAltitude = 4294967.0;

// What a text coordinate is made of.
struct TCoordinateToken {
  enum TKind { tkNumber, tkUnit, tkLetter, tkSign } Kind;
  double Number = 0;
  int Unit = 0;  // 0 degrees, 1 minutes, 2 seconds
  char Letter = 0;
};

// The unit marks: degrees, minutes, seconds in their ASCII and typographic forms.
constexpr struct {
  std::string_view Text;
  int Unit;
} UnitMarks[] = {{"\xC2\xB0", 0},     {"\xC2\xBA", 0}, {"''", 2},          {"'", 1},
                 {"\xE2\x80\xB2", 1}, {"\"", 2},       {"\xE2\x80\xB3", 2}};

bool Tokenize(std::string_view text, std::vector<TCoordinateToken>& tokens) {
  std::size_t pos = 0;
  bool afterNumber = false;
  while (pos < text.size() && tokens.size() < 16) {
    const char c = text[pos];
    if (c == ' ' || c == '\t') {
      ++pos;
      afterNumber = false;
      continue;
    }
    if ((c >= '0' && c <= '9') || c == '.') {
      double value = 0;
      const char* end = text.data() + text.size();
      const auto [stop, error] = std::from_chars(text.data() + pos, end, value, std::chars_format::fixed);
      if (error != std::errc() || !std::isfinite(value)) return false;
      tokens.push_back({TCoordinateToken::tkNumber, value});
      pos = static_cast<std::size_t>(stop - text.data());
      afterNumber = true;
      continue;
    }
    if (c == '+' || c == '-') {
      tokens.push_back({TCoordinateToken::tkSign, 0, 0, c});
      ++pos;
      continue;
    }
    bool marked = false;
    for (const auto& mark : UnitMarks)
      if (text.substr(pos, mark.Text.size()) == mark.Text) {
        tokens.push_back({TCoordinateToken::tkUnit, 0, mark.Unit});
        pos += mark.Text.size();
        marked = true;
        break;
      }
    if (marked) {
      afterNumber = false;
      continue;
    }
    // d, m and s right after a number are units ("151d12m30s"); otherwise letters are hemispheres.
    if (afterNumber && (c == 'd' || c == 'm' || c == 's')) {
      tokens.push_back({TCoordinateToken::tkUnit, 0, c == 'd' ? 0 : c == 'm' ? 1 : 2});
    } else {
      const char letter = Zorp::Base::UpperAscii(c);
      if (letter != 'N' && letter != 'S' && letter != 'E' && letter != 'W') return false;
      tokens.push_back({TCoordinateToken::tkLetter, 0, 0, letter});
    }
    ++pos;
    afterNumber = false;
  }
  return pos == text.size();
}

// A coordinate's value in ten-thousandths of an arc second, rounded.
std::int64_t CoordinateUnits(double degrees) { return std::llround(std::fabs(degrees) * UnitsPerDegree); }

std::int64_t AltitudeUnits(double metres) { return std::llround(std::fabs(metres) * AltitudeFractions); }

// The coordinate as stored: the three rationals of the coordinate tag and its reference letter.
void WriteCoordinate(TGPSCoordinate& coordinate, double degrees, char positive, char negative) {
  const std::int64_t units = CoordinateUnits(degrees);
  const auto whole = static_cast<std::uint32_t>(units / UnitsPerDegree);
  const auto minutes = static_cast<std::uint32_t>(units % UnitsPerDegree / (60 * SecondFractions));
  const auto seconds = static_cast<std::uint32_t>(units % (60 * SecondFractions));
  coordinate.SetValue({whole, 1}, {minutes, 1}, {seconds, static_cast<std::uint32_t>(SecondFractions)},
                      degrees < 0 && units != 0 ? negative : positive);
}

// Whether the photo holds the coordinate as WriteCoordinate would store it.
bool HoldsCoordinate(const TGPSCoordinate& coordinate, double degrees, char positive, char negative) {
  if (coordinate.Missing()) return false;
  const double held =
      coordinate.Degrees().Value() + coordinate.Minutes().Value() / 60 + coordinate.Seconds().Value() / 3600;
  const std::int64_t units = CoordinateUnits(degrees);
  const char letter = degrees < 0 && units != 0 ? negative : positive;
  return CoordinateUnits(held) == units && (coordinate.Direction() == letter || units == 0);
}

bool HoldsAltitude(const TExifData& data, const std::optional<double>& altitude) {
  const TTiffRational held = data.GPSAltitude();
  if (!altitude) return held.Denominator == 0 && data.GPSAltitudeRef() == alTagMissing;
  const TGPSAltitudeRef ref = AltitudeUnits(*altitude) != 0 && *altitude < 0 ? alBelowSeaLevel : alAboveSeaLevel;
  return held.Denominator != 0 && data.GPSAltitudeRef() == ref &&
         AltitudeUnits(held.Value()) == AltitudeUnits(*altitude);
}

bool ValidLocation(const TLocation& location) {
  return std::isfinite(location.Latitude) && std::fabs(location.Latitude) <= 90 && std::isfinite(location.Longitude) &&
         std::fabs(location.Longitude) <= 180 &&
         (!location.Altitude || (std::isfinite(*location.Altitude) && std::fabs(*location.Altitude) <= MaxAltitude));
}

// Whether the property holds fields or items, but no longer any.
bool LeftEmpty(const TXMPProperty& property) {
  return property.SupportsSubProperties() && property.SubPropertyCount() == 0;
}

// Removes the location fields among the sub-properties of property and below, and the structures and
// arrays that this leaves empty; true when anything went.
bool RemoveLocationFields(TXMPProperty& property, int depth) {
  if (depth > 256) return false;  // the reader builds no deeper tree; a hand-built one stops here
  bool removed = false;
  for (int i = property.SubPropertyCount() - 1; i >= 0; --i) {
    TXMPProperty& field = property.SubProperties(i);
    if (property.NamedSubProperties() && IsXMPLocationProperty(field.NamespaceInfo().URI(), field.Name())) {
      property.DeleteSubProperty(i);
      removed = true;
    } else if (RemoveLocationFields(field, depth + 1)) {
      removed = true;
      if (LeftEmpty(field)) property.DeleteSubProperty(i);
    }
  }
  return removed;
}

// Removes every XMP property and structure field that holds a position or an altitude, and what
// this leaves empty. True when anything went.
bool RemoveXMPLocation(TXMPPacket& packet) {
  bool removed = false;
  for (TXMPSchema& schema : packet) {
    std::vector<std::string> names;
    for (TXMPProperty& property : schema) {
      if (IsXMPLocationProperty(property.NamespaceInfo().URI(), property.Name())) {
        names.push_back(property.Name());
      } else if (RemoveLocationFields(property, 0)) {
        removed = true;
        if (LeftEmpty(property)) names.push_back(property.Name());
      }
    }
    removed = schema.RemoveProperties(names) || removed;
  }
  return removed;
}

// Whether the text of a packet that could not be read names a position or an altitude.
bool MentionsLocation(Zorp::Base::TMemoryStream& data) {
  const std::string_view text(reinterpret_cast<const char*>(data.Memory()), static_cast<std::size_t>(data.Size()));
  for (const std::string_view word :
       {"Latitude", "Longitude", "Longtitude", "Altitude", "GPSPosition", "GPSCoordinates"})
    if (text.find(word) != std::string_view::npos) return true;
  return false;
}

// Whether an XMP segment holds a packet that parses.
bool IsReadableXMP(Zorp::Base::TMemoryStream& data) {
  TXMPPacket probe;
  data.SetPosition(0);
  const bool readable = probe.TryLoadFromStream(data);
  data.SetPosition(0);
  return readable;
}

}  // namespace

bool ParseCoordinate(const std::string& text, bool latitude, double& degrees) {
  std::vector<TCoordinateToken> tokens;
  if (!Tokenize(text, tokens) || tokens.empty()) return false;
  double sign = 1;
  char hemisphere = 0;
  // A sign may open the text; one hemisphere letter may open or close it, but not with a sign.
  if (tokens.front().Kind == TCoordinateToken::tkSign) {
    sign = tokens.front().Letter == '-' ? -1 : 1;
    tokens.erase(tokens.begin());
  } else if (tokens.front().Kind == TCoordinateToken::tkLetter) {
    hemisphere = tokens.front().Letter;
    tokens.erase(tokens.begin());
  }
  if (!tokens.empty() && tokens.back().Kind == TCoordinateToken::tkLetter) {
    if (hemisphere != 0 || sign < 0) return false;
    hemisphere = tokens.back().Letter;
    tokens.pop_back();
  }
  if (hemisphere != 0 && (latitude ? hemisphere != 'N' && hemisphere != 'S' : hemisphere != 'E' && hemisphere != 'W'))
    return false;
  // Then up to three numbers, each optionally followed by the unit of its place.
  double parts[3] = {};
  int count = 0;
  for (std::size_t i = 0; i < tokens.size(); ++i) {
    if (tokens[i].Kind != TCoordinateToken::tkNumber || count == 3) return false;
    parts[count] = tokens[i].Number;
    if (i + 1 < tokens.size() && tokens[i + 1].Kind == TCoordinateToken::tkUnit) {
      if (tokens[i + 1].Unit != count) return false;
      ++i;
    }
    ++count;
  }
  if (count == 0) return false;
  // Only the last number may have a fraction; minutes and seconds stay below 60.
  for (int i = 0; i + 1 < count; ++i)
    if (parts[i] != std::floor(parts[i])) return false;
  if ((count > 1 && parts[1] >= 60) || (count > 2 && parts[2] >= 60)) return false;
  const double value = parts[0] + parts[1] / 60 + parts[2] / 3600;
  if (value > (latitude ? 90 : 180)) return false;
  degrees = (hemisphere == 'S' || hemisphere == 'W' ? -1 : 1) * sign * value;
  return true;
}

bool ParseLocation(const std::string& text, TLocation& location) {
  std::vector<std::string> fields;
  for (std::size_t start = 0; fields.size() < 4;) {
    const std::size_t comma = text.find(',', start);
    fields.push_back(Zorp::Base::Trim(std::string_view(text).substr(start, comma - start)));
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  if (fields.size() != 2 && fields.size() != 3) return false;
  TLocation parsed;
  if (!ParseCoordinate(fields[0], true, parsed.Latitude) || !ParseCoordinate(fields[1], false, parsed.Longitude))
    return false;
  if (fields.size() == 3) {
    double altitude = 0;
    std::string_view number = fields[2];
    if (number.starts_with('+')) number.remove_prefix(1);
    const auto [stop, error] =
        std::from_chars(number.data(), number.data() + number.size(), altitude, std::chars_format::fixed);
    if (number.empty() || error != std::errc() || stop != number.data() + number.size()) return false;
    parsed.Altitude = altitude;
  }
  if (!ValidLocation(parsed)) return false;
  location = parsed;
  return true;
}

TPhotoOutcome SetLocation(const std::string& fileName, const TLocation& location, const TEditOptions& options) {
  if (!ValidLocation(location)) throw Zorp::Base::ERangeError("Location out of range");
  TLoadedPhoto photo(fileName, options);
  TExifData& data = photo.Data;
  if (HoldsCoordinate(data.GPSLatitude(), location.Latitude, 'N', 'S') &&
      HoldsCoordinate(data.GPSLongitude(), location.Longitude, 'E', 'W') && HoldsAltitude(data, location.Altitude))
    return TPhotoOutcome::Unchanged;
  data.WithinUpdate([&] {
    data.GPSVersion().SetAsString("2.3");
    WriteCoordinate(data.GPSLatitude(), location.Latitude, 'N', 'S');
    WriteCoordinate(data.GPSLongitude(), location.Longitude, 'E', 'W');
    if (location.Altitude) {
      const std::int64_t units = AltitudeUnits(*location.Altitude);
      data.SetGPSAltitudeRef(units != 0 && *location.Altitude < 0 ? alBelowSeaLevel : alAboveSeaLevel);
      data.SetGPSAltitude({static_cast<std::uint32_t>(units), static_cast<std::uint32_t>(AltitudeFractions)});
    } else {
      data.SetGPSAltitudeRef(alTagMissing);
      data.SetGPSAltitude({0, 0});
    }
  });
  return photo.Save(fileName, options);
}

bool IsXMPLocationProperty(std::string_view namespaceURI, std::string_view name) {
  const std::string lowerName = Zorp::Base::LowerCase(std::string(name));
  if (lowerName.starts_with("gps")) {
    // The Exif schemas mirror the GPS directory, which goes as a whole.
    if (namespaceURI == XMPNamespaceURI(xnExif) || namespaceURI == "http://cipa.jp/exif/1.0/") return true;
    for (const std::string_view word : {"latitude", "longitude", "longtitude", "altitude", "position", "coordinates"})
      if (lowerName.find(word, 3) != std::string::npos) return true;
    return false;
  }
  return name == "AbsoluteAltitude" || name == "RelativeAltitude";
}

TPhotoOutcome RemoveLocation(const std::string& fileName, const TEditOptions& options) {
  TLoadedPhoto photo(fileName, options);
  TExifData& data = photo.Data;
  // A packet that does not parse is written back byte for byte, whatever it holds.
  const std::shared_ptr<IFoundJPEGSegment> segment = data.PendingXMPSegment();
  TXMPPacket& packet = data.XMPPacket();
  TPhotoOutcome outcome;
  if (segment && packet.Empty() && !IsReadableXMP(segment->Data()) && MentionsLocation(segment->Data()))
    outcome.Notes.push_back("location kept in an unreadable XMP packet");
  const bool hasDirectory =
      data.PeekSection(skGps).Count() > 0 || data.PeekSection(skPrimary).Find(ttGPSInfoIFDPointer) != nullptr;
  bool xmpRemoved = false;
  data.WithinUpdate([&] {
    // An empty directory is not written, and neither is its pointer.
    if (hasDirectory) data.Sections(skGps).Clear();
    xmpRemoved = RemoveXMPLocation(packet);
  });
  if (!hasDirectory && !xmpRemoved) return outcome;
  TPhotoOutcome saved = photo.Save(fileName, options);
  saved.Notes.insert(saved.Notes.begin(), outcome.Notes.begin(), outcome.Notes.end());
  return saved;
}

// ---------------------------------------------------------------------------------------------------
// One Standard-list value

TPhotoOutcome SetStandardValue(const std::string& fileName, const std::string& label, const std::string& value,
                               const TEditOptions& options) {
  if (const std::string why = NotEditableMessage(label); !why.empty()) throw std::invalid_argument(why);
  if (!HasPropertySetter(label)) throw std::invalid_argument("\"" + label + "\" is not an editable label");
  const std::string_view key = StandardRowKey(label);
  TLoadedPhoto photo(fileName, options);
  TExifData& data = photo.Data;
  // A photo without Exif has the rows the viewer offers it, and the edit creates the Exif.
  TListRows rows;
  if (data.IsEmpty())
    ListEmptyEditableRows(rows);
  else
    ListStandardData(rows, data, Zorp::Base::FormatSettings());
  const std::string newValue = Zorp::Base::Trim(value);
  const TListRow* row = FindEditableRow(rows, key);
  if (row ? row->Value() == newValue : newValue.empty()) return TPhotoOutcome::Unchanged;
  if (row && row->Kind() == rkSelect) {
    const std::vector<std::string_view> choices = Zorp::Base::SplitLines(row->SelectList());
    if (std::find(choices.begin(), choices.end(), newValue) == choices.end())
      throw std::invalid_argument("\"" + newValue + "\" is not one of the choices of " +
                                  std::string(StandardRowCaption(key)));
  }
  SetPropertyFromText(data, std::string(key), newValue);
  return photo.Save(fileName, options);
}

// ---------------------------------------------------------------------------------------------------
// CSV

namespace {

// Whether the text is entirely an optionally signed decimal number ("-3", "+1.5", "-0,7").
bool IsPlainNumber(std::string_view text) {
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) text.remove_prefix(1);
  bool digit = false, separator = false;
  for (const char c : text) {
    if (c >= '0' && c <= '9')
      digit = true;
    else if ((c == '.' || c == ',') && !separator)
      separator = true;
    else
      return false;
  }
  return digit;
}

// A field as RFC 4180 has it: quoted, with doubled quotes, when it holds a comma, quote or line break.
// A spreadsheet runs a cell beginning with "=", "+", "-", "@", TAB or CR as a formula, so such a
// cell gets a leading apostrophe unless it is a plain number (a negative exposure bias stays a number).
std::string CsvField(std::string_view value) {
  const bool formula = !value.empty() && std::string_view("=+-@\t\r").find(value.front()) != std::string_view::npos &&
                       !IsPlainNumber(value);
  const std::string text = formula ? "'" + std::string(value) : std::string(value);
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string field = "\"";
  for (const char c : text) {
    if (c == '"') field += '"';
    field += c;
  }
  return field + '"';
}

// The value the Standard list shows in the row a column names (by key or caption); empty when it
// has no such row.
const std::string& ValueOf(const TListRows& rows, const std::string& column) {
  static const std::string none;
  const std::string_view key = StandardRowKey(column);
  for (const TListRow& row : rows)
    if (row.IsValueRow() && (key.empty() ? Zorp::Base::Trim(row.Caption) == column : row.Key == key))
      return row.Value();
  return none;
}

// The columns whose numbers read as the Summary shows them ("1/167 s", "f/1.8"), the bias as a short
// number (a spreadsheet would take "-1/3 EV" for a formula), and the two of the position in signed
// decimal degrees; nullptr for a column read from the Standard list.
using TReadableValue = std::string (*)(const TExifData&);
TReadableValue ReadableValueOf(const std::string& column) {
  static const std::pair<const char*, TReadableValue> columns[] = {
      {"Exposure time", [](const TExifData& data) { return ExposureTimeText(data); }},
      {"F number", [](const TExifData& data) { return ApertureText(data); }},
      {"Focal length", [](const TExifData& data) { return FocalLengthText(data, false); }},
      {"Exposure bias value", [](const TExifData& data) { return ExposureBiasNumber(data); }},
      {"Latitude", [](const TExifData& data) { return DegreesText(data.GPSLatitude()); }},
      {"Longitude", [](const TExifData& data) { return DegreesText(data.GPSLongitude()); }}};
  // A Standard column may be named by its key too.
  const std::string_view caption = StandardRowCaption(column);
  const std::string_view name = caption.empty() ? std::string_view(column) : caption;
  for (const auto& [label, value] : columns)
    if (name == label) return value;
  return nullptr;
}

}  // namespace

const std::vector<std::string>& DefaultCsvColumns() {
  static const std::vector<std::string> columns = {
      "Camera make",  "Camera model", "Date/time original", "Exposure time", "F number",  "ISO speed rating(s)",
      "Focal length", "GPS latitude", "GPS longitude",      "Latitude",      "Longitude", "Orientation"};
  return columns;
}

const std::vector<std::string>& CsvColumnLabels() {
  static const std::vector<std::string> labels = [] {
    std::vector<std::string> all = StandardLabels();
    all.insert(all.end(), {"Latitude", "Longitude"});
    return all;
  }();
  return labels;
}

bool IsCsvColumn(const std::string& column) {
  const std::vector<std::string>& labels = CsvColumnLabels();
  return !StandardRowKey(column).empty() || std::find(labels.begin(), labels.end(), column) != labels.end();
}

std::string CsvHeader(const std::vector<std::string>& columns) {
  std::string line = "File";
  // A column named by its key is headed by its caption.
  for (const std::string& column : columns) {
    const std::string_view caption = StandardRowCaption(column);
    line += ',' + CsvField(caption.empty() ? std::string_view(column) : caption);
  }
  return line + "\r\n";
}

std::string CsvLine(const std::string& file, const std::vector<std::string>& columns, const TMemIniFile& ini,
                    TJobFailure& failure) {
  // Listed as the window lists it, so that every value reads as it shows there.
  const TPhotoListing listing = ListPhoto(file, ini);
  failure = listing.Succeeded() ? TJobFailure{} : TJobFailure{file, listing.Error};
  std::string line = CsvField(file);
  for (const std::string& column : columns) {
    const TReadableValue readable = ReadableValueOf(column);
    line += ',' + CsvField(readable && listing.Data ? readable(*listing.Data) : ValueOf(listing.Standard, column));
  }
  return line + "\r\n";
}

std::vector<TJobFailure> WriteCsv(std::ostream& out, const std::vector<std::string>& files,
                                  const std::vector<std::string>& columns, const TMemIniFile& ini,
                                  const TJobProgress& progress) {
  for (const std::string& column : columns)
    if (!IsCsvColumn(column)) throw std::invalid_argument("\"" + column + "\" is not a label of the Standard list");
  std::vector<TJobFailure> failures;
  out << CsvHeader(columns);
  for (std::size_t done = 0; done < files.size(); ++done) {
    if (progress && !progress(done, files.size())) return failures;
    TJobFailure failure;
    out << CsvLine(files[done], columns, ini, failure);
    if (!failure.Message.empty()) failures.push_back(std::move(failure));
  }
  if (progress) progress(files.size(), files.size());
  return failures;
}

}  // namespace Quorvane::Viewer
