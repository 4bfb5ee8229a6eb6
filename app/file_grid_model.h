// The item model of a report grid: group rows at the top level with their file rows as
// children, or, without a group order, every file row at the top level. Cells are formatted from
// the grid when asked; the model holds only an index of the rows, the view's sort order over
// them and the statistics of the groups asked about since the last rebuild.
//
// Sorting never touches the grid: the model keeps a permutation from view rows to grid row
// positions, recomputed (O(n log n)) whenever the grid's rows are rebuilt, so a sort stays in
// force across finds and deletions. Tick states live in the grid's records and follow them.
//
// The model keeps a tally of the ticks, told of every tick the grid changes: a group whose every
// file is ticked shows its heading in red with kAllCopiesTickedMark added, known in O(1).
#pragma once

#include "grid/report_grid.h"
#include "select/group_stats.h"
#include "select/tick_tally.h"

#include <QAbstractItemModel>
#include <QColor>
#include <QFont>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace zandrex::desktop {

// The red of a group heading, and of the status bar's warning, when every copy of a group is
// ticked: deleting them loses the content.
inline constexpr QRgb kAllCopiesTickedColor = 0xffcc0000;

// How the groups are ordered.
enum class GroupSort {
  Key,        // the grid's own order: by group key
  Column,     // by a column that every file of each group shares (set through sortFiles)
  Count,      // by file count
  Reclaimable // by the space deleting all but one copy would free
};

struct GridSort {
  // -1: the files of a group stay in the grid's order.
  int fileColumn = -1;
  Qt::SortOrder fileOrder = Qt::AscendingOrder;
  GroupSort groups = GroupSort::Key;
  // The column of GroupSort::Column.
  int groupColumn = -1;
  Qt::SortOrder groupOrder = Qt::AscendingOrder;
  bool operator==(const GridSort&) const = default;
};

class FileGridModel : public QAbstractItemModel {
  Q_OBJECT
public:
  // The text of a group row's first column; the default shows the group key and the file count.
  using GroupHeading = std::function<std::string(const ReportGrid&, std::size_t position)>;

  // Observes grid (not owned; it must outlive the model) through its row-change and tick-change
  // callbacks, which this model takes over: it resets whenever the grid's rows are rebuilt or
  // cleared.
  explicit FileGridModel(ReportGrid& grid, QObject* parent = nullptr);
  ~FileGridModel() override;

  void setGroupHeading(GroupHeading heading) { groupHeading_ = std::move(heading); }
  // Whether a record's file lies in a protected folder: its row is then greyed and its name
  // marked, and its tick frees nothing in the tally. None is unless set.
  void setProtectedTest(std::function<bool(RecordId)> test);
  // Recounts the tally and repaints the rows after the protected folders changed.
  void protectionChanged();
  // The column of the file name: it shows the name as found on disk when the record has one
  // (the item, lower case, stays the key), with the hard-link mark; 1 unless set.
  void setNameColumn(int column) { nameColumn_ = column; }
  // Resets after changes the grid does not announce (columns added, group heading changed).
  void refresh();

  // The ticks of the rows as they stand, whoever changed them.
  const TickTally& tally() const { return tally_; }
  // True when the top-level rows are group rows.
  bool grouped() const { return grouped_; }
  // The grid row an index stands for; SIZE_MAX for an invalid index.
  std::size_t rowPosition(const QModelIndex& index) const;
  // The grid row of the group an index lies in (the group row itself for a group row);
  // SIZE_MAX for an invalid index or ungrouped rows.
  std::size_t groupPosition(const QModelIndex& index) const;
  // The index of a grid row (column 0); invalid when out of range.
  QModelIndex indexOfRow(std::size_t position) const;

  // Sorts the files of every group by column (ungrouped: every row). When every file of each
  // group has the same value in that column (the grouping column), the groups are sorted by it
  // too, in the same order; otherwise the groups keep their order. Ties keep the grid's order.
  // An out-of-range column restores the grid's order of the files.
  void sortFiles(int column, Qt::SortOrder order);
  // Orders the groups by by; GroupSort::Column keeps the column set by sortFiles.
  void sortGroups(GroupSort by, Qt::SortOrder order);
  const GridSort& currentSort() const { return sort_; }
  // True when, in every group, each file has the same value in column as the group's first.
  bool columnSharedInGroups(int column) const;

  // True for a file row whose file is listed earlier in its group under another name.
  bool isHardLink(std::size_t position) const;
  // Announces new tick states of every file row (after a helper ticked many at once) with one
  // dataChanged over the first column of the top-level rows (CheckStateRole), whatever the
  // number of groups: a view must read the files' tick boxes and the group headings again when
  // it repaints them.
  void ticksChanged();
  // Announces new tick states of the files of the group whose group row is at position, with one
  // dataChanged over its files: its heading, which may have turned red or back, is the view
  // owner's to repaint.
  void ticksChangedInGroup(std::size_t position);

  QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
  QModelIndex parent(const QModelIndex& child) const override;
  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  bool hasChildren(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  // Ticking and unticking a file row's box in the first column.
  bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;
  // The view's header sorts through this: sortFiles.
  void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

signals:
  // The tally may have changed: after each announcement of new ticks and each reset.
  void tallyChanged();

private:
  void beginRowsChange();
  void endRowsChange();
  void indexTopLevel();
  // Builds the permutation for sort_ over the current rows.
  void applySort();
  void orderGroups();
  // Re-sorts and moves the view's persistent indexes along (a layout change, not a reset).
  void resort();
  // The ordinal in groupPositions_ of the group an index lies in; SIZE_MAX when ungrouped.
  std::size_t groupOrdinal(const QModelIndex& index) const;
  // A group row's grid position when grouped; a file row's when ungrouped.
  std::size_t topLevelPosition(int row) const;
  // The grid position of the child-th row under the top-level row at parentPosition.
  std::size_t childPosition(std::size_t parentPosition, int child) const;
  // The stats of the group with this ordinal in groupPositions_, worked out when first asked
  // for: a million rows would cost a tenth of a second at every reset, mostly for groups
  // nobody looks at.
  const GroupStats& groupStats(std::size_t group) const;

  ReportGrid& grid_;
  TickTally tally_;
  GroupHeading groupHeading_;
  std::function<bool(RecordId)> protectedTest_;
  int nameColumn_ = 1;
  GridSort sort_;
  mutable std::vector<GroupStats> groupStats_;
  mutable std::vector<bool> groupStatsKnown_;
  // By grid position: a file listed earlier in its group; set for groups whose stats are known.
  mutable std::vector<bool> hardLink_;
  // Grid positions of the group rows, ascending; empty when the rows are not grouped.
  std::vector<std::uint32_t> groupPositions_;
  // View row -> ordinal in groupPositions_.
  std::vector<std::uint32_t> groupByViewRow_;
  // Grouped: viewFiles_[g + 1 + k] is the grid position of the k-th shown file of the group at
  // g. Ungrouped: viewFiles_[r] is the grid position of top-level row r.
  std::vector<std::uint32_t> viewFiles_;
  // Grid position -> the row of its index: a file's row under its group (or at the top level
  // when ungrouped), a group's row at the top level.
  std::vector<std::uint32_t> viewRow_;
  bool grouped_ = false;
  int topLevelCount_ = 0;
  int columnCount_ = 0;
  bool resetting_ = false;
  QFont groupFont_;
  QFont hardLinkFont_;
};

} // namespace zandrex::desktop
