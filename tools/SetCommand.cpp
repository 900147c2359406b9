// `quorvane-cli set`: one edit of a Standard-list row, made by the viewer's own controller with the
// dialogs answered from the command line, so validation, trimming, the property set and the save
// are the window's.

#include <algorithm>
#include <ostream>

#include "Commands.h"
#include "OutputChannel.h"
#include "core/ExifFormController.h"
#include "core/PropertySetters.h"
#include "core/RowText.h"
#include "core/StandardListing.h"
#include "zorp/base/FileLock.h"
#include "zorp/base/TextEncoding.h"
#include "zorp/exif/MetadataFile.h"

namespace Quorvane::Cli {

using namespace Quorvane::Viewer;

namespace {

// Every dialog the edit opens is answered with the value; a message the window would show is kept.
class TCommandLineAnswers final : public TLocalFileSystem {
 public:
  explicit TCommandLineAnswers(std::string value) : FValue(std::move(value)) {}

  std::vector<std::string> Messages;

  bool InputQuery(const std::string&, const std::string&, std::string& value) override {
    value = FValue;
    return true;
  }
  bool InputSelect(const std::string&, const std::string&, std::string& value, const std::string& choices) override {
    const std::vector<std::string_view> options = Zorp::Base::SplitLines(choices);
    const std::string wanted = Zorp::Base::Trim(FValue);
    for (const std::string_view option : options)
      if (option == wanted) {
        value = option;
        return true;
      }
    std::string list;
    for (const std::string_view option : options) list += (list.empty() ? "" : ", ") + std::string(option);
    Messages.push_back("\"" + FValue + "\" is not one of: " + list);
    return false;
  }
  TDialogAnswer AskYesNoCancel(const std::string&) override {
    if (FValue == "Yes") return TDialogAnswer::Yes;
    if (FValue == "No") return TDialogAnswer::No;
    Messages.push_back("Answer Yes or No");
    return TDialogAnswer::Cancel;
  }
  void ShowError(const std::string& message) override { Messages.push_back(message); }
  bool PickFolder(const std::string&, std::string&) override { return false; }
  bool SaveDialog(std::string&) override { return false; }
  void SetClipboardText(const std::string&) override {}
  void OpenURL(const std::string&) override {}

 private:
  std::string FValue;
};

}  // namespace

int RunSet(const std::string& file, const std::string& label, const std::string& value, const std::string& iniPath,
           std::ostream& err, std::ostream* out) {
  // Held from the load to the save, so that a second writer waits instead of racing.
  const Zorp::Base::TFileLock lock(file);
  TCommandLineAnswers answers(value);
  TExifFormController controller(answers);
  controller.FormCreate(MakerNotesIniPath(iniPath));
  if (!answers.Messages.empty()) {  // the descriptions were refused
    for (const std::string& message : answers.Messages) err << ErrorLine(message);
    return 1;
  }
  if (!controller.LoadPhoto(file)) {
    // The window shows the reason as the list's last row, after its notice.
    const std::string notice = "Could not read the metadata: ";
    std::string reason = controller.Rows(lkStandard).back().Caption;
    if (reason.starts_with(notice)) reason.erase(0, notice.size());
    err << ErrorLine(file, reason);
    return 1;
  }
  if (controller.FileName().empty()) {
    err << ErrorLine(file, "No Exif metadata found");
    return 1;
  }
  // The first row of that key or caption whose kind allows editing (several directories have a
  // load status).
  const TListRows& rows = controller.Rows(lkStandard);
  const std::string_view key = StandardRowKey(label);
  int found = -1;
  std::vector<std::string> editable;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    if (!rows[i].IsValueRow() || rows[i].Kind().empty()) continue;
    const std::string caption = Zorp::Base::Trim(rows[i].Caption);
    if (found < 0 && !key.empty() && rows[i].Key == key) found = static_cast<int>(i);
    if (std::find(editable.begin(), editable.end(), caption) == editable.end()) editable.push_back(caption);
  }
  if (const std::string why = NotEditableMessage(label); found < 0 && !why.empty()) {
    err << "quorvane-cli: " << why << '\n';
    return 2;
  }
  if (found < 0) {
    err << ErrorLine("\"" + label + "\" is not an editable label; the editable labels are:");
    for (const std::string& caption : editable) err << "  " << caption << '\n';
    return 2;
  }
  controller.StandardListViewSelectItem(lkStandard, found);
  controller.EditButtonClick();
  for (const std::string& message : answers.Messages) err << ErrorLine(file, message);
  if (!answers.Messages.empty()) return 1;
  // A file that is not written took the edit in its sidecar.
  Zorp::Exif::TMetadataFile* photo = controller.PhotoFile();
  if (out && photo && !photo->WritesInPlace() && controller.StatusMessage().starts_with("Saved "))
    *out << MarkLineBreaks(file) << ": written to the XMP sidecar " << MarkLineBreaks(photo->SidecarFileName())
         << '\n';
  return 0;
}

std::string SetHelpFooter() {
  std::string text = "The rows an edit may change, by key and caption (either names the row):\n";
  for (const TStandardRow& row : StandardRows())
    if (HasPropertySetter(std::string(row.Key)) || row.Key == "loaded-cleanly")
      text += "  " + std::string(row.Key) + std::string(std::max<std::size_t>(2, 22 - row.Key.size()), ' ') +
              std::string(row.Caption) + '\n';
  return text + "Dates as YYYY-MM-DD HH:MM:SS, YYYY:MM:DD HH:MM:SS or ISO 8601 (2024-05-03T14:22:07+02:00).";
}

}  // namespace Quorvane::Cli
