// Before files of one size are read whole, their first block (and, for big files, their last)
// tells most of those without a twin apart: files of equal size that differ at all mostly differ
// at the start. A file whose edges no other file of its size shares cannot have a twin, so the
// content pass need not read the rest of it.
//
// The edges of a file the digest cache remembers under the key the walk saw are taken from there:
// the file is not opened. The edges read of a file that settled before the read are handed back
// to be remembered.
//
// The sift only ever clears a file of being a duplicate; it never groups. A file it cannot read,
// or that is not the file the walk saw, is left undecided, so the content pass meets it exactly
// as it would have without the sift (and raises or counts what it always did).
#pragma once

#include "digest/hash_ahead.h"
#include "grid/pod_array.h"
#include "platform/anchored_tree.h"

#include <cstdint>
#include <functional>
#include <optional>

namespace zandrex {

// Files smaller than this are read whole anyway: their edges would cost as many reads as their
// content.
inline constexpr std::uint64_t kEdgeSiftMinSize = 64 * 1024;
inline constexpr std::size_t kEdgeBlock = 4 * 1024;
// From this size on the last block is read too (files that differ only at their end: logs,
// images written in place).
inline constexpr std::uint64_t kEdgeTailMinSize = 1024 * 1024;

struct EdgeSiftHooks {
  // Called every few milliseconds while the workers run.
  std::function<void()> whileWaiting = [] {};
  // Polled as often; true stops the sift (nothing is decided then).
  std::function<bool()> cancelled = [] { return false; };
};

// What the sift knows beforehand and keeps afterwards.
struct EdgeMemory {
  // One per file, or none at all: what the digest cache knows of each under the key the walk saw.
  const PodArray<Recalled>* recalled = nullptr;
  // Whether edges read are to be judged rememberable, and by what settle time.
  bool remember = false;
  std::int64_t settleNs = 0;
};

// Edges read of a file that may be remembered, under the change time the file showed.
struct ReadEdges {
  std::uint32_t file = 0;
  std::int64_t ctimeNs = 0;
  std::uint64_t edges = 0;
};

struct EdgeSiftResult {
  // One flag per file: true when the file can have no twin.
  PodArray<std::uint8_t> unique;
  // With EdgeMemory::remember, the files whose edges were read and may be remembered, by file.
  PodArray<ReadEdges> fresh;
};

// files[i] belongs to the size group groupOf[i] (equal numbers, equal sizes). Nothing when the sift
// was cancelled. Reaches files from sourceFd through folders, with up to `workers` threads (0: one
// per core); a file whose edges memory recalls is not reached at all.
std::optional<EdgeSiftResult> siftByEdges(int sourceFd, const FolderTable& folders,
                                          const PodArray<HashAhead::File>& files,
                                          const PodArray<std::uint32_t>& groupOf,
                                          const EdgeSiftHooks& hooks, unsigned workers,
                                          const EdgeMemory& memory);
// The same without the cache, only the flags.
std::optional<PodArray<std::uint8_t>> siftByEdges(int sourceFd, const FolderTable& folders,
                                                  const PodArray<HashAhead::File>& files,
                                                  const PodArray<std::uint32_t>& groupOf,
                                                  const EdgeSiftHooks& hooks, unsigned workers = 0);

} // namespace zandrex
