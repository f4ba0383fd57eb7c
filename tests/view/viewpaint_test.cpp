// View rendering: back buffer, background styles, zoom filter, alpha display, grid.
#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>

#include "platform/bitmap.h"
#include "platform/draw.h"
#include "proc/resample.h"
#include "tests/view/fakehost.h"
#include "view/view.h"

namespace {

constexpr TColor kBack = RGBColor(10, 20, 30);

uint32_t Px(TTalvexView& v, int x, int y) { return v.BackBuffer()->PixelColor(x, y); }

uint32_t Rgb(const TRGB& c) { return uint32_t(RGBColor(c.r, c.g, c.b)); }

struct PaintFixture : ::testing::Test {
  FakeViewHost host;
  TTalvexView view{&host};

  PaintFixture() {
    host.view = &view;
    view.SetBackground(kBack);
  }

  // Every pixel distinct enough to tell neighbours apart.
  void LoadGradient(int w, int h) {
    TLXBitmap* b = view.Bitmap();
    b->Allocate(w, h, lx24RGB);
    for (int y = 0; y < h; ++y) {
      uint8_t* p = b->Scanline(y);
      for (int x = 0; x < w; ++x, p += 3) {
        p[0] = uint8_t(x * 7);
        p[1] = uint8_t(y * 5);
        p[2] = uint8_t(200 + (x + y) % 50);
      }
    }
    view.Update();
  }

  TRGB Src(int x, int y) {
    const uint8_t* p = view.Bitmap()->Scanline(y) + 3 * x;
    return TRGB{p[0], p[1], p[2]};
  }
};

TEST_F(PaintFixture, SmallImageIsSurroundedByTheBackground) {
  view.SetAutoShrink(true);
  LoadGradient(100, 50);
  host.Expose();
  ASSERT_EQ(view.BackBuffer()->Width(), 218);
  ASSERT_EQ(view.BackBuffer()->Height(), 218);
  EXPECT_EQ(Px(view, 58, 100), uint32_t(kBack));  // left
  EXPECT_EQ(Px(view, 159, 100), uint32_t(kBack)); // right
  EXPECT_EQ(Px(view, 100, 83), uint32_t(kBack));  // top
  EXPECT_EQ(Px(view, 100, 134), uint32_t(kBack)); // bottom
  EXPECT_EQ(Px(view, 59, 84), Rgb(Src(0, 0)));
  EXPECT_EQ(Px(view, 158, 133), Rgb(Src(99, 49)));
}

TEST_F(PaintFixture, BellAtZoom100DrawsExactlyTheSource) {
  view.SetZoomFilter(rfBell);
  view.SetAutoShrink(true);
  LoadGradient(100, 50);
  host.Expose();
  for (int y = 0; y < 50; ++y)
    for (int x = 0; x < 100; ++x) ASSERT_EQ(Px(view, 59 + x, 84 + y), Rgb(Src(x, y)));
}

TEST_F(PaintFixture, ZoomedColourIsResampledWithTheFilter) {
  view.SetZoomFilter(rfBell);
  LoadGradient(50, 40);
  view.SetZoom(200);
  host.Expose();
  TLXBitmap expected;
  expected.SetLocation(lxMemory);
  expected.Allocate(100, 80, lx24RGB);
  ResampleFiltered24(view.Bitmap(), &expected, rfBell);
  const int ox = view.OffsetX(), oy = view.OffsetY();
  ASSERT_EQ(ox, (218 - 100) / 2);
  for (int y = 0; y < 80; ++y)
    for (int x = 0; x < 100; ++x) {
      const uint8_t* p = expected.Scanline(y) + 3 * x;
      ASSERT_EQ(Px(view, ox + x, oy + y), Rgb(TRGB{p[0], p[1], p[2]})) << x << "," << y;
    }
}

TEST_F(PaintFixture, PaletteImageIsStretchedByNearestPixel) {
  view.SetZoomFilter(rfBell);
  TLXBitmap* b = view.Bitmap();
  b->Allocate(2, 2, lx8p);
  b->SetPaletteEntry(1, PackRGB(CreateRGB(255, 0, 0)));
  b->SetPaletteEntry(2, PackRGB(CreateRGB(0, 0, 255)));
  b->Scanline(0)[0] = 1;
  b->Scanline(0)[1] = 2;
  b->Scanline(1)[0] = 2;
  b->Scanline(1)[1] = 1;
  view.Update();
  view.SetZoom(1000);
  host.Expose();
  const int ox = view.OffsetX(), oy = view.OffsetY();
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 20; ++x) {
      const bool red = (x < 10) == (y < 10);
      ASSERT_EQ(Px(view, ox + x, oy + y), uint32_t(red ? RGBColor(255, 0, 0) : RGBColor(0, 0, 255)));
    }
}

// Fails once armed while drawing its lower rows, so that whatever lay under the
// image before the composition shows through there.
class FailingBitmap : public TLXBitmap {
public:
  bool armed = false;
  uint8_t* Scanline(int y) override {
    if (armed && y >= 100) throw std::runtime_error("row");
    return TLXBitmap::Scanline(y);
  }
};

TEST_F(PaintFixture, SolidBackgroundIsNotPaintedUnderAnOpaqueFullImage) {
  for (bool opaque : {true, false}) {
    FailingBitmap img;
    img.Allocate(218, 218, lx24RGB);
    img.Fill(double(RGBColor(1, 2, 3)));
    if (!opaque) {
      img.AlphaChannel()->Full = false;  // all 255, but not known to be opaque
      view.SetEnableAlphaChannel(true);
    }
    view.Layer().Bitmap = &img;
    view.Update();
    host.Expose();
    TBitmap* bb = view.BackBuffer();
    for (int y = 0; y < bb->Height(); ++y) std::memset(bb->ScanLine(y), 0x55, size_t(bb->RowBytes()));
    img.armed = true;
    view.Update();
    host.Expose();
    if (opaque)
      EXPECT_EQ(Px(view, 5, 150), 0x555555u);  // untouched
    else
      EXPECT_EQ(Px(view, 5, 150), uint32_t(kBack));
    EXPECT_NE(Px(view, 5, 50), 0x555555u);
    view.Layer().Bitmap = view.Bitmap();
    view.Update();
  }
}

TEST_F(PaintFixture, ChessboardStartsEveryOtherRowWithTheInvertedValue) {
  view.ChessboardSize = 16;
  view.SetBackgroundStyle(lxbsChessboard);
  view.Clear();  // 1x1: only the background is painted
  host.Expose();
  const uint32_t inv = ColorToRGB(TColor(~uint32_t(kBack)));
  const uint32_t plain = ColorToRGB(kBack);
  EXPECT_EQ(Px(view, 0, 0), inv);
  EXPECT_EQ(Px(view, 15, 15), inv);
  EXPECT_EQ(Px(view, 16, 0), plain);
  EXPECT_EQ(Px(view, 0, 16), plain);
  EXPECT_EQ(Px(view, 16, 16), inv);
  EXPECT_EQ(Px(view, 0, 32), inv);
  EXPECT_EQ(Px(view, 217, 217), (217 / 16 + 217 / 16) % 2 == 0 ? inv : plain);
}

TEST_F(PaintFixture, EveryBackgroundStylePaints) {
  view.GradientEndColor = RGBColor(0, 0, 255);
  for (int s = lxbsSolid; s <= lxbsGradient; ++s) {
    view.SetBackgroundStyle(TLXBackgroundStyle(s));
    view.Clear();
    host.Expose();
    SCOPED_TRACE(s);
    switch (s) {
      case lxbsSolid:
        EXPECT_EQ(Px(view, 100, 100), uint32_t(kBack));
        break;
      case lxbsHorizontal:  // lines in the background colour, white between them
        EXPECT_EQ(Px(view, 3, 8), uint32_t(kBack));
        EXPECT_EQ(Px(view, 3, 9), 0xFFFFFFu);
        break;
      case lxbsVertical:
        EXPECT_EQ(Px(view, 8, 3), uint32_t(kBack));
        EXPECT_EQ(Px(view, 9, 3), 0xFFFFFFu);
        break;
      case lxbsDiagonals:
        EXPECT_EQ(Px(view, 50, 50), ColorToRGB(TColor(~uint32_t(kBack))));
        EXPECT_EQ(Px(view, 50, 51), uint32_t(kBack));
        break;
      case lxbsCropped:
      case lxbsCropShadow:
        EXPECT_EQ(Px(view, 3, 3), ColorToRGB(clBtnFace));
        break;
      case lxbsGradient:
        EXPECT_EQ(Px(view, 5, 0), uint32_t(kBack));
        EXPECT_EQ(Px(view, 5, 217), uint32_t(RGBColor(0, 0, 255)));
        break;
      default:
        break;
    }
  }
}

TEST_F(PaintFixture, CroppedStylesFrameTheImage) {
  LoadGradient(40, 40);
  view.SetBackgroundStyle(lxbsCropped);
  host.Expose();
  const int ox = view.OffsetX(), oy = view.OffsetY();
  // The sunken edge just outside the image (enlarged by the edge size 2).
  EXPECT_EQ(Px(view, ox - 2, oy + 10), ColorToRGB(clBtnShadow));
  EXPECT_EQ(Px(view, ox, oy), Rgb(Src(0, 0)));
  view.SetBackgroundStyle(lxbsCropShadow);
  host.Expose();
  const uint32_t nearest = Px(view, ox + 40, oy + 20), outer = Px(view, ox + 44, oy + 20);
  EXPECT_EQ(nearest & 0xff, uint32_t(255 / 2.718281828459045));
  EXPECT_EQ(outer & 0xff, 255u);
}

TEST_F(PaintFixture, AlphaDisplayBlendsOverTheBackground) {
  LoadGradient(20, 20);
  TLXBitmap* a = view.Bitmap()->AlphaChannel();
  a->Fill(0);
  a->Full = false;
  host.Expose();
  const int ox = view.OffsetX(), oy = view.OffsetY();
  EXPECT_EQ(Px(view, ox + 3, oy + 3), Rgb(Src(3, 3)));  // off: opaque
  view.SetEnableAlphaChannel(true);
  host.Expose();
  EXPECT_EQ(Px(view, ox + 3, oy + 3), uint32_t(kBack));
  a->Scanline(3)[3] = 128;
  view.Update();
  host.Expose();
  const TRGB s = Src(3, 3);
  const uint32_t got = Px(view, ox + 3, oy + 3);
  EXPECT_EQ(got & 0xff, uint32_t(10 + ((s.r - 10) * 128 >> 8)));
}

TEST_F(PaintFixture, GridInvertsThePixelBoundaries) {
  LoadGradient(10, 10);
  view.SetZoom(400);
  view.DisplayGrid = true;
  view.Update();
  host.Expose();
  const int ox = view.OffsetX(), oy = view.OffsetY();
  const uint32_t c = Rgb(Src(1, 2));
  EXPECT_EQ(Px(view, ox + 4, oy + 9), ~c & 0xffffff);  // on the column boundary
  EXPECT_EQ(Px(view, ox + 5, oy + 9), c);
  view.DisplayGrid = false;
  view.SetZoom(300);
  view.DisplayGrid = true;
  view.Update();
  host.Expose();
  EXPECT_EQ(Px(view, view.OffsetX() + 3, view.OffsetY() + 7), Rgb(Src(1, 2)));  // below 400: none
}

TEST_F(PaintFixture, ExposesWithoutChangesOnlyCopy) {
  LoadGradient(1000, 500);
  host.Expose();
  const int composed = view.Compositions();
  host.presented.clear();
  host.ExposeRect(Rect(10, 20, 30, 40));
  host.ExposeRect(Rect(0, 0, 5000, 5000));
  EXPECT_EQ(view.Compositions(), composed);
  ASSERT_EQ(host.presented.size(), 2u);
  EXPECT_EQ(host.presented[0], Rect(10, 20, 30, 40));
  EXPECT_EQ(host.presented[1], Rect(0, 0, view.ViewWidth(), view.ViewHeight()));
  view.SetViewX(view.ViewX());  // no change
  EXPECT_EQ(view.Compositions(), composed);
  view.SetViewX(100);  // scrolling repaints at once
  EXPECT_EQ(view.Compositions(), composed + 1);
  EXPECT_EQ(Px(view, 0, 0), Rgb(Src(100, 0)));
  int drawn = 0;
  view.OnDrawBackBuffer = [&](TTalvexView*) { ++drawn; };
  int painted = 0;
  view.OnPaint = [&](TTalvexView*) { ++painted; };
  view.Update();
  host.Expose();
  host.Expose();
  EXPECT_EQ(drawn, 1);
  EXPECT_EQ(painted, 2);
}

TEST_F(PaintFixture, ZoomingComposesOnce) {
  LoadGradient(1000, 500);
  host.Expose();
  const int composed = view.Compositions();
  view.SetZoom(200);  // paints at once
  EXPECT_EQ(view.Compositions(), composed + 1);
  host.Expose();
  EXPECT_EQ(view.Compositions(), composed + 1);
  EXPECT_EQ(Px(view, 0, 0), Rgb(Src(view.XScreenToBitmap(0), view.YScreenToBitmap(0))));
}

TEST_F(PaintFixture, ScrolledZoomShowsTheMappedPixels) {
  LoadGradient(300, 300);
  view.SetZoom(300);
  view.SetViewXY(47, 31);
  host.Expose();
  for (int y = 0; y < view.ViewHeight(); y += 7)
    for (int x = 0; x < view.ViewWidth(); x += 5)
      ASSERT_EQ(Px(view, x, y), Rgb(Src(view.XScreenToBitmap(x), view.YScreenToBitmap(y)))) << x << "," << y;
}

}  // namespace
