#include "file_grid_model.h"

#include "grid/file_record.h"
#include "local_path.h"

#include <QGuiApplication>
#include <QPalette>
#include <algorithm>
#include <climits>
#include <numeric>

namespace zandrex::desktop {

namespace {

// internalId of a top-level index; a file row under a group carries its group's top-level row + 1.
constexpr quintptr kTopLevelId = 0;

constexpr const char* kHardLinkMark = " (hard link)";
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

// Orders by measure, largest first when descending; equal measures keep their order.
template <typename Measure>
void stableOrder(std::vector<std::uint32_t>& items, Qt::SortOrder order, Measure measure) {
  if (order == Qt::AscendingOrder) {
    std::stable_sort(items.begin(), items.end(),
                     [&](std::uint32_t a, std::uint32_t b) { return measure(a) < measure(b); });
    return;
  }
  std::stable_sort(items.begin(), items.end(),
                   [&](std::uint32_t a, std::uint32_t b) { return measure(b) < measure(a); });
}

// Grid values as a sort key: compare() gives their grouping order.
struct ValueKey {
  GridValue value;
  bool operator<(const ValueKey& other) const { return compare(value, other.value) < 0; }
};

} // namespace

FileGridModel::FileGridModel(ReportGrid& grid, QObject* parent)
    : QAbstractItemModel(parent), grid_(grid), groupHeading_(defaultGroupHeading) {
  groupFont_.setBold(true);
  hardLinkFont_.setItalic(true);
  grid_.onBeforeRowsChange = [this] { beginRowsChange(); };
  grid_.onAfterRowsChange = [this] { endRowsChange(); };
  indexTopLevel();
}

FileGridModel::~FileGridModel() {
  grid_.onBeforeRowsChange = nullptr;
  grid_.onAfterRowsChange = nullptr;
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
  applySort();
}

void FileGridModel::applySort() {
  const std::size_t rows = grid_.rowCount();
  viewFiles_.resize(rows);
  std::iota(viewFiles_.begin(), viewFiles_.end(), 0u);
  viewRowOfFile_.assign(rows, 0);
  if (!grouped_) {
    orderFiles(0, rows);
    return;
  }
  orderGroups();
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
  viewRowOfGroup_.resize(groups);
  for (std::size_t row = 0; row < groups; ++row)
    viewRowOfGroup_[groupByViewRow_[row]] = static_cast<std::uint32_t>(row);
}

void FileGridModel::orderFiles(std::size_t first, std::size_t count) {
  const auto begin = viewFiles_.begin() + static_cast<std::ptrdiff_t>(first);
  const auto end = begin + static_cast<std::ptrdiff_t>(count);
  if (sort_.fileColumn >= 0 && sort_.fileColumn < columnCount_ && count > 1) {
    const int column = sort_.fileColumn;
    std::vector<std::uint32_t> range(begin, end);
    stableOrder(range, sort_.fileOrder, [&](std::uint32_t position) {
      return ValueKey{grid_.item(grid_.row(position).record, column)};
    });
    std::copy(range.begin(), range.end(), begin);
  }
  for (std::size_t k = 0; k < count; ++k)
    viewRowOfFile_[viewFiles_[first + k]] = static_cast<std::uint32_t>(k);
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
  const QList<int> roles{Qt::CheckStateRole};
  if (!grouped_) {
    if (topLevelCount_ > 0)
      emit dataChanged(index(0, 0), index(topLevelCount_ - 1, 0), roles);
    return;
  }
  for (int row = 0; row < topLevelCount_; ++row) {
    const QModelIndex group = index(row, 0);
    const int files = rowCount(group);
    if (files > 0)
      emit dataChanged(index(0, 0, group), index(files - 1, 0, group), roles);
  }
}

void FileGridModel::ticksChangedInGroup(std::size_t position) {
  const QModelIndex group = indexOfRow(position);
  const int files = rowCount(group);
  if (group.isValid() && files > 0)
    emit dataChanged(index(0, 0, group), index(files - 1, 0, group), {Qt::CheckStateRole});
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
  return childPosition(topLevelPosition(static_cast<int>(index.internalId() - 1)), index.row());
}

std::size_t FileGridModel::groupPosition(const QModelIndex& index) const {
  if (!grouped_ || !index.isValid() || index.model() != this)
    return SIZE_MAX;
  if (index.internalId() == kTopLevelId)
    return topLevelPosition(index.row());
  return topLevelPosition(static_cast<int>(index.internalId() - 1));
}

QModelIndex FileGridModel::indexOfRow(std::size_t position) const {
  if (position >= grid_.rowCount())
    return {};
  if (!grouped_)
    return createIndex(static_cast<int>(viewRowOfFile_[position]), 0, kTopLevelId);
  auto after = std::upper_bound(groupPositions_.begin(), groupPositions_.end(), position);
  const auto group = static_cast<std::size_t>(after - groupPositions_.begin() - 1);
  const auto groupRow = static_cast<int>(viewRowOfGroup_[group]);
  if (groupPositions_[group] == position)
    return createIndex(groupRow, 0, kTopLevelId);
  return createIndex(static_cast<int>(viewRowOfFile_[position]), 0,
                     static_cast<quintptr>(groupRow) + 1);
}

QModelIndex FileGridModel::index(int row, int column, const QModelIndex& parent) const {
  if (!hasIndex(row, column, parent))
    return {};
  if (!parent.isValid())
    return createIndex(row, column, kTopLevelId);
  return createIndex(row, column, static_cast<quintptr>(parent.row()) + 1);
}

QModelIndex FileGridModel::parent(const QModelIndex& child) const {
  if (!child.isValid() || child.internalId() == kTopLevelId)
    return {};
  return createIndex(static_cast<int>(child.internalId() - 1), 0, kTopLevelId);
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
    if (role == Qt::FontRole)
      return groupFont_;
    if (role != Qt::DisplayRole || column != 0)
      return {};
    return QString::fromStdString(groupHeading_(grid_, position));
  }
  const bool markedName = column == nameColumn_ && isHardLink(position);
  switch (role) {
  case Qt::DisplayRole: {
    const GridValue value = grid_.item(row.record, column);
    QString text = value.isText() ? QString::fromUtf8(value.asText().data(),
                                                      static_cast<qsizetype>(value.asText().size()))
                                  : QString::fromStdString(value.displayText());
    if (markedName)
      text += QLatin1String(kHardLinkMark);
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
    return markedName ? QVariant(QGuiApplication::palette().color(QPalette::PlaceholderText))
                      : QVariant();
  case Qt::ToolTipRole: {
    // The path cell elides in the middle; its tip is the file's whole path.
    QString tip = column == col::kPath ? localPath(fullPathOf(grid_, row.record)) : QString();
    if (isHardLink(position))
      tip += (tip.isEmpty() ? QString() : QStringLiteral("\n")) + QLatin1String(kHardLinkTip);
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
  grid_.setTicked(row.record, value.toInt() == Qt::Checked);
  emit dataChanged(index, index, {Qt::CheckStateRole});
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
