// `quorvane-cli list` and `quorvane-cli export`: the viewer's Standard and MakerNote lists of a
// photo, built by the same listing step as the window, as text, JSON or the window's export file.

#include <filesystem>
#include <ostream>

#include "Commands.h"
#include "FileWorkers.h"
#include "JsonWriter.h"
#include "core/DataFiles.h"
#include "core/PhotoListing.h"
#include "core/RowText.h"
#include "zorp/base/SafeFile.h"

namespace Quorvane::Cli {

using namespace Quorvane::Viewer;

namespace {

// A row as JSON: the caption without the value rows' indent; a heading or notice has only its caption.
void WriteRow(TJsonWriter& json, const TListRow& row) {
  json.BeginObject();
  json.Key("caption");
  if (!row.IsValueRow()) {
    json.String(row.Caption);
    json.EndObject();
    return;
  }
  const std::string_view caption(row.Caption);
  json.String(caption.starts_with(ValueRowIndent) ? caption.substr(ValueRowIndent.size()) : caption);
  json.Key("value");
  json.String(row.Value());
  json.Key("kind");
  json.String(row.Kind());
  json.Key("choices");
  json.String(row.SelectList());
  json.EndObject();
}

void WriteRows(TJsonWriter& json, const TListRows& rows) {
  json.BeginArray();
  for (const TListRow& row : rows) WriteRow(json, row);
  json.EndArray();
}

TFileOutput ListOfFile(const std::vector<std::string>& files, std::size_t i, bool json, const TMemIniFile& ini) {
  TFileOutput output;
  const TPhotoListing listing = ListPhoto(files[i], ini);
  if (!listing.Succeeded()) {
    output.Err = "quorvane-cli: " + files[i] + ": " + listing.Error + '\n';
    output.Failed = true;
  }
  std::string& out = output.Out;
  if (json) {
    out += i > 0 ? ",\n  " : "\n  ";
    TJsonWriter writer(out, 1);
    writer.BeginObject();
    writer.Key("file");
    writer.String(files[i]);
    writer.Key("standard");
    WriteRows(writer, listing.Standard);
    writer.Key("makernote");
    WriteRows(writer, listing.MakerNote);
    writer.EndObject();
    return output;
  }
  if (files.size() > 1) out += (i > 0 ? "\n==> " : "==> ") + files[i] + " <==\n";
  out += ListText(listing.Standard, "\n") + '\n' + ListText(listing.MakerNote, "\n");
  return output;
}

}  // namespace

std::filesystem::path MakerNotesIniPath(const std::string& iniPath) {
  return iniPath.empty() ? FindMakerNotesIni(ExecutablePath()) : std::filesystem::path(iniPath);
}

int RunList(const std::vector<std::string>& files, bool json, const std::string& iniPath, std::ostream& out,
            std::ostream& err, unsigned jobs) {
  const TMemIniFile ini(MakerNotesIniPath(iniPath));
  if (json && files.empty()) {
    out << "[]\n";
    return 0;
  }
  if (json) out << '[';
  const int status = RenderFilesInOrder(
      files.size(), [&](std::size_t i) { return ListOfFile(files, i, json, ini); }, WorkerCount(jobs, files.size()),
      out, err);
  if (json) out << "\n]\n";
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
