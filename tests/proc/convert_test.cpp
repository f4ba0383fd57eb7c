#include "proc/convert.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <functional>
#include <vector>

#include "image/bitmap.h"
#include "proc/quantizer.h"

namespace {

void Prepare(TLXBitmap& bmp, int w, int h, TLXPixelFormat format, TLXLocation location = lxMemory) {
  bmp.MemoryThreshold = location == lxMemory ? INT64_MAX : 0;
  bmp.SetLocation(location);
  bmp.Allocate(w, h, format);
}

void MakeRGB(TLXBitmap& bmp, int w, int h, const std::function<TRGB(int, int)>& colour,
             TLXLocation location = lxMemory) {
  Prepare(bmp, w, h, lx24RGB, location);
  for (int y = 0; y < h; ++y) {
    TRGB* row = reinterpret_cast<TRGB*>(bmp.Scanline(y));
    for (int x = 0; x < w; ++x) row[x] = colour(x, y);
  }
}

TRGB Grey(int v) { return CreateRGB(uint8_t(v), uint8_t(v), uint8_t(v)); }
TRGB PixelAt(TLXBitmap& bmp, int x, int y) { return reinterpret_cast<TRGB*>(bmp.Scanline(y))[x]; }
bool White(TLXBitmap& bmp, int x, int y) { return bmp.Scanline(y)[x >> 3] & (0x80 >> (x & 7)); }

int CountWhite(TLXBitmap& bmp) {
  int n = 0;
  for (int y = 0; y < bmp.Height(); ++y)
    for (int x = 0; x < bmp.Width(); ++x) n += White(bmp, x, y);
  return n;
}

// Records every percentage reported.
struct Reports {
  std::vector<int> seen;
  void* sender = nullptr;
  TLXProgressEvent Event() {
    return [this](void* s, int percent) {
      sender = s;
      seen.push_back(percent);
    };
  }
};

}  // namespace

TEST(Convert, LuminanceOfThePrimaries) {
  EXPECT_EQ(Luminance(PackRGB(CreateRGB(255, 0, 0))), 53);
  EXPECT_EQ(Luminance(PackRGB(CreateRGB(0, 255, 0))), 181);
  EXPECT_EQ(Luminance(PackRGB(CreateRGB(0, 0, 255))), 20);
  EXPECT_EQ(Luminance(PackRGB(Grey(255))), 255);
  EXPECT_EQ(Luminance(CreateRGB(0, 255, 0)), 181);

  TLXBitmap bmp;
  const TRGB primaries[3] = {CreateRGB(255, 0, 0), CreateRGB(0, 255, 0), CreateRGB(0, 0, 255)};
  MakeRGB(bmp, 3, 2, [&](int x, int) { return primaries[x]; });
  GrayRect(&bmp, 0, 0, nullptr, {}, 99, 99);  // corners limited to the image
  EXPECT_EQ(PixelAt(bmp, 0, 1), Grey(53));
  EXPECT_EQ(PixelAt(bmp, 1, 0), Grey(181));
  EXPECT_EQ(PixelAt(bmp, 2, 1), Grey(20));
}

TEST(Convert, GrayRectTouchesOnlyItsRectangle) {
  TLXBitmap bmp;
  MakeRGB(bmp, 4, 4, [](int, int) { return CreateRGB(255, 0, 0); });
  Reports r;
  int sender = 0;
  GrayRect(&bmp, 1, 1, &sender, r.Event(), 3, 3);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) {
      const bool inside = x >= 1 && x < 3 && y >= 1 && y < 3;
      EXPECT_EQ(PixelAt(bmp, x, y), inside ? Grey(53) : CreateRGB(255, 0, 0)) << x << "," << y;
    }
  EXPECT_EQ(r.seen, (std::vector<int>{40, 80}));  // Trunc(k * 100 / 2.5)
  EXPECT_EQ(r.sender, &sender);
}

TEST(Convert, MeanColorIsTheMeanOfRowMeans) {
  TLXBitmap bmp;
  // Row 0: 0 and 1 -> 0; row 1: 255 and 255 -> 255; (0 + 255) div 2 = 127.
  MakeRGB(bmp, 2, 2, [](int x, int y) { return y == 0 ? CreateRGB(uint8_t(x), 10, 0) : CreateRGB(255, 30, 200); });
  EXPECT_EQ(MeanColor(&bmp), CreateRGB(127, 20, 100));
}

TEST(Convert, MeanColorOfEveryFormat) {
  TLXBitmap b1, b8p, b8g, b16, b32;
  Prepare(b1, 4, 1, lx1g);
  b1.Scanline(0)[0] = 0xA0;  // two of four pixels white
  EXPECT_EQ(MeanColor(&b1), Grey(127));

  Prepare(b8p, 2, 1, lx8p);
  b8p.SetPaletteEntry(3, PackRGB(CreateRGB(100, 50, 20)));
  b8p.Scanline(0)[0] = b8p.Scanline(0)[1] = 3;
  EXPECT_EQ(MeanColor(&b8p), CreateRGB(100, 50, 20));

  Prepare(b8g, 2, 1, lx8g);
  b8g.Scanline(0)[0] = 10;
  b8g.Scanline(0)[1] = 21;
  EXPECT_EQ(MeanColor(&b8g), Grey(15));

  Prepare(b16, 2, 1, lx16g);
  const uint16_t s16[2] = {0x1234, 0x56ff};
  std::memcpy(b16.Scanline(0), s16, 4);
  EXPECT_EQ(MeanColor(&b16), Grey((0x12 + 0x56) / 2));

  Prepare(b32, 3, 1, lx32f);
  const float s32[3] = {1.0f, 0.5f, NAN};  // 255, 127, and a NaN that counts as 0
  std::memcpy(b32.Scanline(0), s32, 12);
  EXPECT_EQ(MeanColor(&b32), Grey((255 + 127) / 3));
}

TEST(Convert, EmptyImagesHaveAMiddleGreyMean) {
  TLXBitmap empty;
  EXPECT_EQ(MeanColor(&empty), Grey(128));
  EXPECT_EQ(MeanColor(nullptr), Grey(128));
  TLXBitmap dst;
  ThresholdToMono(&empty, &dst, -1, {});  // no division by zero, no pixels
  EXPECT_EQ(CountWhite(dst), 0);
}

TEST(Convert, ThresholdAtTheMeanLuminance) {
  // Mean colour (100,100,100): luminance 100; 100 and above become white.
  TLXBitmap bmp;
  const int values[4] = {99, 100, 101, 100};
  MakeRGB(bmp, 4, 1, [&](int x, int) { return Grey(values[x]); });
  ConvertTo(&bmp, 2, 1, nullptr, {});
  ASSERT_EQ(bmp.PixelFormat(), lx1g);
  EXPECT_FALSE(White(bmp, 0, 0));
  EXPECT_TRUE(White(bmp, 1, 0));
  EXPECT_TRUE(White(bmp, 2, 0));
  EXPECT_TRUE(White(bmp, 3, 0));
}

TEST(Convert, ThresholdReadsEverySourceFormat) {
  struct Case { TLXPixelFormat format; int threshold; };
  // Each source holds the greys 0, 64, 128, 255 in its own encoding.
  for (const Case c : {Case{lx8g, 128}, Case{lx16g, 128}, Case{lx32f, 128}, Case{lx8p, 128},
                       Case{lx24RGB, 128}, Case{lx8g, 64}, Case{lx8g, -1}}) {
    TLXBitmap src, dst;
    Prepare(src, 4, 1, c.format);
    const int greys[4] = {0, 64, 128, 255};
    uint8_t* row = src.Scanline(0);
    for (int x = 0; x < 4; ++x) {
      const int v = greys[x];
      switch (c.format) {
        case lx8g: row[x] = uint8_t(v); break;
        case lx16g: { const uint16_t s = uint16_t(v * 256 + 255); std::memcpy(row + 2 * x, &s, 2); break; }
        case lx32f: { const float f = (v + 0.5f) / 255; std::memcpy(row + 4 * x, &f, 4); break; }
        case lx8p: row[x] = uint8_t(x); src.SetPaletteEntry(x, PackRGB(Grey(v))); break;
        default: reinterpret_cast<TRGB*>(row)[x] = Grey(v); break;
      }
    }
    ThresholdToMono(&src, &dst, c.threshold, {});
    ASSERT_EQ(dst.PixelFormat(), lx1g);
    ASSERT_EQ(dst.Width(), 4);
    const int level = c.threshold == -1 ? (0 + 64 + 128 + 255) / 4 : c.threshold;  // mean 111
    for (int x = 0; x < 4; ++x)
      EXPECT_EQ(White(dst, x, 0), greys[x] >= level) << int(c.format) << " t" << c.threshold << " x" << x;
  }
}

TEST(Convert, ThresholdOfAMonoSourceCopiesIt) {
  TLXBitmap src, dst;
  Prepare(src, 9, 2, lx1g);
  src.Scanline(0)[0] = 0x5A;
  src.Scanline(1)[1] = 0x80;
  ThresholdToMono(&src, &dst, 200, {});
  ASSERT_EQ(dst.PixelFormat(), lx1g);
  EXPECT_EQ(dst.Scanline(0)[0], 0x5A);
  EXPECT_EQ(dst.Scanline(1)[1], 0x80);
}

TEST(Convert, DitherOfWhiteAndNearWhite) {
  TLXBitmap white, near;
  MakeRGB(white, 16, 16, [](int, int) { return Grey(255); });
  DitherToMono(&white);
  ASSERT_EQ(white.PixelFormat(), lx1g);
  EXPECT_EQ(CountWhite(white), 256);

  // (250,250,250): level 62; black only where the matrix holds 62 or 63.
  MakeRGB(near, 16, 16, [](int, int) { return Grey(250); });
  ConvertTo(&near, 2, 0, nullptr, {});
  ASSERT_EQ(near.PixelFormat(), lx1g);
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) {
      const bool black = (x % 8 == 3 && y % 8 == 4) || (x % 8 == 7 && y % 8 == 0);
      EXPECT_EQ(White(near, x, y), !black) << x << "," << y;
    }
}

TEST(Convert, DitherOfLevel32IsHalfWhite) {
  TLXBitmap bmp;
  MakeRGB(bmp, 24, 8, [](int, int) { return Grey(129); });  // luminance 129, level 32
  Reports r;
  DitherToMono(&bmp, MakeMonoProgress(r.Event(), nullptr, 8));
  EXPECT_EQ(CountWhite(bmp), 24 * 8 / 2);
  EXPECT_EQ(r.seen.size(), 8u);
  EXPECT_EQ(r.seen.back(), 94);  // Trunc(8 * 100 / 8.5)
}

TEST(Convert, MonoConversionsLeaveOtherFormats) {
  TLXBitmap g;
  Prepare(g, 4, 4, lx8g);
  DitherToMono(&g);
  ConvertToMono(&g, -1);
  ConvertTo(&g, 2, 1, nullptr, {});
  QuantizeInPlace(&g, 16, nullptr, nullptr, {});
  EXPECT_EQ(g.PixelFormat(), lx8g);
}

TEST(Convert, SixteenColoursStayAndGreysStep) {
  TLXBitmap colour, grey;
  MakeRGB(colour, 16, 3, [](int x, int y) { return CreateRGB(uint8_t(x * 13), uint8_t(200 - x), uint8_t(y * 0 + 7 * x)); });
  ConvertTo(&colour, 16, 0, nullptr, {});
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 16; ++x) EXPECT_EQ(PixelAt(colour, x, y), CreateRGB(uint8_t(x * 13), uint8_t(200 - x), uint8_t(7 * x)));

  MakeRGB(grey, 256, 1, [](int x, int) { return Grey(x); });
  ConvertTo(&grey, 16, 0, nullptr, {});
  ASSERT_EQ(grey.PixelFormat(), lx24RGB);
  for (int x = 0; x < 256; ++x) EXPECT_EQ(PixelAt(grey, x, 0), Grey(16 * (x / 16))) << x;
}

TEST(Convert, TooManyColoursChangeNothing) {
  TLXBitmap bmp;
  MakeRGB(bmp, 40, 40, [](int x, int y) { return CreateRGB(uint8_t(x * 6), uint8_t(y * 6), uint8_t(x + y)); });
  ConvertTo(&bmp, 2000, 0, nullptr, {});
  EXPECT_EQ(bmp.PixelFormat(), lx24RGB);
  EXPECT_EQ(PixelAt(bmp, 39, 39), CreateRGB(234, 234, 78));
}

TEST(Convert, QuantizeInPlaceUsesOnlyPaletteColours) {
  TLXBitmap bmp;
  MakeRGB(bmp, 64, 32, [](int x, int y) { return CreateRGB(uint8_t(x * 4), uint8_t(y * 8), uint8_t(x * y)); });
  for (int n : {15, 255}) {
    TLXBitmap copy;
    MakeRGB(copy, 64, 32, [&](int x, int y) { return PixelAt(bmp, x, y); });
    std::vector<TRGB> palette(static_cast<size_t>(n));
    Reports r;
    QuantizeInPlace(&copy, n, palette.data(), nullptr, r.Event());
    for (int y = 0; y < 32; ++y)
      for (int x = 0; x < 64; ++x) {
        const TRGB c = PixelAt(copy, x, y);
        EXPECT_NE(std::find(palette.begin(), palette.end(), c), palette.end()) << n;
      }
    ASSERT_EQ(r.seen.size(), 32u);
    EXPECT_EQ(r.seen.back(), 98);  // Trunc(100 / 32.5 * 32)
  }
}

TEST(Convert, ConvertToPaletteWritesOnlyEntriesThatExist) {
  const TRGB sentinel = CreateRGB(9, 9, 9);
  for (int n : {0, 1, 2}) {
    TLXBitmap bmp;
    MakeRGB(bmp, 8, 8, [](int x, int) { return Grey(x * 32); });
    TRGB palette[3] = {sentinel, sentinel, sentinel};
    ConvertToPalette(&bmp, n, palette, 1, nullptr, {});
    EXPECT_EQ(bmp.PixelFormat(), n == 0 ? lx24RGB : lx1g) << n;
    EXPECT_EQ(palette[0], n >= 1 ? Grey(0) : sentinel) << n;
    EXPECT_EQ(palette[1], n >= 2 ? Grey(255) : sentinel) << n;
    EXPECT_EQ(palette[2], sentinel) << n;
  }
  TLXBitmap bmp;
  MakeRGB(bmp, 4, 1, [](int x, int) { return CreateRGB(uint8_t(x), 0, 0); });
  TRGB palette[5] = {sentinel, sentinel, sentinel, sentinel, sentinel};
  ConvertToPalette(&bmp, 5, palette, 0, nullptr, {});
  EXPECT_EQ(palette[3], CreateRGB(3, 0, 0));  // the quantizer's exact list
  EXPECT_EQ(palette[4], sentinel);
}

// --- the pixel-format conversion of the image bitmap goes through these ---

TEST(SetPixelFormat, TrueColourToPaletteKeepsFewColoursExactly) {
  TLXBitmap bmp;
  // 256 colours: just what the palette holds.
  auto colour = [](int x, int y) { return CreateRGB(uint8_t((x % 16) * 16), uint8_t(y * 12), 77); };
  MakeRGB(bmp, 32, 16, colour);
  bmp.SetPixelFormat(lx8p);
  ASSERT_EQ(bmp.PixelFormat(), lx8p);
  ASSERT_EQ(bmp.PaletteCount(), 256);
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 32; ++x)
      ASSERT_EQ(bmp.GetPaletteEntry(bmp.Scanline(y)[x]), colour(x, y)) << x << "," << y;
  EXPECT_EQ(bmp.Scanline(0)[0], 0);   // first appearance, top row first
  EXPECT_EQ(bmp.Scanline(0)[1], 1);
}

TEST(SetPixelFormat, TrueColourToPaletteReducesManyColours) {
  auto colour = [](int x, int y) { return CreateRGB(uint8_t(x * 3), uint8_t(y * 3), uint8_t((x ^ y) * 2)); };
  for (int paletteColors : {256, 15}) {
    TLXBitmap bmp;
    MakeRGB(bmp, 80, 80, colour);
    bmp.PaletteColors = paletteColors;
    bmp.SetPixelFormat(lx8p);
    ASSERT_EQ(bmp.PixelFormat(), lx8p);
    int worst = 0;
    for (int y = 0; y < 80; ++y)
      for (int x = 0; x < 80; ++x) {
        const int index = bmp.Scanline(y)[x];
        ASSERT_LT(index, paletteColors);
        const TRGB a = bmp.GetPaletteEntry(index), b = colour(x, y);
        worst = std::max(worst, std::abs(a.r - b.r) + std::abs(a.g - b.g) + std::abs(a.b - b.b));
      }
    EXPECT_LT(worst, paletteColors == 256 ? 60 : 200) << paletteColors;
  }
}

TEST(SetPixelFormat, TrueColourToMonoByMeanThreshold) {
  TLXBitmap bmp;
  const int values[4] = {99, 100, 101, 100};
  MakeRGB(bmp, 4, 2, [&](int x, int) { return Grey(values[x]); });
  bmp.BilevelConversion = 1;
  bmp.SetPixelFormat(lx1g);
  ASSERT_EQ(bmp.PixelFormat(), lx1g);
  for (int y = 0; y < 2; ++y) {
    EXPECT_FALSE(White(bmp, 0, y));
    EXPECT_TRUE(White(bmp, 1, y));
    EXPECT_TRUE(White(bmp, 2, y));
  }
}

TEST(SetPixelFormat, TrueColourToMonoByDithering) {
  // In memory the level is luminance div 4, so white is 63 and loses to the
  // matrix's 63 at (7, 0); a platform bitmap counts near-white as level 64.
  TLXBitmap mem;
  MakeRGB(mem, 16, 8, [](int, int) { return Grey(255); });
  mem.BilevelConversion = 0;
  mem.SetPixelFormat(lx1g);
  ASSERT_EQ(mem.PixelFormat(), lx1g);
  EXPECT_EQ(CountWhite(mem), 16 * 8 - 2);
  EXPECT_FALSE(White(mem, 7, 0));
  EXPECT_FALSE(White(mem, 15, 0));

  TLXBitmap plat;
  MakeRGB(plat, 16, 8, [](int, int) { return Grey(251); });
  plat.SetLocation(lxTBitmap);
  plat.BilevelConversion = 0;
  plat.SetPixelFormat(lx1g);
  ASSERT_EQ(plat.PixelFormat(), lx1g);
  EXPECT_EQ(CountWhite(plat), 16 * 8);
}
