#pragma once
// The viewer's main window as state and handlers, without a window: the folder and its photos,
// the selected photos and the one shown, the shown photo's data and its four lists (Summary,
// Standard, MakerNote, XMP), which list is visible, the selected rows, the button and menu states, the
// preview, and the Tools menu's jobs over the selected photos. The window forwards every event to a handler and then
// mirrors this state; dialogs, clipboard, shell and file system are reached through IViewerServices.
//
// Handlers may throw on a failure the user must hear of (an export that cannot be written); the
// window reports those. A photo that fails to load is not reported: its notice row says why.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/IniFile.h"
#include "core/ListRows.h"
#include "core/PhotoJobs.h"
#include "core/RowDrawing.h"
#include "zorp/exif/MetadataFile.h"
#include "core/ViewerServices.h"
#include "zorp/exif/ExifData.h"

namespace Quorvane::Viewer {

enum TListKind { lkStandard = 0, lkMakerNote = 1, lkXMP = 2, lkSummary = 3, lkIPTC = 4 };
inline constexpr int ListKindCount = 5;
// The list of each tab, in the tab strip's order: "Summary", "Standard ", "MakerNote", "XMP", "IPTC".
inline constexpr TListKind TabLists[ListKindCount] = {lkSummary, lkStandard, lkMakerNote, lkXMP, lkIPTC};
// The tab that shows a list.
int TabOfList(TListKind list);

// The product's web address, shown by the web label.
inline constexpr const char* WebAddress = "https://quorvane.org/";

class TExifFormController {
 public:
  explicit TExifFormController(IViewerServices& services);
  ~TExifFormController();
  TExifFormController(const TExifFormController&) = delete;
  TExifFormController& operator=(const TExifFormController&) = delete;

  // Start: reads the MakerNote descriptions (a missing file gives none; a refused one none and its
  // message through ShowError), shows the first tab's list (the Summary) and clears the display.
  void FormCreate(const std::filesystem::path& makerNotesIni);
  void FormDestroy();

  // The folder picker, then OpenFolder; FolderEditKeyPress does the same.
  void BrowseButtonClick();
  void FolderEditKeyPress() { BrowseButtonClick(); }
  // Lists the folder's photos (*.jpg, *.exif, *.jpeg, any letter case, each once, sorted) and
  // selects the first, which loads it. A folder without photos leaves the shown photo as it is.
  void OpenFolder(const std::string& folder);
  // The folder as typed in the folder box (a folder, or a photo whose folder opens with it
  // selected; relative to the folder shown, "~" for home). Anything else is reported and the
  // folder shown stays; false then.
  bool OpenTypedPath(const std::string& text);
  // Lists the folder again as files came and went: the photos still there stay selected and the
  // one shown stays shown without loading it again. When the shown photo is gone, the photo now
  // in its place is shown. Nothing happens while busy or without a folder.
  void RereadFolder();
  // The shown photo's file changed on disk: it is loaded again, keeping the selected rows, unless
  // the file is still as Quorvane last read or wrote it.
  void ShownPhotoChanged();
  // A change of the photo list's selection: index -1 for no item. The photo becomes the one shown
  // and the only one selected.
  void PhotoListViewSelectItem(int index, bool selected);
  // A change of a list that selects several photos: the selected indexes, and the focused one
  // (-1 for none), which is shown. Nothing selected and no focus changes nothing.
  void PhotoListSelectionChange(const std::vector<int>& selected, int focused);
  // Selects the photo of that name, as a click in the photo list does; false when it is not listed.
  bool SelectPhoto(const std::string& name);

  void ClearDisplay();
  // Loads and lists one photo; false when loading or listing failed (the rows so far stay, the
  // last ending in a notice with the reason). A photo without Exif gets its notice and then the
  // editable rows with empty values; it is the target of edits, the first of which creates the Exif.
  bool LoadPhoto(const std::string& fileName);

  // A tab change: the tab's list shows.
  void TabSetChange(int newTabIndex);
  // A double-click on a row: the Summary's "Location" row opens the map, its other rows do
  // nothing; in the other lists it edits the row as the Edit button does.
  void ListDoubleClick(TListKind list, int row);
  // Opens the shown photo's position on the map through the shell; nothing without a position.
  void OpenLocationLink();
  // The map address of the shown photo's position; empty when it holds none.
  const std::string& LocationAddress() const { return FLocationAddress; }
  // A selection change in a list: the selected row (-1 for none) and the Edit button's state. A
  // list other than the visible one becomes the visible one.
  void StandardListViewSelectItem(TListKind list, int selectedRow);

  // Edits the selected row of the visible list and saves the photo (see the .cpp for the rules).
  // With several photos selected, a Standard row's new value may go to all of them.
  void EditButtonClick();
  // Exports the visible list to a text file chosen in the save dialog.
  void SaveButtonClick();
  // Puts the selected row of the visible list on the clipboard.
  void CopyMenuItemClick();
  void WebLabelClick();

  // ---- the Tools menu: jobs over the selected photos, each ended by its summary ----
  void ShiftDateTimeMenuItemClick();
  void SetLocationMenuItemClick();
  void RemoveLocationMenuItemClick();
  // A CSV listing of the selected photos, or of all the folder's photos when one is selected.
  void ExportCsvMenuItemClick();
  // Whether edits give the rewritten photos their former modification time.
  void SetKeepFileDates(bool keep) { FKeepFileDates = keep; }
  bool KeepFileDates() const { return FKeepFileDates; }

  // The drawing of a row of a list (nothing without data).
  TRowDrawing DrawItem(TListKind list, int row, bool selected, const TRect& itemRect, int textHeight,
                       int columnWidth) const;

  // True while a job or an edit runs (from its first dialog to its summary). Meanwhile the
  // handlers that would start another job or edit, or change the folder or the photo shown,
  // return at once and do nothing: a window that lets events in during the work (a progress
  // dialog's event loop) cannot start a second job over the same photos.
  bool Busy() const { return FBusy; }
  // Told true when a job or an edit begins and false when it ends, also when it throws, so a
  // window can shut its inputs before the work lets events in.
  void SetOnBusyChange(std::function<void(bool busy)> handler) { FOnBusyChange = std::move(handler); }

  // ---- state the window mirrors ----
  const std::string& FolderText() const { return FFolderText; }
  const std::vector<std::string>& PhotoNames() const { return FPhotoNames; }
  // The photo shown (the focused one), and the selected ones in list order.
  int SelectedPhoto() const { return FSelectedPhoto; }
  const std::vector<int>& SelectedPhotos() const { return FSelectedPhotos; }
  // The paths of the selected photos, or of the photo shown when none is selected.
  std::vector<std::string> SelectedFiles() const;
  const TListRows& Rows(TListKind list) const { return FRows[list]; }
  int SelectedRow(TListKind list) const { return FSelectedRow[list]; }
  TListKind VisibleList() const { return FVisibleList; }
  int TabIndex() const { return FTabIndex; }
  bool EditEnabled() const { return FEditEnabled; }
  bool SaveEnabled() const { return FSaveEnabled; }
  bool PopupMenuAutoPopup() const { return FPopupAutoPopup; }
  const std::string& PreviewHint() const { return FPreviewHint; }
  bool PreviewShowHint() const { return FPreviewShowHint; }
  // The thumbnail to show (a JPEG), empty for none.
  const std::vector<std::uint8_t>& PreviewJPEG() const { return FPreviewJPEG; }
  // The shown photo's Orientation (main IFD) for turning the thumbnail; 0 when it has none.
  int PreviewOrientation() const { return FPreviewOrientation; }
  // A short confirmation of the last save or job, for a status bar; the generation changes with
  // each message, also when the text repeats.
  const std::string& StatusMessage() const { return FStatusMessage; }
  std::uint64_t StatusGeneration() const { return FStatusGeneration; }
  const Zorp::Exif::TExifData* Data() const { return FExifData; }
  // The shown photo's file (its format, its sidecar); nullptr when none is shown.
  Zorp::Exif::TMetadataFile* PhotoFile() const { return FPhotoFile.get(); }
  const std::string& FileName() const { return FFileName; }
  const TMemIniFile& MakerNoteIni() const { return FMakerNoteIni; }
  // Counters that change whenever the photo list or the rows were replaced, so a window rebuilds
  // its views only then.
  std::uint64_t PhotosGeneration() const { return FPhotosGeneration; }
  std::uint64_t RowsGeneration() const { return FRowsGeneration; }

 private:
  class TBusyScope;
  void SetBusy(bool busy);
  void EditRow(TListKind list, TListRow& row);
  // Sets a validated value of the Standard row of that key on all the selected photos as a job,
  // named after the row's caption.
  void EditSelectedPhotos(const std::string& label, const std::string& key, const std::string& value);
  // Loads the edited photo again, keeping the preview hint and the selected rows.
  void Reload() { ReloadPhoto(FFileName, FPreviewHint); }
  // Loads the photo shown again after a job, keeping the selected rows.
  void ReloadShown();
  // By value: loading clears the members a caller may pass.
  void ReloadPhoto(std::string path, std::string hint);
  std::string PhotoPath(int index) const;
  // The folder's photo names: photo types only, sorted, each once.
  std::vector<std::string> ListPhotoNames(const std::string& folder);
  void SetStatus(std::string message);
  TEditOptions EditOptions() const { return TEditOptions{FKeepFileDates}; }
  // Runs the edit over the files behind the progress dialog, reloads and shows the summary.
  void RunJobAndReport(const std::string& title, const std::vector<std::string>& files, const TPhotoEdit& edit);

  IViewerServices& FServices;
  TMemIniFile FMakerNoteIni;
  std::unique_ptr<Zorp::Exif::TMetadataFile> FPhotoFile;
  Zorp::Exif::TExifData* FExifData = nullptr;  // FPhotoFile's Exif container
  std::string FFileName;
  std::string FLocationAddress;
  std::string FFolderText;
  std::vector<std::string> FPhotoNames;
  int FSelectedPhoto = -1;
  std::vector<int> FSelectedPhotos;
  TListRows FRows[ListKindCount];
  int FSelectedRow[ListKindCount] = {-1, -1, -1, -1, -1};
  TListKind FVisibleList = lkSummary;
  int FTabIndex = 0;
  bool FEditEnabled = false, FSaveEnabled = false, FPopupAutoPopup = false;
  std::string FPreviewHint;
  bool FPreviewShowHint = false;
  std::vector<std::uint8_t> FPreviewJPEG;
  int FPreviewOrientation = 0;
  std::string FStatusMessage;
  std::uint64_t FStatusGeneration = 0;
  std::uint64_t FPhotosGeneration = 0, FRowsGeneration = 0;
  bool FKeepFileDates = false;
  // The last offset and location entered, offered again.
  TTimeOffset FTimeOffset;
  TLocationText FLocationText;
  bool FBusy = false;
  std::function<void(bool)> FOnBusyChange;
};

}  // namespace Quorvane::Viewer
