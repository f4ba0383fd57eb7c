#pragma once
// RenderToTBitmap: the one path by which a TLXBitmap reaches the screen. Draws a
// source rectangle, scaled to a destination rectangle, into a 24-bit TBitmap.
#include <cstdint>
#include <vector>

#include "image/bitmap.h"
#if __has_include("proc/resample.h")
#include "proc/resample.h"
#else
enum TResampleFilter : uint8_t {
  rfNone, rfTriangle, rfHermite, rfBell, rfBSpline, rfLanczos3, rfMitchell,
  rfNearest, rfLinear, rfFastLinear, rfBilinear, rfBicubic
};
#endif

class TBitmap;

// Inclusive rectangle in target coordinates.
struct TLXRect {
  int Left = 0, Top = 0, Right = -1, Bottom = -1;
  bool operator==(const TLXRect&) const = default;
};

// 14 fraction bits: 16384 is a scale of 1.0.
inline constexpr int kRenderScaleOne = 1 << 14;

// rows: the target's row addresses (row 0 first); filled from target when empty.
// xMap/yMap: entry i holds the source column (row) drawn at destination column
// dstX + i (row dstY + i) of the rectangle as passed. Given non-empty they are used
// (entries outside the source are clamped); given empty they are built, and kept
// for the caller unless freeTables. Null pointers mean "build and free".
// clipRect: null for no clipping.
void RenderToTBitmap(TLXBitmap* source, TBitmap* target, std::vector<uint8_t*>* rows,
                     std::vector<int32_t>* xMap, std::vector<int32_t>* yMap,
                     const TLXRect* clipRect, int dstX, int dstY, int dstWidth, int dstHeight,
                     int srcX, int srcY, int srcWidth, int srcHeight, bool useAlpha,
                     bool allowRowCopy, int transparency, TResampleFilter filter,
                     bool freeTables, int operation);
