#include "image/workbitmap.h"

#include <gtest/gtest.h>

TEST(WorkBitmap, AllocatesBottomUpAlignedRows) {
  TLXWorkBitmap w(5, 3, 24);
  EXPECT_EQ(w.RowLength(), 16);
  EXPECT_EQ(w.Scanline(0), w.Bits() + 32);
  EXPECT_EQ(w.Scanline(2), w.Bits());
  TLXWorkBitmap none(0, 3, 24);
  EXPECT_EQ(none.Bits(), nullptr);
}

TEST(WorkBitmap, SameShapeKeepsTheBlock) {
  TLXWorkBitmap w;
  w.Allocate(8, 8, 8);
  uint8_t* block = w.Bits();
  block[0] = 42;
  w.Allocate(8, 8, 8);
  EXPECT_EQ(w.Bits(), block);
  EXPECT_EQ(w.Bits()[0], 42);
  w.Allocate(8, 8, 24);
  EXPECT_EQ(w.RowLength(), 24);
  w.Allocate(70000, 70000, 32);  // refused by the size guard
  EXPECT_EQ(w.Bits(), nullptr);
  EXPECT_EQ(w.Width(), 0);
  w.Allocate(2, 2, 1);
  w.FreeWork();
  EXPECT_EQ(w.BitsPerPixel(), 0);
  EXPECT_EQ(w.Bits(), nullptr);
}
