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

  std::vector<GridRow> rows;
  // True while nothing that decides the rows has changed since they were built.
  bool rowsCurrent = false;

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
    rowsCurrent = false;
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

  void dropTombstones() {
    std::size_t kept = 0;
    for (std::size_t r = 0; r < recordTotal(); ++r) {
      if (!(flags[r] & kFlagLive))
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
  // An old chunk is given back as soon as its last text in use has moved, so the two pools
  // seldom stand in memory side by side in full.
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
        old.releaseChunk(TextPool::chunkOf(from));
    };
    for (std::size_t r = 0; r < recordTotal(); ++r) {
      for (std::size_t k = 0; k < stride; ++k)
        move(static_cast<int>(k), cells[r * stride + k]);
      move(kNoColumn, diskNames[r]);
    }
    garbageBytes = 0;
  }

  // Rows ----------------------------------------------------------------------------------------

  struct SortEntry {
    std::uint64_t prefix;
    RecordId record;
  };

  // An order-preserving 64-bit summary of a record's value in column: a smaller prefix means a
  // smaller value; equal values give equal prefixes (kind in the top two bits).
  std::uint64_t sortPrefix(RecordId record, int column) const {
    constexpr int kKindShift = 62;
    constexpr int kTextPrefixBytes = 7;
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
    for (int i = 0; i < kTextPrefixBytes; ++i)
      bytes = (bytes << 8) |
              (static_cast<std::size_t>(i) < text.size() ? static_cast<unsigned char>(text[i]) : 0);
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

  void buildRows() {
    // Given back before the sort's lists are made, not just emptied: on a million records the
    // old rows would otherwise stand beside them at the moment memory peaks.
    rows = {};
    if (groupOrder.empty()) {
      rows.reserve(recordTotal());
      for (RecordId r = 0; r < recordTotal(); ++r)
        rows.push_back(GridRow{r, 0, true});
      return;
    }
    // Sorting on a 64-bit prefix of the first key settles most comparisons without touching
    // the pool; equal prefixes fall back to the full keys, then to record order.
    std::vector<SortEntry> entries(recordTotal());
    for (RecordId r = 0; r < entries.size(); ++r)
      entries[r] = SortEntry{sortPrefix(r, groupOrder.front()), r};
    std::sort(entries.begin(), entries.end(), [&](const SortEntry& a, const SortEntry& b) {
      if (a.prefix != b.prefix)
        return a.prefix < b.prefix;
      const int byKey = compareKeys(a.record, b.record);
      return byKey != 0 ? byKey < 0 : a.record < b.record;
    });
    std::vector<RecordId> order(entries.size());
    for (std::size_t i = 0; i < entries.size(); ++i)
      order[i] = entries[i].record;
    entries = {};
    rows.reserve(order.size() * 2);
    std::size_t groupPosition = 0;
    for (std::size_t i = 0; i < order.size(); ++i) {
      if (i == 0 || compareKeys(order[i - 1], order[i]) != 0) {
        groupPosition = rows.size();
        rows.push_back(GridRow{});
      }
      rows.push_back(GridRow{order[i], 0, true});
      ++rows[groupPosition].childCount;
    }
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
    d.rowsCurrent = false;
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
  impl_->rowsCurrent = false;
}

void ReportGrid::groupOrderAdd(int column) {
  impl_->groupOrder.push_back(column);
  impl_->rowsCurrent = false;
}

void ReportGrid::setGroupOrder(const std::vector<int>& columns) {
  if (impl_->groupOrder == columns)
    return;
  impl_->groupOrder = columns;
  impl_->rowsCurrent = false;
}

const std::vector<int>& ReportGrid::groupOrder() const {
  return impl_->groupOrder;
}

RecordId ReportGrid::addRecord() {
  Impl& d = *impl_;
  d.rowsCurrent = false;
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
  Impl& d = *impl_;
  const RecordId record = recordAt(index);
  if (record == kNoRecord)
    return;
  d.rowsCurrent = false;
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
  d.rowsCurrent = false;
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
    if (d.rowsCurrent) {
      for (GridRow& row : d.rows)
        row.expanded = true;
      return;
    }
    if (d.tombstones > 0)
      d.dropTombstones();
    if (d.garbageBytes * 2 > d.pool.size())
      d.compactPool();
    d.buildRows();
    d.rowsCurrent = true;
  };
  runAside(rebuild, d.recordTotal() < kThreadedRebuildMin ? nullptr : whileWaiting);
  if (onAfterRowsChange)
    onAfterRowsChange();
}

std::size_t ReportGrid::rowCount() const {
  return impl_->rows.size();
}

bool ReportGrid::rowsCurrent() const {
  return impl_->rowsCurrent;
}

const GridRow& ReportGrid::row(std::size_t position) const {
  return impl_->rows.at(position);
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
