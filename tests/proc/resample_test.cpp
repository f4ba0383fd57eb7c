#include "proc/resample.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "image/bitmap.h"
#include "tests/proc/resample_reference.h"

namespace {

RefImage RandomImage(int w, int h, int c, uint32_t seed) {
  RefImage im(w, h, c);
  std::mt19937 rng(seed);
  // Mostly smooth with some hard edges, so clamping and overshoot are exercised.
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      for (int ch = 0; ch < c; ++ch) {
        uint32_t r = rng();
        im.at(x, y, ch) = (r & 3) == 0 ? uint8_t((r >> 8) & 1 ? 255 : 0) : uint8_t(r >> 16);
      }
  return im;
}

void Load(TLXBitmap& b, const RefImage& im, TLXPixelFormat fmt) {
  b.Allocate(im.w, im.h, fmt);
  for (int y = 0; y < im.h; ++y) {
    uint8_t* row = b.Scanline(y);
    if (fmt == lx1g) {
      std::fill(row, row + b.RowLength(), 0);
      for (int x = 0; x < im.w; ++x)
        if (im.at(x, y, 0)) row[x >> 3] |= uint8_t(0x80 >> (x & 7));
    } else {
      std::copy(im.px.begin() + ptrdiff_t(size_t(y) * im.w * im.c),
                im.px.begin() + ptrdiff_t(size_t(y + 1) * im.w * im.c), row);
    }
  }
}

RefImage Store(TLXBitmap& b, int c) {
  RefImage im(b.Width(), b.Height(), c);
  for (int y = 0; y < im.h; ++y) {
    const uint8_t* row = b.Scanline(y);
    std::copy(row, row + size_t(im.w) * c, im.px.begin() + ptrdiff_t(size_t(y) * im.w * c));
  }
  return im;
}

// Grey of an lx24RGB bitmap, checking that the three channels agree.
RefImage StoreGrey(TLXBitmap& b) {
  RefImage rgb = Store(b, 3), g(rgb.w, rgb.h, 1);
  for (int y = 0; y < rgb.h; ++y)
    for (int x = 0; x < rgb.w; ++x) {
      EXPECT_EQ(rgb.at(x, y, 0), rgb.at(x, y, 1));
      EXPECT_EQ(rgb.at(x, y, 0), rgb.at(x, y, 2));
      g.at(x, y, 0) = rgb.at(x, y, 0);
    }
  return g;
}

struct Size2 {
  int sw, sh, dw, dh;
};

// Enlarging, reducing, mixed, 1- and 2-pixel edges, odd widths, and sizes big
// enough for the work to be split across threads.
const std::vector<Size2> kSizes = {
    {2, 2, 3, 3},    {1, 2, 5, 7},     {2, 1, 7, 5},    {2, 2, 1, 1},     {3, 2, 2, 9},   {7, 5, 13, 3},
    {33, 17, 5, 40}, {64, 48, 17, 9},  {3, 100, 1, 7},  {100, 3, 9, 1},   {13, 11, 13, 11}, {40, 30, 123, 77},
    {255, 7, 16, 2}, {301, 203, 64, 61}, {97, 211, 250, 30}, {480, 320, 31, 299},
    {100, 4, 1, 2},  // lists wider than the source: the sparse loops
};

std::string Label(const Size2& s, int f) {
  return std::to_string(s.sw) + "x" + std::to_string(s.sh) + "->" + std::to_string(s.dw) + "x" +
         std::to_string(s.dh) + " filter " + std::to_string(f);
}

}  // namespace

TEST(ResampleKernels, TableAndValues) {
  const double radius[9] = {0, 1, 1, 1.5, 2, 3, 2, 1, 1};
  for (int f = 1; f <= 8; ++f) EXPECT_EQ(ResampleKernelOf(TResampleFilter(f)).support, radius[f]) << f;
  EXPECT_EQ(ResampleKernelOf(rfNone).kernel, nullptr);
  EXPECT_EQ(ResampleKernelOf(rfFastLinear).kernel, nullptr);
  auto k = [](TResampleFilter f, double x) { return ResampleKernelOf(f).kernel(x); };
  EXPECT_DOUBLE_EQ(k(rfTriangle, 0.25), 0.75);
  EXPECT_DOUBLE_EQ(k(rfHermite, 0.5), 0.5);
  EXPECT_DOUBLE_EQ(k(rfBell, 0), 0.75);
  EXPECT_DOUBLE_EQ(k(rfBell, 1), 0.125);
  EXPECT_DOUBLE_EQ(k(rfBell, -1.5), 0);
  EXPECT_NEAR(k(rfBSpline, 0), 2.0 / 3, 1e-15);
  EXPECT_NEAR(k(rfBSpline, 1), 1.0 / 6, 1e-15);
  EXPECT_DOUBLE_EQ(k(rfLanczos3, 0), 1);
  EXPECT_NEAR(k(rfLanczos3, 1), 0, 1e-15);
  const double pi = 3.14159265358979323846, t = 0.5;
  EXPECT_NEAR(k(rfLanczos3, t), std::sin(pi * t) / (pi * t) * std::sin(pi * t / 3) / (pi * t / 3), 1e-15);
  EXPECT_NEAR(k(rfMitchell, 0), 16.0 / 18, 1e-15);
  EXPECT_NEAR(k(rfMitchell, 1), 1.0 / 18, 1e-15);
  EXPECT_EQ(k(rfNearest, 0.5), 1);
  EXPECT_EQ(k(rfNearest, -0.5), 0);
  EXPECT_EQ(k(rfLinear, -1), 0);
  EXPECT_DOUBLE_EQ(k(rfLinear, -0.25), 0.75);
}

TEST(ResampleReference, TwoPassColourPlaneAndMonoMatchForEveryFilter) {
  for (const Size2& s : kSizes)
    for (int f = rfTriangle; f <= rfLinear; ++f) {
      const RefImage im = RandomImage(s.sw, s.sh, 3, uint32_t(s.sw * 131 + s.sh * 7 + f));
      const RefImage want = RefTwoPass(im, s.dw, s.dh, TResampleFilter(f));
      TLXBitmap src, dst;
      Load(src, im, lx24RGB);
      dst.Allocate(s.dw, s.dh, lx24RGB);
      ResampleFiltered24(&src, &dst, TResampleFilter(f));
      ASSERT_EQ(Store(dst, 3).px, want.px) << Label(s, f);

      RefImage plane(s.sw, s.sh, 1);
      for (size_t i = 0; i < plane.px.size(); ++i) plane.px[i] = im.px[i * 3 + 1];
      TLXBitmap p8, d8;
      Load(p8, plane, lx8g);
      d8.Allocate(s.dw, s.dh, lx8g);
      ResampleFilteredPlane8(&p8, &d8, TResampleFilter(f));
      ASSERT_EQ(Store(d8, 1).px, RefTwoPass(plane, s.dw, s.dh, TResampleFilter(f)).px) << Label(s, f);

      RefImage mono(s.sw, s.sh, 1);
      for (size_t i = 0; i < mono.px.size(); ++i) mono.px[i] = im.px[i * 3] & 0x40 ? 255 : 0;
      TLXBitmap m1, dm;
      Load(m1, mono, lx1g);
      dm.Allocate(s.dw, s.dh, lx24RGB);
      ResampleFiltered1(&m1, &dm, TResampleFilter(f));
      ASSERT_EQ(StoreGrey(dm).px, RefTwoPass(mono, s.dw, s.dh, TResampleFilter(f)).px) << Label(s, f);
    }
}

TEST(ResampleReference, FastPathMatches) {
  std::vector<Size2> sizes = kSizes;
  sizes.push_back({256, 256, 32, 32});
  sizes.push_back({1, 9, 1, 4});
  sizes.push_back({9, 1, 4, 1});
  for (const Size2& s : sizes) {
    if (s.sw == s.dw && s.sh == s.dh) continue;
    const RefImage im = RandomImage(s.sw, s.sh, 3, uint32_t(s.sw * 17 + s.sh));
    TLXBitmap src, dst;
    Load(src, im, lx24RGB);
    dst.Allocate(s.dw, s.dh, lx24RGB);
    ResampleFiltered24(&src, &dst, rfFastLinear);
    ASSERT_EQ(Store(dst, 3).px, RefFast(im, s.dw, s.dh).px) << Label(s, rfFastLinear);

    RefImage plane(s.sw, s.sh, 1);
    for (size_t i = 0; i < plane.px.size(); ++i) plane.px[i] = im.px[i * 3 + 2];
    TLXBitmap p8, d8;
    Load(p8, plane, lx8g);
    d8.Allocate(s.dw, s.dh, lx8g);
    ResampleFilteredPlane8(&p8, &d8, rfFastLinear);
    ASSERT_EQ(Store(d8, 1).px, RefFast(plane, s.dw, s.dh).px) << Label(s, rfFastLinear);

    // Black and white interpolates unless both sides shrink.
    if (s.dw < s.sw && s.dh < s.sh) continue;
    RefImage mono(s.sw, s.sh, 1);
    for (size_t i = 0; i < mono.px.size(); ++i) mono.px[i] = im.px[i * 3] & 0x40 ? 255 : 0;
    TLXBitmap m1, dm;
    Load(m1, mono, lx1g);
    dm.Allocate(s.dw, s.dh, lx24RGB);
    ResampleFiltered1(&m1, &dm, rfFastLinear);
    ASSERT_EQ(StoreGrey(dm).px, RefFast(mono, s.dw, s.dh, true).px) << Label(s, rfFastLinear);
  }
}

TEST(ResampleReference, AreaPathMatches) {
  std::vector<Size2> sizes = kSizes;
  sizes.push_back({10, 10, 30, 3});  // x interpolated, y averaged
  sizes.push_back({10, 10, 3, 30});
  sizes.push_back({6, 6, 4, 4});     // cuts that are not multiples
  for (const Size2& s : sizes)
    for (int f : {int(rfBilinear), int(rfBicubic)}) {
      const RefImage im = RandomImage(s.sw, s.sh, 3, uint32_t(s.sw * 3 + s.sh * 5 + f));
      TLXBitmap src, dst;
      Load(src, im, lx24RGB);
      dst.Allocate(s.dw, s.dh, lx24RGB);
      ResampleFiltered24(&src, &dst, TResampleFilter(f));
      ASSERT_EQ(Store(dst, 3).px, RefArea(im, s.dw, s.dh, f == rfBicubic).px) << Label(s, f);
    }
}

TEST(ResampleReference, FileLocatedBitmapsGiveTheSameBytes) {
  const RefImage im = RandomImage(37, 29, 3, 5);
  for (int f : {int(rfBell), int(rfFastLinear), int(rfBicubic)}) {
    TLXBitmap src, dst;
    src.MemoryThreshold = 0;
    dst.MemoryThreshold = 0;
    Load(src, im, lx24RGB);
    dst.Allocate(20, 41, lx24RGB);
    ASSERT_EQ(src.Location(), lxFile);
    ResampleFiltered24(&src, &dst, TResampleFilter(f));
    TLXBitmap msrc, mdst;
    Load(msrc, im, lx24RGB);
    mdst.Allocate(20, 41, lx24RGB);
    ResampleFiltered24(&msrc, &mdst, TResampleFilter(f));
    EXPECT_EQ(Store(dst, 3).px, Store(mdst, 3).px) << f;
  }
}

TEST(Resample, TriangleTwoByTwoToThreeByThree) {
  RefImage im(2, 2, 3);
  const uint8_t v[4] = {0, 200, 100, 50};
  for (int i = 0; i < 4; ++i) im.px[size_t(i) * 3] = im.px[size_t(i) * 3 + 1] = im.px[size_t(i) * 3 + 2] = v[i];
  TLXBitmap src, dst;
  Load(src, im, lx24RGB);
  dst.Allocate(3, 3, lx24RGB);
  ResampleFiltered24(&src, &dst, rfTriangle);
  const RefImage out = Store(dst, 3);
  EXPECT_EQ(out.at(0, 0, 0), 0);
  EXPECT_EQ(out.at(2, 0, 0), 200);
  EXPECT_EQ(out.at(1, 0, 0), 100);
  EXPECT_EQ(out.at(0, 2, 0), 100);
  EXPECT_EQ(out.at(2, 2, 0), 50);
  EXPECT_EQ(out.at(1, 2, 0), 75);
  EXPECT_EQ(out.at(1, 1, 1), (50 + 125) / 2);
}

TEST(Resample, BellAtEqualSizeBlursWith32_192_32) {
  const auto lists = RefContributors(5, 5, rfBell);
  ASSERT_EQ(lists[2].size(), 3u);
  EXPECT_EQ(lists[2][0].weight, 32);
  EXPECT_EQ(lists[2][1].weight, 192);
  EXPECT_EQ(lists[2][2].weight, 32);
  RefImage im(5, 4, 3);
  for (int y = 0; y < 4; ++y)
    for (int ch = 0; ch < 3; ++ch) im.at(2, y, ch) = 200;
  TLXBitmap src, dst;
  Load(src, im, lx24RGB);
  dst.Allocate(5, 4, lx24RGB);
  ResampleFiltered24(&src, &dst, rfBell);
  const RefImage out = Store(dst, 3);
  const uint8_t want[5] = {0, 25, 150, 25, 0};
  for (int x = 0; x < 5; ++x) EXPECT_EQ(out.at(x, 1, 0), want[x]) << x;
  // The fast path at equal size is a copy.
  dst.Allocate(5, 4, lx24RGB);
  ResampleFiltered24(&src, &dst, rfFastLinear);
  EXPECT_EQ(Store(dst, 3).px, im.px);
}

TEST(Resample, FastPathBoxesOf256To32) {
  RefImage row(256, 1, 3), col(1, 256, 3);
  std::mt19937 rng(9);
  for (auto& b : row.px) b = uint8_t(rng());
  col.px = row.px;
  TLXBitmap src, dst, srcCol, dstCol;
  Load(src, row, lx24RGB);
  dst.Allocate(32, 1, lx24RGB);
  ResampleFiltered24(&src, &dst, rfFastLinear);
  Load(srcCol, col, lx24RGB);
  dstCol.Allocate(1, 32, lx24RGB);
  ResampleFiltered24(&srcCol, &dstCol, rfFastLinear);
  const RefImage out = Store(dst, 3), outCol = Store(dstCol, 3);
  for (int i = 0; i < 32; ++i)
    for (int ch = 0; ch < 3; ++ch) {
      int sum = 0, n = 0;
      for (int x = 8 * i; x <= (i < 31 ? 8 * i + 8 : 248); ++x, ++n) sum += row.at(x, 0, ch);
      EXPECT_EQ(out.at(i, 0, ch), sum / n) << i;
      EXPECT_EQ(outCol.at(0, i, ch), sum / n) << i;
    }
}

TEST(Resample, OnePixelSources) {
  RefImage one(1, 1, 3);
  one.px = {10, 20, 30};
  TLXBitmap src;
  Load(src, one, lx24RGB);
  for (int f = rfTriangle; f <= rfLinear; ++f) {
    TLXBitmap dst;
    dst.Allocate(4, 3, lx24RGB);
    dst.Fill(0x070707);
    ResampleBitmap(&src, &dst, TResampleFilter(f));
    for (uint8_t b : Store(dst, 3).px) ASSERT_EQ(b, 7) << f;
  }
  TLXBitmap dst;
  dst.Allocate(4, 3, lx24RGB);
  ResampleBitmap(&src, &dst, rfNone);
  const RefImage out = Store(dst, 3);
  for (int i = 0; i < 12; ++i) EXPECT_EQ(TRGB(out.px[size_t(i) * 3], out.px[size_t(i) * 3 + 1], out.px[size_t(i) * 3 + 2]), (TRGB{10, 20, 30}));
}

TEST(Resample, TransparentPixelsAreRecolouredAndAlphaFollows) {
  const RefImage im = RandomImage(8, 6, 3, 3);
  TLXBitmap src;
  Load(src, im, lx24RGB);
  TLXBitmap* a = src.AlphaChannel();
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 8; ++x) a->Scanline(y)[x] = uint8_t((x + y) % 3 == 0 ? 0 : 200);
  a->Full = false;
  for (int f : {int(rfNone), int(rfBell), int(rfBilinear)}) {
    TLXBitmap dst;
    dst.Allocate(5, 9, lx24RGB);
    ResampleBitmap(&src, &dst, TResampleFilter(f));
    for (int y = 0; y < 6; ++y) {
      for (int x = 0; x < 8; ++x) {
        if ((x + y) % 3 == 0) {
          EXPECT_EQ(src.GetPixelRGB(x, y), (TRGB{128, 128, 128}));
        }
      }
    }
    ASSERT_TRUE(dst.HasAlphaChannel());
    EXPECT_EQ(dst.AlphaChannel()->Width(), 5);
    EXPECT_FALSE(dst.AlphaChannel()->Full);
    // Area filters resample the alpha channel by the fast method.
    TLXBitmap want;
    want.Allocate(5, 9, lx8g);
    if (f == rfNone) ResampleNearest(src.AlphaChannel(), &want);
    else ResampleFilteredPlane8(src.AlphaChannel(), &want, f == rfBilinear ? rfFastLinear : TResampleFilter(f));
    EXPECT_EQ(Store(*dst.AlphaChannel(), 1).px, Store(want, 1).px) << f;
  }
}

TEST(Resample, AlphaChannelOfAnotherSizeIsRenewedFirst) {
  const RefImage im = RandomImage(8, 6, 3, 4);
  TLXBitmap src;
  Load(src, im, lx24RGB);
  auto odd = std::make_unique<TLXBitmap>();
  odd->Allocate(3, 2, lx8g);
  odd->Fill(0);
  src.SetAlphaChannel(std::move(odd));
  if (src.AlphaChannel()->Width() == 8) GTEST_SKIP() << "the bitmap keeps its channel in step by itself";
  TLXBitmap dst;
  dst.Allocate(4, 4, lx24RGB);
  ResampleBitmap(&src, &dst, rfBell);
  EXPECT_EQ(src.AlphaChannel()->Width(), 8);
  EXPECT_EQ(src.AlphaChannel()->Height(), 6);
  EXPECT_EQ(Store(src, 3).px, im.px);  // opaque everywhere: nothing recoloured
  for (uint8_t b : Store(*dst.AlphaChannel(), 1).px) EXPECT_EQ(b, 255);
}

TEST(Resample, UnsupportedFormatsAndEmptyBitmapsLeaveTheDestination) {
  TLXBitmap g8, dst;
  g8.Allocate(6, 6, lx8g);
  g8.Fill(100);
  dst.Allocate(3, 3, lx24RGB);
  dst.Fill(0x010101);
  ResampleBitmap(&g8, &dst, rfBell);
  for (uint8_t b : Store(dst, 3).px) EXPECT_EQ(b, 1);
  TLXBitmap empty, src;
  src.Allocate(6, 6, lx24RGB);
  for (int f = rfTriangle; f <= rfBicubic; ++f) {
    ResampleFiltered24(&src, &empty, TResampleFilter(f));
    ResampleFiltered24(&empty, &dst, TResampleFilter(f));
  }
  ResampleNearest(&src, &empty);
  ShrinkMono(&empty, 0, 0, &dst, 5, 5);
}

TEST(Resample, ExtremeReductionsStayBounded) {
  // Weights that round to zero everywhere, and lists wider than the source.
  TLXBitmap src, dst;
  src.Allocate(5000, 2, lx24RGB);
  src.Fill(0x808080);
  dst.Allocate(1, 1, lx24RGB);
  for (int f = rfTriangle; f <= rfBicubic; ++f) ResampleFiltered24(&src, &dst, TResampleFilter(f));
  const RefImage im = RandomImage(3000, 2, 3, 8);
  Load(src, im, lx24RGB);
  dst.Allocate(2, 1, lx24RGB);
  ResampleFiltered24(&src, &dst, rfLanczos3);
  EXPECT_EQ(Store(dst, 3).px, RefTwoPass(im, 2, 1, rfLanczos3).px);
}

TEST(Resample, ProgressValuesInOrder) {
  const RefImage im = RandomImage(400, 300, 3, 2);
  TLXBitmap src, dst;
  Load(src, im, lx24RGB);
  dst.Allocate(150, 120, lx24RGB);
  std::vector<int> got;
  TLXProgressEvent ev = [&](void* sender, int p) {
    EXPECT_EQ(sender, &src);
    got.push_back(p);
  };
  ResampleFiltered24(&src, &dst, rfLanczos3, &src, ev);
  std::vector<int> want;
  const long double t = 100.0L / (300 + 150 + 0.5L);
  for (int y = 0; y < 300; ++y) want.push_back(int((y + 1) * t));
  for (int x = 0; x < 150; ++x) want.push_back(int((x + 300 + 1) * t));
  EXPECT_EQ(got, want);
  got.clear();
  want.clear();
  ResampleFiltered24(&src, &dst, rfFastLinear, &src, ev);
  const long double t2 = 100.0L / (300 + 120 + 0.5L);
  for (int y = 0; y < 300; ++y) want.push_back(int(t2 * y));
  for (int j = 0; j < 120; ++j) want.push_back(int(t2 * (300 + j)));
  EXPECT_EQ(got, want);
}

TEST(ResampleNearest, EveryFormat) {
  for (TLXPixelFormat fmt : {lx1g, lx8p, lx8g, lx16g, lx24RGB, lx32f}) {
    TLXBitmap src, dst;
    src.Allocate(13, 7, fmt);
    std::mt19937 rng(fmt);
    for (int y = 0; y < 7; ++y)
      for (int i = 0; i < src.RowLength(); ++i) src.Scanline(y)[i] = uint8_t(rng());
    dst.Allocate(29, 4, fmt);
    ResampleNearest(&src, &dst);
    EXPECT_EQ(src.Access, lxaRead | lxaWrite);
    const int bits = BitCountOf(fmt);
    for (int j = 0; j < 4; ++j)
      for (int i = 0; i < 29; ++i) {
        const int sy = int((double(7) / 4) * j), sx = int((double(13) / 29) * i);
        if (bits == 1) {
          const bool a = src.Scanline(sy)[sx >> 3] & (0x80 >> (sx & 7));
          const bool b = dst.Scanline(j)[i >> 3] & (0x80 >> (i & 7));
          ASSERT_EQ(a, b);
        } else {
          const int n = bits / 8;
          for (int k = 0; k < n; ++k) ASSERT_EQ(dst.Scanline(j)[i * n + k], src.Scanline(sy)[sx * n + k]) << fmt;
        }
      }
  }
}

TEST(ShrinkMono, BoxAverages) {
  TLXBitmap src, dst;
  src.Allocate(8, 4, lx1g);
  // Left half set.
  for (int y = 0; y < 4; ++y) src.Scanline(y)[0] = 0xF0;
  dst.Allocate(2, 2, lx24RGB);
  ShrinkMono(&src, 0, 0, &dst, 3, 7);
  // sx = 4: columns 0..2 and 2..6; sy = 2: rows -1..1 -> 0..1 and 1..3.
  EXPECT_EQ(dst.GetPixelRGB(0, 0).r, 255);
  EXPECT_EQ(dst.GetPixelRGB(1, 0).r, 2 * 2 * 255 / (5 * 2));
  EXPECT_EQ(dst.GetPixelRGB(1, 1).g, 2 * 3 * 255 / (5 * 3));
}

TEST(StretchForDPI, FilteredAndPlain) {
  const RefImage im = RandomImage(10, 8, 3, 1);
  TLXBitmap b;
  Load(b, im, lx24RGB);
  b.AlphaChannel()->Fill(9);
  StretchForDPI(&b, 10, 16, true);
  EXPECT_EQ(b.Width(), 10);
  EXPECT_EQ(b.Height(), 16);
  ASSERT_TRUE(b.HasAlphaChannel());
  EXPECT_EQ(b.AlphaChannel()->Height(), 16);
  EXPECT_EQ(b.AlphaAt(3, 15), 9);
  EXPECT_EQ(Store(b, 3).px, RefFast(im, 10, 16).px);
  TLXBitmap g;
  g.Allocate(8, 10, lx8g);
  g.Fill(77);
  StretchForDPI(&g, 4, 10, false);
  EXPECT_EQ(g.PixelFormat(), lx8g);
  EXPECT_EQ(g.Width(), 4);
  EXPECT_EQ(g.Pixel8(3, 9), 77);
}
