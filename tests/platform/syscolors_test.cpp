#include "platform/syscolors.h"

#include <gtest/gtest.h>

#include "platform/metrics.h"

TEST(SysColors, EncodingAndDefaultTable) {
  EXPECT_EQ(uint32_t(clWindow), 0x80000005u);
  EXPECT_LT(clBtnFace, 0);
  EXPECT_EQ(SysColor(COLOR_HIGHLIGHT), clHighlight);
  struct Case { TColor colour; uint32_t rgb; };
  const Case cases[] = {
      {clWindow, 0xffffff},
      {clBtnFace, uint32_t(RGBColor(240, 240, 240))},
      {clWindowText, 0},
      {RGBColor(1, 2, 3), 0x030201},
      {TColor(0x00123456), 0x123456},
      {SysColor(200), 0},  // outside the table
  };
  for (const Case& c : cases) EXPECT_EQ(ColorToRGB(c.colour), c.rgb) << std::hex << c.colour;
}

TEST(SysColors, HostCanInjectAndReset) {
  SetSysColor(COLOR_BTNFACE, uint32_t(RGBColor(10, 20, 30)));
  EXPECT_EQ(ColorToRGB(clBtnFace), uint32_t(RGBColor(10, 20, 30)));
  TSysColorTable table = DefaultSysColors();
  table[COLOR_WINDOW] = 0x000080;
  SetSysColors(table);
  EXPECT_EQ(ColorToRGB(clWindow), 0x000080u);
  EXPECT_EQ(ColorToRGB(clBtnFace), uint32_t(RGBColor(240, 240, 240)));
  ResetSysColors();
  EXPECT_EQ(ColorToRGB(clWindow), 0xffffffu);
}

TEST(SysMetrics, DefaultsAndInjection) {
  EXPECT_EQ(GetSystemMetric(SM_CXEDGE), 2);
  EXPECT_EQ(GetSystemMetric(SM_CYEDGE), 2);
  EXPECT_EQ(GetSystemMetric(-1), 0);
  EXPECT_EQ(GetSystemMetric(kSysMetricCount), 0);
  SetSystemMetric(SM_CXEDGE, 3);
  SetScreenColorDepth(8);
  EXPECT_EQ(GetSystemMetric(SM_CXEDGE), 3);
  EXPECT_EQ(ScreenColorDepth(), 8);
  ResetSystemMetrics();
  EXPECT_EQ(GetSystemMetric(SM_CXEDGE), 2);
  EXPECT_EQ(ScreenColorDepth(), 32);
}
