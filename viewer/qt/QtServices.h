#pragma once
// The viewer's platform services with Qt: the standard dialogs, the InputSelect dialog, the
// clipboard, the desktop's URL handler and the user's folders; the rest of the file system comes
// from TLocalFileSystem, and the progress of jobs run on a worker thread. Dialogs open over the
// active window. Tests derive from it to stub dialogs.

#include "core/ViewerServices.h"

namespace Quorvane::Viewer {

class TQtServices : public TLocalFileSystem {
 public:
  bool PickFolder(const std::string& startFolder, std::string& chosen) override;
  bool InputQuery(const std::string& caption, const std::string& prompt, std::string& value) override;
  bool InputSelect(const std::string& caption, const std::string& prompt, std::string& value,
                   const std::string& choices) override;
  TDialogAnswer AskYesNoCancel(const std::string& text) override;
  void ShowError(const std::string& message) override;
  bool SaveDialog(std::string& fileName) override;
  void SetClipboardText(const std::string& text) override;
  void OpenURL(const std::string& url) override;
  bool AskYesNo(const std::string& text) override;
  void ShowMessage(const std::string& text) override;
  void ShowReport(const std::string& text, bool failed) override;
  bool InputTimeOffset(TTimeOffset& offset) override;
  bool InputLocation(TLocationText& location) override;
  bool SaveCsvDialog(std::string& fileName) override;
  // The work runs on a thread of its own while a progress dialog shows how far it got; Cancel
  // raises a flag the work's next progress report reads. The thread gets this thread's formats.
  void RunWithProgress(const std::string& title, const std::function<void(const TJobProgress&)>& work) override;
  std::string PicturesFolder() override;
  std::string HomeFolder() override;
};

}  // namespace Quorvane::Viewer
