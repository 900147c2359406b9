// `quorvane-cli gps`: sets or removes the location of many photos, through the same jobs the window
// runs.

#include <ostream>

#include "Commands.h"
#include "OutputChannel.h"
#include "core/PhotoJobs.h"

namespace Quorvane::Cli {

using namespace Quorvane::Viewer;

int RunGps(const std::optional<std::string>& set, bool clear, bool keepModificationTime,
           const std::vector<std::string>& files, std::ostream& out, std::ostream& err) {
  if (set.has_value() == clear) {
    err << ErrorLine("gps takes exactly one of --set LAT,LON[,ALT] and --clear");
    return 2;
  }
  TLocation location;
  if (set && !ParseLocation(*set, location)) {
    err << ErrorLine("invalid location \"" + *set +
                     "\"; expected LAT,LON[,ALT] in decimal degrees (-90..90, -180..180, negative south and west) "
                     "and metres (negative below sea level)");
    return 2;
  }
  const TEditOptions options{keepModificationTime};
  return RunPhotoJobCommand(
      files,
      [&](const std::string& file) {
        return set ? SetLocation(file, location, options) : RemoveLocation(file, options);
      },
      out, err);
}

}  // namespace Quorvane::Cli
