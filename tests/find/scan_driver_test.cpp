#include "flow_fixture.h"
#include "source/path_routines.h"

#include <sys/stat.h>
#include <unistd.h>

namespace zandrex::test {
namespace {

class WalkTest : public FlowTest {
protected:
  std::vector<std::string> scan() { return scannedPaths(); }
};

TEST_F(WalkTest, RecordHoldsTheSixItemsAndTheNameAsFound) {
  tree.write("Docs/Report.DOC", std::string(2048, 'x'));
  tree.setMtime("Docs/Report.DOC", 1709647629); // 2024-03-05 14:07:09 UTC
  ::setenv("TZ", "UTC", 1);
  ::tzset();
  ASSERT_EQ(scan(), (std::vector<std::string>{"Docs/Report.DOC"}));
  const ReportGrid& grid = core.grid();
  RecordId r = grid.recordAt(0);
  EXPECT_EQ(grid.item(r, col::kPath).asText(), tree.path() + "Docs/");
  EXPECT_TRUE(grid.hasCheckbox(r));
  EXPECT_FALSE(grid.ticked(r));
  EXPECT_EQ(grid.item(r, col::kFile).asText(), "report.doc");
  EXPECT_EQ(grid.item(r, col::kSize).asNumber(), 2048.0);
  EXPECT_EQ(grid.item(r, col::kDate).asText(), "2024.03.05 14:07:09");
  // The name-and-size key is only kept when the find groups by it.
  EXPECT_EQ(grid.item(r, col::kNameSize).asText(), "");
  EXPECT_EQ(grid.item(r, col::kChecksum).asText(), "");
  EXPECT_EQ(grid.diskName(r), "Report.DOC");
  EXPECT_EQ(grid.facts(r).size, 2048u);
  EXPECT_EQ(core.statusText(), "1 files");
  core.grid().groupOrderAdd(col::kNameSize);
  core.scan();
  EXPECT_EQ(grid.item(grid.recordAt(0), col::kNameSize).asText(), "report.doc, Size: 2048");
}

TEST_F(WalkTest, SkipsDotFoldersButListsDotFilesAndEmptyFilesAndSubfoldersOffStaysOnTop) {
  tree.writeEach({".git/config", ".profile"}, "x");
  tree.write("empty", "");
  tree.mkdir("nothing/inside");
  tree.write("sub/deep.txt", "x");
  EXPECT_EQ(scan(), (std::vector<std::string>{".profile", "empty", "sub/deep.txt"}));
  view.subfolders = 0;
  EXPECT_EQ(scan(), (std::vector<std::string>{".profile", "empty"}));
}

TEST_F(WalkTest, SubfoldersBoxIsReadLiveForEachFolder) {
  tree.writeEach({"a/x", "b/y", "c/z"}, "1");
  view.onEvents = [&] {
    if (core.scannedFileCount() == 1)
      view.subfolders = 0;
  };
  EXPECT_EQ(scan(), (std::vector<std::string>{"a/x"}));
}

TEST_F(WalkTest, NeitherListsNorEntersLinksFifosOrRepeatedFolders) {
  tree.write("real/file", "data");
  ASSERT_EQ(::symlink("file", (tree.path() + "real/link-to-file").c_str()), 0);
  ASSERT_EQ(::symlink("../real", (tree.path() + "real/loop").c_str()), 0);
  ASSERT_EQ(::symlink("/etc", (tree.path() + "etc-link").c_str()), 0);
  ASSERT_EQ(::mkfifo((tree.path() + "pipe").c_str(), 0600), 0);
  ASSERT_EQ(::link((tree.path() + "real/file").c_str(), (tree.path() + "hard").c_str()), 0);
  // Hard links are two names of one file; both are listed, both carry the same identity.
  EXPECT_EQ(scan(), (std::vector<std::string>{"hard", "real/file"}));
  const ReportGrid& grid = core.grid();
  EXPECT_EQ(grid.facts(grid.recordAt(0)).inode, grid.facts(grid.recordAt(1)).inode);
}

TEST_F(WalkTest, NamesThatAreNotUtf8KeepTheirBytes) {
  std::string odd = "caf\xe9-\xff.TXT";
  tree.write(odd, "x");
  tree.write("Ärger.TXT", "x");
  EXPECT_EQ(scan(), (std::vector<std::string>{odd, "Ärger.TXT"}));
  const ReportGrid& grid = core.grid();
  EXPECT_EQ(grid.item(grid.recordAt(0), col::kFile).asText(), "caf\xe9-\xff.txt");
  EXPECT_EQ(grid.item(grid.recordAt(1), col::kFile).asText(), "ärger.txt");
}

TEST_F(WalkTest, UnreadableFolderContributesNothing) {
  if (::geteuid() == 0)
    GTEST_SKIP() << "root reads every folder";
  tree.writeEach({"open/a", "closed/b"}, "x");
  ::chmod((tree.path() + "closed").c_str(), 0);
  EXPECT_EQ(scan(), (std::vector<std::string>{"open/a"}));
}

// A source given without its "/" (a stored setting) gets one: folder texts stay paths.
TEST_F(WalkTest, ASourceWithoutTrailingSlashGetsOne) {
  tree.write("photos/sub/x", "1");
  useSource(tree.path() + "photos");
  EXPECT_EQ(core.source(), tree.path() + "photos/");
  scan();
  ASSERT_EQ(core.grid().recordCount(), 1u);
  EXPECT_EQ(core.grid().item(core.grid().recordAt(0), col::kPath).asText(),
            tree.path() + "photos/sub/");
  useSource("");
  EXPECT_EQ(core.source(), "");
}

TEST_F(WalkTest, MissingSourceRebuildsEmptyAndCancelClearsTheFlag) {
  useSource(tree.path() + "gone/");
  EXPECT_TRUE(scan().empty());
  useSource(tree.path());
  tree.writeEach({"a", "b"}, "x");
  view.onEvents = [&] { core.cancel(); };
  scan();
  EXPECT_FALSE(core.cancelRequested());
  EXPECT_EQ(core.statusText(), "0 files");
  EXPECT_EQ(core.grid().rowCount(), 0u);
}

} // namespace
} // namespace zandrex::test
