#include "image/types.h"

#include <gtest/gtest.h>

TEST(RowLength, AlignmentsAndFormats) {
  struct Case { int w, bits, align, expected; };
  const Case cases[] = {
      {1, 1, 32, 4},   {33, 24, 32, 100}, {0, 24, 32, 0},  {32, 1, 32, 4},
      {33, 1, 32, 8},  {5, 4, 32, 4},     {9, 4, 32, 8},   {10, 8, 32, 12},
      {10, 24, 8, 30}, {10, 1, 8, 2},     {3, 24, 16, 10}, {1, 32, 32, 4},
  };
  for (const Case& c : cases)
    EXPECT_EQ(ComputeRowLength(c.w, c.bits, c.align), c.expected) << c.w << "x" << c.bits << "/" << c.align;
}

TEST(SizeGuard, RefusesWhatCannotBeHeld) {
  EXPECT_EQ(CheckedImageBytes(33, 2, 24), 200);
  EXPECT_FALSE(CheckedImageBytes(0, 10, 24));
  EXPECT_FALSE(CheckedImageBytes(10, -1, 24));
  EXPECT_FALSE(CheckedImageBytes(65536, 65536, 24));         // 12 GiB
  EXPECT_FALSE(CheckedImageBytes(0x7fffffff, 0x7fffffff, 1)); // would wrap in 64 bits of naive math? no: refused by cap
  EXPECT_TRUE(CheckedImageBytes(16384, 16384, 32));           // exactly 1 GiB
}
