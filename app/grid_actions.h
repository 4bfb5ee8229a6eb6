// What the user does with the grid besides deleting: the selection helpers (the "Select"
// button's menu and the grid's context menu), the group sort (the header's and the grid's context
// menu), double-click to show a file in the file manager and Enter or Space to toggle a tick.
#pragma once

#include "file_grid_model.h"
#include "find/duplicate_finder.h"
#include "select/selection_helpers.h"

#include <QObject>
#include <QString>
#include <functional>
#include <memory>

class QAction;
class QActionGroup;
class QMenu;
class QTreeView;
class QWidget;

namespace zandrex::desktop {

// Captions of the helpers, as the menus show them.
inline constexpr const char* kKeepNewestCaption = "Keep the newest in each group";
inline constexpr const char* kKeepOldestCaption = "Keep the oldest in each group";
inline constexpr const char* kKeepFirstCaption = "Keep the first in path order";
inline constexpr const char* kKeepShortestCaption = "Keep the shortest path";
inline constexpr const char* kTickFolderCaption = "Tick every file in a folder...";
inline constexpr const char* kUntickAllCaption = "Untick all";
inline constexpr const char* kInvertGroupCaption = "Invert ticks in this group";
inline constexpr const char* kSortGroupsCaption = "Sort groups";
inline constexpr const char* kGroupsByKeyCaption = "By key";
inline constexpr const char* kGroupsByCountCaption = "By file count";
inline constexpr const char* kGroupsByReclaimableCaption = "By reclaimable space";

// "Tick every file in /data/photos/", a long folder shortened in its middle, ready for a menu
// ("&" doubled).
QString tickFolderCaption(const QString& folder);

class GridActions : public QObject {
  Q_OBJECT
public:
  // core, model and view must outlive this object; owner parents the menus and the dialogs.
  GridActions(DuplicateFinder& core, FileGridModel& model, QTreeView& view, QWidget* owner);
  ~GridActions() override;

  // Asked for the folder of "Tick every file in a folder...", opened at start; "" when cancelled.
  std::function<QString(const QString& start)> chooseFolder;
  // Shows what a helper or a sort did (next to the status bar's permanent fields).
  std::function<void(const QString& text)> report;
  // "Protected folders...": lets the user change the list (the window saves and applies it).
  std::function<void()> editProtectedFolders;

  // The "Select" button's menu (owned by this object): the helpers; "Invert ticks in this group"
  // works on the current row's group. It and the grid's menu end with "Protected folders...".
  QMenu* selectMenu() const { return selectMenu_; }
  // The grid's context menu for the row at index (invalid: no row): the helpers, "Tick every
  // file in <folder>" and "Invert ticks in this group" for that row, the group sort, then
  // "Protected folders..." and what addToGridMenu added ("Save list...").
  std::unique_ptr<QMenu> gridMenu(const QModelIndex& at);
  // Adds action (owned elsewhere) to the end of every grid menu made from now on.
  void addToGridMenu(QAction* action) { gridMenuExtras_.push_back(action); }
  // The header's context menu: the group sort.
  std::unique_ptr<QMenu> headerMenu();
  // The shared action with this caption (one of the constants above); nullptr when none.
  QAction* action(const QString& caption) const;

  // The helpers themselves; each is ignored while a find or a deletion runs. None ticks a file in
  // a protected folder.
  void keep(KeepRule rule);
  // folder: "/"-terminated.
  void tickFolder(const std::string& folder);
  void chooseAndTickFolder();
  void untickAll();
  // Inverts the group of the row at index; reports when index is in no group.
  void invertGroupAt(const QModelIndex& index);
  // Choosing the criterion in force again reverses the order; a new one starts with the key
  // ascending and the counts and sizes largest first.
  void sortGroupsBy(GroupSort by);

  // Ctrl+A: selects every row the view shows (the group rows and the files of the open groups),
  // as QTreeView::selectAll does, but as one range per open group: the view's own way took
  // 8 s for 70,000 files in 20,000 open groups. False when the view selects one row at most.
  bool selectAll();
  // Toggles the tick of the file row at index (any column); false for a group row or no row.
  bool toggleTick(const QModelIndex& index);
  // Shows the file of the row at index in the file manager; false for a group row or no row.
  bool showInFileManager(const QModelIndex& index);

protected:
  // The grid's keys: Enter, Return and Space toggle the current file row's tick; Ctrl+A is
  // selectAll.
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  QAction* addAction(const char* name, const char* caption, std::function<void()> run);
  void addHelpers(QMenu& menu) const;
  void addGroupSort(QMenu& menu) const;
  void showReport(const std::string& text);
  // After a helper changed ticks anywhere: the model's announcement and the view's repaint.
  void ticksChanged();
  PathOf pathOf() const;
  void syncSortChecks();

  DuplicateFinder& core_;
  FileGridModel& model_;
  QTreeView& view_;
  QWidget* owner_;
  QMenu* selectMenu_ = nullptr;
  QActionGroup* sortGroup_ = nullptr;
  std::vector<QAction*> actions_;
  std::vector<QAction*> gridMenuExtras_;
};

} // namespace zandrex::desktop
