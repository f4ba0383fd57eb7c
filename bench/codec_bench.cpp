// Decoding speed of the PNG and JPEG bridges, beside a bare libpng read loop.
#include <benchmark/benchmark.h>

#include <png.h>

#include <atomic>
#include <cstdlib>
#include <string>
#include <cstring>
#include <memory>

#include "codecs/jpeg.h"
#include "codecs/png.h"
#include "image/bitmap.h"
#include "image/mask.h"
#include "io/params.h"
#include "io/progress.h"
#include "platform/stream.h"

namespace {

void Photo(TLXBitmap& b, int w, int h) {
  b.Allocate(w, h, lx24RGB);
  uint32_t seed = 12345;
  for (int y = 0; y < h; ++y) {
    uint8_t* r = b.Scanline(y);
    for (int x = 0; x < w; ++x) {
      seed = seed * 1664525u + 1013904223u;
      const int n = int(seed >> 28);
      r[x * 3] = uint8_t((x * 255) / w + n);
      r[x * 3 + 1] = uint8_t((y * 255) / h + n);
      r[x * 3 + 2] = uint8_t(((x ^ y) & 0xFF) / 2 + n);
    }
  }
}

const std::vector<uint8_t>& JpegFile(int w, int h, bool progressive) {
  static std::vector<uint8_t> cache[2];
  auto& v = cache[progressive];
  if (v.empty()) {
    TLXBitmap b;
    Photo(b, w, h);
    TIOParamsVals p(nullptr);
    p.JPEGQuality = 100;
    p.JPEGProgressive = progressive;
    TMemoryStream s;
    std::atomic<bool> abort{false};
    TIOProgress prog;
    prog.abort = &abort;
    JPEGWriteStream(s, &b, p, prog);
    v = s.Data();
  }
  return v;
}

void BM_JpegDecodeProgressive5640x3172(benchmark::State& state) {
  const auto& data = JpegFile(5640, 3172, true);
  for (auto _ : state) {
    TMemoryStream s(data);
    TLXBitmap b;
    b.MemoryThreshold = int64_t(1) << 40;
    TIOParamsVals p(nullptr);
    std::atomic<bool> abort{false};
    TIOProgress prog;
    prog.abort = &abort;
    JPEGReadStream(s, &b, p, prog, false);
    benchmark::DoNotOptimize(b.Scanline(0));
  }
}
BENCHMARK(BM_JpegDecodeProgressive5640x3172)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_JpegDecodeBaseline2560x1600(benchmark::State& state) {
  const auto& data = JpegFile(2560, 1600, false);
  for (auto _ : state) {
    TMemoryStream s(data);
    TLXBitmap b;
    b.MemoryThreshold = int64_t(1) << 40;
    TIOParamsVals p(nullptr);
    std::atomic<bool> abort{false};
    TIOProgress prog;
    prog.abort = &abort;
    JPEGReadStream(s, &b, p, prog, false);
    benchmark::DoNotOptimize(b.Scanline(0));
  }
}
BENCHMARK(BM_JpegDecodeBaseline2560x1600)->Unit(benchmark::kMillisecond);

const std::vector<uint8_t>& PngRGBA() {
  static std::vector<uint8_t> v;
  if (v.empty()) {
    TLXBitmap b;
    Photo(b, 1920, 1200);
    TLXMask m;
    m.Allocate(1920, 1200, 8);
    for (int y = 0; y < 1200; ++y)
      for (int x = 0; x < 1920; ++x) m.Scanline(y)[x] = uint8_t(x + y);
    m.Full = false;
    TIOParamsVals p(nullptr);
    p.SamplesPerPixel = 4;
    TMemoryStream s;
    std::atomic<bool> abort{false};
    TIOProgress prog;
    prog.abort = &abort;
    PNGWriteStream(s, &b, p, prog, &m);
    v = s.Data();
  }
  return v;
}

void BM_PngDecodeRGBA1920x1200(benchmark::State& state) {
  const auto& data = PngRGBA();
  for (auto _ : state) {
    TMemoryStream s(data);
    TLXBitmap b;
    b.MemoryThreshold = int64_t(1) << 40;
    TIOParamsVals p(nullptr);
    std::unique_ptr<TLXMask> mask;
    std::atomic<bool> abort{false};
    TIOProgress prog;
    prog.abort = &abort;
    PNGReadStream(s, &b, p, prog, false, false, mask);
    benchmark::DoNotOptimize(b.Scanline(0));
  }
}
BENCHMARK(BM_PngDecodeRGBA1920x1200)->Unit(benchmark::kMillisecond);

struct MemReader {
  const uint8_t* p;
  size_t left;
};

void BareRead(png_structp png, png_bytep out, png_size_t n) {
  auto* r = static_cast<MemReader*>(png_get_io_ptr(png));
  if (n > r->left) png_error(png, "short");
  std::memcpy(out, r->p, n);
  r->p += n;
  r->left -= n;
}

// The same file through libpng alone, one row buffer, no bitmap.
void BM_PngBareLibpngRGBA1920x1200(benchmark::State& state) {
  const auto& data = PngRGBA();
  std::vector<uint8_t> row(1920 * 4);
  for (auto _ : state) {
    MemReader r{data.data(), data.size()};
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
      png_destroy_read_struct(&png, &info, nullptr);
      state.SkipWithError("libpng error");
      break;
    }
    png_set_read_fn(png, &r, BareRead);
    png_read_info(png, info);
    png_set_bgr(png);
    png_read_update_info(png, info);
    for (png_uint_32 y = 0; y < png_get_image_height(png, info); ++y) png_read_row(png, row.data(), nullptr);
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    benchmark::DoNotOptimize(row.data());
  }
}
BENCHMARK(BM_PngBareLibpngRGBA1920x1200)->Unit(benchmark::kMillisecond);

// A file of the caller's (QUELMAR_BENCH_JPEG), for side-by-side runs with djpeg.
void BM_JpegDecodeFile(benchmark::State& state, std::string path) {
  TMemoryStream file;
  file.LoadFromFile(path);
  for (auto _ : state) {
    TMemoryStream s(file.Data());
    TLXBitmap b;
    b.MemoryThreshold = int64_t(1) << 40;
    TIOParamsVals p(nullptr);
    std::atomic<bool> abort{false};
    TIOProgress prog;
    prog.abort = &abort;
    JPEGReadStream(s, &b, p, prog, false);
    benchmark::DoNotOptimize(b.Scanline(0));
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (const char* f = std::getenv("QUELMAR_BENCH_JPEG"))
    benchmark::RegisterBenchmark("BM_JpegDecodeFile", BM_JpegDecodeFile, std::string(f))
        ->Unit(benchmark::kMillisecond);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
