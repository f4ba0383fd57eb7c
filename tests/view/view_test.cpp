// View geometry: zoom, automatic modes, scrolling, notifications, against a fake window.
#include "view/view.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "io/controller.h"
#include "platform/bitmap.h"
#include "proc/talvexproc.h"
#include "tests/view/fakehost.h"

namespace {

struct ViewFixture : ::testing::Test {
  FakeViewHost host;
  TTalvexView view{&host};
  std::vector<std::pair<int, int>> changes;  // (change, DisplayWidth seen inside the handler)

  ViewFixture() {
    host.view = &view;
    view.OnViewChange = [this](TTalvexView* v, int change) { changes.push_back({change, v->DisplayWidth()}); };
  }

  void Load(int w, int h, TLXPixelFormat f = lx24RGB) {
    view.Bitmap()->Allocate(w, h, f);
    view.Bitmap()->Fill(0);
    view.Update();
  }
};

TEST_F(ViewFixture, LargeImageShrinksToFit) {
  view.SetAutoShrink(true);
  Load(1000, 500);
  EXPECT_NEAR(view.Zoom(), 21.8, 1e-9);
  EXPECT_EQ(view.ZoomedWidth(), 218);
  EXPECT_EQ(view.ZoomedHeight(), 109);
  EXPECT_EQ(view.DisplayWidth(), 218);
  EXPECT_EQ(view.DisplayHeight(), 109);
  EXPECT_EQ(view.OffsetX(), 0);
  EXPECT_EQ(view.OffsetY(), 54);
  EXPECT_FALSE(host.bars[lxsbHorizontal].visible);
  EXPECT_FALSE(host.bars[lxsbVertical].visible);
  EXPECT_EQ(view.ViewWidth(), 218);
}

TEST_F(ViewFixture, SmallImageIsCentredAndItsZoomRestored) {
  view.SetAutoShrink(true);
  Load(100, 50);
  EXPECT_EQ(view.Zoom(), 100);
  EXPECT_EQ(view.DisplayWidth(), 100);
  EXPECT_EQ(view.DisplayHeight(), 50);
  EXPECT_EQ(view.OffsetX(), 59);
  EXPECT_EQ(view.OffsetY(), 84);
  view.SetZoom(300);  // the Update inside SetZoom recomputes the automatic zoom
  EXPECT_EQ(view.Zoom(), 100);
  EXPECT_EQ(view.DisplayWidth(), 100);
}

TEST_F(ViewFixture, ClearNotifiesWithThePreviousExtentsFirst) {
  view.SetAutoShrink(true);
  Load(100, 50);
  changes.clear();
  view.Clear();
  EXPECT_EQ(view.Bitmap()->Width(), 1);
  EXPECT_EQ(view.Bitmap()->Height(), 1);
  EXPECT_EQ(view.Zoom(), 100);
  EXPECT_EQ(view.DisplayWidth(), 1);
  EXPECT_EQ(view.DisplayHeight(), 1);
  ASSERT_FALSE(changes.empty());
  EXPECT_EQ(changes.front(), std::make_pair(1, 100));  // handler still sees the old image
  changes.clear();
  view.Update();
  ASSERT_EQ(changes.size(), 1u);
  EXPECT_EQ(changes.front(), std::make_pair(1, 1));
  // The 1x1 image shows only the background.
  view.SetBackground(RGBColor(10, 20, 30));
  host.Expose();
  EXPECT_EQ(view.BackBuffer()->PixelColor(0, 0), uint32_t(RGBColor(10, 20, 30)));
  EXPECT_EQ(view.BackBuffer()->PixelColor(109, 109), uint32_t(RGBColor(10, 20, 30)));
}

TEST_F(ViewFixture, ScrollPositionIsClampedToItsLimits) {
  Load(1000, 500);
  // Both bars are needed at zoom 100 and take 16 pixels each from the client.
  EXPECT_TRUE(host.bars[lxsbHorizontal].visible);
  EXPECT_TRUE(host.bars[lxsbVertical].visible);
  ASSERT_EQ(view.ViewWidth(), 202);
  int mx = 0, my = 0;
  view.MaxViewXY(mx, my);
  EXPECT_EQ(mx, 1000 - 202);
  EXPECT_EQ(my, 500 - 202);
  view.SetViewX(-5);
  EXPECT_EQ(view.ViewX(), 0);
  view.SetViewX(5000);
  EXPECT_EQ(view.ViewX(), mx);
  EXPECT_EQ(changes.back().first, 0);

  // The bars describe the position on a 0..65535 scale.
  const double scale = (202.0 + mx) / 65536;
  EXPECT_EQ(host.bars[lxsbHorizontal].max, 65535);
  EXPECT_EQ(host.bars[lxsbHorizontal].page, int(202 / scale));
  view.SetViewX(500);
  EXPECT_EQ(host.bars[lxsbHorizontal].position, int(500 / scale));

  Load(100, 50);  // narrower than the client: nothing to scroll
  EXPECT_FALSE(host.bars[lxsbHorizontal].visible);
  EXPECT_EQ(view.ViewX(), 0);
  view.SetViewX(30);
  EXPECT_EQ(view.ViewX(), 0);
}

TEST_F(ViewFixture, ScrollBarMessagesMoveThePosition) {
  Load(1000, 500);
  view.ScrollMessage(lxsbHorizontal, lxscLineForward, 0);
  EXPECT_EQ(view.ViewX(), 1);
  view.ScrollMessage(lxsbHorizontal, lxscPageForward, 0);
  EXPECT_EQ(view.ViewX(), 1 + 202);
  view.ScrollMessage(lxsbHorizontal, lxscPageBack, 0);
  view.ScrollMessage(lxsbHorizontal, lxscLineBack, 0);
  EXPECT_EQ(view.ViewX(), 0);
  view.ScrollMessage(lxsbVertical, lxscBottom, 0);
  EXPECT_EQ(view.ViewY(), 500 - 202);
  view.ScrollMessage(lxsbVertical, lxscTop, 0);
  EXPECT_EQ(view.ViewY(), 0);
  view.ScrollMessage(lxsbHorizontal, lxscThumbTrack, 32768);
  EXPECT_EQ(view.ViewX(), int(32768 * (1000.0 / 65536)));
  view.HorizScrollBarParams.Tracking = false;
  view.ScrollMessage(lxsbHorizontal, lxscThumbTrack, 0);
  EXPECT_NE(view.ViewX(), 0);
  view.ScrollMessage(lxsbHorizontal, lxscThumbPosition, 0);
  EXPECT_EQ(view.ViewX(), 0);
  // Steps follow the zoom factor.
  view.HorizScrollBarParams.LineStep = 3;
  view.SetZoom(250);
  const int x = view.ViewX();
  view.ScrollMessage(lxsbHorizontal, lxscLineForward, 0);
  EXPECT_EQ(view.ViewX(), x + 2 * 3);
}

TEST_F(ViewFixture, ZoomKeepsTheCentrePointAndFitsBack) {
  Load(1000, 500);
  view.SetZoom(200);
  EXPECT_EQ(view.Zoom(), 200);
  EXPECT_EQ(changes.back().first, 1);
  // Bitmap column 101 stays at the client centre (101), give or take the snap
  // of drawing to whole bitmap pixels.
  EXPECT_EQ(view.ViewX(), 101 * 2 - 101);
  EXPECT_NEAR(view.XScreenToBitmap(101), 101, 1);
  view.Fit();
  EXPECT_NEAR(view.Zoom(), 21.8, 1e-9);
}

TEST_F(ViewFixture, CoordinateMappingMatchesTheTables) {
  Load(37, 23);
  for (double zoom : {25.0, 50.0, 75.0, 300.0, 1000.0}) {
    view.SetZoom(zoom);
    view.SetViewXY(7, 5);
    for (int x = view.OffsetX(); x < view.OffsetX() + view.DrawnWidth(); ++x) {
      const int b = view.XScreenToBitmap(x);
      ASSERT_GE(b, 0) << zoom;
      ASSERT_LT(b, 37) << zoom;
      ASSERT_LE(view.XBitmapToScreen(b), x) << zoom;  // the first client column of that pixel
    }
    for (int y = view.OffsetY(); y < view.OffsetY() + view.DrawnHeight(); ++y) {
      ASSERT_GE(view.YScreenToBitmap(y), 0) << zoom;
      ASSERT_LT(view.YScreenToBitmap(y), 23) << zoom;
    }
    // Drawing starts at a whole bitmap pixel.
    EXPECT_EQ(view.XScreenToBitmap(view.OffsetX()), view.VisibleSrcX()) << zoom;
  }
}

TEST_F(ViewFixture, DelayedFilterWaitsFourStepsThenRedrawsFiltered) {
  // A one-pixel checkerboard: unfiltered zoom keeps pure black and white.
  view.Bitmap()->Allocate(300, 300, lx24RGB);
  for (int y = 0; y < 300; ++y) {
    uint8_t* p = view.Bitmap()->Scanline(y);
    for (int x = 0; x < 300 * 3; ++x) p[x] = ((x / 3 + y) & 1) ? 255 : 0;
  }
  view.SetZoomFilter(rfBell);
  view.DelayZoomFilter = true;
  view.SetZoom(200);  // from 100: no delay
  EXPECT_EQ(view.FilterDelay(), 0);
  host.Expose();
  auto grey = [this] {
    const TBitmap* b = view.BackBuffer();
    for (int y = 0; y < b->Height(); ++y)
      for (int x = 0; x < b->Width(); ++x) {
        const uint32_t c = b->PixelColor(x, y) & 0xff;
        if (c != 0 && c != 255) return true;
      }
    return false;
  };
  EXPECT_TRUE(grey());

  view.SetViewX(10);  // paints at once, unfiltered
  EXPECT_TRUE(host.timerRunning);
  EXPECT_EQ(host.timerInterval, 210);
  EXPECT_EQ(view.FilterDelay(), 3);
  EXPECT_FALSE(grey());
  view.TimerTick();
  view.TimerTick();
  host.Expose();  // a paint counts as well
  EXPECT_FALSE(grey());
  EXPECT_EQ(view.FilterDelay(), 0);
  EXPECT_FALSE(host.timerRunning);
  host.Expose();  // the Update at 0 marked it for one filtered redraw
  EXPECT_TRUE(grey());
}

TEST_F(ViewFixture, WheelZoomsUnlessAutoFit) {
  Load(100, 50);
  EXPECT_TRUE(view.MouseWheel(-120, false, 0, 0));  // towards the user: in by 8 %
  EXPECT_EQ(view.Zoom(), 108);
  EXPECT_TRUE(view.MouseWheel(120, false, 0, 0));
  EXPECT_EQ(view.Zoom(), 108 - 9);
  view.OnZoomIn = [](TTalvexView*, double& z) { z = 400; };
  view.MouseWheel(-120, false, 0, 0);
  EXPECT_EQ(view.Zoom(), 400);

  view.SetAutoFit(true);
  const double fitted = view.Zoom();
  changes.clear();
  EXPECT_FALSE(view.MouseWheel(-120, false, 0, 0));
  EXPECT_EQ(view.Zoom(), fitted);
  EXPECT_TRUE(changes.empty());

  // The window's own handler may take the wheel.
  view.SetAutoFit(false);
  view.OnMouseWheel = [](TTalvexView*, bool, int, int, int, bool& handled) { handled = true; };
  const double z = view.Zoom();
  EXPECT_TRUE(view.MouseWheel(-120, false, 0, 0));
  EXPECT_EQ(view.Zoom(), z);
}

TEST_F(ViewFixture, WheelScrolls) {
  Load(1000, 500);
  view.MouseWheelParams.Action = 1;
  view.MouseWheel(-120, false, 0, 0);
  EXPECT_EQ(view.ViewY(), 16);  // 8 % of 202, rounded
  view.MouseWheel(-120, true, 0, 0);
  EXPECT_EQ(view.ViewX(), 16);
  view.MouseWheelParams.Variation = 0;
  view.MouseWheel(120, false, 0, 0);
  EXPECT_EQ(view.ViewY(), 8);
}

TEST_F(ViewFixture, HostileZoomsAreGuarded) {
  Load(100, 50);
  view.SetZoom(std::numeric_limits<double>::quiet_NaN());
  view.SetZoom(-3);
  view.SetZoom(0);
  EXPECT_EQ(view.Zoom(), 100);
  view.SetZoom(1e12);
  EXPECT_EQ(view.Zoom(), TTalvexView::kMaxZoom);
  EXPECT_GT(view.ZoomedWidth(), 0);
  int mx, my;
  view.MaxViewXY(mx, my);
  EXPECT_EQ(mx, int((100 + 0.5) * 64) - view.ViewWidth());  // with the half-pixel scroll margin

  // No room at all: the automatic zoom falls back to 100.
  host.control = 4;
  view.SetAutoShrink(true);
  EXPECT_EQ(view.ViewWidth(), 0);
  EXPECT_EQ(view.Zoom(), 100);
  host.control = 222;
  view.SetZoom(100);

  // An empty image: FitZoom and Fit do nothing harmful.
  view.SetAutoShrink(false);
  view.Bitmap()->FreeImage();
  view.Update();
  EXPECT_EQ(view.FitZoom(), 100);
  view.Fit();
  host.Expose();
}

TEST_F(ViewFixture, LongImagesCapTheZoomByTheirSide) {
  // A 1-row image a million pixels wide would need gigabytes of tables at 6400 %.
  Load(1000000, 1, lx8g);
  view.SetZoom(6400);
  EXPECT_LE(view.ZoomedWidth(), 1 << 24);
  EXPECT_GE(view.Zoom(), 100);
}

TEST_F(ViewFixture, PaintLockDefersAndTheTimerStops) {
  Load(1000, 500);
  view.LockPaint();
  view.LockPaint();
  const int before = view.Compositions();
  host.Expose();
  EXPECT_EQ(view.Compositions(), before);
  EXPECT_EQ(view.ReleasePaintLock(), 1);
  const int inv = host.invalidations;
  EXPECT_EQ(view.UnlockPaint(), 0);
  EXPECT_GT(host.invalidations, inv);  // unlocking to 0 updates
  EXPECT_EQ(view.UnlockPaint(), 0);    // never below 0
  host.Expose();
  EXPECT_EQ(view.Compositions(), before + 1);
}

TEST_F(ViewFixture, RefreshFromAnotherThreadIsPosted) {
  Load(10, 10);
  view.PostRefresh();
  ASSERT_EQ(host.posted.size(), 1u);
  EXPECT_EQ(host.posted[0], 8024);
  const int inv = host.invalidations;
  view.HandleMessage(8024);
  EXPECT_GT(host.invalidations, inv);
}

TEST_F(ViewFixture, ScrollBarSettings) {
  Load(1000, 500);
  view.SetScrollBars(ssVertical);  // the horizontal bar goes at once
  EXPECT_FALSE(host.bars[lxsbHorizontal].visible);
  EXPECT_TRUE(host.bars[lxsbVertical].visible);
  EXPECT_EQ(view.ViewHeight(), 218);
  view.SetScrollBars(ssNone);
  EXPECT_FALSE(host.bars[lxsbVertical].visible);
  view.SetScrollBars(ssBoth);
  Load(100, 50);
  view.ScrollBarsAlwaysVisible = true;
  view.Update();
  EXPECT_TRUE(host.bars[lxsbHorizontal].visible);
  EXPECT_FALSE(host.bars[lxsbHorizontal].enabled);
  // Not centred: the image sits at the top-left corner.
  view.SetCenter(false);
  EXPECT_EQ(view.OffsetX(), 0);
  EXPECT_EQ(view.OffsetY(), 0);
}

TEST_F(ViewFixture, StretchAndFitEnlargeSmallImages) {
  Load(100, 50);
  view.SetAutoStretch(true);
  EXPECT_NEAR(view.Zoom(), 218.0, 1e-9);  // min(218 / 0.5, 218 / 1)
  EXPECT_EQ(view.DisplayWidth(), 218);
  view.SetAutoStretch(false);
  view.SetAutoShrink(true);
  EXPECT_EQ(view.Zoom(), 100);  // shrinking never enlarges
  view.SetAutoShrink(false);
  view.SetAutoFit(true);
  EXPECT_NEAR(view.Zoom(), 218.0, 1e-9);
  view.SetBackgroundStyle(lxbsCropShadow);  // leaves 5 pixels for the shadow
  EXPECT_NEAR(view.Zoom(), (222 - 10) / 1.0, 1e-9);
}

TEST(ViewWithoutWindow, HasDefaultGeometryAndNeverPaints) {
  TTalvexView view;
  EXPECT_EQ(view.Zoom(), 100);
  EXPECT_EQ(view.DpiX(), 300);
  EXPECT_EQ(view.ViewWidth(), 50);
  view.Bitmap()->Allocate(200, 100, lx24RGB);
  view.SetAutoShrink(true);
  EXPECT_GT(view.Zoom(), 0);
  EXPECT_LT(view.Zoom(), 100);
  EXPECT_LE(view.DisplayWidth(), 50);
  view.Paint();
  view.PostRefresh();
  view.SetViewX(10);
  view.MouseWheel(-120, false, 0, 0);
  EXPECT_EQ(view.Compositions(), 0);
  // It can still compose into a bitmap of the caller's.
  TBitmap target;
  target.SetBitsPerPixel(24);
  target.SetSize(50, 50);
  std::vector<uint8_t*> rows;
  view.DrawTo(&target, rows, nullptr);
  EXPECT_EQ(rows.size(), 50u);
}

TEST(ViewWithoutWindow, OwnComponentsWorkOnTheViewsBitmap) {
  TTalvexView view;
  view.Bitmap()->Allocate(40, 20, lx24RGB);
  TTalvexProc* proc = view.ViewProc();
  ASSERT_NE(proc, nullptr);
  EXPECT_EQ(proc, view.ViewProc());
  EXPECT_EQ(proc->Bitmap(), view.Bitmap());
  TTalvexIO* io = view.ViewIO();
  ASSERT_NE(io, nullptr);
  EXPECT_EQ(io, view.ViewIO());
  EXPECT_EQ(io->Bitmap(), view.Bitmap());
  int seen = -1;
  view.OnImageChange = [&](TTalvexView*) { seen = view.Bitmap()->Width(); };
  view.LinkImageChanged();
  EXPECT_EQ(seen, 40);
  // Resampling in place refreshes the view and reports the change.
  int percent = -1;
  view.SetOnProgress([&](void*, int p) { percent = p; });
  proc->AutoUndo = false;
  proc->Resample(20, 10, rfBell);
  EXPECT_EQ(view.ImageWidth(), 20);
  EXPECT_EQ(seen, 20);
  EXPECT_GT(percent, 90);  // the processing component reports through the view's handler
}

TEST(ViewWithoutWindow, ListenersHearChangesAndDestruction) {
  std::vector<int> events;
  auto cb = [](void* ctx, TLXView*, int e) { static_cast<std::vector<int>*>(ctx)->push_back(e); };
  {
    TTalvexView view;
    const int h = view.AddListener(cb, &events);
    const int h2 = view.AddListener(cb, &events);
    view.NotifyListeners();
    view.RemoveListener(h2);
    view.RemoveListener(-1);
    view.SetLegacyBitmap(false);  // notifies too
    EXPECT_EQ(view.Bitmap()->Location() == lxTBitmap, false);
    EXPECT_EQ(view.PlatformBitmap(), nullptr);
    view.SetLegacyBitmap(true);
    EXPECT_EQ(view.Bitmap()->Location(), lxTBitmap);
    (void)h;
  }
  EXPECT_EQ(events, (std::vector<int>{0, 0, 0, 0, 1}));
}

TEST(ViewWithoutWindow, DpiZerosKeepTheOldValue) {
  TTalvexView view;
  view.SetDPI(72, 0);
  EXPECT_EQ(view.DpiX(), 72);
  EXPECT_EQ(view.DpiY(), 300);
  view.LinkSetDPI(0, 96);
  EXPECT_EQ(view.DpiX(), 72);
  EXPECT_EQ(view.DpiY(), 96);
}

TEST(ViewWithoutWindow, RemovingTheAlphaChannelCanMergeIt) {
  TTalvexView view;
  view.SetBackground(RGBColor(200, 100, 0));
  TLXBitmap* b = view.Bitmap();
  b->Allocate(3, 1, lx24RGB);
  uint8_t* p = b->Scanline(0);
  for (int i = 0; i < 9; ++i) p[i] = 50;
  TLXBitmap* a = b->AlphaChannel();
  a->Scanline(0)[0] = 0;
  a->Scanline(0)[1] = 128;
  a->Scanline(0)[2] = 255;
  a->Full = false;
  view.RemoveAlphaChannel(true);
  EXPECT_FALSE(b->HasAlphaChannel());
  p = b->Scanline(0);
  // channel = bg + floor((channel - bg) * alpha / 256), bytes blue, green, red
  EXPECT_EQ(p[0], 0 + ((50 - 0) * 0 >> 8));
  EXPECT_EQ(p[2], 200);
  EXPECT_EQ(p[3 + 2], 200 + std::floor((50 - 200) * 128 / 256.0));
  EXPECT_EQ(p[3 + 1], 100 + std::floor((50 - 100) * 128 / 256.0));
  EXPECT_EQ(p[6 + 2], 200 + std::floor((50 - 200) * 255 / 256.0));  // 255 does not quite keep it
  EXPECT_EQ(p[6 + 0], 0 + std::floor(50 * 255 / 256.0));
}

TEST_F(ViewFixture, AlphaOfAnotherSizeIsReallocatedByUpdate) {
  Load(20, 10);
  TLXBitmap* b = view.Bitmap();
  b->AlphaChannel()->Allocate(5, 5, lx8g);  // as a codec without the bitmap might
  host.Expose();                            // nothing drawn while they differ
  view.Update();
  ASSERT_TRUE(b->HasAlphaChannel());
  EXPECT_EQ(b->AlphaChannel()->Width(), 20);
  EXPECT_EQ(b->AlphaChannel()->Height(), 10);
  EXPECT_EQ(b->AlphaChannel()->Scanline(9)[19], 255);
}

}  // namespace
