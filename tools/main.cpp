// quorvane-cli: inspect and edit JPEG metadata from the command line.

#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <optional>

#include "Commands.h"
#include "OutputChannel.h"
#include "QuorvaneVersion.h"

int main(int argc, char** argv) {
  CLI::App app{"quorvane-cli: JPEG metadata from the command line"};
  app.require_subcommand(1);
  app.set_version_flag("--version", "quorvane-cli " QUORVANE_VERSION, "Print the version and exit");

  std::vector<std::string> files;
  bool json = false;
  unsigned jobs = 0;
  const char* jobsHelp = "Files read at once (default: one per core)";
  CLI::App* tags = app.add_subcommand("tags", "List the Exif tags of each file, directory by directory");
  tags->add_flag("--json", json, "One JSON document instead of text");
  tags->add_option("-j,--jobs", jobs, jobsHelp);
  tags->add_option("FILE", files, "JPEG files")->required();

  bool regenerate = false;
  CLI::App* xmp = app.add_subcommand("xmp", "List the XMP values of each file");
  xmp->add_flag("--regenerate", regenerate, "Print the packet text written for the model instead");
  xmp->add_option("FILE", files, "JPEG files")->required();

  std::string iniPath;
  CLI::App* list = app.add_subcommand("list", "List each file as the viewer's Standard and MakerNote lists");
  list->add_flag("--json", json, "One JSON array instead of text");
  list->add_option("-j,--jobs", jobs, jobsHelp);
  list->add_option("--ini", iniPath, "MakerNote descriptions to use instead of MakerNotes.ini")
      ->check(CLI::ExistingFile);
  list->add_option("FILE", files, "JPEG files")->required();

  std::string file;
  std::string outFile;
  bool makerNoteList = false;
  CLI::App* exportList = app.add_subcommand("export", "Write a list as the viewer's \"Save as ...\" does");
  exportList->add_flag("--makernote", makerNoteList, "The MakerNote list instead of the Standard list");
  exportList->add_option("--ini", iniPath, "MakerNote descriptions to use instead of MakerNotes.ini")
      ->check(CLI::ExistingFile);
  exportList->add_option("FILE", file, "JPEG file")->required();
  exportList->add_option("OUT", outFile, "Text file to write")->required();

  std::string label, value;
  CLI::App* set = app.add_subcommand("set", "Edit one value as the viewer's Edit button does and save the file");
  set->add_option("--ini", iniPath, "MakerNote descriptions to use instead of MakerNotes.ini")->check(CLI::ExistingFile);
  set->add_option("FILE", file, "JPEG file")->required();
  set->add_option("LABEL", label, "The Standard-list label, as \"Camera make\", or its key, as camera-make")
      ->required();
  set->add_option("VALUE", value, "The new value, as typed into the viewer's dialog")->required();
  set->footer(Quorvane::Cli::SetHelpFooter());

  std::vector<std::string> assignments;
  Quorvane::Cli::TWriteOptions writeOptions;
  bool noAsciiCheck = false;
  CLI::App* write = app.add_subcommand("write", "Set named properties and save the file in place");
  write->add_option("--policy", writeOptions.Policy, "XMP write policy")
      ->check(CLI::IsMember({"update-existing", "update-or-add", "remove"}));
  write->add_flag("--no-ascii-check", noAsciiCheck, "Allow non-ASCII text in ASCII tags");
  write->add_flag("--keep-mtime", writeOptions.KeepModificationTime, "Keep the file's modification time");
  write->add_flag("--repair", writeOptions.Repair, "Replace Exif data that could not be read instead of refusing to save");
  write->add_option("FILE", file, "JPEG file")->required();
  write->add_option("NAME=VALUE", assignments,
                    "Properties to set, in order; an empty VALUE deletes. IPTC:NAME sets an IPTC dataset "
                    "(IPTC:City, IPTC:Keywords=a;b)");

  std::string offset;
  bool keepModificationTime = false;
  CLI::App* shift = app.add_subcommand("shift", "Shift the date-times of each file by an offset and save it in place");
  shift->add_option("--by", offset, "[+|-][D:]HH:MM:SS, such as +0:01:00:00 or -00:30:00")->required();
  shift->add_flag("--keep-mtime", keepModificationTime, "Keep each file's modification time");
  shift->add_option("FILE", files, "JPEG files")->required();

  std::optional<std::string> location;
  bool clearLocation = false;
  CLI::App* gps = app.add_subcommand("gps", "Set or remove the location of each file and save it in place");
  gps->add_flag("--keep-mtime", keepModificationTime, "Keep each file's modification time");
  gps->add_option("--set", location, "LAT,LON[,ALT]: decimal degrees, negative south and west; metres");
  gps->add_flag("--clear", clearLocation, "Remove the GPS data");
  gps->add_option("FILE", files, "JPEG files")->required();

  std::optional<std::string> columns;
  CLI::App* csv = app.add_subcommand("csv", "Write the Standard-list values of each file as CSV");
  csv->add_option("--columns", columns, "Standard-list labels or keys, comma-separated");
  csv->add_option("-j,--jobs", jobs, jobsHelp);
  csv->add_option("FILE", files, "JPEG files")->required();

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    const int status = app.exit(e);
    // --help and --version print to standard output, which may not take them.
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
      std::cerr << Quorvane::Cli::ErrorLine(std::string("cannot write the output: ") + std::strerror(errno));
      return 1;
    }
    return status == 0 ? 0 : 2;
  }

  const auto run = [&](std::ostream& out, std::ostream& err) {
    if (*tags) return Quorvane::Cli::RunTags(files, json, out, err, jobs);
    if (*list) return Quorvane::Cli::RunList(files, json, iniPath, out, err, jobs);
    if (*exportList) return Quorvane::Cli::RunExport(file, outFile, makerNoteList, iniPath, err);
    if (*set) return Quorvane::Cli::RunSet(file, label, value, iniPath, err, &out);
    if (*xmp) return Quorvane::Cli::RunXmp(files, regenerate, out, err);
    if (*shift) return Quorvane::Cli::RunShift(offset, keepModificationTime, files, out, err);
    if (*gps) return Quorvane::Cli::RunGps(location, clearLocation, keepModificationTime, files, out, err);
    if (*csv) return Quorvane::Cli::RunCsv(columns, files, out, err, jobs);
    if (*write) {
      writeOptions.EnforceASCII = !noAsciiCheck;
      return Quorvane::Cli::RunWrite(file, assignments, writeOptions, err, &out);
    }
    return 2;
  };

  // Data goes to standard output, errors to standard error; text for a terminal has its control
  // characters shown as escapes (JSON is escaped already).
  Quorvane::Cli::TOutputChannel outChannel(STDOUT_FILENO, !json && ::isatty(STDOUT_FILENO) == 1);
  Quorvane::Cli::TOutputChannel errChannel(STDERR_FILENO, ::isatty(STDERR_FILENO) == 1);
  std::ostream out(&outChannel);
  std::ostream err(&errChannel);
  int status = 2;
  try {
    status = run(out, err);
  } catch (const std::exception& e) {
    err << Quorvane::Cli::ErrorLine(e.what());
    status = 1;
  } catch (...) {
    err << Quorvane::Cli::ErrorLine("unexpected error");
    status = 1;
  }
  out.flush();
  if (!outChannel.Close()) {
    err << Quorvane::Cli::ErrorLine(std::string("cannot write the output: ") + std::strerror(outChannel.Error()));
    if (status == 0) status = 1;
  }
  err.flush();
  return status;
}
