// The viewer's controller driven with stubbed dialogs over photos built in a temporary folder:
// browsing, selecting, tabs, each edit kind with its write-back, the Edit button rules, export,
// copy and the row drawing decisions.
#include <gtest/gtest.h>

#include <deque>
#include <filesystem>

#include "ExifBuilder.h"
#include "SamplePhotos.h"
#include "core/EnumTexts.h"
#include "core/ExifFormController.h"
#include "zorp/base/DateTime.h"
#include "zorp/base/JPEGImage.h"
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

  bool PickFolder(const std::string& start, std::string& chosen) override {
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
    Asked.push_back(text);
    const TDialogAnswer answer = Answers.empty() ? TDialogAnswer::Cancel : Answers.front();
    if (!Answers.empty()) Answers.pop_front();
    return answer;
  }
  void ShowError(const std::string& message) override { Errors.push_back(message); }
  bool SaveDialog(std::string& fileName) override {
    if (SaveNames.empty()) return false;
    fileName = SaveNames.front();
    SaveNames.pop_front();
    return true;
  }
  void SetClipboardText(const std::string& text) override { Clipboard = text; }
  void OpenURL(const std::string& url) override { OpenedURL = url; }
  std::string PicturesFolder() override { return Pictures; }
  std::string HomeFolder() override { return Home; }

 private:
  bool Answer(const std::string& question, std::string& value) {
    Asked.push_back(question);
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
  std::string Write(const std::string& name, const std::vector<std::uint8_t>& bytes) {
    const fs::path path = Folder / name;
    Zorp::Testing::WriteFileBytes(path, bytes);
    return path.string();
  }

  // Opens the folder and selects the Standard row with this label.
  void OpenAndSelect(const std::string& label, TListKind list = lkStandard) {
    Controller.OpenFolder(Folder.string());
    if (list == lkMakerNote) Controller.TabSetChange(1);
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
  ASSERT_EQ(Controller.Rows(lkStandard).size(), 1u);
  EXPECT_EQ(Controller.Rows(lkStandard)[0].Caption, "No Exif metadata found");
  EXPECT_TRUE(Controller.Rows(lkMakerNote).empty());
  EXPECT_FALSE(Controller.SaveEnabled());
  EXPECT_TRUE(Controller.FileName().empty());

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
                      TEditCase{"IntegerNotANumber", "Exif image width", "abc", "0", false, "Invalid integer format"},
                      TEditCase{"IntegerNegative", "Exif image width", "-5", "0", false, "Invalid integer format"},
                      TEditCase{"Integer", "Exif image width", "640", "640", true},
                      TEditCase{"Select", "Orientation", "Rotate 90", "Rotate 90", true},
                      TEditCase{"DateTime", "Date/time", "2020-01-02 03:04:05", "2020-01-02 03:04:05", true},
                      TEditCase{"DateTimeNotADate", "Date/time", "yesterday", "", false, "Invalid data format"}),
    [](const auto& info) { return std::string(info.param.Name); });

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
  EXPECT_EQ(Services.Asked.back(), "Loaded cleanly: Yes / No ?");
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
  Controller.TabSetChange(1);
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
  Controller.TabSetChange(0);
  EXPECT_EQ(Controller.VisibleList(), lkStandard);
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
  Controller.TabSetChange(1);
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
  Controller.TabSetChange(1);
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
