// The tick tally at a million rows, with and without it following the grid: what the first
// tick after a rebuild costs (the identities sorted out), what each later helper pays for the
// per-tick count, and a recount that finds ticks (after a deletion). Plain main, run by hand:
//   build-release/bench/zandrex_bench_tally
#include "grid/file_record.h"
#include "select/selection_helpers.h"
#include "select/tick_tally.h"

#include <chrono>
#include <cstdio>

using namespace zandrex;

namespace {

constexpr int kFiles = 1'000'000;
// Three files per size: a third of them kept, two thirds ticked.
constexpr int kFilesPerGroup = 3;
constexpr std::uint64_t kFirstInode = 1000;

double ms(auto a, auto b) {
  return std::chrono::duration<double, std::milli>(b - a).count();
}

} // namespace

int main() {
  for (int follow = 0; follow < 2; ++follow) {
    ReportGrid grid;
    for (int c = 0; c < col::kCount; ++c)
      grid.addColumn(c, "c", 10, true);
    for (int k = 0; k < kFiles; ++k) {
      RecordId r = grid.addRecord();
      grid.setItem(r, col::kPath, GridValue::text("/d" + std::to_string(k % 97) + "/"));
      grid.setItem(r, col::kFile, GridValue::text("f" + std::to_string(k)));
      grid.setItem(r, col::kSize, GridValue::number(k / kFilesPerGroup));
      grid.setCheckbox(r, true);
      FileFacts f;
      f.device = 1;
      f.inode = kFirstInode + k;
      f.size = k / kFilesPerGroup;
      grid.setFacts(r, f, {});
    }
    grid.groupOrderAdd(col::kSize);
    TickTally tally;
    auto t0 = std::chrono::steady_clock::now();
    grid.rebuildRows();
    if (follow)
      tally.follow(grid);
    auto t1 = std::chrono::steady_clock::now();
    PathOf pathOf = [&](RecordId r) { return fullPathOf(grid, r); };
    tickAllButOne(grid, KeepRule::Newest, pathOf);
    auto t2 = std::chrono::steady_clock::now();
    untickAll(grid);
    auto t3 = std::chrono::steady_clock::now();
    tickAllButOne(grid, KeepRule::Newest, pathOf);
    auto t4 = std::chrono::steady_clock::now();
    if (follow)
      tally.recount(grid);
    auto t5 = std::chrono::steady_clock::now();
    std::printf("%s: rebuild+count %.0f ms, newest(first) %.0f ms, untick %.0f ms, newest(again) "
                "%.0f ms, recount with ticks %.0f ms; ticked %llu freed %llu\n",
                follow ? "tally" : "none ", ms(t0, t1), ms(t1, t2), ms(t2, t3), ms(t3, t4),
                ms(t4, t5), (unsigned long long)tally.ticked(),
                (unsigned long long)tally.bytesToFree());
  }
}
