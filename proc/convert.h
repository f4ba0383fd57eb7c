#pragma once
// Colour reductions of true-colour images: black and white by ordered dithering
// or by a luminance threshold, n colours in place, grey.
#include <cstdint>

#include "image/types.h"
#include "proc/resample.h"  // TLXProgressEvent

class TLXBitmap;

// What the black-and-white conversions report through: after row y the event,
// when assigned, receives Trunc((y + 1) * step). A default record reports nothing.
struct TLXMonoProgress {
  TLXProgressEvent event;
  void* sender = nullptr;
  double step = 0;  // 100 / (height + 0.5); MakeMonoProgress fills it
};
TLXMonoProgress MakeMonoProgress(const TLXProgressEvent& event, void* sender, int height);

// The 8 x 8 ordered-dither matrix, addressed [x mod 8][y mod 8].
extern const uint8_t kDitherMatrix[8][8];

// (21R + 71G + 8B) div 100 of a colour packed as R*65536 + G*256 + B.
int Luminance(int32_t packedRGB);
inline int Luminance(TRGB c) { return (21 * c.r + 71 * c.g + 8 * c.b) / 100; }

// The mean of the per-row means; (128, 128, 128) when it cannot be computed
// (an empty image).
TRGB MeanColor(TLXBitmap* bitmap);

// An lx24RGB bitmap becomes lx1g of the same size by ordered dithering; other
// formats are left unchanged.
void DitherToMono(TLXBitmap* bitmap, const TLXMonoProgress& progress = {});

// dst becomes the black-and-white image of src (any format); threshold -1 takes
// the luminance of src's mean colour. A pixel at or above the level is white.
void ThresholdToMono(TLXBitmap* src, TLXBitmap* dst, int threshold,
                     const TLXMonoProgress& progress = {});

// An lx24RGB bitmap becomes lx1g through ThresholdToMono; other formats unchanged.
void ConvertToMono(TLXBitmap* bitmap, int threshold, const TLXMonoProgress& progress = {});

// An lx24RGB bitmap keeps its format with every pixel replaced by its colour in
// an n-colour palette (palette, when given, receives it). Others unchanged.
void QuantizeInPlace(TLXBitmap* bitmap, int n, TRGB* palette, void* sender,
                     const TLXProgressEvent& onProgress);

// Greys columns x1 .. x2-1, rows y1 .. y2-1 of an lx24RGB bitmap (x2, y2 are
// limited to the size first). Other formats unchanged.
void GrayRect(TLXBitmap* bitmap, int x1, int y1, void* sender, const TLXProgressEvent& onProgress,
              int x2, int y2);

// The pixel work of the processing component's colour operations (the
// component does the format check, the undo snapshot and the refresh).
// n < 3: black and white (ditherMethod 0 dithering, 1 mean threshold);
// 3..1024: n colours in place; larger: nothing.
void ConvertTo(TLXBitmap* bitmap, int n, int ditherMethod, void* sender,
               const TLXProgressEvent& onProgress);
// As ConvertTo, but palette (n entries) receives the colours used: black and
// white for n < 3 (only the entries that exist), the quantizer's palette
// otherwise. n = 0 does nothing.
void ConvertToPalette(TLXBitmap* bitmap, int n, TRGB* palette, int ditherMethod, void* sender,
                      const TLXProgressEvent& onProgress);
