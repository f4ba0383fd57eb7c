#pragma once
// The drawing surface of a platform bitmap: drawing other bitmaps, copying
// rectangles and filling with a colour. Everything clips to the target.
#include "platform/rect.h"
#include "platform/syscolors.h"

class TBitmap;

class TCanvas {
public:
  explicit TCanvas(TBitmap& target) : target_(target) {}
  TCanvas(const TCanvas&) = delete;
  TCanvas& operator=(const TCanvas&) = delete;

  TBitmap& Target() { return target_; }

  // Draws the whole of src with its top-left corner at (x, y), converting depth.
  void Draw(int x, int y, const TBitmap& src);
  // Copies srcRect of src into dstRect, stretching by nearest pixel when the two
  // sizes differ. Parts outside either bitmap are left out.
  void CopyRect(const TRect& dstRect, const TBitmap& src, const TRect& srcRect);
  // Fills with a colour in the windowing encoding (system colours allowed).
  void FillRect(const TRect& rect, TColor color);

  uint32_t Pixel(int x, int y) const;
  void SetPixel(int x, int y, TColor color);

private:
  TBitmap& target_;
};
