// The standard CRC-32 (ISO-HDLC / ITU-T V.42, as zip and PNG use it): reflected polynomial
// 0xEDB88320, register starts all ones, result inverted. "123456789" gives 0xCBF43926.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace zandrex {

// Register-level CRC-32 updates: crc is the running value as returned (already inverted), so
// crc32Update(0, a) then crc32Update(that, b) equals the CRC of a followed by b.
// The reference path: one table lookup per byte.
std::uint32_t crc32UpdateBytewise(std::uint32_t crc, const void* data, std::size_t size);
// The fast path: identical results; picks carry-less multiply folding when the CPU has it
// (checked once at run time), else slice-by-8.
std::uint32_t crc32Update(std::uint32_t crc, const void* data, std::size_t size);
// The portable fast path, always available.
std::uint32_t crc32UpdateSlice8(std::uint32_t crc, const void* data, std::size_t size);
// True when crc32Update uses the carry-less multiply path on this CPU.
bool crc32HasHardwarePath();

} // namespace zandrex
