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

}  // namespace Quorvane::Cli
