#include "digest/edge_sift.h"
#include "digest/recorded_tree.h"

#include <gtest/gtest.h>

namespace zandrex::test {
namespace {

constexpr std::uint32_t kUngrouped = UINT32_MAX;

// `size` bytes of a pattern, with the byte at each of `changes` flipped.
std::string content(std::size_t size, std::initializer_list<std::size_t> changes = {}) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i)
    bytes[i] = static_cast<char>('a' + i % 23);
  for (std::size_t at : changes)
    bytes[at] = static_cast<char>(bytes[at] ^ 0x55);
  return bytes;
}

// Which files the sift clears: only those that no same-size file can match, and never one whose
// group holds a file it could not look at.
TEST(EdgeSift, ClearsOnlyFilesWhoseEdgesNoFileOfTheirSizeShares) {
  constexpr std::size_t kSmallSifted = 128 * 1024;
  constexpr std::size_t kBig = 2 * 1024 * 1024;
  struct Case {
    const char* name;
    std::uint32_t group;
    std::string bytes;
    bool cleared;
  };
  const Case cases[] = {{"a", 0, content(kSmallSifted), false},
                        {"a-twin", 0, content(kSmallSifted), false},
                        {"first-byte", 0, content(kSmallSifted, {0}), true},
                        // Below the tail's size only the first block is looked at.
                        {"last-byte", 0, content(kSmallSifted, {kSmallSifted - 1}), false},
                        {"b", 1, content(kBig), false},
                        {"b-twin", 1, content(kBig), false},
                        {"b-end", 1, content(kBig, {kBig - 1}), true},
                        {"b-middle", 1, content(kBig, {kBig / 2}), false},
                        // A second pair in the same group, and a third copy.
                        {"c", 1, content(kBig, {1}), false},
                        {"c-twin", 1, content(kBig, {1}), false},
                        {"c-triplet", 1, content(kBig, {1}), false},
                        // Its partner changes after the walk: it might still be its twin.
                        {"d", 2, content(kSmallSifted, {5}), false},
                        {"d-changes", 2, content(kSmallSifted), false},
                        // Too small to sift, or in no group.
                        {"e", 3, content(1000), false},
                        {"e-other", 3, content(1000, {0}), false},
                        {"loner", kUngrouped, content(kSmallSifted, {9}), false}};
  Recorded r;
  const FolderId folder = r.folder("f");
  PodArray<HashAhead::File> files;
  PodArray<std::uint32_t> groupOf;
  for (const Case& c : cases) {
    r.tree.write(std::string("f/") + c.name, c.bytes);
    files.push_back(r.file(folder, std::string("f/") + c.name));
    groupOf.push_back(c.group);
  }
  r.tree.write("f/d-changes", content(kSmallSifted, {7}));

  for (unsigned workers : {1u, 3u}) {
    SCOPED_TRACE(workers);
    auto unique = siftByEdges(r.source->fd(), r.folders, files, groupOf, {}, workers);
    ASSERT_TRUE(unique);
    for (std::size_t i = 0; i < std::size(cases); ++i)
      EXPECT_EQ((*unique)[i] != 0, cases[i].cleared) << cases[i].name;
  }
}

} // namespace
} // namespace zandrex::test
