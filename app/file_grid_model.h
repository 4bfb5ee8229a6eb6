// The item model of a report grid: group rows at the top level with their file rows as
// children, or, without a group order, every file row at the top level. Cells are formatted from
// the grid when asked, so the model holds no per-row data beyond one index of top-level rows.
#pragma once

#include "grid/report_grid.h"

#include <QAbstractItemModel>
#include <QFont>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace zandrex::desktop {

class FileGridModel : public QAbstractItemModel {
  Q_OBJECT
public:
  // The text of a group row's first column; the default shows the group key and the file count.
  using GroupHeading = std::function<std::string(const ReportGrid&, std::size_t position)>;

  // Observes grid (not owned; it must outlive the model) through its row-change callbacks,
  // which this model takes over: it resets whenever the grid's rows are rebuilt or cleared.
  explicit FileGridModel(ReportGrid& grid, QObject* parent = nullptr);
  ~FileGridModel() override;

  void setGroupHeading(GroupHeading heading) { groupHeading_ = std::move(heading); }
  // Resets after changes the grid does not announce (columns added, group heading changed).
  void refresh();

  // True when the top-level rows are group rows.
  bool grouped() const { return grouped_; }
  // The grid row an index stands for; SIZE_MAX for an invalid index.
  std::size_t rowPosition(const QModelIndex& index) const;
  // The index of a grid row (column 0); invalid when out of range.
  QModelIndex indexOfRow(std::size_t position) const;

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

private:
  void beginRowsChange();
  void endRowsChange();
  void indexTopLevel();
  // A file row's index into the top level when ungrouped; a group row's otherwise.
  std::size_t topLevelPosition(int row) const;

  ReportGrid& grid_;
  GroupHeading groupHeading_;
  // Grid positions of the group rows; empty when the rows are not grouped.
  std::vector<std::uint32_t> groupPositions_;
  bool grouped_ = false;
  int topLevelCount_ = 0;
  int columnCount_ = 0;
  bool resetting_ = false;
  QFont groupFont_;
};

} // namespace zandrex::desktop
