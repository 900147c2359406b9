// quorvane-cli: inspect and edit JPEG metadata from the command line.

#include <CLI/CLI.hpp>
#include <iostream>

#include "Commands.h"

int main(int argc, char** argv) {
  CLI::App app{"quorvane-cli: JPEG metadata from the command line"};
  app.require_subcommand(1);

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
  set->add_option("LABEL", label, "The Standard-list label, as \"Camera make\"")->required();
  set->add_option("VALUE", value, "The new value, as typed into the viewer's dialog")->required();

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
  write->add_option("NAME=VALUE", assignments, "Properties to set, in order; an empty VALUE deletes");

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    const int status = app.exit(e);
    return status == 0 ? 0 : 2;
  }

  std::ios::sync_with_stdio(false);
  if (*tags) return Quorvane::Cli::RunTags(files, json, std::cout, std::cerr, jobs);
  if (*list) return Quorvane::Cli::RunList(files, json, iniPath, std::cout, std::cerr, jobs);
  if (*exportList) return Quorvane::Cli::RunExport(file, outFile, makerNoteList, iniPath, std::cerr);
  if (*set) return Quorvane::Cli::RunSet(file, label, value, iniPath, std::cerr);
  if (*xmp) return Quorvane::Cli::RunXmp(files, regenerate, std::cout, std::cerr);
  if (*write) {
    writeOptions.EnforceASCII = !noAsciiCheck;
    return Quorvane::Cli::RunWrite(file, assignments, writeOptions, std::cerr);
  }
  return 2;
}
