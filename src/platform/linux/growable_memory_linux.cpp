#include "platform/growable_memory.h"

#include <cstdint>
#include <new>
#include <sys/mman.h>
#include <unistd.h>

namespace zandrex::platform {

void* reserveMemory(std::size_t bytes) {
  void* block = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (block == MAP_FAILED)
    throw std::bad_alloc();
  return block;
}

void* resizeMemory(void* block, std::size_t oldBytes, std::size_t newBytes) {
  void* moved = mremap(block, oldBytes, newBytes, MREMAP_MAYMOVE);
  if (moved == MAP_FAILED)
    throw std::bad_alloc();
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
