#pragma once
// The viewer's main window, built in code. It owns the controller and the services it works
// through, forwards every event to a controller handler and then mirrors the controller's state:
// folder text, photo list (several photos may be selected), the Standard, MakerNote and XMP lists
// (one shown at a time, chosen by the tab strip under them), button states and the preview. The
// Tools menu runs the jobs over the selected photos. The window resizes: splitters part the photo
// list, the preview and the data, and the preview scales the thumbnail (turned upright) to its room.
// The last folder, the window's geometry, the splitters, the name columns' widths, the open tab and
// "Keep file dates" are remembered between runs; a folder or photo dropped on the window, or typed
// in the folder box, opens. F5 reads the folder again, and a watch on the folder and the shown
// photo follows their changes. While a job or an edit runs, the window's inputs are disabled, so
// that nothing else starts before it ends.

#include <QImage>
#include <QMainWindow>
#include <QPointer>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "core/ExifFormController.h"

class QAction;
class QFileSystemWatcher;
class QLabel;
class QSplitter;
class QTimer;
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
  // Takes the geometry, the splitters, the name columns, the open tab and "Keep file dates" from
  // the last run (the program does, the screenshot mode does not, so that its pictures do not depend
  // on the user's last run).
  void RestoreSettings();
  // Opens the folder remembered from the last run; false when there is none or it is gone.
  bool OpenLastFolder();

  // The settings' organisation and application names.
  static constexpr const char* SettingsOrganization = "Quorvane";
  static constexpr const char* SettingsApplication = "quorvane";

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void BuildWidgets();
  void BuildToolsMenu();
  void SaveSettings() const;
  void ForwardPhotoSelection();
  QTableView* NewExifListView(TListKind list);
  void ConnectEvents();
  // Runs a controller handler, reports what it throws, then mirrors the state.
  void Forward(const std::function<void()>& handler);
  void SyncFromController();
  // Disables the inputs while the controller is busy and gives the focus back afterwards.
  void SetInputsEnabled(bool enabled);
  void ShowPreview();
  // Scales the turned thumbnail to the preview's present size.
  void ScalePreview();
  // Sizes the Name columns to their captions, but not one the user sized.
  void FitNameColumns();
  // Shows the whole text of a cell that is cut off as its tooltip, unless the cell has a tooltip.
  bool ShowCutTextTip(QTableView* view, QEvent* event);
  void GoToPhoto(int row);
  // Watches the folder shown and the photo shown; their changes are handled after a short quiet.
  void UpdateWatches();
  void HandleWatchedChanges();
  void CenterOnScreen();
  QTableView* ListView(TListKind list) const;

  std::unique_ptr<IViewerServices> FServices;
  TExifFormController FController;
  // True while the window mirrors the controller: signals of its own changes are not forwarded.
  bool FSyncing = false;
  // The generations last mirrored; none at first.
  QPointer<QWidget> FFocusBeforeBusy;
  std::uint64_t FShownPhotosGeneration = ~std::uint64_t{0}, FShownRowsGeneration = ~std::uint64_t{0};

  std::uint64_t FShownStatusGeneration = 0;
  // The folder text last mirrored: the box keeps what the user types until the folder changes.
  std::string FShownFolder;
  // The thumbnail decoded and turned upright; null without one.
  QImage FPreviewSource;
  // Name columns sized by the user (by dragging, or from the last run) are left as they are.
  bool FNameColumnSized[ListKindCount] = {};
  // One more than the rows generation each Name column was last fitted to (0: never); a list is
  // fitted when it shows, since a hidden view measures none of its rows.
  std::uint64_t FFittedRowsGeneration[ListKindCount] = {};
  bool FFittingColumns = false;
  // The splitters are placed for the first start once the window is laid out, unless restored.
  bool FSplittersPlaced = false;
  QFileSystemWatcher* FWatcher = nullptr;
  QTimer* FWatchTimer = nullptr;
  bool FFolderChanged = false, FPhotoChanged = false;

  QSplitter* FMainSplitter = nullptr;
  QSplitter* FLeftSplitter = nullptr;
  QAction* FRefreshAction = nullptr;
  QLineEdit* FFolderEdit = nullptr;
  QPushButton* FBrowseButton = nullptr;
  QTableView* FPhotoListView = nullptr;
  TTextTableModel* FPhotoModel = nullptr;
  QStackedWidget* FListStack = nullptr;
  QTableView* FListViews[ListKindCount] = {};
  TTextTableModel* FRowModels[ListKindCount] = {};
  QTabBar* FTabSet = nullptr;
  QLabel* FPreviewImage = nullptr;
  QPushButton* FEditButton = nullptr;
  QPushButton* FSaveButton = nullptr;
  QPushButton* FCloseButton = nullptr;
  QLabel* FWebLabel = nullptr;
  QMenu* FPopupMenu = nullptr;
  QAction* FCopyMenuItem = nullptr;
  QMenu* FToolsMenu = nullptr;
  QAction* FShiftDateTimeMenuItem = nullptr;
  QAction* FSetLocationMenuItem = nullptr;
  QAction* FRemoveLocationMenuItem = nullptr;
  QAction* FExportCsvMenuItem = nullptr;
  QAction* FKeepFileDatesMenuItem = nullptr;
};

}  // namespace Quorvane::Viewer
