#pragma once
// Jobs over many photos: shifting the date-times, setting or removing the location, setting one
// Standard-list value, and the CSV listing. The window runs them off its GUI thread with a
// progress dialog; quorvane-cli runs the same code. Every photo is loaded, edited, saved atomically
// and verified on its own: a failure is recorded with its message and leaves that photo untouched,
// and never stops the others.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/IniFile.h"

namespace Quorvane::Viewer {

// ---- outcome of a job over many photos ----
// One photo's outcome: changed or unchanged, and notes a user should read about it (what the edit
// could not do), in the order they arose. Compares with TPhotoOutcome::Changed and ::Unchanged.
struct TPhotoOutcome {
  enum TKind { Changed, Unchanged };
  TKind Kind = Unchanged;
  std::vector<std::string> Notes;
  // Saved, but the file's former dates could not be given back (one of the notes says why).
  bool FileDateLost = false;

  // Implicit, so that an edit may return a bare kind.
  TPhotoOutcome(TKind kind = Unchanged, std::vector<std::string> notes = {}) : Kind(kind), Notes(std::move(notes)) {}
  bool operator==(TKind kind) const { return Kind == kind; }
  bool operator==(const TPhotoOutcome&) const = default;
  friend std::ostream& operator<<(std::ostream& out, const TPhotoOutcome& outcome);
};

struct TJobFailure {
  std::string FileName;
  std::string Message;
};

struct TJobSummary {
  int Changed = 0;
  int Unchanged = 0;
  int Failed = 0;
  int NotDone = 0;  // photos left untouched because the job was cancelled
  bool Cancelled = false;
  std::vector<TJobFailure> Failures;  // in the order of the files
  std::vector<TJobFailure> Notes;     // each photo's outcome notes, in the order of the files
  int FileDatesLost = 0;              // photos saved whose former file dates could not be given back
};

// One photo's edit: loads, edits and saves the file, or throws (the file untouched).
using TPhotoEdit = std::function<TPhotoOutcome(const std::string& fileName)>;
// Called before each photo with the count done so far and the total, and once more at the end;
// returning false cancels the photos not yet started (and no call follows).
using TJobProgress = std::function<bool(std::size_t done, std::size_t total)>;

// Runs edit on each file in order and sums up; a std::exception from one photo is recorded with its
// message and the job goes on. The notes of each outcome are collected with the photo's file name.
TJobSummary RunPhotoJob(const std::vector<std::string>& files, const TPhotoEdit& edit,
                        const TJobProgress& progress = {});

// The summary as the window's closing message shows it: the counts ("3 changed, 1 unchanged,
// 1 failed", then ", 2 not done (cancelled)" after a cancel), then one "file: message" line per
// failure, then one per note.
std::string SummaryText(const TJobSummary& summary);

// What a photo's report says when the save worked but the file's former dates could not be given
// back: "saved, but its file date could not be kept: " and the system's reason for error.
std::string FileDateNotKeptText(int error);

// ---- options every edit takes ----
struct TEditOptions {
  bool KeepFileDates = false;  // give the rewritten file the original's modification time
};

// ---- shifting the date-times ----
// A signed offset; the text form is [+|-][D:]HH:MM:SS, e.g. "-0:01:30:00" or "+2:00:00:00".
struct TTimeOffset {
  std::int64_t Seconds = 0;
};
// False for text that is not of that form (hours 0-23, minutes and seconds 0-59).
bool ParseTimeOffset(const std::string& text, TTimeOffset& offset);
std::string TimeOffsetText(const TTimeOffset& offset);

// Shifts DateTime, DateTimeOriginal and DateTimeDigitized where present (their sub-second tags
// untouched, a missing one stays missing) and every XMP copy of them the photo holds (XMPDateCopies),
// each from its own value and in its own precision, fraction and zone (TryShiftXMPDate), also where
// the Exif date is missing. Unchanged when there is none or the offset is zero. A date that would
// leave the years 1 to 9999 refuses the photo as a whole.
TPhotoOutcome ShiftDateTimes(const std::string& fileName, const TTimeOffset& offset, const TEditOptions& options);

// ---- the location ----
struct TLocation {
  double Latitude = 0;   // decimal degrees, negative south, -90..90
  double Longitude = 0;  // decimal degrees, negative west, -180..180
  std::optional<double> Altitude;  // metres, negative below sea level
};
// A latitude or longitude as typed: decimal degrees ("-33.8568") or degrees, minutes and seconds
// with a hemisphere letter ("33°51'24.5\"S", "33 51 24.5 S", "151d12m30sE"). False for other text
// or a value out of range.
bool ParseCoordinate(const std::string& text, bool latitude, double& degrees);
// "LAT,LON[,ALT]" in decimal degrees and metres, as quorvane-cli gps --set takes it.
bool ParseLocation(const std::string& text, TLocation& location);

// Writes the GPS directory the standard way (version 2.3.0.0, references, rationals) and its XMP
// mirrors. Unchanged when the photo already holds that location.
TPhotoOutcome SetLocation(const std::string& fileName, const TLocation& location, const TEditOptions& options);
// Removes the GPS directory and every XMP property that holds a position or an altitude
// (IsXMPLocationProperty), nothing else. Unchanged when there are none. An XMP packet that cannot be
// read is kept as it is; when its text names a position or altitude, the outcome carries the note
// "location kept in an unreadable XMP packet".
TPhotoOutcome RemoveLocation(const std::string& fileName, const TEditOptions& options);

// Whether an XMP property holds a position or an altitude, by its local name in any namespace:
// a name that starts with "GPS" (in any letter case) and speaks of Latitude, Longitude (also the
// misspelt "Longtitude"), Altitude, Position or Coordinates; every "GPS" name of the Exif schemas
// (exif:, exifEX:), which mirror the GPS directory as a whole; and AbsoluteAltitude and
// RelativeAltitude (drone flight logs). Fields of structures (Iptc4xmpExt:LocationCreated) count too.
bool IsXMPLocationProperty(std::string_view namespaceURI, std::string_view name);

// ---- one Standard-list value on many photos ----
// Sets the value of the Standard-list row of that key or caption as the viewer's edit does (the
// value already validated for the row's kind) and saves. Unchanged when the photo already shows it.
// A photo without Exif gets it with the edit.
// Throws std::invalid_argument for a label that cannot be edited (before the photo is read; for a
// row every save sets, with NotEditableMessage), and EConvertError ("Invalid data format", or the
// refusal of a date-time that cannot be stored) for a value of the wrong kind.
TPhotoOutcome SetStandardValue(const std::string& fileName, const std::string& label, const std::string& value,
                               const TEditOptions& options);

// ---- CSV ----
// The default columns: Camera make, Camera model, Date/time original, Exposure time, F number,
// ISO speed rating(s), Focal length, GPS latitude, GPS longitude, Latitude, Longitude, Orientation.
const std::vector<std::string>& DefaultCsvColumns();
// The labels a column may name: every label the Standard list can show, and "Latitude" and
// "Longitude" (signed decimal degrees). In place of the Standard list's text, Exposure time, F number
// and Focal length read as the Summary list shows them ("1/167 s", "f/1.8", "24 mm") and Exposure
// bias value as a number with at most two decimals ("-0.33").
const std::vector<std::string>& CsvColumnLabels();
// Whether a column names a row: one of CsvColumnLabels, or the key of a Standard row (headed by
// the row's caption all the same).
bool IsCsvColumn(const std::string& column);
// RFC 4180 CSV, UTF-8, CR LF: the header "File,<labels>", then per photo its path and the value
// text of the Standard-list row of each label (empty when there is none). A cell beginning with
// "=", "+", "-", "@", TAB or CR gets a leading apostrophe unless it is a plain signed decimal number. A photo that fails to
// load still gets its row with the values read so far; failures are returned for reporting.
// The header line "File,<labels>" and one photo's line, each ending in CR LF. A photo that fails
// to load gets its line with the values read so far and the failure in failure (empty Message
// when it loaded). WriteCsv is made of these; quorvane-cli csv builds the lines on several threads.
std::string CsvHeader(const std::vector<std::string>& columns);
std::string CsvLine(const std::string& file, const std::vector<std::string>& columns, const TMemIniFile& ini,
                    TJobFailure& failure);
std::vector<TJobFailure> WriteCsv(std::ostream& out, const std::vector<std::string>& files,
                                  const std::vector<std::string>& columns, const TMemIniFile& ini,
                                  const TJobProgress& progress = {});

}  // namespace Quorvane::Viewer
