#pragma once
// System metrics (edge sizes, scroll-bar sizes, screen) and the screen depth,
// from a deterministic default table that the toolkit binding may refill.
enum TSysMetricIndex : int {
  SM_CXSCREEN = 0, SM_CYSCREEN = 1, SM_CXVSCROLL = 2, SM_CYHSCROLL = 3,
  SM_CXBORDER = 5, SM_CYBORDER = 6, SM_CYVSCROLL = 20, SM_CXHSCROLL = 21,
  SM_CXEDGE = 45, SM_CYEDGE = 46,
};
inline constexpr int kSysMetricCount = 100;

// 0 for an index outside the table.
int GetSystemMetric(int index);
void SetSystemMetric(int index, int value);
void ResetSystemMetrics();

// Bits per pixel of the screen; 32 unless the host says otherwise.
int ScreenColorDepth();
void SetScreenColorDepth(int bits);
