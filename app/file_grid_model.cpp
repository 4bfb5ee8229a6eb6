#include "file_grid_model.h"

#include "grid/file_record.h"
#include "local_path.h"
#include "text/natural_order.h"

#include <QColor>
#include <QGuiApplication>
#include <QPalette>
#include <algorithm>
#include <climits>
#include <numeric>

namespace zandrex::desktop {

namespace {

// internalId of a top-level index.
constexpr quintptr kTopLevelId = 0;
// A file row under a group carries kChildIdStep x (its group row's grid position + 1). Qt hashes
// an index as 16 x row + column + internalId, so a file's cells hash to 16 x a grid position
// among its group's files + column: no two file cells hash alike, and each shares its hash with
// at most one group-row cell. With the group's top-level row + 1 as the id, the cells of dozens
// of files of neighbouring groups hashed alike, and the view's persistent indexes (a selection
// of every row holds two per group) each cost a walk through such a pile: Ctrl+A over 10,000
// files took nearly two minutes.
constexpr quintptr kChildIdStep = 16;

quintptr childId(std::size_t groupPosition) {
  return static_cast<quintptr>(groupPosition + 1) * kChildIdStep;
}

std::size_t groupOfChildId(quintptr id) {
  return static_cast<std::size_t>(id / kChildIdStep - 1);
}

constexpr const char* kHardLinkMark = " (hard link)";
constexpr const char* kProtectedMark = " (protected)";
constexpr const char* kProtectedTip =
    "In a protected folder: the helpers never tick it, and it is never deleted";
constexpr const char* kHardLinkTip =
    "Another name of a file listed above in this group: deleting it frees no space";
constexpr const char* kHeaderTip = "Click to sort the files of each group by this column, again to "
                                   "reverse; right-click to sort the groups by key, file count or "
                                   "reclaimable space";

int clampToInt(std::size_t count) {
  return static_cast<int>(std::min<std::size_t>(count, INT_MAX));
}

std::string defaultGroupHeading(const ReportGrid& grid, std::size_t position) {
  return grid.groupKey(position).displayText() + " (" +
         std::to_string(grid.row(position).childCount) + " files)";
}

// Up to this many items an insertion sort beats std::stable_sort, which takes a buffer from the
// heap at every call: most groups hold a handful of files.
constexpr std::size_t kInsertionSortMost = 16;

// An item with its sort key, worked out once: a million rows sorted are compared some twenty
// times each, and looking a value up in the grid costs more than comparing it.
template <typename Key> struct Keyed {
  Key key;
  std::uint32_t item;
};

// Orders items[0..count) by measure, largest first when descending; equal measures keep their
// order. keyed is scratch space, reused from call to call.
template <typename Measure, typename Key>
void stableOrder(std::uint32_t* items, std::size_t count, Qt::SortOrder order, Measure measure,
                 std::vector<Keyed<Key>>& keyed) {
  keyed.clear();
  for (std::size_t k = 0; k < count; ++k)
    keyed.push_back({measure(items[k]), items[k]});
  const auto before = [order](const Keyed<Key>& a, const Keyed<Key>& b) {
    return order == Qt::AscendingOrder ? a.key < b.key : b.key < a.key;
  };
  if (count <= kInsertionSortMost) {
    for (std::size_t i = 1; i < count; ++i) {
      Keyed<Key> moving = std::move(keyed[i]);
      std::size_t j = i;
      for (; j > 0 && before(moving, keyed[j - 1]); --j)
        keyed[j] = std::move(keyed[j - 1]);
      keyed[j] = std::move(moving);
    }
  } else {
    std::stable_sort(keyed.begin(), keyed.end(), before);
  }
  for (std::size_t k = 0; k < count; ++k)
    items[k] = keyed[k].item;
}

template <typename Measure>
void stableOrder(std::vector<std::uint32_t>& items, Qt::SortOrder order, Measure measure) {
  std::vector<Keyed<decltype(measure(0u))>> keyed;
  keyed.reserve(items.size());
  stableOrder(items.data(), items.size(), order, measure, keyed);
}

// Grid values as a sort key: texts in natural order ("disk2" before "disk10"), anything else in
// the grouping order compare() gives.
struct ValueKey {
  GridValue value;
  bool operator<(const ValueKey& other) const {
    if (value.isText() && other.value.isText())
      return naturalCompare(value.asText(), other.value.asText()) < 0;
    return compare(value, other.value) < 0;
  }
};

} // namespace

FileGridModel::FileGridModel(ReportGrid& grid, QObject* parent)
    : QAbstractItemModel(parent), grid_(grid), groupHeading_(defaultGroupHeading) {
  groupFont_.setBold(true);
  hardLinkFont_.setItalic(true);
  grid_.onBeforeRowsChange = [this] { beginRowsChange(); };
  grid_.onAfterRowsChange = [this] { endRowsChange(); };
  tally_.follow(grid_);
  indexTopLevel();
}

FileGridModel::~FileGridModel() {
  tally_.unfollow();
  grid_.onBeforeRowsChange = nullptr;
  grid_.onAfterRowsChange = nullptr;
}

void FileGridModel::setProtectedTest(std::function<bool(RecordId)> test) {
  protectedTest_ = test;
  tally_.setKeptTest(std::move(test));
  tally_.recount(grid_);
}

void FileGridModel::protectionChanged() {
  tally_.recount(grid_);
  emit tallyChanged();
  if (topLevelCount_ > 0 && columnCount_ > 0)
    emit dataChanged(index(0, 0), index(topLevelCount_ - 1, columnCount_ - 1));
}

void FileGridModel::refresh() {
  beginRowsChange();
  endRowsChange();
}

void FileGridModel::beginRowsChange() {
  // A rebuild announced while one is under way would unbalance the view's reset.
  if (resetting_)
    return;
  resetting_ = true;
  beginResetModel();
}

void FileGridModel::endRowsChange() {
  if (!resetting_)
    return;
  indexTopLevel();
  resetting_ = false;
  endResetModel();
  emit tallyChanged();
}

void FileGridModel::indexTopLevel() {
  columnCount_ = grid_.columnCount();
  groupPositions_.clear();
  const std::size_t rows = grid_.rowCount();
  grouped_ = rows > 0 && grid_.row(0).isGroup();
  if (grouped_) {
    for (std::size_t position = 0; position < rows; position += 1 + grid_.row(position).childCount)
      groupPositions_.push_back(static_cast<std::uint32_t>(position));
  }
  groupStats_.assign(groupPositions_.size(), {});
  groupStatsKnown_.assign(groupPositions_.size(), false);
  hardLink_.assign(grouped_ ? rows : 0, false);
  topLevelCount_ = clampToInt(grouped_ ? groupPositions_.size() : rows);
  tally_.recount(grid_);
  applySort();
}

void FileGridModel::applySort() {
  const std::size_t rows = grid_.rowCount();
  viewFiles_.resize(rows);
  std::iota(viewFiles_.begin(), viewFiles_.end(), 0u);
  viewRow_.assign(rows, 0);
  if (grouped_)
    orderGroups();
  const int column =
      sort_.fileColumn >= 0 && sort_.fileColumn < columnCount_ ? sort_.fileColumn : -1;
  std::vector<Keyed<ValueKey>> keys;
  // The files at grid positions first .. first+count-1, in the view's order.
  auto orderFiles = [&](std::size_t first, std::size_t count) {
    if (column >= 0 && count > 1)
      stableOrder(
          viewFiles_.data() + first, count, sort_.fileOrder,
          [&](std::uint32_t position) {
            return ValueKey{grid_.item(grid_.row(position).record, column)};
          },
          keys);
    for (std::size_t k = 0; k < count; ++k)
      viewRow_[viewFiles_[first + k]] = static_cast<std::uint32_t>(k);
  };
  if (!grouped_) {
    orderFiles(0, rows);
    return;
  }
  for (std::uint32_t position : groupPositions_)
    orderFiles(position + 1, grid_.row(position).childCount);
}

void FileGridModel::orderGroups() {
  const std::size_t groups = groupPositions_.size();
  groupByViewRow_.resize(groups);
  std::iota(groupByViewRow_.begin(), groupByViewRow_.end(), 0u);
  const Qt::SortOrder order = sort_.groupOrder;
  switch (sort_.groups) {
  case GroupSort::Key:
    if (order == Qt::DescendingOrder)
      std::reverse(groupByViewRow_.begin(), groupByViewRow_.end());
    break;
  case GroupSort::Column:
    // After a regrouping the column may no longer be shared; the key order is then the only
    // meaningful one.
    if (!columnSharedInGroups(sort_.groupColumn)) {
      if (order == Qt::DescendingOrder)
        std::reverse(groupByViewRow_.begin(), groupByViewRow_.end());
      break;
    }
    stableOrder(groupByViewRow_, order, [&](std::uint32_t group) {
      const std::size_t position = groupPositions_[group];
      return ValueKey{grid_.row(position).childCount == 0
                          ? GridValue()
                          : grid_.item(grid_.row(position + 1).record, sort_.groupColumn)};
    });
    break;
  case GroupSort::Count:
    stableOrder(groupByViewRow_, order,
                [&](std::uint32_t group) { return grid_.row(groupPositions_[group]).childCount; });
    break;
  case GroupSort::Reclaimable:
    stableOrder(groupByViewRow_, order,
                [&](std::uint32_t group) { return groupStats(group).reclaimable; });
    break;
  }
  for (std::size_t row = 0; row < groups; ++row)
    viewRow_[groupPositions_[groupByViewRow_[row]]] = static_cast<std::uint32_t>(row);
}

bool FileGridModel::columnSharedInGroups(int column) const {
  if (!grouped_ || column < 0 || column >= columnCount_)
    return false;
  for (std::uint32_t position : groupPositions_) {
    const std::size_t children = grid_.row(position).childCount;
    if (children == 0)
      continue;
    const GridValue first = grid_.item(grid_.row(position + 1).record, column);
    for (std::size_t k = 2; k <= children; ++k) {
      if (compare(grid_.item(grid_.row(position + k).record, column), first) != 0)
        return false;
    }
  }
  return true;
}

void FileGridModel::sortFiles(int column, Qt::SortOrder order) {
  sort_.fileColumn = column >= 0 && column < columnCount_ ? column : -1;
  sort_.fileOrder = order;
  if (sort_.fileColumn >= 0 && columnSharedInGroups(column)) {
    sort_.groups = GroupSort::Column;
    sort_.groupColumn = column;
    sort_.groupOrder = order;
  }
  resort();
}

void FileGridModel::sortGroups(GroupSort by, Qt::SortOrder order) {
  sort_.groups = by;
  sort_.groupOrder = order;
  resort();
}

void FileGridModel::sort(int column, Qt::SortOrder order) {
  sortFiles(column, order);
}

void FileGridModel::resort() {
  // A rebuild under way sorts when it ends.
  if (resetting_)
    return;
  emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
  const QModelIndexList from = persistentIndexList();
  std::vector<std::size_t> positions;
  positions.reserve(static_cast<std::size_t>(from.size()));
  for (const QModelIndex& index : from)
    positions.push_back(rowPosition(index));
  applySort();
  QModelIndexList to;
  to.reserve(from.size());
  for (qsizetype k = 0; k < from.size(); ++k) {
    const QModelIndex moved = indexOfRow(positions[static_cast<std::size_t>(k)]);
    to.push_back(moved.isValid() ? createIndex(moved.row(), from[k].column(), moved.internalId())
                                 : QModelIndex());
  }
  changePersistentIndexList(from, to);
  emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

const GroupStats& FileGridModel::groupStats(std::size_t group) const {
  if (!groupStatsKnown_[group]) {
    groupStats_[group] = groupStatsAt(grid_, groupPositions_[group], &hardLink_);
    groupStatsKnown_[group] = true;
  }
  return groupStats_[group];
}

bool FileGridModel::isHardLink(std::size_t position) const {
  if (position >= hardLink_.size() || grid_.row(position).isGroup())
    return false;
  const auto after = std::upper_bound(groupPositions_.begin(), groupPositions_.end(), position);
  groupStats(static_cast<std::size_t>(after - groupPositions_.begin() - 1));
  return hardLink_[position];
}

void FileGridModel::ticksChanged() {
  // One signal, however many groups. One per group made the tree view look each group's files
  // up among its laid-out rows, a linear search that finds nothing for a closed group: 6 s for
  // 100,000 files, many minutes for a million. A tree view repaints the rows from the first
  // top-level row to the last, the files of the open groups among them, and reads their tick
  // boxes afresh; files shown below the last group row are the view owner's to repaint.
  if (topLevelCount_ > 0)
    emit dataChanged(index(0, 0), index(topLevelCount_ - 1, 0),
                     {Qt::CheckStateRole, Qt::DisplayRole, Qt::ForegroundRole});
  emit tallyChanged();
}

void FileGridModel::ticksChangedInGroup(std::size_t position) {
  const QModelIndex group = indexOfRow(position);
  const int files = rowCount(group);
  if (group.isValid() && files > 0)
    emit dataChanged(index(0, 0, group), index(files - 1, 0, group), {Qt::CheckStateRole});
  emit tallyChanged();
}

std::size_t FileGridModel::groupOrdinal(const QModelIndex& index) const {
  if (!grouped_ || !index.isValid())
    return SIZE_MAX;
  const QModelIndex top = index.internalId() == kTopLevelId ? index : parent(index);
  return groupByViewRow_[static_cast<std::size_t>(top.row())];
}

std::size_t FileGridModel::topLevelPosition(int row) const {
  return grouped_ ? groupPositions_[groupByViewRow_[row]] : viewFiles_[row];
}

std::size_t FileGridModel::childPosition(std::size_t parentPosition, int child) const {
  return viewFiles_[parentPosition + 1 + static_cast<std::size_t>(child)];
}

std::size_t FileGridModel::rowPosition(const QModelIndex& index) const {
  if (!index.isValid() || index.model() != this)
    return SIZE_MAX;
  if (index.internalId() == kTopLevelId)
    return topLevelPosition(index.row());
  return childPosition(groupOfChildId(index.internalId()), index.row());
}

std::size_t FileGridModel::groupPosition(const QModelIndex& index) const {
  if (!grouped_ || !index.isValid() || index.model() != this)
    return SIZE_MAX;
  if (index.internalId() == kTopLevelId)
    return topLevelPosition(index.row());
  return groupOfChildId(index.internalId());
}

QModelIndex FileGridModel::indexOfRow(std::size_t position) const {
  if (position >= grid_.rowCount())
    return {};
  const int row = static_cast<int>(viewRow_[position]);
  if (!grouped_)
    return createIndex(row, 0, kTopLevelId);
  auto after = std::upper_bound(groupPositions_.begin(), groupPositions_.end(), position);
  const std::size_t group = *(after - 1);
  return createIndex(row, 0, group == position ? kTopLevelId : childId(group));
}

QModelIndex FileGridModel::index(int row, int column, const QModelIndex& parent) const {
  if (!hasIndex(row, column, parent))
    return {};
  if (!parent.isValid())
    return createIndex(row, column, kTopLevelId);
  return createIndex(row, column, childId(topLevelPosition(parent.row())));
}

QModelIndex FileGridModel::parent(const QModelIndex& child) const {
  if (!child.isValid() || child.internalId() == kTopLevelId)
    return {};
  return createIndex(static_cast<int>(viewRow_[groupOfChildId(child.internalId())]), 0,
                     kTopLevelId);
}

int FileGridModel::rowCount(const QModelIndex& parent) const {
  if (!parent.isValid())
    return topLevelCount_;
  if (parent.column() != 0 || parent.internalId() != kTopLevelId || !grouped_)
    return 0;
  return static_cast<int>(grid_.row(topLevelPosition(parent.row())).childCount);
}

int FileGridModel::columnCount(const QModelIndex&) const {
  return columnCount_;
}

bool FileGridModel::hasChildren(const QModelIndex& parent) const {
  return rowCount(parent) > 0;
}

QVariant FileGridModel::data(const QModelIndex& index, int role) const {
  const std::size_t position = rowPosition(index);
  if (position >= grid_.rowCount())
    return {};
  const GridRow& row = grid_.row(position);
  const int column = index.column();
  if (row.isGroup()) {
    const bool allTicked = tally_.allTicked(groupByViewRow_[static_cast<std::size_t>(index.row())]);
    if (role == Qt::FontRole)
      return groupFont_;
    if (role == Qt::ForegroundRole)
      return allTicked ? QVariant(QColor(kAllCopiesTickedColor)) : QVariant();
    if (role != Qt::DisplayRole || column != 0)
      return {};
    const std::string heading = groupHeading_(grid_, position);
    return QString::fromStdString(allTicked ? heading + kAllCopiesTickedMark : heading);
  }
  const bool markedName = column == nameColumn_ && isHardLink(position);
  const bool isProtected = protectedTest_ && protectedTest_(row.record);
  switch (role) {
  case Qt::DisplayRole: {
    // The name column shows the name as found on disk (a.txt and A.TXT told apart); its item,
    // the grouping and sorting key, stays lower case.
    const std::string_view disk =
        column == nameColumn_ ? grid_.diskName(row.record) : std::string_view{};
    const GridValue value = disk.empty() ? grid_.item(row.record, column) : GridValue::text(disk);
    QString text = value.isText() ? QString::fromUtf8(value.asText().data(),
                                                      static_cast<qsizetype>(value.asText().size()))
                                  : QString::fromStdString(value.displayText());
    if (markedName)
      text += QLatin1String(kHardLinkMark);
    if (isProtected && column == nameColumn_)
      text += QLatin1String(kProtectedMark);
    return text;
  }
  case Qt::CheckStateRole:
    if (column != 0 || !grid_.hasCheckbox(row.record))
      return {};
    return grid_.ticked(row.record) ? Qt::Checked : Qt::Unchecked;
  case Qt::TextAlignmentRole:
    if (!grid_.item(row.record, column).isNumber())
      return {};
    return QVariant::fromValue(Qt::Alignment(Qt::AlignRight | Qt::AlignVCenter));
  case Qt::FontRole:
    return markedName ? QVariant(hardLinkFont_) : QVariant();
  case Qt::ForegroundRole:
    return markedName || isProtected
               ? QVariant(QGuiApplication::palette().color(QPalette::PlaceholderText))
               : QVariant();
  case Qt::ToolTipRole: {
    // The path cell elides in the middle; its tip is the file's whole path.
    QString tip = column == col::kPath ? localPath(fullPathOf(grid_, row.record)) : QString();
    if (isHardLink(position))
      tip += (tip.isEmpty() ? QString() : QStringLiteral("\n")) + QLatin1String(kHardLinkTip);
    if (isProtected)
      tip += (tip.isEmpty() ? QString() : QStringLiteral("\n")) + QLatin1String(kProtectedTip);
    return tip.isEmpty() ? QVariant() : QVariant(tip);
  }
  default:
    return {};
  }
}

bool FileGridModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  const std::size_t position = rowPosition(index);
  if (role != Qt::CheckStateRole || index.column() != 0 || position >= grid_.rowCount())
    return false;
  const GridRow& row = grid_.row(position);
  if (row.isGroup() || !grid_.hasCheckbox(row.record))
    return false;
  const std::size_t group = groupOrdinal(index);
  const bool wasAllTicked = tally_.allTicked(group);
  grid_.setTicked(row.record, value.toInt() == Qt::Checked);
  emit dataChanged(index, index, {Qt::CheckStateRole});
  if (tally_.allTicked(group) != wasAllTicked) {
    const QModelIndex heading = index.parent();
    emit dataChanged(heading, heading, {Qt::DisplayRole, Qt::ForegroundRole});
  }
  emit tallyChanged();
  return true;
}

Qt::ItemFlags FileGridModel::flags(const QModelIndex& index) const {
  const std::size_t position = rowPosition(index);
  if (position >= grid_.rowCount())
    return Qt::NoItemFlags;
  Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
  const GridRow& row = grid_.row(position);
  if (index.column() == 0 && !row.isGroup() && grid_.hasCheckbox(row.record))
    flags |= Qt::ItemIsUserCheckable;
  if (!hasChildren(index))
    flags |= Qt::ItemNeverHasChildren;
  return flags;
}

QVariant FileGridModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || section < 0 || section >= columnCount_)
    return {};
  switch (role) {
  case Qt::DisplayRole:
    return QString::fromStdString(grid_.column(section).caption);
  case Qt::ToolTipRole:
    return QString::fromLatin1(kHeaderTip);
  case Qt::InitialSortOrderRole:
    // A newly clicked column starts ascending, whatever the last one showed.
    return static_cast<int>(Qt::AscendingOrder);
  default:
    return {};
  }
}

} // namespace zandrex::desktop
