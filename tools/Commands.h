#pragma once
// The subcommands of quorvane-cli. Each writes data to out and errors to err and returns the exit
// status: 0 when every file was handled, 1 when any failed.

#include <filesystem>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "core/PhotoJobs.h"

namespace Quorvane::Cli {

// `tags [--json] [--jobs N] FILE...`: everything the Exif container holds, per file. jobs: the
// number of files read at once, 0 for one per core; the output is in argument order whatever it is.
int RunTags(const std::vector<std::string>& files, bool json, std::ostream& out, std::ostream& err,
            unsigned jobs = 0);

// `xmp [--regenerate] FILE...`: the XMP model one line per simple value, or the regenerated packet text.
int RunXmp(const std::vector<std::string>& files, bool regenerate, std::ostream& out, std::ostream& err);

// The MakerNote descriptions: the --ini file when given, else MakerNotes.ini as the viewer finds it.
std::filesystem::path MakerNotesIniPath(const std::string& iniPath);
// Loads them into ini; false, with the error line on err, for a file that is refused.
bool LoadDescriptions(const std::string& iniPath, Quorvane::Viewer::TMemIniFile& ini, std::ostream& err);

// `list [--json] [--ini PATH] FILE...`: the viewer's Standard and MakerNote lists of each file, in
// the export layout with LF line ends (a "==> FILE <==" line before each of several files) or as one
// JSON array. iniPath empty: MakerNotes.ini as the viewer finds it. 1 when any file failed to list.
// jobs as for tags.
int RunList(const std::vector<std::string>& files, bool json, const std::string& iniPath, std::ostream& out,
            std::ostream& err, unsigned jobs = 0);

// `export [--makernote] [--ini PATH] FILE OUT`: writes the list as the viewer's "Save as ..." does
// (".txt" added to an OUT without extension), replacing OUT atomically. 1 when the file could not
// be listed or OUT not written.
int RunExport(const std::string& file, const std::string& outFile, bool makerNote, const std::string& iniPath,
              std::ostream& err);

// `set [--ini PATH] FILE LABEL VALUE`: the viewer's edit of the Standard-list row of that label
// (its caption or its key), VALUE answering its dialog. 0 when saved or nothing needed saving; 1
// (message on err, file untouched) when the value is rejected or the save fails; 2 for a label that
// is not editable (the editable captions listed). A photo without Exif gets it with the edit. A file
// its format does not write takes the edit in its XMP sidecar, and out then learns: "FILE: written to
// the XMP sidecar SIDECAR".
int RunSet(const std::string& file, const std::string& label, const std::string& value, const std::string& iniPath,
           std::ostream& err, std::ostream* out = nullptr);
// The end of `set --help`: the editable rows' keys and captions, and the date forms.
std::string SetHelpFooter();

// Options of `write`.
struct TWriteOptions {
  std::string Policy;        // XMP write policy: "update-existing", "update-or-add", "remove"; empty keeps the default
  bool EnforceASCII = true;  // false: --no-ascii-check
  bool KeepModificationTime = false;  // --keep-mtime
  bool Repair = false;  // --repair: drop Exif data that could not be read instead of refusing to save
};

// `write [OPTIONS] FILE [NAME=VALUE...]`: sets the named properties in the order given and saves the
// file in place, or for a file its format does not write (a raw file) into its XMP sidecar, which
// out then learns: "FILE: written to the XMP sidecar SIDECAR". 0 when saved; 1 (message on err, file
// untouched) when a value is rejected or the file cannot be read or saved; 2 for an unknown NAME (the
// known ones listed) or policy. Copyright, Author, ImageDescription, Keywords, Title and
// DateTimeOriginal also go into the IPTC copy where the photo holds IPTC.
int RunWrite(const std::string& file, const std::vector<std::string>& assignments, const TWriteOptions& options,
             std::ostream& err, std::ostream* out = nullptr);

// Runs a photo job over the files with a line per file: "FILE: changed" or "FILE: unchanged" on
// out, "FILE: message" on err for a file that failed (and was left untouched). 1 when any failed.
int RunPhotoJobCommand(const std::vector<std::string>& files, const Quorvane::Viewer::TPhotoEdit& edit,
                       std::ostream& out, std::ostream& err);

// `shift --by OFFSET [--keep-mtime] FILE...`: moves DateTime, DateTimeOriginal and DateTimeDigitized
// of each file by OFFSET ([+|-][D:]HH:MM:SS). 2 for an invalid OFFSET.
int RunShift(const std::string& offsetText, bool keepModificationTime, const std::vector<std::string>& files,
             std::ostream& out, std::ostream& err);

// `gps [--keep-mtime] (--set LAT,LON[,ALT] | --clear) FILE...`: sets or removes the location of each
// file. 2 unless exactly one of set and clear is given, or for an invalid LAT,LON[,ALT].
int RunGps(const std::optional<std::string>& set, bool clear, bool keepModificationTime,
           const std::vector<std::string>& files, std::ostream& out, std::ostream& err);

// `csv [--columns LABEL[,LABEL...]] FILE...`: the CSV of the files' Standard-list values (the default
// columns when columnList is none). 2 for a label the Standard list does not have (the labels listed).
// jobs as for tags.
int RunCsv(const std::optional<std::string>& columnList, const std::vector<std::string>& files, std::ostream& out,
           std::ostream& err, unsigned jobs = 0);

}  // namespace Quorvane::Cli
