// Internal to the CRC-32 code: the register-level kernels behind crc32Update, shared between the
// portable file and the file that holds the instruction-set specific kernels. Every kernel takes
// and returns the raw register (not inverted), so they compose with each other.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zandrex::detail {

// Slice-by-8 over the raw register; always available.
std::uint32_t crc32Slice8Register(std::uint32_t reg, const std::uint8_t* data, std::size_t size);

// True when the CPU offers PCLMULQDQ with SSE4.1, so crc32PclmulRegister may be called.
bool crc32CpuHasPclmul();
// True when the CPU offers VPCLMULQDQ with AVX-512, so crc32Vpclmul512Register may be called.
bool crc32CpuHasVpclmul512();

// 128-bit carry-less multiply folding, four lanes at a time. Needs crc32CpuHasPclmul().
std::uint32_t crc32PclmulRegister(std::uint32_t reg, const std::uint8_t* data, std::size_t size);
// 512-bit carry-less multiply folding, four registers at a time. Needs crc32CpuHasVpclmul512().
std::uint32_t crc32Vpclmul512Register(std::uint32_t reg, const std::uint8_t* data,
                                      std::size_t size);

} // namespace zandrex::detail
