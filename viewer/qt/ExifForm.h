#pragma once
// The viewer's main window, built in code. It owns the controller and the services it works
// through, forwards every event to a controller handler and then mirrors the controller's state:
// folder text, photo list, the Standard and MakerNote lists (one shown at a time, chosen by the
// tab strip under them), button states and the preview.

#include <QMainWindow>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "core/ExifFormController.h"

class QAction;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QStackedWidget;
class QTabBar;
class QTableView;

namespace Quorvane::Viewer {

class TTextTableModel;

class TExifForm : public QMainWindow {
  Q_OBJECT

 public:
  // Reads the MakerNote descriptions from makerNotesIni; without services of its own the window
  // uses TQtServices.
  explicit TExifForm(const std::filesystem::path& makerNotesIni, std::unique_ptr<IViewerServices> services = nullptr,
                     QWidget* parent = nullptr);
  ~TExifForm() override;

  // Opens a folder, or the folder of a photo with that photo selected; false when the path is
  // neither a folder nor a file.
  bool OpenPath(const std::filesystem::path& path);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildWidgets();
  QTableView* NewExifListView(TListKind list);
  void ConnectEvents();
  // Runs a controller handler, reports what it throws, then mirrors the state.
  void Forward(const std::function<void()>& handler);
  void SyncFromController();
  void ShowPreview();
  void CenterOnScreen();
  QTableView* ListView(TListKind list) const;

  std::unique_ptr<IViewerServices> FServices;
  TExifFormController FController;
  // True while the window mirrors the controller: signals of its own changes are not forwarded.
  bool FSyncing = false;
  // The generations last mirrored; none at first.
  std::uint64_t FShownPhotosGeneration = ~std::uint64_t{0}, FShownRowsGeneration = ~std::uint64_t{0};

  QLineEdit* FFolderEdit = nullptr;
  QPushButton* FBrowseButton = nullptr;
  QTableView* FPhotoListView = nullptr;
  TTextTableModel* FPhotoModel = nullptr;
  QStackedWidget* FListStack = nullptr;
  QTableView* FStandardListView = nullptr;
  QTableView* FMakerNoteListView = nullptr;
  TTextTableModel* FRowModels[2] = {nullptr, nullptr};
  QTabBar* FTabSet = nullptr;
  QLabel* FPreviewImage = nullptr;
  QPushButton* FEditButton = nullptr;
  QPushButton* FSaveButton = nullptr;
  QPushButton* FCloseButton = nullptr;
  QLabel* FWebLabel = nullptr;
  QMenu* FPopupMenu = nullptr;
  QAction* FCopyMenuItem = nullptr;
};

}  // namespace Quorvane::Viewer
