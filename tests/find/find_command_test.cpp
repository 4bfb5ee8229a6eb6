#include "digest/edge_sift.h"
#include "flow_fixture.h"
#include "select/group_stats.h"
#include "select/selection_helpers.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace zandrex::test {
namespace {

std::string realPathOf(const std::string& path) {
  std::unique_ptr<char, decltype(&std::free)> real(::realpath(path.c_str(), nullptr), &std::free);
  return real ? std::string(real.get()) + "/" : path;
}

DigestCacheChoice noCache() {
  DigestCacheChoice choice;
  choice.enabled = false;
  return choice;
}

using FindTest = FlowTest;

TEST_F(FindTest, ByNameGroupsNamesThatDifferOnlyInCase) {
  tree.write("a/Photo.JPG", "1");
  tree.write("b/photo.jpg", "22");
  tree.write("b/unique.txt", "x");
  find(ByName);
  EXPECT_EQ(groups(), (Groups{{"a/Photo.JPG", "b/photo.jpg"}}));
  EXPECT_EQ(core.statusText(), "2 files");
  EXPECT_TRUE(view.deleteEnabled);
  EXPECT_TRUE(view.gridVisible);
  EXPECT_FALSE(view.pleaseWaitVisible);
  EXPECT_EQ(view.pointer, MousePointer::Default);
  EXPECT_EQ(core.progressBar(1).value, core.progressBar(1).max);
}

TEST_F(FindTest, BySizeGroupsEmptyFilesAndOrdersGroupsNumerically) {
  tree.writeEach({"e1", "e2"}, "");
  tree.write("ten1", std::string(10, 'a'));
  tree.write("ten2", std::string(10, 'b'));
  tree.write("nine1", std::string(9, 'a'));
  tree.write("nine2", std::string(9, 'c'));
  find(BySize);
  EXPECT_EQ(groups(), (Groups{{"e1", "e2"}, {"nine1", "nine2"}, {"ten1", "ten2"}}));
  EXPECT_EQ(groupHeading(core.grid(), 0), "Size: 0 (2 files, not verified)");
  EXPECT_EQ(core.statusText2(), kSpaceNotVerifiedText);
}

// Only groups found by content are known to hold copies: the other modes claim no space, in
// the headings or in the status bar, but for "0 bytes" when no group is left.
TEST_F(FindTest, TheSpaceIsClaimedOnlyWhenFoundByContent) {
  tree.writeEach({"a/x", "b/x"}, "same");
  tree.write("c/x", "other");
  const struct {
    int mode;
    std::string heading;
    std::string status;
  } cases[] = {
      {ByName, "File: x (3 files, not verified)", kSpaceNotVerifiedText},
      {BySize, "Size: 4 (2 files, not verified)", kSpaceNotVerifiedText},
      {ByNameAndSize, "File: x, Size: 4 (2 files, not verified)", kSpaceNotVerifiedText},
      {ByContent, " (2 files, 4 bytes reclaimable)", "4 bytes reclaimable"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.mode);
    find(c.mode);
    EXPECT_TRUE(groupHeading(core.grid(), 0).ends_with(c.heading)) << groupHeading(core.grid(), 0);
    EXPECT_EQ(core.statusText2(), c.status);
  }
  // Every copy deleted by name: nothing is left whose space is unknown.
  find(ByName);
  tick({"a/x", "b/x", "c/x"});
  core.deleteTicked();
  EXPECT_EQ(core.statusText2(), "0 bytes reclaimable; 1 group lost every copy");
}

TEST_F(FindTest, ByNameAndSizePrunesSameNameOfOtherSize) {
  tree.write("x/a.txt", std::string(10, 'a'));
  tree.write("y/a.txt", std::string(11, 'a'));
  tree.writeEach({"x/b.txt", "y/B.txt"}, "same");
  find(ByNameAndSize);
  EXPECT_EQ(groups(), (Groups{{"x/b.txt", "y/B.txt"}}));
  RecordId first = core.grid().row(1).record;
  EXPECT_EQ(core.grid().item(first, col::kNameSize).asText(), "b.txt, Size: 4");
}

TEST_F(FindTest, ByContentReadsOnlySharedSizesAndSplitsSameSizeDifferentContent) {
  tree.writeEach({"one", "two"}, std::string(100, 'a'));
  tree.write("three", std::string(100, 'b'));
  tree.write("lonely", std::string(7, 'z'));
  tree.writeEach({"e1", "e2"}, "");
  tree.writeEach({"nine1", "nine2"}, std::string(9, 'n'));
  // Big enough for their first blocks to be compared before they are read: the odd one out
  // differs in its first byte and the twins are still read whole.
  const std::string big(3 * kEdgeSiftMinSize, 'q');
  tree.writeEach({"big1", "big2"}, big);
  tree.write("big-odd", "r" + big.substr(1));
  find(ByContent);
  // Groups in size order, as numbers.
  EXPECT_EQ(groups(), (Groups{{"e1", "e2"}, {"nine1", "nine2"}, {"one", "two"}, {"big1", "big2"}}));
  EXPECT_EQ(core.statusText(), "8 files");
  const ReportGrid& grid = core.grid();
  EXPECT_EQ(grid.item(grid.row(1).record, col::kChecksum).asText(), "0"); // empty files
  EXPECT_FALSE(grid.item(grid.row(7).record, col::kChecksum).asText().empty());
  // The size-unique file is never read.
  EXPECT_EQ(CurrentReadFile().find("lonely"), std::string::npos);
}

TEST_F(FindTest, EmptySourceUniqueFilesAndNoComparison) {
  // An empty folder leaves the status text as it was.
  core.setStatusText("7 files");
  find(ByName);
  EXPECT_EQ(core.statusText(), "7 files");
  EXPECT_EQ(core.grid().rowCount(), 0u);
  EXPECT_EQ(core.progressBar(1).value, 0);

  tree.write("a", "1");
  tree.write("b", "22");
  for (int mode : {ByName, ByContent}) {
    find(mode);
    EXPECT_EQ(core.grid().rowCount(), 0u);
    EXPECT_EQ(core.grid().recordCount(), 0u);
    EXPECT_EQ(core.statusText(), "0 files");
    EXPECT_FALSE(view.deleteEnabled);
    EXPECT_TRUE(view.gridVisible);
  }
  // Without a comparison every file is listed, ungrouped.
  find(-1);
  EXPECT_EQ(groups(), (Groups{{"a", "b"}}));
  EXPECT_EQ(core.statusText(), "2 files");
}

TEST_F(FindTest, CancelInTheWalkOrTheChecksumPassEndsEmpty) {
  for (int i = 0; i < 30; ++i)
    tree.write("f" + std::to_string(i), "content" + std::to_string(i % 2));
  view.onEvents = [&] {
    if (core.scannedFileCount() == 5)
      core.cancel();
  };
  find(ByName);
  EXPECT_EQ(core.statusText(), "0 files");
  EXPECT_EQ(core.grid().rowCount(), 0u);
  EXPECT_FALSE(core.cancelRequested());
  EXPECT_FALSE(view.deleteEnabled);
  EXPECT_EQ(core.findNote(), "Cancelled");

  bool inChecksums = false;
  view.onEvents = [&] {
    if (core.progress().phase == FindProgress::Phase::Reading && !inChecksums) {
      inChecksums = true;
      core.cancel();
    }
  };
  find(ByContent);
  EXPECT_TRUE(inChecksums);
  EXPECT_EQ(core.statusText(), "30 files"); // written by the size pruning, before the cancel
  EXPECT_EQ(core.grid().recordCount(), 0u);
  EXPECT_FALSE(core.cancelRequested());
  EXPECT_EQ(core.progressBar(1).value, 0);
  EXPECT_EQ(core.findNote(), "Cancelled");
  EXPECT_EQ(core.progressText(), "");

  view.onEvents = {};
  find(ByContent);
  EXPECT_EQ(core.findNote(), "");
}

// What the find is doing, as the window shows it when its events run: the phases in order with
// their counts, the file being read, and the bytes of the files read whole reaching their total.
TEST_F(FindTest, ProgressSaysWhatTheFindIsDoing) {
  // Every file read, none recalled from an earlier run's cache.
  core.setDigestCache(noCache());
  // More than ten rows, so that the size pruning lets events run; the twins are read whole, the
  // big odd one is cleared by its first block.
  for (int i = 0; i < 6; ++i)
    tree.writeEach({"s/a" + std::to_string(i), "s/b" + std::to_string(i)},
                   std::string(10 + i, 'x'));
  const std::string big(2 * kEdgeSiftMinSize, 'q');
  tree.writeEach({"big1", "big2"}, big);
  tree.write("big-odd", "r" + big.substr(1));
  std::vector<std::string> texts;
  std::vector<std::string> phases;
  view.onEvents = [&] {
    texts.push_back(core.progressText());
    const std::string phase = texts.back().substr(0, texts.back().find(':'));
    if (phases.empty() || phases.back() != phase)
      phases.push_back(phase);
  };
  find(ByContent);
  ASSERT_EQ(groups().size(), 7u);

  // Listing, Grouping, Reading and Grouping again by content, in this order; the cache's look-up
  // and the sift may be too quick to be seen.
  const std::vector<std::string> order = {
      "Listing", "Grouping", "Looking up remembered checksums", "Comparing first blocks",
      "Reading", "Grouping"};
  std::size_t at = 0;
  for (const std::string& phase : phases) {
    while (at < order.size() && order[at] != phase)
      ++at;
    ASSERT_LT(at, order.size()) << "out of order: " << phase;
  }
  const auto seen = [](const std::vector<std::string>& list, const std::string& text) {
    return std::ranges::find(list, text) != list.end();
  };
  for (const char* phase : {"Listing", "Grouping", "Reading"})
    EXPECT_TRUE(seen(phases, phase)) << phase;
  EXPECT_TRUE(seen(texts, "Listing: 1 file"));
  EXPECT_TRUE(seen(texts, "Grouping: 15 files"));
  // Files named as a worker begins to read them; never the odd one, which the sift cleared.
  EXPECT_TRUE(std::ranges::any_of(texts, [&](const std::string& text) {
    return text.starts_with("Reading: ") && text.find(" of 15 files; ") != std::string::npos &&
           text.find("; " + tree.path()) != std::string::npos;
  }));
  EXPECT_TRUE(std::ranges::none_of(
      texts, [](const std::string& text) { return text.ends_with("big-odd"); }));

  // Every file done, and the bytes of the files read whole (the odd one only sifted) read.
  const ReadProgress& read = core.progress().read;
  EXPECT_EQ(read.filesDone, 15u);
  EXPECT_EQ(read.filesTotal, 15u);
  EXPECT_EQ(read.bytesTotal, 2 * big.size() + 2 * (10 + 11 + 12 + 13 + 14 + 15));
  EXPECT_EQ(read.bytesDone, read.bytesTotal);
  EXPECT_EQ(core.progressText(), "");
  EXPECT_EQ(core.findNote(), "");
}

// The bar of the content pass moves by the bytes read, also inside a file being read.
TEST_F(FindTest, TheContentBarMovesInsideABigFile) {
  core.setDigestCache(noCache());
  // Sparse: nothing is written to the disk, and a whole read takes a while.
  constexpr off_t kBig = off_t{4} << 30;
  for (const char* name : {"big1", "big2"})
    ASSERT_EQ(::truncate(tree.write(name, "").c_str(), kBig), 0);
  float barInside = 0;
  std::string textInside;
  constexpr int kMostWaits = 500;
  int waits = 0;
  view.onEvents = [&] {
    const ReadProgress& read = core.progress().read;
    if (core.progress().phase != FindProgress::Phase::Reading ||
        read.stage != ReadProgress::Stage::Reading)
      return;
    if ((read.bytesDone > 0 && read.filesDone == 0) || ++waits == kMostWaits) {
      barInside = core.progressBar(1).value;
      textInside = core.progressText();
      core.cancel();
    }
  };
  find(ByContent);
  EXPECT_LT(waits, kMostWaits);
  EXPECT_GT(barInside, 0);
  EXPECT_LT(barInside, core.progressBar(1).max);
  EXPECT_TRUE(textInside.starts_with("Reading: 0 of 2 files; ")) << textInside;
  EXPECT_NE(textInside.find(" of 8.6 GB; " + tree.path() + "big"), std::string::npos) << textInside;
  EXPECT_EQ(core.findNote(), "Cancelled");
  EXPECT_EQ(core.progressBar(1).value, 0);
}

TEST_F(FindTest, FileVanishingBeforeItsChecksumEndsTheFindWithAReport) {
  for (int i = 10; i < 22; ++i)
    tree.write("f" + std::to_string(i), "same");
  bool removed = false;
  // The first event pass with rows built comes from the size pruning, before any file is read.
  view.onEvents = [&] {
    if (!removed && core.grid().rowCount() > 0) {
      removed = true;
      ::unlink((tree.path() + "f15").c_str());
    }
  };
  find(ByContent);
  EXPECT_EQ(presenter.shown, 1);
  std::string report = readFile(reports.path() + "Zandrex/ErrorReport.txt");
  EXPECT_NE(report.find("  Call Stack: Form1.CheckCRC() "), std::string::npos);
  EXPECT_NE(report.find("  Call Stack: Form1.Command3_Click() "), std::string::npos);
  EXPECT_NE(report.find("Error read file: " + tree.path() + "f15"), std::string::npos);
  // The find is abandoned where it stood: nothing restored.
  EXPECT_TRUE(view.pleaseWaitVisible);
  EXPECT_FALSE(view.deleteEnabled);
  EXPECT_FALSE(core.busy());
}

TEST_F(FindTest, FilesThatChangeDuringTheFindAreLeftOutAndCounted) {
  for (int i = 10; i < 22; ++i)
    tree.write("f" + std::to_string(i), "same");
  bool swapped = false;
  // Between the walk and the reads: FIFOs take four files' places, a fifth one grows.
  view.onEvents = [&] {
    if (swapped || core.grid().rowCount() == 0)
      return;
    swapped = true;
    for (const char* name : {"f12", "f13", "f14", "f15"}) {
      ::unlink((tree.path() + name).c_str());
      ::mkfifo((tree.path() + name).c_str(), 0600);
    }
    tree.write("f16", "same, and more");
  };
  find(ByContent);
  EXPECT_EQ(presenter.shown, 0);
  EXPECT_EQ(groups(), (Groups{{"f10", "f11", "f17", "f18", "f19", "f20", "f21"}}));
  EXPECT_EQ(core.findNote(), "5 files changed during the find and were left out");
  find(ByContent);
  EXPECT_EQ(core.findNote(), "");
}

// Files are named only when a report asks: by a handler failing while the pass reads, and by an
// error leaving the pass that is not a read's own.
TEST_F(FindTest, AReportDuringOrAfterTheChecksumPassNamesAFileItRead) {
  for (int i = 10; i < 22; ++i)
    tree.write("f" + std::to_string(i), "same");
  int readingEvents = 0;
  view.onEvents = [&] {
    if (core.progress().phase != FindProgress::Phase::Reading ||
        core.progress().read.stage != ReadProgress::Stage::Reading)
      return;
    // Past the group's row and its first file's: that file has been taken.
    if (++readingEvents == 3)
      trapEvent("Form1.Timer1_Timer", [] { throw AppError(5, "Zandrex", "Bad call"); });
    if (readingEvents == 5)
      throw AppError(7, "Zandrex", "Out of memory");
  };
  CurrentReadFile().clear();
  find(ByContent);
  EXPECT_EQ(presenter.shown, 2);
  const std::string report = readFile(reports.path() + "Zandrex/ErrorReport.txt");
  const std::string named = "Error read file: " + tree.path() + "f";
  const std::size_t during = report.find(named);
  ASSERT_NE(during, std::string::npos) << report;
  EXPECT_NE(report.find(named, during + named.size()), std::string::npos) << report;
  EXPECT_TRUE(CurrentReadFile().starts_with(tree.path() + "f")) << CurrentReadFile();
}

TEST_F(FindTest, CancelInsideBigFilesIsAnsweredAtOnce) {
  // Sparse: reading them to their ends would take many seconds; nothing is written to the disk.
  constexpr off_t kBig = off_t{64} << 30;
  for (const char* name : {"big1", "big2"})
    ASSERT_EQ(::truncate(tree.write(name, "").c_str(), kBig), 0);
  int waits = 0;
  std::chrono::steady_clock::time_point cancelledAt;
  // Some passes into the wait for the first file: both workers are deep inside the files.
  view.onEvents = [&] {
    if (core.progress().phase == FindProgress::Phase::Reading &&
        core.progress().read.stage == ReadProgress::Stage::Reading && ++waits == 5) {
      cancelledAt = std::chrono::steady_clock::now();
      core.cancel();
    }
  };
  find(ByContent);
  const auto answered = std::chrono::steady_clock::now() - cancelledAt;
  ASSERT_EQ(waits, 5);
  EXPECT_EQ(core.grid().rowCount(), 0u);
  // A whole read takes seconds; the bound is generous for a loaded machine.
  EXPECT_LT(answered, std::chrono::milliseconds(500));
}

TEST_F(FindTest, ReentryWhileBusyIsIgnored) {
  tree.writeEach({"a/x", "b/x"}, "1");
  int nested = 0;
  view.onEvents = [&] {
    if (nested++ == 0)
      core.find(); // a second press of "Find" from a pumped event
  };
  find(ByName);
  EXPECT_EQ(groups(), (Groups{{"a/x", "b/x"}}));
}

// A find that does not walk (the warning declined, no source) regroups the last find's records
// by the key now chosen: each key filled, the single-file groups of the new key pruned.
TEST_F(FindTest, AFindThatDoesNotWalkRegroupsTheLastRecordsByTheirOwnKeys) {
  tree.writeEach({"a/photo.jpg", "b/Photo.JPG"}, "AAAA");
  tree.writeEach({"a/x.txt", "b/x.txt"}, "XYZXYZ");
  tree.write("c/x.txt", "BBBB");
  tree.write("c/alone.bin", "1");
  find(ByName);
  const Groups byName = {{"a/photo.jpg", "b/Photo.JPG"}, {"a/x.txt", "b/x.txt", "c/x.txt"}};
  ASSERT_EQ(groups(), byName);

  // The user's steps: /etc (here a stand-in) chosen, "Find", "NO!"; then by filename and size,
  // "Find", "NO!".
  const std::string etc = tree.mkdir("etc");
  setSpecialFolderOverride([&](int number) -> std::string {
    return number == CSIDL_WINDOWS ? etc.substr(0, etc.size() - 1) : "/nonexistent-programs";
  });
  useSource(etc);
  view.continueAnyway = false;
  find(ByName);
  EXPECT_EQ(groups(), byName);
  find(ByNameAndSize);
  ASSERT_EQ(view.warnings.size(), 2u);
  const Groups byNameAndSize = {{"a/photo.jpg", "b/Photo.JPG"}, {"a/x.txt", "b/x.txt"}};
  EXPECT_EQ(groups(), byNameAndSize);
  EXPECT_EQ(groupHeading(core.grid(), 0), "File: photo.jpg, Size: 4 (2 files, not verified)");
  EXPECT_EQ(core.statusText(), "4 files");
  EXPECT_TRUE(view.deleteEnabled);
  // The helpers tick only true duplicates: c/x.txt, of another size, is no longer listed.
  const SelectionResult result = tickAllButOne(
      core.grid(), KeepRule::First, [&](RecordId record) { return core.fullPath(record); });
  EXPECT_EQ(result.ticked, 2u);
  EXPECT_FALSE(core.grid().ticked(recordOf("a/x.txt")));
  EXPECT_TRUE(core.grid().ticked(recordOf("b/x.txt")));

  // The other keys, the same way; and with no source at all.
  find(BySize);
  EXPECT_EQ(groups(), byNameAndSize);
  find(ByContent);
  EXPECT_EQ(groups(), byNameAndSize);
  useSource("");
  find(ByNameAndSize);
  EXPECT_EQ(groups(), byNameAndSize);
  EXPECT_EQ(view.warnings.size(), 4u);

  // A find cancelled in its walk leaves nothing to regroup.
  useSource(tree.path());
  view.continueAnyway = true; // the tree holds the stand-in
  view.onEvents = [&] { core.cancel(); };
  find(ByName);
  view.onEvents = {};
  useSource(etc);
  view.continueAnyway = false;
  find(ByNameAndSize);
  EXPECT_EQ(core.grid().recordCount(), 0u);
  EXPECT_FALSE(view.deleteEnabled);
}

// The walk reaches the source's real path; the warning is decided on it too, so that a link to a
// system folder (/bin, a link to /usr/bin) warns as the folder does. The files keep the path the
// user chose.
TEST_F(FindTest, TheWarningIsDecidedOnTheSourcesRealPath) {
  const std::string real = realPathOf(tree.path());
  tree.writeEach({"sys/sub/a/x", "sys/sub/b/x"}, "1");
  setSpecialFolderOverride([&](int number) -> std::string {
    return number == CSIDL_PROGRAM_FILES ? real + "sys" : "/nonexistent-system";
  });
  ASSERT_EQ(::symlink("sys", (tree.path() + "alias").c_str()), 0);
  ASSERT_EQ(::symlink("sys/sub", (tree.path() + "inside").c_str()), 0);
  view.continueAnyway = false;
  for (const char* alias : {"alias/", "inside/"}) {
    useSource(tree.path() + alias);
    find(ByName);
  }
  EXPECT_EQ(view.warnings, (std::vector<std::string>{real + "sys", real + "sys\r\n"}));
  EXPECT_EQ(core.grid().recordCount(), 0u);
  view.continueAnyway = true;
  find(ByName);
  EXPECT_EQ(groups(), (Groups{{"inside/a/x", "inside/b/x"}}));

  // This machine's own aliases, answered "NO!": nothing of them is walked (and a guard that
  // failed to warn would walk their top folders only).
  setSpecialFolderOverride({});
  view.continueAnyway = false;
  view.subfolders = 0;
  for (const char* alias : {"/bin", "/sbin", "/lib"}) {
    struct stat st;
    if (::lstat(alias, &st) != 0 || !S_ISLNK(st.st_mode))
      continue;
    view.warnings.clear();
    useSource(std::string(alias) + "/");
    find(ByName);
    EXPECT_EQ(view.warnings, std::vector<std::string>{"/usr\r\n"}) << alias;
  }
}

TEST_F(FindTest, WarningSwitchOffOrEmptySourceSkipsTheGuard) {
  setSpecialFolderOverride([this](int) { return tree.path() + "sys"; });
  tree.write("sys/x", "1");
  settings.SaveSetting(kAppTitle, "Settings", "CheckForSystemFolders", "0");
  find(ByName);
  EXPECT_TRUE(view.warnings.empty());
  settings.SaveSetting(kAppTitle, "Settings", "CheckForSystemFolders", "garbage");
  find(ByName);
  EXPECT_EQ(view.warnings.size(), 1u); // not a number counts as on
  useSource("");
  find(ByName);
  EXPECT_EQ(view.warnings.size(), 1u);
}

} // namespace
} // namespace zandrex::test
