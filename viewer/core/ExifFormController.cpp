#include "core/ExifFormController.h"

#include <algorithm>
#include <functional>
#include <map>

#include "core/EnumTexts.h"
#include "core/MakerNoteListing.h"
#include "core/PhotoListing.h"
#include "core/PropertySetters.h"
#include "core/RowText.h"
#include "core/StandardListing.h"
#include "zorp/base/DateTime.h"
#include "zorp/base/SafeFile.h"
#include "zorp/base/TextEncoding.h"

namespace Quorvane::Viewer {

using namespace Zorp::Exif;
using Zorp::Base::TDateTime;

namespace {

namespace fs = std::filesystem;

// The photo list's file types, compared without regard to letter case.
bool IsPhotoName(const std::string& name) {
  const std::string extension = Zorp::Base::LowerCase(fs::path(name).extension().string());
  return extension == ".jpg" || extension == ".exif" || extension == ".jpeg";
}

}  // namespace

TExifFormController::TExifFormController(IViewerServices& services) : FServices(services) {}

TExifFormController::~TExifFormController() = default;

void TExifFormController::FormCreate(const fs::path& makerNotesIni) {
  FMakerNoteIni.LoadFromFile(makerNotesIni);
  FVisibleList = lkStandard;
  FTabIndex = 0;
  ClearDisplay();
}

void TExifFormController::FormDestroy() {
  FExifData.reset();
  FMakerNoteIni.Clear();
}

void TExifFormController::ClearDisplay() {
  FPreviewJPEG.clear();
  FPreviewHint.clear();
  FPreviewShowHint = false;
  FFileName.clear();
  FExifData.reset();
  FRows[lkStandard].clear();
  FSelectedRow[lkStandard] = -1;
  FEditEnabled = false;
  FSaveEnabled = false;
  FPopupAutoPopup = false;
  ++FRowsGeneration;
}

void TExifFormController::BrowseButtonClick() {
  // The picker starts in the folder shown, else in the Pictures folder, else at home.
  std::string start = FFolderText;
  if (start.empty()) start = FServices.PicturesFolder();
  if (!FServices.DirectoryExists(start)) start = FServices.HomeFolder();
  std::string chosen;
  if (!FServices.PickFolder(start, chosen)) return;
  OpenFolder(chosen);
}

void TExifFormController::OpenFolder(const std::string& folder) {
  FFolderText = folder;
  FPhotoNames.clear();
  for (std::string& name : FServices.FolderEntries(folder))
    if (IsPhotoName(name)) FPhotoNames.push_back(std::move(name));
  // Sorted as the list shows them; a name found twice is listed once.
  std::sort(FPhotoNames.begin(), FPhotoNames.end(), CaptionTextLess);
  FPhotoNames.erase(std::unique(FPhotoNames.begin(), FPhotoNames.end()), FPhotoNames.end());
  FSelectedPhoto = -1;
  ++FPhotosGeneration;
  if (!FPhotoNames.empty()) PhotoListViewSelectItem(0, true);
}

bool TExifFormController::SelectPhoto(const std::string& name) {
  const auto found = std::find(FPhotoNames.begin(), FPhotoNames.end(), name);
  if (found == FPhotoNames.end()) return false;
  PhotoListViewSelectItem(static_cast<int>(found - FPhotoNames.begin()), true);
  return true;
}

void TExifFormController::PhotoListViewSelectItem(int index, bool selected) {
  if (!selected) return;
  if (index < 0 || index >= static_cast<int>(FPhotoNames.size())) {
    FSelectedPhoto = -1;
    ClearDisplay();
    return;
  }
  FSelectedPhoto = index;
  const std::string& caption = FPhotoNames[static_cast<std::size_t>(index)];
  if (caption.empty()) return;
  const std::string path = (fs::path(FFolderText) / caption).string();
  if (!FServices.FileExists(path) || path == FPreviewHint) return;
  if (LoadPhoto(path)) {
    FPreviewHint = path;
    FPreviewShowHint = true;
  }
}

bool TExifFormController::LoadPhoto(const std::string& fileName) {
  ClearDisplay();
  FRows[lkMakerNote].clear();
  FSelectedRow[lkMakerNote] = -1;
  TPhotoListing listing = ListPhoto(fileName, FMakerNoteIni);
  FExifData = std::move(listing.Data);
  FFileName = listing.FileName;
  FRows[lkStandard] = std::move(listing.Standard);
  FRows[lkMakerNote] = std::move(listing.MakerNote);
  if (!FFileName.empty() && FExifData && ShowsThumbnail(*FExifData)) FPreviewJPEG = FExifData->Thumbnail().Bytes();
  if (listing.HasMetadata()) {
    FSaveEnabled = true;
    FPopupAutoPopup = true;
  }
  ++FRowsGeneration;
  return listing.Succeeded();
}

void TExifFormController::TabSetChange(int newTabIndex) {
  if (newTabIndex == FTabIndex) return;
  if (FTabIndex == 1) FVisibleList = lkStandard;
  if (FTabIndex == 0) FVisibleList = lkMakerNote;
  FTabIndex = newTabIndex;
}

void TExifFormController::StandardListViewSelectItem(TListKind list, int selectedRow) {
  const TListRows& rows = FRows[list];
  FSelectedRow[list] = selectedRow >= 0 && selectedRow < static_cast<int>(rows.size()) ? selectedRow : -1;
  if (!FExifData || FSelectedRow[list] < 0) {
    FEditEnabled = false;
    return;
  }
  const TListRow& row = rows[static_cast<std::size_t>(FSelectedRow[list])];
  FEditEnabled = row.SubItems.size() > 2 && !row.Kind().empty();
}

void TExifFormController::EditButtonClick() {
  const int selected = FSelectedRow[FVisibleList];
  TListRows& rows = FRows[FVisibleList];
  if (!FExifData || selected < 0 || selected >= static_cast<int>(rows.size())) return;
  TListRow& row = rows[static_cast<std::size_t>(selected)];
  if (row.SubItems.size() < 3 || row.Kind().empty()) return;
  EditRow(FVisibleList, row);
}

// The row's kind picks the dialog; a new value, trimmed and different from the old text, is
// validated, shown in the row and (for a Standard row with a property) set; then the photo is
// saved. "noyes" rows re-save on Yes unless they already read "Yes". When setting or saving fails,
// the error is shown and the photo reloaded, so the rows show what the file holds.
void TExifFormController::EditRow(TListKind list, TListRow& row) {
  const std::string label = Zorp::Base::Trim(row.Caption);
  const std::string oldValue = row.Value(), kind = row.Kind();
  std::string value = oldValue;
  bool changed = false;
  const TPropertySetters& setters = Setters();
  try {
    if (kind == rkNoYes) {
      changed = FServices.AskYesNoCancel(label + ": Yes / No ?") == TDialogAnswer::Yes && oldValue != "Yes";
    } else if (kind == rkString || kind == rkSelect || kind == rkInt || kind == rkDateTime) {
      const bool ok = kind == rkSelect ? FServices.InputSelect("Select", label + ":", value, row.SelectList())
                      : kind == rkString ? FServices.InputQuery("Edit string", label + ":", value)
                      : kind == rkInt    ? FServices.InputQuery("Edit integer", label + ":", value)
                                         : FServices.InputQuery("Edit data/time", label + ":", value);
      if (!ok) return;
      value = Zorp::Base::Trim(value);
      if (value == oldValue) return;
      std::int32_t number = 0;
      TDateTime dateTime = 0;
      // A pixel count cannot be negative: such a number is refused like any other non-number.
      if (kind == rkInt && (!Zorp::Base::TryStrToInt(value, number) || number < 0)) {
        FServices.ShowError("Invalid integer format");
        return;
      }
      if (kind == rkDateTime && !Zorp::Base::TryStrToDateTime(value, dateTime, Zorp::Base::FormatSettings())) {
        FServices.ShowError("Invalid data format");
        return;
      }
      row.SubItems[0] = value;
      changed = true;
      if (list == lkStandard) {
        if (const auto text = setters.Text.find(label); text != setters.Text.end()) text->second(*FExifData, value);
        if (const auto date = setters.DateTimes.find(label); date != setters.DateTimes.end())
          ((*FExifData).*(date->second))(dateTime);
        if (const auto integer = setters.Integers.find(label); integer != setters.Integers.end())
          ((*FExifData).*(integer->second))(TOptionalLongWord{static_cast<std::uint32_t>(number), false});
      }
    }
    if (changed && !FFileName.empty()) FExifData->SaveToJPEG(FFileName, true);
  } catch (const std::exception& e) {
    FServices.ShowError(e.what());
    Reload();
  }
}

void TExifFormController::Reload() {
  const std::string path = FFileName, hint = FPreviewHint;
  const int selected[2] = {FSelectedRow[lkStandard], FSelectedRow[lkMakerNote]};
  if (path.empty()) return;
  if (LoadPhoto(path)) {
    FPreviewHint = hint;
    FPreviewShowHint = !hint.empty();
  }
  for (const TListKind list : {lkStandard, lkMakerNote})
    if (selected[list] < static_cast<int>(FRows[list].size())) FSelectedRow[list] = selected[list];
  StandardListViewSelectItem(FVisibleList, FSelectedRow[FVisibleList]);
}

void TExifFormController::SaveButtonClick() {
  std::string fileName;
  if (!FServices.SaveDialog(fileName)) return;
  const std::string text = ExportText(FRows[FVisibleList]);
  // Written beside and renamed over an existing file, which stays as it was if writing fails.
  Zorp::Base::SafeWriteFile(WithDefaultExtension(fileName), text.data(), static_cast<std::int64_t>(text.size()));
}

void TExifFormController::CopyMenuItemClick() {
  const int selected = FSelectedRow[FVisibleList];
  const TListRows& rows = FRows[FVisibleList];
  if (selected < 0 || selected >= static_cast<int>(rows.size())) return;
  FServices.SetClipboardText(CopyText(rows[static_cast<std::size_t>(selected)]));
}

void TExifFormController::WebLabelClick() { FServices.OpenURL(WebAddress); }

TRowDrawing TExifFormController::DrawItem(TListKind list, int row, bool selected, const TRect& itemRect,
                                          int textHeight, int columnWidth) const {
  const TListRows& rows = FRows[list];
  if (!FExifData || row < 0 || row >= static_cast<int>(rows.size())) return {};
  return DrawRow(rows[static_cast<std::size_t>(row)], selected, itemRect, textHeight, columnWidth);
}

}  // namespace Quorvane::Viewer
