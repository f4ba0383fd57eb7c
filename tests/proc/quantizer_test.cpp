#include "proc/quantizer.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <functional>
#include <random>
#include <vector>

#include "image/bitmap.h"

namespace {

void MakeRGB(TLXBitmap& bmp, int w, int h, const std::function<TRGB(int, int)>& colour,
             TLXLocation location = lxMemory) {
  bmp.MemoryThreshold = location == lxMemory ? INT64_MAX : 0;
  bmp.SetLocation(location);
  bmp.Allocate(w, h, lx24RGB);
  for (int y = 0; y < h; ++y) {
    TRGB* row = reinterpret_cast<TRGB*>(bmp.Scanline(y));
    for (int x = 0; x < w; ++x) row[x] = colour(x, y);
  }
}

// A smooth colourful picture; every pixel of a 64 x 64 corner has its own colour.
TRGB Colourful(int x, int y) {
  return CreateRGB(uint8_t(x * 4 + (y & 3)), uint8_t(y * 4 + (x & 3)), uint8_t((x + y) * 2));
}

int L1(TRGB a, TRGB b) { return std::abs(a.r - b.r) + std::abs(a.g - b.g) + std::abs(a.b - b.b); }

const TRGB kSentinel = CreateRGB(1, 2, 3);

}  // namespace

TEST(Quantizer, ExactListKeepsFirstAppearanceOrder) {
  // Ten colours, met bottom-to-top in reverse order: the top row decides.
  const TRGB colours[10] = {CreateRGB(10, 0, 0),  CreateRGB(0, 20, 0),  CreateRGB(0, 0, 30),
                            CreateRGB(40, 40, 0), CreateRGB(0, 50, 50), CreateRGB(60, 0, 60),
                            CreateRGB(70, 1, 2),  CreateRGB(8, 80, 9),  CreateRGB(90, 9, 90),
                            CreateRGB(200, 100, 0)};
  TLXBitmap bmp;
  MakeRGB(bmp, 10, 3, [&](int x, int y) { return colours[y == 0 ? x : 9 - x]; });
  std::vector<TRGB> palette(15, kSentinel);
  TLXQuantizer q(&bmp, palette.data(), 255, 15, -1, 0);
  EXPECT_EQ(q.Mode(), TLXQuantizer::qmExact);
  EXPECT_EQ(q.EntriesWritten(), 10);
  for (int i = 0; i < 10; ++i) {
    EXPECT_EQ(palette[size_t(i)], colours[i]) << i;
    EXPECT_EQ(q.ColorToIndex(colours[i]), i);
  }
  for (int i = 10; i < 15; ++i) EXPECT_EQ(palette[size_t(i)], kSentinel) << "entry " << i << " was written";
  EXPECT_EQ(q.ColorToIndex(CreateRGB(1, 1, 1)), -1);
}

TEST(Quantizer, OneColourTooManyDropsTheExactList) {
  TLXBitmap bmp;
  MakeRGB(bmp, 16, 1, [](int x, int) { return CreateRGB(uint8_t(x * 16), 0, 0); });
  std::vector<TRGB> palette(16, kSentinel);
  TLXQuantizer q(&bmp, palette.data(), 255, 15, -1, 0);
  EXPECT_EQ(q.Mode(), TLXQuantizer::qmBoxes);
  TLXQuantizer q16(&bmp, palette.data(), 255, 16, -1, 0);
  EXPECT_EQ(q16.Mode(), TLXQuantizer::qmExact);
}

TEST(Quantizer, GreyImageGetsTheRamp) {
  TLXBitmap bmp;
  MakeRGB(bmp, 256, 1, [](int x, int) { return CreateRGB(uint8_t(x), uint8_t(x), uint8_t(x)); });
  std::vector<TRGB> palette(15);
  TLXQuantizer q(&bmp, palette.data(), 255, 15, -1, 0);
  EXPECT_EQ(q.Mode(), TLXQuantizer::qmGrayRamp);
  const int ramp[15] = {0, 17, 34, 51, 68, 85, 102, 119, 136, 153, 170, 187, 204, 221, 238};
  for (int i = 0; i < 15; ++i) EXPECT_EQ(palette[size_t(i)], CreateRGB(ramp[i], ramp[i], ramp[i])) << i;
  EXPECT_EQ(q.ColorToIndex(CreateRGB(255, 255, 255)), 14);
  EXPECT_EQ(q.ColorToIndex(CreateRGB(17, 17, 17)), 0);   // 17*15/256 = 0.99
  EXPECT_EQ(q.ColorToIndex(CreateRGB(18, 0, 255)), 1);   // only red is read
}

TEST(Quantizer, OtherFormatsUseTheirPaletteOrTheRamp) {
  TLXBitmap pal;
  pal.MemoryThreshold = INT64_MAX;
  pal.SetLocation(lxMemory);
  pal.Allocate(4, 1, lx8p);
  for (int i = 0; i < 256; ++i) pal.SetPaletteEntry(i, PackRGB(CreateRGB(uint8_t(i), 0, uint8_t(255 - i))));
  std::vector<TRGB> palette(16);
  TLXQuantizer q(&pal, palette.data(), 255, 16, -1, 0);
  EXPECT_EQ(q.Mode(), TLXQuantizer::qmPalette);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(palette[size_t(i)], CreateRGB(uint8_t(i), 0, uint8_t(255 - i)));
  EXPECT_EQ(q.ColorToIndex(CreateRGB(200, 0, 55)), 200);  // any entry, not only the first n
  EXPECT_EQ(q.ColorToIndex(CreateRGB(200, 1, 55)), 256);  // no match: PaletteCount

  for (int i = 0; i < 256; ++i) pal.SetPaletteEntry(i, PackRGB(CreateRGB(uint8_t(i), uint8_t(i), uint8_t(i))));
  TLXQuantizer grey(&pal, palette.data(), 255, 16, -1, 0);
  EXPECT_EQ(grey.Mode(), TLXQuantizer::qmGrayPalette);
  EXPECT_EQ(palette[5], CreateRGB(5, 5, 5));
  EXPECT_EQ(grey.ColorToIndex(CreateRGB(200, 0, 0)), 12);

  TLXBitmap g8;
  g8.MemoryThreshold = INT64_MAX;
  g8.SetLocation(lxMemory);
  g8.Allocate(4, 1, lx8g);
  TLXQuantizer ramp(&g8, palette.data(), 255, 16, -1, 0);
  EXPECT_EQ(ramp.Mode(), TLXQuantizer::qmGrayRamp);
  EXPECT_EQ(palette[15], CreateRGB(240, 240, 240));
}

TEST(Quantizer, NetworkSampleFactorFollowsTheImageSize) {
  struct Case { int side, quality, samplefac; };
  const Case cases[] = {
      {16, -1, 1}, {32, -1, 1}, {64, -1, 2}, {256, -1, 8},  // 65536 px: Round(7.58)
      {64, 0, 30}, {64, 100, 1}, {64, 50, 15},
  };
  for (const Case& c : cases) {
    TLXBitmap bmp;
    MakeRGB(bmp, c.side, c.side, Colourful);
    std::vector<TRGB> palette(255);
    TLXQuantizer q(&bmp, palette.data(), 255, 255, c.quality, 0);
    ASSERT_EQ(q.Mode(), TLXQuantizer::qmNetwork) << c.side;
    EXPECT_EQ(q.SampleFactor(), c.samplefac) << c.side << " q" << c.quality;
    EXPECT_EQ(q.EntriesWritten(), 255);
  }
}

TEST(Quantizer, NetworkSearchFindsTheNearestEntry) {
  // The index search walks outward from the green index but must end on an
  // entry at the least L1 distance of all.
  TLXBitmap bmp;
  MakeRGB(bmp, 64, 64, Colourful);
  for (int n : {128, 255, 256, 1024}) {
    std::vector<TRGB> palette(static_cast<size_t>(n));
    TLXQuantizer q(&bmp, palette.data(), 255, n, -1, 0);
    ASSERT_EQ(q.Mode(), TLXQuantizer::qmNetwork);
    std::mt19937 rng(n);
    for (int t = 0; t < 500; ++t) {
      const TRGB c = CreateRGB(uint8_t(rng()), uint8_t(rng()), uint8_t(rng()));
      const int i = q.ColorToIndex(c);
      ASSERT_GE(i, 0);
      ASSERT_LT(i, n);
      int best = INT_MAX;
      for (const TRGB& p : palette) best = std::min(best, L1(p, c));
      ASSERT_EQ(L1(palette[size_t(i)], c), best) << "n " << n;
    }
  }
}

TEST(Quantizer, FileStoreGivesTheSameNetwork) {
  TLXBitmap mem, file;
  MakeRGB(mem, 80, 50, Colourful, lxMemory);
  MakeRGB(file, 80, 50, Colourful, lxFile);
  std::vector<TRGB> a(255), b(255);
  TLXQuantizer qa(&mem, a.data(), 255, 255, -1, 0);
  TLXQuantizer qb(&file, b.data(), 255, 255, -1, 0);
  EXPECT_EQ(a, b);
}

TEST(Quantizer, BiasShiftsTheCompetition) {
  EXPECT_EQ(TLXQuantizer::BiasDist(100, -65536), 116);
  EXPECT_EQ(TLXQuantizer::BiasDist(100, 4096), 99);
  EXPECT_EQ(TLXQuantizer::BiasDist(100, -1), 101);  // rounds toward minus infinity
}

TEST(Quantizer, OneHistogramCellMakesOneBox) {
  // Twenty colours differing only in the three low bits of each channel.
  TLXBitmap bmp;
  MakeRGB(bmp, 20, 2, [](int x, int) {
    return CreateRGB(uint8_t(160 + x % 8), uint8_t(80 + x / 8), uint8_t(40 + (x * 3) % 8));
  });
  std::vector<TRGB> palette(15, kSentinel);
  TLXQuantizer q(&bmp, palette.data(), 255, 15, -1, 0);
  ASSERT_EQ(q.Mode(), TLXQuantizer::qmBoxes);
  EXPECT_EQ(q.EntriesWritten(), 1);
  EXPECT_EQ(palette[0], CreateRGB(160, 80, 40));
  EXPECT_EQ(palette[1], kSentinel);
  for (int x = 0; x < 20; ++x) EXPECT_EQ(q.ColorToIndex(TRGB(reinterpret_cast<TRGB*>(bmp.Scanline(0))[x])), 0);
  EXPECT_EQ(q.ColorToIndex(CreateRGB(0, 0, 0)), 0);  // cells no box covers
}

TEST(Quantizer, BoxesSeparateTwoClusters) {
  // Dark and light clusters of ten colours each; two boxes split them on red.
  TLXBitmap bmp;
  MakeRGB(bmp, 20, 4, [](int x, int) {
    const uint8_t base = x < 10 ? 0 : 248;
    return CreateRGB(uint8_t(base + x % 5), uint8_t(base + x % 2), uint8_t(base + 7 - x % 8));
  });
  std::vector<TRGB> palette(2, kSentinel);
  TLXQuantizer q(&bmp, palette.data(), 255, 2, -1, 0);
  ASSERT_EQ(q.Mode(), TLXQuantizer::qmBoxes);
  ASSERT_EQ(q.EntriesWritten(), 2);
  EXPECT_EQ(palette[0], CreateRGB(0, 0, 0));
  EXPECT_EQ(palette[1], CreateRGB(248, 248, 248));
  EXPECT_EQ(q.ColorToIndex(CreateRGB(3, 2, 7)), 0);
  EXPECT_EQ(q.ColorToIndex(CreateRGB(3, 200, 7)), 0);  // a cell no box covers
  EXPECT_EQ(q.ColorToIndex(CreateRGB(255, 250, 249)), 1);
}

TEST(Quantizer, BoxesWeighAVeryWideImageByItsTruePixelCount) {
  // 65537 x 1: sides narrowed to 16 bits would count one pixel.
  TLXBitmap bmp;
  MakeRGB(bmp, 65537, 1, [](int x, int) {
    const uint8_t base = x % 2 ? 248 : 0;
    return CreateRGB(uint8_t(base + x % 7), uint8_t(base + x % 3), base);
  });
  std::vector<TRGB> palette(2, kSentinel);
  TLXQuantizer q(&bmp, palette.data(), 255, 2, -1, 0);
  ASSERT_EQ(q.Mode(), TLXQuantizer::qmBoxes);
  ASSERT_EQ(q.EntriesWritten(), 2);
  EXPECT_EQ(palette[0], CreateRGB(0, 0, 0));
  EXPECT_EQ(palette[1], CreateRGB(248, 248, 248));
}

TEST(Quantizer, BoxesCoverARichImage) {
  TLXBitmap bmp;
  MakeRGB(bmp, 64, 64, Colourful);
  for (int n : {3, 15, 100, 127}) {
    std::vector<TRGB> palette(static_cast<size_t>(n));
    TLXQuantizer q(&bmp, palette.data(), 255, n, -1, 0);
    ASSERT_EQ(q.Mode(), TLXQuantizer::qmBoxes);
    EXPECT_EQ(q.EntriesWritten(), n);
    // Every pixel's box is a box that exists and whose colour is near it.
    for (int y = 0; y < 64; y += 7)
      for (int x = 0; x < 64; x += 5) {
        const TRGB c = Colourful(x, y);
        const int i = q.ColorToIndex(c);
        ASSERT_GE(i, 0);
        ASSERT_LT(i, n);
        if (n >= 100) {
          EXPECT_LT(L1(palette[size_t(i)], c), 90) << n;
        }
      }
  }
}

TEST(Quantizer, NoColoursAskedForWritesNothing) {
  TLXBitmap bmp;
  MakeRGB(bmp, 4, 4, Colourful);
  TRGB palette[1] = {kSentinel};
  TLXQuantizer q(&bmp, palette, 255, 0, -1, 0);
  EXPECT_EQ(q.EntriesWritten(), 0);
  EXPECT_EQ(q.ColorToIndex(CreateRGB(1, 2, 3)), -1);
  EXPECT_EQ(palette[0], kSentinel);
}
