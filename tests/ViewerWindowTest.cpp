// Smoke tests of the viewer's window under Qt's offscreen platform, with the dialogs stubbed: the
// window's parts, browsing a folder of sample photos, the tab strip, editing by double-click, the
// error report and the InputSelect dialog; an edit of two selected photos run as a job on the real
// progress dialog, the Tools menu, the XMP tab, remembered settings and a dropped folder; the inputs
// shut while a job runs; a folder and a photo whose names are not UTF-8.
// Screenshots go to QUORVANE_SCREENSHOT_DIR; settings to a temporary folder.
#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QColor>
#include <QComboBox>
#include <QFile>
#include <QGroupBox>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QSettings>
#include <QSplitter>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTabBar>
#include <QTableView>
#include <QTest>
#include <QThreadPool>
#include <QTimer>
#include <QToolTip>
#include <atomic>
#include <filesystem>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "ExifBuilder.h"
#include "SamplePhotos.h"
#include "qt/ExifForm.h"
#include "qt/InputSelectDialog.h"
#include "qt/JobDialogs.h"
#include "qt/QtConversions.h"
#include "qt/QtServices.h"
#include "zorp/exif/ExifData.h"

using namespace Quorvane::Viewer;
namespace fs = std::filesystem;

namespace {

const char* const SamplePhotos[] = {"canon-sunset.jpg", "night-city.jpg"};

// The dialogs answer what the test set up and record what they were asked.
struct TStubServices : TQtServices {
  std::string Folder, InputText;
  std::vector<std::string> Asked, Errors, Clipboard;
  std::string SaveName;
  std::vector<std::string> Messages;
  bool AnswerYes = true;
  std::vector<std::string> JobTitles;
  // Run on the GUI thread 50 ms into the next job, before its progress dialog shows, while the
  // job's work waits for it to end.
  std::function<void()> DuringJob;
  std::atomic<bool> HoldWork{false};

  void RunWithProgress(const std::string& title, const std::function<void(const TJobProgress&)>& work) override {
    JobTitles.push_back(title);
    if (DuringJob) {
      HoldWork = true;
      QTimer::singleShot(50, [this, during = std::exchange(DuringJob, nullptr)] {
        during();
        HoldWork = false;
      });
    }
    TQtServices::RunWithProgress(title, [&](const TJobProgress& progress) {
      while (HoldWork) std::this_thread::sleep_for(std::chrono::milliseconds(5));
      work(progress);
    });
  }
  bool PickFolder(const std::string&, std::string& chosen) override {
    Asked.push_back("PickFolder");
    chosen = Folder;
    return !Folder.empty();
  }
  bool InputQuery(const std::string& caption, const std::string& prompt, std::string& value) override {
    Asked.push_back(caption + "|" + prompt + "|" + value);
    value = InputText;
    return true;
  }
  bool SaveDialog(std::string& fileName) override {
    fileName = SaveName;
    return true;
  }
  void ShowError(const std::string& message) override { Errors.push_back(message); }
  bool AskYesNo(const std::string& text) override {
    Asked.push_back(text);
    return AnswerYes;
  }
  void ShowMessage(const std::string& text) override { Messages.push_back(text); }
  void ShowReport(const std::string& text, bool) override { Messages.push_back(text); }
  void SetClipboardText(const std::string& text) override { Clipboard.push_back(text); }
  void OpenURL(const std::string& url) override { OpenedURL = url; }
  std::string OpenedURL;
};

void SaveScreenshot(QWidget& widget, const char* name) {
  fs::create_directories(QUORVANE_SCREENSHOT_DIR);
  EXPECT_TRUE(widget.grab().save(QString::fromStdString((fs::path(QUORVANE_SCREENSHOT_DIR) / name).string()), "PNG"));
}

constexpr auto Fatal = QAbstractItemModelTester::FailureReportingMode::Fatal;

class AnExifForm : public ::testing::Test {
 protected:
  void SetUp() override {
    QSettings(TExifForm::SettingsOrganization, TExifForm::SettingsApplication).clear();
    auto services = std::make_unique<TStubServices>();
    Services = services.get();
    Form =
        std::make_unique<TExifForm>(fs::path(QUORVANE_SOURCE_DIR) / "viewer" / "MakerNotes.ini", std::move(services));
    Form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(Form.get()));
  }
  void TearDown() override {
    Form.reset();
    if (!Folder.empty()) fs::remove_all(Folder);
  }

  // Browses to a new folder holding writable copies of two of the project's sample photos.
  void BrowseSamplePhotos() {
    const fs::path photos = fs::path(QUORVANE_SOURCE_DIR) / "samples";
    Folder = fs::temp_directory_path() / ("ViewerWindowTest-" + std::to_string(QCoreApplication::applicationPid()));
    fs::create_directories(Folder);
    for (const char* name : SamplePhotos) {
      fs::copy_file(photos / name, Folder / name, fs::copy_options::overwrite_existing);
      fs::permissions(Folder / name, fs::perms::owner_read | fs::perms::owner_write);
    }
    Services->Folder = Folder.string();
    Child<QPushButton>("BrowseButton")->click();
  }

  template <typename T>
  T* Child(const char* name) const {
    T* child = Form->findChild<T*>(name);
    EXPECT_NE(child, nullptr) << name;
    return child;
  }
  QString Cell(const char* view, int row, int column) const {
    const QAbstractItemModel* model = Child<QTableView>(view)->model();
    return model->index(row, column).data().toString();
  }
  int RowOf(const char* viewName, const QString& caption) const {
    const QAbstractItemModel* model = Child<QTableView>(viewName)->model();
    for (int row = 0; row < model->rowCount(); ++row)
      if (model->index(row, 0).data().toString() == caption) return row;
    return -1;
  }
  void SelectBothPhotos() {
    ClickRow("PhotoListView", 0);
    QTableView* photos = Child<QTableView>("PhotoListView");
    const QPoint second = photos->visualRect(photos->model()->index(1, 0)).center();
    QTest::mouseClick(photos->viewport(), Qt::LeftButton, Qt::ControlModifier, second);
  }
  // Sends a drag of these URI-list bytes and its drop; whether the drag was accepted.
  bool Drop(const QByteArray& uriList) {
    QMimeData data;
    data.setData(QStringLiteral("text/uri-list"), uriList);
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(Form.get(), &enter);
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(Form.get(), &drop);
    return enter.isAccepted();
  }
  void ClickRow(const char* viewName, int row, bool twice = false) {
    QTableView* view = Child<QTableView>(viewName);
    const QModelIndex index = view->model()->index(row, view->model()->columnCount() - 1);
    view->scrollTo(index);
    const QPoint centre = view->visualRect(index).center();
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, centre);
    if (twice) QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, centre);
  }

  TStubServices* Services = nullptr;
  std::unique_ptr<TExifForm> Form;
  fs::path Folder;
};

TEST_F(AnExifForm, BuildsItsPartsWithTheirCaptionsAtTheDesignSize) {
  EXPECT_EQ(Form->windowTitle(), "Quorvane");
  EXPECT_EQ(Form->size(), QSize(682, 705));
  std::set<QString> titles, buttons;
  for (const QGroupBox* group : Form->findChildren<QGroupBox*>()) titles.insert(group->title());
  for (const QPushButton* button : Form->findChildren<QPushButton*>()) buttons.insert(button->text());
  EXPECT_EQ(titles, (std::set<QString>{"Folder", "Photos", "Exif Data", "Preview"}));
  EXPECT_EQ(buttons, (std::set<QString>{"Browse", "Edit", "Save as ...", "Close"}));
  const QTabBar* tabs = Child<QTabBar>("TabSet");
  ASSERT_EQ(tabs->count(), 5);
  EXPECT_EQ(tabs->tabText(0), "Summary");
  EXPECT_EQ(tabs->tabText(1), "Standard ");
  EXPECT_EQ(tabs->tabText(2), "MakerNote");
  EXPECT_EQ(tabs->tabText(3), "XMP");
  EXPECT_EQ(tabs->tabText(4), "IPTC");
  EXPECT_EQ(tabs->currentIndex(), 0);
  struct THeader {
    const char* View;
    int Column;
    const char* Text;
    int Width;
  };
  for (const THeader& header :
       {THeader{"PhotoListView", 0, "File Name", 160}, THeader{"StandardListView", 0, "Name", 150},
        THeader{"StandardListView", 1, "Value", -1}, THeader{"MakerNoteListView", 0, "Name", 150}}) {
    const QTableView* view = Child<QTableView>(header.View);
    EXPECT_EQ(view->model()->headerData(header.Column, Qt::Horizontal).toString(), header.Text) << header.View;
    // The photo list's one column fills the list, which is at least as wide as designed.
    if (header.Width > 0 && view == Child<QTableView>("PhotoListView")) {
      EXPECT_GE(view->columnWidth(header.Column), header.Width) << header.View;
    } else if (header.Width > 0) {
      EXPECT_EQ(view->columnWidth(header.Column), header.Width) << header.View;
    }
  }
  EXPECT_EQ(Child<QLabel>("WebLabel")->text(), WebAddress);
  EXPECT_TRUE(Child<QTableView>("SummaryListView")->isVisible());
  EXPECT_FALSE(Child<QTableView>("StandardListView")->isVisible());
  EXPECT_FALSE(Child<QTableView>("MakerNoteListView")->isVisible());
  EXPECT_FALSE(Child<QPushButton>("EditButton")->isEnabled());
  EXPECT_FALSE(Child<QPushButton>("SaveButton")->isEnabled());
}

TEST_F(AnExifForm, ShowsTheFolderItsPhotosTheirRowsAndThePreviewAfterBrowsing) {
  QAbstractItemModelTester photoModel(Child<QTableView>("PhotoListView")->model(), Fatal);
  QAbstractItemModelTester rowModel(Child<QTableView>("StandardListView")->model(), Fatal);
  BrowseSamplePhotos();
  EXPECT_EQ(Child<QLineEdit>("FolderEdit")->text().toStdString(), Folder.string());
  ASSERT_EQ(Child<QTableView>("PhotoListView")->model()->rowCount(), 2);
  EXPECT_EQ(Cell("PhotoListView", 0, 0), SamplePhotos[0]);
  EXPECT_EQ(Cell("StandardListView", 0, 0), "General");
  EXPECT_NE(RowOf("StandardListView", "   Camera make"), -1);
  // A row that cannot be edited says why in its tooltip; an ordinary row has none.
  const QAbstractItemModel* rows = Child<QTableView>("StandardListView")->model();
  EXPECT_EQ(rows->index(RowOf("StandardListView", "   Exif image width"), 1).data(Qt::ToolTipRole).toString(),
            "Set from the image's real size on every save; not editable");
  EXPECT_FALSE(rows->index(RowOf("StandardListView", "   Camera make"), 1).data(Qt::ToolTipRole).isValid());
  const QLabel* preview = Child<QLabel>("PreviewImage");
  EXPECT_FALSE(preview->pixmap().isNull());
  EXPECT_EQ(preview->toolTip().toStdString(), (Folder / SamplePhotos[0]).string());
  EXPECT_TRUE(Child<QPushButton>("SaveButton")->isEnabled());

  Child<QTabBar>("TabSet")->setCurrentIndex(TabOfList(lkStandard));
  ClickRow("StandardListView", RowOf("StandardListView", "   Camera make"));
  EXPECT_TRUE(Child<QPushButton>("EditButton")->isEnabled());
  SaveScreenshot(*Form, "standard-tab.png");

  ClickRow("PhotoListView", 1);
  EXPECT_EQ(preview->toolTip().toStdString(), (Folder / SamplePhotos[1]).string());
  EXPECT_FALSE(Child<QPushButton>("EditButton")->isEnabled());
  EXPECT_TRUE(Services->Errors.empty());
}

TEST_F(AnExifForm, PaintsTheSelectedRowGreenAndEditableValuesSkyBlue) {
  BrowseSamplePhotos();
  const int make = RowOf("StandardListView", "   Camera make"), model = RowOf("StandardListView", "   Camera model");
  const int order = RowOf("StandardListView", "   Byte order");
  ClickRow("StandardListView", make);
  QTableView* view = Child<QTableView>("StandardListView");
  const QImage image = view->viewport()->grab().toImage();
  // Points right of any text: the end of a row's caption cell and of its value cell.
  const auto colour = [&](int row, int column) {
    const QRect cell = view->visualRect(view->model()->index(row, column));
    return image.pixelColor(cell.right() - 2, cell.center().y());
  };
  EXPECT_EQ(colour(make, 0), QColor(204, 255, 204));
  EXPECT_EQ(colour(make, 1), QColor(204, 255, 204));
  EXPECT_EQ(colour(model, 1), QColor(166, 202, 240));
  EXPECT_EQ(colour(order, 1), view->palette().color(QPalette::Base));
}

TEST_F(AnExifForm, ShowsTheMakerNoteListOnItsTab) {
  BrowseSamplePhotos();
  QTabBar* tabs = Child<QTabBar>("TabSet");
  tabs->setCurrentIndex(TabOfList(lkMakerNote));
  EXPECT_TRUE(Child<QTableView>("MakerNoteListView")->isVisible());
  EXPECT_FALSE(Child<QTableView>("StandardListView")->isVisible());
  EXPECT_GT(Child<QTableView>("MakerNoteListView")->model()->rowCount(), 1);
  EXPECT_NE(Cell("MakerNoteListView", 0, 0), "No MakerNote found");
  ClickRow("MakerNoteListView", 2);
  SaveScreenshot(*Form, "makernote-tab.png");
  tabs->setCurrentIndex(TabOfList(lkStandard));
  EXPECT_TRUE(Child<QTableView>("StandardListView")->isVisible());
}

TEST_F(AnExifForm, SavesTheCameraMakeEditedByADoubleClick) {
  BrowseSamplePhotos();
  Child<QTabBar>("TabSet")->setCurrentIndex(TabOfList(lkStandard));
  Services->InputText = "  Quorvane Test Camera ";
  const int row = RowOf("StandardListView", "   Camera make");
  const QString oldMake = Cell("StandardListView", row, 1);
  ClickRow("StandardListView", row, true);
  ASSERT_EQ(Services->Asked.size(), 2u);  // the picker, then the edit
  EXPECT_EQ(Services->Asked[1], "Edit string|Camera make:|" + oldMake.toStdString());
  EXPECT_EQ(Cell("StandardListView", row, 1), "Quorvane Test Camera");
  Zorp::Exif::TExifData saved;
  saved.LoadFromJPEG((Folder / SamplePhotos[0]).string());
  EXPECT_EQ(saved.CameraMake(), "Quorvane Test Camera");
  EXPECT_TRUE(Services->Errors.empty());
  EXPECT_EQ(Form->statusBar()->currentMessage(), QString("Saved ") + SamplePhotos[0]);
}

TEST_F(AnExifForm, CopiesTheSelectedRowWithControlC) {
  BrowseSamplePhotos();
  ClickRow("StandardListView", 0);
  QTest::keyClick(Child<QTableView>("StandardListView"), Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(Services->Clipboard, std::vector<std::string>{"General"});
}

TEST_F(AnExifForm, ReportsAFailedHandlerInAnErrorDialog) {
  BrowseSamplePhotos();
  Services->SaveName = (Folder / "no such folder" / "rows.txt").string();
  Child<QPushButton>("SaveButton")->click();
  EXPECT_EQ(Services->Errors.size(), 1u);
}

// The folder box takes typed keys as text now; a double-click opens the picker.
TEST_F(AnExifForm, TypesInTheFolderBoxAndOpensThePickerOnADoubleClick) {
  QLineEdit* folder = Child<QLineEdit>("FolderEdit");
  QTest::keyClick(folder, Qt::Key_Tab);
  EXPECT_TRUE(Services->Asked.empty());
  folder->setFocus();
  QTest::keyClick(folder, Qt::Key_X);
  EXPECT_TRUE(Services->Asked.empty());
  EXPECT_EQ(folder->text(), "x");
  QTest::mouseDClick(folder, Qt::LeftButton);
  EXPECT_EQ(Services->Asked, std::vector<std::string>{"PickFolder"});
}

// Two photos selected with a click and a Ctrl-click: the second shows; the edit goes to both after
// Yes, through the progress dialog's worker thread.
TEST_F(AnExifForm, EditsTwoSelectedPhotosAfterYes) {
  BrowseSamplePhotos();
  SelectBothPhotos();
  QTableView* photos = Child<QTableView>("PhotoListView");
  EXPECT_EQ(photos->selectionModel()->selectedRows().size(), 2);
  EXPECT_EQ(Child<QLabel>("PreviewImage")->toolTip().toStdString(), (Folder / SamplePhotos[1]).string());
  Services->InputText = "Quorvane Twin Camera";
  Child<QTabBar>("TabSet")->setCurrentIndex(TabOfList(lkStandard));
  ClickRow("StandardListView", RowOf("StandardListView", "   Camera make"), true);
  EXPECT_EQ(Services->Asked.back(), "Apply to all 2 selected photos?");
  for (const char* name : SamplePhotos) {
    Zorp::Exif::TExifData saved;
    saved.LoadFromJPEG((Folder / name).string());
    EXPECT_EQ(saved.CameraMake(), "Quorvane Twin Camera") << name;
  }
  ASSERT_EQ(Services->Messages.size(), 1u);
  EXPECT_EQ(Cell("StandardListView", RowOf("StandardListView", "   Camera make"), 1), "Quorvane Twin Camera");
  EXPECT_EQ(photos->selectionModel()->selectedRows().size(), 2);  // the selection stays
  EXPECT_TRUE(Services->Errors.empty());
}

TEST_F(AnExifForm, HasAToolsMenuWithTheJobs) {
  QMenu* tools = Child<QMenu>("ToolsMenu");
  ASSERT_NE(tools, nullptr);
  EXPECT_EQ(tools->title(), "&Tools");
  EXPECT_TRUE(Form->menuBar()->actions().contains(tools->menuAction()));
  std::vector<QString> captions;
  for (const QAction* action : tools->actions())
    if (!action->isSeparator()) captions.push_back(action->text());
  EXPECT_EQ(captions, (std::vector<QString>{"Shift date/time...", "Set location...", "Remove location",
                                            "Export CSV...", "Keep file dates"}));
  EXPECT_TRUE(tools->actions().back()->isCheckable());
  BrowseSamplePhotos();
  tools->popup(Form->mapToGlobal(QPoint(0, 0)));
  ASSERT_TRUE(QTest::qWaitForWindowExposed(tools));
  SaveScreenshot(*tools, "tools-menu.png");
  tools->hide();
}

// The Summary shows first; a double-click on its Location opens the map, on another row nothing.
TEST_F(AnExifForm, OpensTheSummarysLocationOnTheMapByADoubleClick) {
  BrowseSamplePhotos();
  EXPECT_TRUE(Child<QTableView>("SummaryListView")->isVisible());
  ClickRow("SummaryListView", RowOf("SummaryListView", "   Camera"), true);
  EXPECT_EQ(Services->Asked, std::vector<std::string>{"PickFolder"});
  EXPECT_FALSE(Child<QPushButton>("EditButton")->isEnabled());
  EXPECT_EQ(Services->OpenedURL, "");
  ClickRow("SummaryListView", RowOf("SummaryListView", "   Location"), true);
  EXPECT_TRUE(Services->OpenedURL.starts_with("https://www.openstreetmap.org/?mlat=46.51")) << Services->OpenedURL;
  SaveScreenshot(*Form, "summary-tab.png");
}

TEST_F(AnExifForm, ShowsThePhotosXMPOnItsTab) {
  BrowseSamplePhotos();
  Child<QTabBar>("TabSet")->setCurrentIndex(TabOfList(lkXMP));
  EXPECT_TRUE(Child<QTableView>("XMPListView")->isVisible());
  EXPECT_FALSE(Child<QTableView>("StandardListView")->isVisible());
  EXPECT_NE(RowOf("XMPListView", "xmp:Rating"), -1);
  ClickRow("XMPListView", RowOf("XMPListView", "xmp:Rating"));
  EXPECT_FALSE(Child<QPushButton>("EditButton")->isEnabled());
  SaveScreenshot(*Form, "xmp-tab.png");
}

TEST_F(AnExifForm, RemembersFolderTabAndKeepFileDatesForTheNextRun) {
  BrowseSamplePhotos();
  Child<QTabBar>("TabSet")->setCurrentIndex(TabOfList(lkMakerNote));
  Child<QMenu>("ToolsMenu")->actions().back()->trigger();
  Form->resize(800, 750);
  Child<QSplitter>("MainSplitter")->setSizes({300, 470});
  Child<QTableView>("MakerNoteListView")->horizontalHeader()->resizeSection(0, 123);  // as if dragged
  const QList<int> sizes = Child<QSplitter>("MainSplitter")->sizes();
  Form->close();
  Form = std::make_unique<TExifForm>(fs::path(QUORVANE_SOURCE_DIR) / "viewer" / "MakerNotes.ini",
                                     std::make_unique<TStubServices>());
  EXPECT_EQ(Child<QTabBar>("TabSet")->currentIndex(), 0);  // not before it is asked to
  Form->RestoreSettings();
  EXPECT_EQ(Child<QTabBar>("TabSet")->currentIndex(), TabOfList(lkMakerNote));
  EXPECT_TRUE(Child<QTableView>("MakerNoteListView")->isVisibleTo(Form.get()));
  EXPECT_TRUE(Child<QMenu>("ToolsMenu")->actions().back()->isChecked());
  EXPECT_EQ(Form->size(), QSize(800, 750));
  Form->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(Form.get()));
  EXPECT_EQ(Child<QSplitter>("MainSplitter")->sizes(), sizes);
  ASSERT_TRUE(Form->OpenLastFolder());
  EXPECT_EQ(Child<QTableView>("MakerNoteListView")->columnWidth(0), 123);  // not fitted over
  EXPECT_EQ(Child<QLineEdit>("FolderEdit")->text().toStdString(), Folder.string());
  fs::remove_all(Folder);
  EXPECT_FALSE(Form->OpenLastFolder());  // gone
}

TEST_F(AnExifForm, OpensAFolderDroppedOnIt) {
  BrowseSamplePhotos();
  const fs::path other = Folder / "dropped";
  fs::create_directories(other);
  fs::copy_file(Folder / SamplePhotos[1], other / "only.jpg");
  QMimeData data;
  data.setUrls({QUrl::fromLocalFile(QString::fromStdString(other.string()))});
  QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(Form.get(), &enter);
  EXPECT_TRUE(enter.isAccepted());
  QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(Form.get(), &drop);
  EXPECT_EQ(Child<QLineEdit>("FolderEdit")->text().toStdString(), other.string());
  EXPECT_EQ(Cell("PhotoListView", 0, 0), "only.jpg");
}

// The inputs the user could start something with while a job runs.
const char* const InputNames[] = {"BrowseButton", "FolderEdit", "PhotoListView", "StandardListView",
                                  "TabSet",       "EditButton", "SaveButton",    "CloseButton"};

// A double-click starts a job over two photos; until its progress dialog shows, the window takes
// events, yet its inputs are off and a second double-click, a Tools menu item, a key in the folder
// box, a drop or closing the window start nothing. Afterwards there is one summary and the inputs
// are on again.
TEST_F(AnExifForm, StartsNothingElseWhileAJobRuns) {
  BrowseSamplePhotos();
  SelectBothPhotos();
  Child<QTabBar>("TabSet")->setCurrentIndex(TabOfList(lkStandard));
  const int make = RowOf("StandardListView", "   Camera make");
  Services->InputText = "Quorvane Busy Camera";
  bool during = false;
  Services->DuringJob = [&] {
    for (const char* name : InputNames) EXPECT_FALSE(Child<QWidget>(name)->isEnabled()) << name;
    EXPECT_FALSE(Form->menuBar()->isEnabled());
    for (const QAction* action : Child<QMenu>("ToolsMenu")->actions()) EXPECT_FALSE(action->isEnabled());
    SaveScreenshot(*Form, "busy-job.png");
    const std::size_t asked = Services->Asked.size();
    ClickRow("StandardListView", make, true);
    Child<QMenu>("ToolsMenu")->actions().front()->trigger();
    QTest::keyClick(Child<QLineEdit>("FolderEdit"), Qt::Key_X);
    EXPECT_FALSE(Drop(QUrl::fromLocalFile(QString::fromStdString(Folder.string())).toEncoded() + "\r\n"));
    EXPECT_FALSE(Form->close());
    EXPECT_EQ(Services->Asked.size(), asked);
    EXPECT_EQ(Services->JobTitles.size(), 1u);
    during = true;
  };
  ClickRow("StandardListView", make, true);
  EXPECT_TRUE(during);
  EXPECT_EQ(Services->JobTitles, std::vector<std::string>{"Edit Camera make"});
  EXPECT_EQ(Services->Messages.size(), 1u);
  EXPECT_TRUE(Form->isVisible());
  for (const char* name : InputNames) EXPECT_TRUE(Child<QWidget>(name)->isEnabled()) << name;
  EXPECT_TRUE(Form->menuBar()->isEnabled());
  EXPECT_EQ(Cell("StandardListView", make, 1), "Quorvane Busy Camera");
  EXPECT_TRUE(Services->Errors.empty());
}

// A folder and a photo named with bytes that are not UTF-8 (which Qt's text cannot hold) open from
// a path given as bytes (the command line), a dropped URL and the last run's settings; the photo is
// listed (its name shown with U+FFFD) and loaded.
TEST_F(AnExifForm, OpensAFolderWhoseNameIsNotUTF8) {
  BrowseSamplePhotos();
  const fs::path odd = Folder / "\xff\xfe";
  fs::create_directories(odd);
  Zorp::Testing::WriteFileBytes(odd / "\xe9t\xe9.jpg",
                                Zorp::Testing::ExifBuilder::Jpeg({Zorp::Testing::CanonCamera().Build()}));
  const QByteArray uri = "file://" + QByteArray::fromStdString(odd.string()).toPercentEncoding("/") + "\r\n";
  const std::function<bool()> routes[] = {
      [&] { return Form->OpenPath(odd); },
      [&] { return Drop(uri); },
      [&] {
        Form->OpenPath(odd);
        Form->close();
        Form = std::make_unique<TExifForm>(fs::path(QUORVANE_SOURCE_DIR) / "viewer" / "MakerNotes.ini",
                                           std::make_unique<TStubServices>());
        return Form->OpenLastFolder();
      },
  };
  for (std::size_t route = 0; route < std::size(routes); ++route) {
    if (route < 2) Form->OpenPath(Folder);  // elsewhere first
    EXPECT_TRUE(routes[route]()) << route;
    if (Child<QTableView>("PhotoListView")->model()->rowCount() != 1) {
      ADD_FAILURE() << "route " << route << " lists another folder";
      continue;
    }
    EXPECT_EQ(Cell("PhotoListView", 0, 0), QString::fromUtf8("\uFFFDt\uFFFD.jpg")) << route;
    EXPECT_EQ(Cell("StandardListView", RowOf("StandardListView", "   Camera make"), 1), "Canon") << route;
    EXPECT_EQ(QFile::encodeName(Child<QLabel>("PreviewImage")->toolTip()),
              QFile::encodeName(QFile::decodeName(QByteArray::fromStdString((odd / "\xe9t\xe9.jpg").string()))));
  }
  SaveScreenshot(*Form, "folder-not-utf8.png");
}

// Copies a sample photo turned by Orientation 6 (its thumbnail stands upright when turned a quarter
// clockwise) and a photo without a thumbnail into the folder.
void AddTurnedAndBarePhotos(const fs::path& folder) {
  Zorp::Exif::TExifData data;
  data.LoadFromJPEG((fs::path(QUORVANE_SOURCE_DIR) / "samples" / "nikon-lake.jpg").string());
  data.SetOrientation(Zorp::Exif::toRightTop);
  fs::copy_file(fs::path(QUORVANE_SOURCE_DIR) / "samples" / "nikon-lake.jpg", folder / "a-turned.jpg");
  fs::permissions(folder / "a-turned.jpg", fs::perms::owner_read | fs::perms::owner_write);
  data.SaveToJPEG((folder / "a-turned.jpg").string(), true);
  Zorp::Testing::WriteFileBytes(folder / "z-bare.jpg", Zorp::Testing::ExifBuilder::Jpeg({}));
}

// The preview stands the thumbnail upright and grows with the window and the photo column; the
// design size and a large window with a wider photo list are saved as screenshots.
TEST_F(AnExifForm, TurnsThePreviewUprightAndScalesItWithTheWindow) {
  BrowseSamplePhotos();
  AddTurnedAndBarePhotos(Folder);
  Form->OpenPath(Folder / "a-turned.jpg");
  const QLabel* preview = Child<QLabel>("PreviewImage");
  const QSize small = preview->pixmap().size();
  EXPECT_GT(small.height(), small.width());
  EXPECT_LE(small.height(), preview->height());
  SaveScreenshot(*Form, "window-682x705.png");
  Form->resize(1400, 900);
  Child<QSplitter>("MainSplitter")->setSizes({420, 980});
  Child<QSplitter>("LeftSplitter")->setSizes({380, 400});
  QTest::qWait(50);
  const QSize large = preview->pixmap().size();
  EXPECT_GT(large.height(), small.height());
  EXPECT_GT(large.height(), large.width());
  SaveScreenshot(*Form, "window-1400x900.png");
  Form->OpenPath(Folder / "z-bare.jpg");
  EXPECT_TRUE(preview->pixmap().isNull());
  EXPECT_EQ(preview->text(), "No thumbnail");
}

TEST_F(AnExifForm, GoesToTheFirstAndLastPhotoWithHomeAndEnd) {
  BrowseSamplePhotos();
  AddTurnedAndBarePhotos(Folder);
  QTest::keyClick(Form.get(), Qt::Key_F5);
  QTableView* photos = Child<QTableView>("PhotoListView");
  ASSERT_EQ(photos->model()->rowCount(), 4);
  photos->setFocus();
  const std::pair<Qt::Key, const char*> keys[] = {{Qt::Key_End, "z-bare.jpg"}, {Qt::Key_Home, "a-turned.jpg"}};
  for (const auto& [key, name] : keys) {
    QTest::keyClick(photos, key);
    EXPECT_EQ(Child<QLabel>("PreviewImage")->toolTip().toStdString(), (Folder / name).string());
    EXPECT_EQ(photos->selectionModel()->selectedRows().size(), 1);
  }
}

// F5 reads the folder at once; the watch follows files that come and go, and a photo changed by
// another program, without a keystroke.
TEST_F(AnExifForm, FollowsTheFolderOnDiskAndReadsItAgainOnF5) {
  BrowseSamplePhotos();
  ClickRow("PhotoListView", 1);
  QTableView* photos = Child<QTableView>("PhotoListView");
  fs::copy_file(Folder / SamplePhotos[0], Folder / "a-first.jpg");
  QTest::keyClick(Form.get(), Qt::Key_F5);
  EXPECT_EQ(photos->model()->rowCount(), 3);
  EXPECT_EQ(Child<QLabel>("PreviewImage")->toolTip().toStdString(), (Folder / SamplePhotos[1]).string());
  fs::remove(Folder / "a-first.jpg");
  QTRY_COMPARE_WITH_TIMEOUT(photos->model()->rowCount(), 2, 5000);
  fs::copy_file(Folder / SamplePhotos[0], Folder / "b-new.jpg");
  QTRY_COMPARE_WITH_TIMEOUT(photos->model()->rowCount(), 3, 5000);
  const int make = RowOf("StandardListView", "   Camera make");
  {
    Zorp::Exif::TExifData other;
    other.LoadFromJPEG((Folder / SamplePhotos[1]).string());
    other.SetCameraMake("Changed Elsewhere");
    other.SaveToJPEG((Folder / SamplePhotos[1]).string(), true);
  }
  QTRY_COMPARE_WITH_TIMEOUT(Cell("StandardListView", make, 1), QString("Changed Elsewhere"), 5000);
  EXPECT_TRUE(Services->Errors.empty());
}

// Enter opens the folder typed; a wrong one is reported and stays to be corrected; Escape undoes.
TEST_F(AnExifForm, OpensAFolderTypedInTheFolderBox) {
  BrowseSamplePhotos();
  fs::create_directories(Folder / "typed");
  QLineEdit* folder = Child<QLineEdit>("FolderEdit");
  for (const std::string& typed : {(Folder / "typed").string(), (Folder / "nowhere").string()}) {
    folder->setText(QString::fromStdString(typed));
    QTest::keyClick(folder, Qt::Key_Return);
  }
  EXPECT_EQ(Services->Errors.size(), 1u);
  EXPECT_EQ(folder->text().toStdString(), (Folder / "nowhere").string());
  QTest::keyClick(folder, Qt::Key_Escape);
  EXPECT_EQ(folder->text().toStdString(), (Folder / "typed").string());
}

TEST_F(AnExifForm, ShowsTheWholeNameOfAPhotoCutOffAsItsTooltip) {
  BrowseSamplePhotos();
  const std::string longName = "a-photo-with-a-name-far-too-long-for-the-photo-column-of-the-window.jpg";
  fs::copy_file(Folder / SamplePhotos[0], Folder / longName);
  QTest::keyClick(Form.get(), Qt::Key_F5);
  QTableView* photos = Child<QTableView>("PhotoListView");
  for (const auto& [row, tip] : {std::pair{1, QString()}, std::pair{0, QString::fromStdString(longName)}}) {
    const QPoint at = photos->visualRect(photos->model()->index(row, 0)).center();
    QHelpEvent help(QEvent::ToolTip, at, photos->viewport()->mapToGlobal(at));
    QApplication::sendEvent(photos->viewport(), &help);
    EXPECT_EQ(QToolTip::isVisible() ? QToolTip::text() : QString(), tip) << row;
    QToolTip::hideText();
  }
}

// A report of hundreds of failures scrolls in a box of its own: the dialog fits on a screen.
TEST(AJobReport, ListsManyFailuresInAScrollingBoxUnderAWarning) {
  QString text = QStringLiteral("0 changed, 0 unchanged, 389 failed");
  for (int line = 0; line < 389; ++line) text += QStringLiteral("\n/photos/IMG_%1.jpg: Permission denied").arg(line);
  for (const bool failed : {true, false}) {
    TJobReportDialog dialog(text, failed);
    EXPECT_LT(dialog.sizeHint().height(), 600);
    const auto* details = dialog.findChild<QPlainTextEdit*>("ReportDetails");
    ASSERT_NE(details, nullptr);
    EXPECT_EQ(details->document()->blockCount(), 389);
    EXPECT_EQ(dialog.findChild<QLabel*>("ReportHeadline")->text(), "0 changed, 0 unchanged, 389 failed");
    const QStyle::StandardPixmap icon = failed ? QStyle::SP_MessageBoxWarning : QStyle::SP_MessageBoxInformation;
    const int size = dialog.style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, &dialog);
    EXPECT_EQ(dialog.findChild<QLabel*>("ReportIcon")->pixmap().toImage(),
              dialog.style()->standardIcon(icon, nullptr, &dialog).pixmap(size, size).toImage());
  }
}

// Qt's text of a path whose bytes are not UTF-8 holds U+FFFD and encodes to other bytes; the part
// is matched to the one folder entry that reads the same, but a new file's name never is.
TEST(APathFromQt, MatchesPartsQtCouldNotDecodeToTheFolderEntries) {
  const fs::path base =
      fs::temp_directory_path() / ("ViewerWindowTest-paths-" + std::to_string(QCoreApplication::applicationPid()));
  const fs::path odd = base / "\xff\xfe", twinA = base / "x\xff", twinB = base / "x\xfe";
  for (const fs::path& folder : {odd, twinA, twinB}) fs::create_directories(folder);
  Zorp::Testing::WriteFileBytes(odd / "\xe9.jpg", {1});
  const auto text = [](const fs::path& path) { return QFile::decodeName(QByteArray::fromStdString(path.string())); };
  struct TCase {
    fs::path Path;
    bool New;
    fs::path Expected;
  };
  const TCase cases[] = {
      {odd, false, odd},
      {odd / "\xe9.jpg", false, odd / "\xe9.jpg"},
      {odd / "\xe9.jpg", true, odd / "\uFFFD.jpg"},  // a new name is taken as its text
      {odd / "list.csv", true, odd / "list.csv"},    // in the matched folder
      {twinA, false, base / "x\uFFFD"},              // two entries read the same: none is taken
      {base / "plain", false, base / "plain"},       // UTF-8 as it is, found or not
  };
  for (const TCase& c : cases) {
    const std::string found = c.New ? NewPathFromQt(text(c.Path)) : ExistingPathFromQt(text(c.Path));
    EXPECT_EQ(found, c.Expected.string()) << c.Path;
  }
  // URLs keep the bytes in their percent-encoding, and a URL of Qt's text is matched like text.
  EXPECT_EQ(PathFromUrl(UrlFromPath(odd.string())), odd.string());
  EXPECT_EQ(PathFromUrl(QUrl::fromLocalFile(text(odd))), odd.string());
  EXPECT_EQ(PathFromUrl(QUrl(QStringLiteral("https://quorvane.org/"))), "");
  fs::remove_all(base);
}

// The work runs on another thread; Cancel in the progress dialog stops it at its next report, and
// what it throws comes back to the caller.
TEST(AProgressDialog, RunsTheWorkOffTheGUIThreadUntilCancelled) {
  TQtServices services;
  const std::thread::id gui = std::this_thread::get_id();
  std::size_t reported = 0;
  QTimer::singleShot(200, [] {
    for (QWidget* widget : QApplication::topLevelWidgets())
      if (auto* dialog = qobject_cast<QProgressDialog*>(widget)) dialog->cancel();
  });
  services.RunWithProgress("Counting", [&](const TJobProgress& progress) {
    EXPECT_NE(std::this_thread::get_id(), gui);
    for (std::size_t done = 0; done < 100000 && progress(done, 100000); ++done) {
      reported = done;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  });
  EXPECT_GT(reported, 0u);
  EXPECT_LT(reported, 99999u);
  EXPECT_THROW(services.RunWithProgress("Failing", [](const TJobProgress&) { throw std::runtime_error("disk full"); }),
               std::runtime_error);
}

TEST(AShiftDialog, ReturnsTheSignedOffsetItWasGivenAndIsShown) {
  for (const std::int64_t seconds : {std::int64_t{0}, std::int64_t{-(2 * 86400 + 3 * 3600 + 4 * 60 + 5)},
                                     std::int64_t{3600 + 30}}) {
    TTimeOffsetDialog dialog(TTimeOffset{seconds});
    EXPECT_EQ(dialog.Offset().Seconds, seconds);
  }
  TTimeOffsetDialog dialog(TTimeOffset{-90 * 60});
  dialog.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
  SaveScreenshot(dialog, "shift-dialog.png");
  TLocationDialog location(TLocationText{"48.8584", "2.2945", ""});
  EXPECT_EQ(location.Location().Longitude, "2.2945");
  location.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&location));
  SaveScreenshot(location, "location-dialog.png");
}

TEST(AnInputSelectDialog, PreselectsTheCurrentValueOnlyWhenItIsAChoice) {
  struct TCase {
    const char* Value;
    int Index;
  };
  for (const TCase& c : {TCase{"Rotate 90", 1}, TCase{"Normal", 0}, TCase{"Sideways", -1}, TCase{"", -1}}) {
    TInputSelectDialog dialog("Select", "Orientation:", c.Value, "Normal\r\nRotate 90\r\nRotate 180\r\n");
    const QComboBox* choices = dialog.findChild<QComboBox*>();
    ASSERT_NE(choices, nullptr);
    EXPECT_EQ(choices->count(), 3) << c.Value;
    EXPECT_EQ(choices->currentIndex(), c.Index) << c.Value;
    EXPECT_EQ(dialog.Value(), c.Index < 0 ? QString() : QString(c.Value));
  }
}

TEST(AnInputSelectDialog, HasAFixedSizeWithEverythingInside) {
  TInputSelectDialog dialog("Select", "Orientation:", "Normal", "Normal\r\nRotate 90");
  dialog.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
  EXPECT_EQ(dialog.minimumSize(), dialog.maximumSize());
  for (const QWidget* child : dialog.findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
    if (!child->isWindow()) {
      EXPECT_TRUE(dialog.rect().contains(child->geometry())) << child->metaObject()->className();
    }
  SaveScreenshot(dialog, "input-select.png");
}

}  // namespace

// The application lives from before the first test to after the last.
int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  // The user's settings stay untouched: the window's go to a folder of this run.
  QStandardPaths::setTestModeEnabled(true);
  const fs::path settings =
      fs::temp_directory_path() / ("ViewerWindowTest-settings-" + std::to_string(QCoreApplication::applicationPid()));
  for (const QSettings::Format format : {QSettings::NativeFormat, QSettings::IniFormat})
    QSettings::setPath(format, QSettings::UserScope, QString::fromStdString(settings.string()));
  const int status = RUN_ALL_TESTS();
  // Qt scales images on pool threads; they finish before the process ends, so the leak checker
  // that runs at exit does not meet a thread that is going away.
  QThreadPool::globalInstance()->waitForDone();
  QThreadPool::globalInstance()->setExpiryTimeout(0);
  fs::remove_all(settings);
  return status;
}
