#include "platform/canvas.h"

#include <algorithm>
#include <vector>

#include "platform/bitmap.h"

// Same depth and the same palette: the raw values carry over, bit offsets and all.
static bool RawCompatible(const TBitmap& a, const TBitmap& b) {
  if (a.BitsPerPixel() != b.BitsPerPixel()) return false;
  if (a.PaletteSize() != b.PaletteSize()) return false;
  for (int i = 0; i < a.PaletteSize(); ++i)
    if (!(a.PaletteEntry(i) == b.PaletteEntry(i))) return false;
  return true;
}

void TCanvas::Draw(int x, int y, const TBitmap& src) {
  CopyRect(Bounds(x, y, src.Width(), src.Height()), src, Bounds(0, 0, src.Width(), src.Height()));
}

// A private copy, so that a bitmap can be copied onto itself with overlap.
static void Clone(const TBitmap& src, TBitmap& dst) {
  dst.SetBottomUp(src.BottomUp());
  dst.SetBitsPerPixel(src.BitsPerPixel());
  dst.SetSize(src.Width(), src.Height());
  for (int i = 0; i < src.PaletteSize(); ++i) dst.SetPaletteEntry(i, src.PaletteEntry(i));
  std::copy_n(src.Bits(), size_t(src.RowBytes()) * size_t(src.Height()), dst.Bits());
}

void TCanvas::CopyRect(const TRect& dstRect, const TBitmap& src, const TRect& srcRect) {
  const int dw = dstRect.Width(), dh = dstRect.Height();
  const int sw = srcRect.Width(), sh = srcRect.Height();
  if (dw <= 0 || dh <= 0 || sw <= 0 || sh <= 0 || src.Width() <= 0 || src.Height() <= 0) return;
  const TRect clip = IntersectRect(dstRect, Bounds(0, 0, target_.Width(), target_.Height()));
  if (clip.IsEmpty()) return;
  if (&src == &target_) {
    TBitmap copy;
    Clone(src, copy);
    CopyRect(dstRect, copy, srcRect);
    return;
  }

  // Column map: destination column -> source column, -1 when it falls outside src.
  const int n = clip.Width();
  std::vector<int> xs(static_cast<size_t>(n));
  for (int x = clip.left; x < clip.right; ++x) {
    const int sx = srcRect.left + int(int64_t(x - dstRect.left) * sw / dw);
    xs[size_t(x - clip.left)] = (sx >= 0 && sx < src.Width()) ? sx : -1;
  }
  const bool raw = RawCompatible(src, target_);
  const int srcW = src.Width();
  std::vector<uint32_t> srcRow(static_cast<size_t>(srcW)), out(static_cast<size_t>(n));

  for (int y = clip.top; y < clip.bottom; ++y) {
    const int sy = srcRect.top + int(int64_t(y - dstRect.top) * sh / dh);
    if (sy < 0 || sy >= src.Height()) continue;
    if (raw) src.ReadRowValues(sy, 0, srcW, srcRow.data());
    else src.ReadRowColors(sy, 0, srcW, srcRow.data());
    // Runs of columns inside the source are written in one go.
    for (int x = 0; x < n;) {
      if (xs[size_t(x)] < 0) {
        ++x;
        continue;
      }
      int end = x;
      for (; end < n && xs[size_t(end)] >= 0; ++end) out[size_t(end - x)] = srcRow[size_t(xs[size_t(end)])];
      if (raw) target_.WriteRowValues(y, clip.left + x, end - x, out.data());
      else target_.WriteRowColors(y, clip.left + x, end - x, out.data());
      x = end;
    }
  }
}

void TCanvas::FillRect(const TRect& rect, TColor color) {
  const TRect clip = IntersectRect(rect, Bounds(0, 0, target_.Width(), target_.Height()));
  if (clip.IsEmpty()) return;
  const uint32_t value = target_.ColorToPixel(color);
  for (int y = clip.top; y < clip.bottom; ++y) target_.FillRowValue(y, clip.left, clip.Width(), value);
}

uint32_t TCanvas::Pixel(int x, int y) const {
  if (x < 0 || y < 0 || x >= target_.Width() || y >= target_.Height()) return 0;
  return target_.PixelColor(x, y);
}

void TCanvas::SetPixel(int x, int y, TColor color) {
  if (x < 0 || y < 0 || x >= target_.Width() || y >= target_.Height()) return;
  target_.SetPixelColor(x, y, color);
}
