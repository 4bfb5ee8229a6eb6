#include "prune/prune_singles.h"

#include "errors/err_trap.h"

namespace zandrex {

namespace {
// Pending events run once every this many rows.
constexpr int kRowsPerEventPass = 10;
} // namespace

std::optional<std::int32_t> pruneSingles(ReportGrid& grid, const PassHooks& hooks) {
  return trapInner("Form1.SetPreview", [&]() -> std::optional<std::int32_t> {
    const std::size_t rows = grid.rowCount();
    std::int32_t left = 0;
    int yieldCounter = 0;
    for (std::size_t i = 0; i < rows; ++i) {
      if (++yieldCounter == kRowsPerEventPass) {
        hooks.letEventsRun();
        yieldCounter = 0;
      }
      if (hooks.cancelled())
        return std::nullopt;
      hooks.step();
      // The lone file of a group ahead is fetched meanwhile: records lie in the grid in the
      // walk's order, not the rows'.
      if (i + kPrefetchRows + 1 < rows && grid.row(i + kPrefetchRows).childCount == 1)
        grid.prefetch(grid.row(i + kPrefetchRows + 1).record);
      const GridRow& row = grid.row(i);
      if (!row.isGroup()) {
        ++left;
        continue;
      }
      if (row.childCount == 1) {
        grid.removeRecord(grid.row(i + 1).record);
        --left;
      }
    }
    return left;
  });
}

} // namespace zandrex
