#pragma once
// Resampling: the twelve filters and the free functions that resample one
// TLXBitmap into another of a different size.
#include <cstdint>
#include <functional>

class TLXBitmap;

enum TResampleFilter : uint8_t {
  rfNone = 0,     // nearest-pixel stretch (ResampleNearest)
  rfTriangle,
  rfHermite,
  rfBell,
  rfBSpline,
  rfLanczos3,
  rfMitchell,
  rfNearest,
  rfLinear,
  rfFastLinear,   // fixed-point interpolation or box average
  rfBilinear,     // area-weighted bilinear
  rfBicubic,      // area-weighted cubic
};

// (sender, percent); called only when assigned, never stops the work.
using TLXProgressEvent = std::function<void(void* sender, int percent)>;

// Kernel table entry of filters rfTriangle .. rfLinear. Kernels take and return
// doubles but compute in extended precision.
struct TResampleKernel {
  double (*kernel)(double x);
  double support;
};
// Entry for filters 1 to 8; any other value gives {nullptr, 0}.
TResampleKernel ResampleKernelOf(TResampleFilter filter);

// The dispatcher of the processing component: dst is already allocated at the
// target size; handles the alpha channel (and recolours src's fully transparent
// pixels to (128,128,128)).
void ResampleBitmap(TLXBitmap* src, TLXBitmap* dst, TResampleFilter filter, void* sender = nullptr,
                    const TLXProgressEvent& onProgress = {});

// lx24RGB into lx24RGB allocated at the target size; filters 1 to 11.
void ResampleFiltered24(TLXBitmap* src, TLXBitmap* dst, TResampleFilter filter, void* sender = nullptr,
                        const TLXProgressEvent& onProgress = {});

// lx1g into lx24RGB allocated at the target size, written as grey.
void ResampleFiltered1(TLXBitmap* src, TLXBitmap* dst, TResampleFilter filter);

// One byte per pixel in both (alpha channels, lx8g).
void ResampleFilteredPlane8(TLXBitmap* src, TLXBitmap* dst, TResampleFilter filter);

// Unfiltered stretch between bitmaps of the same pixel format; returns dst.
TLXBitmap* ResampleNearest(TLXBitmap* src, TLXBitmap* dst, void* sender = nullptr,
                           const TLXProgressEvent& onProgress = {});

// Area average of the rectangle x1..x2, y1..y2 (inclusive) of an lx1g source into
// an lx24RGB dst of any smaller size, grey.
void ShrinkMono(TLXBitmap* src, int x1, int y1, TLXBitmap* dst, int y2, int x2);

// The bitmap side of the controller's square-pixel adjustment after a load:
// resizes bitmap in place to newWidth x newHeight, with rfFastLinear (converting
// to lx24RGB first) when filtered, else by ResampleNearest keeping the format; an
// alpha channel is always stretched by ResampleNearest.
void StretchForDPI(TLXBitmap* bitmap, int newWidth, int newHeight, bool filtered);
