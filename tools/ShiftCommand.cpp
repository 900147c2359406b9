// `quorvane-cli shift`: moves the date-times of many photos by one offset, through the same job the
// window runs. Also the per-file report that `gps` shares.

#include <ostream>

#include "Commands.h"
#include "OutputChannel.h"
#include "core/PhotoJobs.h"
#include "core/RowText.h"

namespace Quorvane::Cli {

using namespace Quorvane::Viewer;

int RunPhotoJobCommand(const std::vector<std::string>& files, const TPhotoEdit& edit, std::ostream& out,
                       std::ostream& err) {
  const TJobSummary summary = RunPhotoJob(files, [&](const std::string& file) {
    const TPhotoOutcome outcome = edit(file);
    out << MarkLineBreaks(file) << (outcome == TPhotoOutcome::Changed ? ": changed\n" : ": unchanged\n");
    for (const std::string& note : outcome.Notes) out << MarkLineBreaks(file) << ": " << note << '\n';
    return outcome;
  });
  // Told once the job is done: an edit that met a change by another program was tried again, and
  // only its last failure counts.
  for (const TJobFailure& failure : summary.Failures) err << ErrorLine(failure.FileName, failure.Message);
  // A photo saved without its former file date was not done as asked either.
  return summary.Failed > 0 || summary.FileDatesLost > 0 ? 1 : 0;
}

int RunShift(const std::string& offsetText, bool keepModificationTime, const std::vector<std::string>& files,
             std::ostream& out, std::ostream& err) {
  TTimeOffset offset;
  if (!ParseTimeOffset(offsetText, offset)) {
    err << ErrorLine("invalid offset \"" + offsetText +
                     "\"; expected [+|-][D:]HH:MM:SS, such as +0:01:00:00 or -00:30:00");
    return 2;
  }
  const TEditOptions options{keepModificationTime};
  return RunPhotoJobCommand(
      files, [&](const std::string& file) { return ShiftDateTimes(file, offset, options); }, out, err);
}

}  // namespace Quorvane::Cli
