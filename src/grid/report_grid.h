// The report grid: records of items under columns, a group order, a tick box per record, and a
// row list rebuilt on demand (each group row directly followed by its file rows).
//
// Records live in flat vectors (cells, flags, an append-only text pool), so a million records
// cost no heap node each. A record's index is its current position among the live records;
// removals renumber the records behind it. Removing records and writing items leave the row list
// as it was (stale) until the next rebuildRows(); rows keep pointing at the same records.
// Index lookups and removals are O(log n) (a Fenwick tree over live flags); rebuildRows()
// compacts the storage, which changes RecordIds, and sorts no more than the changes since the
// last rebuild call for (see there).
#pragma once

#include <climits>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace zandrex {

// Stable handle of a record until the next rebuildRows() or deleteAll().
using RecordId = std::uint32_t;
inline constexpr RecordId kNoRecord = UINT32_MAX;

// One item's value: empty, a number or a text. A text view points into the grid's pool, whose
// texts never move: it stays valid until a rebuild compacts the pool or deleteAll() clears it.
class GridValue {
public:
  enum class Kind : std::uint8_t { Empty, Number, Text };
  GridValue() = default;
  static GridValue number(double value) {
    GridValue v;
    v.kind_ = Kind::Number;
    v.number_ = value;
    return v;
  }
  static GridValue text(std::string_view value) {
    GridValue v;
    v.kind_ = Kind::Text;
    v.text_ = value;
    return v;
  }
  Kind kind() const { return kind_; }
  bool isNumber() const { return kind_ == Kind::Number; }
  bool isText() const { return kind_ == Kind::Text; }
  double asNumber() const { return number_; }
  std::string_view asText() const { return text_; }
  // The value as the grid displays it: numbers in their shortest decimal form.
  std::string displayText() const;
  // Grouping order: empty < numbers (numerically) < texts (bytewise).
  friend int compare(const GridValue& a, const GridValue& b);

private:
  Kind kind_ = Kind::Empty;
  double number_ = 0.0;
  std::string_view text_;
};

inline constexpr std::int64_t kNoChangeTime = INT64_MIN;

// How many rows ahead of the one at hand a pass over the rows hints at the record it will want
// (ReportGrid::prefetch): enough to cover a wait for memory at the pace of such a pass.
inline constexpr std::size_t kPrefetchRows = 16;

// What a file record knows beyond its visible items: the name as found on disk and the identity
// the find saw (for reading, deleting and the delete-time checks).
struct FileFacts {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  std::int64_t mtimeSec = 0;
  std::int64_t mtimeNsec = 0;
  std::uint64_t size = 0;
  // The folder the walk found the file in, in the find's folder table.
  std::uint32_t folder = 0;
  // The change time the walk saw, in nanoseconds since the epoch; kNoChangeTime when it was not
  // seen or does not fit (such a file is never answered from the digest cache).
  std::int64_t ctimeNs = kNoChangeTime;
};

struct GridColumn {
  std::string caption;
  int width = 0;
  bool resizable = true;
  bool shown = true;
  // Equal texts of this column share one copy (folder paths).
  bool interned = false;
};

// One entry of the row list.
struct GridRow {
  // The file row's record; kNoRecord for a group row.
  RecordId record = kNoRecord;
  // A group row's children are the rows position+1 .. position+childCount.
  std::uint32_t childCount = 0;
  bool expanded = true;
  bool isGroup() const { return record == kNoRecord; }
};

class ReportGrid {
public:
  ReportGrid();
  ~ReportGrid();
  ReportGrid(const ReportGrid&) = delete;
  ReportGrid& operator=(const ReportGrid&) = delete;

  // Columns. Column k shows record item k. addColumn sets column `index` (a negative index
  // appends), adding empty columns before it when needed; records already present gain empty
  // items. Returns the column's index. Interning applies to texts written after it is set.
  int addColumn(int index, std::string caption, int width, bool resizable);
  void setColumnShown(int column, bool shown);
  void setColumnInterned(int column, bool interned);
  int columnCount() const;
  const GridColumn& column(int index) const;

  // Group order: records with equal values in these columns (all entries together) form one
  // group. Empty = no group rows, every record is a row of its own.
  void groupOrderClear();
  void groupOrderAdd(int column);
  // Sets the whole group order; the rows stay current when it is the order they were built by.
  void setGroupOrder(const std::vector<int>& columns);
  const std::vector<int>& groupOrder() const;

  // Records. addRecord appends a record with every item empty and no check box.
  RecordId addRecord();
  // Number of live records.
  std::size_t recordCount() const;
  // Bytes of text held: texts no record uses any more count until a rebuild compacts them away.
  std::size_t textBytesHeld() const;
  // The record at the current index (0-based); kNoRecord when index >= recordCount().
  RecordId recordAt(std::size_t index) const;
  // The record's current index; precondition: the record is live.
  std::size_t recordIndex(RecordId record) const;
  bool isLive(RecordId record) const;
  // Tombstones the record at the index (ignored when out of range); its data stays readable
  // through stale rows until the next rebuildRows().
  void removeAt(std::size_t index);
  // The same by the record itself (ignored unless it is live), for a pass that holds records
  // rather than indices: one walk of the index instead of three.
  void removeRecord(RecordId record);
  // Removes every record and every row.
  void deleteAll();

  // Items. addItem fills the record's next item (in adding order); setItem writes item k.
  // Writes beyond the column count are ignored; item() of a missing item is empty.
  void addItem(RecordId record, const GridValue& value);
  void setItem(RecordId record, int k, const GridValue& value);
  GridValue item(RecordId record, int k) const;
  void setCheckbox(RecordId record, bool hasCheckbox);
  bool hasCheckbox(RecordId record) const;
  void setTicked(RecordId record, bool ticked);
  bool ticked(RecordId record) const;

  // File facts and the name as found on disk (empty = same as item 1).
  void setFacts(RecordId record, const FileFacts& facts, std::string_view diskName);
  FileFacts facts(RecordId record) const;
  std::string_view diskName(RecordId record) const;
  // Only a hint: starts fetching what the items, facts, flags and disk name of record are kept in,
  // for a caller about to visit records in an order of its own (rows' order is not records'
  // order, and on a big grid each record visited so costs several waits for memory).
  void prefetch(RecordId record) const;

  // Rows: groups ordered by key ascending, files within a group in record order. When nothing
  // that decides the rows (records, their items, the group order, the columns) changed since
  // the last rebuild, the rows are kept and only expanded again; the callbacks run either way.
  // The result never depends on the path taken to it, only the cost does:
  //  - records only removed since: O(n), no sort; the rows keep their order, removed records
  //    leave them and so do the groups they empty (a group left with one file keeps it);
  //  - items written or the group order changed, but no record added: each old group is sorted
  //    on its own, O(n log g) for groups of g, and the result is kept only when every group's
  //    keys sort below the next group's (new keys that refine the old ones, such as sizes then
  //    contents of one size); otherwise, and after records were added, a full O(n log n) sort.
  void rebuildRows();
  // The same rebuild; a big one runs on a helper thread while this thread calls whileWaiting
  // every few milliseconds (to keep a window answering). whileWaiting must not touch the grid.
  void rebuildRows(const std::function<void()>& whileWaiting);
  std::size_t rowCount() const;
  // True while the rows are as a rebuild would build them now: nothing that decides them
  // (records, their items, the group order, the columns) changed since the last rebuild.
  bool rowsCurrent() const;
  const GridRow& row(std::size_t position) const;
  void setRowExpanded(std::size_t position, bool expanded);
  // The group key of a group row (its first child's value under the first group-order column);
  // empty for a file row.
  GridValue groupKey(std::size_t position) const;

  // Called before and after the row list is rebuilt or cleared (the Qt model resets on them).
  std::function<void()> onBeforeRowsChange;
  std::function<void()> onAfterRowsChange;
  // Called after a record's tick actually changed (not for a tick set to what it was), with the
  // new state; whoever keeps counts of the ticks listens here.
  std::function<void(RecordId record, bool ticked)> onTickChanged;

private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

} // namespace zandrex
