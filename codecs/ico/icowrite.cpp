#include "codecs/ico/icowrite.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "codecs/common/bytes.h"
#include "codecs/common/resolution.h"
#include "image/bitmap.h"
#include "io/params.h"
#include "io/progress.h"
#include "platform/stream.h"
#include "proc/quantizer.h"
#include "proc/talvexproc.h"
#include "view/view.h"

namespace {

// The size the processing component's size rule gives for a request.
void ProducedSize(int srcW, int srcH, int reqW, int reqH, int& w, int& h) {
  if (reqW == -1) w = int(int64_t(reqH) * srcW / srcH);
  else if (reqW != 0) w = std::abs(reqW);
  else w = srcW;
  if (w < 1) w = 1;
  if (reqH == -1) h = int(int64_t(w) * srcH / srcW);
  else if (reqH != 0) h = std::abs(reqH);
  else h = srcH;
  if (h < 1) h = 1;
}

// The resampler turns fully transparent pixels of its source grey; a source
// with such pixels is resampled from one private copy so that the caller's
// picture stays as it is.
bool HasTransparentHoles(TLXBitmap* bitmap) {
  if (!bitmap->HasAlphaChannel() || bitmap->PixelFormat() != lx24RGB) return false;
  TLXBitmap* alpha = bitmap->AlphaChannel();
  const int w = alpha->Width();
  for (int y = 0; y < alpha->Height(); ++y) {
    const uint8_t* a = alpha->Scanline(y);
    if (std::memchr(a, 0, size_t(w))) return true;
  }
  return false;
}

// Writes one image block: header, colour table, colour rows, mask rows.
// Returns false when the stream refused bytes.
bool WriteImage(TStream& stream, TLXBitmap* work, int depth, TIOParamsVals& params,
                TIOProgress& progress) {
  const int W = work->Width(), H = work->Height();
  const int rowLength = ComputeRowLength(W, depth);
  const int maskLength = ComputeRowLength(W, 1);
  const bool hasAlpha = work->HasAlphaChannel();

  uint8_t header[40] = {};
  PutLE32(header, 40);
  PutLE32(header + 4, uint32_t(W));
  PutLE32(header + 8, uint32_t(2 * H));
  PutLE16(header + 12, 1);
  PutLE16(header + 14, uint32_t(depth));
  PutLE32(header + 20, depth >= 24 ? 0u : uint32_t(H * rowLength + H * maskLength));
  PutLE32(header + 24, PixelsPerMetreFromDpi(params.DpiX()));
  PutLE32(header + 28, PixelsPerMetreFromDpi(params.DpiY()));
  if (!SafeStreamWrite(stream, progress, header, 40)) return false;

  std::vector<uint8_t> row(size_t(std::max(rowLength, maskLength)), 0);
  std::unique_ptr<TLXQuantizer> quantizer;
  if (depth == 1) {
    const uint8_t table[8] = {0, 0, 0, 0, 255, 255, 255, 0};
    if (!SafeStreamWrite(stream, progress, table, 8)) return false;
  } else if (depth == 4 || depth == 8) {
    const int entries = 1 << depth;
    params.SetColorMapCount(entries);
    quantizer = std::make_unique<TLXQuantizer>(work, params.ColorMap.data(), 134217727,
                                               entries - 1, -1, 0);
    std::vector<uint8_t> table(size_t(entries) * 4, 0);
    for (int i = 1; i < entries; ++i) {
      const TRGB c = params.ColorMap[size_t(i - 1)];
      table[size_t(4 * i)] = c.b;
      table[size_t(4 * i + 1)] = c.g;
      table[size_t(4 * i + 2)] = c.r;
    }
    if (!SafeStreamWrite(stream, progress, table.data(), int64_t(table.size()))) return false;
  }

  TLXBitmap* alpha = (hasAlpha || depth == 32) ? work->AlphaChannel() : nullptr;
  std::vector<uint8_t> alphaRow(size_t(W), 255);
  auto fetchAlpha = [&](int y) {
    if (alpha) std::memcpy(alphaRow.data(), alpha->Scanline(y), size_t(W));
  };

  for (int y = H - 1; y >= 0; --y) {
    std::fill(row.begin(), row.end(), 0);
    fetchAlpha(y);
    const uint8_t* s = work->Scanline(y);
    switch (depth) {
      case 1:
        std::memcpy(row.data(), s, size_t((W + 7) / 8));
        if (W & 7) row[size_t(W >> 3)] &= uint8_t(0xFF00 >> (W & 7));
        break;
      case 24:
        std::memcpy(row.data(), s, size_t(W) * 3);
        break;
      case 32:
        for (int x = 0; x < W; ++x, s += 3) {
          uint8_t* d = row.data() + 4 * x;
          d[0] = s[0]; d[1] = s[1]; d[2] = s[2]; d[3] = alphaRow[size_t(x)];
        }
        break;
      default:
        for (int x = 0; x < W; ++x, s += 3) {
          int index = 0;
          if (!hasAlpha || alphaRow[size_t(x)] == 255)
            index = std::max(-1, quantizer->ColorToIndex(TRGB{s[0], s[1], s[2]})) + 1;
          if (depth == 8) row[size_t(x)] = uint8_t(index);
          else row[size_t(x >> 1)] |= (x & 1) ? uint8_t(index & 15) : uint8_t(index << 4);
        }
        break;
    }
    if (!SafeStreamWrite(stream, progress, row.data(), rowLength)) return false;
  }
  quantizer.reset();

  const bool maskFromAlpha = hasAlpha && depth != 24;
  for (int y = H - 1; y >= 0; --y) {
    std::fill(row.begin(), row.begin() + maskLength, 0);
    if (maskFromAlpha) {
      fetchAlpha(y);
      for (int x = 0; x < W; ++x)
        if (alphaRow[size_t(x)] < 255) row[size_t(x >> 3)] |= uint8_t(0x80 >> (x & 7));
    }
    if (!SafeStreamWrite(stream, progress, row.data(), maskLength)) return false;
  }
  return true;
}

}  // namespace

int ICODepthFor(int32_t depthEntry, int32_t samplesPerPixel, int32_t bitsPerSample) {
  int32_t spp, bps;
  switch (depthEntry) {
    case 0: spp = samplesPerPixel; bps = bitsPerSample; break;
    case 1: spp = 1; bps = 1; break;
    case 4: spp = 1; bps = 4; break;
    case 8: spp = 1; bps = 8; break;
    case 32: spp = 4; bps = 8; break;
    default: spp = 3; bps = 8; break;
  }
  if (spp == 3 && bps == 8) return 24;
  if (spp == 4 && bps == 8) return 32;
  if (spp == 1 && bps == 1) return 1;
  if (spp == 1 && bps == 4) return 4;
  return 8;
}

void ICOWriteStream(TStream& stream, TLXBitmap* source, TIOParamsVals& params,
                    TIOProgress& progress, const TIconSize* sizes, const int32_t* depths, int n) {
  if (n < 1 || n > 65535 || !sizes || !depths || !source || source->IsEmpty() ||
      source->PixelFormat() == lxNone) {
    progress.Abort();
    return;
  }
  // The controller hands over lx24RGB or lx1g; any other format is written
  // from a private colour copy.
  std::unique_ptr<TLXBitmap> colourCopy;
  if (source->PixelFormat() != lx24RGB && source->PixelFormat() != lx1g) {
    colourCopy = std::make_unique<TLXBitmap>();
    colourCopy->Assign(source);
    colourCopy->SetPixelFormat(lx24RGB);
    source = colourCopy.get();
  }
  const int64_t base = stream.Position();
  uint8_t dir[6] = {0, 0, 1, 0, 0, 0};
  PutLE16(dir + 4, uint32_t(n));
  if (!SafeStreamWrite(stream, progress, dir, 6)) return;
  progress.step = 100.0 / n;
  const int64_t entriesPos = stream.Position();
  {
    // Room for the directory, filled in once every image is measured.
    std::vector<uint8_t> gap(size_t(16) * size_t(n), 0);
    if (!SafeStreamWrite(stream, progress, gap.data(), int64_t(gap.size()))) return;
  }

  struct TWritten {
    int depth = 0, width = 0, height = 0;
    int64_t offset = 0, size = 0;
  };
  std::vector<TWritten> written;
  params.FreeColorMap();
  if (source->PixelFormat() != lx24RGB) {
    params.BitsPerSample = 1;
    params.SamplesPerPixel = 1;
  }

  // Each image is made in the hidden working view: the processing component
  // resamples straight from the source into the view's bitmap, so the full-size
  // picture is never copied (no working copy, no undo snapshot) unless its
  // transparent holes would otherwise be recoloured in the caller's bitmap.
  TTalvexView view;
  std::unique_ptr<TLXBitmap> holesCopy;
  TLXBitmap* resampleSource = source;
  if (HasTransparentHoles(source) && !colourCopy) {
    holesCopy = std::make_unique<TLXBitmap>();
    holesCopy->Assign(source);
    resampleSource = holesCopy.get();
  }
  TTalvexProc resampler;
  resampler.AutoUndo = false;
  resampler.SetAttachedBitmap(resampleSource);
  const TResampleFilter filter = source->PixelFormat() == lx1g ? rfNone : rfFastLinear;

  for (int k = 0; k < n; ++k) {
    progress.Report(k);
    if (progress.Aborted()) break;
    int w = 0, h = 0;
    ProducedSize(source->Width(), source->Height(), sizes[k].Width, sizes[k].Height, w, h);
    TLXBitmap* work = view.Bitmap();
    if (sizes[k].Width < 0 && sizes[k].Height < 0) {
      work->FreeImage();  // the size rule makes nothing of two negative sides
    } else {
      resampler.ResampleTo(work, sizes[k].Width, sizes[k].Height, filter);
    }
    if (work->Width() != w || work->Height() != h || !CheckedImageBytes(w, int64_t(h) * 2, 32)) {
      progress.Abort();
      break;
    }

    const int depth = ICODepthFor(depths[k], params.SamplesPerPixel, params.BitsPerSample);
    // The depth's rows need lx1g (depth 1) or lx24RGB (all others).
    const TLXPixelFormat needed = depth == 1 ? lx1g : lx24RGB;
    std::unique_ptr<TLXBitmap> converted;
    if (work->PixelFormat() != needed) {
      converted = std::make_unique<TLXBitmap>();
      converted->Assign(work);
      converted->SetPixelFormat(needed);
      work = converted.get();
    }

    TWritten entry;
    entry.depth = depth;
    entry.width = w;
    entry.height = h;
    entry.offset = stream.Position() - base;
    if (!WriteImage(stream, work, depth, params, progress)) break;
    entry.size = stream.Position() - base - entry.offset;
    written.push_back(entry);
  }

  const int64_t end = stream.Position();
  stream.SetPosition(entriesPos);
  for (const TWritten& e : written) {
    uint8_t d[16] = {};
    d[0] = uint8_t(e.width >= 256 ? 0 : e.width);
    d[1] = uint8_t(e.height >= 256 ? 0 : e.height);
    const bool palette = e.depth <= 8;
    d[2] = palette ? uint8_t(std::min(1 << e.depth, 255)) : 0;
    PutLE16(d + 4, palette ? 0 : 1);
    PutLE16(d + 6, palette ? 0 : uint32_t(e.depth));
    PutLE32(d + 8, uint32_t(e.size));
    PutLE32(d + 12, uint32_t(e.offset));
    if (!SafeStreamWrite(stream, progress, d, 16)) break;
  }
  stream.SetPosition(end);
}
