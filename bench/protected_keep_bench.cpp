// The keep helper over a big result with protected folders, without a disk: FILES records in
// groups of 2 to 5 copies spread over 4,096 folders, kept by the newest in each group (trusting
// the grouping, as by content), run three ways in the same process: with no protected folders
// given (the baseline), with a list that marks none of the find's folders, and with a quarter of
// the folders protected. Prints each run's best of ROUNDS in milliseconds and its ratio to the
// baseline; also the time to mark the folders.
//
//   zandrex_bench_protected FILES [ROUNDS]
#include "grid/file_record.h"
#include "source/protected_folders.h"
#include "select/selection_helpers.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

using namespace zandrex;

namespace {

constexpr FolderId kFolders = 4096;
constexpr FolderId kProtectedEvery = 4; // one folder in four lies under the protected one
constexpr int kDefaultRounds = 5;

double millisecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
      .count();
}

// The source, a protected folder below it and kFolders folders below the source; every
// kProtectedEvery-th of them is a child of the protected one. Identities are made up but for
// the protected folder's, which is a real folder's so that the list resolves to it.
FolderTable makeFolders(FileIdentity protectedIdentity) {
  FolderTable folders;
  folders.add(kNoFolder, "", {1, 1});
  const FolderId protectedFolder = folders.add(kSourceFolder, "keep", protectedIdentity);
  for (FolderId k = 0; k < kFolders; ++k)
    folders.add(k % kProtectedEvery == 0 ? protectedFolder : kSourceFolder, "d" + std::to_string(k),
                {1, 100 + k});
  return folders;
}

void fillGrid(ReportGrid& grid, std::size_t files, std::size_t folderCount) {
  for (int k = 0; k < col::kCount; ++k)
    grid.addColumn(k, "", 0, true);
  grid.groupOrderClear();
  grid.groupOrderAdd(col::kFile);
  std::uint64_t seed = 1;
  const auto next = [&seed] {
    return seed = seed * 6364136223846793005ull + 1442695040888963407ull;
  };
  for (std::size_t made = 0, group = 0; made < files; ++group) {
    const std::size_t size = 2 + (next() >> 33) % 4;
    for (std::size_t k = 0; k < size && made < files; ++k, ++made) {
      const RecordId record = grid.addRecord();
      grid.setItem(record, col::kPath, GridValue::text("/bench/"));
      grid.setItem(record, col::kFile, GridValue::text("g" + std::to_string(group)));
      FileFacts facts;
      facts.mtimeSec = static_cast<std::int64_t>((next() >> 33) % 1'000'000);
      facts.inode = made + 1;
      facts.folder = static_cast<std::uint32_t>(2 + (next() >> 33) % (folderCount - 2));
      grid.setFacts(record, facts, {});
    }
  }
  grid.rebuildRows();
}

} // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s FILES [ROUNDS]\n", argv[0]);
    return 2;
  }
  const std::size_t files = std::strtoull(argv[1], nullptr, 10);
  const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : kDefaultRounds;
  const std::string real = std::filesystem::temp_directory_path().string();

  ProtectedFolders none;
  ProtectedFolders protectedList;
  protectedList.set({real});
  // A list that resolves, but to no folder of the find.
  none.set({"/"});
  const FolderTable folders = makeFolders(protectedList.identities().front());
  ReportGrid grid;
  fillGrid(grid, files, folders.size());
  const PathOf pathOf = [](RecordId) { return std::string("/bench/x"); };

  auto start = std::chrono::steady_clock::now();
  ProtectedMarks quarter;
  quarter.mark(folders, protectedList, false);
  const double markMs = millisecondsSince(start);
  ProtectedMarks unmarked;
  unmarked.mark(folders, none, false);

  struct Run {
    const char* name;
    const ProtectedMarks* marks;
    double bestMs = 1e300;
    std::uint64_t ticked = 0;
  };
  Run runs[] = {{"baseline", nullptr}, {"none-protected", &unmarked}, {"quarter", &quarter}};
  for (int round = 0; round < rounds; ++round) {
    for (Run& run : runs) {
      start = std::chrono::steady_clock::now();
      run.ticked =
          tickAllButOne(grid, KeepRule::Newest, pathOf, nullptr, PassHooks{}, run.marks).ticked;
      run.bestMs = std::min(run.bestMs, millisecondsSince(start));
    }
  }
  std::printf("files %zu folders %zu mark_ms %.3f\n", files, folders.size(), markMs);
  for (const Run& run : runs)
    std::printf("%-15s %9.1f ms  x%.2f  ticked %llu\n", run.name, run.bestMs,
                run.bestMs / runs[0].bestMs, static_cast<unsigned long long>(run.ticked));
  return 0;
}
