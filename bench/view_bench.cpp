// One composition of the converter's preview (a 5640x3172 photo shrunk into the
// 222x222 view with rfBell) against the bare resampling it cannot avoid.
#include <benchmark/benchmark.h>

#include <cstdint>

#include "platform/bitmap.h"
#include "proc/resample.h"
#include "tests/view/fakehost.h"
#include "view/view.h"

namespace {

constexpr int kPhotoW = 5640, kPhotoH = 3172;

// Smooth gradients with some texture, like a photo.
void FillPhoto(TLXBitmap& b) {
  b.Allocate(kPhotoW, kPhotoH, lx24RGB);
  uint32_t seed = 12345;
  for (int y = 0; y < kPhotoH; ++y) {
    uint8_t* p = b.Scanline(y);
    for (int x = 0; x < kPhotoW; ++x, p += 3) {
      seed = seed * 1664525u + 1013904223u;
      const int n = int(seed >> 28);
      p[0] = uint8_t((x * 255 / kPhotoW + n) & 255);
      p[1] = uint8_t((y * 255 / kPhotoH + n) & 255);
      p[2] = uint8_t(((x + y) / 40 + n) & 255);
    }
  }
}

struct Preview {
  FakeViewHost host;
  TTalvexView view{&host};
  Preview() {
    host.view = &view;
    view.SetZoomFilter(rfBell);
    view.SetAutoShrink(true);
    FillPhoto(*view.Bitmap());
    view.Update();
    host.Expose();
  }
};

Preview& ThePreview() {
  static Preview p;
  return p;
}

void BM_ViewComposition(benchmark::State& state) {
  Preview& p = ThePreview();
  for (auto _ : state) {
    p.view.Update();  // marks the back buffer for a full redraw
    p.host.Expose();
  }
  state.counters["drawn_w"] = p.view.DrawnWidth();
  state.counters["drawn_h"] = p.view.DrawnHeight();
  state.counters["src_w"] = p.view.VisibleSrcWidth();
  state.counters["src_h"] = p.view.VisibleSrcHeight();
}
BENCHMARK(BM_ViewComposition)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();

void BM_BareResampleFiltered24(benchmark::State& state) {
  Preview& p = ThePreview();
  TLXBitmap dst;
  dst.SetLocation(lxMemory);
  dst.Allocate(p.view.DrawnWidth(), p.view.DrawnHeight(), lx24RGB);
  for (auto _ : state) {
    ResampleFiltered24(p.view.Bitmap(), &dst, rfBell);
    benchmark::DoNotOptimize(dst.Scanline(0));
  }
}
BENCHMARK(BM_BareResampleFiltered24)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();

// Expose events without a change only copy from the back buffer.
void BM_ViewExposeUnchanged(benchmark::State& state) {
  Preview& p = ThePreview();
  p.host.Expose();
  for (auto _ : state) p.host.Expose();
}
BENCHMARK(BM_ViewExposeUnchanged)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
