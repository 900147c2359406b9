#pragma once
// The subcommands of quorvane-cli. Each writes data to out and errors to err and returns the exit
// status: 0 when every file was handled, 1 when any failed.

#include <iosfwd>
#include <string>
#include <vector>

namespace Quorvane::Cli {

// `tags [--json] FILE...`: everything the Exif container holds, per file.
int RunTags(const std::vector<std::string>& files, bool json, std::ostream& out, std::ostream& err);

// `xmp [--regenerate] FILE...`: the XMP model one line per simple value, or the regenerated packet text.
int RunXmp(const std::vector<std::string>& files, bool regenerate, std::ostream& out, std::ostream& err);

// Options of `write`.
struct TWriteOptions {
  std::string Policy;        // XMP write policy: "update-existing", "update-or-add", "remove"; empty keeps the default
  bool EnforceASCII = true;  // false: --no-ascii-check
  bool KeepModificationTime = false;  // --keep-mtime
  bool Repair = false;  // --repair: drop Exif data that could not be read instead of refusing to save
};

// `write [OPTIONS] FILE [NAME=VALUE...]`: sets the named properties in the order given and saves the
// file in place. 0 when saved; 1 (message on err, file untouched) when a value is rejected or the
// file cannot be read or saved; 2 for an unknown NAME (the known ones listed) or policy.
int RunWrite(const std::string& file, const std::vector<std::string>& assignments, const TWriteOptions& options,
             std::ostream& err);

}  // namespace Quorvane::Cli
