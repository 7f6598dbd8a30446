// Crc32 throughput against zlib's crc32 and a plain memcpy over the same buffer.
#include <benchmark/benchmark.h>
#include <string.h>
#include <zlib.h>

#include <random>
#include <vector>

#include "bench/bench_ratio.h"
#include "packed/packed.h"

namespace {

constexpr size_t kSize = 1 << 20;  // fits in L2/L3, so the loop and not memory is measured

const std::vector<uint8_t>& Buffer() {
  static const std::vector<uint8_t> data = [] {
    std::vector<uint8_t> b(kSize);
    std::mt19937 rng(1);
    for (auto& x : b) x = static_cast<uint8_t>(rng());
    return b;
  }();
  return data;
}

void Crc32Ours(benchmark::State& state) {
  const auto& b = Buffer();
  for (auto _ : state) benchmark::DoNotOptimize(Crc32(b.data(), kSize));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kSize));
}

void Crc32Zlib(benchmark::State& state) {
  const auto& b = Buffer();
  for (auto _ : state) benchmark::DoNotOptimize(crc32(0, b.data(), kSize));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kSize));
}

void Memcpy(benchmark::State& state) {
  const auto& b = Buffer();
  std::vector<uint8_t> to(kSize);
  for (auto _ : state) {
    memcpy(to.data(), b.data(), kSize);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kSize));
}

BENCHMARK(Crc32Ours);
BENCHMARK(Crc32Zlib);
BENCHMARK(Memcpy);

}  // namespace

int main(int argc, char** argv) {
  const auto& b = Buffer();
  if (Crc32(b.data(), kSize) != crc32(0, b.data(), kSize)) {
    fprintf(stderr, "Crc32 disagrees with zlib\n");
    return 1;
  }
  return RunWithRatios(argc, argv, {{"Crc32Ours", "Crc32Zlib"}, {"Crc32Ours", "Memcpy"}});
}
