// Resampling speed on the sizes the preview and the icon writer meet.
// QUELMAR_BENCH_SOURCE=<raw BGR file of WxH> reuses the peer script's pixels.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "image/bitmap.h"
#include "proc/resample.h"

static void FillSource(TLXBitmap& b, int w, int h) {
  b.Allocate(w, h, lx24RGB);
  std::vector<uint8_t> raw;
  if (const char* env = std::getenv("QUELMAR_BENCH_SOURCE")) {
    std::ifstream in(std::string(env) + "." + std::to_string(w) + "x" + std::to_string(h), std::ios::binary);
    raw.assign(std::istreambuf_iterator<char>(in), {});
  }
  std::mt19937 rng(uint32_t(w * 7 + h));
  for (int y = 0; y < h; ++y) {
    uint8_t* row = b.Scanline(y);
    for (int i = 0; i < w * 3; ++i) {
      const size_t k = size_t(y) * w * 3 + i;
      row[i] = k < raw.size() ? uint8_t(raw[k]) : uint8_t(rng());
    }
  }
}

static void BM_Resample(benchmark::State& state, int sw, int sh, int dw, int dh, TResampleFilter f) {
  TLXBitmap src, dst;
  FillSource(src, sw, sh);
  dst.Allocate(dw, dh, lx24RGB);
  for (auto _ : state) {
    ResampleFiltered24(&src, &dst, f);
    benchmark::DoNotOptimize(dst.Scanline(0));
  }
}

BENCHMARK_CAPTURE(BM_Resample, lanczos3_2560x1600_256, 2560, 1600, 256, 256, rfLanczos3)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Resample, bell_2560x1600_256, 2560, 1600, 256, 256, rfBell)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Resample, fastlinear_2560x1600_256, 2560, 1600, 256, 256, rfFastLinear)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Resample, bell_5640x3172_218x123, 5640, 3172, 218, 123, rfBell)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Resample, bell_218x123_enlarge_1090x615, 218, 123, 1090, 615, rfBell)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Resample, bicubic_area_2560x1600_256, 2560, 1600, 256, 256, rfBicubic)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
