#include "proc/talvexproc.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "image/bitmap.h"

namespace {

class FakeView : public TLXProcView {
public:
  TLXBitmap bitmap;
  int updates = 0, imageChanges = 0, attached = 0, detached = 0;
  int32_t background = 0x123456;
  TLXBitmap* ProcBitmap() override { return &bitmap; }
  void ProcUpdate() override { ++updates; }
  void ProcImageChange() override { ++imageChanges; }
  int32_t ProcBackground() override { return background; }
  void SetProcBackground(int32_t c) override { background = c; }
  void ProcAttached(TTalvexProc*) override { ++attached; }
  void ProcDetached(TTalvexProc*) override { ++detached; }
};

void Gradient(TLXBitmap& b, int w, int h) {
  b.Allocate(w, h, lx24RGB);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w * 3; ++x) b.Scanline(y)[x] = uint8_t(x * 7 + y * 13);
}

}  // namespace

TEST(TalvexProc, SizeRule) {
  struct Case {
    int w, h, wantW, wantH;
  } cases[] = {
      {-1, 16, 32, 16}, {0, 0, 64, 32}, {10, -1, 10, 5}, {-3, 7, 3, 7},
      {-1, 0, 1, 32},   {0, -1, 64, 32}, {100, 0, 100, 32}, {-1, 1, 2, 1},
  };
  for (const Case& c : cases) {
    TTalvexProc proc;
    Gradient(*proc.Bitmap(), 64, 32);
    proc.Resample(c.w, c.h, rfBell);
    EXPECT_EQ(proc.Bitmap()->Width(), c.wantW) << c.w << "," << c.h;
    EXPECT_EQ(proc.Bitmap()->Height(), c.wantH) << c.w << "," << c.h;
    EXPECT_EQ(proc.Bitmap()->PixelFormat(), lx24RGB);
  }
}

TEST(TalvexProc, BothSizesNegativeLeaveTheDestinationButTakeASnapshot) {
  TTalvexProc proc;
  Gradient(*proc.Bitmap(), 8, 6);
  TLXBitmap dest;
  dest.Allocate(3, 3, lx8g);
  dest.Fill(42);
  proc.ResampleTo(&dest, -5, -5, rfBell);
  EXPECT_EQ(dest.Width(), 3);
  EXPECT_EQ(dest.PixelFormat(), lx8g);
  EXPECT_EQ(dest.Pixel8(2, 2), 42);
  ASSERT_EQ(proc.UndoCount(), 1);
  EXPECT_EQ(proc.UndoCaption(0), "Resample -5,-5");
  // In place the image stays as it was.
  proc.Resample(-2, -9, rfBell);
  EXPECT_EQ(proc.Bitmap()->Width(), 8);
  EXPECT_EQ(proc.Bitmap()->Height(), 6);
}

TEST(TalvexProc, UndoSnapshotsKeepTheLimit) {
  TTalvexProc proc;
  EXPECT_TRUE(proc.AutoUndo);
  EXPECT_EQ(proc.UndoLimit(), 1);
  proc.SetUndoLimit(0);
  EXPECT_EQ(proc.UndoLimit(), 1);
  Gradient(*proc.Bitmap(), 20, 10);
  proc.Resample(10, 5, rfTriangle);
  proc.Resample(4, 4, rfTriangle);
  ASSERT_EQ(proc.UndoCount(), 1);
  EXPECT_EQ(proc.UndoCaption(0), "Resample 4,4");
  EXPECT_EQ(proc.UndoBitmap(0)->Width(), 10);

  proc.SetUndoLimit(2);
  TLXBitmap before;
  before.Assign(proc.Bitmap());
  proc.Resample(7, 3, rfFastLinear);
  proc.Resample(-1, 6, rfNone);
  ASSERT_EQ(proc.UndoCount(), 2);
  EXPECT_EQ(proc.UndoCaption(0), "Resample 7,3");
  EXPECT_EQ(proc.UndoCaption(1), "Resample -1,6");
  TLXBitmap* snap = proc.UndoBitmap(0);
  ASSERT_EQ(snap->Width(), 4);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) EXPECT_EQ(snap->GetPixelRGB(x, y), before.GetPixelRGB(x, y));

  proc.AutoUndo = false;
  proc.Resample(2, 2, rfBell);
  EXPECT_EQ(proc.UndoCount(), 2);
  proc.ClearUndo();
  EXPECT_EQ(proc.UndoCount(), 0);
}

TEST(TalvexProc, AttachedViewIsRefreshedAfterResampleOnly) {
  FakeView view;
  Gradient(view.bitmap, 30, 20);
  TTalvexProc proc(&view);
  EXPECT_EQ(view.attached, 1);
  EXPECT_EQ(proc.Bitmap(), &view.bitmap);
  EXPECT_EQ(proc.Background(), 0x123456);
  proc.SetBackground(0xFF);
  EXPECT_EQ(view.background, 0xFF);

  std::vector<int> percents;
  proc.OnProgress = [&](void* sender, int p) {
    EXPECT_EQ(sender, &proc);
    percents.push_back(p);
  };
  TLXBitmap dest;
  proc.ResampleTo(&dest, 15, 10, rfBell);
  EXPECT_EQ(dest.Width(), 15);
  EXPECT_EQ(view.updates, 0);
  EXPECT_FALSE(percents.empty());
  EXPECT_LE(percents.back(), 100);

  proc.Resample(16, 16, rfFastLinear);
  EXPECT_EQ(view.bitmap.Width(), 16);
  EXPECT_EQ(view.updates, 1);
  EXPECT_EQ(view.imageChanges, 1);

  proc.ViewDestroyed(&view);
  EXPECT_EQ(proc.AttachedTalvex(), nullptr);
  EXPECT_NE(proc.Bitmap(), &view.bitmap);
  EXPECT_TRUE(proc.Bitmap()->IsEmpty());
  proc.Resample(5, 5, rfBell);  // empty: nothing happens
  EXPECT_EQ(view.updates, 1);
}

TEST(TalvexProc, BlackAndWhite) {
  TTalvexProc proc;
  TLXBitmap* b = proc.Bitmap();
  b->Allocate(16, 16, lx1g);
  for (int y = 0; y < 16; ++y) b->Scanline(y)[0] = b->Scanline(y)[1] = uint8_t(y & 1 ? 0xFF : 0x00);
  proc.Resample(8, 8, rfNone);
  EXPECT_EQ(proc.Bitmap()->PixelFormat(), lx1g);
  proc.Resample(32, 32, rfFastLinear);
  EXPECT_EQ(proc.Bitmap()->PixelFormat(), lx24RGB);
  const TRGB c = proc.Bitmap()->GetPixelRGB(3, 3);
  EXPECT_EQ(c.r, c.g);
  EXPECT_EQ(c.g, c.b);
}

TEST(TalvexProc, CallerBitmap) {
  TLXBitmap mine;
  Gradient(mine, 12, 12);
  TTalvexProc proc;
  proc.SetAttachedBitmap(&mine);
  proc.Resample(6, 6, rfMitchell);
  EXPECT_EQ(mine.Width(), 6);
  proc.SetAttachedBitmap(nullptr);
  EXPECT_NE(proc.Bitmap(), &mine);
}

TEST(TalvexProcColour, ConvertToFramesTheReduction) {
  struct Case { int n; int method; TLXPixelFormat after; bool changed; };
  const Case cases[] = {
      {2, 0, lx1g, true}, {2, 1, lx1g, true}, {16, 0, lx24RGB, true}, {2000, 0, lx24RGB, false},
  };
  for (const Case& c : cases) {
    FakeView view;
    Gradient(view.bitmap, 20, 12);
    TLXBitmap before;
    before.Assign(&view.bitmap);
    TTalvexProc proc(&view);
    proc.ConvertTo(c.n, c.method);
    EXPECT_EQ(view.bitmap.PixelFormat(), c.after) << c.n;
    ASSERT_EQ(proc.UndoCount(), 1);
    EXPECT_EQ(proc.UndoCaption(0), "ConvertTo " + std::to_string(c.n));
    EXPECT_EQ(view.updates, 1);
    bool same = true;
    for (int y = 0; y < 12 && c.after == lx24RGB; ++y)
      same &= std::memcmp(before.Scanline(y), view.bitmap.Scanline(y), 60) == 0;
    if (c.after == lx24RGB) {
      EXPECT_EQ(!same, c.changed) << c.n;
    }
  }
}

TEST(TalvexProcColour, OnlyTrueColourIsReducedAndPaletteOfTwoIsBlackAndWhite) {
  FakeView view;
  view.bitmap.Allocate(8, 8, lx8g);
  TTalvexProc proc(&view);
  proc.ConvertTo(2, 0);
  proc.ConvertToPalette(4, nullptr, 0);
  EXPECT_EQ(proc.UndoCount(), 0);  // no snapshot for a format the operations ignore
  EXPECT_EQ(view.updates, 0);

  Gradient(view.bitmap, 8, 8);
  std::vector<TRGB> pal(4, CreateRGB(9, 9, 9));
  proc.ConvertToPalette(0, pal.data(), 0);
  EXPECT_EQ(proc.UndoCount(), 0);  // n = 0: nothing at all
  proc.ConvertToPalette(2, pal.data(), 1);
  EXPECT_EQ(proc.UndoCaption(0), "ConvertToPalette");
  EXPECT_EQ(pal[0], CreateRGB(0, 0, 0));
  EXPECT_EQ(pal[1], CreateRGB(255, 255, 255));
  EXPECT_EQ(pal[2], CreateRGB(9, 9, 9));
  EXPECT_EQ(view.bitmap.PixelFormat(), lx1g);
}

TEST(TalvexProcColour, ConvertToGrayWholeImage) {
  FakeView view;
  Gradient(view.bitmap, 10, 6);
  TTalvexProc proc(&view);
  proc.ConvertToGray();
  EXPECT_EQ(proc.UndoCaption(0), "ConvertToGray");
  EXPECT_EQ(view.updates, 1);
  EXPECT_TRUE(view.bitmap.IsGrayScale());
}
