#include "platform/growable_memory.h"

#include <cstdint>
#include <new>
#include <sys/mman.h>
#include <unistd.h>

namespace zandrex::platform {

namespace {
// A transparent huge page on the targets we build for.
constexpr std::size_t kHugePage = std::size_t{2} << 20;
// Blocks from this size on are whole huge pages, aligned to them: on a virtual machine a fault of
// a small page costs about as much as zeroing a whole huge page (bench/RESULTS.md), so even a
// block of a few hundred kilobytes is cheaper to fill in one huge page. At most 1.75 MiB of a
// block goes unused.
constexpr std::size_t kHugePageBlockMin = std::size_t{256} << 10;

std::size_t pageSize() {
  static const std::size_t size = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
  return size;
}

std::size_t roundUp(std::size_t bytes, std::size_t unit) {
  return (bytes + unit - 1) / unit * unit;
}

bool hugeBlock(std::size_t bytes) {
  return bytes >= kHugePageBlockMin;
}

// Address room of bytes (whole huge pages) starting at a huge page boundary, not yet usable.
void* reserveAligned(std::size_t bytes) {
  void* room = mmap(nullptr, bytes + kHugePage, PROT_NONE,
                    MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  if (room == MAP_FAILED)
    throw std::bad_alloc();
  const auto start = reinterpret_cast<std::uintptr_t>(room);
  const std::uintptr_t aligned = roundUp(start, kHugePage);
  if (aligned > start)
    munmap(room, aligned - start);
  const std::uintptr_t end = start + bytes + kHugePage;
  if (end > aligned + bytes)
    munmap(reinterpret_cast<void*>(aligned + bytes), end - (aligned + bytes));
  return reinterpret_cast<void*>(aligned);
}

void preferHugePages(void* block, std::size_t bytes) {
  // Only advice: a system without transparent huge pages keeps the small ones.
  if (hugeBlock(bytes))
    madvise(block, bytes, MADV_HUGEPAGE);
}
} // namespace

std::size_t blockBytes(std::size_t bytes) {
  return roundUp(bytes, hugeBlock(bytes) ? kHugePage : pageSize());
}

void* reserveMemory(std::size_t bytes) {
  bytes = blockBytes(bytes);
  void* room = hugeBlock(bytes) ? reserveAligned(bytes) : nullptr;
  const int fixed = room ? MAP_FIXED : 0;
  void* block =
      mmap(room, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | fixed, -1, 0);
  if (block == MAP_FAILED) {
    if (room)
      munmap(room, bytes);
    throw std::bad_alloc();
  }
  preferHugePages(block, bytes);
  return block;
}

void* resizeMemory(void* block, std::size_t oldBytes, std::size_t newBytes) {
  oldBytes = blockBytes(oldBytes);
  newBytes = blockBytes(newBytes);
  if (newBytes == oldBytes)
    return block;
  // Shrinking, or staying with small pages: where the system likes.
  if (newBytes < oldBytes || !hugeBlock(newBytes)) {
    void* moved = mremap(block, oldBytes, newBytes, MREMAP_MAYMOVE);
    if (moved == MAP_FAILED)
      throw std::bad_alloc();
    return moved;
  }
  // Growing into huge pages: the pages move to an aligned place, still without a copy.
  void* target = reserveAligned(newBytes);
  void* moved = mremap(block, oldBytes, newBytes, MREMAP_MAYMOVE | MREMAP_FIXED, target);
  if (moved == MAP_FAILED) {
    munmap(target, newBytes);
    throw std::bad_alloc();
  }
  preferHugePages(moved, newBytes);
  return moved;
}

void releaseMemory(void* block, std::size_t bytes) {
  munmap(block, blockBytes(bytes));
}

void forgetMemory(void* start, std::size_t bytes) {
  const std::uintptr_t page = pageSize();
  const auto from = reinterpret_cast<std::uintptr_t>(start);
  const std::uintptr_t first = roundUp(from, page);
  const std::uintptr_t last = (from + bytes) / page * page;
  if (last > first)
    madvise(reinterpret_cast<void*>(first), last - first, MADV_DONTNEED);
}

} // namespace zandrex::platform
