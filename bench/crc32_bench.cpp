// CRC-32 throughput of every path, so their ratios can be read from one run. The large buffer
// measures what a file read sees (memory bound); the small one stays in cache and shows the
// kernels' own speed.
#include "digest/crc32.h"
#include "digest/crc32_detail.h"

#include <benchmark/benchmark.h>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

namespace {

constexpr std::int64_t kInCache = std::int64_t{256} << 10;
constexpr std::int64_t kLarge = std::int64_t{1} << 30;

const std::vector<std::uint8_t>& sharedBuffer(std::int64_t size) {
  // One buffer for every benchmark: filling a gigabyte costs more than a measurement.
  static std::vector<std::uint8_t> bytes = [] {
    std::vector<std::uint8_t> filled(static_cast<std::size_t>(kLarge));
    std::mt19937_64 rng(1);
    for (std::size_t i = 0; i + sizeof(std::uint64_t) <= filled.size();
         i += sizeof(std::uint64_t)) {
      const std::uint64_t word = rng();
      std::memcpy(filled.data() + i, &word, sizeof word);
    }
    return filled;
  }();
  (void)size;
  return bytes;
}

template <std::uint32_t (*Update)(std::uint32_t, const void*, std::size_t)>
void runUpdate(benchmark::State& state) {
  const std::int64_t size = state.range(0);
  const auto& bytes = sharedBuffer(size);
  for (auto _ : state)
    benchmark::DoNotOptimize(Update(0, bytes.data(), static_cast<std::size_t>(size)));
  state.SetBytesProcessed(state.iterations() * size);
}

std::uint32_t pclmulUpdate(std::uint32_t crc, const void* data, std::size_t size) {
  return ~zandrex::detail::crc32PclmulRegister(~crc, static_cast<const std::uint8_t*>(data), size);
}

std::uint32_t vpclmul512Update(std::uint32_t crc, const void* data, std::size_t size) {
  return ~zandrex::detail::crc32Vpclmul512Register(~crc, static_cast<const std::uint8_t*>(data),
                                                   size);
}

void BM_Bytewise(benchmark::State& state) {
  runUpdate<zandrex::crc32UpdateBytewise>(state);
}
void BM_Slice8(benchmark::State& state) {
  runUpdate<zandrex::crc32UpdateSlice8>(state);
}
void BM_Crc32Update(benchmark::State& state) {
  runUpdate<zandrex::crc32Update>(state);
}

void BM_Pclmul(benchmark::State& state) {
  if (!zandrex::detail::crc32CpuHasPclmul()) {
    state.SkipWithError("no PCLMULQDQ on this CPU");
    return;
  }
  runUpdate<pclmulUpdate>(state);
}

void BM_Vpclmul512(benchmark::State& state) {
  if (!zandrex::detail::crc32CpuHasVpclmul512()) {
    state.SkipWithError("no VPCLMULQDQ with AVX-512 on this CPU");
    return;
  }
  runUpdate<vpclmul512Update>(state);
}

} // namespace

BENCHMARK(BM_Bytewise)->Arg(kInCache)->Arg(kLarge)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Slice8)->Arg(kInCache)->Arg(kLarge)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Crc32Update)->Arg(kInCache)->Arg(kLarge)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Pclmul)->Arg(kInCache)->Arg(kLarge)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Vpclmul512)->Arg(kInCache)->Arg(kLarge)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
