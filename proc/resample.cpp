#include "proc/resample.h"

#include "image/bitmap.h"

TResampleKernel ResampleKernelOf(TResampleFilter) { return {nullptr, 0}; }
void ResampleBitmap(TLXBitmap*, TLXBitmap*, TResampleFilter, void*, const TLXProgressEvent&) {}
void ResampleFiltered24(TLXBitmap*, TLXBitmap*, TResampleFilter, void*, const TLXProgressEvent&) {}
void ResampleFiltered1(TLXBitmap*, TLXBitmap*, TResampleFilter) {}
void ResampleFilteredPlane8(TLXBitmap*, TLXBitmap*, TResampleFilter) {}
TLXBitmap* ResampleNearest(TLXBitmap*, TLXBitmap* dst, void*, const TLXProgressEvent&) { return dst; }
void ShrinkMono(TLXBitmap*, int, int, TLXBitmap*, int, int) {}
void StretchForDPI(TLXBitmap*, int, int, bool) {}
