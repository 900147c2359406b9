// `quorvane-cli csv`: the Standard-list values of many photos as CSV, through the same listing the
// window shows.

#include <algorithm>
#include <ostream>

#include "Commands.h"
#include "core/PhotoJobs.h"
#include "zorp/base/TextEncoding.h"

namespace Quorvane::Cli {

using namespace Quorvane::Viewer;

int RunCsv(const std::optional<std::string>& columnList, const std::vector<std::string>& files, std::ostream& out,
           std::ostream& err) {
  std::vector<std::string> columns = DefaultCsvColumns();
  if (columnList) {
    columns.clear();
    std::size_t start = 0;
    for (std::size_t comma = 0; comma != std::string::npos; start = comma + 1) {
      comma = columnList->find(',', start);
      columns.push_back(Zorp::Base::Trim(std::string_view(*columnList).substr(start, comma - start)));
    }
  }
  const std::vector<std::string>& labels = CsvColumnLabels();
  for (const std::string& column : columns)
    if (std::find(labels.begin(), labels.end(), column) == labels.end()) {
      err << "quorvane-cli: unknown column \"" << column << "\"; the labels are:\n";
      for (const std::string& label : labels) err << "  " << label << '\n';
      return 2;
    }
  // Only the Standard list is read, so no MakerNote descriptions are needed.
  const std::vector<TJobFailure> failures = WriteCsv(out, files, columns, TMemIniFile());
  for (const TJobFailure& failure : failures) err << failure.FileName << ": " << failure.Message << '\n';
  return failures.empty() ? 0 : 1;
}

}  // namespace Quorvane::Cli
