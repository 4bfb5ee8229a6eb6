// The grid's text pool: every item text in fixed chunks that never move, and the sets that let
// a column keep one copy of equal texts (interning) without copying them out of the pool.
#pragma once

#include "grid/pod_array.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace zandrex {

inline constexpr int kWordBits = 32;

// A place in the text pool.
struct TextRef {
  std::uint64_t offset = 0;
  std::uint32_t length = 0;
};

// Texts in fixed chunks that never move: no copy of everything when the pool grows, no room
// reserved for growth beyond one chunk, and views stay valid as long as the text does. A text
// longer than a chunk gets a chunk of its own. A place is the chunk's number in the high word
// and the offset in the low one. Chunks are mapped memory of their own, so one given back
// leaves the process at once instead of staying in the heap.
class TextPool {
public:
  TextRef append(std::string_view text) {
    if (text.empty())
      return {};
    if (chunks_.empty() || chunks_.back().size() - used_.back() < text.size())
      newChunk(std::max(kChunkBytes, text.size()));
    const std::size_t chunk = chunks_.size() - 1;
    char* place = chunks_[chunk].data() + used_[chunk];
    std::memcpy(place, text.data(), text.size());
    const TextRef ref{static_cast<std::uint64_t>(chunk) << kWordBits | used_[chunk],
                      static_cast<std::uint32_t>(text.size())};
    used_[chunk] += text.size();
    bytes_ += text.size();
    return ref;
  }
  std::string_view view(const TextRef& ref) const {
    if (ref.length == 0)
      return {};
    return {chunks_[chunkOf(ref)].data() + (ref.offset & UINT32_MAX), ref.length};
  }
  static std::size_t chunkOf(const TextRef& ref) { return ref.offset >> kWordBits; }
  std::size_t chunkCount() const { return chunks_.size(); }
  // Gives a chunk's memory back; none of its texts may be viewed again.
  void releaseChunk(std::size_t chunk) { takeChunk(chunk).clear(); }
  // The same, handing the memory over (to another pool's reuseChunk()) instead.
  PodArray<char> takeChunk(std::size_t chunk) {
    bytes_ -= used_[chunk];
    used_[chunk] = 0;
    return std::move(chunks_[chunk]);
  }
  // Keeps a chunk's memory, already in use and so already paged in, to fill before any fresh
  // memory: a pool compacted into a new one costs no page faults for the chunks it emptied.
  void reuseChunk(PodArray<char> memory) { spare_.push_back(std::move(memory)); }
  // Gives back the memory kept for reuse and not used.
  void releaseSpare() { spare_.clear(); }
  // Bytes of text stored.
  std::size_t size() const { return bytes_; }
  void clear() {
    chunks_.clear();
    used_.clear();
    spare_.clear();
    bytes_ = 0;
  }

private:
  static constexpr std::size_t kChunkBytes = std::size_t{1} << 20;

  void newChunk(std::size_t capacity) {
    if (!spare_.empty() && spare_.back().size() >= capacity) {
      chunks_.push_back(std::move(spare_.back()));
      spare_.pop_back();
    } else {
      chunks_.emplace_back().resizeForOverwrite(capacity);
    }
    used_.push_back(0);
  }

  std::vector<PodArray<char>> chunks_;
  std::vector<std::size_t> used_;
  std::vector<PodArray<char>> spare_;
  std::size_t bytes_ = 0;
};

inline std::string_view poolView(const TextPool& pool, const TextRef& ref) {
  return pool.view(ref);
}

// Hashes and compares interned texts through the pool, so a column's set holds no copy of its
// texts; string views look up without storing.
struct PoolHash {
  using is_transparent = void;
  const TextPool* pool;
  std::size_t operator()(std::string_view text) const {
    return std::hash<std::string_view>{}(text);
  }
  std::size_t operator()(const TextRef& ref) const { return (*this)(poolView(*pool, ref)); }
};

struct PoolEqual {
  using is_transparent = void;
  const TextPool* pool;
  std::string_view view(std::string_view text) const { return text; }
  std::string_view view(const TextRef& ref) const { return poolView(*pool, ref); }
  template <class A, class B> bool operator()(const A& a, const B& b) const {
    return view(a) == view(b);
  }
};

using InternSet = std::unordered_set<TextRef, PoolHash, PoolEqual>;

} // namespace zandrex
