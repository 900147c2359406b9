// The viewer's controller driven with stubbed dialogs over photos built in a temporary folder:
// browsing, selecting, tabs, each edit kind with its write-back, the Edit button rules, export,
// copy and the row drawing decisions; several photos selected, the Tools menu's jobs with their
// summaries and cancel, and the XMP list; one job or edit at a time.
#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <optional>
#include <stdexcept>

#include "ExifBuilder.h"
#include "IPTCBytes.h"
#include "SamplePhotos.h"
#include "core/EnumTexts.h"
#include "core/ExifFormController.h"
#include "core/PreviewTurn.h"
#include "core/XmpListing.h"
#include "zorp/base/DateTime.h"
#include "zorp/base/JPEGImage.h"
#include "zorp/base/Messages.h"
#include "zorp/exif/ExifData.h"
#include "zorp/exif/TagIDs.h"

using namespace Zorp::Exif;
using namespace Quorvane::Viewer;
using Zorp::Testing::ByteBuilder;
using Zorp::Testing::ExifBuilder;
namespace fs = std::filesystem;

namespace {

// Dialog answers come from queues; what the controller asked is recorded.
class TStubServices : public TLocalFileSystem {
 public:
  std::string Pictures = "/nonexistent/Pictures", Home = "/tmp";
  std::deque<std::string> Folders;             // picker answers; empty: Cancel
  std::deque<std::optional<std::string>> Inputs;  // InputQuery/InputSelect answers; nullopt: Cancel
  std::deque<TDialogAnswer> Answers;
  std::deque<std::string> SaveNames;
  std::vector<std::string> Asked, Errors;
  std::string Clipboard, OpenedURL, PickerStart;
  std::deque<std::optional<TTimeOffset>> Offsets;       // nullopt or none left: Cancel
  std::deque<std::optional<TLocationText>> Locations;  // likewise
  std::vector<std::string> Messages, JobTitles;
  std::vector<std::string> Suggested;      // the paths the save dialogs were opened with
  std::vector<bool> ReportsFailed;         // each report's failed flag
  std::optional<std::size_t> CancelAfter;  // the job's progress says stop once this many are done
  std::size_t Calls = 0;                   // dialogs opened and jobs run
  // Run once inside the next input dialog, or the next job before its work.
  std::function<void()> WhileAsked, WhileRunning;
  bool FailJobs = false;  // jobs throw before their work

  bool PickFolder(const std::string& start, std::string& chosen) override {
    ++Calls;
    PickerStart = start;
    if (Folders.empty()) return false;
    chosen = Folders.front();
    Folders.pop_front();
    return true;
  }
  bool InputQuery(const std::string& caption, const std::string& prompt, std::string& value) override {
    return Answer(caption + "|" + prompt + "|" + value, value);
  }
  bool InputSelect(const std::string& caption, const std::string& prompt, std::string& value,
                   const std::string&) override {
    return Answer(caption + "|" + prompt + "|" + value, value);
  }
  TDialogAnswer AskYesNoCancel(const std::string& text) override {
    ++Calls;
    Asked.push_back(text);
    const TDialogAnswer answer = Answers.empty() ? TDialogAnswer::Cancel : Answers.front();
    if (!Answers.empty()) Answers.pop_front();
    return answer;
  }
  void ShowError(const std::string& message) override { Errors.push_back(message); }
  bool SaveDialog(std::string& fileName) override {
    ++Calls;
    Suggested.push_back(fileName);
    if (SaveNames.empty()) return false;
    fileName = SaveNames.front();
    SaveNames.pop_front();
    return true;
  }
  void SetClipboardText(const std::string& text) override { Clipboard = text; }
  bool AskYesNo(const std::string& text) override { return AskYesNoCancel(text) == TDialogAnswer::Yes; }
  void ShowMessage(const std::string& text) override { Messages.push_back(text); }
  void ShowReport(const std::string& text, bool failed) override {
    ReportsFailed.push_back(failed);
    ShowMessage(text);
  }
  bool InputTimeOffset(TTimeOffset& offset) override { return Next(Offsets, offset); }
  bool InputLocation(TLocationText& location) override { return Next(Locations, location); }
  bool SaveCsvDialog(std::string& fileName) override { return SaveDialog(fileName); }
  // Inline, on the test's thread.
  void RunWithProgress(const std::string& title, const std::function<void(const TJobProgress&)>& work) override {
    ++Calls;
    JobTitles.push_back(title);
    RunOnce(WhileRunning);
    if (FailJobs) throw std::runtime_error("disk full");
    work([this](std::size_t done, std::size_t) { return !CancelAfter || done < *CancelAfter; });
  }
  void OpenURL(const std::string& url) override { OpenedURL = url; }
  std::string PicturesFolder() override { return Pictures; }
  std::string HomeFolder() override { return Home; }

 private:
  static void RunOnce(std::function<void()>& hook) {
    if (const std::function<void()> run = std::exchange(hook, nullptr)) run();
  }
  template <typename T>
  bool Next(std::deque<std::optional<T>>& answers, T& value) {
    ++Calls;
    if (answers.empty()) return false;
    const std::optional<T> answer = answers.front();
    answers.pop_front();
    if (answer) value = *answer;
    return answer.has_value();
  }
  bool Answer(const std::string& question, std::string& value) {
    ++Calls;
    Asked.push_back(question);
    RunOnce(WhileAsked);
    if (Inputs.empty() || !Inputs.front()) {
      if (!Inputs.empty()) Inputs.pop_front();
      return false;
    }
    value = *Inputs.front();
    Inputs.pop_front();
    return true;
  }
};

class TheController : public ::testing::Test {
 protected:
  void SetUp() override {
    Folder = fs::temp_directory_path() /
             ("quorvane-controller-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(Folder);
    fs::create_directories(Folder);
    Controller.FormCreate(Folder / "no-such.ini");
  }
  void TearDown() override { fs::remove_all(Folder); }

  // A Canon photo: make, orientation, an Exif directory with a MakerNote (tag 1 = 7), a thumbnail.
  std::string Photo(const std::string& name, bool badTagHeader = false) {
    ExifBuilder block = Zorp::Testing::CanonCamera();
    if (badTagHeader) block.Primary.Raw(0x0200, 0, 1, {});
    return Write(name, ExifBuilder::Jpeg({block.Build()}));
  }
  // The Canon photo with a date/time, which a shift moves.
  std::string DatedPhoto(const std::string& name) {
    ExifBuilder block = Zorp::Testing::CanonCamera();
    block.Primary.Ascii(ttDateTime, "2020:01:02 03:04:05");
    return Write(name, ExifBuilder::Jpeg({block.Build()}));
  }
  // A photo with an XMP packet whose description holds these attributes and elements.
  std::string XMPPhoto(const std::string& name, const std::string& description) {
    const std::string xmp = std::string("http://ns.adobe.com/xap/1.0/") + '\0' +
                            "<x:xmpmeta xmlns:x='adobe:ns:meta/'><rdf:RDF "
                            "xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'><rdf:Description "
                            "rdf:about='' xmlns:xmp='http://ns.adobe.com/xap/1.0/' "
                            "xmlns:dc='http://purl.org/dc/elements/1.1/' xmlns:exif='http://ns.adobe.com/exif/1.0/' " +
                            description + "</rdf:Description></rdf:RDF></x:xmpmeta>";
    return Write(name, ExifBuilder::Jpeg({Zorp::Testing::CanonCamera().Build(),
                                          std::vector<std::uint8_t>(xmp.begin(), xmp.end())}));
  }
  std::string Write(const std::string& name, const std::vector<std::uint8_t>& bytes) {
    const fs::path path = Folder / name;
    Zorp::Testing::WriteFileBytes(path, bytes);
    return path.string();
  }

  // Opens the folder and selects the Standard row with this label.
  void OpenAndSelect(const std::string& label, TListKind list = lkStandard) {
    Controller.OpenFolder(Folder.string());
    if (list == lkMakerNote) Controller.TabSetChange(TabOfList(lkMakerNote));
    Controller.StandardListViewSelectItem(list, Row(label, list));
  }
  int Row(const std::string& caption, TListKind list = lkStandard) const {
    const TListRows& rows = Controller.Rows(list);
    for (std::size_t i = 0; i < rows.size(); ++i)
      if (rows[i].Caption == caption || rows[i].Caption == "   " + caption) return static_cast<int>(i);
    return -1;
  }
  std::string Value(const std::string& label, TListKind list = lkStandard) const {
    const int row = Row(label, list);
    return row < 0 ? "<none>" : Controller.Rows(list)[static_cast<std::size_t>(row)].Value();
  }
  static std::unique_ptr<TExifData> Reread(const std::string& path) {
    auto data = std::make_unique<TExifData>();
    data->LoadFromJPEG(path);
    return data;
  }

  fs::path Folder;
  TStubServices Services;
  TExifFormController Controller{Services};
};

}  // namespace

TEST_F(TheController, BrowsesToAFolderListingItsPhotosOnceSortedAndLoadsTheFirst) {
  for (const char* name : {"b.JPG", "a.jpeg", "c.Exif", "d.png", "e.jpg.txt"}) Photo(name);
  Services.Folders.push_back(Folder.string());
  Controller.BrowseButtonClick();
  EXPECT_EQ(Services.PickerStart, "/tmp");  // no folder yet, no Pictures folder: home
  EXPECT_EQ(Controller.FolderText(), Folder.string());
  EXPECT_EQ(Controller.PhotoNames(), (std::vector<std::string>{"a.jpeg", "b.JPG", "c.Exif"}));
  EXPECT_EQ(Controller.SelectedPhoto(), 0);
  EXPECT_EQ(Controller.PreviewHint(), (Folder / "a.jpeg").string());
  EXPECT_TRUE(Controller.PreviewShowHint());
  EXPECT_FALSE(Controller.PreviewJPEG().empty());
  EXPECT_EQ(Value("Camera make"), "Canon");
  EXPECT_EQ(Value("Type", lkMakerNote), "Canon");
  EXPECT_TRUE(Controller.SaveEnabled());
  EXPECT_TRUE(Controller.PopupMenuAutoPopup());
  EXPECT_FALSE(Controller.EditEnabled());

  // The next browse starts in the folder shown; Cancel changes nothing.
  Controller.FolderEditKeyPress();
  EXPECT_EQ(Services.PickerStart, Folder.string());
  EXPECT_EQ(Controller.PhotoNames().size(), 3u);
}

TEST_F(TheController, KeepsThePhotoShownWhenAFolderHasNoPhotosAndDoesNotReloadTheShownOne) {
  Photo("a.jpg");
  Controller.OpenFolder(Folder.string());
  const auto generation = Controller.RowsGeneration();
  Controller.PhotoListViewSelectItem(0, true);
  EXPECT_EQ(Controller.RowsGeneration(), generation);
  Controller.PhotoListViewSelectItem(0, false);
  EXPECT_EQ(Controller.RowsGeneration(), generation);
  fs::create_directories(Folder / "empty");
  Controller.OpenFolder((Folder / "empty").string());
  EXPECT_TRUE(Controller.PhotoNames().empty());
  EXPECT_EQ(Value("Camera make"), "Canon");
}

TEST_F(TheController, ShowsOneNoticeForAPhotoWithoutMetadataAndRetriesOneThatFailed) {
  Write("a.jpg", ExifBuilder::Jpeg({}));
  Write("b.jpg", {'n', 'o', 't', ' ', 'a', ' ', 'J', 'P', 'E', 'G'});
  Controller.OpenFolder(Folder.string());
  // The notice, then the rows an edit may fill in; the photo is the edits' target.
  ASSERT_GT(Controller.Rows(lkStandard).size(), 1u);
  EXPECT_EQ(Controller.Rows(lkStandard)[0].Caption, "No Exif metadata found");
  EXPECT_TRUE(Controller.Rows(lkMakerNote).empty());
  EXPECT_FALSE(Controller.SaveEnabled());
  EXPECT_EQ(Controller.FileName(), (Folder / "a.jpg").string());

  Controller.PhotoListViewSelectItem(1, true);
  EXPECT_TRUE(Controller.Rows(lkStandard).back().Caption.starts_with("Could not read the metadata: "));
  EXPECT_FALSE(Controller.SaveEnabled());
  EXPECT_FALSE(Controller.PreviewShowHint());
  const auto generation = Controller.RowsGeneration();
  Controller.PhotoListViewSelectItem(1, true);  // not shown, so loaded again
  EXPECT_NE(Controller.RowsGeneration(), generation);
  EXPECT_TRUE(Services.Errors.empty());  // a failed load opens no dialog
}

struct TEditCase {
  const char* Name;
  const char* Label;
  std::optional<std::string> Input;  // nullopt: Cancel
  std::string RowAfter;              // the row's value afterwards
  bool Saved;
  std::string Error = "";
};

class AnEdit : public TheController, public ::testing::WithParamInterface<TEditCase> {};

TEST_P(AnEdit, ValidatesShowsAndSavesAsTheRowKindSays) {
  const TEditCase& c = GetParam();
  const std::string path = Photo("a.jpg");
  OpenAndSelect(c.Label);
  ASSERT_TRUE(Controller.EditEnabled()) << c.Label;
  const auto before = Zorp::Testing::ReadFileBytes(path);
  Services.Inputs.push_back(c.Input);
  Controller.EditButtonClick();
  EXPECT_EQ(Value(c.Label), c.RowAfter);
  EXPECT_EQ(Zorp::Testing::ReadFileBytes(path) != before, c.Saved);
  EXPECT_EQ(Services.Errors, c.Error.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.Error});
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, AnEdit,
    ::testing::Values(TEditCase{"StringTrimmed", "Camera make", "  Nikon  ", "Nikon", true},
                      TEditCase{"SameTextWithBlanks", "Camera make", " Canon ", "Canon", false},
                      TEditCase{"Cancelled", "Camera make", std::nullopt, "Canon", false},
                      TEditCase{"DateTimeThatMeansNoDate", "Date/time", "1899-12-30 00:00:00", "", false,
                                "1899-12-30 00:00:00 cannot be stored; enter a date-time from 0001-01-01 00:00:00 "
                                "to 9999-12-31 23:59:59 other than 1899-12-30 00:00:00"},
                      TEditCase{"DateTimeJustAfterNoDate", "Date/time", "1899-12-30 00:00:01", "1899-12-30 00:00:01",
                                true},
                      TEditCase{"DateTimeFirstYear", "Date/time", "0001-01-01 00:00:00", "0001-01-01 00:00:00", true},
                      TEditCase{"Select", "Orientation", "Rotate 90", "Rotate 90", true},
                      TEditCase{"DateTime", "Date/time", "2020-01-02 03:04:05", "2020-01-02 03:04:05", true},
                      TEditCase{"DateTimeNotADate", "Date/time", "yesterday", "", false, "Invalid data format"},
                      TEditCase{"DateTimeExifForm", "Date/time", "2020:01:02 03:04:05", "2020:01:02 03:04:05", true},
                      TEditCase{"DateTimeISOWithZone", "Date/time original", "2020-01-02T03:04:05.5+02:00",
                                "2020-01-02T03:04:05.5+02:00", true},
                      TEditCase{"DateTimeISOBadZone", "Date/time", "2020-01-02T03:04:05+2", "", false,
                                "Invalid data format"},
                      TEditCase{"TextBeyondASCII", "Copyright", "© 2026 Ana Müller 漢", "© 2026 Ana Müller 漢", true}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST_F(TheController, NamesTheDateFormInTheDatePrompt) {
  Photo("a.jpg");
  OpenAndSelect("Date/time original");
  Services.Inputs.push_back(std::nullopt);
  Controller.EditButtonClick();
  EXPECT_EQ(Services.Asked.back(), "Edit data/time|Date/time original (YYYY-MM-DD HH:MM:SS):|");
}

TEST_F(TheController, LetsTheFirstEditOfAPhotoWithoutExifCreateIt) {
  const std::string path = Write("a.jpg", ExifBuilder::Jpeg({}));
  OpenAndSelect("Copyright");
  ASSERT_TRUE(Controller.EditEnabled());
  EXPECT_EQ(Controller.Rows(lkStandard)[0].Caption, "No Exif metadata found");
  EXPECT_EQ(Controller.Rows(lkStandard)[1].Key, "camera-make");
  Services.Inputs.push_back("© Ana Müller");
  Controller.EditButtonClick();
  EXPECT_TRUE(Services.Errors.empty()) << Services.Errors.front();
  EXPECT_EQ(Reread(path)->Copyright(), "© Ana Müller");
  // Listed again in full: the notice is gone and the row keeps its place selected.
  EXPECT_EQ(Controller.Rows(lkStandard)[0].Caption, "General");
  EXPECT_EQ(Value("Copyright"), "© Ana Müller");
  EXPECT_TRUE(Controller.SaveEnabled());
}

TEST_F(TheController, ShowsTheImageSizeButLetsNoEditChangeIt) {
  const std::string path = Photo("a.jpg");
  const auto before = Zorp::Testing::ReadFileBytes(path);
  for (const char* label : {"Exif image width", "Exif image height"}) {
    OpenAndSelect(label);
    const TListRow& row = Controller.Rows(lkStandard)[static_cast<std::size_t>(Row(label))];
    EXPECT_EQ(row.Kind(), "") << label;
    EXPECT_EQ(row.Hint, "Set from the image's real size on every save; not editable") << label;
    EXPECT_FALSE(Controller.EditEnabled()) << label;
    Services.Inputs.push_back("70000");
    Controller.EditButtonClick();
    EXPECT_EQ(Services.Asked.size(), 0u) << label;
  }
  EXPECT_EQ(Zorp::Testing::ReadFileBytes(path), before);
}

TEST_F(TheController, StoresEditedValuesInTheFile) {
  const std::string path = Photo("a.jpg");
  OpenAndSelect("Orientation");
  Services.Inputs.push_back("Rotate 90");
  Controller.EditButtonClick();
  Controller.StandardListViewSelectItem(lkStandard, Row("Date/time"));
  Services.Inputs.push_back("2020-01-02 03:04:05");
  Controller.EditButtonClick();
  Controller.StandardListViewSelectItem(lkStandard, Row("Camera make"));
  Services.Inputs.push_back("  Nikon ");
  Controller.EditButtonClick();
  EXPECT_EQ(Services.Asked.back(), "Edit string|Camera make:|Canon");

  const auto saved = Reread(path);
  EXPECT_EQ(saved->Orientation(), toRightTop);
  EXPECT_EQ(saved->DateTime(), Zorp::Base::EncodeDateTime(2020, 1, 2, 3, 4, 5, 0));
  EXPECT_EQ(saved->CameraMake(), "Nikon");
}

TEST_F(TheController, ResavesOnYesToALoadStatusThatIsNotYes) {
  const std::string path = Photo("a.jpg", true);
  OpenAndSelect("Loaded cleanly");
  ASSERT_EQ(Value("Loaded cleanly"), "No: one or more bad tag headers");
  const auto before = Zorp::Testing::ReadFileBytes(path);
  for (const TDialogAnswer answer : {TDialogAnswer::No, TDialogAnswer::Cancel}) {
    Services.Answers.push_back(answer);
    Controller.EditButtonClick();
    EXPECT_EQ(Zorp::Testing::ReadFileBytes(path), before);
  }
  Services.Answers.push_back(TDialogAnswer::Yes);
  Controller.EditButtonClick();
  EXPECT_EQ(Services.Asked.back(), "Loaded cleanly: Rewrite this directory in a clean form?");
  EXPECT_NE(Zorp::Testing::ReadFileBytes(path), before);
  EXPECT_EQ(Value("Loaded cleanly"), "No: one or more bad tag headers");  // the row keeps its text
}

TEST_F(TheController, ReloadsThePhotoAfterAnEditThatCouldNotBeSaved) {
  const std::string path = Photo("a.jpg");
  OpenAndSelect("Exif version");
  Services.Inputs.push_back("not a version");
  Controller.EditButtonClick();
  ASSERT_EQ(Services.Errors.size(), 1u);
  EXPECT_EQ(Value("Exif version"), "");

  // A file without write permission is refused, even for root.
  fs::permissions(path, fs::perms::owner_read, fs::perm_options::replace);
  const auto before = Zorp::Testing::ReadFileBytes(path);
  Controller.StandardListViewSelectItem(lkStandard, Row("Camera make"));
  Services.Inputs.push_back("Nikon");
  Controller.EditButtonClick();
  EXPECT_EQ(Services.Errors.size(), 2u);
  EXPECT_EQ(Value("Camera make"), "Canon");
  EXPECT_EQ(Zorp::Testing::ReadFileBytes(path), before);
  EXPECT_EQ(Controller.PreviewHint(), path);
}

TEST_F(TheController, EnablesEditForEditableRowsOnlyAndNotAgainOnATabSwitch) {
  Photo("a.jpg");
  OpenAndSelect("Camera make");
  EXPECT_TRUE(Controller.EditEnabled());
  Controller.TabSetChange(TabOfList(lkMakerNote));
  EXPECT_EQ(Controller.VisibleList(), lkMakerNote);
  EXPECT_TRUE(Controller.EditEnabled());  // not re-evaluated
  Controller.EditButtonClick();          // nothing selected in the MakerNote list
  EXPECT_TRUE(Services.Asked.empty());

  Controller.StandardListViewSelectItem(lkMakerNote, Row("Unknown ($0001)", lkMakerNote));
  EXPECT_FALSE(Controller.EditEnabled());
  Controller.EditButtonClick();
  EXPECT_TRUE(Services.Asked.empty());
  Controller.StandardListViewSelectItem(lkMakerNote, Row("General", lkMakerNote));
  EXPECT_FALSE(Controller.EditEnabled());
  Controller.TabSetChange(TabOfList(lkStandard));
  EXPECT_EQ(Controller.VisibleList(), lkStandard);
}

TEST_F(TheController, ShowsTheSummaryOnTheFirstTabAndEachListOnItsOwn) {
  EXPECT_EQ(Controller.TabIndex(), 0);
  EXPECT_EQ(Controller.VisibleList(), lkSummary);
  const std::pair<int, TListKind> tabs[] = {{1, lkStandard}, {2, lkMakerNote}, {3, lkXMP},
                                            {4, lkIPTC},     {5, lkIPTC},      {0, lkSummary}};
  for (const auto& [tab, list] : tabs) {
    Controller.TabSetChange(tab);
    EXPECT_EQ(Controller.VisibleList(), list) << tab;
    EXPECT_EQ(TabOfList(list), tab == 5 ? 4 : tab);
  }
  // A selection in another list (the command line's edit makes one) shows that list.
  Controller.StandardListViewSelectItem(lkStandard, -1);
  EXPECT_EQ(Controller.VisibleList(), lkStandard);
  EXPECT_EQ(Controller.TabIndex(), 1);
}

// The Summary: read-only, copied and exported like the other lists; its Location row opens the map.
TEST_F(TheController, ListsTheSummaryReadOnlyAndOpensItsLocationOnTheMap) {
  ExifBuilder block = Zorp::Testing::CanonCamera();
  block.Gps.Ascii(1, "N").Raw(2, 5, 3, {}, {48, 1, 51, 1, 302, 10});
  block.Gps.Ascii(3, "W").Raw(4, 5, 3, {}, {2, 1, 17, 1, 402, 10});
  Write("a.jpg", ExifBuilder::Jpeg({block.Build()}));
  Controller.OpenFolder(Folder.string());
  EXPECT_EQ(Value("Location", lkSummary), "48.858389, -2.294500");
  const std::string map = "https://www.openstreetmap.org/?mlat=48.858389&mlon=-2.294500#map=16/48.858389/-2.294500";
  EXPECT_EQ(Controller.LocationAddress(), map);
  Controller.StandardListViewSelectItem(lkSummary, Row("Camera", lkSummary));
  EXPECT_FALSE(Controller.EditEnabled());
  Controller.ListDoubleClick(lkSummary, Row("Camera", lkSummary));
  EXPECT_TRUE(Services.Asked.empty());
  EXPECT_EQ(Services.OpenedURL, "");
  Controller.CopyMenuItemClick();
  EXPECT_EQ(Services.Clipboard, "Camera:\tCanon");
  Services.SaveNames.push_back((Folder / "summary").string());
  Controller.SaveButtonClick();
  const auto bytes = Zorp::Testing::ReadFileBytes(Folder / "summary.txt");
  EXPECT_EQ(std::string(bytes.begin(), bytes.end()).substr(3, 14), "Camera:Canon\r\n");
  EXPECT_EQ(Controller.Rows(lkSummary)[Row("Location", lkSummary)].Hint,
            "Double-click to open the position in OpenStreetMap");
  Controller.ListDoubleClick(lkSummary, Row("Location", lkSummary));
  EXPECT_EQ(Services.OpenedURL, map);
  Controller.ClearDisplay();
  EXPECT_TRUE(Controller.Rows(lkSummary).empty());
  EXPECT_EQ(Controller.LocationAddress(), "");
}

struct TExportNameCase {
  const char* Name;
  const char* Chosen;
  const char* Written;
};

class AnExport : public TheController, public ::testing::WithParamInterface<TExportNameCase> {};

TEST_P(AnExport, WritesTheVisibleListUnderTheChosenName) {
  Write("existing.txt", {'o', 'l', 'd'});
  Write("a.jpg", ExifBuilder::Jpeg({[] {
                                     ExifBuilder block;
                                     block.Primary.Ascii(ttMake, "Canon");
                                     return block.Build();
                                   }()}));
  Controller.OpenFolder(Folder.string());
  Controller.TabSetChange(TabOfList(lkMakerNote));
  Services.SaveNames.push_back((Folder / GetParam().Chosen).string());
  Controller.SaveButtonClick();
  const auto bytes = Zorp::Testing::ReadFileBytes(Folder / GetParam().Written);
  EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "\xEF\xBB\xBFNo MakerNote found\r\n" + std::string(18, '-') + "\r\n");
  Controller.SaveButtonClick();  // Cancel: nothing
}

INSTANTIATE_TEST_SUITE_P(Names, AnExport,
                         ::testing::Values(TExportNameCase{"WithoutExtension", "list", "list.txt"},
                                           TExportNameCase{"OtherExtension", "list.log", "list.log"},
                                           TExportNameCase{"ExistingFile", "existing.txt", "existing.txt"}),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST_F(TheController, CopiesTheSelectedRowOfTheVisibleList) {
  Photo("a.jpg");
  Controller.OpenFolder(Folder.string());
  const std::pair<std::string, std::string> cases[] = {{"Main IFD", "Main IFD"}, {"Camera make", "Camera make:\tCanon"}};
  for (const auto& [caption, copied] : cases) {
    Controller.StandardListViewSelectItem(lkStandard, Row(caption));
    Controller.CopyMenuItemClick();
    EXPECT_EQ(Services.Clipboard, copied);
  }
  Controller.TabSetChange(TabOfList(lkMakerNote));
  Controller.StandardListViewSelectItem(lkMakerNote, Row("Unknown ($0001)", lkMakerNote));
  Controller.CopyMenuItemClick();
  EXPECT_EQ(Services.Clipboard, "7");
  Controller.WebLabelClick();
  EXPECT_EQ(Services.OpenedURL, WebAddress);
}

struct TDrawCase {
  const char* Name;
  TListRow Row;
  bool Selected;
  TRowDrawing Expected;
};

class ARowDrawing : public ::testing::TestWithParam<TDrawCase> {};

TEST_P(ARowDrawing, PlacesCaptionAndValueAndColoursEditableCells) {
  const TRowDrawing d = DrawRow(GetParam().Row, GetParam().Selected, TRect{10, 20, 400, 37}, 13, 150);
  const TRowDrawing& e = GetParam().Expected;
  EXPECT_EQ(d.WindowBackground, e.WindowBackground);
  EXPECT_EQ(d.CaptionX, e.CaptionX);
  EXPECT_EQ(d.CaptionY, e.CaptionY);
  EXPECT_EQ(d.DrawValue, e.DrawValue);
  EXPECT_EQ(d.FillValueCell, e.FillValueCell);
  EXPECT_EQ(d.ValueCell, e.ValueCell);
  EXPECT_EQ(d.ValueX, e.ValueX);
  EXPECT_EQ(d.ValueY, e.ValueY);
}

// Item rectangle (10, 20)-(400, 37): height 17, text height 13, so the caption is at 20 + (18 - 13) / 2.
INSTANTIATE_TEST_SUITE_P(
    Rows, ARowDrawing,
    ::testing::Values(
        TDrawCase{"Heading", {"Main IFD", {}}, false, {true, true, 12, 22, false, false, {}, 0, 0}},
        TDrawCase{"EditableRow", {"   Camera make", {"Canon", "string", ""}}, false,
                  {true, true, 12, 22, true, true, {160, 21, 400, 35}, 162, 21}},
        TDrawCase{"SelectedEditableRow", {"   Camera make", {"Canon", "string", ""}}, true,
                  {true, false, 12, 22, true, false, {}, 162, 21}},
        TDrawCase{"ReadOnlyRow", {"   Type", {"Canon", "", ""}}, false, {true, true, 12, 22, true, false, {}, 162, 21}},
        TDrawCase{"EmptyReadOnlyRow", {"   Software", {"", "", ""}}, false, {true, true, 12, 22, false, false, {}, 0, 0}},
        TDrawCase{"EmptyEditableRow", {"   Date/time", {"", "datetime", ""}}, false,
                  {true, true, 12, 22, true, true, {160, 21, 400, 35}, 162, 21}}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST_F(TheController, DrawsNothingWithoutData) {
  EXPECT_FALSE(Controller.DrawItem(lkStandard, 0, false, TRect{0, 0, 100, 17}, 13, 150).Draw);
}

// Edited photos still read cleanly in the independent reader: a real camera photo when the shared
// photos are there, and the project's own Canon sample always.
class AnEditedPhoto : public TheController, public ::testing::WithParamInterface<const char*> {};

TEST_P(AnEditedPhoto, StillReadsInExifToolWithItsMakerNote) {
  const fs::path sample = GetParam();
  if (!fs::exists(sample) || !Zorp::Testing::HasExifTool()) GTEST_SKIP() << "no " << sample << " or no exiftool";
  Zorp::Testing::CopyWritable(sample, Folder / "photo.jpg");
  OpenAndSelect("Copyright");
  Services.Inputs.push_back("Quorvane test");
  Controller.EditButtonClick();
  ASSERT_TRUE(Services.Errors.empty());
  const std::string path = (Folder / "photo.jpg").string();
  using Zorp::Testing::RunCommand;
  EXPECT_EQ(RunCommand("exiftool -s3 -IFD0:Copyright '" + path + "'"), "Quorvane test\n");
  EXPECT_EQ(RunCommand("exiftool -s3 -Canon:Quality '" + path + "'"),
            RunCommand("exiftool -s3 -Canon:Quality '" + sample.string() + "'"));
  // No warning or error that the original did not have.
  const std::string problems = "exiftool -a -s3 -Warning -Error -api validate=1 '";
  EXPECT_EQ(RunCommand(problems + path + "'"), RunCommand(problems + sample.string() + "'"));
}

INSTANTIATE_TEST_SUITE_P(
    Photos, AnEditedPhoto,
    ::testing::Values(QUORVANE_SOURCE_DIR "/samples/canon-sunset.jpg",
                      QUORVANE_PHOTOS_DIR "/dcc_canon_eos-5d-mark-iii_EOS5D-MIII__K6A7944.jpg"));

// ---- several photos selected ----

TEST_F(TheController, KeepsTheSelectedPhotosAndShowsTheFocusedOne) {
  for (const char* name : {"a.jpg", "b.jpg", "c.jpg"}) Photo(name);
  Controller.OpenFolder(Folder.string());
  EXPECT_EQ(Controller.SelectedPhotos(), std::vector<int>{0});
  Controller.PhotoListSelectionChange({2, 0, 7, 2, -1}, 2);
  EXPECT_EQ(Controller.SelectedPhotos(), (std::vector<int>{0, 2}));
  EXPECT_EQ(Controller.SelectedPhoto(), 2);
  EXPECT_EQ(Controller.PreviewHint(), (Folder / "c.jpg").string());
  EXPECT_EQ(Controller.SelectedFiles(), (std::vector<std::string>{(Folder / "a.jpg").string(), (Folder / "c.jpg").string()}));
  Controller.PhotoListSelectionChange({}, -1);  // nothing: unchanged
  EXPECT_EQ(Controller.SelectedPhotos(), (std::vector<int>{0, 2}));
  Controller.PhotoListViewSelectItem(1, true);  // a plain click selects one
  EXPECT_EQ(Controller.SelectedPhotos(), std::vector<int>{1});
}

struct TMultiEditCase {
  const char* Name;
  TDialogAnswer Answer;
  bool KeepFileDates;
  bool OtherChanged;
};
void PrintTo(const TMultiEditCase& c, std::ostream* out) { *out << c.Name; }

class AMultiEdit : public TheController, public ::testing::WithParamInterface<TMultiEditCase> {};

// The edit asks whether the value goes to every selected photo: Yes edits both as a job, No only the
// one shown; file dates stay when asked to.
TEST_P(AMultiEdit, AppliesTheValueToAllSelectedPhotosOnYesOnly) {
  const TMultiEditCase& c = GetParam();
  const std::string shown = Photo("a.jpg"), other = Photo("b.jpg");
  const auto past = fs::last_write_time(other) - std::chrono::hours(240);
  for (const std::string& path : {shown, other}) fs::last_write_time(path, past);
  const auto otherBefore = Zorp::Testing::ReadFileBytes(other);
  Controller.SetKeepFileDates(c.KeepFileDates);
  Controller.OpenFolder(Folder.string());
  Controller.PhotoListSelectionChange({0, 1}, 0);
  Controller.StandardListViewSelectItem(lkStandard, Row("Camera make"));
  Services.Inputs.push_back("Nikon");
  Services.Answers.push_back(c.Answer);
  Controller.EditButtonClick();
  EXPECT_EQ(Services.Asked.back(), "Apply to all 2 selected photos?");
  EXPECT_EQ(Reread(shown)->CameraMake(), "Nikon");
  EXPECT_EQ(Reread(other)->CameraMake(), c.OtherChanged ? "Nikon" : "Canon");
  if (!c.OtherChanged) {
    EXPECT_EQ(Zorp::Testing::ReadFileBytes(other), otherBefore);
  }
  EXPECT_EQ(Services.Messages.size(), c.OtherChanged ? 1u : 0u);  // the job's summary
  EXPECT_EQ(Value("Camera make"), "Nikon");                         // the shown photo's row is current
  EXPECT_EQ(fs::last_write_time(shown) == past, c.KeepFileDates);
  EXPECT_TRUE(Services.Errors.empty());
}

INSTANTIATE_TEST_SUITE_P(Answers, AMultiEdit,
                         ::testing::Values(TMultiEditCase{"Yes", TDialogAnswer::Yes, false, true},
                                           TMultiEditCase{"No", TDialogAnswer::No, false, false},
                                           TMultiEditCase{"YesKeepingDates", TDialogAnswer::Yes, true, true},
                                           TMultiEditCase{"NoKeepingDates", TDialogAnswer::No, true, false}),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST_F(TheController, OffersTheShownPhotosValueToTheOtherSelectedPhotos) {
  Photo("a.jpg");
  const std::string other = Write("b.jpg", ExifBuilder::Jpeg({[] {
                                    ExifBuilder block;
                                    block.Primary.Ascii(ttMake, "Nikon");
                                    return block.Build();
                                  }()}));
  OpenAndSelect("Camera make");
  Controller.PhotoListSelectionChange({0, 1}, 0);
  Services.Inputs.push_back("Canon");  // what the shown photo holds
  Services.Answers.push_back(TDialogAnswer::Yes);
  Controller.EditButtonClick();
  EXPECT_EQ(Reread(other)->CameraMake(), "Canon");
  TJobSummary expected;
  expected.Changed = 1;
  expected.Unchanged = 1;
  EXPECT_EQ(Services.Messages, std::vector<std::string>{SummaryText(expected)});
}

TEST_F(TheController, AsksNothingMoreForOnePhotoOrARefusedValue) {
  Photo("a.jpg");
  Photo("b.jpg");
  OpenAndSelect("Date/time");
  Services.Inputs.push_back("2020-01-02 03:04:05");
  Controller.EditButtonClick();  // one photo selected: no question
  EXPECT_EQ(Services.Asked.size(), 1u);
  Controller.PhotoListSelectionChange({0, 1}, 0);
  Services.Inputs.push_back("abc");
  Controller.EditButtonClick();  // refused before the question
  Services.Inputs.push_back("1899-12-30 00:00:00");
  Controller.EditButtonClick();  // a date that cannot be stored too
  EXPECT_EQ(Services.Asked.size(), 3u);
  ASSERT_EQ(Services.Errors.size(), 2u);
  EXPECT_EQ(Services.Errors[0], "Invalid data format");
  EXPECT_TRUE(Services.Errors[1].starts_with("1899-12-30 00:00:00 cannot be stored")) << Services.Errors[1];
}

// ---- the Tools menu's jobs ----

struct TJobCase {
  const char* Name;
  std::function<void(TStubServices&)> Answer;  // queues the dialog's answer
  std::function<void(TExifFormController&)> Run;
  std::function<bool(const TExifData&)> Done;  // the edit is in the photo
};
void PrintTo(const TJobCase& c, std::ostream* out) { *out << c.Name; }

const TJobCase JobCases[] = {
    {"ShiftDateTime", [](TStubServices& s) { s.Offsets.push_back(TTimeOffset{-3600}); },
     [](TExifFormController& c) { c.ShiftDateTimeMenuItemClick(); },
     [](const TExifData& d) { return d.DateTime() == Zorp::Base::EncodeDateTime(2020, 1, 2, 2, 4, 5, 0); }},
    {"SetLocation", [](TStubServices& s) { s.Locations.push_back(TLocationText{"48.8584", "2°17'40.2\"E", "35"}); },
     [](TExifFormController& c) { c.SetLocationMenuItemClick(); },
     [](const TExifData& d) { return !d.GPSLatitude().Missing(); }},
};

class AJob : public TheController, public ::testing::WithParamInterface<TJobCase> {};

// The middle of three photos cannot be written: the others change, it stays byte for byte and the
// summary names it; the shown photo's rows are reloaded.
TEST_P(AJob, ChangesTheWritablePhotosAndReportsTheOneThatFailed) {
  const std::string a = DatedPhoto("a.jpg"), b = DatedPhoto("b.jpg"), c = DatedPhoto("c.jpg");
  fs::permissions(b, fs::perms::owner_read, fs::perm_options::replace);
  const auto before = Zorp::Testing::ReadFileBytes(b);
  Controller.OpenFolder(Folder.string());
  Controller.PhotoListSelectionChange({0, 1, 2}, 0);
  const auto generation = Controller.RowsGeneration();
  GetParam().Answer(Services);
  GetParam().Run(Controller);
  EXPECT_TRUE(GetParam().Done(*Reread(a)));
  EXPECT_TRUE(GetParam().Done(*Reread(c)));
  EXPECT_EQ(Zorp::Testing::ReadFileBytes(b), before);
  ASSERT_EQ(Services.Messages.size(), 1u);
  EXPECT_NE(Services.Messages[0].find(b), std::string::npos) << Services.Messages[0];
  EXPECT_NE(Controller.RowsGeneration(), generation);
  EXPECT_TRUE(GetParam().Done(*Controller.Data()));
}

// Cancelled after the first photo: the first stays written, the others untouched.
TEST_P(AJob, LeavesThePhotosAfterACancelUntouched) {
  const std::string a = DatedPhoto("a.jpg"), b = DatedPhoto("b.jpg"), c = DatedPhoto("c.jpg");
  const auto bBefore = Zorp::Testing::ReadFileBytes(b), cBefore = Zorp::Testing::ReadFileBytes(c);
  Controller.OpenFolder(Folder.string());
  Controller.PhotoListSelectionChange({0, 1, 2}, 0);
  Services.CancelAfter = 1;
  GetParam().Answer(Services);
  GetParam().Run(Controller);
  EXPECT_TRUE(GetParam().Done(*Reread(a)));
  EXPECT_EQ(Zorp::Testing::ReadFileBytes(b), bBefore);
  EXPECT_EQ(Zorp::Testing::ReadFileBytes(c), cBefore);
  TJobSummary expected;
  expected.Changed = 1;
  expected.NotDone = 2;
  expected.Cancelled = true;
  EXPECT_EQ(Services.Messages, std::vector<std::string>{SummaryText(expected)});
}

TEST_P(AJob, DoesNothingOnCancel) {
  const std::string a = DatedPhoto("a.jpg");
  const auto before = Zorp::Testing::ReadFileBytes(a);
  Controller.OpenFolder(Folder.string());
  GetParam().Run(Controller);  // no answer queued: the dialog is cancelled
  EXPECT_EQ(Zorp::Testing::ReadFileBytes(a), before);
  EXPECT_TRUE(Services.JobTitles.empty());
}

INSTANTIATE_TEST_SUITE_P(Tools, AJob, ::testing::ValuesIn(JobCases),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST_F(TheController, RefusesALocationThatDoesNotReadAndAsksAgain) {
  const std::string path = Photo("a.jpg");
  const auto before = Zorp::Testing::ReadFileBytes(path);
  Controller.OpenFolder(Folder.string());
  for (const TLocationText& typed : {TLocationText{"91", "2", ""}, TLocationText{"48.5", "east", ""},
                                     TLocationText{"48.5", "2.3", "high"}, TLocationText{"48.5", "2.3", "1e9"}})
    Services.Locations.push_back(typed);
  Controller.SetLocationMenuItemClick();
  EXPECT_EQ(Services.Errors, (std::vector<std::string>{"Invalid latitude", "Invalid longitude", "Invalid altitude",
                                                       "Invalid altitude"}));
  EXPECT_EQ(Zorp::Testing::ReadFileBytes(path), before);

  // The dialog comes back with the last texts; good ones run the job.
  Services.Locations.push_back(TLocationText{" 33 51 24.5 S ", "151.2093", " -2.5 "});
  Controller.SetLocationMenuItemClick();
  EXPECT_EQ(Services.JobTitles, std::vector<std::string>{"Set location"});
  const auto saved = Reread(path);
  EXPECT_EQ(saved->GPSLatitude().Direction(), 'S');
  EXPECT_TRUE(saved->GPSLatitude().AsString().starts_with("33,51.408")) << saved->GPSLatitude().AsString();
  EXPECT_NE(Value("GPS latitude"), "<none>");
}

TEST_F(TheController, RemovesTheLocationAfterAskingOnly) {
  const std::string path = Photo("a.jpg");
  Controller.OpenFolder(Folder.string());
  Services.Locations.push_back(TLocationText{"10", "20", ""});
  Controller.SetLocationMenuItemClick();
  const auto located = Zorp::Testing::ReadFileBytes(path);
  Services.Answers.push_back(TDialogAnswer::No);
  Controller.RemoveLocationMenuItemClick();
  EXPECT_EQ(Services.Asked.back(), "Remove the location from 1 photo?");
  EXPECT_EQ(Zorp::Testing::ReadFileBytes(path), located);
  Services.Answers.push_back(TDialogAnswer::Yes);
  Controller.RemoveLocationMenuItemClick();
  EXPECT_TRUE(Reread(path)->GPSLatitude().Missing());
  EXPECT_EQ(Value("GPS latitude"), "<none>");
}

struct TCsvCase {
  const char* Name;
  std::vector<int> Selected;
  const char* Chosen;
  std::vector<std::string> Listed;
};
void PrintTo(const TCsvCase& c, std::ostream* out) { *out << c.Name; }

class ACsvExport : public TheController, public ::testing::WithParamInterface<TCsvCase> {};

// Several photos selected are listed; one selected lists the whole folder.
TEST_P(ACsvExport, ListsTheSelectedPhotosOrTheFolder) {
  for (const char* name : {"a.jpg", "b.jpg", "c.jpg"}) Photo(name);
  Controller.OpenFolder(Folder.string());
  Controller.PhotoListSelectionChange(GetParam().Selected, GetParam().Selected.front());
  Services.SaveNames.push_back((Folder / GetParam().Chosen).string());
  Controller.ExportCsvMenuItemClick();
  const auto bytes = Zorp::Testing::ReadFileBytes(Folder / "list.csv");
  const std::string csv(bytes.begin(), bytes.end());
  EXPECT_TRUE(csv.starts_with("File,Camera make,Camera model,")) << csv;
  std::size_t lines = 0;
  for (std::size_t at = csv.find("\r\n"); at != std::string::npos; at = csv.find("\r\n", at + 2)) ++lines;
  EXPECT_EQ(lines, GetParam().Listed.size() + 1);
  for (const std::string& name : GetParam().Listed)
    EXPECT_NE(csv.find((Folder / name).string() + ",Canon,"), std::string::npos) << name;
  EXPECT_EQ(Services.Messages.size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Selections, ACsvExport,
    ::testing::Values(TCsvCase{"TwoSelected", {0, 2}, "list.csv", {"a.jpg", "c.jpg"}},
                      TCsvCase{"OneSelected", {1}, "list", {"a.jpg", "b.jpg", "c.jpg"}}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST_F(TheController, WritesNoCsvWhenTheExportIsCancelled) {
  Photo("a.jpg");
  Photo("b.jpg");
  Controller.OpenFolder(Folder.string());
  Services.CancelAfter = 1;
  Services.SaveNames.push_back((Folder / "list.csv").string());
  Controller.ExportCsvMenuItemClick();
  EXPECT_FALSE(fs::exists(Folder / "list.csv"));
  EXPECT_TRUE(Services.Messages.empty());
}

TEST_F(TheController, KeepsTheFileDateOfASingleEditWhenAsked) {
  const std::string path = Photo("a.jpg");
  const auto past = fs::last_write_time(path) - std::chrono::hours(48);
  for (const bool keep : {true, false}) {
    fs::last_write_time(path, past);
    Controller.SetKeepFileDates(keep);
    // Read after the date was set back: a photo changed after it was read would not be saved.
    Controller.LoadPhoto(path);
    Controller.StandardListViewSelectItem(lkStandard, Row("Camera make"));
    Services.Inputs.push_back(keep ? "Nikon" : "Pentax");
    Controller.EditButtonClick();
    EXPECT_EQ(fs::last_write_time(path) == past, keep);
  }
}

TEST_F(TheController, DoesNotWriteOldValuesOverAnotherProgramsChangeAndReadsThePhotoAgain) {
  const std::string path = Photo("a.jpg");
  OpenAndSelect("Camera make");
  {
    TExifData other;  // another program sets the artist while the photo is shown
    other.LoadFromJPEG(path);
    other.SetAuthor("Someone else");
    other.SaveToJPEG(path, true);
  }
  Services.Inputs.push_back("Nikon");
  Controller.EditButtonClick();
  EXPECT_EQ(Services.Errors, std::vector<std::string>{Zorp::Base::SPhotoChangedSinceRead});
  EXPECT_EQ(Value("Camera make"), "Canon");  // read again
  // Repeated on what is there now, the edit lands beside the other change.
  Controller.StandardListViewSelectItem(lkStandard, Row("Camera make"));
  Services.Inputs.push_back("Nikon");
  Controller.EditButtonClick();
  TExifData saved;
  saved.LoadFromJPEG(path);
  EXPECT_EQ(saved.CameraMake(), "Nikon");
  EXPECT_EQ(saved.Author(), "Someone else");
}

// ---- the XMP list ----

struct TXMPCase {
  const char* Name;
  std::optional<std::string> Description;  // nullopt: no XMP segment
  std::vector<std::pair<std::string, std::string>> Rows;  // caption, value; value "-" for a caption row
};
void PrintTo(const TXMPCase& c, std::ostream* out) { *out << c.Name; }

class AnXMPList : public TheController, public ::testing::WithParamInterface<TXMPCase> {};

TEST_P(AnXMPList, ListsThePacketsValuesByPathOrOneNotice) {
  const TXMPCase& c = GetParam();
  if (c.Description)
    XMPPhoto("a.jpg", *c.Description);
  else
    Photo("a.jpg");
  Controller.OpenFolder(Folder.string());
  Controller.TabSetChange(TabOfList(lkXMP));
  EXPECT_EQ(Controller.VisibleList(), lkXMP);
  std::vector<std::pair<std::string, std::string>> rows;
  for (const TListRow& row : Controller.Rows(lkXMP)) rows.emplace_back(row.Caption, row.IsValueRow() ? row.Value() : "-");
  EXPECT_EQ(rows, c.Rows);
  for (const TListRow& row : Controller.Rows(lkXMP)) EXPECT_TRUE(row.Kind().empty()) << row.Caption;
}

INSTANTIATE_TEST_SUITE_P(
    Packets, AnXMPList,
    ::testing::Values(
        TXMPCase{"Nested",
                 "xmp:Rating='3'><dc:subject><rdf:Bag><rdf:li>sea</rdf:li><rdf:li>sky</rdf:li></rdf:Bag></dc:subject>"
                 "<dc:title><rdf:Alt><rdf:li xml:lang='x-default'>Sunset\nat sea</rdf:li></rdf:Alt></dc:title>"
                 "<exif:Flash rdf:parseType='Resource'><exif:Fired>True</exif:Fired></exif:Flash>",
                 {{"exif:Flash/exif:Fired", "True"},
                  {"xmp:Rating", "3"},
                  {"dc:subject[1]", "sea"},
                  {"dc:subject[2]", "sky"},
                  {"dc:title[x-default]", "Sunset\\nat sea"}}},
        TXMPCase{"NoPacket", std::nullopt, {{"No XMP packet found", "-"}}},
        TXMPCase{"NotAPacket", "><unclosed", {{"Could not read the XMP packet: XMP packet is not valid", "-"}}}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST_F(TheController, ExportsAndCopiesTheXMPList) {
  XMPPhoto("a.jpg", "xmp:Rating='3' xmp:Label='Red'>");
  Controller.OpenFolder(Folder.string());
  Controller.TabSetChange(TabOfList(lkXMP));
  Controller.StandardListViewSelectItem(lkXMP, 1);
  EXPECT_FALSE(Controller.EditEnabled());
  Controller.CopyMenuItemClick();
  EXPECT_EQ(Services.Clipboard, Controller.Rows(lkXMP)[1].Caption + ":\t" + Controller.Rows(lkXMP)[1].Value());
  Services.SaveNames.push_back((Folder / "xmp.txt").string());
  Controller.SaveButtonClick();
  const auto bytes = Zorp::Testing::ReadFileBytes(Folder / "xmp.txt");
  const std::string text(bytes.begin(), bytes.end());
  EXPECT_NE(text.find("xmp:Rating:3\r\n"), std::string::npos) << text;
  EXPECT_NE(text.find("xmp:Label:Red\r\n"), std::string::npos) << text;
}

// ---- one job or edit at a time ----

using THook = std::function<void()>;

// What starts the first job or edit, with the hook that runs while it does.
struct TBusyWorkCase {
  const char* Name;
  std::function<void(TStubServices&, const fs::path& folder, THook)> Prepare;
  std::function<void(TExifFormController&)> Run;
};
// A request made meanwhile.
struct TBusyRequestCase {
  const char* Name;
  std::function<void(TExifFormController&, const fs::path& folder)> Request;
};

const TBusyWorkCase BusyWorkCases[] = {
    {"Edit",
     [](TStubServices& s, const fs::path&, THook hook) {
       s.Inputs.push_back("Nikon");
       s.WhileAsked = hook;
     },
     [](TExifFormController& c) { c.EditButtonClick(); }},
    {"EditOfTwoPhotos",
     [](TStubServices& s, const fs::path&, THook hook) {
       s.Inputs.push_back("Nikon");
       s.Answers.push_back(TDialogAnswer::Yes);
       s.WhileRunning = hook;
     },
     [](TExifFormController& c) {
       c.PhotoListSelectionChange({0, 1}, 0);
       c.EditButtonClick();
     }},
    {"ShiftDateTime",
     [](TStubServices& s, const fs::path&, THook hook) {
       s.Offsets.push_back(TTimeOffset{60});
       s.WhileRunning = hook;
     },
     [](TExifFormController& c) { c.ShiftDateTimeMenuItemClick(); }},
    {"ExportCsv",
     [](TStubServices& s, const fs::path& folder, THook hook) {
       s.SaveNames.push_back((folder / "list.csv").string());
       s.WhileRunning = hook;
     },
     [](TExifFormController& c) { c.ExportCsvMenuItemClick(); }},
};

const TBusyRequestCase BusyRequestCases[] = {
    {"Edit", [](TExifFormController& c, const fs::path&) { c.EditButtonClick(); }},
    {"ShiftDateTime", [](TExifFormController& c, const fs::path&) { c.ShiftDateTimeMenuItemClick(); }},
    {"SetLocation", [](TExifFormController& c, const fs::path&) { c.SetLocationMenuItemClick(); }},
    {"RemoveLocation", [](TExifFormController& c, const fs::path&) { c.RemoveLocationMenuItemClick(); }},
    {"ExportCsv", [](TExifFormController& c, const fs::path&) { c.ExportCsvMenuItemClick(); }},
    {"SaveRows", [](TExifFormController& c, const fs::path&) { c.SaveButtonClick(); }},
    {"Browse", [](TExifFormController& c, const fs::path&) { c.FolderEditKeyPress(); }},
    {"OpenFolder", [](TExifFormController& c, const fs::path& folder) { c.OpenFolder((folder / "other").string()); }},
    {"SelectPhoto", [](TExifFormController& c, const fs::path&) { c.PhotoListViewSelectItem(1, true); }},
    {"SelectPhotos", [](TExifFormController& c, const fs::path&) { c.PhotoListSelectionChange({1}, 1); }},
    {"SelectPhotoByName", [](TExifFormController& c, const fs::path&) { EXPECT_FALSE(c.SelectPhoto("b.jpg")); }},
};

class WhileBusy : public TheController,
                  public ::testing::WithParamInterface<std::tuple<TBusyWorkCase, TBusyRequestCase>> {};

// The request opens no dialog, runs no job and changes neither folder nor photo; once the work has
// ended, the controller takes requests again.
TEST_P(WhileBusy, TheControllerIgnoresAnotherJobEditFolderOrPhoto) {
  const auto& [work, request] = GetParam();
  for (const char* name : {"a.jpg", "b.jpg"}) DatedPhoto(name);
  fs::create_directories(Folder / "other");
  Photo("other/c.jpg");
  std::vector<bool> told;
  Controller.SetOnBusyChange([&](bool busy) { told.push_back(busy); });
  OpenAndSelect("Camera make");
  bool requested = false;
  work.Prepare(Services, Folder, [&] {
    EXPECT_TRUE(Controller.Busy());
    const std::size_t calls = Services.Calls;
    const auto photos = Controller.PhotosGeneration(), rows = Controller.RowsGeneration();
    const int shown = Controller.SelectedPhoto();
    const std::vector<int> selected = Controller.SelectedPhotos();
    request.Request(Controller, Folder);
    EXPECT_EQ(Services.Calls, calls);
    EXPECT_EQ(Controller.FolderText(), Folder.string());
    EXPECT_EQ(Controller.PhotosGeneration(), photos);
    EXPECT_EQ(Controller.RowsGeneration(), rows);
    EXPECT_EQ(Controller.SelectedPhoto(), shown);
    EXPECT_EQ(Controller.SelectedPhotos(), selected);
    requested = true;
  });
  work.Run(Controller);
  EXPECT_TRUE(requested);
  EXPECT_FALSE(Controller.Busy());
  EXPECT_EQ(told, (std::vector<bool>{true, false}));
  Controller.PhotoListViewSelectItem(1, true);
  EXPECT_EQ(Controller.SelectedPhoto(), 1);
}

INSTANTIATE_TEST_SUITE_P(Requests, WhileBusy,
                         ::testing::Combine(::testing::ValuesIn(BusyWorkCases), ::testing::ValuesIn(BusyRequestCases)),
                         [](const auto& info) {
                           return std::string(std::get<0>(info.param).Name) + "_" + std::get<1>(info.param).Name;
                         });

// A job or an export that throws ends the busy time too, and the next one runs.
TEST_F(TheController, IsNoLongerBusyAfterWorkThatThrew) {
  DatedPhoto("a.jpg");
  Controller.OpenFolder(Folder.string());
  std::vector<bool> told;
  Controller.SetOnBusyChange([&](bool busy) { told.push_back(busy); });
  const std::function<void()> throwing[] = {
      [&] {
        Services.FailJobs = true;
        Services.Offsets.push_back(TTimeOffset{60});
        Controller.ShiftDateTimeMenuItemClick();
      },
      [&] {
        Services.SaveNames.push_back((Folder / "no such folder" / "rows.txt").string());
        Controller.SaveButtonClick();
      },
  };
  for (const auto& run : throwing) {
    told.clear();
    EXPECT_ANY_THROW(run());
    EXPECT_FALSE(Controller.Busy());
    EXPECT_EQ(told, (std::vector<bool>{true, false}));
  }
  Services.FailJobs = false;
  Services.Offsets.push_back(TTimeOffset{60});
  Controller.ShiftDateTimeMenuItemClick();
  EXPECT_EQ(Services.Messages.size(), 1u);
}

// A description file that is refused is told to the user; the photos are listed without it.
TEST_F(TheController, ShowsARefusedDescriptionFileAndListsWithoutDescriptions) {
  const fs::path large = Folder / "large.ini";
  std::ofstream(large).close();
  fs::resize_file(large, 5 * 1024 * 1024);
  const struct {
    fs::path Ini;
    std::string Error;
  } cases[] = {{"/dev/zero", "/dev/zero: the description file is not a regular file"},
               {Folder, Folder.string() + ": the description file is not a regular file"},
               {large, large.string() + ": the description file is larger than 4 MB"}};
  for (const auto& c : cases) {
    Services.Errors.clear();
    Controller.FormCreate(c.Ini);
    EXPECT_EQ(Services.Errors, std::vector<std::string>{c.Error});
    EXPECT_TRUE(Controller.MakerNoteIni().ReadSections().empty());
    EXPECT_TRUE(Controller.LoadPhoto(Photo("photo.jpg")));
  }
}

namespace {

// ---- following the folder on disk ----

TEST(APreviewTurn, UprightsEachOrientationAndLeavesOthersAsTheyAre) {
  struct TCase {
    int Orientation;
    TPreviewTurn Turn;
  };
  const TCase cases[] = {{1, {0, false}},  {2, {0, true}},   {3, {180, false}}, {4, {180, true}},
                         {5, {270, true}}, {6, {90, false}}, {7, {90, true}},   {8, {270, false}},
                         {0, {0, false}},  {9, {0, false}},  {-1, {0, false}},  {65535, {0, false}}};
  for (const TCase& c : cases) EXPECT_EQ(PreviewTurn(c.Orientation), c.Turn) << c.Orientation;
}

struct TRereadCase {
  const char* Name;
  std::vector<std::string> Before;
  std::vector<int> Selected;
  int Shown;
  std::vector<std::string> Added, Removed;
  std::vector<std::string> Names;
  std::vector<int> SelectedAfter;
  int ShownAfter;
  bool Reloaded;
};
void PrintTo(const TRereadCase& c, std::ostream* out) { *out << c.Name; }

class AFolderReread : public TheController, public ::testing::WithParamInterface<TRereadCase> {};

TEST_P(AFolderReread, KeepsTheSelectionByNameAndShowsAnotherPhotoOnlyWhenTheShownOneIsGone) {
  const TRereadCase& c = GetParam();
  for (const std::string& name : c.Before) Photo(name);
  Controller.OpenFolder(Folder.string());
  Controller.PhotoListSelectionChange(c.Selected, c.Shown);
  const auto photos = Controller.PhotosGeneration(), rows = Controller.RowsGeneration();
  for (const std::string& name : c.Added) Photo(name);
  for (const std::string& name : c.Removed) fs::remove(Folder / name);
  Controller.RereadFolder();
  EXPECT_EQ(Controller.PhotoNames(), c.Names);
  EXPECT_EQ(Controller.SelectedPhotos(), c.SelectedAfter);
  EXPECT_EQ(Controller.SelectedPhoto(), c.ShownAfter);
  EXPECT_EQ(Controller.RowsGeneration() != rows, c.Reloaded);
  EXPECT_EQ(Controller.PhotosGeneration() != photos, !c.Added.empty() || !c.Removed.empty());
  if (c.ShownAfter >= 0) {
    EXPECT_EQ(Controller.FileName(), (Folder / c.Names[static_cast<std::size_t>(c.ShownAfter)]).string());
  } else {
    EXPECT_TRUE(Controller.Rows(lkStandard).empty());
    EXPECT_TRUE(Controller.Rows(lkMakerNote).empty());
  }
}

INSTANTIATE_TEST_SUITE_P(
    , AFolderReread,
    ::testing::Values(
        TRereadCase{"Unchanged", {"a.jpg", "b.jpg"}, {0, 1}, 1, {}, {}, {"a.jpg", "b.jpg"}, {0, 1}, 1, false},
        TRereadCase{
            "AddedBefore", {"b.jpg", "c.jpg"}, {0, 1}, 1, {"a.jpg"}, {}, {"a.jpg", "b.jpg", "c.jpg"}, {1, 2}, 2, false},
        TRereadCase{
            "OtherRemoved", {"a.jpg", "b.jpg", "c.jpg"}, {0, 2}, 2, {}, {"a.jpg"}, {"b.jpg", "c.jpg"}, {1}, 1, false},
        TRereadCase{
            "ShownRemoved", {"a.jpg", "b.jpg", "c.jpg"}, {1}, 1, {}, {"b.jpg"}, {"a.jpg", "c.jpg"}, {1}, 1, true},
        TRereadCase{"LastRemoved", {"a.jpg", "b.jpg"}, {1}, 1, {}, {"b.jpg"}, {"a.jpg"}, {0}, 0, true},
        TRereadCase{"AllRemoved", {"a.jpg"}, {0}, 0, {}, {"a.jpg"}, {}, {}, -1, true},
        TRereadCase{"FirstAdded", {}, {}, -1, {"a.jpg", "note.txt"}, {}, {"a.jpg"}, {0}, 0, true}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST_F(TheController, ReadsTheShownPhotoAgainOnlyWhenAnotherProgramChangedIt) {
  const std::string path = Photo("a.jpg");
  OpenAndSelect("Camera make");
  Services.Inputs.push_back("Nikon");
  Controller.EditButtonClick();
  auto rows = Controller.RowsGeneration();
  Controller.ShownPhotoChanged();  // its own save
  EXPECT_EQ(Controller.RowsGeneration(), rows);
  auto data = Reread(path);
  data->SetCameraMake("Pentax");
  data->SaveToJPEG(path, true);
  Controller.ShownPhotoChanged();
  EXPECT_NE(Controller.RowsGeneration(), rows);
  EXPECT_EQ(Value("Camera make"), "Pentax");
  EXPECT_EQ(Controller.SelectedRow(lkStandard), Row("Camera make"));  // the selected row stays
  rows = Controller.RowsGeneration();
  fs::remove(path);
  Controller.ShownPhotoChanged();  // gone: left to the folder's reread
  EXPECT_EQ(Controller.RowsGeneration(), rows);
}

TEST_F(TheController, OpensATypedFolderOrPhotoAndKeepsTheFolderOnAnythingElse) {
  Photo("a.jpg");
  fs::create_directories(Folder / "sub");
  Photo("sub/x.jpg");
  Photo("sub/y.jpg");
  Write("notes.txt", {1});
  struct TCase {
    std::string Typed;
    bool Opens;
    std::string Folder, Shown;
  };
  const std::string folder = Folder.string(), sub = (Folder / "sub").string();
  const TCase cases[] = {
      {folder, true, folder, "a.jpg"},
      {"sub", true, sub, "x.jpg"},  // relative to the folder shown
      {"  " + folder + "/ ", true, folder, "a.jpg"},
      {sub + "/y.jpg", true, sub, "y.jpg"},
      {"../a.jpg", true, folder, "a.jpg"},
      {folder + "/missing", false, folder, "a.jpg"},
      {"notes.txt", false, folder, "a.jpg"},
      {"", false, folder, "a.jpg"},
  };
  for (const TCase& c : cases) {
    Services.Errors.clear();
    EXPECT_EQ(Controller.OpenTypedPath(c.Typed), c.Opens) << c.Typed;
    EXPECT_EQ(Controller.FolderText(), c.Folder) << c.Typed;
    EXPECT_EQ(fs::path(Controller.FileName()).filename().string(), c.Shown) << c.Typed;
    EXPECT_EQ(Services.Errors.size(), c.Opens ? 0u : 1u) << c.Typed;
  }
}

// Each save and job leaves a line for the status bar; the save dialogs start in the folder with
// the photo's or the folder's name.
TEST_F(TheController, ConfirmsSavesAndJobsAndSuggestsNamesToSaveUnder) {
  DatedPhoto("IMG_0001.jpg");
  OpenAndSelect("Camera make");
  const auto confirmed = [&](const std::function<void()>& action, const std::string& message) {
    const auto generation = Controller.StatusGeneration();
    action();
    EXPECT_NE(Controller.StatusGeneration(), generation) << message;
    EXPECT_EQ(Controller.StatusMessage(), message);
  };
  Services.Inputs.push_back("Nikon");
  confirmed([&] { Controller.EditButtonClick(); }, "Saved IMG_0001.jpg");
  Services.Inputs.push_back("Nikon Z");
  confirmed([&] { Controller.EditButtonClick(); }, "Saved IMG_0001.jpg");  // again, though the same text
  Services.Offsets.push_back(TTimeOffset{60});
  confirmed([&] { Controller.ShiftDateTimeMenuItemClick(); }, "Shift date/time: 1 changed, 0 unchanged, 0 failed");
  Services.SaveNames.push_back((Folder / "rows").string());
  confirmed([&] { Controller.SaveButtonClick(); }, "Saved rows.txt");
  Services.SaveNames.push_back((Folder / "all.csv").string());
  confirmed([&] { Controller.ExportCsvMenuItemClick(); }, "Saved all.csv");
  EXPECT_EQ(Services.Suggested, (std::vector<std::string>{(Folder / "IMG_0001.txt").string(),
                                                          (Folder / (Folder.filename().string() + ".csv")).string()}));
  EXPECT_EQ(Services.ReportsFailed, (std::vector<bool>{false, false}));
}

TEST_F(TheController, MarksAJobReportWithAFailure) {
  const std::string a = DatedPhoto("a.jpg");
  fs::permissions(a, fs::perms::owner_read, fs::perm_options::replace);
  Controller.OpenFolder(Folder.string());
  Services.Offsets.push_back(TTimeOffset{60});
  Controller.ShiftDateTimeMenuItemClick();
  EXPECT_EQ(Services.ReportsFailed, std::vector<bool>{true});
  EXPECT_EQ(Services.Messages.back().find(".quorvane-"), std::string::npos) << Services.Messages.back();
}

}  // namespace

// ---- the IPTC list ----

// An IPTC value is edited in its row and saved at once; an emptied value leaves its dataset.
TEST_F(TheController, EditsAnIPTCValueInItsRow) {
  using namespace Zorp::Testing;
  const TBytes records = Join({Dataset(2, 25, "one"), Dataset(2, 25, "two"), Dataset(2, 90, "Lyon")});
  const std::string path =
      Write("a.jpg", Zorp::Testing::Photo({{jmApp1, CanonCamera().Build()},
                                           {jmApp13, PhotoshopSegment(Resource(0x0404, "", records))}}));
  const struct {
    const char* Caption;
    const char* Typed;
    std::vector<std::string> Keywords, City;
  } cases[] = {
      {"Keywords[2] (2:25)", "deux", {"one", "deux"}, {"Lyon"}},
      {"City (2:90)", "Paris", {"one", "deux"}, {"Paris"}},
      {"Keywords[1] (2:25)", "", {"deux"}, {"Paris"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Caption);
    Controller.OpenFolder(Folder.string());
    Controller.TabSetChange(TabOfList(lkIPTC));
    Controller.StandardListViewSelectItem(lkIPTC, Row(c.Caption, lkIPTC));
    ASSERT_TRUE(Controller.EditEnabled());
    Services.Inputs.push_back(c.Typed);
    Controller.EditButtonClick();
    EXPECT_TRUE(Services.Errors.empty());
    TExifData saved;
    saved.LoadFromJPEG(path);
    EXPECT_EQ(saved.IPTC().Values("Keywords"), c.Keywords);
    EXPECT_EQ(saved.IPTC().Values("City"), c.City);
    EXPECT_FALSE(saved.IPTC().DigestIsStale());
  }
}
