#include "platform/anchored_tree.h"
#include "test_support.h"

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zandrex::test {
namespace {

FileIdentity identityAt(const std::string& path) {
  struct stat st;
  ::stat(path.c_str(), &st);
  return {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}

std::size_t openDescriptors() {
  std::size_t open = 0;
  if (DIR* dir = ::opendir("/proc/self/fd")) {
    while (::readdir(dir))
      ++open;
    ::closedir(dir);
  }
  return open;
}

TEST(FolderResolver, ReachesOnlyTheFoldersTheWalkRecorded) {
  TempDir tree;
  tree.mkdir("a/b");
  tree.mkdir("other");
  std::optional<SourceAnchor> source = SourceAnchor::open(tree.path());
  ASSERT_TRUE(source);
  FolderTable folders;
  folders.add(kNoFolder, "", source->identity());
  const FolderId a = folders.add(kSourceFolder, "a", identityAt(tree.path() + "a"));
  const FolderId b = folders.add(a, "b", identityAt(tree.path() + "a/b"));
  auto outcome = [&](FolderId folder) {
    FolderResolver resolver(source->fd(), folders);
    const int fd = resolver.resolve(folder);
    EXPECT_EQ(fd < 0, resolver.outcome() != Reach::Reached);
    return resolver.outcome();
  };
  EXPECT_EQ(outcome(b), Reach::Reached);
  // A handle already held stays with the folder it checked, wherever that folder goes.
  FolderResolver held(source->fd(), folders);
  const int heldFd = held.resolve(b);
  ASSERT_GE(heldFd, 0);

  // Another folder under the same name: a folder, not a link, so only its identity tells.
  ::rename((tree.path() + "a/b").c_str(), (tree.path() + "a/b-old").c_str());
  ::rename((tree.path() + "other").c_str(), (tree.path() + "a/b").c_str());
  EXPECT_EQ(outcome(b), Reach::Replaced);
  EXPECT_EQ(held.resolve(b), heldFd);
  struct stat st;
  ASSERT_EQ(::fstat(heldFd, &st), 0);
  EXPECT_EQ(st.st_ino, identityAt(tree.path() + "a/b-old").inode);

  ::rename((tree.path() + "a").c_str(), (tree.path() + "a-old").c_str());
  EXPECT_EQ(outcome(b), Reach::Gone);
  ::symlink((tree.path() + "a-old").c_str(), (tree.path() + "a").c_str());
  EXPECT_EQ(outcome(a), Reach::Replaced);
}

TEST(FolderResolver, HoldsFewDescriptorsWhateverTheDepth) {
  constexpr std::size_t kLevels = 1000;
  TempDir tree;
  makeFolderChain(tree.path(), "d", kLevels);
  std::optional<SourceAnchor> source = SourceAnchor::open(tree.path());
  FolderTable folders;
  FolderId at = folders.add(kNoFolder, "", source->identity());
  UniqueFd fd(::open(tree.path().c_str(), O_PATH | O_DIRECTORY));
  for (std::size_t i = 0; i < kLevels; ++i) {
    fd = UniqueFd(::openat(fd.get(), "d", O_PATH | O_DIRECTORY));
    struct stat st;
    ::fstat(fd.get(), &st);
    at = folders.add(
        at, "d", {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)});
  }
  fd.reset();
  const std::size_t before = openDescriptors();
  FolderResolver resolver(source->fd(), folders);
  EXPECT_GE(resolver.resolve(at), 0);
  EXPECT_GE(resolver.resolve(at - 1), 0);
  EXPECT_LT(openDescriptors() - before, 100u);
}

TEST(SourceAnchor, OpensByTheRealPathAndRefusesAReplacedSource) {
  TempDir tree;
  tree.mkdir("real/inside");
  ::symlink((tree.path() + "real").c_str(), (tree.path() + "link").c_str());
  std::optional<SourceAnchor> source = SourceAnchor::open(tree.path() + "link/");
  ASSERT_TRUE(source);
  EXPECT_EQ(source->realPath(), tree.path() + "real");
  EXPECT_TRUE(SourceAnchor::reopen(source->realPath(), source->identity()));
  ::rename((tree.path() + "real").c_str(), (tree.path() + "moved").c_str());
  ::symlink((tree.path() + "moved").c_str(), (tree.path() + "real").c_str());
  EXPECT_FALSE(SourceAnchor::reopen(source->realPath(), source->identity()));
  ::unlink((tree.path() + "real").c_str());
  tree.mkdir("real");
  EXPECT_FALSE(SourceAnchor::reopen(source->realPath(), source->identity()));
}

} // namespace
} // namespace zandrex::test
