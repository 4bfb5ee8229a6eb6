// The find and the deletion run without any window: a thin orchestrator that runs the stages in
// the order data flows (walk, group, prune, digest, and later the guarded delete) over one grid,
// driving a small view interface. The desktop window and the command line run this very flow;
// tests drive it headless.
#pragma once

#include "common/pass_hooks.h"
#include "delete/delete_ticked.h"
#include "delete/failure_list.h"
#include "digest/digest_cache.h"
#include "find/find_progress.h"
#include "grid/file_record.h"
#include "grid/report_grid.h"
#include "platform/anchored_tree.h"
#include "source/protected_folders.h"
#include "select/selection_helpers.h"
#include "settings/settings_store.h"
#include "walk/tree_walk.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
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
class FinderView {
public:
  virtual ~FinderView() = default;
  // Let pending window events run (the "Cancel" button may call cancel() meanwhile).
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
  // The find's note changed: cleared as a find starts, set as it ends; read findNote().
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

class DuplicateFinder {
public:
  DuplicateFinder(FinderView& view, SettingsStore& settings);

  // Adds the grid's columns and the initial group order (column "File").
  void setUpGrid();

  // The folder to search (or empty): what the source box shows. A "/" is added when it has none,
  // so that the folder texts of its files (folder + name) stay paths.
  void setSource(const std::string& folder);
  const std::string& source() const { return source_; }
  // Several folders to search in one find (the first is source()), each given a "/" as above.
  // Each file is listed once however the folders nest or alias one another, with its folder
  // text starting with the text of the first folder, in the order of their real paths, that
  // reaches it. Empty texts are dropped.
  void setSources(const std::vector<std::string>& folders);
  const std::vector<std::string>& sources() const { return sources_; }
  // What the walk leaves out (by default nothing); read by each scan.
  void setFilter(ScanFilter filter) { filter_ = std::move(filter); }
  const ScanFilter& filter() const { return filter_; }

  // "Find": one whole find; traps as an event handler. Ignored while a find or a deletion runs.
  void find();
  // "Cancel": the pass under way stops at its next step.
  void cancel() { cancelRequested_ = kCancelled; }
  bool cancelRequested() const { return cancelRequested_ != 0; }
  // "Delete selected files": the guarded deletion of every ticked file; traps as an event
  // handler. Ignored while a find or a deletion runs, and when the grid has no rows.
  void deleteTicked();
  // "Move to Trash", "Replace with hard links", "Replace with reflinks": every ticked file
  // reclaimed by way through the same guard and run as a deletion (Delete is deleteTicked()),
  // the failures shown in the same window under the way's title. Ignored as deleteTicked() is.
  void reclaimTicked(ReclaimWay way);
  // "Keep the newest (oldest, first, shortest) in each group": in each group unticks the file
  // the rule keeps and ticks each other file proven a copy of it, never another name (hard link)
  // of it; traps as an event handler. Grouped by content the find's digests are the proof;
  // otherwise both files' bytes are compared through the find's anchored tree, while events run
  // and "Cancel" stops the run with no tick changed. A group holding files in a protected folder
  // keeps one of them and ticks none. What was left unticked and why is counted.
  // Ignored (an empty result) while a find or a deletion runs.
  SelectionResult keepOneInEachGroup(KeepRule rule);
  // The folders whose files are listed but never ticked by a helper nor deleted, looked up now
  // (by identity) and again as each find starts; the rows shown are marked again at once.
  // Returns the folders that could not be opened now (kept in the list all the same).
  std::vector<std::string> setProtectedFolders(std::vector<std::string> folders);
  const std::vector<std::string>& protectedFolders() const { return protectedFolders_.folders(); }
  // Whether the file of record lies, at any depth, in a protected folder.
  bool isProtected(RecordId record) const { return protectedMarks_.file(grid_, record); }
  const ProtectedMarks& protectedMarks() const { return protectedMarks_; }
  // The scan alone: the system-folder warning, decided on the source's real path (the folder
  // the walk takes), then the walk into a fresh grid; traps as an event handler. Called by find().
  // The files' folder texts start with the source as given.
  void scan();
  // The grid's notification that a row was expanded.
  void expandRow(std::size_t rowPosition);

  // The files found, grouped. Ticks and the rows' expanded state are the user's to change; the
  // records and their items are the finder's.
  const ReportGrid& grid() const { return grid_; }
  ReportGrid& grid() { return grid_; }
  // The files the last deletion run could not delete.
  const FailureList& failures() const { return failures_; }
  FailureList& failures() { return failures_; }
  // Files met by the last walk.
  std::int32_t scannedFileCount() const { return scannedFileCount_; }

  // "N files": the walk's count, then what each pass left.
  const std::string& statusText() const { return statusText_; }
  void setStatusText(std::string text);
  // The second field: "12.3 MB reclaimable" (when the groups are not found by content,
  // kSpaceNotVerifiedText), after a deletion also "; 2 groups lost every copy".
  const std::string& statusText2() const { return statusText2_; }
  // After a find: "3 files changed during the find and were left out", or kCancelledNote when it
  // was cancelled; "" when it has nothing to say.
  const std::string& findNote() const { return findNote_; }
  // What the find under way is doing ("Reading: 3 of 10 files; 1.2 GB of 10.7 GB; /data/a.iso"),
  // put together now; "" when no find runs. For whoever shows it when events run, not per file.
  std::string progressText() const;
  // The numbers behind it; after a find, the phase is idle and the rest stays as it ended.
  const FindProgress& progress() const { return progress_; }
  // Groups whose every file the last deletion run deleted.
  std::uint32_t groupsLostLastRun() const { return groupsLostLastRun_; }
  ProgressBar& progressBar(int bar) { return bar == 1 ? progressBar1_ : progressBar2_; }
  // True while a find or a deletion run is under way; new commands are then ignored.
  bool busy() const { return busy_; }

  // The file's path as text: folder + the name as found on disk.
  std::string fullPath(RecordId record) const { return fullPathOf(grid_, record); }
  // The source folder the records of the grid were walked from ("" before any walk).
  const std::string& scannedSource() const { return scannedSource_; }
  // Every folder the records of the grid were walked from, as given.
  const std::vector<std::string>& scannedSources() const { return scannedSources_; }

  // Called by the deletion run at each step of each ticked file (see DeletionStepHook): how the
  // command line learns which files went, and how tests step in between the checks.
  void setDeletionStepHook(DeletionStepHook hook) { beforeDeletionStep_ = std::move(hook); }
  // Whether and where finds by content remember digests between finds; by default in the user's
  // cache folder. Waits for the last find's digests to be written.
  void setDigestCache(DigestCacheChoice choice) { digestCache_.choose(std::move(choice)); }
  // How many files a find by content reads at once; 0 (the default) lets it choose by the disk.
  void setReaders(unsigned readers) { readers_ = readers; }

private:
  static constexpr std::int16_t kCancelled = -1;
  class WalkToGrid;

  // Walks the opened sources (nothing of one that could not be opened; when none could,
  // openError says why).
  void walkSources(const std::vector<std::optional<SourceAnchor>>& opened, int openError);
  // The system folders the opened sources (or, where one could not be opened, its text as
  // given) are, contain or lie inside, as the warning lists them.
  std::string systemFoldersOf(const std::vector<std::optional<SourceAnchor>>& opened) const;
  // Marks the walked folders that lie in a protected folder.
  void markProtected();
  void addFileRecord(const std::string& pParentName, const std::string& pPatn,
                     const std::string& pFileName, const std::string& pDate, double pSize,
                     std::string_view diskName, const FileFacts& facts);
  void pruneAndCount();
  void digestAndCount();
  // The content pass's share done, shown on bar 1.
  void showReadProgress();
  void startGrouping();
  // Ends the find's progress and says how the find ended.
  void endFind();
  bool runDeletion(ReclaimWay way);
  // The hooks a pass over the rows gets: events, cancel, and bar's progress.
  PassHooks passHooks(int bar);
  void addProgress(int bar);
  void startPass();
  // Rebuilds the rows while the window keeps answering, the group keys filled first; only while
  // the grid is hidden.
  void rebuildRowsWhileHidden();
  // Fills the keys the group order needs that the walk did not store (the name-and-size key is
  // stored only when the find groups by it): the last find's records, regrouped by a find that
  // did not walk, are then grouped by their own keys, never by empty ones.
  void fillGroupKeys();
  void updateStatusText2(bool afterDeletion);
  void finishEmpty();
  // The group order of the comparison mode chosen in the view.
  void groupByChosenMode();
  // Shows what the find left, or nothing after a cancel.
  void finishFind();

  FinderView& view_;
  SettingsStore& settings_;
  std::string source_;
  std::vector<std::string> sources_;
  ScanFilter filter_;
  // 0 = go on; set by cancel(), cleared where each command says.
  std::int16_t cancelRequested_ = 0;
  std::int32_t scannedFileCount_ = 0;
  ReportGrid grid_;
  // The deletion-failure window's content, loaded for the program's whole life.
  FailureList failures_;
  std::string statusText_ = "0 files";
  std::string statusText2_;
  std::string findNote_;
  FindProgress progress_;
  ProgressBar progressBar1_;
  ProgressBar progressBar2_;
  bool busy_ = false;
  std::string scannedSource_;
  std::vector<std::string> scannedSources_;
  // Records were added without their name-and-size key since the grid was last emptied.
  bool nameSizeKeysMissing_ = false;
  std::uint32_t groupsLostLastRun_ = 0;
  TreeWalk walk_;
  // Where the grid's files are, for every step after the walk.
  FoundTree found_;
  ProtectedFolders protectedFolders_;
  // The folders above the searched one, by identity, as the last walk found them.
  std::vector<FileIdentity> sourceAncestors_;
  ProtectedMarks protectedMarks_;
  DeletionStepHook beforeDeletionStep_;
  DigestMemory digestCache_;
  unsigned readers_ = 0;
};

// "N files".
std::string filesText(long long count);

} // namespace zandrex
