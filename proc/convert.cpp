#include "proc/convert.h"

#include "image/bitmap.h"

const uint8_t kDitherMatrix[8][8] = {
    {0, 32, 8, 40, 2, 34, 10, 42},  {48, 16, 56, 24, 50, 18, 58, 26},
    {12, 44, 4, 36, 14, 46, 6, 38}, {60, 28, 52, 20, 62, 30, 54, 22},
    {3, 35, 11, 43, 1, 33, 9, 41},  {51, 19, 59, 27, 49, 17, 57, 25},
    {15, 47, 7, 39, 13, 45, 5, 37}, {63, 31, 55, 23, 61, 29, 53, 21}};

TLXMonoProgress MakeMonoProgress(const TLXProgressEvent& event, void* sender, int height) {
  return TLXMonoProgress{event, sender, 100.0 / (height + 0.5)};
}

int Luminance(int32_t packedRGB) {
  return (21 * ((packedRGB >> 16) & 255) + 71 * ((packedRGB >> 8) & 255) + 8 * (packedRGB & 255)) /
         100;
}

TRGB MeanColor(TLXBitmap*) { return TRGB{128, 128, 128}; }
void DitherToMono(TLXBitmap*, const TLXMonoProgress&) {}
void ThresholdToMono(TLXBitmap*, TLXBitmap*, int, const TLXMonoProgress&) {}
void ConvertToMono(TLXBitmap*, int, const TLXMonoProgress&) {}
void QuantizeInPlace(TLXBitmap*, int, TRGB*, void*, const TLXProgressEvent&) {}
void GrayRect(TLXBitmap*, int, int, void*, const TLXProgressEvent&, int, int) {}
void ConvertTo(TLXBitmap*, int, int, void*, const TLXProgressEvent&) {}
void ConvertToPalette(TLXBitmap*, int, TRGB*, int, void*, const TLXProgressEvent&) {}
