// RenderToTBitmap: clipping, maps, row copies, the six formats, blending, the filtered path.
#include "image/render.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "platform/bitmap.h"
#include "proc/resample.h"

namespace {

// Counts the source rows fetched, to see the row copies.
class CountingBitmap : public TLXBitmap {
public:
  int fetched = 0;
  uint8_t* Scanline(int y) override {
    ++fetched;
    return TLXBitmap::Scanline(y);
  }
};

TRGB At(TBitmap& t, int x, int y) {
  const uint8_t* p = t.ScanLine(y) + x * 3;
  return TRGB{p[0], p[1], p[2]};
}

void MakeTarget(TBitmap& t, int w, int h, uint8_t fill = 7) {
  t.SetBitsPerPixel(24);
  t.SetSize(w, h);
  for (int y = 0; y < h; ++y) std::memset(t.ScanLine(y), fill, size_t(t.RowBytes()));
}

// Every pixel distinct: blue = x, green = y, red = x + y.
void Gradient24(TLXBitmap& b, int w, int h) {
  b.Allocate(w, h, lx24RGB);
  for (int y = 0; y < h; ++y) {
    uint8_t* p = b.Scanline(y);
    for (int x = 0; x < w; ++x, p += 3) {
      p[0] = uint8_t(x * 10);
      p[1] = uint8_t(y * 10);
      p[2] = uint8_t(x + y);
    }
  }
}

TRGB Src(TLXBitmap& b, int x, int y) {
  const uint8_t* p = b.Scanline(y) + x * 3;
  return TRGB{p[0], p[1], p[2]};
}

void Draw(TLXBitmap* src, TBitmap& target, int dx, int dy, int dw, int dh, int sx, int sy, int sw, int sh,
          bool alpha = false, bool rowCopy = false, int transparency = 255, TResampleFilter f = rfNone,
          const TRect* clip = nullptr) {
  std::vector<uint8_t*> rows;
  std::vector<int32_t> xm, ym;
  RenderToTBitmap(src, &target, &rows, &xm, &ym, clip, dx, dy, dw, dh, sx, sy, sw, sh, alpha, rowCopy,
                  transparency, f, true, 0);
}

TEST(Render, DoublingRepeatsEveryPixelAndCopiesRows) {
  for (bool rowCopy : {false, true}) {
    CountingBitmap src;
    Gradient24(src, 10, 10);
    TBitmap target;
    MakeTarget(target, 20, 20);
    src.fetched = 0;
    Draw(&src, target, 0, 0, 20, 20, 0, 0, 10, 10, false, rowCopy);
    EXPECT_EQ(src.fetched, rowCopy ? 10 : 20);
    for (int y = 0; y < 20; ++y)
      for (int x = 0; x < 20; ++x) ASSERT_EQ(At(target, x, y), Src(src, x / 2, y / 2)) << x << "," << y;
  }
}

TEST(Render, ScaleOneCopiesSegmentsAndHonoursTheClip) {
  TLXBitmap src;
  Gradient24(src, 10, 10);
  TBitmap target;
  MakeTarget(target, 12, 12);
  const TRect clip = Rect(3, 2, 8, 6);
  Draw(&src, target, 1, 1, 10, 10, 0, 0, 10, 10, false, false, 255, rfNone, &clip);
  for (int y = 0; y < 12; ++y)
    for (int x = 0; x < 12; ++x) {
      if (x >= 3 && x < 8 && y >= 2 && y < 6)
        ASSERT_EQ(At(target, x, y), Src(src, x - 1, y - 1));
      else
        ASSERT_EQ(At(target, x, y), (TRGB{7, 7, 7})) << x << "," << y;
    }
}

TEST(Render, NegativeDestinationOriginSkipsTheHiddenSourceColumns) {
  TLXBitmap src;
  Gradient24(src, 10, 10);
  TBitmap target;
  MakeTarget(target, 30, 30);
  // Scale 2 starting at x = -5: column 0 shows source column Trunc(5 * 0.5) = 2.
  Draw(&src, target, -5, 0, 20, 20, 0, 0, 10, 10);
  EXPECT_EQ(At(target, 0, 0), Src(src, 2, 0));
  EXPECT_EQ(At(target, 0, 19), Src(src, 2, 9));
  EXPECT_EQ(At(target, 15, 0), (TRGB{7, 7, 7}));  // 15 columns were left
  EXPECT_EQ(At(target, 14, 0), Src(src, 9, 0));
}

TEST(Render, NothingIsDrawnForEmptyOrOutsideRectangles) {
  TLXBitmap src;
  Gradient24(src, 4, 4);
  TBitmap target;
  MakeTarget(target, 8, 8);
  Draw(&src, target, 8, 0, 4, 4, 0, 0, 4, 4);
  Draw(&src, target, 0, 8, 4, 4, 0, 0, 4, 4);
  Draw(&src, target, 0, 0, 0, 4, 0, 0, 4, 4);
  Draw(&src, target, 0, 0, 4, 4, 0, 0, 4, 0);
  Draw(&src, target, -100, -100, 4, 4, 0, 0, 4, 4);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) ASSERT_EQ(At(target, x, y), (TRGB{7, 7, 7}));
  // A source rectangle passing the bitmap is cut at its edge, never read beyond.
  Draw(&src, target, 0, 0, 8, 8, 2, 2, 100, 100);
  // The two columns and rows left are spread over the destination.
  EXPECT_EQ(At(target, 0, 0), Src(src, 2, 2));
  EXPECT_EQ(At(target, 3, 3), Src(src, 2, 2));
  EXPECT_EQ(At(target, 4, 4), Src(src, 3, 3));
  EXPECT_EQ(At(target, 7, 7), Src(src, 3, 3));
}

TEST(Render, CallerMapsAreUsedAndClampedIntoTheSource) {
  TLXBitmap src;
  Gradient24(src, 4, 4);
  TBitmap target;
  MakeTarget(target, 4, 1);
  std::vector<uint8_t*> rows;
  std::vector<int32_t> xm{3, -7, 1000, 0}, ym{2};
  RenderToTBitmap(&src, &target, &rows, &xm, &ym, nullptr, 0, 0, 4, 1, 0, 0, 3, 1, false, false, 255, rfNone,
                  true, 0);
  EXPECT_EQ(At(target, 0, 0), Src(src, 3, 2));
  EXPECT_EQ(At(target, 1, 0), Src(src, 0, 2));
  EXPECT_EQ(At(target, 2, 0), Src(src, 3, 2));
  EXPECT_EQ(At(target, 3, 0), Src(src, 0, 2));
}

TEST(Render, BuiltMapsAreHandedBackUnlessFreed) {
  TLXBitmap src;
  Gradient24(src, 4, 4);
  TBitmap target;
  MakeTarget(target, 8, 8);
  std::vector<uint8_t*> rows;
  std::vector<int32_t> xm, ym;
  RenderToTBitmap(&src, &target, &rows, &xm, &ym, nullptr, 0, 0, 8, 8, 0, 0, 4, 4, false, false, 255, rfNone,
                  false, 0);
  EXPECT_EQ(xm, (std::vector<int32_t>{0, 0, 1, 1, 2, 2, 3, 3}));
  EXPECT_EQ(ym.size(), 8u);
  EXPECT_EQ(rows.size(), 8u);
}

TEST(Render, Grey16UsesTheDisplayRange) {
  TLXBitmap src;
  src.Allocate(4, 1, lx16g);
  const uint16_t v[4] = {1500, 500, 2500, 0xABCD};
  std::memcpy(src.Scanline(0), v, sizeof v);
  TBitmap target;
  MakeTarget(target, 4, 1);
  Draw(&src, target, 0, 0, 4, 1, 0, 0, 4, 1);
  EXPECT_EQ(At(target, 0, 0).g, 1500 >> 8);
  EXPECT_EQ(At(target, 3, 0), (TRGB{0xAB, 0xAB, 0xAB}));
  src.DisplayMin = 1000;
  src.DisplayMax = 2000;
  Draw(&src, target, 0, 0, 4, 1, 0, 0, 4, 1);
  EXPECT_EQ(At(target, 0, 0), (TRGB{127, 127, 127}));
  EXPECT_EQ(At(target, 1, 0).r, 0);    // clamped up to DisplayMin
  EXPECT_EQ(At(target, 2, 0).r, 255);  // clamped down to DisplayMax
  // A range that truncates to one value falls back to the plain levels.
  src.DisplayMin = 0.2;
  src.DisplayMax = 0.7;
  Draw(&src, target, 0, 0, 4, 1, 0, 0, 4, 1);
  EXPECT_EQ(At(target, 3, 0).r, 0xAB);
}

TEST(Render, EveryFormatDrawsItsColours) {
  TBitmap target;
  {
    TLXBitmap b;
    b.Allocate(9, 1, lx1g);
    b.Scanline(0)[0] = 0xA0;  // 1010 0000
    b.Scanline(0)[1] = 0x80;
    MakeTarget(target, 9, 1);
    Draw(&b, target, 0, 0, 9, 1, 0, 0, 9, 1);
    EXPECT_EQ(At(target, 0, 0), (TRGB{255, 255, 255}));
    EXPECT_EQ(At(target, 1, 0), (TRGB{0, 0, 0}));
    EXPECT_EQ(At(target, 2, 0), (TRGB{255, 255, 255}));
    EXPECT_EQ(At(target, 8, 0), (TRGB{255, 255, 255}));
  }
  {
    TLXBitmap b;
    b.Allocate(2, 1, lx8p);
    b.SetPaletteEntry(5, PackRGB(CreateRGB(10, 20, 30)));
    b.Scanline(0)[0] = 5;
    b.Scanline(0)[1] = 0;
    MakeTarget(target, 2, 1);
    Draw(&b, target, 0, 0, 2, 1, 0, 0, 2, 1);
    EXPECT_EQ(At(target, 0, 0), CreateRGB(10, 20, 30));
  }
  {
    TLXBitmap b;
    b.Allocate(2, 1, lx8g);
    b.Scanline(0)[0] = 77;
    b.Scanline(0)[1] = 200;
    MakeTarget(target, 2, 1);
    Draw(&b, target, 0, 0, 2, 1, 0, 0, 2, 1);
    EXPECT_EQ(At(target, 0, 0), (TRGB{77, 77, 77}));
    EXPECT_EQ(At(target, 1, 0), (TRGB{200, 200, 200}));
  }
  {
    TLXBitmap b;
    b.SetLocation(lxMemory);
    b.Allocate(4, 1, lx32f);
    const float f[4] = {0.5f, 1.0f, -3.0f, std::nanf("")};
    std::memcpy(b.Scanline(0), f, sizeof f);
    MakeTarget(target, 4, 1);
    Draw(&b, target, 0, 0, 4, 1, 0, 0, 4, 1);
    EXPECT_EQ(At(target, 0, 0).r, 127);
    EXPECT_EQ(At(target, 1, 0).r, 255);
    EXPECT_EQ(At(target, 2, 0).r, 0);  // out-of-range samples are clamped
    EXPECT_EQ(At(target, 3, 0).r, 0);
  }
}

TEST(Render, AlphaBlendsWithTheFormulaAndFullAlphaIsOpaque) {
  TLXBitmap src;
  src.Allocate(3, 1, lx24RGB);
  std::memset(src.Scanline(0), 200, 9);
  TLXBitmap* a = src.AlphaChannel();
  a->Scanline(0)[0] = 0;
  a->Scanline(0)[1] = 100;
  a->Scanline(0)[2] = 255;
  a->Full = false;
  auto blend = [](int d, int s, int t) { return int(d + std::floor((s - d) * t / 256.0)); };

  TBitmap target;
  MakeTarget(target, 3, 1, 40);
  Draw(&src, target, 0, 0, 3, 1, 0, 0, 3, 1, true);
  EXPECT_EQ(At(target, 0, 0).r, 40);
  EXPECT_EQ(At(target, 1, 0).r, blend(40, 200, 100));
  EXPECT_EQ(At(target, 2, 0).r, blend(40, 200, 255));  // 255 moves only 255/256 of the way
  EXPECT_EQ(At(target, 2, 0).r, 199);

  // t = min(transparency, alpha).
  MakeTarget(target, 3, 1, 40);
  Draw(&src, target, 0, 0, 3, 1, 0, 0, 3, 1, true, false, 64);
  EXPECT_EQ(At(target, 1, 0).r, blend(40, 200, 64));
  EXPECT_EQ(At(target, 2, 0).r, blend(40, 200, 64));

  // Darker source than target: the floor of a negative step.
  MakeTarget(target, 3, 1, 250);
  Draw(&src, target, 0, 0, 3, 1, 0, 0, 3, 1, true);
  EXPECT_EQ(At(target, 1, 0).r, blend(250, 200, 100));

  // Alpha off: the channel is ignored; a transparency below 255 still blends.
  MakeTarget(target, 3, 1, 40);
  Draw(&src, target, 0, 0, 3, 1, 0, 0, 3, 1, false, false, 128);
  EXPECT_EQ(At(target, 0, 0).r, blend(40, 200, 128));

  // A Full channel takes the opaque renderer.
  a->Full = true;
  MakeTarget(target, 3, 1, 40);
  Draw(&src, target, 0, 0, 3, 1, 0, 0, 3, 1, true);
  EXPECT_EQ(At(target, 0, 0).r, 200);
  EXPECT_EQ(At(target, 2, 0).r, 200);
}

TEST(Render, FilterAtScaleOneDrawsExactlyTheSource) {
  TLXBitmap src;
  Gradient24(src, 16, 8);
  TBitmap target;
  MakeTarget(target, 16, 8);
  Draw(&src, target, 0, 0, 16, 8, 0, 0, 16, 8, false, true, 255, rfBell);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 16; ++x) ASSERT_EQ(At(target, x, y), Src(src, x, y));
}

TEST(Render, FilteredPathResamplesOnlyTheSourceRectangle) {
  TLXBitmap src;
  Gradient24(src, 40, 30);
  TBitmap target;
  MakeTarget(target, 25, 20);
  Draw(&src, target, 0, 0, 25, 20, 5, 4, 20, 15, false, false, 255, rfBell);
  TLXBitmap part, expected;
  part.SetLocation(lxMemory);
  part.Allocate(20, 15, lx24RGB);
  src.CopyRectTo(&part, 5, 4, 0, 0, 20, 15);
  expected.SetLocation(lxMemory);
  expected.Allocate(25, 20, lx24RGB);
  ResampleFiltered24(&part, &expected, rfBell);
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 25; ++x) ASSERT_EQ(At(target, x, y), Src(expected, x, y)) << x << "," << y;
}

TEST(Render, PaletteImagesIgnoreTheFilter) {
  TLXBitmap src;
  src.Allocate(2, 1, lx8p);
  src.SetPaletteEntry(1, PackRGB(CreateRGB(255, 0, 0)));
  src.SetPaletteEntry(2, PackRGB(CreateRGB(0, 0, 255)));
  src.Scanline(0)[0] = 1;
  src.Scanline(0)[1] = 2;
  TBitmap target;
  MakeTarget(target, 8, 2);
  Draw(&src, target, 0, 0, 8, 2, 0, 0, 2, 1, false, false, 255, rfBell);
  for (int x = 0; x < 8; ++x) EXPECT_EQ(At(target, x, 1), x < 4 ? CreateRGB(255, 0, 0) : CreateRGB(0, 0, 255));
}

TEST(Render, FilteredMonoAndAlphaSources) {
  // Black and white drawn smaller goes through the area reduction: a half-set
  // 2x2 box becomes mid grey.
  TLXBitmap mono;
  mono.Allocate(4, 4, lx1g);
  for (int y = 0; y < 4; ++y) mono.Scanline(y)[0] = 0xA0;  // 1010....
  TBitmap target;
  MakeTarget(target, 2, 2);
  Draw(&mono, target, 0, 0, 2, 2, 0, 0, 4, 4, false, false, 255, rfBell);
  EXPECT_EQ(At(target, 0, 0).r, 127);

  // Colour with an alpha channel: both resampled, then blended.
  TLXBitmap src;
  Gradient24(src, 8, 8);
  TLXBitmap* a = src.AlphaChannel();
  a->Fill(0);
  a->Full = false;
  MakeTarget(target, 16, 16, 33);
  Draw(&src, target, 0, 0, 16, 16, 0, 0, 8, 8, true, false, 255, rfBell);
  EXPECT_EQ(At(target, 5, 5), (TRGB{33, 33, 33}));  // fully transparent everywhere
}

}  // namespace
