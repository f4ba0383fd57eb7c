#pragma once
// RenderToTBitmap: the one path by which a TLXBitmap reaches the screen. Draws a
// source rectangle, scaled to a destination rectangle, into a 24-bit TBitmap.
#include <cstdint>
#include <vector>

#include "image/bitmap.h"
#include "platform/rect.h"
#include "proc/resample.h"

class TBitmap;

// 14 fraction bits: 16384 is a scale of 1.0.
inline constexpr int kRenderScaleOne = 1 << 14;

// What a row renderer gets: the clipped destination, the origins and the maps.
struct TLXRenderJob {
  uint8_t* const* rows = nullptr;  // target rows, row 0 first
  int x1 = 0, x2 = -1;             // drawn destination columns, inclusive
  int y1 = 0, y2 = -1;             // drawn destination rows, inclusive
  int dstX = 0, dstY = 0, srcX = 0, srcY = 0;
  const int32_t* xMap = nullptr;   // source column of destination column x at xMap[x - x1]
  const int32_t* yMap = nullptr;   // source row of destination row y at yMap[y - y1]
  bool allowRowCopy = false;
  // Blending: a source-width row of bytes equal to transparency (null at 255).
  const uint8_t* transparencyRow = nullptr;
  TLXBitmap* alpha = nullptr;      // the alpha channel to blend with, or null
  int transparency = 255;
  int operation = 0;
  int xScale = kRenderScaleOne, yScale = kRenderScaleOne;
};

// rows: the target's row addresses (row 0 first); filled from target when empty.
// xMap/yMap: entry i holds the source column (row) drawn at destination column
// dstX + i (row dstY + i) of the rectangle as passed. Given non-empty they are used
// (entries outside the source are clamped); given empty they are built, and kept
// for the caller unless freeTables. Null pointers mean "build and free".
// clipRect: target rectangle (right and bottom exclusive) or null for no clipping.
void RenderToTBitmap(TLXBitmap* source, TBitmap* target, std::vector<uint8_t*>* rows,
                     std::vector<int32_t>* xMap, std::vector<int32_t>* yMap,
                     const TRect* clipRect, int dstX, int dstY, int dstWidth, int dstHeight,
                     int srcX, int srcY, int srcWidth, int srcHeight, bool useAlpha,
                     bool allowRowCopy, int transparency, TResampleFilter filter,
                     bool freeTables, int operation);
