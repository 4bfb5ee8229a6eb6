#include "platform/growable_memory.h"

#include <cstdint>
#include <new>
#include <sys/mman.h>
#include <unistd.h>

namespace zandrex::platform {

namespace {
// Blocks from this size on ask for huge pages: a million-row array then takes its memory in a few
// hundred faults rather than hundreds of thousands, each of which costs far more than the zeroing
// it does on a virtual machine.
constexpr std::size_t kHugePageBlockMin = std::size_t{2} << 20;

void preferHugePages(void* block, std::size_t bytes) {
  // Only advice: a system without transparent huge pages keeps the small ones.
  if (bytes >= kHugePageBlockMin)
    madvise(block, bytes, MADV_HUGEPAGE);
}
} // namespace

void* reserveMemory(std::size_t bytes) {
  void* block = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (block == MAP_FAILED)
    throw std::bad_alloc();
  preferHugePages(block, bytes);
  return block;
}

void* resizeMemory(void* block, std::size_t oldBytes, std::size_t newBytes) {
  void* moved = mremap(block, oldBytes, newBytes, MREMAP_MAYMOVE);
  if (moved == MAP_FAILED)
    throw std::bad_alloc();
  preferHugePages(moved, newBytes);
  return moved;
}

void releaseMemory(void* block, std::size_t bytes) {
  munmap(block, bytes);
}

void forgetMemory(void* start, std::size_t bytes) {
  const auto granule = static_cast<std::uintptr_t>(memoryGranule());
  const auto from = reinterpret_cast<std::uintptr_t>(start);
  const std::uintptr_t first = (from + granule - 1) / granule * granule;
  const std::uintptr_t last = (from + bytes) / granule * granule;
  if (last > first)
    madvise(reinterpret_cast<void*>(first), last - first, MADV_DONTNEED);
}

std::size_t memoryGranule() {
  static const std::size_t granule = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
  return granule;
}

} // namespace zandrex::platform
