#include "core/ExifFormController.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <functional>
#include <map>
#include <optional>
#include <sstream>

#include "core/EnumTexts.h"
#include "core/MakerNoteListing.h"
#include "core/PhotoListing.h"
#include "core/PropertySetters.h"
#include "core/RowText.h"
#include "core/StandardListing.h"
#include "core/SummaryListing.h"
#include "core/IptcListing.h"
#include "core/XmpListing.h"
#include "zorp/base/DateTime.h"
#include "zorp/base/FileLock.h"
#include "zorp/base/SafeFile.h"
#include "zorp/base/TextEncoding.h"

namespace Quorvane::Viewer {

using namespace Zorp::Exif;
using Zorp::Base::TDateTime;

namespace {

namespace fs = std::filesystem;

// The photo list's file types: those a registered format reads, whatever the letter case.
bool IsPhotoName(const std::string& name) { return IsMetadataFileName(name); }

// "1 photo", "3 photos".
std::string PhotoCount(std::size_t count) { return std::to_string(count) + (count == 1 ? " photo" : " photos"); }

// An altitude in metres as typed, in the user's number format or with a point.
bool ParseAltitude(const std::string& text, double& metres) {
  const bool parsed = Zorp::Base::TryStrToFloat(text, metres, Zorp::Base::FormatSettings()) ||
                      Zorp::Base::TryStrToFloat(text, metres, Zorp::Base::InvariantFormatSettings());
  // Deeper than any mine, higher than any aircraft: a typing slip.
  return parsed && std::isfinite(metres) && std::abs(metres) <= 100000;
}

}  // namespace

// Marks the controller busy for its lifetime; the end is told also when the work throws.
class TExifFormController::TBusyScope {
 public:
  explicit TBusyScope(TExifFormController& controller) : FController(controller) { FController.SetBusy(true); }
  ~TBusyScope() { FController.SetBusy(false); }
  TBusyScope(const TBusyScope&) = delete;
  TBusyScope& operator=(const TBusyScope&) = delete;

 private:
  TExifFormController& FController;
};

int TabOfList(TListKind list) {
  const auto found = std::find(std::begin(TabLists), std::end(TabLists), list);
  return found == std::end(TabLists) ? -1 : static_cast<int>(found - std::begin(TabLists));
}

TExifFormController::TExifFormController(IViewerServices& services) : FServices(services) {}

TExifFormController::~TExifFormController() = default;

void TExifFormController::FormCreate(const fs::path& makerNotesIni) {
  // A description file that is refused (not a regular file, too large) leaves no descriptions.
  try {
    FMakerNoteIni.LoadFromFile(makerNotesIni);
  } catch (const std::exception& e) {
    FServices.ShowError(e.what());
  }
  FTabIndex = 0;
  FVisibleList = TabLists[FTabIndex];
  ClearDisplay();
}

void TExifFormController::FormDestroy() {
  FExifData = nullptr;
  FPhotoFile.reset();
  FMakerNoteIni.Clear();
}

void TExifFormController::ClearDisplay() {
  FPreviewJPEG.clear();
  FPreviewOrientation = 0;
  FPreviewHint.clear();
  FPreviewShowHint = false;
  FFileName.clear();
  FLocationAddress.clear();
  FExifData = nullptr;
  FPhotoFile.reset();
  // The Summary is read from the data, which is gone.
  for (const TListKind list : {lkStandard, lkSummary}) {
    FRows[list].clear();
    FSelectedRow[list] = -1;
  }
  FEditEnabled = false;
  FSaveEnabled = false;
  FPopupAutoPopup = false;
  ++FRowsGeneration;
}

void TExifFormController::SetBusy(bool busy) {
  FBusy = busy;
  if (FOnBusyChange) FOnBusyChange(busy);
}

void TExifFormController::BrowseButtonClick() {
  if (FBusy) return;
  // The picker starts in the folder shown, else in the Pictures folder, else at home.
  std::string start = FFolderText;
  if (start.empty()) start = FServices.PicturesFolder();
  if (!FServices.DirectoryExists(start)) start = FServices.HomeFolder();
  std::string chosen;
  if (!FServices.PickFolder(start, chosen)) return;
  OpenFolder(chosen);
}

std::vector<std::string> TExifFormController::ListPhotoNames(const std::string& folder) {
  std::vector<std::string> names;
  for (std::string& name : FServices.FolderEntries(folder))
    if (IsPhotoName(name)) names.push_back(std::move(name));
  // Sorted as the list shows them; a name found twice is listed once.
  std::sort(names.begin(), names.end(), CaptionTextLess);
  names.erase(std::unique(names.begin(), names.end()), names.end());
  return names;
}

void TExifFormController::OpenFolder(const std::string& folder) {
  if (FBusy) return;
  FFolderText = folder;
  FPhotoNames = ListPhotoNames(folder);
  FSelectedPhoto = -1;
  FSelectedPhotos.clear();
  ++FPhotosGeneration;
  if (!FPhotoNames.empty()) PhotoListViewSelectItem(0, true);
}

bool TExifFormController::OpenTypedPath(const std::string& text) {
  if (FBusy) return false;
  const std::string typed = Zorp::Base::Trim(text);
  fs::path path = typed;
  if (typed == "~" || typed.starts_with("~/"))
    path = fs::path(FServices.HomeFolder()) / typed.substr(std::min<std::size_t>(typed.size(), 2));
  else if (path.is_relative() && !FFolderText.empty())
    path = fs::path(FFolderText) / path;
  path = path.lexically_normal();
  // "/photos/" names the folder "/photos".
  if (!path.has_filename() && path.has_parent_path() && path != path.root_path()) path = path.parent_path();
  if (!typed.empty() && FServices.DirectoryExists(path.string())) {
    OpenFolder(path.string());
    return true;
  }
  if (!typed.empty() && FServices.FileExists(path.string()) && IsPhotoName(path.filename().string())) {
    OpenFolder(path.parent_path().string());
    SelectPhoto(path.filename().string());
    return true;
  }
  FServices.ShowError("No such folder: " + typed);
  return false;
}

void TExifFormController::RereadFolder() {
  if (FBusy || FFolderText.empty()) return;
  std::vector<std::string> names = ListPhotoNames(FFolderText);
  if (names == FPhotoNames) return;
  const int count = static_cast<int>(FPhotoNames.size());
  const std::string shown = FSelectedPhoto >= 0 && FSelectedPhoto < count
                                ? FPhotoNames[static_cast<std::size_t>(FSelectedPhoto)]
                                : std::string();
  std::vector<std::string> selected;
  for (const int index : FSelectedPhotos)
    if (index >= 0 && index < count) selected.push_back(FPhotoNames[static_cast<std::size_t>(index)]);
  const int oldShown = FSelectedPhoto;
  FPhotoNames = std::move(names);
  ++FPhotosGeneration;
  const auto indexOf = [this](const std::string& name) {
    const auto found = std::lower_bound(FPhotoNames.begin(), FPhotoNames.end(), name, CaptionTextLess);
    return found != FPhotoNames.end() && *found == name ? static_cast<int>(found - FPhotoNames.begin()) : -1;
  };
  FSelectedPhotos.clear();
  for (const std::string& name : selected)
    if (const int index = indexOf(name); index >= 0) FSelectedPhotos.push_back(index);
  FSelectedPhoto = shown.empty() ? -1 : indexOf(shown);
  if (FSelectedPhoto >= 0) return;
  if (FPhotoNames.empty()) {
    for (int list = 0; list < ListKindCount; ++list) {
      FRows[list].clear();
      FSelectedRow[list] = -1;
    }
    ClearDisplay();
    return;
  }
  // The photo that took the place of the one gone, or the last.
  PhotoListViewSelectItem(std::clamp(oldShown, 0, static_cast<int>(FPhotoNames.size()) - 1), true);
}

void TExifFormController::ShownPhotoChanged() {
  if (FBusy || FFileName.empty() || !FServices.FileExists(FFileName)) return;
  // Quorvane's own save left the file as the data remembers it: nothing to read again.
  if (FExifData && FExifData->FileState() && Zorp::Base::ReadFileIdentity(FFileName) == FExifData->FileState()) return;
  ReloadPhoto(FFileName, FPreviewHint);
}

void TExifFormController::SetStatus(std::string message) {
  FStatusMessage = std::move(message);
  ++FStatusGeneration;
}

bool TExifFormController::SelectPhoto(const std::string& name) {
  if (FBusy) return false;
  const auto found = std::find(FPhotoNames.begin(), FPhotoNames.end(), name);
  if (found == FPhotoNames.end()) return false;
  PhotoListViewSelectItem(static_cast<int>(found - FPhotoNames.begin()), true);
  return true;
}

void TExifFormController::PhotoListViewSelectItem(int index, bool selected) {
  if (!selected || FBusy) return;
  if (index < 0 || index >= static_cast<int>(FPhotoNames.size())) {
    FSelectedPhoto = -1;
    FSelectedPhotos.clear();
    ClearDisplay();
    return;
  }
  FSelectedPhoto = index;
  FSelectedPhotos = {index};
  const std::string& caption = FPhotoNames[static_cast<std::size_t>(index)];
  if (caption.empty()) return;
  const std::string path = (fs::path(FFolderText) / caption).string();
  if (!FServices.FileExists(path) || path == FPreviewHint) return;
  if (LoadPhoto(path)) {
    FPreviewHint = path;
    FPreviewShowHint = true;
  }
}

void TExifFormController::PhotoListSelectionChange(const std::vector<int>& selected, int focused) {
  if (FBusy) return;
  std::vector<int> photos;
  for (const int index : selected)
    if (index >= 0 && index < static_cast<int>(FPhotoNames.size())) photos.push_back(index);
  std::sort(photos.begin(), photos.end());
  photos.erase(std::unique(photos.begin(), photos.end()), photos.end());
  if (focused < 0 || focused >= static_cast<int>(FPhotoNames.size())) {
    if (photos.empty()) return;
    focused = photos.front();
  }
  PhotoListViewSelectItem(focused, true);
  FSelectedPhotos = std::move(photos);
}

std::string TExifFormController::PhotoPath(int index) const {
  return (fs::path(FFolderText) / FPhotoNames[static_cast<std::size_t>(index)]).string();
}

std::vector<std::string> TExifFormController::SelectedFiles() const {
  std::vector<std::string> files;
  for (const int index : FSelectedPhotos) files.push_back(PhotoPath(index));
  if (files.empty() && FSelectedPhoto >= 0 && FSelectedPhoto < static_cast<int>(FPhotoNames.size()))
    files.push_back(PhotoPath(FSelectedPhoto));
  return files;
}

bool TExifFormController::LoadPhoto(const std::string& fileName) {
  ClearDisplay();
  FRows[lkMakerNote].clear();
  FSelectedRow[lkMakerNote] = -1;
  FRows[lkXMP].clear();
  FSelectedRow[lkXMP] = -1;
  FRows[lkIPTC].clear();
  FSelectedRow[lkIPTC] = -1;
  TPhotoListing listing = ListPhoto(fileName, FMakerNoteIni);
  // The load found that an earlier save of the photo was interrupted, and restored it or could not.
  if (listing.Data && !listing.Data->RecoveryNote().empty())
    FServices.ShowMessage(fileName + ": " + listing.Data->RecoveryNote());
  FPhotoFile = std::move(listing.File);
  FExifData = listing.Data;
  FFileName = listing.FileName;
  FRows[lkStandard] = std::move(listing.Standard);
  FRows[lkMakerNote] = std::move(listing.MakerNote);
  FRows[lkSummary] = std::move(listing.Summary);
  // A photo without Exif offers the rows an edit may fill in, under its notice; the first edit
  // writes the Exif block into the file.
  if (listing.Succeeded() && FExifData && FFileName.empty()) {
    ListEmptyEditableRows(FRows[lkStandard]);
    FFileName = fileName;
  }
  if (!FFileName.empty() && FExifData && ShowsThumbnail(*FExifData)) {
    FPreviewJPEG = FExifData->Thumbnail().Bytes();
    FPreviewOrientation = static_cast<int>(FExifData->Orientation());
  }
  if (FExifData) {
    try {
      ListXMP(FRows[lkXMP], *FPhotoFile);
    } catch (const std::exception& e) {
      AddCaption(FRows[lkXMP], std::string(XMPFailureNotice) + e.what());
    }
    try {
      ListIPTC(FRows[lkIPTC], *FExifData, FPhotoFile->WritesInPlace() && !FFileName.empty());
    } catch (const std::exception& e) {
      AddCaption(FRows[lkIPTC], std::string("Could not read the IPTC data: ") + e.what());
    }
  }
  if (listing.HasMetadata()) {
    FLocationAddress = OpenStreetMapAddress(*FExifData);
    FSaveEnabled = true;
    FPopupAutoPopup = true;
  }
  ++FRowsGeneration;
  return listing.Succeeded();
}

void TExifFormController::TabSetChange(int newTabIndex) {
  if (newTabIndex == FTabIndex || newTabIndex < 0 || newTabIndex >= ListKindCount) return;
  FVisibleList = TabLists[newTabIndex];
  FTabIndex = newTabIndex;
}

void TExifFormController::ListDoubleClick(TListKind list, int row) {
  if (list != lkSummary) {
    EditButtonClick();
    return;
  }
  const TListRows& rows = FRows[lkSummary];
  if (row >= 0 && row < static_cast<int>(rows.size()) &&
      rows[static_cast<std::size_t>(row)].Caption == std::string(ValueRowIndent) + "Location")
    OpenLocationLink();
}

void TExifFormController::OpenLocationLink() {
  if (!FLocationAddress.empty()) FServices.OpenURL(FLocationAddress);
}

void TExifFormController::StandardListViewSelectItem(TListKind list, int selectedRow) {
  // Only the list shown takes a click; a selection made in another (by the command line's edit)
  // shows that list, so that Edit, Copy and Save work on it.
  if (list != FVisibleList) {
    FVisibleList = list;
    FTabIndex = TabOfList(list);
  }
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
  if (FBusy) return;
  const TBusyScope busy(*this);
  const int selected = FSelectedRow[FVisibleList];
  TListRows& rows = FRows[FVisibleList];
  if (!FExifData || selected < 0 || selected >= static_cast<int>(rows.size())) return;
  TListRow& row = rows[static_cast<std::size_t>(selected)];
  if (row.SubItems.size() < 3 || row.Kind().empty()) return;
  EditRow(FVisibleList, row);
}

// The row's kind picks the dialog; a new value, trimmed and different from the old text, is
// validated, shown in the row and (for a Standard row with a property, found by the row's key) set;
// then the photo is saved. "noyes" rows re-save on Yes unless they already read "Yes". When setting
// or saving fails, the error is shown and the photo reloaded, so the rows show what the file holds.
// With several photos selected, a new value of a Standard row with a property may go to all of
// them instead.
void TExifFormController::EditRow(TListKind list, TListRow& row) {
  const std::string label = Zorp::Base::Trim(row.Caption);
  // A Standard row's property is found by its key; the dialogs name the row by its caption.
  const std::string key = list == lkStandard || list == lkIPTC ? row.Key : std::string();
  const std::string oldValue = row.Value(), kind = row.Kind();
  std::string value = oldValue;
  bool changed = false;
  // The value may go to every selected photo, also when the one shown holds it already.
  const bool manyPhotos = !key.empty() && FSelectedPhotos.size() > 1 && HasPropertySetter(key);
  // The first edit of a photo without Exif creates it; the photo is then listed again in full.
  const bool createsExif = FExifData->IsEmpty();
  try {
    if (kind == rkNoYes) {
      changed = FServices.AskYesNoCancel(label + ": Rewrite this directory in a clean form?") == TDialogAnswer::Yes &&
                oldValue != "Yes";
    } else if (kind == rkString || kind == rkSelect || kind == rkInt || kind == rkDateTime) {
      // A date prompt names the form every locale accepts.
      const std::string dateTimePrompt = label + " (YYYY-MM-DD HH:MM:SS):";
      const bool ok = kind == rkSelect   ? FServices.InputSelect("Select", label + ":", value, row.SelectList())
                      : kind == rkString ? FServices.InputQuery("Edit string", label + ":", value)
                      : kind == rkInt    ? FServices.InputQuery("Edit integer", label + ":", value)
                                         : FServices.InputQuery("Edit data/time", dateTimePrompt, value);
      if (!ok) return;
      value = Zorp::Base::Trim(value);
      if (value == oldValue && !manyPhotos) return;
      std::int32_t number = 0;
      TTypedDateTime dateTime;
      // A pixel count cannot be negative: such a number is refused like any other non-number.
      if (kind == rkInt && (!Zorp::Base::TryStrToInt(value, number) || number < 0)) {
        FServices.ShowError("Invalid integer format");
        return;
      }
      if (kind == rkDateTime && !ParseTypedDateTime(value, dateTime, Zorp::Base::FormatSettings())) {
        FServices.ShowError("Invalid data format");
        return;
      }
      // A date the file cannot hold is refused before any photo is touched; it would delete the date.
      if (const std::string refusal = kind == rkDateTime ? UnstorableDateTimeMessage(dateTime.Value) : std::string();
          !refusal.empty()) {
        FServices.ShowError(refusal);
        return;
      }
      if (manyPhotos &&
          FServices.AskYesNo("Apply to all " + std::to_string(FSelectedPhotos.size()) + " selected photos?")) {
        EditSelectedPhotos(label, key, value);
        return;
      }
      if (value == oldValue) return;
      row.SubItems[0] = value;
      changed = true;
      if (IsIPTCRowKey(key))
        SetIPTCValueFromRow(*FExifData, key, value);
      else if (!key.empty())
        SetPropertyFromText(*FExifData, key, value);
    }
    if (changed && !FFileName.empty()) {
      // The save replaces the file, which dates it now; the former times go back on when kept. The
      // save refuses when another program changed the photo since it was shown (then it is read
      // again below); the lock keeps Quorvane's other writers out until the dates are back.
      const Zorp::Base::TFileLock lock(FFileName);
      std::optional<Zorp::Base::TFileTimes> times;
      if (FKeepFileDates) times = Zorp::Base::GetFileTimes(FFileName);
      FPhotoFile->Save();
      // A photo that is not written in place took the edit in its sidecar.
      SetStatus("Saved " + fs::path(FPhotoFile->WritesInPlace() ? FFileName : FPhotoFile->SidecarFileName())
                               .filename()
                               .string());
      if (times) {
        const bool kept = Zorp::Base::SetFileTimes(FFileName, *times);
        const int error = errno;
        FExifData->RememberFileState();
        if (!kept) FServices.ShowError(FFileName + ": " + FileDateNotKeptText(error));
      }
      // A new Exif block, or an IPTC value removed, changes more rows than the edited one.
      if (createsExif || IsIPTCRowKey(key)) Reload();
    }
  } catch (const std::exception& e) {
    FServices.ShowError(e.what());
    Reload();
  }
}

void TExifFormController::EditSelectedPhotos(const std::string& label, const std::string& key,
                                             const std::string& value) {
  const TEditOptions options = EditOptions();
  RunJobAndReport("Edit " + label, SelectedFiles(), [key, value, options](const std::string& fileName) {
    return SetStandardValue(fileName, key, value, options);
  });
}

void TExifFormController::ReloadPhoto(std::string path, std::string hint) {
  int selected[ListKindCount];
  std::copy(std::begin(FSelectedRow), std::end(FSelectedRow), selected);
  if (path.empty()) return;
  if (LoadPhoto(path)) {
    FPreviewHint = hint;
    FPreviewShowHint = !hint.empty();
  }
  for (int list = 0; list < ListKindCount; ++list)
    if (selected[list] < static_cast<int>(FRows[list].size())) FSelectedRow[list] = selected[list];
  StandardListViewSelectItem(FVisibleList, FSelectedRow[FVisibleList]);
}

void TExifFormController::ReloadShown() {
  const std::string path =
      FSelectedPhoto >= 0 && FSelectedPhoto < static_cast<int>(FPhotoNames.size()) ? PhotoPath(FSelectedPhoto) : FFileName;
  ReloadPhoto(path, path);
}

void TExifFormController::RunJobAndReport(const std::string& title, const std::vector<std::string>& files,
                                          const TPhotoEdit& edit) {
  if (files.empty()) return;
  const TJobSummary summary = FServices.RunJob(title, files, edit);
  // The photo shown may have changed on disk: its rows follow before the summary shows.
  ReloadShown();
  const std::string text = SummaryText(summary);
  SetStatus(title + ": " + text.substr(0, text.find('\n')));
  FServices.ShowReport(text, summary.Failed > 0);
}

void TExifFormController::ShiftDateTimeMenuItemClick() {
  if (FBusy) return;
  const TBusyScope busy(*this);
  const std::vector<std::string> files = SelectedFiles();
  if (files.empty() || !FServices.InputTimeOffset(FTimeOffset)) return;
  const TTimeOffset offset = FTimeOffset;
  const TEditOptions options = EditOptions();
  RunJobAndReport("Shift date/time", files, [offset, options](const std::string& fileName) {
    return ShiftDateTimes(fileName, offset, options);
  });
}

// The dialog comes back with the texts typed until they read as a location or it is cancelled.
void TExifFormController::SetLocationMenuItemClick() {
  if (FBusy) return;
  const TBusyScope busy(*this);
  const std::vector<std::string> files = SelectedFiles();
  if (files.empty()) return;
  while (FServices.InputLocation(FLocationText)) {
    TLocation location;
    const std::string altitude = Zorp::Base::Trim(FLocationText.Altitude);
    double metres = 0;
    std::string error;
    if (!ParseCoordinate(Zorp::Base::Trim(FLocationText.Latitude), true, location.Latitude))
      error = "Invalid latitude";
    else if (!ParseCoordinate(Zorp::Base::Trim(FLocationText.Longitude), false, location.Longitude))
      error = "Invalid longitude";
    else if (!altitude.empty() && !ParseAltitude(altitude, metres))
      error = "Invalid altitude";
    if (!error.empty()) {
      FServices.ShowError(error);
      continue;
    }
    if (!altitude.empty()) location.Altitude = metres;
    const TEditOptions options = EditOptions();
    RunJobAndReport("Set location", files, [location, options](const std::string& fileName) {
      return SetLocation(fileName, location, options);
    });
    return;
  }
}

void TExifFormController::RemoveLocationMenuItemClick() {
  if (FBusy) return;
  const TBusyScope busy(*this);
  const std::vector<std::string> files = SelectedFiles();
  if (files.empty() || !FServices.AskYesNo("Remove the location from " + PhotoCount(files.size()) + "?")) return;
  const TEditOptions options = EditOptions();
  RunJobAndReport("Remove location", files,
                  [options](const std::string& fileName) { return RemoveLocation(fileName, options); });
}

void TExifFormController::ExportCsvMenuItemClick() {
  if (FBusy) return;
  const TBusyScope busy(*this);
  std::vector<std::string> files;
  if (FSelectedPhotos.size() > 1) {
    files = SelectedFiles();
  } else {
    for (int index = 0; index < static_cast<int>(FPhotoNames.size()); ++index) files.push_back(PhotoPath(index));
  }
  // Suggested: the folder's name in the folder.
  fs::path folder = fs::path(FFolderText).lexically_normal();
  if (!folder.has_filename() && folder.has_parent_path()) folder = folder.parent_path();
  const std::string folderName = folder.filename().string();
  std::string fileName = (folder / ((folderName.empty() ? "photos" : folderName) + ".csv")).string();
  if (files.empty() || !FServices.SaveCsvDialog(fileName)) return;
  if (!fs::path(fileName).has_extension()) fileName += ".csv";
  std::ostringstream text;
  std::vector<TJobFailure> failures;
  bool cancelled = false;
  FServices.RunWithProgress("Export CSV", [&](const TJobProgress& progress) {
    failures = WriteCsv(text, files, DefaultCsvColumns(), FMakerNoteIni, [&](std::size_t done, std::size_t total) {
      if (progress(done, total)) return true;
      cancelled = done < total;
      return false;
    });
  });
  // A cancelled listing is incomplete: nothing is written.
  if (cancelled) return;
  const std::string csv = text.str();
  // Written beside and renamed over an existing file, which stays as it was if writing fails.
  Zorp::Base::SafeWriteFile(fileName, csv.data(), static_cast<std::int64_t>(csv.size()));
  std::string message = PhotoCount(files.size()) + " listed in " + fileName;
  for (const TJobFailure& failure : failures) message += "\n" + failure.FileName + ": " + failure.Message;
  SetStatus("Saved " + fs::path(fileName).filename().string());
  FServices.ShowReport(message, !failures.empty());
}

void TExifFormController::SaveButtonClick() {
  if (FBusy) return;
  const TBusyScope busy(*this);
  // Suggested: the photo's name with ".txt", in the folder shown.
  std::string fileName = FFileName.empty()
                             ? FFolderText
                             : (fs::path(FFileName).parent_path() / fs::path(FFileName).stem()).string() + ".txt";
  if (!FServices.SaveDialog(fileName)) return;
  const std::string text = ExportText(FRows[FVisibleList]);
  // Written beside and renamed over an existing file, which stays as it was if writing fails.
  const std::string target = WithDefaultExtension(fileName);
  Zorp::Base::SafeWriteFile(target, text.data(), static_cast<std::int64_t>(text.size()));
  SetStatus("Saved " + fs::path(target).filename().string());
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
