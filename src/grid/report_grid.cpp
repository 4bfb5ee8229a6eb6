#include "grid/report_grid.h"

#include "common/run_aside.h"
#include "grid/live_index.h"
#include "grid/pod_array.h"
#include "grid/text_pool.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <functional>
#include <memory>
#include <stdexcept>
#include <unordered_set>

namespace zandrex {

namespace {

constexpr std::uint8_t kFlagCheckbox = 1;
constexpr std::uint8_t kFlagTicked = 2;
constexpr std::uint8_t kFlagLive = 4;

// Below this many records a rebuild takes under a few milliseconds: no helper thread for it.
constexpr std::size_t kThreadedRebuildMin = 50000;

// The disk name's pseudo column: never interned.
constexpr int kNoColumn = -1;

// Longest text an item holds; the kind shares the word with the length.
constexpr std::uint32_t kKindBits = 2;
constexpr std::uint32_t kKindMask = (1u << kKindBits) - 1;
constexpr std::uint32_t kMaxTextLength = UINT32_MAX >> kKindBits;

// One item in 12 bytes: a number's bits or a text's pool offset, and the kind with the text's
// length. Three 32-bit words keep the cell array a million records times columns small.
class Cell {
public:
  Cell() = default;
  Cell(GridValue::Kind kind, std::uint64_t payload, std::uint32_t length)
      : low_(static_cast<std::uint32_t>(payload)),
        high_(static_cast<std::uint32_t>(payload >> kWordBits)),
        tag_(length << kKindBits | static_cast<std::uint32_t>(kind)) {}
  GridValue::Kind kind() const { return static_cast<GridValue::Kind>(tag_ & kKindMask); }
  std::uint64_t payload() const { return std::uint64_t{high_} << kWordBits | low_; }
  std::uint32_t length() const { return tag_ >> kKindBits; }
  bool isText() const { return kind() == GridValue::Kind::Text; }

private:
  std::uint32_t low_ = 0;
  std::uint32_t high_ = 0;
  std::uint32_t tag_ = 0;
};

// A record's file facts in 32 bytes: the device as its number in the grid's device list, the
// nanoseconds (always below a billion) in 32 bits.
struct StoredFacts {
  std::uint64_t inode = 0;
  std::int64_t mtimeSec = 0;
  std::uint64_t size = 0;
  std::uint32_t mtimeNsec = 0;
  std::uint32_t device = 0;
};

// How far the rows are from what a rebuild would build now, nearest first. Each change moves
// them at least this far; only a rebuild brings them back.
enum class RowsState : std::uint8_t {
  Current,
  // Current but for records removed since: the rows without them are the rebuilt rows.
  RecordsRemoved,
  // Every record in exactly one row, but keys or the group order changed: the groups are a
  // partition of the records to sort within, kept only when it proves to be the full order.
  Regrouped,
  // Records were added since, or the rows never built: only a full sort will do.
  Stale,
};

// A record's number once the tombstones are gone, from its number in the rows built before.
struct RowMapping {
  // Empty when no record was removed.
  const PodArray<RecordId>& renumbered;
  RecordId operator()(RecordId record) const {
    return renumbered.empty() ? record : renumbered[record];
  }
};

} // namespace

struct ReportGrid::Impl {
  std::vector<GridColumn> columns;
  std::vector<int> groupOrder;

  // Per record: columns.size() cells, flags, fill count, facts, disk name. Removed records stay
  // (tombstones) until the next rebuild so stale rows can still read them.
  std::size_t stride = 0;
  PodArray<Cell> cells;
  PodArray<std::uint8_t> flags;
  PodArray<std::uint16_t> fill;
  PodArray<StoredFacts> facts;
  // Apart from the facts, which stay at 32 bytes: the folder each file was found in, and its
  // change time (what lets the digest cache answer without another look at the file).
  PodArray<std::uint32_t> folders;
  PodArray<std::int64_t> changeTimes;
  // The devices the facts name, each once: a tree spans a handful.
  std::vector<std::uint64_t> devices;
  std::uint32_t lastDevice = 0;
  PodArray<Cell> diskNames;

  LiveIndex live;
  std::size_t liveCount = 0;
  std::size_t tombstones = 0;

  TextPool pool;
  // Bytes of the pool no cell uses any more (interned texts aside: compaction drops those).
  std::size_t garbageBytes = 0;
  std::vector<InternSet> interned;
  struct LastInterned {
    TextRef ref;
    bool valid = false;
  };
  std::vector<LastInterned> lastInterned;

  PodArray<GridRow> rows;
  RowsState rowsState = RowsState::Stale;

  void rowsAtLeast(RowsState state) { rowsState = std::max(rowsState, state); }

  std::size_t recordTotal() const { return flags.size(); }

  std::uint32_t deviceNumber(std::uint64_t device) {
    if (lastDevice < devices.size() && devices[lastDevice] == device)
      return lastDevice;
    lastDevice = static_cast<std::uint32_t>(std::find(devices.begin(), devices.end(), device) -
                                            devices.begin());
    if (lastDevice == devices.size())
      devices.push_back(device);
    return lastDevice;
  }
  StoredFacts store(const FileFacts& from) {
    return {from.inode, from.mtimeSec, from.size, static_cast<std::uint32_t>(from.mtimeNsec),
            deviceNumber(from.device)};
  }
  FileFacts unpack(const StoredFacts& from) const {
    FileFacts out;
    out.device = from.device < devices.size() ? devices[from.device] : 0;
    out.inode = from.inode;
    out.mtimeSec = from.mtimeSec;
    out.mtimeNsec = from.mtimeNsec;
    out.size = from.size;
    return out;
  }

  InternSet makeInternSet() { return InternSet(0, PoolHash{&pool}, PoolEqual{&pool}); }

  bool isInterned(int column) const {
    return column >= 0 && static_cast<std::size_t>(column) < columns.size() &&
           columns[column].interned;
  }

  // Stores a text and returns its place; interned columns reuse an equal text already stored.
  TextRef storeText(int column, std::string_view text) {
    if (isInterned(column)) {
      // A folder's files arrive one after another: the text stored last is the likely match.
      LastInterned& last = lastInterned[column];
      if (last.valid && poolView(pool, last.ref) == text)
        return last.ref;
      InternSet& set = interned[column];
      const auto found = set.find(text);
      const TextRef ref = found != set.end() ? *found : appendText(text);
      if (found == set.end())
        set.insert(ref);
      last = {ref, true};
      return ref;
    }
    return appendText(text);
  }

  // Chunks never move, so a view into the pool itself (an item copied from another record) is
  // safe to append.
  TextRef appendText(std::string_view text) { return pool.append(text); }

  Cell makeCell(int column, const GridValue& value) {
    if (value.isNumber())
      return Cell(GridValue::Kind::Number, std::bit_cast<std::uint64_t>(value.asNumber()), 0);
    if (!value.isText())
      return Cell();
    const TextRef ref = storeText(column, value.asText().substr(0, kMaxTextLength));
    return Cell(GridValue::Kind::Text, ref.offset, ref.length);
  }

  GridValue valueOf(const Cell& cell) const {
    if (cell.kind() == GridValue::Kind::Number)
      return GridValue::number(std::bit_cast<double>(cell.payload()));
    if (cell.isText())
      return GridValue::text(poolView(pool, TextRef{cell.payload(), cell.length()}));
    return {};
  }

  void discard(int column, const Cell& cell) {
    if (cell.isText() && !isInterned(column))
      garbageBytes += cell.length();
  }

  void writeCell(RecordId record, int k, const GridValue& value) {
    rowsAtLeast(RowsState::Regrouped);
    Cell& slot = cells[record * stride + k];
    discard(k, slot);
    slot = makeCell(k, value);
  }

  const Cell* cellAt(RecordId record, int k) const {
    if (record >= recordTotal() || k < 0 || static_cast<std::size_t>(k) >= stride)
      return nullptr;
    return &cells[record * stride + k];
  }

  // Storage -------------------------------------------------------------------------------------

  // Grows every record to the new column count, keeping items in place.
  void widen(std::size_t newStride) {
    if (newStride <= stride)
      return;
    if (recordTotal() > 0) {
      PodArray<Cell> wider;
      wider.resize(recordTotal() * newStride);
      for (std::size_t r = 0; r < recordTotal(); ++r)
        std::copy_n(cells.begin() + r * stride, stride, wider.begin() + r * newStride);
      cells = std::move(wider);
    }
    stride = newStride;
  }

  // Keeps the live records in their order; renumbered (when given) gets each old record's new
  // number, kNoRecord for a removed one.
  void dropTombstones(PodArray<RecordId>* renumbered) {
    if (renumbered)
      renumbered->resizeForOverwrite(recordTotal());
    std::size_t kept = 0;
    for (std::size_t r = 0; r < recordTotal(); ++r) {
      const bool isLive = flags[r] & kFlagLive;
      if (renumbered)
        (*renumbered)[r] = isLive ? static_cast<RecordId>(kept) : kNoRecord;
      if (!isLive)
        continue;
      if (kept != r) {
        std::copy_n(cells.begin() + r * stride, stride, cells.begin() + kept * stride);
        flags[kept] = flags[r];
        fill[kept] = fill[r];
        facts[kept] = facts[r];
        folders[kept] = folders[r];
        changeTimes[kept] = changeTimes[r];
        diskNames[kept] = diskNames[r];
      }
      ++kept;
    }
    cells.resize(kept * stride);
    flags.resize(kept);
    fill.resize(kept);
    facts.resize(kept);
    folders.resize(kept);
    changeTimes.resize(kept);
    diskNames.resize(kept);
    tombstones = 0;
    live.allLive(recordTotal());
  }

  // Copies every text still in use into a fresh pool; interned columns are deduplicated anew.
  // An old chunk is handed over to the new pool as soon as its last text in use has moved, so
  // the two pools seldom stand in memory side by side in full, and the new one mostly fills
  // memory already paged in.
  void compactPool() {
    TextPool old = std::move(pool);
    pool.clear();
    for (InternSet& set : interned)
      set.clear();
    lastInterned.assign(lastInterned.size(), {});
    std::vector<std::uint32_t> inUse(old.chunkCount(), 0);
    const auto count = [&](const Cell& cell) {
      if (cell.isText() && cell.length() > 0)
        ++inUse[TextPool::chunkOf(TextRef{cell.payload(), cell.length()})];
    };
    for (std::size_t r = 0; r < recordTotal(); ++r) {
      for (std::size_t k = 0; k < stride; ++k)
        count(cells[r * stride + k]);
      count(diskNames[r]);
    }
    const auto move = [&](int column, Cell& cell) {
      if (!cell.isText())
        return;
      const TextRef from{cell.payload(), cell.length()};
      const TextRef ref = storeText(column, poolView(old, from));
      cell = Cell(GridValue::Kind::Text, ref.offset, ref.length);
      if (from.length > 0 && --inUse[TextPool::chunkOf(from)] == 0)
        pool.reuseChunk(old.takeChunk(TextPool::chunkOf(from)));
    };
    for (std::size_t r = 0; r < recordTotal(); ++r) {
      for (std::size_t k = 0; k < stride; ++k)
        move(static_cast<int>(k), cells[r * stride + k]);
      move(kNoColumn, diskNames[r]);
    }
    pool.releaseSpare();
    garbageBytes = 0;
  }

  // Rows ----------------------------------------------------------------------------------------

  struct SortEntry {
    std::uint64_t prefix;
    RecordId record;
  };

  // An order-preserving 64-bit summary of a record's value in column: a smaller prefix means a
  // smaller value; equal values give equal prefixes (kind in the top two bits). A text is
  // summed up from its byte skip on: only for records whose texts all share the bytes before.
  std::uint64_t sortPrefix(RecordId record, int column, std::size_t skip) const {
    constexpr int kKindShift = 62;
    constexpr std::size_t kTextPrefixBytes = 7;
    const Cell* cell = cellAt(record, column);
    if (!cell)
      return 0;
    const GridValue value = valueOf(*cell);
    const auto kind = static_cast<std::uint64_t>(value.kind());
    if (value.isNumber()) {
      const double number = value.asNumber();
      std::uint64_t bits = std::bit_cast<std::uint64_t>(number);
      bits = (bits >> 63) ? ~bits : bits | (std::uint64_t{1} << 63);
      if (std::isnan(number))
        bits = ~std::uint64_t{0};
      return (kind << kKindShift) | (bits >> 2);
    }
    std::uint64_t bytes = 0;
    const std::string_view text = value.asText();
    for (std::size_t i = skip; i < skip + kTextPrefixBytes; ++i)
      bytes = (bytes << 8) | (i < text.size() ? static_cast<unsigned char>(text[i]) : 0);
    return (kind << kKindShift) | bytes;
  }

  int compareKeys(RecordId a, RecordId b) const {
    for (int column : groupOrder) {
      const Cell* left = cellAt(a, column);
      const Cell* right = cellAt(b, column);
      const int order =
          compare(left ? valueOf(*left) : GridValue(), right ? valueOf(*right) : GridValue());
      if (order != 0)
        return order;
    }
    return 0;
  }

  // Equal prefixes fall back to the full keys, then to record order: a total order.
  void sortEntries(SortEntry* first, SortEntry* last) const {
    std::sort(first, last, [&](const SortEntry& a, const SortEntry& b) {
      if (a.prefix != b.prefix)
        return a.prefix < b.prefix;
      const int byKey = compareKeys(a.record, b.record);
      return byKey != 0 ? byKey < 0 : a.record < b.record;
    });
  }

  // For neighbours in key order whose prefixes were summed up alike, or whose keys are known to
  // differ: different prefixes always mean different values.
  bool keysDiffer(const SortEntry& a, const SortEntry& b) const {
    return a.prefix != b.prefix || compareKeys(a.record, b.record) != 0;
  }

  // Which entries (in key order) begin a group; returns the number of groups.
  std::size_t markGroupStarts(const PodArray<SortEntry>& entries,
                              std::vector<bool>& startsGroup) const {
    startsGroup.assign(entries.size(), false);
    std::size_t groups = 0;
    for (std::size_t i = 0; i < entries.size(); ++i) {
      startsGroup[i] = i == 0 || keysDiffer(entries[i - 1], entries[i]);
      groups += startsGroup[i] ? 1 : 0;
    }
    return groups;
  }

  // Appends the rows of count records in key order: a group row before each run of equal keys.
  template <class RecordAt>
  void appendRows(std::size_t count, const std::vector<bool>& startsGroup, RecordAt recordAt) {
    std::size_t groupPosition = 0;
    for (std::size_t i = 0; i < count; ++i) {
      if (startsGroup[i]) {
        groupPosition = rows.size();
        rows.push_back(GridRow{});
      }
      rows.push_back(GridRow{recordAt(i), 0, true});
      ++rows[groupPosition].childCount;
    }
  }

  // Per-record arrays here are flat arrays rather than vectors: they take huge pages, and the rows
  // keep their memory from one build to the next, where fresh small pages cost more than the
  // sort (bench/RESULTS.md).
  void buildRows() {
    rows.resizeForOverwrite(0);
    if (groupOrder.empty()) {
      rows.reserve(recordTotal());
      for (RecordId r = 0; r < recordTotal(); ++r)
        rows.push_back(GridRow{r, 0, true});
      return;
    }
    // Sorting on a 64-bit prefix of the first key settles most comparisons without touching
    // the pool.
    PodArray<SortEntry> entries;
    entries.resizeForOverwrite(recordTotal());
    for (RecordId r = 0; r < entries.size(); ++r)
      entries[r] = SortEntry{sortPrefix(r, groupOrder.front(), 0), r};
    sortEntries(entries.data(), entries.data() + entries.size());
    std::vector<bool> startsGroup;
    const std::size_t groups = markGroupStarts(entries, startsGroup);
    // The entries are given back before the rows are made: on a million records the two would
    // otherwise stand side by side at the moment memory peaks.
    PodArray<RecordId> order;
    order.resizeForOverwrite(entries.size());
    for (std::size_t i = 0; i < entries.size(); ++i)
      order[i] = entries[i].record;
    entries.clear();
    rows.reserve(order.size() + groups);
    appendRows(order.size(), startsGroup, [&](std::size_t i) { return order[i]; });
  }

  // The rows as a rebuild would build them, from rows that were current before records were
  // removed: the order stays, removed records go and so do groups left empty (a group left
  // with one row keeps it, as a rebuild would). O(n), in place.
  void keepLiveRows(const RowMapping& mapping) {
    constexpr std::size_t kNoGroup = SIZE_MAX;
    std::size_t kept = 0;
    std::size_t groupPosition = kNoGroup;
    const auto dropEmptyGroup = [&] {
      if (groupPosition != kNoGroup && rows[groupPosition].childCount == 0)
        kept = groupPosition;
    };
    for (std::size_t i = 0; i < rows.size(); ++i) {
      if (rows[i].isGroup()) {
        dropEmptyGroup();
        groupPosition = kept;
        rows[kept++] = GridRow{};
        continue;
      }
      const RecordId record = mapping(rows[i].record);
      if (record == kNoRecord)
        continue;
      rows[kept++] = GridRow{record, 0, true};
      if (groupPosition != kNoGroup)
        ++rows[groupPosition].childCount;
    }
    dropEmptyGroup();
    rows.resizeForOverwrite(kept);
    // Most rows gone (a prune of a tree of unique files): so is their memory.
    if (rows.capacity() / 2 > rows.size())
      rows.shrinkToFit();
  }

  // Bytes the texts of the entries' records under the first group column all start with; 0
  // unless every one of them is a text.
  std::size_t sharedTextBytes(const SortEntry* first, const SortEntry* last) const {
    const int column = groupOrder.front();
    const Cell* cell = cellAt(first->record, column);
    if (!cell || !cell->isText())
      return 0;
    const std::string_view head = valueOf(*cell).asText();
    std::size_t shared = head.size();
    for (const SortEntry* entry = first + 1; entry != last && shared > 0; ++entry) {
      const Cell* other = cellAt(entry->record, column);
      if (!other || !other->isText())
        return 0;
      const std::string_view text = valueOf(*other).asText().substr(0, shared);
      shared = static_cast<std::size_t>(
          std::mismatch(text.begin(), text.end(), head.begin()).first - text.begin());
    }
    return shared;
  }

  // Sorts entries [from, end) (one group of the old rows) and tells whether they all sort after
  // the entry before them (the last of the group before).
  bool sortGroup(PodArray<SortEntry>& entries, std::size_t from, std::size_t end) const {
    SortEntry* first = entries.data() + from;
    SortEntry* last = entries.data() + end;
    if (first == last)
      return true;
    // Texts that share their first bytes (a content key starts with the size) would leave a
    // prefix from the start useless.
    const std::size_t skip = last - first > 1 ? sharedTextBytes(first, last) : 0;
    for (SortEntry* entry = first; entry != last; ++entry)
      entry->prefix = sortPrefix(entry->record, groupOrder.front(), skip);
    sortEntries(first, last);
    return from == 0 || compareKeys(first[-1].record, first->record) < 0;
  }

  // The rebuild after the keys or the group order changed, when the old groups hold every
  // record: each group is sorted on its own and the result kept only when every group's keys
  // sort below the next group's. The rows are then exactly the full sort's (equal keys never
  // span two groups, and within one the order is the full one), for a fraction of its
  // comparisons when the new keys refine the old ones (sizes, then contents of one size).
  // False when the old rows have no groups or the check fails (the rows are then to be built in
  // full).
  bool sortWithinGroups(const RowMapping& mapping) {
    if (groupOrder.empty() || rows.empty() || !rows[0].isGroup())
      return false;
    // The old rows stay until the new ones replace them: their memory is reused, which costs
    // less than fresh memory faulted in page by page (the records are fewer here than at the
    // walk's rebuild, where memory peaks).
    PodArray<SortEntry> entries;
    entries.reserve(liveCount);
    std::size_t from = 0;
    for (std::size_t i = 1; i <= rows.size(); ++i) {
      // The key cells of rows ahead are fetched meanwhile: their group is sorted when its last
      // row is reached, and records lie in the grid in their own order, not the rows'.
      if (i + kPrefetchRows < rows.size() && !rows[i + kPrefetchRows].isGroup()) {
        const RecordId ahead = mapping(rows[i + kPrefetchRows].record);
        if (ahead != kNoRecord)
          __builtin_prefetch(cells.data() + ahead * stride + groupOrder.front());
      }
      if (i < rows.size() && !rows[i].isGroup()) {
        const RecordId record = mapping(rows[i].record);
        if (record != kNoRecord)
          entries.push_back(SortEntry{0, record});
        continue;
      }
      if (!sortGroup(entries, from, entries.size()))
        return false;
      from = entries.size();
    }
    std::vector<bool> startsGroup;
    const std::size_t groups = markGroupStarts(entries, startsGroup);
    rows.resizeForOverwrite(0);
    rows.reserve(entries.size() + groups);
    appendRows(entries.size(), startsGroup, [&](std::size_t i) { return entries[i].record; });
    return true;
  }
};

ReportGrid::ReportGrid() : impl_(std::make_unique<Impl>()) {}
ReportGrid::~ReportGrid() = default;

int ReportGrid::addColumn(int index, std::string caption, int width, bool resizable) {
  Impl& d = *impl_;
  if (index < 0)
    index = static_cast<int>(d.columns.size());
  if (static_cast<std::size_t>(index) >= d.columns.size()) {
    d.columns.resize(index + 1);
    while (d.interned.size() < d.columns.size())
      d.interned.push_back(d.makeInternSet());
    d.lastInterned.resize(d.columns.size());
    d.widen(d.columns.size());
    d.rowsAtLeast(RowsState::Regrouped);
  }
  GridColumn& column = d.columns[index];
  column.caption = std::move(caption);
  column.width = width;
  column.resizable = resizable;
  return index;
}

void ReportGrid::setColumnShown(int column, bool shown) {
  if (column >= 0 && static_cast<std::size_t>(column) < impl_->columns.size())
    impl_->columns[column].shown = shown;
}

void ReportGrid::setColumnInterned(int column, bool interned) {
  if (column >= 0 && static_cast<std::size_t>(column) < impl_->columns.size())
    impl_->columns[column].interned = interned;
}

int ReportGrid::columnCount() const {
  return static_cast<int>(impl_->columns.size());
}

const GridColumn& ReportGrid::column(int index) const {
  return impl_->columns.at(index);
}

void ReportGrid::groupOrderClear() {
  impl_->groupOrder.clear();
  impl_->rowsAtLeast(RowsState::Regrouped);
}

void ReportGrid::groupOrderAdd(int column) {
  impl_->groupOrder.push_back(column);
  impl_->rowsAtLeast(RowsState::Regrouped);
}

void ReportGrid::setGroupOrder(const std::vector<int>& columns) {
  if (impl_->groupOrder == columns)
    return;
  impl_->groupOrder = columns;
  impl_->rowsAtLeast(RowsState::Regrouped);
}

const std::vector<int>& ReportGrid::groupOrder() const {
  return impl_->groupOrder;
}

RecordId ReportGrid::addRecord() {
  Impl& d = *impl_;
  d.rowsState = RowsState::Stale;
  const auto id = static_cast<RecordId>(d.recordTotal());
  d.cells.resize(d.cells.size() + d.stride);
  d.flags.push_back(kFlagLive);
  d.fill.push_back(0);
  d.facts.emplace_back();
  d.folders.push_back(0);
  d.changeTimes.push_back(kNoChangeTime);
  d.diskNames.emplace_back();
  d.live.append();
  ++d.liveCount;
  return id;
}

std::size_t ReportGrid::recordCount() const {
  return impl_->liveCount;
}

std::size_t ReportGrid::textBytesHeld() const {
  return impl_->pool.size();
}

RecordId ReportGrid::recordAt(std::size_t index) const {
  if (index >= impl_->liveCount)
    return kNoRecord;
  return impl_->live.at(index);
}

std::size_t ReportGrid::recordIndex(RecordId record) const {
  return impl_->live.before(record);
}

bool ReportGrid::isLive(RecordId record) const {
  return record < impl_->recordTotal() && (impl_->flags[record] & kFlagLive);
}

void ReportGrid::removeAt(std::size_t index) {
  removeRecord(recordAt(index));
}

void ReportGrid::removeRecord(RecordId record) {
  Impl& d = *impl_;
  if (!isLive(record))
    return;
  d.rowsAtLeast(RowsState::RecordsRemoved);
  d.flags[record] &= ~kFlagLive;
  d.live.remove(record);
  --d.liveCount;
  ++d.tombstones;
  // The texts stay readable for stale rows; they only count as garbage for the next compaction.
  for (std::size_t k = 0; k < d.stride; ++k)
    d.discard(static_cast<int>(k), d.cells[record * d.stride + k]);
  d.discard(kNoColumn, d.diskNames[record]);
}

void ReportGrid::deleteAll() {
  if (onBeforeRowsChange)
    onBeforeRowsChange();
  Impl& d = *impl_;
  d.rowsState = RowsState::Stale;
  d.cells.clear();
  d.flags.clear();
  d.fill.clear();
  d.facts.clear();
  d.folders.clear();
  d.changeTimes.clear();
  d.devices.clear();
  d.lastDevice = 0;
  d.diskNames.clear();
  d.live.clear();
  d.liveCount = 0;
  d.tombstones = 0;
  d.pool.clear();
  d.garbageBytes = 0;
  for (InternSet& set : d.interned)
    set.clear();
  d.lastInterned.assign(d.lastInterned.size(), {});
  d.rows.clear();
  if (onAfterRowsChange)
    onAfterRowsChange();
}

void ReportGrid::addItem(RecordId record, const GridValue& value) {
  Impl& d = *impl_;
  if (record >= d.recordTotal() || d.fill[record] >= d.stride)
    return;
  d.writeCell(record, d.fill[record]++, value);
}

void ReportGrid::setItem(RecordId record, int k, const GridValue& value) {
  if (!impl_->cellAt(record, k))
    return;
  impl_->writeCell(record, k, value);
}

GridValue ReportGrid::item(RecordId record, int k) const {
  const Cell* cell = impl_->cellAt(record, k);
  return cell ? impl_->valueOf(*cell) : GridValue();
}

namespace {
void setFlag(PodArray<std::uint8_t>& flags, RecordId record, std::uint8_t flag, bool on) {
  if (record >= flags.size())
    return;
  flags[record] = on ? (flags[record] | flag) : (flags[record] & ~flag);
}
} // namespace

void ReportGrid::setCheckbox(RecordId record, bool hasCheckbox) {
  setFlag(impl_->flags, record, kFlagCheckbox, hasCheckbox);
}

bool ReportGrid::hasCheckbox(RecordId record) const {
  return record < impl_->recordTotal() && (impl_->flags[record] & kFlagCheckbox);
}

void ReportGrid::setTicked(RecordId record, bool ticked) {
  if (record >= impl_->flags.size() || this->ticked(record) == ticked)
    return;
  setFlag(impl_->flags, record, kFlagTicked, ticked);
  if (onTickChanged)
    onTickChanged(record, ticked);
}

bool ReportGrid::ticked(RecordId record) const {
  return record < impl_->recordTotal() && (impl_->flags[record] & kFlagTicked);
}

void ReportGrid::setFacts(RecordId record, const FileFacts& facts, std::string_view diskName) {
  Impl& d = *impl_;
  if (record >= d.recordTotal())
    return;
  d.facts[record] = d.store(facts);
  d.folders[record] = facts.folder;
  d.changeTimes[record] = facts.ctimeNs;
  d.discard(kNoColumn, d.diskNames[record]);
  d.diskNames[record] =
      diskName.empty() ? Cell{} : d.makeCell(kNoColumn, GridValue::text(diskName));
}

FileFacts ReportGrid::facts(RecordId record) const {
  if (record >= impl_->recordTotal())
    return {};
  FileFacts out = impl_->unpack(impl_->facts[record]);
  out.folder = impl_->folders[record];
  out.ctimeNs = impl_->changeTimes[record];
  return out;
}

void ReportGrid::prefetch(RecordId record) const {
  const Impl& d = *impl_;
  if (record >= d.recordTotal())
    return;
  __builtin_prefetch(d.cells.data() + record * d.stride);
  __builtin_prefetch(d.facts.data() + record);
  __builtin_prefetch(d.folders.data() + record);
  __builtin_prefetch(d.changeTimes.data() + record);
  __builtin_prefetch(d.diskNames.data() + record);
  __builtin_prefetch(d.flags.data() + record);
}

std::string_view ReportGrid::diskName(RecordId record) const {
  if (record >= impl_->recordTotal())
    return {};
  return impl_->valueOf(impl_->diskNames[record]).asText();
}

void ReportGrid::rebuildRows() {
  rebuildRows(nullptr);
}

void ReportGrid::rebuildRows(const std::function<void()>& whileWaiting) {
  if (onBeforeRowsChange)
    onBeforeRowsChange();
  Impl& d = *impl_;
  auto rebuild = [&d] {
    // The same rows again: only what a rebuild resets is reset (a million-record sort saved).
    if (d.rowsState == RowsState::Current) {
      for (GridRow& row : d.rows)
        row.expanded = true;
      return;
    }
    // The old rows still name records by their numbers before the tombstones go.
    PodArray<RecordId> renumbered;
    const bool reuseRows = d.rowsState != RowsState::Stale;
    if (d.tombstones > 0)
      d.dropTombstones(reuseRows ? &renumbered : nullptr);
    if (d.garbageBytes * 2 > d.pool.size())
      d.compactPool();
    const RowMapping mapping{renumbered};
    if (d.rowsState == RowsState::RecordsRemoved)
      d.keepLiveRows(mapping);
    else if (d.rowsState != RowsState::Regrouped || !d.sortWithinGroups(mapping))
      d.buildRows();
    d.rowsState = RowsState::Current;
  };
  runAside(rebuild, d.recordTotal() < kThreadedRebuildMin ? nullptr : whileWaiting);
  if (onAfterRowsChange)
    onAfterRowsChange();
}

std::size_t ReportGrid::rowCount() const {
  return impl_->rows.size();
}

bool ReportGrid::rowsCurrent() const {
  return impl_->rowsState == RowsState::Current;
}

const GridRow& ReportGrid::row(std::size_t position) const {
  if (position >= impl_->rows.size())
    throw std::out_of_range("ReportGrid::row");
  return impl_->rows[position];
}

void ReportGrid::setRowExpanded(std::size_t position, bool expanded) {
  if (position < impl_->rows.size())
    impl_->rows[position].expanded = expanded;
}

GridValue ReportGrid::groupKey(std::size_t position) const {
  const Impl& d = *impl_;
  if (position + 1 >= d.rows.size() || !d.rows[position].isGroup() || d.groupOrder.empty())
    return {};
  return item(d.rows[position + 1].record, d.groupOrder.front());
}

} // namespace zandrex
