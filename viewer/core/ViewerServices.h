#pragma once
// Everything the viewer's controller asks of the platform: dialogs, the clipboard, the shell and
// the file system. The window implements it with its toolkit; tests and the command-line companion
// with stubs. TLocalFileSystem supplies the file-system part from the local disk.

#include <string>
#include <vector>

namespace Quorvane::Viewer {

enum class TDialogAnswer { Ok, Cancel, Yes, No };

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
  // "TEXT files (*.txt)|*.txt|Any file (*.*)|*.*", no overwrite prompt. False on Cancel.
  virtual bool SaveDialog(std::string& fileName) = 0;
  virtual void SetClipboardText(const std::string& text) = 0;
  // Opens the address in the user's browser.
  virtual void OpenURL(const std::string& url) = 0;

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
