// Reading a 10 MB file one byte at a time through TByteReader over the buffered
// TFileStream, against one bulk read of the whole file: alone, and followed by
// the same per-byte work over the memory (the goal: the byte reader within 3x
// of that); and one byte at a time straight from the (buffered) file stream.
// The file sits in the page cache after the first pass, so this measures the
// reading layers, not the disk.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "codecs/common/bytereader.h"
#include "platform/stream.h"

namespace {

constexpr int64_t kFileSize = 10 * 1000 * 1000;

const std::string& TestFile() {
  static const std::string name = [] {
    const std::string n = (std::filesystem::temp_directory_path() / "quelmar-bytereader-bench.bin").string();
    std::vector<char> data(static_cast<size_t>(kFileSize));
    uint32_t seed = 1;
    for (auto& c : data) c = char((seed = seed * 1664525u + 1013904223u) >> 24);
    std::ofstream(n, std::ios::binary).write(data.data(), std::streamsize(data.size()));
    return n;
  }();
  return name;
}

void BM_ByteReaderOneByteAtATime(benchmark::State& state) {
  for (auto _ : state) {
    TFileStream f(TestFile(), TFileMode::fmOpenRead);
    TByteReader r(f);
    uint32_t sum = 0;
    for (int64_t i = 0; i < kFileSize; ++i) sum += r.U8();
    benchmark::DoNotOptimize(sum);
  }
  state.SetBytesProcessed(state.iterations() * kFileSize);
}
BENCHMARK(BM_ByteReaderOneByteAtATime)->Unit(benchmark::kMillisecond);

void BM_ByteReaderLittleEndianWords(benchmark::State& state) {
  for (auto _ : state) {
    TFileStream f(TestFile(), TFileMode::fmOpenRead);
    TByteReader r(f);
    uint32_t sum = 0;
    for (int64_t i = 0; i < kFileSize / 4; ++i) sum += r.U32LE();
    benchmark::DoNotOptimize(sum);
  }
  state.SetBytesProcessed(state.iterations() * kFileSize);
}
BENCHMARK(BM_ByteReaderLittleEndianWords)->Unit(benchmark::kMillisecond);

void BM_BulkRead(benchmark::State& state) {
  std::vector<uint8_t> data(static_cast<size_t>(kFileSize));
  for (auto _ : state) {
    TFileStream f(TestFile(), TFileMode::fmOpenRead);
    benchmark::DoNotOptimize(f.Read(data.data(), kFileSize));
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * kFileSize);
}
BENCHMARK(BM_BulkRead)->Unit(benchmark::kMillisecond);

void BM_BulkReadThenSumBytes(benchmark::State& state) {
  std::vector<uint8_t> data(static_cast<size_t>(kFileSize));
  for (auto _ : state) {
    TFileStream f(TestFile(), TFileMode::fmOpenRead);
    f.Read(data.data(), kFileSize);
    uint32_t sum = 0;
    for (uint8_t b : data) sum += b;
    benchmark::DoNotOptimize(sum);
  }
  state.SetBytesProcessed(state.iterations() * kFileSize);
}
BENCHMARK(BM_BulkReadThenSumBytes)->Unit(benchmark::kMillisecond);

void BM_FileStreamOneByteAtATime(benchmark::State& state) {
  for (auto _ : state) {
    TFileStream f(TestFile(), TFileMode::fmOpenRead);
    uint32_t sum = 0;
    uint8_t b = 0;
    for (int64_t i = 0; i < kFileSize; ++i) {
      f.Read(&b, 1);
      sum += b;
    }
    benchmark::DoNotOptimize(sum);
  }
  state.SetBytesProcessed(state.iterations() * kFileSize);
}
BENCHMARK(BM_FileStreamOneByteAtATime)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
