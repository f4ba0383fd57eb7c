#include "image/render.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <cstring>
#include <memory>

#include "platform/bitmap.h"

namespace {

int TruncI(double v) {
  if (!(v == v)) return 0;
  if (v >= double(INT_MAX)) return INT_MAX;
  if (v <= double(INT_MIN)) return INT_MIN;
  return int(v);
}

// Restores the source's access mode however the call ends.
class AccessGuard {
public:
  explicit AccessGuard(TLXBitmap* b) : b_(b), saved_(b->Access) { b->Access = lxaRead; }
  ~AccessGuard() { b_->Access = saved_; }
  AccessGuard(const AccessGuard&) = delete;
  AccessGuard& operator=(const AccessGuard&) = delete;

private:
  TLXBitmap* b_;
  uint8_t saved_;
};

inline uint8_t Blend(int d, int s, int t) {
  // Arithmetic shift: the floor also for a negative difference.
  return uint8_t(d + (((s - d) * t) >> 8));
}

// The blending weight at source column c: min(transparency, alpha) or the transparency row.
struct Weights {
  const TLXRenderJob& job;
  const uint8_t* alphaRow = nullptr;
  void Row(int r) { alphaRow = job.alpha ? job.alpha->Scanline(r) : nullptr; }
  int At(int c) const {
    return alphaRow ? std::min(job.transparency, int(alphaRow[c])) : job.transparencyRow[c];
  }
};

// Opaque renderers that map a source row to colour bytes: copying the row above
// when it shows the same source row.
template <class PixelFn>
void RenderOpaque(TLXBitmap* src, const TLXRenderJob& job, bool rowCopy, PixelFn pixel) {
  const int n = job.x2 - job.x1 + 1;
  int prev = INT_MIN;
  for (int y = job.y1; y <= job.y2; ++y) {
    const int r = job.yMap[y - job.y1];
    uint8_t* d = job.rows[y] + size_t(job.x1) * 3;
    if (rowCopy && r == prev && y > job.y1) {
      std::memcpy(d, job.rows[y - 1] + size_t(job.x1) * 3, size_t(n) * 3);
      continue;
    }
    prev = r;
    const uint8_t* s = src->Scanline(r);
    const int32_t* xm = job.xMap;
    for (int i = 0; i < n; ++i, d += 3) pixel(s, xm[i], d);
  }
}

template <class ColourFn>
void RenderBlend(TLXBitmap* src, const TLXRenderJob& job, ColourFn colour) {
  const int n = job.x2 - job.x1 + 1;
  Weights w{job};
  for (int y = job.y1; y <= job.y2; ++y) {
    const int r = job.yMap[y - job.y1];
    w.Row(r);
    const uint8_t* s = src->Scanline(r);
    uint8_t* d = job.rows[y] + size_t(job.x1) * 3;
    const int32_t* xm = job.xMap;
    for (int i = 0; i < n; ++i, d += 3) {
      const int c = xm[i];
      uint8_t rgb[3];
      colour(s, c, rgb);
      const int t = w.At(c);
      d[0] = Blend(d[0], rgb[0], t);
      d[1] = Blend(d[1], rgb[1], t);
      d[2] = Blend(d[2], rgb[2], t);
    }
  }
}

// Grey level tables of the integer formats (display range applied).
std::vector<uint8_t> GreyTable(int count, int shift, double dmin, double dmax) {
  std::vector<uint8_t> t(static_cast<size_t>(count));
  const int lo = TruncI(dmin), hi = TruncI(dmax);
  // A range that truncates to a single value has no width to spread over.
  const bool ranged = dmax != dmin && hi != lo;
  for (int v = 0; v < count; ++v) {
    if (ranged) {
      const int a = std::min(lo, hi), b = std::max(lo, hi);
      const int c = std::clamp(v, a, b);
      t[size_t(v)] = uint8_t(std::clamp(TruncI(double(c - lo) / double(hi - lo) * 255), 0, 255));
    } else {
      t[size_t(v)] = uint8_t(v >> shift);
    }
  }
  return t;
}

inline uint8_t Grey32(float f, double dmin, double dmax, bool ranged) {
  double v = f;
  if (ranged) {
    v = std::clamp(v, std::min(dmin, dmax), std::max(dmin, dmax));
    return uint8_t(std::clamp(TruncI((v - dmin) / (dmax - dmin) * 255), 0, 255));
  }
  return uint8_t(std::clamp(TruncI(v * 255), 0, 255));
}

std::array<TRGB, 256> PaletteOf(TLXBitmap* b) {
  std::array<TRGB, 256> p{};
  const TRGB* pal = b->Palette();
  const int n = std::min(b->PaletteCount(), 256);
  for (int i = 0; pal && i < n; ++i) p[size_t(i)] = pal[i];
  return p;
}

}  // namespace

// ---------------------------------------------------------------- row renderers

void TLXBitmap::Render24RGB(const TLXRenderJob& job) {
  if (!job.xMap) {
    // Scale 1.0: whole row segments.
    const int n = job.x2 - job.x1 + 1;
    const int sx = job.srcX + (job.x1 - job.dstX);
    for (int y = job.y1; y <= job.y2; ++y) {
      const uint8_t* s = Scanline(job.srcY + (y - job.dstY));
      std::memcpy(job.rows[y] + size_t(job.x1) * 3, s + size_t(sx) * 3, size_t(n) * 3);
    }
    return;
  }
  RenderOpaque(this, job, job.allowRowCopy, [](const uint8_t* s, int c, uint8_t* d) {
    const uint8_t* p = s + size_t(c) * 3;
    d[0] = p[0];
    d[1] = p[1];
    d[2] = p[2];
  });
}

void TLXBitmap::Render24RGBBlend(const TLXRenderJob& job) {
  RenderBlend(this, job, [](const uint8_t* s, int c, uint8_t* rgb) {
    const uint8_t* p = s + size_t(c) * 3;
    rgb[0] = p[0];
    rgb[1] = p[1];
    rgb[2] = p[2];
  });
}

void TLXBitmap::Render1g(const TLXRenderJob& job) {
  RenderOpaque(this, job, job.allowRowCopy, [](const uint8_t* s, int c, uint8_t* d) {
    const uint8_t v = (s[c >> 3] >> (7 - (c & 7))) & 1 ? 255 : 0;
    d[0] = d[1] = d[2] = v;
  });
}

void TLXBitmap::Render1gBlend(const TLXRenderJob& job) {
  RenderBlend(this, job, [](const uint8_t* s, int c, uint8_t* rgb) {
    rgb[0] = rgb[1] = rgb[2] = (s[c >> 3] >> (7 - (c & 7))) & 1 ? 255 : 0;
  });
}

void TLXBitmap::Render8g(const TLXRenderJob& job) {
  const auto t = GreyTable(256, 0, DisplayMin, DisplayMax);
  RenderOpaque(this, job, false, [&t](const uint8_t* s, int c, uint8_t* d) { d[0] = d[1] = d[2] = t[s[c]]; });
}

void TLXBitmap::Render8gBlend(const TLXRenderJob& job) {
  const auto t = GreyTable(256, 0, DisplayMin, DisplayMax);
  RenderBlend(this, job, [&t](const uint8_t* s, int c, uint8_t* rgb) { rgb[0] = rgb[1] = rgb[2] = t[s[c]]; });
}

void TLXBitmap::Render8p(const TLXRenderJob& job) {
  const auto pal = PaletteOf(this);
  RenderOpaque(this, job, false, [&pal](const uint8_t* s, int c, uint8_t* d) {
    const TRGB& p = pal[s[c]];
    d[0] = p.b;
    d[1] = p.g;
    d[2] = p.r;
  });
}

void TLXBitmap::Render8pBlend(const TLXRenderJob& job) {
  const auto pal = PaletteOf(this);
  RenderBlend(this, job, [&pal](const uint8_t* s, int c, uint8_t* rgb) {
    const TRGB& p = pal[s[c]];
    rgb[0] = p.b;
    rgb[1] = p.g;
    rgb[2] = p.r;
  });
}

void TLXBitmap::Render16g(const TLXRenderJob& job) {
  const auto t = GreyTable(65536, 8, DisplayMin, DisplayMax);
  RenderOpaque(this, job, false, [&t](const uint8_t* s, int c, uint8_t* d) {
    uint16_t v;
    std::memcpy(&v, s + size_t(c) * 2, 2);
    d[0] = d[1] = d[2] = t[v];
  });
}

void TLXBitmap::Render16gBlend(const TLXRenderJob& job) {
  const auto t = GreyTable(65536, 8, DisplayMin, DisplayMax);
  RenderBlend(this, job, [&t](const uint8_t* s, int c, uint8_t* rgb) {
    uint16_t v;
    std::memcpy(&v, s + size_t(c) * 2, 2);
    rgb[0] = rgb[1] = rgb[2] = t[v];
  });
}

void TLXBitmap::Render32f(const TLXRenderJob& job) {
  const double lo = DisplayMin, hi = DisplayMax;
  const bool ranged = hi != lo;
  RenderOpaque(this, job, false, [=](const uint8_t* s, int c, uint8_t* d) {
    float f;
    std::memcpy(&f, s + size_t(c) * 4, 4);
    d[0] = d[1] = d[2] = Grey32(f, lo, hi, ranged);
  });
}

void TLXBitmap::Render32fBlend(const TLXRenderJob& job) {
  const double lo = DisplayMin, hi = DisplayMax;
  const bool ranged = hi != lo;
  RenderBlend(this, job, [=](const uint8_t* s, int c, uint8_t* rgb) {
    float f;
    std::memcpy(&f, s + size_t(c) * 4, 4);
    rgb[0] = rgb[1] = rgb[2] = Grey32(f, lo, hi, ranged);
  });
}

// ---------------------------------------------------------------- RenderToTBitmap

namespace {

// The filtered path: resample the source rectangle to the destination size, then
// draw that one to one.
void RenderFiltered(TLXBitmap* source, TBitmap* target, std::vector<uint8_t*>* rows,
                    const TRect* clipRect, int dstX, int dstY, int dstWidth, int dstHeight, int srcX,
                    int srcY, int srcWidth, int srcHeight, bool useAlpha, bool allowRowCopy,
                    int transparency, TResampleFilter filter, int operation) {
  const TLXPixelFormat fmt = source->PixelFormat();
  const bool withAlpha = useAlpha && source->HasAlphaChannel();
  TLXBitmap scaled;
  scaled.SetLocation(lxMemory);
  scaled.Allocate(dstWidth, dstHeight, lx24RGB);
  if (scaled.IsEmpty()) return;

  if (srcWidth < dstWidth || fmt == lx24RGB || withAlpha) {
    TLXBitmap* from = source;
    std::unique_ptr<TLXBitmap> part;
    const bool whole = srcX == 0 && srcY == 0 && srcWidth == source->Width() && srcHeight == source->Height();
    if (!whole) {
      // Only the requested rectangle is resampled.
      part = std::make_unique<TLXBitmap>();
      part->SetLocation(lxMemory);
      part->Allocate(srcWidth, srcHeight, fmt);
      if (part->IsEmpty()) return;
      source->CopyRectTo(part.get(), srcX, srcY, 0, 0, srcWidth, srcHeight);
      if (withAlpha) {
        TLXBitmap* a = source->AlphaChannel();
        TLXBitmap* pa = part->AlphaChannel();
        a->CopyRectTo(pa, srcX, srcY, 0, 0, srcWidth, srcHeight);
        pa->Full = a->Full;
      }
      from = part.get();
    }
    if (fmt == lx1g)
      ResampleFiltered1(from, &scaled, filter);
    else
      ResampleFiltered24(from, &scaled, filter);
    if (withAlpha) {
      ResampleFilteredPlane8(from->AlphaChannel(), scaled.AlphaChannel(), filter);
      scaled.AlphaChannel()->Full = from->AlphaChannel()->Full;
    }
  } else {
    ShrinkMono(source, srcX, srcY, &scaled, srcY + srcHeight - 1, srcX + srcWidth - 1);
  }
  scaled.DisplayMin = source->DisplayMin;
  scaled.DisplayMax = source->DisplayMax;
  RenderToTBitmap(&scaled, target, rows, nullptr, nullptr, clipRect, dstX, dstY, dstWidth, dstHeight, 0, 0,
                  dstWidth, dstHeight, useAlpha, allowRowCopy, transparency, rfNone, true, operation);
}

// A caller's map for destination columns first..last (indexes relative to origin),
// clamped into the source; empty when it is too short to serve.
bool TakeMap(const std::vector<int32_t>* given, int origin, int first, int last, int limit,
             std::vector<int32_t>& out) {
  if (!given || given->empty()) return false;
  const long long lo = (long long)first - origin, hi = (long long)last - origin;
  if (lo < 0 || hi >= (long long)given->size()) return false;
  out.resize(size_t(last - first + 1));
  for (long long i = lo; i <= hi; ++i) out[size_t(i - lo)] = std::clamp((*given)[size_t(i)], 0, limit);
  return true;
}

// Entries for destination positions from..last with the fixed-point scale.
void BuildMap(int from, int last, int dst, int src, int scale, int limit, std::vector<int32_t>& out) {
  out.resize(size_t(last - from + 1));
  for (int x = from; x <= last; ++x) {
    const long long v = src + (((long long)scale * (x - dst)) >> 14);
    out[size_t(x - from)] = int32_t(std::clamp<long long>(v, 0, limit));
  }
}

}  // namespace

void RenderToTBitmap(TLXBitmap* source, TBitmap* target, std::vector<uint8_t*>* rows,
                     std::vector<int32_t>* xMap, std::vector<int32_t>* yMap, const TRect* clipRect,
                     int dstX, int dstY, int dstWidth, int dstHeight, int srcX, int srcY, int srcWidth,
                     int srcHeight, bool useAlpha, bool allowRowCopy, int transparency,
                     TResampleFilter filter, bool freeTables, int operation) {
  if (!source || !target || target->BitsPerPixel() != 24) return;
  AccessGuard access(source);
  const int tw = target->Width(), th = target->Height();
  const int sw = source->Width(), sh = source->Height();
  if (dstWidth <= 0 || dstHeight <= 0 || srcWidth <= 0 || srcHeight <= 0 || sw <= 0 || sh <= 0) return;
  if (tw <= 0 || th <= 0 || dstX >= tw || dstY >= th) return;
  const TLXPixelFormat fmt = source->PixelFormat();
  if (fmt == lxNone) return;
  const int mapOriginX = dstX, mapOriginY = dstY;

  // Clip to the target keeping the scale.
  const double sy = double(srcHeight) / dstHeight, sx = double(srcWidth) / dstWidth;
  if (dstY < 0) {
    const int d = TruncI(-double(dstY) * sy);
    srcY += d;
    srcHeight -= d;
    dstHeight += dstY;
    dstY = 0;
  }
  if ((long long)dstY + dstHeight > th) {
    const int excess = int((long long)dstY + dstHeight - th);
    srcHeight -= TruncI(excess * sy);
    dstHeight -= excess;
  }
  if (dstX < 0) {
    const int d = TruncI(-double(dstX) * sx);
    srcX += d;
    srcWidth -= d;
    dstWidth += dstX;
    dstX = 0;
  }
  if ((long long)dstX + dstWidth > tw) {
    const int excess = int((long long)dstX + dstWidth - tw);
    srcWidth -= TruncI(excess * sx);
    dstWidth -= excess;
  }
  dstX = std::clamp(dstX, 0, tw - 1);
  dstY = std::clamp(dstY, 0, th - 1);
  dstWidth = std::min(dstWidth, tw);
  dstHeight = std::min(dstHeight, th);
  srcX = std::clamp(srcX, 0, sw - 1);
  srcY = std::clamp(srcY, 0, sh - 1);
  // Never past the source's last column or row.
  srcWidth = std::min(srcWidth, sw - srcX);
  srcHeight = std::min(srcHeight, sh - srcY);
  if (dstWidth <= 0 || dstHeight <= 0 || srcWidth <= 0 || srcHeight <= 0) return;

  if (filter != rfNone && (dstWidth != srcWidth || dstHeight != srcHeight) && (fmt == lx1g || fmt == lx24RGB)) {
    RenderFiltered(source, target, rows, clipRect, dstX, dstY, dstWidth, dstHeight, srcX, srcY, srcWidth,
                   srcHeight, useAlpha, allowRowCopy, transparency, filter, operation);
    return;
  }

  const int yScale = TruncI(double(srcHeight) / dstHeight * kRenderScaleOne);
  const int xScale = TruncI(double(srcWidth) / dstWidth * kRenderScaleOne);

  int x1 = dstX, x2 = dstX + dstWidth - 1, y1 = dstY, y2 = dstY + dstHeight - 1;
  if (clipRect) {
    x1 = std::max(x1, clipRect->left);
    y1 = std::max(y1, clipRect->top);
    x2 = std::min(x2, clipRect->right - 1);
    y2 = std::min(y2, clipRect->bottom - 1);
  }
  x1 = std::max(x1, 0);
  y1 = std::max(y1, 0);
  x2 = std::min(x2, tw - 1);
  y2 = std::min(y2, th - 1);
  if (x1 > x2 || y1 > y2) return;

  TLXBitmap* alpha = nullptr;
  if (useAlpha && source->HasAlphaChannel()) {
    TLXBitmap* a = source->AlphaChannel();
    // A channel smaller than its bitmap cannot be read along with it.
    if (!a->Full && a->Width() >= sw && a->Height() >= sh && a->PixelFormat() == lx8g) alpha = a;
  }
  transparency = std::clamp(transparency, 0, 255);
  const bool blend = transparency < 255 || alpha;
  const bool noMaps = xScale == kRenderScaleOne && yScale == kRenderScaleOne && fmt == lx24RGB && !blend &&
                      operation == 0;

  std::vector<uint8_t*> ownRows;
  std::vector<uint8_t*>* rowTable = rows ? rows : &ownRows;
  const bool builtRows = int(rowTable->size()) != th;
  if (builtRows) {
    rowTable->resize(size_t(th));
    for (int y = 0; y < th; ++y) (*rowTable)[size_t(y)] = target->ScanLine(y);
  }

  std::vector<int32_t> xm, ym;
  if (!noMaps) {
    if (!TakeMap(xMap, mapOriginX, x1, x2, sw - 1, xm)) {
      const bool keep = xMap && !freeTables;
      BuildMap(keep ? std::min(mapOriginX, x1) : x1, x2, dstX, srcX, xScale, sw - 1, xm);
      if (keep) {
        *xMap = xm;
        if (mapOriginX < x1) xm.erase(xm.begin(), xm.begin() + (x1 - mapOriginX));
      }
    }
    if (!TakeMap(yMap, mapOriginY, y1, y2, sh - 1, ym)) {
      const bool keep = yMap && !freeTables;
      BuildMap(keep ? std::min(mapOriginY, y1) : y1, y2, dstY, srcY, yScale, sh - 1, ym);
      if (keep) {
        *yMap = ym;
        if (mapOriginY < y1) ym.erase(ym.begin(), ym.begin() + (y1 - mapOriginY));
      }
    }
  }
  std::vector<uint8_t> transRow;
  if (transparency < 255) transRow.assign(size_t(sw), uint8_t(transparency));

  TLXRenderJob job;
  job.rows = rowTable->data();
  job.x1 = x1;
  job.x2 = x2;
  job.y1 = y1;
  job.y2 = y2;
  job.dstX = dstX;
  job.dstY = dstY;
  job.srcX = srcX;
  job.srcY = srcY;
  job.xMap = noMaps ? nullptr : xm.data();
  job.yMap = noMaps ? nullptr : ym.data();
  job.allowRowCopy = allowRowCopy;
  job.transparencyRow = transRow.empty() ? nullptr : transRow.data();
  job.alpha = alpha;
  job.transparency = transparency;
  job.operation = operation;
  job.xScale = xScale;
  job.yScale = yScale;
  try {
    switch (fmt) {
      case lx24RGB: blend ? source->Render24RGBBlend(job) : source->Render24RGB(job); break;
      case lx1g: blend ? source->Render1gBlend(job) : source->Render1g(job); break;
      case lx8g: blend ? source->Render8gBlend(job) : source->Render8g(job); break;
      case lx8p: blend ? source->Render8pBlend(job) : source->Render8p(job); break;
      case lx16g: blend ? source->Render16gBlend(job) : source->Render16g(job); break;
      case lx32f: blend ? source->Render32fBlend(job) : source->Render32f(job); break;
      default: break;
    }
  } catch (...) {
    // The target keeps what was drawn so far.
  }
  if (rows && freeTables && builtRows) rows->clear();
}
