#include "flow_fixture.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zandrex::test {
namespace {

using DeletionTest = FlowTest;

TEST_F(DeletionTest, NoRowsDoesNothingAndNothingTickedDeletesNothing) {
  core.progressBar(2).value = 5;
  core.deleteTicked();
  EXPECT_EQ(core.progressBar(2).value, 5);

  tree.writeEach({"a/x", "b/x"}, "1");
  find(ByName);
  core.deleteTicked();
  EXPECT_TRUE(exists("a/x"));
  EXPECT_TRUE(exists("b/x"));
  EXPECT_EQ(core.progressBar(2).value, 2);
  EXPECT_EQ(core.progressBar(2).max, 2);
  EXPECT_TRUE(view.failureWindows.empty());
  EXPECT_TRUE(view.exclamations.empty());
  EXPECT_EQ(fileRows(), 2u);
}

TEST_F(DeletionTest, GroupOfThreeWithTwoDeletedShowsOneFile) {
  tree.writeEach({"a/Same.txt", "b/same.txt", "c/same.txt"}, "1");
  find(ByName);
  tick({"a/Same.txt", "c/same.txt"});
  core.deleteTicked();
  EXPECT_FALSE(exists("a/Same.txt")); // deleted by the name as found, not the lower-cased one
  EXPECT_FALSE(exists("c/same.txt"));
  EXPECT_TRUE(exists("b/same.txt"));
  EXPECT_EQ(groups(), (Groups{{"b/same.txt"}}));
  EXPECT_TRUE(view.failureWindows.empty());
}

TEST_F(DeletionTest, FilesChangedOrGoneSinceTheFindAreListedLaterScannedFirst) {
  tree.writeEach({"a/X", "b/x", "c/x"}, "1");
  find(ByName);
  tick({"a/X", "b/x", "c/x"});
  tree.write("a/X", "grown");
  ::unlink((tree.path() + "b/x").c_str());
  core.deleteTicked();
  EXPECT_TRUE(exists("a/X"));
  EXPECT_FALSE(exists("c/x"));
  ASSERT_EQ(view.failureWindows, std::vector<std::string>{"Deletion failed for 2 file(s)"});
  const ReportGrid& list = core.failures().grid();
  ASSERT_EQ(list.rowCount(), 2u);
  EXPECT_EQ(list.item(list.row(0).record, failcol::kPath).asText(), tree.path() + "b/");
  EXPECT_EQ(list.item(list.row(0).record, failcol::kReason).asText(), "No longer exists");
  EXPECT_EQ(list.item(list.row(1).record, failcol::kReason).asText(), "Changed since the search");
  EXPECT_EQ(list.item(list.row(1).record, failcol::kSize).asText(), "1");
  // Listed by the name found on disk, as the main grid shows it.
  EXPECT_EQ(failureColumn(failcol::kFile), (std::vector<std::string>{"x", "X"}));
  EXPECT_EQ(core.failures().fullPath(list.row(1).record), tree.path() + "a/X");
  // Failed rows stay, still ticked.
  EXPECT_EQ(fileRows(), 2u);
  for (std::size_t i = 0; i < core.grid().recordCount(); ++i)
    EXPECT_TRUE(core.grid().ticked(core.grid().recordAt(i)));
  // The next run lists only its own failures.
  core.deleteTicked();
  EXPECT_EQ(failureColumn(failcol::kFile).size(), 2u);
  EXPECT_EQ(view.failureWindows.size(), 2u);
}

// An immutable file cannot be removed even by root: the system's refusal is listed with its text.
TEST_F(DeletionTest, AFileTheSystemRefusesToDeleteIsListedWithTheSystemsReason) {
  tree.writeEach({"a/x", "b/x"}, "1");
  find(ByName);
  tick({"a/x"});
  UniqueFd fd(::open((tree.path() + "a/x").c_str(), O_RDONLY | O_CLOEXEC));
  int flags = 0;
  if (::ioctl(fd.get(), FS_IOC_GETFLAGS, &flags) != 0)
    GTEST_SKIP() << "no file attributes on this file system";
  const int plain = flags;
  flags |= FS_IMMUTABLE_FL;
  if (::ioctl(fd.get(), FS_IOC_SETFLAGS, &flags) != 0)
    GTEST_SKIP() << "not allowed to make a file immutable";
  core.deleteTicked();
  ::ioctl(fd.get(), FS_IOC_SETFLAGS, &plain);
  EXPECT_TRUE(exists("a/x"));
  EXPECT_EQ(failureColumn(failcol::kFile), std::vector<std::string>{"x"});
  EXPECT_EQ(failureColumn(failcol::kReason), std::vector<std::string>{std::strerror(EPERM)});
}

TEST_F(DeletionTest, CancelStopsAtTheNextRecordAndShowsTheMessage) {
  for (int i = 0; i < 10; ++i)
    tree.write("d" + std::to_string(i) + "/x", "1");
  find(ByName);
  for (int i = 0; i < 10; ++i)
    tick({"d" + std::to_string(i) + "/x"});
  int visited = 0;
  view.onEvents = [&] {
    if (++visited == 4)
      core.cancel();
  };
  core.deleteTicked();
  EXPECT_EQ(view.exclamations, std::vector<std::string>{"Some of the files have been deleted."});
  EXPECT_TRUE(view.failureWindows.empty());
  EXPECT_FALSE(core.cancelRequested());
  EXPECT_EQ(fileRows(), 7u); // three deleted from the end before the cancel
  EXPECT_TRUE(exists("d0/x"));
  EXPECT_FALSE(exists("d9/x"));
}

} // namespace
} // namespace zandrex::test
