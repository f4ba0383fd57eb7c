#include "platform/draw.h"

#include <algorithm>
#include <cstdlib>

#include "platform/bitmap.h"

static TRect Clipped(const TBitmap& b, const TRect& r, const TRect& clip) {
  return IntersectRect(IntersectRect(r, clip), Bounds(0, 0, b.Width(), b.Height()));
}

bool HatchAt(TBrushStyle style, int x, int y) {
  const int cx = x & 7, cy = y & 7;
  const bool h = cy == 0, v = cx == 0, f = ((cx - cy) & 7) == 0, b = ((cx + cy) & 7) == 7;
  switch (style) {
    case bsSolid: return true;
    case bsHorizontal: return h;
    case bsVertical: return v;
    case bsFDiagonal: return f;
    case bsBDiagonal: return b;
    case bsCross: return h || v;
    case bsDiagCross: return f || b;
  }
  return false;
}

void FillRectStyled(TBitmap& target, const TRect& rect, TColor color, TBrushStyle style,
                    const TRect& clip) {
  const TRect r = Clipped(target, rect, clip);
  if (r.IsEmpty()) return;
  const uint32_t value = target.ColorToPixel(color);
  for (int y = r.top; y < r.bottom; ++y) {
    if (style == bsSolid || (style == bsHorizontal && (y & 7) == 0) ||
        (style == bsCross && (y & 7) == 0)) {
      target.FillRowValue(y, r.left, r.Width(), value);
      continue;
    }
    for (int x = r.left; x < r.right; ++x)
      if (HatchAt(style, x, y)) target.SetPixelValue(x, y, value);
  }
}

// Bresenham over the whole line, clipping per pixel (lines here are short
// compared with the cost of composing the picture).
template <typename Plot>
static void WalkLine(int x0, int y0, int x1, int y1, const TRect& r, Plot plot) {
  // Grid lines are horizontal or vertical and may run far beyond the bitmap:
  // walk only their visible part.
  if (y0 == y1 || x0 == x1) {
    if (x0 == x1 && y0 == y1) return;
    const bool horizontal = y0 == y1;
    const int fixed = horizontal ? y0 : x0;
    if (horizontal ? (fixed < r.top || fixed >= r.bottom) : (fixed < r.left || fixed >= r.right)) return;
    const int a = horizontal ? x0 : y0, b = horizontal ? x1 : y1;
    // Pixels from a towards b, b itself excluded.
    int lo = a < b ? a : b + 1, hi = a < b ? b - 1 : a;
    lo = std::max(lo, horizontal ? r.left : r.top);
    hi = std::min(hi, (horizontal ? r.right : r.bottom) - 1);
    for (int i = lo; i <= hi; ++i) horizontal ? plot(i, fixed) : plot(fixed, i);
    return;
  }
  const int dx = std::abs(x1 - x0), dy = -std::abs(y1 - y0);
  const int sx = x0 < x1 ? 1 : -1, sy = y0 < y1 ? 1 : -1;
  int err = dx + dy;
  while (x0 != x1 || y0 != y1) {
    if (r.Contains(x0, y0)) plot(x0, y0);
    const int e2 = 2 * err;
    if (e2 >= dy) {
      err += dy;
      x0 += sx;
    }
    if (e2 <= dx) {
      err += dx;
      y0 += sy;
    }
  }
}

void DrawLine(TBitmap& target, int x0, int y0, int x1, int y1, TColor color, const TRect& clip) {
  const TRect r = Clipped(target, kNoClip, clip);
  if (r.IsEmpty()) return;
  const uint32_t value = target.ColorToPixel(color);
  WalkLine(x0, y0, x1, y1, r, [&](int x, int y) { target.SetPixelValue(x, y, value); });
}

void InvertLine(TBitmap& target, int x0, int y0, int x1, int y1, const TRect& clip) {
  const TRect r = Clipped(target, kNoClip, clip);
  if (r.IsEmpty()) return;
  const int bits = target.BitsPerPixel() == 32 ? 24 : target.BitsPerPixel();
  const uint32_t mask = uint32_t((uint64_t(1) << bits) - 1);
  WalkLine(x0, y0, x1, y1, r,
           [&](int x, int y) { target.SetPixelValue(x, y, target.PixelValue(x, y) ^ mask); });
}

void DrawSunkenEdge(TBitmap& target, const TRect& rect, const TRect& clip) {
  const TRect r = Clipped(target, kNoClip, clip);
  if (r.IsEmpty() || rect.IsEmpty()) return;
  auto ring = [&](const TRect& e, TColor topLeft, TColor bottomRight) {
    if (e.IsEmpty()) return;
    FillRectStyled(target, Rect(e.left, e.top, e.right - 1, e.top + 1), topLeft, bsSolid, r);
    FillRectStyled(target, Rect(e.left, e.top, e.left + 1, e.bottom - 1), topLeft, bsSolid, r);
    FillRectStyled(target, Rect(e.left, e.bottom - 1, e.right, e.bottom), bottomRight, bsSolid, r);
    FillRectStyled(target, Rect(e.right - 1, e.top, e.right, e.bottom), bottomRight, bsSolid, r);
  };
  ring(rect, clBtnShadow, clBtnHighlight);
  ring(Rect(rect.left + 1, rect.top + 1, rect.right - 1, rect.bottom - 1), cl3DDkShadow, cl3DLight);
}

void GradientFillV(TBitmap& target, const TRect& rect, TColor top, TColor bottom, const TRect& clip) {
  const TRect r = Clipped(target, rect, clip);
  if (r.IsEmpty()) return;
  const uint32_t c0 = ColorToRGB(top), c1 = ColorToRGB(bottom);
  const int span = rect.Height() - 1;
  auto channel = [&](int a, int b, int i) { return span > 0 ? a + (b - a) * i / span : a; };
  for (int y = r.top; y < r.bottom; ++y) {
    const int i = y - rect.top;
    const TColor c = RGBColor(uint8_t(channel(ColorR(c0), ColorR(c1), i)),
                              uint8_t(channel(ColorG(c0), ColorG(c1), i)),
                              uint8_t(channel(ColorB(c0), ColorB(c1), i)));
    target.FillRowValue(y, r.left, r.Width(), target.ColorToPixel(c));
  }
}
