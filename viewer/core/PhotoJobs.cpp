#include "core/PhotoJobs.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <exception>
#include <stdexcept>

#include "core/EnumTexts.h"
#include "core/ListRows.h"
#include "core/PropertySetters.h"
#include "core/StandardListing.h"
#include "zorp/base/DateTime.h"
#include "zorp/base/Exceptions.h"
#include "zorp/base/FormatSettings.h"
#include "zorp/base/SafeFile.h"
#include "zorp/base/TextEncoding.h"
#include "zorp/exif/Consts.h"
#include "zorp/exif/ExifData.h"
#include "zorp/exif/TagIDs.h"

namespace Quorvane::Viewer {

using namespace Zorp::Exif;
using Zorp::Base::TDateTime;

namespace {

// A photo loaded for an edit, with the file times taken before anything could change them.
struct TLoadedPhoto {
  TExifData Data;
  Zorp::Base::TFileTimes Times;

  TLoadedPhoto(const std::string& fileName, const TEditOptions& options) {
    Data.SetEnsureEnumsInRange(false);
    if (options.KeepFileDates) Times = Zorp::Base::GetFileTimes(fileName);
    Data.LoadFromJPEG(fileName);
  }

  // Saves atomically and verified; the original's times come back when asked for.
  TPhotoOutcome Save(const std::string& fileName, const TEditOptions& options) {
    Data.SaveToJPEG(fileName, true);
    if (options.KeepFileDates) Zorp::Base::SetFileTimes(fileName, Times);
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
  const Zorp::Base::TDateTimeParts parts = Zorp::Base::DecodeDateTime(value);
  const chrono::sys_days day = chrono::year_month_day{chrono::year{parts.Year}, chrono::month{static_cast<unsigned>(parts.Month)},
                                                      chrono::day{static_cast<unsigned>(parts.Day)}};
  const chrono::sys_seconds moment = day + chrono::hours{parts.Hour} + chrono::minutes{parts.Minute} +
                                     chrono::seconds{parts.Second} + chrono::seconds{seconds};
  const chrono::sys_days newDay = chrono::floor<chrono::days>(moment);
  const chrono::year_month_day date{newDay};
  const chrono::hh_mm_ss<chrono::seconds> time{moment - newDay};
  TDateTime result = 0;
  if (!Zorp::Base::TryEncodeDateTime(static_cast<int>(date.year()), static_cast<int>(static_cast<unsigned>(date.month())),
                                     static_cast<int>(static_cast<unsigned>(date.day())),
                                     static_cast<int>(time.hours().count()), static_cast<int>(time.minutes().count()),
                                     static_cast<int>(time.seconds().count()), parts.Millisecond, result) ||
      static_cast<int>(date.year()) < 1)
    throw Zorp::Base::EConvertError(SDateEncodeError);
  return result;
}

// One of the three date-times: where it lives and how it is set.
struct TDateTimeField {
  TExifSectionKind Kind;
  TExifTagID ID;
  TExifTagID SubSecsID;
  void (TCustomExifData::*Setter)(TDateTime);
};

constexpr TDateTimeField DateTimeFields[] = {
    {skPrimary, ttDateTime, ttSubsecTime, &TCustomExifData::SetDateTime},
    {skExif, ttDateTimeOriginal, ttSubsecTimeOriginal, &TCustomExifData::SetDateTimeOriginal},
    {skExif, ttDateTimeDigitized, ttSubsecTimeDigitized, &TCustomExifData::SetDateTimeDigitized}};

// The first value row with that label whose kind allows editing; nullptr when the list has none.
const TListRow* FindEditableRow(const TListRows& rows, const std::string& label) {
  for (const TListRow& row : rows)
    if (row.IsValueRow() && !row.Kind().empty() && Zorp::Base::Trim(row.Caption) == label) return &row;
  return nullptr;
}

}  // namespace

// ---------------------------------------------------------------------------------------------------
// Running a job

TJobSummary RunPhotoJob(const std::vector<std::string>& files, const TPhotoEdit& edit, const TJobProgress& progress) {
  TJobSummary summary;
  for (std::size_t done = 0; done < files.size(); ++done) {
    if (progress && !progress(done, files.size())) {
      summary.Cancelled = true;
      summary.NotDone = static_cast<int>(files.size() - done);
      return summary;
    }
    try {
      if (edit(files[done]) == TPhotoOutcome::Changed)
        ++summary.Changed;
      else
        ++summary.Unchanged;
    } catch (const std::exception& error) {
      ++summary.Failed;
      summary.Failures.push_back({files[done], error.what()});
    }
  }
  if (progress) progress(files.size(), files.size());
  return summary;
}

std::string SummaryText(const TJobSummary& summary) {
  std::string text = std::to_string(summary.Changed) + " changed, " + std::to_string(summary.Unchanged) +
                     " unchanged, " + std::to_string(summary.Failed) + " failed";
  if (summary.Cancelled) text += ", " + std::to_string(summary.NotDone) + " not done (cancelled)";
  for (const TJobFailure& failure : summary.Failures) text += "\n" + failure.FileName + ": " + failure.Message;
  return text;
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
  const std::int64_t total = offset.Seconds < 0 ? -offset.Seconds : offset.Seconds;
  return Zorp::Base::Format("%c%lld:%.2lld:%.2lld:%.2lld", offset.Seconds < 0 ? '-' : '+',
                            static_cast<long long>(total / 86400), static_cast<long long>(total / 3600 % 24),
                            static_cast<long long>(total / 60 % 60), static_cast<long long>(total % 60));
}

TPhotoOutcome ShiftDateTimes(const std::string& fileName, const TTimeOffset& offset, const TEditOptions& options) {
  TLoadedPhoto photo(fileName, options);
  TExifData& data = photo.Data;
  if (offset.Seconds == 0) return TPhotoOutcome::Unchanged;
  // Every new value is computed before anything changes, so a date that would leave the calendar
  // refuses the photo as a whole.
  std::vector<std::pair<const TDateTimeField*, TDateTime>> shifted;
  for (const TDateTimeField& field : DateTimeFields) {
    const TDateTime value = data.PeekSection(field.Kind).GetDateTimeValue(field.ID, field.SubSecsID, 0);
    if (value != 0) shifted.emplace_back(&field, ShiftedDateTime(value, offset.Seconds));
  }
  if (shifted.empty()) return TPhotoOutcome::Unchanged;
  data.WithinUpdate([&] {
    for (const auto& [field, value] : shifted) {
      // The setter writes three sub-second digits; the tag keeps its own text instead, since only
      // whole seconds moved.
      const TExifTag* subSecs = data.PeekSection(skExif).Find(field->SubSecsID);
      const bool keep = subSecs != nullptr;
      const TTiffDataType type = keep ? subSecs->DataType() : dtAscii;
      const std::int32_t count = keep ? subSecs->ElementCount() : 0;
      const std::vector<std::uint8_t> bytes = keep ? std::vector<std::uint8_t>(subSecs->Bytes().begin(), subSecs->Bytes().end())
                                                   : std::vector<std::uint8_t>();
      (data.*(field->Setter))(value);
      if (keep) data.Sections(skExif).AddOrUpdateTag(field->SubSecsID, type, count, bytes.data());
    }
  });
  return photo.Save(fileName, options);
}

// ---------------------------------------------------------------------------------------------------
// One Standard-list value

TPhotoOutcome SetStandardValue(const std::string& fileName, const std::string& label, const std::string& value,
                               const TEditOptions& options) {
  const TPropertySetters& setters = Setters();
  const auto text = setters.Text.find(label);
  const auto date = setters.DateTimes.find(label);
  const auto integer = setters.Integers.find(label);
  if (text == setters.Text.end() && date == setters.DateTimes.end() && integer == setters.Integers.end())
    throw std::invalid_argument("\"" + label + "\" is not an editable label");
  TLoadedPhoto photo(fileName, options);
  TExifData& data = photo.Data;
  if (data.IsEmpty()) throw std::runtime_error("No Exif metadata found");
  TListRows rows;
  ListStandardData(rows, data, Zorp::Base::FormatSettings());
  const std::string newValue = Zorp::Base::Trim(value);
  const TListRow* row = FindEditableRow(rows, label);
  if (row ? row->Value() == newValue : newValue.empty()) return TPhotoOutcome::Unchanged;
  if (row && row->Kind() == rkSelect) {
    const std::vector<std::string_view> choices = Zorp::Base::SplitLines(row->SelectList());
    if (std::find(choices.begin(), choices.end(), newValue) == choices.end())
      throw std::invalid_argument("\"" + newValue + "\" is not one of the choices of " + label);
  }
  if (text != setters.Text.end()) text->second(data, newValue);
  if (date != setters.DateTimes.end()) {
    TDateTime dateTime = 0;
    if (!Zorp::Base::TryStrToDateTime(newValue, dateTime, Zorp::Base::FormatSettings()))
      throw Zorp::Base::EConvertError(SInvalidDataFormat);
    (data.*(date->second))(dateTime);
  }
  if (integer != setters.Integers.end()) {
    std::int32_t number = 0;
    if (!Zorp::Base::TryStrToInt(newValue, number) || number < 0)
      throw Zorp::Base::EConvertError(SInvalidIntegerFormat);
    (data.*(integer->second))(TOptionalLongWord{static_cast<std::uint32_t>(number), false});
  }
  return photo.Save(fileName, options);
}

}  // namespace Quorvane::Viewer
