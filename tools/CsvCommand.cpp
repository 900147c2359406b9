// `quorvane-cli csv`: the Standard-list values of many photos as CSV, through the same listing the
// window shows.

#include <algorithm>
#include <ostream>

#include "Commands.h"
#include "FileWorkers.h"
#include "OutputChannel.h"
#include "core/PhotoJobs.h"
#include "zorp/base/TextEncoding.h"

namespace Quorvane::Cli {

using namespace Quorvane::Viewer;

int RunCsv(const std::optional<std::string>& columnList, const std::vector<std::string>& files, std::ostream& out,
           std::ostream& err, unsigned jobs) {
  std::vector<std::string> columns = DefaultCsvColumns();
  if (columnList) {
    columns.clear();
    std::size_t start = 0;
    for (std::size_t comma = 0; comma != std::string::npos; start = comma + 1) {
      comma = columnList->find(',', start);
      columns.push_back(Zorp::Base::Trim(std::string_view(*columnList).substr(start, comma - start)));
    }
  }
  for (const std::string& column : columns)
    if (!IsCsvColumn(column)) {
      err << ErrorLine("unknown column \"" + column + "\"; the labels are:");
      for (const std::string& label : CsvColumnLabels()) err << "  " << label << '\n';
      return 2;
    }
  // Only the Standard list is read, so no MakerNote descriptions are needed. The lines are built on
  // a few worker threads and written in the order of the files.
  const TMemIniFile noDescriptions;
  out << CsvHeader(columns);
  return RenderFilesInOrder(
      files.size(),
      [&](std::size_t i) {
        TJobFailure failure;
        TFileOutput output{CsvLine(files[i], columns, noDescriptions, failure), "", false};
        if (!failure.Message.empty()) {
          output.Err = ErrorLine(failure.FileName, failure.Message);
          output.Failed = true;
        }
        return output;
      },
      WorkerCount(jobs, files.size()), out, err);
}

}  // namespace Quorvane::Cli
