#include "flow_fixture.h"
#include "settings/filter_settings.h"
#include "walk/scan_filter.h"

#include <limits>

namespace zandrex::test {
namespace {

TEST(ScanFilter, SizesReadWithTheirUnitsAndNothingElse) {
  const struct {
    const char* text;
    std::optional<std::uint64_t> bytes;
  } cases[] = {
      {"0", 0},
      {"100", 100},
      {"512k", 512 * 1024},
      {"512K", 512 * 1024},
      {"1M", 1024 * 1024},
      {"3g", 3ull << 30},
      {"18446744073709551615", std::numeric_limits<std::uint64_t>::max()},
      {"18446744073709551616", std::nullopt},
      {"17179869184G", std::nullopt},
      {"", std::nullopt},
      {"k", std::nullopt},
      {"1.5M", std::nullopt},
      {"-1", std::nullopt},
      {" 1", std::nullopt},
      {"1T", std::nullopt},
      {"1MB", std::nullopt},
  };
  for (const auto& c : cases)
    EXPECT_EQ(parseSizeText(c.text), c.bytes) << c.text;
}

TEST(ScanFilter, SummaryAndPatternChecksSayWhatTheFilterDoes) {
  EXPECT_EQ(sizeInUnits(1), "1 byte");
  EXPECT_EQ(sizeInUnits(1000), "1000 bytes");
  EXPECT_EQ(sizeInUnits(1536 * 1024), "1536 KiB");
  EXPECT_EQ(sizeInUnits(1 << 20), "1 MiB");
  EXPECT_EQ(sizeInUnits(5ull << 30), "5 GiB");
  for (std::uint64_t bytes : {0ull, 1ull, 1000ull, 1536ull << 10, 1ull << 20, 5ull << 30})
    EXPECT_EQ(parseSizeText(sizeText(bytes)), bytes) << sizeText(bytes);
  EXPECT_EQ(sizeText(512 << 10), "512k");
  ScanFilter filter;
  EXPECT_EQ(filterSummary(filter), "Filters: none");
  filter.minSize = 1 << 20;
  EXPECT_EQ(filterSummary(filter), "Filters: \u2265 1 MiB");
  filter.excludedNames = {"*.tmp", "cache"};
  EXPECT_EQ(filterSummary(filter), "Filters: \u2265 1 MiB, 2 patterns");
  filter.minSize = 0;
  filter.excludedNames.pop_back();
  EXPECT_EQ(filterSummary(filter), "Filters: 1 pattern");

  EXPECT_EQ(patternProblem("*.tmp"), "");
  EXPECT_EQ(patternProblem("[ab]?c\\*"), "");
  for (const char* bad : {"", "a/b", "/", "a\nb"})
    EXPECT_NE(patternProblem(bad), "") << bad;
}

TEST(ScanFilter, StoredFilterComesBackAndADamagedOneLeavesOutLess) {
  MemorySettings store;
  EXPECT_TRUE(loadFilter(store).leavesOutNothing());
  const ScanFilter filter{1 << 20, {"*.tmp", "[Cc]ache", "a b"}};
  saveFilter(store, filter);
  EXPECT_EQ(store.find("Filters", "MinimumSize"), "1048576");
  const ScanFilter loaded = loadFilter(store);
  EXPECT_EQ(loaded.minSize, filter.minSize);
  EXPECT_EQ(loaded.excludedNames, filter.excludedNames);
  store.SaveSetting(kAppTitle, "Filters", "MinimumSize", "lots");
  store.SaveSetting(kAppTitle, "Filters", "Exclude", "\n*.bak\n\nsub/dir\n");
  const ScanFilter damaged = loadFilter(store);
  EXPECT_EQ(damaged.minSize, 0u);
  EXPECT_EQ(damaged.excludedNames, std::vector<std::string>{"*.bak"});
}

class FilteredWalkTest : public FlowTest {
protected:
  std::vector<std::string> listed(const ScanFilter& filter) {
    core.setFilter(filter);
    return scannedPaths();
  }
};

TEST_F(FilteredWalkTest, TheDefaultLeavesOutNothing) {
  tree.write("empty", "");
  tree.write(".dotfile", "x");
  tree.write("a.tmp", "x");
  tree.write("[odd]*name", "x");
  tree.write("sub/.hidden-file", "x");
  const std::vector<std::string> all{".dotfile", "[odd]*name", "a.tmp", "empty",
                                     "sub/.hidden-file"};
  EXPECT_EQ(listed({}), all);
  EXPECT_EQ(core.statusText(), "5 files");
  // A filter that matches nothing here leaves the list as it was.
  EXPECT_EQ(listed({0, {"nothing-matches", "*.none"}}), all);
}

TEST_F(FilteredWalkTest, AFileOfExactlyTheMinimumSizeIsKept) {
  tree.write("99", std::string(99, 'x'));
  tree.write("100", std::string(100, 'x'));
  tree.write("sub/101", std::string(101, 'x'));
  tree.write("empty", "");
  EXPECT_EQ(listed({100, {}}), (std::vector<std::string>{"100", "sub/101"}));
  EXPECT_EQ(core.statusText(), "2 files");
  EXPECT_EQ(listed({1, {}}), (std::vector<std::string>{"100", "99", "sub/101"}));
}

TEST_F(FilteredWalkTest, PatternsLeaveOutFilesAndWholeFoldersByNameButNotAGivenFolder) {
  tree.writeEach({"keep.txt", "drop.tmp", "cache/inside.txt", "sub/cache", "sub/x.TMP",
                  "sub/deeper/cache/y", "node_modules/z"},
                 "1");
  const ScanFilter filter{0, {"*.tmp", "cache", "node_*"}};
  EXPECT_EQ(listed(filter), (std::vector<std::string>{"keep.txt", "sub/x.TMP"}));
  // A folder given to search is searched whatever its name; its own subfolders are not.
  useSource(tree.path() + "cache");
  tree.write("cache/cache/no", "1");
  EXPECT_EQ(listed(filter), (std::vector<std::string>{"cache/inside.txt"}));
}

} // namespace
} // namespace zandrex::test
