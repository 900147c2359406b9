// `quorvane-cli list` and `quorvane-cli export`: the viewer's Standard and MakerNote lists of a
// photo (and, as JSON, its Summary), built by the same listing step as the window, as text, JSON or the window's export
// file.

#include <algorithm>
#include <filesystem>
#include <ostream>

#include "Commands.h"
#include "FileWorkers.h"
#include "JsonWriter.h"
#include "OutputChannel.h"
#include "core/DataFiles.h"
#include "core/PhotoListing.h"
#include "core/RowText.h"
#include "zorp/base/SafeFile.h"

namespace Quorvane::Cli {

using namespace Quorvane::Viewer;

namespace {

// A row as JSON: the caption without the value rows' indent and the key of a Standard row; a
// heading or notice has only its caption.
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
  if (!row.Key.empty()) {
    json.Key("key");
    json.String(row.Key);
  }
  json.Key("value");
  json.String(row.Value());
  json.Key("kind");
  json.String(row.Kind());
  json.Key("choices");
  json.String(row.SelectList());
  json.EndObject();
}

// The Summary as caption and value pairs; its rows are all value rows.
void WriteSummary(TJsonWriter& json, const TListRows& rows) {
  json.BeginArray();
  for (const TListRow& row : rows) {
    json.BeginObject();
    json.Key("caption");
    json.String(std::string_view(row.Caption).substr(std::min(row.Caption.size(), ValueRowIndent.size())));
    json.Key("value");
    json.String(row.Value());
    json.EndObject();
  }
  json.EndArray();
}

void WriteRows(TJsonWriter& json, const TListRows& rows) {
  json.BeginArray();
  for (const TListRow& row : rows) WriteRow(json, row);
  json.EndArray();
}

// The rows a listing read; a failed one ends in the window's notice, which is an error, not data.
TListRows DataRows(const TPhotoListing& listing) {
  TListRows rows = listing.Standard;
  if (!listing.Succeeded() && !rows.empty() && !rows.back().IsValueRow()) rows.pop_back();
  return rows;
}

TFileOutput ListOfFile(const std::vector<std::string>& files, std::size_t i, bool json, const TMemIniFile& ini) {
  TFileOutput output;
  const TPhotoListing listing = ListPhoto(files[i], ini);
  const TListRows standard = DataRows(listing);
  if (listing.Data && !listing.Data->RecoveryNote().empty())
    output.Err = ErrorLine(files[i], listing.Data->RecoveryNote());
  if (!listing.Succeeded()) {
    output.Err += ErrorLine(files[i], listing.Error);
    output.Failed = true;
  }
  std::string& out = output.Out;
  if (json) {
    out += i > 0 ? ",\n  " : "\n  ";
    TJsonWriter writer(out, 1);
    writer.BeginObject();
    writer.Key("file");
    writer.String(files[i]);
    writer.Key("summary");
    WriteSummary(writer, listing.Summary);
    writer.Key("standard");
    WriteRows(writer, standard);
    writer.Key("makernote");
    WriteRows(writer, listing.MakerNote);
    writer.EndObject();
    return output;
  }
  // A file of which nothing could be read has no text.
  if (standard.empty() && listing.MakerNote.empty()) return output;
  if (files.size() > 1) out += (i > 0 ? "\n==> " : "==> ") + MarkLineBreaks(files[i]) + " <==\n";
  out += ListText(standard, "\n") + '\n' + ListText(listing.MakerNote, "\n");
  return output;
}

}  // namespace

std::filesystem::path MakerNotesIniPath(const std::string& iniPath) {
  return iniPath.empty() ? FindMakerNotesIni(ExecutablePath()) : std::filesystem::path(iniPath);
}

int RunList(const std::vector<std::string>& files, bool json, const std::string& iniPath, std::ostream& out,
            std::ostream& err, unsigned jobs) {
  TMemIniFile ini;
  if (!LoadDescriptions(iniPath, ini, err)) return 1;
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

bool LoadDescriptions(const std::string& iniPath, TMemIniFile& ini, std::ostream& err) {
  try {
    ini.LoadFromFile(MakerNotesIniPath(iniPath));
  } catch (const std::exception& e) {
    err << ErrorLine(e.what());  // "FILE: reason"
    return false;
  }
  return true;
}

int RunExport(const std::string& file, const std::string& outFile, bool makerNote, const std::string& iniPath,
              std::ostream& err) {
  TMemIniFile ini;
  if (!LoadDescriptions(iniPath, ini, err)) return 1;
  const TPhotoListing listing = ListPhoto(file, ini);
  if (listing.Data && !listing.Data->RecoveryNote().empty()) err << ErrorLine(file, listing.Data->RecoveryNote());
  if (!listing.Succeeded()) {
    err << ErrorLine(file, listing.Error);
    return 1;
  }
  const std::string text = ExportText(makerNote ? listing.MakerNote : listing.Standard);
  const std::string target = WithDefaultExtension(outFile);
  try {
    Zorp::Base::SafeWriteFile(target, text.data(), static_cast<std::int64_t>(text.size()));
  } catch (const std::exception& e) {
    err << ErrorLine(target, e.what());
    return 1;
  }
  return 0;
}

}  // namespace Quorvane::Cli
