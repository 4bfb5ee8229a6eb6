#include "text/natural_order.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace zandrex {
namespace {

TEST(NaturalOrder, NumbersCompareByValueAndTheOrderIsTotal) {
  // Each text strictly before the next.
  const std::vector<std::string> ordered = {"",
                                            "1",
                                            "01",
                                            "2",
                                            "10",
                                            "a",
                                            "disk",
                                            "disk1",
                                            "disk01",
                                            "disk2",
                                            "disk9",
                                            "disk10",
                                            "disk10a",
                                            "disk10b",
                                            "disk11",
                                            "disk100",
                                            "diskA",
                                            "file1.txt",
                                            "file1.txt2",
                                            "file2.txt",
                                            "file12.txt",
                                            "v1.2.9",
                                            "v1.2.10",
                                            "v1.10.0",
                                            "x99999999999999999999",
                                            "x100000000000000000000"};
  for (std::size_t i = 0; i < ordered.size(); ++i) {
    EXPECT_EQ(naturalCompare(ordered[i], ordered[i]), 0) << ordered[i];
    for (std::size_t j = i + 1; j < ordered.size(); ++j) {
      EXPECT_LT(naturalCompare(ordered[i], ordered[j]), 0) << ordered[i] << " < " << ordered[j];
      EXPECT_GT(naturalCompare(ordered[j], ordered[i]), 0) << ordered[j] << " > " << ordered[i];
    }
  }
  std::vector<std::string> shuffled(ordered.rbegin(), ordered.rend());
  std::sort(shuffled.begin(), shuffled.end(),
            [](const std::string& a, const std::string& b) { return naturalCompare(a, b) < 0; });
  EXPECT_EQ(shuffled, ordered);
}

} // namespace
} // namespace zandrex
