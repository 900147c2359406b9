#pragma once
// Everything the viewer's controller asks of the platform: dialogs, the clipboard, the shell and
// the file system. The window implements it with its toolkit; tests and the command-line companion
// with stubs. TLocalFileSystem supplies the file-system part from the local disk.

#include <functional>
#include <string>
#include <vector>

#include "core/PhotoJobs.h"

namespace Quorvane::Viewer {

enum class TDialogAnswer { Ok, Cancel, Yes, No };

// The Set location dialog's fields as typed.
struct TLocationText {
  std::string Latitude, Longitude, Altitude;
};

class IViewerServices {
 public:
  virtual ~IViewerServices() = default;

  // The folder picker, captioned "Select a directory", starting at startFolder when it exists.
  // False on Cancel.
  virtual bool PickFolder(const std::string& startFolder, std::string& chosen) = 0;
  // A one-line text input; value holds the current text and receives the new one. False on Cancel.
  virtual bool InputQuery(const std::string& caption, const std::string& prompt, std::string& value) = 0;
  // The InputSelect dialog: a drop-down of the CR LF separated choices, the current value
  // preselected. False on Cancel.
  virtual bool InputSelect(const std::string& caption, const std::string& prompt, std::string& value,
                           const std::string& choices) = 0;
  // A question without icon with the buttons Yes, No and Cancel.
  virtual TDialogAnswer AskYesNoCancel(const std::string& text) = 0;
  // An error message with an OK button; also the report of a failed action.
  virtual void ShowError(const std::string& message) = 0;
  // The save dialog for an export: default extension "txt", the filter
  // "TEXT files (*.txt)|*.txt|Any file (*.*)|*.*", no overwrite prompt. fileName holds the
  // suggested path (folder and name) and receives the chosen one. False on Cancel.
  virtual bool SaveDialog(std::string& fileName) = 0;
  virtual void SetClipboardText(const std::string& text) = 0;
  // Opens the address in the user's browser.
  virtual void OpenURL(const std::string& url) = 0;

  // The services of the Tools menu and the edit of many photos. Without a window they decline:
  // No, no message, Cancel, and work run at once on the calling thread without cancel.

  // A question without icon with the buttons Yes and No; true on Yes.
  virtual bool AskYesNo(const std::string& text);
  // An information message with an OK button.
  virtual void ShowMessage(const std::string& text);
  // A job's report: the first line sums up, the lines after it (one a photo) may be many; failed
  // when some of the work failed. ShowMessage unless overridden.
  virtual void ShowReport(const std::string& text, bool failed);
  // The Shift date/time dialog: a signed offset in days, hours, minutes and seconds, preset to
  // offset. False on Cancel.
  virtual bool InputTimeOffset(TTimeOffset& offset);
  // The Set location dialog: latitude and longitude as typed and an altitude in metres that may be
  // left empty; the fields hold the texts given and receive the new ones. False on Cancel.
  virtual bool InputLocation(TLocationText& location);
  // The save dialog for a CSV listing: default extension "csv", overwrite prompt; fileName as for
  // SaveDialog. False on Cancel.
  virtual bool SaveCsvDialog(std::string& fileName);
  // Runs work off the GUI thread behind a progress dialog captioned title, and returns when it has
  // ended. work reports through the callback it gets, which returns false once the user cancelled.
  // What work throws is thrown here.
  virtual void RunWithProgress(const std::string& title, const std::function<void(const TJobProgress&)>& work);
  // RunPhotoJob over the files through RunWithProgress.
  TJobSummary RunJob(const std::string& title, const std::vector<std::string>& files, const TPhotoEdit& edit);

  // The user's Pictures folder (which may not exist) and home folder.
  virtual std::string PicturesFolder() = 0;
  virtual std::string HomeFolder() = 0;
  // The names of the entries of a folder (none when it cannot be read).
  virtual std::vector<std::string> FolderEntries(const std::string& folder) = 0;
  virtual bool FileExists(const std::string& path) = 0;
  virtual bool DirectoryExists(const std::string& path) = 0;
};

// The file-system services on the local disk; PicturesFolder follows the XDG user folders.
class TLocalFileSystem : public IViewerServices {
 public:
  std::string PicturesFolder() override;
  std::string HomeFolder() override;
  std::vector<std::string> FolderEntries(const std::string& folder) override;
  bool FileExists(const std::string& path) override;
  bool DirectoryExists(const std::string& path) override;
};

}  // namespace Quorvane::Viewer
