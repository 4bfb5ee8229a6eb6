// Which records are live, as a Fenwick tree over their live flags: a record's index among the
// live ones, and the live record at an index, both in O(log n), with removals in O(log n) too.
#pragma once

#include "grid/pod_array.h"

#include <bit>
#include <cstddef>
#include <cstdint>

namespace zandrex {

class LiveIndex {
public:
  LiveIndex() { tree_.push_back(0); }
  // Appends one record, live.
  void append() {
    const std::size_t i = tree_.size();
    const std::size_t low = lowBit(i);
    std::uint32_t value = 1;
    for (std::size_t part = 1; part < low; part <<= 1)
      value += tree_[i - part];
    tree_.push_back(value);
  }
  // Marks a live record removed.
  void remove(std::size_t record) {
    for (std::size_t i = record + 1; i < tree_.size(); i += lowBit(i))
      --tree_[i];
  }
  // Live records before this one.
  std::size_t before(std::size_t record) const {
    std::size_t sum = 0;
    for (std::size_t i = std::min<std::size_t>(record, tree_.size() - 1); i > 0; i -= lowBit(i))
      sum += tree_[i];
    return sum;
  }
  // The live record with this index among the live ones.
  std::uint32_t at(std::size_t index) const {
    const std::size_t n = tree_.size() - 1;
    std::size_t position = 0;
    std::size_t remaining = index + 1;
    for (std::size_t step = std::bit_floor(n); step > 0; step >>= 1) {
      if (position + step <= n && tree_[position + step] < remaining) {
        position += step;
        remaining -= tree_[position];
      }
    }
    return static_cast<std::uint32_t>(position);
  }
  // count records, every one live: node i covers exactly lowBit(i) records.
  void allLive(std::size_t count) {
    tree_.assign(count + 1, 0);
    for (std::size_t i = 1; i < tree_.size(); ++i)
      tree_[i] = static_cast<std::uint32_t>(lowBit(i));
  }
  void clear() { tree_.assign(1, 0); }

private:
  // The span a node covers.
  static std::size_t lowBit(std::size_t i) { return i & (~i + 1); }

  PodArray<std::uint32_t> tree_; // 1-based; entry 0 unused
};

} // namespace zandrex
