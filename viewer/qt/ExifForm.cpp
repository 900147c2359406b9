#include "qt/ExifForm.h"

#include <QAction>
#include <QApplication>
#include <QBoxLayout>
#include <QGroupBox>
#include <QHeaderView>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPixmap>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QScreen>
#include <QStackedWidget>
#include <QStyle>
#include <QTabBar>
#include <QTableView>
#include <algorithm>

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
constexpr int PreviewWidth = 169, PreviewHeight = 128;
constexpr int ButtonWidth = 75;

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
  BuildWidgets();
  ConnectEvents();
  resize(ClientWidth, ClientHeight);
  CenterOnScreen();
  Forward([&] { FController.FormCreate(makerNotesIni); });
}

TExifForm::~TExifForm() {
  // The views read the controller until they are gone, so they go first.
  FSyncing = true;
  delete takeCentralWidget();
  FController.FormDestroy();
}

void TExifForm::BuildWidgets() {
  auto* central = new QWidget(this);
  setCentralWidget(central);

  auto* folderGroup = new QGroupBox(QStringLiteral("Folder"), central);
  FFolderEdit = new QLineEdit(folderGroup);
  FFolderEdit->setObjectName(QStringLiteral("FolderEdit"));
  FFolderEdit->setReadOnly(true);
  FFolderEdit->setFocusPolicy(Qt::ClickFocus);
  QPalette folderPalette = FFolderEdit->palette();
  folderPalette.setColor(QPalette::Base, folderPalette.color(QPalette::Button));
  FFolderEdit->setPalette(folderPalette);
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
  FPhotoModel = new TTextTableModel(
      {QStringLiteral("File Name")}, [this] { return static_cast<int>(FController.PhotoNames().size()); },
      [this](int row, int) {
        const auto& names = FController.PhotoNames();
        return row < static_cast<int>(names.size()) ? ToQt(names[static_cast<std::size_t>(row)]) : QString();
      },
      FPhotoListView);
  FPhotoListView->setModel(FPhotoModel);
  FPhotoListView->horizontalHeader()->resizeSection(0, PhotoColumnWidth);
  FPhotoListView->setFixedWidth(PhotoColumnWidth + 2 * FPhotoListView->frameWidth() +
                                style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, FPhotoListView));
  auto* photoLayout = new QVBoxLayout(photoGroup);
  photoLayout->addWidget(FPhotoListView);

  auto* previewGroup = new QGroupBox(QStringLiteral("Preview"), central);
  FPreviewImage = new QLabel(previewGroup);
  FPreviewImage->setObjectName(QStringLiteral("PreviewImage"));
  FPreviewImage->setFixedSize(PreviewWidth, PreviewHeight);
  FPreviewImage->setAlignment(Qt::AlignCenter);
  auto* previewLayout = new QVBoxLayout(previewGroup);
  previewLayout->addWidget(FPreviewImage, 0, Qt::AlignCenter);

  auto* dataGroup = new QGroupBox(QStringLiteral("Exif Data"), central);
  FListStack = new QStackedWidget(dataGroup);
  FStandardListView = NewExifListView(lkStandard);
  FStandardListView->setObjectName(QStringLiteral("StandardListView"));
  FMakerNoteListView = NewExifListView(lkMakerNote);
  FMakerNoteListView->setObjectName(QStringLiteral("MakerNoteListView"));
  FTabSet = new QTabBar(dataGroup);
  FTabSet->setObjectName(QStringLiteral("TabSet"));
  FTabSet->setShape(QTabBar::RoundedSouth);
  FTabSet->setExpanding(false);
  FTabSet->addTab(QStringLiteral("Standard "));
  FTabSet->addTab(QStringLiteral("MakerNote"));
  auto* dataLayout = new QVBoxLayout(dataGroup);
  dataLayout->setSpacing(0);
  dataLayout->addWidget(FListStack, 1);
  dataLayout->addWidget(FTabSet);

  FPopupMenu = new QMenu(this);
  FCopyMenuItem = FPopupMenu->addAction(QStringLiteral("Copy"));
  FCopyMenuItem->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_C));
  FCopyMenuItem->setShortcutContext(Qt::WidgetWithChildrenShortcut);
  for (QTableView* view : {FStandardListView, FMakerNoteListView}) {
    view->addAction(FCopyMenuItem);
    view->setContextMenuPolicy(Qt::CustomContextMenu);
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

  // The folder across the top; photos over the preview on the left, the Exif data beside them;
  // the web link and the buttons along the bottom.
  auto* leftColumn = new QVBoxLayout;
  leftColumn->addWidget(photoGroup, 1);
  leftColumn->addWidget(previewGroup);
  auto* grid = new QGridLayout(central);
  grid->addWidget(folderGroup, 0, 0, 1, 2);
  grid->addLayout(leftColumn, 1, 0);
  grid->addWidget(dataGroup, 1, 1);
  grid->addLayout(buttonRow, 2, 0, 1, 2);
  grid->setColumnStretch(1, 1);
  grid->setRowStretch(1, 1);
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
  view->setModel(model);
  FRowModels[list] = model;
  view->horizontalHeader()->resizeSection(0, NameColumnWidth);
  view->horizontalHeader()->setStretchLastSection(true);
  view->setItemDelegate(new TRowDrawingDelegate(
      view, [this, list](int row, bool selected, const TRect& itemRect, int textHeight, int columnWidth) {
        return FController.DrawItem(list, row, selected, itemRect, textHeight, columnWidth);
      }));
  FListStack->addWidget(view);
  return view;
}

void TExifForm::ConnectEvents() {
  connect(FBrowseButton, &QPushButton::clicked, this, [this] { Forward([&] { FController.BrowseButtonClick(); }); });
  connect(FPhotoListView->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
    // A row losing its selection is not forwarded, as with no row selected nothing is loaded.
    const int row = SelectedRowOf(FPhotoListView);
    if (FSyncing || row < 0) return;
    Forward([&] { FController.PhotoListViewSelectItem(row, true); });
  });
  for (const TListKind list : {lkStandard, lkMakerNote}) {
    QTableView* view = ListView(list);
    connect(view->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this, list, view] {
      if (FSyncing) return;
      const int row = SelectedRowOf(view);
      Forward([&] { FController.StandardListViewSelectItem(list, row); });
    });
    connect(view, &QAbstractItemView::doubleClicked, this, [this] { Forward([&] { FController.EditButtonClick(); }); });
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
}

bool TExifForm::eventFilter(QObject* watched, QEvent* event) {
  if (watched == FFolderEdit && event->type() == QEvent::KeyPress) {
    // Any key that types a character opens the picker; Tab still moves the focus.
    const auto* key = static_cast<const QKeyEvent*>(event);
    if (key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab || key->text().isEmpty()) return false;
    Forward([&] { FController.FolderEditKeyPress(); });
    return true;
  }
  if (watched == FWebLabel && event->type() == QEvent::MouseButtonRelease &&
      static_cast<const QMouseEvent*>(event)->button() == Qt::LeftButton) {
    Forward([&] { FController.WebLabelClick(); });
    return true;
  }
  return QMainWindow::eventFilter(watched, event);
}

bool TExifForm::OpenPath(const std::filesystem::path& path) {
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
  const QString folder = ToQt(FController.FolderText());
  if (FFolderEdit->text() != folder) FFolderEdit->setText(folder);
  if (FController.PhotosGeneration() != FShownPhotosGeneration) {
    FShownPhotosGeneration = FController.PhotosGeneration();
    FPhotoModel->Reload();
  }
  SelectRow(FPhotoListView, FController.SelectedPhoto());
  if (FController.RowsGeneration() != FShownRowsGeneration) {
    FShownRowsGeneration = FController.RowsGeneration();
    for (const TListKind list : {lkStandard, lkMakerNote}) {
      FRowModels[list]->Reload();
      SelectRow(ListView(list), FController.SelectedRow(list));
    }
    ShowPreview();
  }
  FPreviewImage->setToolTip(FController.PreviewShowHint() ? ToQt(FController.PreviewHint()) : QString());
  FEditButton->setEnabled(FController.EditEnabled());
  FSaveButton->setEnabled(FController.SaveEnabled());
  if (FTabSet->currentIndex() != FController.TabIndex()) FTabSet->setCurrentIndex(FController.TabIndex());
  FListStack->setCurrentWidget(ListView(FController.VisibleList()));
  // An edit changes a row's value in place.
  FStandardListView->viewport()->update();
  FMakerNoteListView->viewport()->update();
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
  if (image.isNull()) {
    FPreviewImage->clear();
    return;
  }
  FPreviewImage->setPixmap(
      QPixmap::fromImage(image.scaled(FPreviewImage->size(), Qt::KeepAspectRatio, Qt::SmoothTransformation)));
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

QTableView* TExifForm::ListView(TListKind list) const {
  return list == lkStandard ? FStandardListView : FMakerNoteListView;
}

}  // namespace Quorvane::Viewer
