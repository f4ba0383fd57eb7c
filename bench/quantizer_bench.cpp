// Colour reduction of a 256 x 256 photo-like crop: 255 colours (the network) and
// 15 colours (box splitting), as the icon writer asks for them. Reports the time
// and the PSNR of the reduced picture against the source.
//
// QUELMAR_QUANT_SOURCE=<binary PPM> uses that picture instead of the synthetic
// one; QUELMAR_QUANT_DUMP=<folder> writes source.ppm, ours-255.ppm and
// ours-15.ppm there for bench/peers-quantizer.sh.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "image/bitmap.h"
#include "proc/quantizer.h"

namespace {

constexpr int kSide = 256;

struct TPicture {
  int width = 0, height = 0;
  std::vector<TRGB> pixels;  // rows top to bottom
};

// Smooth shading, a few soft blobs, fine texture and mild noise: the statistics of
// a photo crop (thousands of nearby colours), made the same on every machine.
TPicture Synthetic() {
  TPicture p{kSide, kSide, std::vector<TRGB>(size_t(kSide) * kSide)};
  uint32_t seed = 12345;
  auto noise = [&] {
    seed = seed * 1664525u + 1013904223u;
    return int(seed >> 28) - 8;
  };
  struct Blob { double x, y, r, cr, cg, cb; };
  const Blob blobs[] = {{70, 60, 50, 220, 120, 60},  {180, 90, 70, 60, 140, 210},
                        {120, 190, 60, 90, 200, 80}, {220, 220, 40, 240, 230, 180},
                        {40, 200, 45, 150, 60, 140}};
  for (int y = 0; y < kSide; ++y)
    for (int x = 0; x < kSide; ++x) {
      double r = 40 + 0.5 * y, g = 70 + 0.3 * x, b = 110 + 0.25 * (kSide - y);
      for (const Blob& bl : blobs) {
        const double d2 = ((x - bl.x) * (x - bl.x) + (y - bl.y) * (y - bl.y)) / (bl.r * bl.r);
        const double w = std::exp(-d2);
        r += w * (bl.cr - r);
        g += w * (bl.cg - g);
        b += w * (bl.cb - b);
      }
      const double texture = 10 * std::sin(x * 0.21) * std::cos(y * 0.17);
      auto level = [&](double v) { return uint8_t(std::clamp(int(v + texture) + noise(), 0, 255)); };
      p.pixels[size_t(y) * kSide + x] = CreateRGB(level(r), level(g), level(b));
    }
  return p;
}

bool ReadPPM(const std::string& path, TPicture& p) {
  std::ifstream in(path, std::ios::binary);
  std::string magic;
  int maxval = 0;
  in >> magic >> p.width >> p.height >> maxval;
  if (!in || magic != "P6" || maxval != 255 || p.width <= 0 || p.height <= 0 || p.width > 8192 ||
      p.height > 8192)
    return false;
  in.get();
  p.pixels.resize(size_t(p.width) * p.height);
  for (TRGB& c : p.pixels) {
    char rgb[3];
    if (!in.read(rgb, 3)) return false;
    c = CreateRGB(uint8_t(rgb[0]), uint8_t(rgb[1]), uint8_t(rgb[2]));
  }
  return true;
}

void WritePPM(const std::string& path, const TPicture& p) {
  std::ofstream out(path, std::ios::binary);
  out << "P6\n" << p.width << " " << p.height << "\n255\n";
  for (const TRGB& c : p.pixels) out.put(char(c.r)).put(char(c.g)).put(char(c.b));
}

const TPicture& Source() {
  static const TPicture picture = [] {
    TPicture p;
    if (const char* path = std::getenv("QUELMAR_QUANT_SOURCE"); path && ReadPPM(path, p)) return p;
    return Synthetic();
  }();
  return picture;
}

void Load(TLXBitmap& bmp, const TPicture& p) {
  bmp.MemoryThreshold = INT64_MAX;
  bmp.SetLocation(lxMemory);
  bmp.Allocate(p.width, p.height, lx24RGB);
  for (int y = 0; y < p.height; ++y) {
    TRGB* row = reinterpret_cast<TRGB*>(bmp.Scanline(y));
    for (int x = 0; x < p.width; ++x) row[x] = p.pixels[size_t(y) * p.width + x];
  }
}

// Builds the quantizer and maps every pixel, as the icon writer does.
TPicture Reduce(TLXBitmap& bmp, const TPicture& p, int n) {
  std::vector<TRGB> palette(static_cast<size_t>(n));
  TLXQuantizer q(&bmp, palette.data(), 255, n, -1, 0);
  TPicture out{p.width, p.height, std::vector<TRGB>(p.pixels.size())};
  for (size_t i = 0; i < p.pixels.size(); ++i) {
    const int index = q.ColorToIndex(p.pixels[i]);
    out.pixels[i] = index >= 0 && index < n ? palette[size_t(index)] : p.pixels[i];
  }
  return out;
}

double PSNR(const TPicture& a, const TPicture& b) {
  double sum = 0;
  for (size_t i = 0; i < a.pixels.size(); ++i) {
    const double dr = a.pixels[i].r - b.pixels[i].r, dg = a.pixels[i].g - b.pixels[i].g,
                 db = a.pixels[i].b - b.pixels[i].b;
    sum += dr * dr + dg * dg + db * db;
  }
  const double mse = sum / (3.0 * double(a.pixels.size()));
  return mse == 0 ? INFINITY : 10 * std::log10(255.0 * 255.0 / mse);
}

void BM_Quantize(benchmark::State& state, int n) {
  const TPicture& src = Source();
  TLXBitmap bmp;
  Load(bmp, src);
  TPicture reduced;
  for (auto _ : state) {
    reduced = Reduce(bmp, src, n);
    benchmark::DoNotOptimize(reduced.pixels.data());
  }
  state.counters["PSNR_dB"] = PSNR(src, reduced);
  size_t colours = 0;
  {
    std::vector<bool> seen(1 << 24);
    for (const TRGB& c : reduced.pixels)
      if (!seen[size_t(PackRGB(c))]) {
        seen[size_t(PackRGB(c))] = true;
        ++colours;
      }
  }
  state.counters["colours"] = double(colours);
  if (const char* dump = std::getenv("QUELMAR_QUANT_DUMP")) {
    WritePPM(std::string(dump) + "/source.ppm", src);
    WritePPM(std::string(dump) + "/ours-" + std::to_string(n) + ".ppm", reduced);
  }
}

}  // namespace

BENCHMARK_CAPTURE(BM_Quantize, network_255, 255)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Quantize, boxes_15, 15)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
