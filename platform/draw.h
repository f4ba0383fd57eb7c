#pragma once
// Drawing primitives on a platform bitmap, for composing the view's back buffer.
// Every one clips to the bitmap and to an optional clip rectangle.
#include <climits>

#include "platform/rect.h"
#include "platform/syscolors.h"

class TBitmap;

enum TBrushStyle : int {
  bsSolid = 0, bsHorizontal, bsVertical, bsFDiagonal, bsBDiagonal, bsCross, bsDiagCross,
};

inline constexpr TRect kNoClip{INT_MIN / 4, INT_MIN / 4, INT_MAX / 4, INT_MAX / 4};

// Whether the 8x8 hatch pattern of style has a line at (x, y); the pattern is
// anchored at the bitmap's origin. bsSolid is set everywhere.
//   horizontal: y mod 8 = 0; vertical: x mod 8 = 0;
//   forward diagonal ("\"): (x - y) mod 8 = 0; backward diagonal ("/"): (x + y) mod 8 = 7;
//   cross and diagonal cross combine the two of their kind.
bool HatchAt(TBrushStyle style, int x, int y);

// Fills rect with color in the brush style. Hatch styles paint only their lines and
// leave the pixels between them as they were (the transparent background mode).
void FillRectStyled(TBitmap& target, const TRect& rect, TColor color, TBrushStyle style,
                    const TRect& clip = kNoClip);

// A line from (x0, y0) towards (x1, y1), the end point itself not drawn.
void DrawLine(TBitmap& target, int x0, int y0, int x1, int y1, TColor color,
              const TRect& clip = kNoClip);
// The same line in pen mode "not": every pixel's stored value is inverted.
void InvertLine(TBitmap& target, int x0, int y0, int x1, int y1, const TRect& clip = kNoClip);

// The two-pixel sunken 3D edge just inside rect: outer ring button shadow
// (top, left) and button highlight (bottom, right), inner ring 3D dark shadow
// and 3D light, all system colours.
void DrawSunkenEdge(TBitmap& target, const TRect& rect, const TRect& clip = kNoClip);

// Vertical gradient: the top row takes top, the bottom row bottom, rows between
// the linear blend per channel (truncated).
void GradientFillV(TBitmap& target, const TRect& rect, TColor top, TColor bottom,
                   const TRect& clip = kNoClip);
