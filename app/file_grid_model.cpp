#include "file_grid_model.h"

#include <algorithm>
#include <climits>

namespace zandrex::desktop {

namespace {

// internalId of a top-level index; a file row under a group carries its group's top-level row + 1.
constexpr quintptr kTopLevelId = 0;

int clampToInt(std::size_t count) {
  return static_cast<int>(std::min<std::size_t>(count, INT_MAX));
}

std::string defaultGroupHeading(const ReportGrid& grid, std::size_t position) {
  return grid.groupKey(position).displayText() + " (" +
         std::to_string(grid.row(position).childCount) + " files)";
}

} // namespace

FileGridModel::FileGridModel(ReportGrid& grid, QObject* parent)
    : QAbstractItemModel(parent), grid_(grid), groupHeading_(defaultGroupHeading) {
  groupFont_.setBold(true);
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
  if (!grouped_) {
    topLevelCount_ = clampToInt(rows);
    return;
  }
  for (std::size_t position = 0; position < rows; position += 1 + grid_.row(position).childCount)
    groupPositions_.push_back(static_cast<std::uint32_t>(position));
  topLevelCount_ = clampToInt(groupPositions_.size());
}

std::size_t FileGridModel::topLevelPosition(int row) const {
  return grouped_ ? groupPositions_[row] : static_cast<std::size_t>(row);
}

std::size_t FileGridModel::rowPosition(const QModelIndex& index) const {
  if (!index.isValid() || index.model() != this)
    return SIZE_MAX;
  if (index.internalId() == kTopLevelId)
    return topLevelPosition(index.row());
  return topLevelPosition(static_cast<int>(index.internalId() - 1)) + 1 + index.row();
}

QModelIndex FileGridModel::indexOfRow(std::size_t position) const {
  if (position >= grid_.rowCount())
    return {};
  if (!grouped_)
    return createIndex(static_cast<int>(position), 0, kTopLevelId);
  auto after = std::upper_bound(groupPositions_.begin(), groupPositions_.end(), position);
  const auto group = static_cast<int>(after - groupPositions_.begin() - 1);
  if (groupPositions_[group] == position)
    return createIndex(group, 0, kTopLevelId);
  return createIndex(static_cast<int>(position - groupPositions_[group] - 1), 0,
                     static_cast<quintptr>(group) + 1);
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
  return static_cast<int>(grid_.row(groupPositions_[parent.row()]).childCount);
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
  switch (role) {
  case Qt::DisplayRole: {
    const GridValue value = grid_.item(row.record, column);
    if (value.isText())
      return QString::fromUtf8(value.asText().data(),
                               static_cast<qsizetype>(value.asText().size()));
    return QString::fromStdString(value.displayText());
  }
  case Qt::CheckStateRole:
    if (column != 0 || !grid_.hasCheckbox(row.record))
      return {};
    return grid_.ticked(row.record) ? Qt::Checked : Qt::Unchecked;
  case Qt::TextAlignmentRole:
    if (!grid_.item(row.record, column).isNumber())
      return {};
    return QVariant::fromValue(Qt::Alignment(Qt::AlignRight | Qt::AlignVCenter));
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
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
      section >= columnCount_)
    return {};
  return QString::fromStdString(grid_.column(section).caption);
}

} // namespace zandrex::desktop
