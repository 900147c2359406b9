// `quorvane-cli list` and `quorvane-cli export`: the viewer's Standard and MakerNote lists of a
// photo, built by the same listing step as the window, as text, JSON or the window's export file.

#include <filesystem>
#include <nlohmann/json.hpp>
#include <ostream>

#include "Commands.h"
#include "core/DataFiles.h"
#include "core/PhotoListing.h"
#include "core/RowText.h"
#include "zorp/base/SafeFile.h"

namespace Quorvane::Cli {

using namespace Quorvane::Viewer;

namespace {

using Json = nlohmann::ordered_json;

// A row as JSON: the caption without the value rows' indent; a heading or notice has only its caption.
Json RowJson(const TListRow& row) {
  if (!row.IsValueRow()) return Json{{"caption", row.Caption}};
  const std::string caption =
      row.Caption.starts_with(ValueRowIndent) ? row.Caption.substr(ValueRowIndent.size()) : row.Caption;
  return Json{{"caption", caption}, {"value", row.Value()}, {"kind", row.Kind()}, {"choices", row.SelectList()}};
}

Json RowsJson(const TListRows& rows) {
  Json list = Json::array();
  for (const TListRow& row : rows) list.push_back(RowJson(row));
  return list;
}

}  // namespace

std::filesystem::path MakerNotesIniPath(const std::string& iniPath) {
  return iniPath.empty() ? FindMakerNotesIni(ExecutablePath()) : std::filesystem::path(iniPath);
}

int RunList(const std::vector<std::string>& files, bool json, const std::string& iniPath, std::ostream& out,
            std::ostream& err) {
  const TMemIniFile ini(MakerNotesIniPath(iniPath));
  int status = 0;
  Json documents = Json::array();
  for (std::size_t i = 0; i < files.size(); ++i) {
    const TPhotoListing listing = ListPhoto(files[i], ini);
    if (!listing.Succeeded()) {
      err << "quorvane-cli: " << files[i] << ": " << listing.Error << '\n';
      status = 1;
    }
    if (json) {
      documents.push_back(
          Json{{"file", files[i]}, {"standard", RowsJson(listing.Standard)}, {"makernote", RowsJson(listing.MakerNote)}});
      continue;
    }
    if (files.size() > 1) out << (i > 0 ? "\n" : "") << "==> " << files[i] << " <==\n";
    out << ListText(listing.Standard, "\n") << '\n' << ListText(listing.MakerNote, "\n");
  }
  if (json) out << documents.dump(2, ' ', false, Json::error_handler_t::replace) << '\n';
  return status;
}

int RunExport(const std::string& file, const std::string& outFile, bool makerNote, const std::string& iniPath,
              std::ostream& err) {
  const TPhotoListing listing = ListPhoto(file, TMemIniFile(MakerNotesIniPath(iniPath)));
  if (!listing.Succeeded()) {
    err << "quorvane-cli: " << file << ": " << listing.Error << '\n';
    return 1;
  }
  const std::string text = ExportText(makerNote ? listing.MakerNote : listing.Standard);
  const std::string target = WithDefaultExtension(outFile);
  try {
    Zorp::Base::SafeWriteFile(target, text.data(), static_cast<std::int64_t>(text.size()));
  } catch (const std::exception& e) {
    err << "quorvane-cli: " << target << ": " << e.what() << '\n';
    return 1;
  }
  return 0;
}

}  // namespace Quorvane::Cli
