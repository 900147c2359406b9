#include "qt/ExifForm.h"

#include <QAction>
#include <QApplication>
#include <QBoxLayout>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileSystemWatcher>
#include <QGroupBox>
#include <QHeaderView>
#include <QHelpEvent>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QMouseEvent>
#include <QPixmap>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QScreen>
#include <QSettings>
#include <QSplitter>
#include <QStackedWidget>
#include <QStatusBar>
#include <QStyle>
#include <QTabBar>
#include <QTableView>
#include <QTimer>
#include <QToolTip>
#include <QTransform>
#include <QUrl>
#include <algorithm>
#include <vector>

#include "core/PreviewTurn.h"
#include "qt/FormFont.h"
#include "qt/QtConversions.h"
#include "qt/QtServices.h"
#include "qt/RowDrawingDelegate.h"
#include "qt/TextTableModel.h"
#include "zorp/base/JPEGImage.h"

namespace Quorvane::Viewer {

namespace {

constexpr int ClientWidth = 682, ClientHeight = 705;
constexpr int PhotoColumnWidth = 160, NameColumnWidth = 150;
// XMP paths are longer than the other lists' labels.
constexpr int XMPNameColumnWidth = 230;
constexpr int PreviewWidth = 169, PreviewHeight = 128;
constexpr int ButtonWidth = 75;
// A Name column fitted to its captions takes at most this share of its list's width.
constexpr double NameColumnShare = 0.45;
constexpr int MinNameColumnWidth = 80;
// Changes on disk come in bursts (a save writes a temporary file and renames it): they are handled
// once things are quiet this long.
constexpr int WatchQuietMs = 300;
constexpr int StatusMessageMs = 4000;
// The splitters' settings, and the Name columns' widths in list order.
const QString SplitterKey = QStringLiteral("Splitter"), LeftSplitterKey = QStringLiteral("LeftSplitter"),
              NameColumnsKey = QStringLiteral("NameColumns");

// A read-only report list with grid lines that selects whole rows, one at a time.
void SetUpReportList(QTableView* view) {
  view->setSelectionBehavior(QAbstractItemView::SelectRows);
  view->setSelectionMode(QAbstractItemView::SingleSelection);
  view->setEditTriggers(QAbstractItemView::NoEditTriggers);
  view->setShowGrid(true);
  view->setWordWrap(false);
  view->setTabKeyNavigation(false);
  view->setCornerButtonEnabled(false);
  view->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
  view->verticalHeader()->hide();
  view->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  view->verticalHeader()->setDefaultSectionSize(view->fontMetrics().height() + 4);
  view->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  view->horizontalHeader()->setHighlightSections(false);
}

int SelectedRowOf(const QTableView* view) {
  const QModelIndexList rows = view->selectionModel()->selectedRows();
  return rows.isEmpty() ? -1 : rows.constFirst().row();
}

// The photo list's selected rows in order, and its focused row (-1 for none).
std::vector<int> SelectedRowsOf(const QTableView* view) {
  std::vector<int> rows;
  for (const QModelIndex& index : view->selectionModel()->selectedRows()) rows.push_back(index.row());
  std::sort(rows.begin(), rows.end());
  return rows;
}
int CurrentRowOf(const QTableView* view) {
  const QModelIndex current = view->selectionModel()->currentIndex();
  return current.isValid() ? current.row() : -1;
}

// Selects these rows with the focus on current, unless they are so already.
void SelectRows(QTableView* view, const std::vector<int>& rows, int current) {
  if (SelectedRowsOf(view) == rows && CurrentRowOf(view) == current) return;
  const QAbstractItemModel* model = view->model();
  QItemSelection selection;
  for (const int row : rows)
    if (row >= 0 && row < model->rowCount()) selection.select(model->index(row, 0), model->index(row, 0));
  QItemSelectionModel* selectionModel = view->selectionModel();
  if (current >= 0 && current < model->rowCount()) {
    const QModelIndex index = model->index(current, 0);
    selectionModel->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
    view->scrollTo(index);
  } else {
    selectionModel->clearCurrentIndex();
  }
  selectionModel->select(selection, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

// The first local file or folder among dropped URLs, as bytes; empty when there is none.
std::string DroppedPath(const QMimeData* data) {
  if (data == nullptr || !data->hasUrls()) return {};
  for (const QUrl& url : data->urls())
    if (url.isLocalFile()) return PathFromUrl(url);
  return {};
}

// Selects the row (none for -1) unless it is selected already.
void SelectRow(QTableView* view, int row) {
  if (SelectedRowOf(view) == row) return;
  if (row < 0 || row >= view->model()->rowCount()) {
    view->selectionModel()->clear();
    return;
  }
  const QModelIndex index = view->model()->index(row, 0);
  view->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  view->scrollTo(index);
}

}  // namespace

TExifForm::TExifForm(const std::filesystem::path& makerNotesIni, std::unique_ptr<IViewerServices> services,
                     QWidget* parent)
    : QMainWindow(parent),
      FServices(services ? std::move(services) : std::make_unique<TQtServices>()),
      FController(*FServices) {
  setWindowTitle(QStringLiteral("Quorvane"));
  setFont(FormFont());
  setAcceptDrops(true);
  BuildWidgets();
  BuildToolsMenu();
  ConnectEvents();
  FController.SetOnBusyChange([this](bool busy) { SetInputsEnabled(!busy); });
  resize(ClientWidth, ClientHeight);
  CenterOnScreen();
  Forward([&] { FController.FormCreate(makerNotesIni); });
  // The keys go to the photos first; the folder box is a click (or Tab) away.
  FPhotoListView->setFocus();
}

TExifForm::~TExifForm() {
  // The views read the controller until they are gone, so they go first.
  FSyncing = true;
  FController.SetOnBusyChange(nullptr);
  FWatchTimer->stop();
  FWatcher->blockSignals(true);
  delete takeCentralWidget();
  FController.FormDestroy();
}

void TExifForm::BuildWidgets() {
  auto* central = new QWidget(this);
  setCentralWidget(central);

  auto* folderGroup = new QGroupBox(QStringLiteral("Folder"), central);
  FFolderEdit = new QLineEdit(folderGroup);
  FFolderEdit->setObjectName(QStringLiteral("FolderEdit"));
  FFolderEdit->setToolTip(QStringLiteral("Type or paste a folder and press Enter; double-click to browse"));
  FFolderEdit->installEventFilter(this);
  FBrowseButton = new QPushButton(QStringLiteral("Browse"), folderGroup);
  FBrowseButton->setObjectName(QStringLiteral("BrowseButton"));
  FBrowseButton->setMinimumWidth(ButtonWidth);
  auto* folderLayout = new QHBoxLayout(folderGroup);
  folderLayout->addWidget(FFolderEdit, 1);
  folderLayout->addWidget(FBrowseButton);

  auto* photoGroup = new QGroupBox(QStringLiteral("Photos"), central);
  FPhotoListView = new QTableView(photoGroup);
  FPhotoListView->setObjectName(QStringLiteral("PhotoListView"));
  SetUpReportList(FPhotoListView);
  FPhotoListView->setSelectionMode(QAbstractItemView::ExtendedSelection);
  FPhotoModel = new TTextTableModel(
      {QStringLiteral("File Name")}, [this] { return static_cast<int>(FController.PhotoNames().size()); },
      [this](int row, int) {
        const auto& names = FController.PhotoNames();
        return row < static_cast<int>(names.size()) ? PathToQt(names[static_cast<std::size_t>(row)]) : QString();
      },
      FPhotoListView);
  FPhotoListView->setModel(FPhotoModel);
  FPhotoListView->horizontalHeader()->resizeSection(0, PhotoColumnWidth);
  FPhotoListView->horizontalHeader()->setStretchLastSection(true);
  FPhotoListView->setMinimumWidth(PhotoColumnWidth / 2);
  FPhotoListView->installEventFilter(this);
  FPhotoListView->viewport()->installEventFilter(this);
  auto* photoLayout = new QVBoxLayout(photoGroup);
  photoLayout->addWidget(FPhotoListView);

  auto* previewGroup = new QGroupBox(QStringLiteral("Preview"), central);
  FPreviewImage = new QLabel(previewGroup);
  FPreviewImage->setObjectName(QStringLiteral("PreviewImage"));
  // The picture follows the label's size, never the other way round.
  FPreviewImage->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
  FPreviewImage->setMinimumSize(PreviewWidth / 4, PreviewHeight / 4);
  FPreviewImage->setAlignment(Qt::AlignCenter);
  FPreviewImage->installEventFilter(this);
  auto* previewLayout = new QVBoxLayout(previewGroup);
  previewLayout->addWidget(FPreviewImage, 1);

  auto* dataGroup = new QGroupBox(QStringLiteral("Exif Data"), central);
  FListStack = new QStackedWidget(dataGroup);
  NewExifListView(lkSummary)->setObjectName(QStringLiteral("SummaryListView"));
  NewExifListView(lkStandard)->setObjectName(QStringLiteral("StandardListView"));
  NewExifListView(lkMakerNote)->setObjectName(QStringLiteral("MakerNoteListView"));
  NewExifListView(lkXMP)->setObjectName(QStringLiteral("XMPListView"));
  NewExifListView(lkIPTC)->setObjectName(QStringLiteral("IPTCListView"));
  FTabSet = new QTabBar(dataGroup);
  FTabSet->setObjectName(QStringLiteral("TabSet"));
  FTabSet->setShape(QTabBar::RoundedSouth);
  FTabSet->setExpanding(false);
  // In the order of TabLists.
  FTabSet->addTab(QStringLiteral("Summary"));
  FTabSet->addTab(QStringLiteral("Standard "));
  FTabSet->addTab(QStringLiteral("MakerNote"));
  FTabSet->addTab(QStringLiteral("XMP"));
  FTabSet->addTab(QStringLiteral("IPTC"));
  auto* dataLayout = new QVBoxLayout(dataGroup);
  dataLayout->setSpacing(0);
  dataLayout->addWidget(FListStack, 1);
  dataLayout->addWidget(FTabSet);

  FPopupMenu = new QMenu(this);
  FCopyMenuItem = FPopupMenu->addAction(QStringLiteral("Copy"));
  FCopyMenuItem->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_C));
  FCopyMenuItem->setShortcutContext(Qt::WidgetWithChildrenShortcut);
  for (QTableView* view : FListViews) {
    view->addAction(FCopyMenuItem);
    view->setContextMenuPolicy(Qt::CustomContextMenu);
    view->viewport()->installEventFilter(this);
  }

  FWebLabel = new QLabel(ToQt(WebAddress), central);
  FWebLabel->setObjectName(QStringLiteral("WebLabel"));
  QPalette webPalette = FWebLabel->palette();
  webPalette.setColor(QPalette::WindowText, Qt::blue);
  FWebLabel->setPalette(webPalette);
  QFont webFont;
  webFont.setUnderline(true);
  FWebLabel->setFont(webFont);
  FWebLabel->setCursor(Qt::PointingHandCursor);
  FWebLabel->installEventFilter(this);

  FEditButton = new QPushButton(QStringLiteral("Edit"), central);
  FEditButton->setObjectName(QStringLiteral("EditButton"));
  FSaveButton = new QPushButton(QStringLiteral("Save as ..."), central);
  FSaveButton->setObjectName(QStringLiteral("SaveButton"));
  FCloseButton = new QPushButton(QStringLiteral("Close"), central);
  FCloseButton->setObjectName(QStringLiteral("CloseButton"));
  auto* buttonRow = new QHBoxLayout;
  buttonRow->addWidget(FWebLabel);
  buttonRow->addStretch(1);
  for (QPushButton* button : {FEditButton, FSaveButton, FCloseButton}) {
    button->setMinimumWidth(ButtonWidth);
    buttonRow->addWidget(button);
  }

  // The folder across the top; photos over the preview on the left, the Exif data beside them,
  // parted by splitters; the web link and the buttons along the bottom. The data takes a wider
  // window's room, the photos and the preview share a taller one's.
  FLeftSplitter = new QSplitter(Qt::Vertical, central);
  FLeftSplitter->setObjectName(QStringLiteral("LeftSplitter"));
  FLeftSplitter->setChildrenCollapsible(false);
  FLeftSplitter->addWidget(photoGroup);
  FLeftSplitter->addWidget(previewGroup);
  FLeftSplitter->setStretchFactor(0, 2);
  FLeftSplitter->setStretchFactor(1, 1);
  FMainSplitter = new QSplitter(Qt::Horizontal, central);
  FMainSplitter->setObjectName(QStringLiteral("MainSplitter"));
  FMainSplitter->setChildrenCollapsible(false);
  FMainSplitter->addWidget(FLeftSplitter);
  FMainSplitter->addWidget(dataGroup);
  FMainSplitter->setStretchFactor(0, 0);
  FMainSplitter->setStretchFactor(1, 1);
  // The first start's parts: a photo column of its design width, a preview of its design height.
  const int margins = 2 * style()->pixelMetric(QStyle::PM_LayoutLeftMargin);
  const int leftWidth = PhotoColumnWidth + 2 * FPhotoListView->frameWidth() +
                        style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, FPhotoListView) + margins;
  FMainSplitter->setSizes({leftWidth, ClientWidth - leftWidth});
  auto* grid = new QGridLayout(central);
  grid->addWidget(folderGroup, 0, 0);
  grid->addWidget(FMainSplitter, 1, 0);
  grid->addLayout(buttonRow, 2, 0);
  grid->setRowStretch(1, 1);

  statusBar()->setObjectName(QStringLiteral("StatusBar"));
  statusBar()->setSizeGripEnabled(true);
}

void TExifForm::BuildToolsMenu() {
  FToolsMenu = menuBar()->addMenu(QStringLiteral("&Tools"));
  FToolsMenu->setObjectName(QStringLiteral("ToolsMenu"));
  FShiftDateTimeMenuItem = FToolsMenu->addAction(QStringLiteral("Shift date/time..."));
  FSetLocationMenuItem = FToolsMenu->addAction(QStringLiteral("Set location..."));
  FRemoveLocationMenuItem = FToolsMenu->addAction(QStringLiteral("Remove location"));
  FExportCsvMenuItem = FToolsMenu->addAction(QStringLiteral("Export CSV..."));
  FToolsMenu->addSeparator();
  FKeepFileDatesMenuItem = FToolsMenu->addAction(QStringLiteral("Keep file dates"));
  FKeepFileDatesMenuItem->setCheckable(true);
}

QTableView* TExifForm::NewExifListView(TListKind list) {
  auto* view = new QTableView(FListStack);
  SetUpReportList(view);
  auto* model = new TTextTableModel(
      {QStringLiteral("Name"), QStringLiteral("Value")},
      [this, list] { return static_cast<int>(FController.Rows(list).size()); },
      [this, list](int row, int column) {
        const TListRows& rows = FController.Rows(list);
        if (row >= static_cast<int>(rows.size())) return QString();
        const TListRow& listRow = rows[static_cast<std::size_t>(row)];
        return ToQt(column == 0 ? listRow.Caption : listRow.Value());
      },
      view);
  model->SetRowHint([this, list](int row) {
    const TListRows& rows = FController.Rows(list);
    return row < static_cast<int>(rows.size()) ? ToQt(rows[static_cast<std::size_t>(row)].Hint) : QString();
  });
  view->setModel(model);
  FRowModels[list] = model;
  FListViews[list] = view;
  view->horizontalHeader()->resizeSection(0, list == lkXMP ? XMPNameColumnWidth : NameColumnWidth);
  view->horizontalHeader()->setStretchLastSection(true);
  connect(view->horizontalHeader(), &QHeaderView::sectionResized, this, [this, list](int section) {
    if (section == 0 && !FFittingColumns && !FSyncing) FNameColumnSized[list] = true;
  });
  view->setItemDelegate(new TRowDrawingDelegate(
      view, [this, list](int row, bool selected, const TRect& itemRect, int textHeight, int columnWidth) {
        return FController.DrawItem(list, row, selected, itemRect, textHeight, columnWidth);
      }));
  FListStack->addWidget(view);
  return view;
}

void TExifForm::ConnectEvents() {
  connect(FBrowseButton, &QPushButton::clicked, this, [this] { Forward([&] { FController.BrowseButtonClick(); }); });
  connect(FFolderEdit, &QLineEdit::returnPressed, this, [this] {
    bool opened = false;
    Forward([&] { opened = FController.OpenTypedPath(NewPathFromQt(FFolderEdit->text())); });
    // The box shows the folder as opened, not as typed.
    if (opened) FFolderEdit->setText(PathToQt(FController.FolderText()));
  });
  FRefreshAction = new QAction(QStringLiteral("Refresh"), this);
  FRefreshAction->setShortcut(QKeySequence(Qt::Key_F5));
  FRefreshAction->setShortcutContext(Qt::WindowShortcut);
  addAction(FRefreshAction);
  connect(FRefreshAction, &QAction::triggered, this, [this] {
    Forward([&] {
      FController.RereadFolder();
      FController.ShownPhotoChanged();
    });
  });
  FWatcher = new QFileSystemWatcher(this);
  FWatchTimer = new QTimer(this);
  FWatchTimer->setSingleShot(true);
  FWatchTimer->setInterval(WatchQuietMs);
  connect(FWatcher, &QFileSystemWatcher::directoryChanged, this, [this] {
    FFolderChanged = true;
    FWatchTimer->start();
  });
  connect(FWatcher, &QFileSystemWatcher::fileChanged, this, [this] {
    FPhotoChanged = true;
    FWatchTimer->start();
  });
  connect(FWatchTimer, &QTimer::timeout, this, &TExifForm::HandleWatchedChanges);
  // The focus moves before or after the selection, by mouse or by key; both are forwarded.
  connect(FPhotoListView->selectionModel(), &QItemSelectionModel::selectionChanged, this,
          &TExifForm::ForwardPhotoSelection);
  connect(FPhotoListView->selectionModel(), &QItemSelectionModel::currentChanged, this,
          &TExifForm::ForwardPhotoSelection);
  for (const TListKind list : TabLists) {
    QTableView* view = ListView(list);
    connect(view->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this, list, view] {
      if (FSyncing) return;
      const int row = SelectedRowOf(view);
      Forward([&] { FController.StandardListViewSelectItem(list, row); });
    });
    connect(view, &QAbstractItemView::doubleClicked, this, [this, list](const QModelIndex& index) {
      Forward([&] { FController.ListDoubleClick(list, index.row()); });
    });
    connect(view, &QWidget::customContextMenuRequested, this, [this, view](const QPoint& position) {
      if (FController.PopupMenuAutoPopup()) FPopupMenu->popup(view->viewport()->mapToGlobal(position));
    });
  }
  connect(FTabSet, &QTabBar::currentChanged, this, [this](int index) {
    if (!FSyncing) Forward([&] { FController.TabSetChange(index); });
  });
  connect(FCopyMenuItem, &QAction::triggered, this, [this] { Forward([&] { FController.CopyMenuItemClick(); }); });
  connect(FEditButton, &QPushButton::clicked, this, [this] { Forward([&] { FController.EditButtonClick(); }); });
  connect(FSaveButton, &QPushButton::clicked, this, [this] { Forward([&] { FController.SaveButtonClick(); }); });
  connect(FCloseButton, &QPushButton::clicked, this, &QWidget::close);
  connect(FShiftDateTimeMenuItem, &QAction::triggered, this,
          [this] { Forward([&] { FController.ShiftDateTimeMenuItemClick(); }); });
  connect(FSetLocationMenuItem, &QAction::triggered, this,
          [this] { Forward([&] { FController.SetLocationMenuItemClick(); }); });
  connect(FRemoveLocationMenuItem, &QAction::triggered, this,
          [this] { Forward([&] { FController.RemoveLocationMenuItemClick(); }); });
  connect(FExportCsvMenuItem, &QAction::triggered, this,
          [this] { Forward([&] { FController.ExportCsvMenuItemClick(); }); });
  connect(FKeepFileDatesMenuItem, &QAction::toggled, this, [this](bool checked) {
    if (!FSyncing) Forward([&] { FController.SetKeepFileDates(checked); });
  });
}

// No photo selected and no focus is not forwarded, as with no photo nothing is loaded.
void TExifForm::ForwardPhotoSelection() {
  if (FSyncing) return;
  const std::vector<int> rows = SelectedRowsOf(FPhotoListView);
  const int current = CurrentRowOf(FPhotoListView);
  if (rows.empty() && current < 0) return;
  Forward([&] { FController.PhotoListSelectionChange(rows, current); });
}

bool TExifForm::eventFilter(QObject* watched, QEvent* event) {
  if (watched == FFolderEdit && event->type() == QEvent::MouseButtonDblClick) {
    Forward([&] { FController.BrowseButtonClick(); });
    return true;
  }
  if (watched == FFolderEdit && event->type() == QEvent::KeyPress &&
      static_cast<const QKeyEvent*>(event)->key() == Qt::Key_Escape) {
    FFolderEdit->setText(PathToQt(FController.FolderText()));
    return true;
  }
  // Home and End go to the first and the last photo (the table's own keys stay in the row).
  if (watched == FPhotoListView && event->type() == QEvent::KeyPress) {
    const auto* key = static_cast<const QKeyEvent*>(event);
    if ((key->key() == Qt::Key_Home || key->key() == Qt::Key_End) && key->modifiers() == Qt::NoModifier) {
      GoToPhoto(key->key() == Qt::Key_Home ? 0 : FPhotoModel->rowCount() - 1);
      return true;
    }
  }
  if (watched == FPreviewImage && event->type() == QEvent::Resize) ScalePreview();
  if (event->type() == QEvent::ToolTip && FPhotoListView != nullptr) {
    if (watched == FPhotoListView->viewport()) return ShowCutTextTip(FPhotoListView, event);
    for (QTableView* view : FListViews)
      if (view != nullptr && watched == view->viewport()) return ShowCutTextTip(view, event);
  }
  if (watched == FWebLabel && event->type() == QEvent::MouseButtonRelease &&
      static_cast<const QMouseEvent*>(event)->button() == Qt::LeftButton) {
    Forward([&] { FController.WebLabelClick(); });
    return true;
  }
  return QMainWindow::eventFilter(watched, event);
}

void TExifForm::closeEvent(QCloseEvent* event) {
  // A job's progress dialog runs an event loop that closing would end before the work has.
  if (FController.Busy()) {
    event->ignore();
    return;
  }
  SaveSettings();
  QMainWindow::closeEvent(event);
}

void TExifForm::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (std::exchange(FSplittersPlaced, true)) return;
  // The preview gets its design height, the photo list the rest.
  const QWidget* previewGroup = FLeftSplitter->widget(1);
  const int previewHeight = PreviewHeight + previewGroup->height() - FPreviewImage->height();
  const QList<int> sizes = FLeftSplitter->sizes();
  const int total = sizes.value(0) + sizes.value(1);
  if (total > previewHeight) FLeftSplitter->setSizes({total - previewHeight, previewHeight});
}

void TExifForm::dragEnterEvent(QDragEnterEvent* event) {
  if (!FController.Busy() && !DroppedPath(event->mimeData()).empty()) event->acceptProposedAction();
}

void TExifForm::dropEvent(QDropEvent* event) {
  const std::string path = DroppedPath(event->mimeData());
  if (path.empty() || !OpenPath(path)) return;
  event->acceptProposedAction();
}

void TExifForm::RestoreSettings() {
  const QSettings settings(QString::fromLatin1(SettingsOrganization), QString::fromLatin1(SettingsApplication));
  if (const QByteArray geometry = settings.value(QStringLiteral("Geometry")).toByteArray(); !geometry.isEmpty())
    restoreGeometry(geometry);
  if (const QByteArray state = settings.value(SplitterKey).toByteArray(); !state.isEmpty())
    FMainSplitter->restoreState(state);
  if (const QByteArray state = settings.value(LeftSplitterKey).toByteArray(); !state.isEmpty())
    FSplittersPlaced = FLeftSplitter->restoreState(state);
  const QList<QVariant> widths = settings.value(NameColumnsKey).toList();
  for (int list = 0; list < ListKindCount && list < widths.size(); ++list) {
    const int width = widths[list].toInt();
    if (width <= 0 || FListViews[list] == nullptr) continue;
    FListViews[list]->horizontalHeader()->resizeSection(0, width);
    FNameColumnSized[list] = true;
  }
  const int tab = settings.value(QStringLiteral("Tab"), 0).toInt();
  const bool keepFileDates = settings.value(QStringLiteral("KeepFileDates"), false).toBool();
  Forward([&] {
    FController.TabSetChange(tab);
    FController.SetKeepFileDates(keepFileDates);
  });
}

void TExifForm::SaveSettings() const {
  QSettings settings(QString::fromLatin1(SettingsOrganization), QString::fromLatin1(SettingsApplication));
  // As bytes, which keep a folder name that is not UTF-8 (text would not).
  if (!FController.FolderText().empty())
    settings.setValue(QStringLiteral("LastFolder"), QByteArray::fromStdString(FController.FolderText()));
  settings.setValue(QStringLiteral("Geometry"), saveGeometry());
  settings.setValue(SplitterKey, FMainSplitter->saveState());
  settings.setValue(LeftSplitterKey, FLeftSplitter->saveState());
  // Only the widths the user chose: a fitted one is fitted again next time.
  QList<QVariant> widths;
  for (int list = 0; list < ListKindCount; ++list)
    widths.append(FNameColumnSized[list] && FListViews[list] ? FListViews[list]->columnWidth(0) : 0);
  settings.setValue(NameColumnsKey, widths);
  settings.setValue(QStringLiteral("Tab"), FController.TabIndex());
  settings.setValue(QStringLiteral("KeepFileDates"), FController.KeepFileDates());
}

bool TExifForm::OpenLastFolder() {
  const QSettings settings(QString::fromLatin1(SettingsOrganization), QString::fromLatin1(SettingsApplication));
  // Text from an earlier run reads as its UTF-8 bytes.
  const std::string folder = settings.value(QStringLiteral("LastFolder")).toByteArray().toStdString();
  if (folder.empty() || FController.Busy() || !FServices->DirectoryExists(folder)) return false;
  Forward([&] { FController.OpenFolder(folder); });
  return true;
}

bool TExifForm::OpenPath(const std::filesystem::path& path) {
  if (FController.Busy()) return false;
  const std::filesystem::path full = std::filesystem::absolute(path).lexically_normal();
  if (FServices->DirectoryExists(full.string())) {
    Forward([&] { FController.OpenFolder(full.string()); });
    return true;
  }
  if (!FServices->FileExists(full.string())) return false;
  Forward([&] {
    FController.OpenFolder(full.parent_path().string());
    FController.SelectPhoto(full.filename().string());
  });
  return true;
}

void TExifForm::Forward(const std::function<void()>& handler) {
  std::string error;
  try {
    handler();
  } catch (const std::exception& e) {
    error = e.what();
  } catch (...) {
    error = "Unknown error";
  }
  SyncFromController();
  if (!error.empty()) FServices->ShowError(error);
}

void TExifForm::SyncFromController() {
  const QScopedValueRollback<bool> syncing(FSyncing, true);
  if (FController.FolderText() != FShownFolder) {
    FShownFolder = FController.FolderText();
    FFolderEdit->setText(PathToQt(FShownFolder));
  }
  if (FController.PhotosGeneration() != FShownPhotosGeneration) {
    FShownPhotosGeneration = FController.PhotosGeneration();
    FPhotoModel->Reload();
  }
  SelectRows(FPhotoListView, FController.SelectedPhotos(), FController.SelectedPhoto());
  if (FController.RowsGeneration() != FShownRowsGeneration) {
    FShownRowsGeneration = FController.RowsGeneration();
    for (const TListKind list : TabLists) {
      FRowModels[list]->Reload();
      SelectRow(ListView(list), FController.SelectedRow(list));
    }
    ShowPreview();
  }
  FPreviewImage->setToolTip(FController.PreviewShowHint() ? PathToQt(FController.PreviewHint()) : QString());
  FEditButton->setEnabled(FController.EditEnabled());
  FSaveButton->setEnabled(FController.SaveEnabled());
  if (FTabSet->currentIndex() != FController.TabIndex()) FTabSet->setCurrentIndex(FController.TabIndex());
  FListStack->setCurrentWidget(ListView(FController.VisibleList()));
  FitNameColumns();
  if (FKeepFileDatesMenuItem->isChecked() != FController.KeepFileDates())
    FKeepFileDatesMenuItem->setChecked(FController.KeepFileDates());
  // An edit changes a row's value in place.
  for (QTableView* view : FListViews) view->viewport()->update();
  if (FController.StatusGeneration() != FShownStatusGeneration) {
    FShownStatusGeneration = FController.StatusGeneration();
    statusBar()->showMessage(ToQt(FController.StatusMessage()), StatusMessageMs);
  }
  UpdateWatches();
}

void TExifForm::SetInputsEnabled(bool enabled) {
  if (!enabled) FFocusBeforeBusy = QApplication::focusWidget();
  // The Tools menu's actions too, so that no shortcut reaches them.
  centralWidget()->setEnabled(enabled);
  menuBar()->setEnabled(enabled);
  for (QAction* action : FToolsMenu->actions()) action->setEnabled(enabled);
  FCopyMenuItem->setEnabled(enabled);
  FRefreshAction->setEnabled(enabled);
  if (enabled && FFocusBeforeBusy && FFocusBeforeBusy->isEnabled()) FFocusBeforeBusy->setFocus();
}

void TExifForm::ShowPreview() {
  // Decoded by the library's own codec, whose pixel limit holds a hostile thumbnail in check.
  const std::vector<std::uint8_t>& jpeg = FController.PreviewJPEG();
  Zorp::Base::TJPEGImage thumbnail;
  thumbnail.LoadFromBytes(jpeg.data(), jpeg.size());
  std::vector<std::uint8_t> rgb;
  int width = 0, height = 0;
  QImage image;
  if (!jpeg.empty() && thumbnail.DecodeRGB(rgb, width, height))
    image = QImage(rgb.data(), width, height, static_cast<qsizetype>(width) * 3, QImage::Format_RGB888).copy();
  const TPreviewTurn turn = PreviewTurn(FController.PreviewOrientation());
  if (!image.isNull() && turn.Mirrored) image = image.mirrored(true, false);
  if (!image.isNull() && turn.Degrees != 0) image = image.transformed(QTransform().rotate(turn.Degrees));
  FPreviewSource = image;
  ScalePreview();
}

void TExifForm::ScalePreview() {
  if (FPreviewSource.isNull()) {
    // A photo shown without a thumbnail says so; without a photo the preview is empty.
    if (FController.SelectedPhoto() < 0)
      FPreviewImage->clear();
    else
      FPreviewImage->setText(QStringLiteral("No thumbnail"));
    return;
  }
  FPreviewImage->setPixmap(QPixmap::fromImage(
      FPreviewSource.scaled(FPreviewImage->contentsRect().size(), Qt::KeepAspectRatio, Qt::SmoothTransformation)));
}

void TExifForm::FitNameColumns() {
  const QScopedValueRollback<bool> fitting(FFittingColumns, true);
  for (int list = 0; list < ListKindCount; ++list) {
    QTableView* view = FListViews[list];
    if (view == nullptr || FNameColumnSized[list] || view->model()->rowCount() == 0 || !view->isVisibleTo(this) ||
        FFittedRowsGeneration[list] == FController.RowsGeneration() + 1)
      continue;
    FFittedRowsGeneration[list] = FController.RowsGeneration() + 1;
    const int cap = std::max(MinNameColumnWidth, static_cast<int>(view->viewport()->width() * NameColumnShare));
    view->resizeColumnToContents(0);
    view->horizontalHeader()->resizeSection(0, std::clamp(view->columnWidth(0), MinNameColumnWidth, cap));
  }
}

bool TExifForm::ShowCutTextTip(QTableView* view, QEvent* event) {
  const auto* help = static_cast<const QHelpEvent*>(event);
  const QModelIndex index = view->indexAt(help->pos());
  // A cell with a tooltip of its own (a row's hint) shows that.
  if (!index.isValid() || index.data(Qt::ToolTipRole).isValid()) return false;
  const QString text = index.data().toString();
  const QRect cell = view->visualRect(index);
  const int margin = 2 * (view->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, view) + 1);
  if (text.trimmed().isEmpty() || view->fontMetrics().horizontalAdvance(text) + margin <= cell.width()) {
    QToolTip::hideText();
    event->ignore();
    return true;
  }
  QToolTip::showText(help->globalPos(), text.trimmed(), view->viewport(), cell);
  return true;
}

void TExifForm::GoToPhoto(int row) {
  if (row < 0 || row >= FPhotoModel->rowCount()) return;
  const QModelIndex index = FPhotoModel->index(row, 0);
  FPhotoListView->selectionModel()->setCurrentIndex(index,
                                                    QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  FPhotoListView->scrollTo(index);
}

void TExifForm::UpdateWatches() {
  QStringList wanted;
  if (!FController.FolderText().empty()) wanted.append(PathToQt(FController.FolderText()));
  if (!FController.FileName().empty()) wanted.append(PathToQt(FController.FileName()));
  QStringList watched = FWatcher->directories() + FWatcher->files();
  // A file replaced by a rename drops out of the watch: it is added again.
  for (const QString& path : watched)
    if (!wanted.contains(path)) FWatcher->removePath(path);
  watched = FWatcher->directories() + FWatcher->files();
  for (const QString& path : wanted)
    if (!watched.contains(path)) FWatcher->addPath(path);
}

void TExifForm::HandleWatchedChanges() {
  // Work in progress writes the photos itself and reloads afterwards: the changes wait for its end.
  if (FController.Busy()) {
    FWatchTimer->start();
    return;
  }
  const bool folder = std::exchange(FFolderChanged, false), photo = std::exchange(FPhotoChanged, false);
  Forward([&] {
    if (folder) FController.RereadFolder();
    // A save replaces the photo's file, which the folder's watch sees too.
    if (photo || folder) FController.ShownPhotoChanged();
  });
}

void TExifForm::CenterOnScreen() {
  const QScreen* screen = QGuiApplication::primaryScreen();
  if (screen == nullptr) return;
  const QRect available = screen->availableGeometry();
  QRect frame(QPoint(), size());
  frame.moveCenter(available.center());
  // A screen smaller than the window keeps its title bar in reach.
  move(std::max(frame.left(), available.left()), std::max(frame.top(), available.top()));
}

QTableView* TExifForm::ListView(TListKind list) const { return FListViews[list]; }

}  // namespace Quorvane::Viewer
