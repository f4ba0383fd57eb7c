#pragma once
// A rectangle in the windowing convention: left/top inclusive, right/bottom exclusive.
#include <algorithm>

struct TRect {
  int left = 0, top = 0, right = 0, bottom = 0;

  constexpr int Width() const { return right - left; }
  constexpr int Height() const { return bottom - top; }
  constexpr bool IsEmpty() const { return right <= left || bottom <= top; }
  constexpr bool Contains(int x, int y) const { return x >= left && x < right && y >= top && y < bottom; }
  constexpr bool operator==(const TRect&) const = default;
};

constexpr TRect Rect(int left, int top, int right, int bottom) { return TRect{left, top, right, bottom}; }
constexpr TRect Bounds(int left, int top, int width, int height) {
  return TRect{left, top, left + width, top + height};
}

// The common part of two rectangles; empty (all zero) when they do not meet.
constexpr TRect IntersectRect(const TRect& a, const TRect& b) {
  TRect r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
          std::min(a.bottom, b.bottom)};
  return r.IsEmpty() ? TRect{} : r;
}

constexpr TRect OffsetRect(const TRect& r, int dx, int dy) {
  return TRect{r.left + dx, r.top + dy, r.right + dx, r.bottom + dy};
}
