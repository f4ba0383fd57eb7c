// Writing a 32x32 32-bit icon from a 5640x3172 photo against the bare
// rfFastLinear resample of the same photo. The writer resamples straight from
// the source; "CopyThenResample" is the road of a working copy plus an undo
// snapshot, for comparison.
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdint>
#include <memory>

#include "codecs/ico/icowrite.h"
#include "image/bitmap.h"
#include "io/params.h"
#include "io/progress.h"
#include "platform/stream.h"
#include "proc/resample.h"
#include "proc/talvexproc.h"
#include "view/view.h"

namespace {

constexpr int kW = 5640, kH = 3172;

TLXBitmap& Photo(bool holes) {
  static std::unique_ptr<TLXBitmap> cache[2];
  auto& b = cache[holes];
  if (!b) {
    b = std::make_unique<TLXBitmap>();
    b->Allocate(kW, kH, lx24RGB);
    uint32_t seed = 12345;
    for (int y = 0; y < kH; ++y) {
      uint8_t* r = b->Scanline(y);
      for (int x = 0; x < kW; ++x) {
        seed = seed * 1664525u + 1013904223u;
        const int n = int(seed >> 28);
        r[x * 3] = uint8_t((x * 255) / kW + n);
        r[x * 3 + 1] = uint8_t((y * 255) / kH + n);
        r[x * 3 + 2] = uint8_t(((x ^ y) & 0xFF) / 2 + n);
      }
    }
    if (holes) {
      TLXBitmap* a = b->AlphaChannel();
      for (int y = 0; y < kH; ++y) {
        uint8_t* r = a->Scanline(y);
        for (int x = 0; x < kW; ++x) r[x] = (x / 64 + y / 64) % 3 == 0 ? 0 : 255;
      }
    }
  }
  return *b;
}

void BM_ResampleFastLinear_5640x3172_to_32(benchmark::State& state) {
  TLXBitmap& src = Photo(false);
  for (auto _ : state) {
    TLXBitmap dst;
    dst.Allocate(32, 32, lx24RGB);
    ResampleBitmap(&src, &dst, rfFastLinear);
    benchmark::DoNotOptimize(dst.Scanline(0));
  }
}
BENCHMARK(BM_ResampleFastLinear_5640x3172_to_32)->Unit(benchmark::kMillisecond);

void WriteIcon(benchmark::State& state, bool holes) {
  TLXBitmap& src = Photo(holes);
  TIOParamsVals params(nullptr);
  std::atomic<bool> abortFlag{false};
  TIOProgress progress;
  progress.abort = &abortFlag;
  const TIconSize size{32, 32};
  const int32_t depth = 32;
  for (auto _ : state) {
    TMemoryStream s;
    ICOWriteStream(s, &src, params, progress, &size, &depth, 1);
    benchmark::DoNotOptimize(s.Data().data());
  }
  if (abortFlag) state.SkipWithError("the writer failed");
}

void BM_IconWrite32x32x32_From5640x3172(benchmark::State& state) { WriteIcon(state, false); }
BENCHMARK(BM_IconWrite32x32x32_From5640x3172)->Unit(benchmark::kMillisecond);

// A source with fully transparent holes costs one private copy per file.
void BM_IconWrite32x32x32_From5640x3172WithHoles(benchmark::State& state) { WriteIcon(state, true); }
BENCHMARK(BM_IconWrite32x32x32_From5640x3172WithHoles)->Unit(benchmark::kMillisecond);

// The working copy in a hidden view, resampled in place with its undo snapshot.
void BM_CopyThenResample_5640x3172_to_32(benchmark::State& state) {
  TLXBitmap& src = Photo(false);
  for (auto _ : state) {
    TTalvexView view;
    view.Bitmap()->Assign(&src);
    view.ViewProc()->Resample(32, 32, rfFastLinear);
    benchmark::DoNotOptimize(view.Bitmap()->Scanline(0));
  }
}
BENCHMARK(BM_CopyThenResample_5640x3172_to_32)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
