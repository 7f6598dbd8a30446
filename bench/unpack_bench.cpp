// UnpackBlock throughput, in bytes of output, on a real executable packed by the producer:
// a large DLL of the installed Wine, or generated data when none is there.
//   unpack_bench [benchmark flags] [--file=PATH]
#include <benchmark/benchmark.h>
#include <stdio.h>
#include <string.h>

#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "bench/bench_ratio.h"
#include "packed/packed.h"
#include "packed/stream.h"
#include "tools/packer/packer.h"

namespace {

const char* const kCandidates[] = {
    "/usr/lib/x86_64-linux-gnu/wine/x86_64-windows/shell32.dll",
    "/usr/lib/x86_64-linux-gnu/wine/i386-windows/shell32.dll",
    "/usr/lib/wine/x86_64-windows/shell32.dll",
    "/usr/lib/i386-linux-gnu/wine/i386-windows/shell32.dll",
};

std::vector<uint8_t> ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Text-like runs and repeats, about as compressible as an executable.
std::vector<uint8_t> Generated() {
  std::vector<uint8_t> b;
  std::mt19937 rng(2);
  while (b.size() < (8u << 20)) {
    if (rng() % 3 || b.size() < 4096) {
      for (int i = 0, n = 1 + rng() % 64; i < n; ++i) b.push_back(static_cast<uint8_t>(rng() % 40));
    } else {
      size_t from = b.size() - 1 - rng() % 4000, n = 4 + rng() % 200;
      for (size_t i = 0; i < n; ++i) b.push_back(b[from + i]);
    }
  }
  return b;
}

struct TInput {
  std::string source;
  std::vector<uint8_t> data;
  TMemoryStream block;
};

TInput g_input;

void UnpackBlockBench(benchmark::State& state) {
  const uint32_t n = static_cast<uint32_t>(g_input.data.size());
  for (auto _ : state) {
    TMemoryStream dest;
    if (UnpackBlock(g_input.block, dest) != 0) {
      state.SkipWithError("UnpackBlock failed");
      break;
    }
    benchmark::DoNotOptimize(dest.Memory());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * n);
}

// The decoder alone into a ready buffer: what the block checks and copies add on top.
void AplibDepackBench(benchmark::State& state) {
  const uint32_t n = static_cast<uint32_t>(g_input.data.size());
  const uint8_t* packed = g_input.block.Memory() + kPackedHeaderSize;
  const uint32_t packedSize = g_input.block.Size() - kPackedHeaderSize;
  std::vector<uint8_t> out(n);
  for (auto _ : state) benchmark::DoNotOptimize(AplibDepack(packed, packedSize, out.data(), n));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * n);
}

void MemcpyBench(benchmark::State& state) {
  const size_t n = g_input.data.size();
  std::vector<uint8_t> out(n);
  for (auto _ : state) {
    memcpy(out.data(), g_input.data.data(), n);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * n));
}

BENCHMARK(UnpackBlockBench)->Unit(benchmark::kMillisecond);
BENCHMARK(AplibDepackBench)->Unit(benchmark::kMillisecond);
BENCHMARK(MemcpyBench)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  std::string file;
  std::vector<char*> args;
  for (int i = 0; i < argc; ++i) {
    if (strncmp(argv[i], "--file=", 7) == 0) file = argv[i] + 7;
    else args.push_back(argv[i]);
  }
  if (file.empty())
    for (const char* c : kCandidates)
      if (std::ifstream(c).good()) {
        file = c;
        break;
      }
  if (!file.empty()) g_input.data = ReadAll(file);
  g_input.source = g_input.data.empty() ? "generated data" : file;
  if (g_input.data.empty()) g_input.data = Generated();

  if (!WritePackedBlock(g_input.data.data(), static_cast<uint32_t>(g_input.data.size()), g_input.block)) {
    fprintf(stderr, "cannot pack %s\n", g_input.source.c_str());
    return 1;
  }
  printf("input: %s, %zu bytes, packed to %u (%.1f%%)\n", g_input.source.c_str(), g_input.data.size(),
         g_input.block.Size(), 100.0 * g_input.block.Size() / g_input.data.size());
  int n = static_cast<int>(args.size());
  return RunWithRatios(n, args.data(), {{"UnpackBlockBench", "AplibDepackBench"}, {"UnpackBlockBench", "MemcpyBench"}});
}
