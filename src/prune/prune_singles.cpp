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
