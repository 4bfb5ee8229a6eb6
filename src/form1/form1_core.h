// The main window's logic without any window: the find (scan, grouping, pruning, checksums) and
// the deletion run, driving a small view interface. The desktop window and the command line run
// this very flow; tests drive it headless.
#pragma once

#include "delete/failure_list.h"
#include "grid/file_columns.h"
#include "grid/file_identity.h"
#include "grid/report_grid.h"
#include "platform/anchored_tree.h"
#include "settings/settings_store.h"
#include "walk/tree_walk.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace zandrex {

// Indices of the comparison list.
enum ComparisonMode : int { ByName = 0, BySize = 1, ByNameAndSize = 2, ByContent = 3 };

enum class MousePointer { Default, Hourglass };

// A progress bar's single-precision value, minimum and maximum.
struct ProgressBar {
  float value = 0;
  float min = 0;
  float max = 100;
};

// What the flows need from the window (or the command line).
class Form1View {
public:
  virtual ~Form1View() = default;
  // Let pending window events run (the "Cancel" button may set CancelRequested meanwhile).
  virtual void doEvents() = 0;
  // The same, called every few milliseconds while the flow waits for work done elsewhere (files
  // read ahead, rows built on a helper thread) instead of once per file or row.
  virtual void doEventsWhileWaiting() { doEvents(); }
  virtual void setGridVisible(bool visible) = 0;
  virtual void setPleaseWaitVisible(bool visible) = 0;
  virtual void setDeleteEnabled(bool enabled) = 0;
  virtual void setMousePointer(MousePointer pointer) = 0;
  // Status text and progress bars changed; read them from the core.
  virtual void statusTextChanged() = 0;
  // The status bar's second field changed (reclaimable space, groups that lost every copy).
  virtual void statusText2Changed() {}
  virtual void progressChanged(int bar) = 0;
  // The find's note changed (files left out because they changed while it ran); read findNote().
  virtual void findNoteChanged() {}
  // The "Subfolders" box's value, read live (0 unticked, 1 ticked, 2 greyed).
  virtual int subfoldersValue() = 0;
  // The selected index of the comparison list, read afresh each time; -1 when none.
  virtual int comparisonIndex() = 0;
  // Shows the "Warning" window modally with the list; true when the user chose "Yes".
  virtual bool showSystemFolderWarning(const std::string& list) = 0;
  // An exclamation message box with one OK button, titled with the application title.
  virtual void showExclamation(const std::string& text) = 0;
  // Shows the deletion-failure window modally; returns when the user dismissed it.
  virtual void showFailureWindow(const std::string& countLabel) = 0;
};

class Form1Core {
public:
  Form1Core(Form1View& view, SettingsStore& settings);

  // Adds the grid's columns and the initial group order (column "File").
  void setUpGrid();

  // "Find": one whole find; traps as an event handler. Ignored while a find or a deletion runs.
  void Command3_Click();
  // "Cancel": sets CancelRequested to -1.
  void bnCancel_Click() { CancelRequested = -1; }
  // "Delete selected files": the deletion run; traps as an event handler.
  void Command4_Click();

  // The scan driver (called by the find).
  void bnFillPreview_Click();
  // One file met by the walk; diskName and facts are what the directory entry told.
  void AddRecord(const std::string& pParentName, const std::string& pPatn,
                 const std::string& pFileName, const std::string& pDate, double pSize,
                 std::string_view diskName = {}, const FileFacts& facts = {});
  // The walk, from the source folder sParentPath (ending with "/"), reached once by its real path;
  // every later step reaches the files through the folders it records.
  void ShowDir3_FillPreview(const std::string& pParentName, const std::string& sParentPath);
  // The pruning pass.
  void SetPreview();
  // The content checksum pass.
  void CheckCRC();
  // The deletion driver; true when the run ended without a cancel.
  bool fRename();
  void RunRename();
  void ReportControl1_RowExpanded(std::size_t rowPosition);

  // The source folder ("/"-terminated or empty) and the read-only box showing it.
  std::string SourcePath;
  std::string fdFromForRename;
  std::int16_t CancelRequested = 0;
  std::int32_t ScannedFileCount = 0;

  ReportGrid ReportControl1;
  // The deletion-failure window's content, loaded for the program's whole life.
  Form3Core FailureWindow;

  const std::string& statusText() const { return statusText_; }
  void setStatusText(std::string text);
  // The second field: "12.3 MB reclaimable", after a deletion also "; 2 groups lost every copy".
  const std::string& statusText2() const { return statusText2_; }
  // Groups whose every file the last deletion run deleted.
  std::uint32_t groupsLostLastRun() const { return groupsLostLastRun_; }
  ProgressBar& progressBar(int bar) { return bar == 1 ? progressBar1_ : progressBar2_; }
  // True while a find or a deletion run is under way; new commands are then ignored.
  bool busy() const { return busy_; }

  // The file's real path: folder + the name as found on disk.
  std::string fullPath(RecordId record) const;
  // The source folder the records of the grid were walked from ("" before any walk).
  const std::string& scannedSource() const { return scannedSource_; }
  // The folders the last walk entered; a record's facts name its folder here.
  const FolderTable& folders() const { return folders_; }
  // "3 files changed during the find and were left out"; "" when none did.
  const std::string& findNote() const { return findNote_; }

  // Test seam: called by the deletion run just before it checks each ticked file, and again
  // just before it removes it, with the record and the step ("check" or "remove").
  std::function<void(RecordId, std::string_view)> beforeDeletionStep;

private:
  class WalkToGrid;
  void addProgress(int bar);
  // Rebuilds the rows while the window keeps answering; only while the grid is hidden.
  void rebuildRowsWhileHidden();
  void updateStatusText2(bool afterDeletion);
  void finishEmpty();

  Form1View& view_;
  SettingsStore& settings_;
  std::string statusText_ = "0 files";
  std::string statusText2_;
  ProgressBar progressBar1_;
  ProgressBar progressBar2_;
  bool busy_ = false;
  std::string scannedSource_;
  std::uint32_t groupsLostLastRun_ = 0;
  TreeWalk walk_;
  FolderTable folders_;
  // How the deletion run reaches the source again: by its real path, checked to be this folder.
  std::string sourceRealPath_;
  FileIdentity sourceIdentity_;
  std::string findNote_;
};

// Deletes the file name of the folder folderFd outright (no trash, no prompt); nonzero on
// success, 0 on failure with errno left as the system set it. lpFileName (the full path) is
// only for the error report.
std::int32_t DeleteFile(const std::string& lpFileName, int folderFd, const std::string& name);

// "N files".
std::string filesText(long long count);

} // namespace zandrex

namespace zandrex {

// A group row's heading as the grid shows it: the caption of the grouping column, the key, the
// file count and the space deleting all but one copy would free ("File: photo.jpg (2 files,
// 1.2 MB reclaimable)"); in the content mode the checksum text stands for the key.
std::string groupHeading(const ReportGrid& grid, std::size_t position);

} // namespace zandrex
