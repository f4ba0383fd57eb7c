#include "codecs/bmp/bmprle.h"

#include <algorithm>
#include <cstring>

#include "codecs/bmp/bmp.h"
#include "image/bitmap.h"
#include "io/progress.h"

namespace {

void FillIndex0(TLXBitmap* bitmap, const TRGB* lut) {
  const int w = bitmap->Width(), h = bitmap->Height();
  for (int y = 0; y < h; ++y) {
    uint8_t* d = bitmap->Scanline(y);
    if (bitmap->PixelFormat() == lx8p) {
      std::memset(d, 0, size_t(bitmap->RowLength()));
    } else {
      for (int x = 0; x < w; ++x, d += 3) { d[0] = lut[0].b; d[1] = lut[0].g; d[2] = lut[0].r; }
    }
  }
}

// Run-length decoding of 4- and 8-bit pixels; everything is clipped to the image
// and to the code bytes at hand. Returns false when the codes leave the image.
bool DecodeRows(const std::vector<uint8_t>& data, bool rle4, TLXBitmap* bitmap, const TRGB* lut,
               TIOProgress& progress) {
  const int w = bitmap->Width(), h = bitmap->Height();
  const bool indexed = bitmap->PixelFormat() == lx8p;
  const size_t n = data.size();
  size_t p = 0;
  int row = 0;  // counted from the bottom
  int x = 0;
  bool clean = true;
  uint8_t* line = bitmap->Scanline(h - 1);
  auto put = [&](uint8_t index) {
    if (x >= w) { clean = false; ++x; return; }
    if (indexed) {
      line[x] = index;
    } else {
      uint8_t* d = line + size_t(x) * 3;
      d[0] = lut[index].b; d[1] = lut[index].g; d[2] = lut[index].r;
    }
    ++x;
  };
  while (p + 1 < n) {
    const uint8_t count = data[p], value = data[p + 1];
    p += 2;
    if (count > 0) {
      for (int i = 0; i < count; ++i)
        put(rle4 ? ((i & 1) ? (value & 15) : (value >> 4)) : value);
      continue;
    }
    if (value == 0) {  // end of line
      ++row;
      x = 0;
      if (row >= h) break;
      line = bitmap->Scanline(h - 1 - row);
      progress.Report(row);
      if (progress.Aborted()) break;
    } else if (value == 1) {  // end of bitmap
      break;
    } else if (value == 2) {  // delta
      if (p + 1 >= n) break;
      x += data[p];
      row += data[p + 1];
      p += 2;
      if (row >= h) { clean = false; break; }
      line = bitmap->Scanline(h - 1 - row);
    } else {  // absolute run
      const size_t bytes = rle4 ? (value + 1u) / 2u : value;
      const size_t avail = std::min(bytes, n - p);
      for (int i = 0; i < value; ++i) {
        const size_t b = rle4 ? size_t(i / 2) : size_t(i);
        if (b >= avail) { clean = false; break; }
        put(rle4 ? ((i & 1) ? (data[p + b] & 15) : (data[p + b] >> 4)) : data[p + b]);
      }
      p += bytes + (bytes & 1);
    }
  }
  return clean;
}

}  // namespace

bool BMPDecodeRLE(const std::vector<uint8_t>& data, bool rle4, TLXBitmap* bitmap, const TRGB* lut,
                  TIOProgress& progress) {
  FillIndex0(bitmap, lut);
  progress.Report(0);
  if (progress.Aborted()) return true;
  return DecodeRows(data, rle4, bitmap, lut, progress);
}

// ---------------------------------------------------------------------------

void BMPEncodeRLERow(const uint8_t* idx, int count, bool rle4, uint8_t* out, int& outLength) {
  int o = 0;
  auto flush = [&](int from, int k) {
    while (k > 0) {
      const int c = std::min(k, 255);
      const uint8_t a = idx[from], b = c > 1 ? idx[from + 1] : 0;
      if (c == 1) {
        out[o++] = 1; out[o++] = rle4 ? uint8_t(a << 4) : a;
      } else if (c == 2) {
        if (rle4) { out[o++] = 2; out[o++] = uint8_t((a << 4) | (b & 15)); }
        else { out[o++] = 1; out[o++] = a; out[o++] = 1; out[o++] = b; }
      } else {
        out[o++] = 0;
        out[o++] = uint8_t(c);
        int bytes;
        if (rle4) {
          bytes = (c + 1) / 2;
          for (int i = 0; i < c; i += 2)
            out[o++] = uint8_t((idx[from + i] << 4) | (i + 1 < c ? (idx[from + i + 1] & 15) : 0));
        } else {
          bytes = c;
          std::memcpy(out + o, idx + from, size_t(c));
          o += c;
        }
        if (bytes & 1) out[o++] = 0;
      }
      from += c;
      k -= c;
    }
  };
  int pendingFrom = 0, pending = 0;
  int i = 0;
  while (i < count) {
    if (pending >= 255) {
      flush(pendingFrom, pending);
      pending = 0;
    }
    if (i == count - 1 || idx[i] != idx[i + 1]) {
      if (pending == 0) pendingFrom = i;
      ++pending;
      ++i;
      continue;
    }
    flush(pendingFrom, pending);
    pending = 0;
    int run = 1;
    while (i + run < count && run < 255 && idx[i + run] == idx[i]) ++run;
    out[o++] = uint8_t(run);
    out[o++] = rle4 ? uint8_t((idx[i] << 4) | (idx[i] & 15)) : idx[i];
    i += run;
  }
  flush(pendingFrom, pending);
  out[o++] = 0;
  out[o++] = 0;
  outLength = o;
}

