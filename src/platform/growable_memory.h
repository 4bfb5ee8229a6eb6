// Memory for big flat arrays that keep growing. A block may move when it grows, but the system
// moves its pages instead of copying them, so growing an array of hundreds of megabytes costs
// neither a copy nor a moment with two copies in memory. One implementation per target.
#pragma once

#include <cstddef>

namespace zandrex::platform {

// A block of at least bytes, zero-filled, aligned for any type. Throws std::bad_alloc when
// the system has no memory for it. bytes must be above zero.
void* reserveMemory(std::size_t bytes);
// The block grown (or shrunk) to newBytes, its contents kept up to the smaller size; the old
// address is no longer valid. Throws std::bad_alloc, leaving the block as it was.
void* resizeMemory(void* block, std::size_t oldBytes, std::size_t newBytes);
// Gives a block back; oldBytes is the size it was reserved or last resized with.
void releaseMemory(void* block, std::size_t bytes);
// The whole pages within [start, start + bytes) of a block read as zero from now on and stop
// counting against the process until written again; the rest of the range is left as it is.
void forgetMemory(void* start, std::size_t bytes);
// The size of the block the system hands out for bytes (at least bytes, and itself for its own
// result): room a caller may use without asking for more. A block is given back with the size it
// was asked for or this one.
std::size_t blockBytes(std::size_t bytes);

} // namespace zandrex::platform
