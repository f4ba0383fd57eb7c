#include "codecs/png.h"

#include <png.h>

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstring>
#include <string>
#include <vector>

#include "codecs/common/dib.h"
#include "codecs/common/imageguard.h"
#include "codecs/common/resolution.h"
#include "image/bitmap.h"
#include "image/mask.h"
#include "image/types.h"
#include "io/format.h"
#include "io/params.h"
#include "io/progress.h"
#include "platform/errors.h"
#include "platform/stream.h"
#include "proc/quantizer.h"

// libpng reports errors by longjmp: everything touched between setjmp and a
// possible longjmp lives in these plain records, owned by the caller's frame,
// so no C++ destructor is ever skipped and no exception crosses C frames.
namespace {

constexpr double kDefaultDpi = 300;
constexpr png_alloc_size_t kMaxChunkBytes = 8000000;  // libpng's own default

struct PngIO {
  TStream* stream = nullptr;
  TIOProgress* progress = nullptr;
};

void ReadData(png_structp png, png_bytep data, png_size_t length) {
  auto* io = static_cast<PngIO*>(png_get_io_ptr(png));
  // A short read is an error: libpng must never decode stale bytes.
  if (io->stream->Read(data, int64_t(length)) != int64_t(length)) png_error(png, "Read Error");
}

void WriteData(png_structp png, png_bytep data, png_size_t length) {
  auto* io = static_cast<PngIO*>(png_get_io_ptr(png));
  if (io->stream->Write(data, int64_t(length)) != int64_t(length)) io->progress->Abort();
}

void FlushData(png_structp) {}

[[noreturn]] void ErrorFn(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void WarningFn(png_structp, png_const_charp) {}

int RoundHalfEven(double v) { return int(std::nearbyint(v)); }

// Everything the reader's protected part needs, prepared outside it.
struct ReadJob {
  TLXBitmap* bitmap = nullptr;
  TIOParamsVals* params = nullptr;
  std::unique_ptr<TLXMask>* mask = nullptr;  // null with blendAlpha
  TIOProgress* progress = nullptr;
  bool blendAlpha = false;
  bool paramsOnly = false;
  std::vector<uint8_t>* rowBuffer = nullptr;  // BGRA rows, split into bitmap and mask
  std::vector<TRGB>* colorMap = nullptr;
  bool invertMono = false;  // a 1-bit white, black palette: bits flipped so that 1 is white
};

// What a 1-bit file's colours are: grey files are black and white; palette
// files say it with their two entries.
TMonoTable MonoTableOfPalette(png_structp png, png_infop info, int colorType, int depth) {
  if (depth != 1 || colorType != PNG_COLOR_TYPE_PALETTE) return TMonoTable::mtBlackWhite;
  png_colorp pal = nullptr;
  int n = 0;
  if (!png_get_PLTE(png, info, &pal, &n)) return TMonoTable::mtBlackWhite;
  TRGB table[2];
  for (int i = 0; i < n && i < 2; ++i) table[i] = CreateRGB(pal[i].red, pal[i].green, pal[i].blue);
  return MonoTableOf(table, std::min(n, 2));
}

// Pixel ppm -> dpi; no pHYs or 0 gives the default.
void ApplyResolution(png_structp png, png_infop info, TIOParamsVals& p) {
  png_uint_32 rx = 0, ry = 0;
  int unit = 0;
  int dpiX = int(kDefaultDpi), dpiY = int(kDefaultDpi);
  if (png_get_pHYs(png, info, &rx, &ry, &unit) && unit == PNG_RESOLUTION_METER) {
    dpiX = DpiFromPixelsPerMetre(rx, dpiX);
    dpiY = DpiFromPixelsPerMetre(ry, dpiY);
  }
  p.SetDpiX(dpiX);
  p.SetDpiY(dpiY);
}

int ReadProtected(png_structp png, png_infop info, ReadJob& job) {
  if (setjmp(png_jmpbuf(png))) return -1;
  TIOParamsVals& p = *job.params;
  png_read_info(png, info);
  png_uint_32 width = 0, height = 0;
  int depth = 0, colorType = 0, interlace = 0;
  png_get_IHDR(png, info, &width, &height, &depth, &colorType, &interlace, nullptr, nullptr);
  const bool hasTrns = png_get_valid(png, info, PNG_INFO_tRNS) != 0;

  if (job.blendAlpha) {
    png_color_16p bkgd = nullptr;
    if (png_get_bKGD(png, info, &bkgd) && bkgd) {
      png_set_background(png, bkgd, PNG_BACKGROUND_GAMMA_FILE, 1, 1.0);
      // The chunk holds samples at the file's own depth (or an index for palette files).
      TRGB c{};
      if (colorType == PNG_COLOR_TYPE_PALETTE) {
        png_colorp pal = nullptr;
        int n = 0;
        if (png_get_PLTE(png, info, &pal, &n) && bkgd->index < n)
          c = CreateRGB(pal[bkgd->index].red, pal[bkgd->index].green, pal[bkgd->index].blue);
      } else {
        const int maxv = (1 << depth) - 1;
        auto scale = [&](png_uint_16 v) { return uint8_t(depth == 16 ? v >> 8 : v * 255 / maxv); };
        if (colorType & PNG_COLOR_MASK_COLOR)
          c = CreateRGB(scale(bkgd->red), scale(bkgd->green), scale(bkgd->blue));
        else
          c = CreateRGB(scale(bkgd->gray), scale(bkgd->gray), scale(bkgd->gray));
      }
      p.PNGBackground = c;
    } else {
      png_color_16 b{};
      b.red = png_uint_16(p.PNGBackground.r << 8);
      b.green = png_uint_16(p.PNGBackground.g << 8);
      b.blue = png_uint_16(p.PNGBackground.b << 8);
      b.gray = b.green;
      png_set_background(png, &b, PNG_BACKGROUND_GAMMA_SCREEN, 0, 1.0);
    }
  }

  const bool native = p.NativePixelFormat && depth == 8 &&
                      (colorType == PNG_COLOR_TYPE_GRAY || colorType == PNG_COLOR_TYPE_PALETTE);
  // 1-bit files load as black and white (lx1g, bit 1 white) when they are grey
  // or their palette is black and white; a two-colour palette of other colours
  // loads in colour, as the 2- and 4-bit palette files do.
  const TMonoTable table = MonoTableOfPalette(png, info, colorType, depth);
  const bool mono = depth == 1 && table != TMonoTable::mtColour;
  job.invertMono = depth == 1 && table == TMonoTable::mtWhiteBlack;
  // tRNS becomes alpha for every colour type, not only palette files.
  if (hasTrns && !mono && !job.blendAlpha && !native) png_set_tRNS_to_alpha(png);
  if (!native) {
    if (colorType == PNG_COLOR_TYPE_PALETTE && !mono) png_set_expand(png);
    if (colorType == PNG_COLOR_TYPE_GRAY && depth >= 2 && depth <= 7) png_set_expand(png);
    if (depth == 16) png_set_strip_16(png);
    if (depth <= 7 && !mono) png_set_packing(png);
    if ((colorType == PNG_COLOR_TYPE_GRAY || colorType == PNG_COLOR_TYPE_GRAY_ALPHA) && depth > 1)
      png_set_gray_to_rgb(png);
    if (!mono) png_set_bgr(png);
  }
  const int passes = png_set_interlace_handling(png);

  p.Width = int(width);
  p.Height = int(height);
  p.BitsPerSample = depth;
  switch (colorType) {
    case PNG_COLOR_TYPE_RGB: p.SamplesPerPixel = 3; break;
    case PNG_COLOR_TYPE_GRAY_ALPHA: p.SamplesPerPixel = 2; break;
    case PNG_COLOR_TYPE_RGB_ALPHA: p.SamplesPerPixel = 4; break;
    default: p.SamplesPerPixel = 1; break;
  }
  ApplyResolution(png, info, p);
  job.colorMap->clear();
  png_colorp pal = nullptr;
  int palCount = 0;
  if (colorType == PNG_COLOR_TYPE_PALETTE && png_get_PLTE(png, info, &pal, &palCount))
    for (int i = 0; i < palCount; ++i) job.colorMap->push_back(CreateRGB(pal[i].red, pal[i].green, pal[i].blue));
  p.PNGInterlaced = interlace != PNG_INTERLACE_NONE;
  if (job.paramsOnly) return 0;

  // The size rule: the bitmap, the mask and the alpha channel made from it, and
  // libpng's own two rows (up to 8 bytes a pixel, allocated as soon as the
  // transforms are settled) count together; and the deflate data left in the
  // stream must be able to inflate to the picture's samples at least.
  auto* io = static_cast<PngIO*>(png_get_io_ptr(png));
  const int64_t sampleBits = int64_t(png_get_channels(png, info)) * depth;
  const TImageClaim claim{.Width = width,
                          .Height = height,
                          .BitmapBits = mono ? 1 : native ? 8 : 24,
                          .Mask = job.mask != nullptr,
                          .ExtraBytes = 2 * (int64_t(width) * 8 + 64) + int64_t(width) * 4,
                          .Units = ClaimProduct((int64_t(width) * sampleBits + 7) / 8, height),
                          .CodedBytes = io->stream->Remaining(),
                          .UnitsPerByte = kDeflateUnitsPerByte};
  if (!ImageClaimFits(claim)) {
    job.progress->Abort();
    return 0;
  }
  png_read_update_info(png, info);

  TLXBitmap& bmp = *job.bitmap;
  if (mono) {
    bmp.Allocate(int(width), int(height), lx1g);
  } else if (native && colorType == PNG_COLOR_TYPE_PALETTE) {
    bmp.Allocate(int(width), int(height), lx8p);
    bmp.PaletteColors = 1 << depth;
    for (int i = 0; i < palCount && i < bmp.PaletteCount(); ++i)
      bmp.SetPaletteEntry(i, PackRGB((*job.colorMap)[size_t(i)]));
  } else if (native) {
    bmp.Allocate(int(width), int(height), lx8g);
  } else {
    bmp.Allocate(int(width), int(height), lx24RGB);
  }
  if (bmp.Width() != int(width) || bmp.Height() != int(height)) {
    job.progress->Abort();  // refused by the size guard
    return 0;
  }

  TLXMask* mask = nullptr;
  if (job.mask) {
    if (!*job.mask) *job.mask = std::make_unique<TLXMask>();
    mask = job.mask->get();
    mask->Allocate(int(width), int(height), 8);
    mask->Fill(255);
    if (mask->Width() != int(width) || mask->Height() != int(height)) {
      job.progress->Abort();
      return 0;
    }
  }
  const int channels = png_get_channels(png, info);
  const bool split = channels == 4 && mask;
  // Rows libpng leaves as indexes or raw samples (1-bit, native 8-bit): tRNS
  // becomes alpha through a table by sample value.
  uint8_t alphaOf[256];
  std::memset(alphaOf, 255, sizeof alphaOf);
  bool tableTrns = false;
  if ((mono || native) && hasTrns && mask) {
    png_bytep trans = nullptr;
    int nTrans = 0;
    png_color_16p tc = nullptr;
    png_get_tRNS(png, info, &trans, &nTrans, &tc);
    if (colorType == PNG_COLOR_TYPE_PALETTE) {
      for (int i = 0; i < nTrans && i < (1 << depth); ++i) alphaOf[i] = trans[i];
    } else if (tc) {
      alphaOf[tc->gray & ((1 << depth) - 1)] = 0;
    }
    for (uint8_t a : alphaOf) tableTrns |= a != 255;
  }
  if (split) job.rowBuffer->resize(size_t(width) * 4);
  // libpng writes whole rows in the layout its transforms produce: never more than the row holds.
  if (png_get_rowbytes(png, info) > (split ? size_t(width) * 4 : size_t(bmp.RowLength()))) {
    job.progress->Abort();
    return 0;
  }

  TIOProgress& prog = *job.progress;
  prog.step = 100.0 / (double(height) * passes);
  prog.counter = 0;
  std::vector<uint8_t>& buf = *job.rowBuffer;
  for (int pass = 0; pass < passes && !prog.Aborted(); ++pass) {
    for (uint32_t y = 0; y < height; ++y) {
      if (split) {
        uint8_t* mrow = mask->Scanline(int(y));
        if (pass > 0) {  // later passes combine with what earlier passes left
          const uint8_t* src = bmp.Scanline(int(y));
          for (uint32_t x = 0; x < width; ++x) {
            std::memcpy(&buf[x * 4], src + x * 3, 3);
            buf[x * 4 + 3] = mrow[x];
          }
        }
        png_read_row(png, buf.data(), nullptr);
        uint8_t* dst = bmp.Scanline(int(y));
        for (uint32_t x = 0; x < width; ++x) {
          std::memcpy(dst + x * 3, &buf[x * 4], 3);
          mrow[x] = buf[x * 4 + 3];
        }
        mask->Full = false;
      } else {
        uint8_t* dst = bmp.Scanline(int(y));
        png_read_row(png, dst, nullptr);
        if (tableTrns && pass == passes - 1) {
          uint8_t* mrow = mask->Scanline(int(y));
          if (mono)
            for (uint32_t x = 0; x < width; ++x) mrow[x] = alphaOf[(dst[x >> 3] >> (7 - (x & 7))) & 1];
          else
            for (uint32_t x = 0; x < width; ++x) mrow[x] = alphaOf[dst[x]];
          mask->Full = false;
        }
        // Earlier passes leave their pixels in the row for later ones: flip once, at the end.
        if (job.invertMono && pass == passes - 1)
          for (size_t i = 0; i < (size_t(width) + 7) / 8; ++i) dst[i] = uint8_t(~dst[i]);
      }
      ++prog.counter;
      prog.Report(prog.counter);
      if (prog.Aborted()) break;
    }
  }
  if (!prog.Aborted()) png_read_end(png, nullptr);
  return 0;
}

}  // namespace

bool IsPNGStream(TStream& stream) {
  uint8_t sig[8] = {};
  const int64_t n = stream.Read(sig, 8);
  stream.Seek(-n, TSeekOrigin::soCurrent);
  static const uint8_t kSig[4] = {137, 80, 78, 71};
  return n == 8 && std::memcmp(sig, kSig, 4) == 0;
}

void PNGReadStream(TStream& stream, TLXBitmap* bitmap, TIOParamsVals& params, TIOProgress& progress,
                   bool paramsOnly, bool blendAlpha, std::unique_ptr<TLXMask>& mask) {
  PngIO io{&stream, &progress};
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, ErrorFn, WarningFn);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!png || !info) {
    png_destroy_read_struct(&png, &info, nullptr);
    progress.Abort();
    return;
  }
  png_set_read_fn(png, &io, ReadData);
  // Keep hostile headers within what the bitmap can hold.
  png_set_user_limits(png, 0x7fffffff, 0x7fffffff);
  // libpng buffers a text-like chunk whole, at the size its header claims, before
  // reading it: the reader uses none of them, so they are skipped unread, and
  // what is decompressed (profiles) stays bounded.
  static const png_byte kSkipped[] = "tEXt\0zTXt\0iTXt\0eXIf\0sPLT\0pCAL\0sCAL";
  png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, kSkipped, int(sizeof kSkipped / 5));
  png_set_chunk_malloc_max(png, kMaxChunkBytes);

  std::vector<uint8_t> rowBuffer;
  std::vector<TRGB> colorMap;
  ReadJob job;
  job.bitmap = bitmap;
  job.params = &params;
  job.mask = blendAlpha ? nullptr : &mask;
  job.progress = &progress;
  job.blendAlpha = blendAlpha;
  job.paramsOnly = paramsOnly;
  job.rowBuffer = &rowBuffer;
  job.colorMap = &colorMap;

  const int r = ReadProtected(png, info, job);
  if (r != 0) progress.Abort();
  png_destroy_read_struct(&png, &info, nullptr);

  params.ColorMap = colorMap;
  params.ColorMapCount = int(colorMap.size());
}

namespace {

struct WriteJob {
  TLXBitmap* work = nullptr;       // the bitmap the rows come from
  TLXMask* mask = nullptr;         // alpha, when not Full
  TIOParamsVals* params = nullptr;
  TIOProgress* progress = nullptr;
  TLXQuantizer* quantizer = nullptr;
  std::vector<png_color>* plte = nullptr;
  std::vector<uint8_t>* rowBuffer = nullptr;
  int colorType = 0;
  int depth = 8;
  bool paletteAlpha = false;  // index 0 transparent, colours shifted by one
  TRGB background{};
  bool quantized = false;
};

void PackRow(const uint8_t* idx, uint8_t* out, int width, int depth) {
  const int perByte = 8 / depth;
  std::memset(out, 0, size_t((width * depth + 7) / 8));
  for (int x = 0; x < width; ++x)
    out[x / perByte] |= uint8_t(idx[x] << ((perByte - 1 - x % perByte) * depth));
}

int WriteProtected(png_structp png, png_infop info, WriteJob& job) {
  if (setjmp(png_jmpbuf(png))) return -1;
  TLXBitmap& bmp = *job.work;
  TIOParamsVals& p = *job.params;
  const int width = bmp.Width(), height = bmp.Height();
  png_set_IHDR(png, info, png_uint_32(width), png_uint_32(height), job.depth, job.colorType,
               p.PNGInterlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  const int dpiX = p.DpiX() > 0 ? p.DpiX() : int(kDefaultDpi), dpiY = p.DpiY() > 0 ? p.DpiY() : int(kDefaultDpi);
  png_set_pHYs(png, info, PixelsPerMetreFromDpi(dpiX), PixelsPerMetreFromDpi(dpiY),
               PNG_RESOLUTION_METER);
  switch (p.PNGFilter) {
    case 0: png_set_filter(png, 0, PNG_FILTER_NONE); break;
    case 1: png_set_filter(png, 0, PNG_FILTER_SUB); break;
    case 2: png_set_filter(png, 0, PNG_FILTER_PAETH); break;
    default: break;
  }
  png_color_16 bkgd{};
  if (job.quantized && !job.paletteAlpha) {
    const int i = job.quantizer->ColorToIndex(job.background);
    bkgd.index = png_byte(std::max(0, i));
    bkgd.gray = png_uint_16(std::max(0, i));
    png_set_bKGD(png, info, &bkgd);
  } else if (!job.quantized) {
    if (job.colorType & PNG_COLOR_MASK_COLOR) {
      bkgd.red = png_uint_16(job.background.r << 8);
      bkgd.green = png_uint_16(job.background.g << 8);
      bkgd.blue = png_uint_16(job.background.b << 8);
    } else {
      bkgd.gray = job.depth == 1 ? (job.background.g >= 128) : png_uint_16(job.background.g << (job.depth - 8));
    }
    png_set_bKGD(png, info, &bkgd);
  }
  png_set_compression_level(png, std::clamp(p.PNGCompression, 0, 9));
  png_set_bgr(png);
  if (job.colorType == PNG_COLOR_TYPE_PALETTE) {
    png_set_PLTE(png, info, job.plte->data(), int(job.plte->size()));
    if (job.paletteAlpha) {
      png_byte t = 0;
      png_set_tRNS(png, info, &t, 1, nullptr);
    }
  }
  png_write_info(png, info);
  const int passes = png_set_interlace_handling(png);
  TIOProgress& prog = *job.progress;
  prog.step = 100.0 / (double(passes) * height);
  prog.counter = 0;
  std::vector<uint8_t>& buf = *job.rowBuffer;
  std::vector<uint8_t> idx(static_cast<size_t>(width));
  for (int pass = 0; pass < passes && !prog.Aborted(); ++pass) {
    for (int y = 0; y < height; ++y) {
      const uint8_t* mrow = job.mask ? job.mask->Scanline(y) : nullptr;
      const uint8_t* src = bmp.Scanline(y);
      const uint8_t* out = src;
      if (job.colorType == PNG_COLOR_TYPE_PALETTE) {
        for (int x = 0; x < width; ++x) {
          int i;
          if (bmp.PixelFormat() == lx8p)
            i = src[x];
          else
            i = job.quantizer->ColorToIndex(TRGB{src[x * 3], src[x * 3 + 1], src[x * 3 + 2]});
          if (job.paletteAlpha) i = mrow[x] != 255 ? 0 : std::min(i + 1, 255);
          idx[size_t(x)] = uint8_t(std::max(0, i));
        }
        if (job.depth == 8) {
          out = idx.data();
        } else {
          PackRow(idx.data(), buf.data(), width, job.depth);
          out = buf.data();
        }
      } else if (job.colorType == PNG_COLOR_TYPE_RGB_ALPHA) {
        for (int x = 0; x < width; ++x) {
          std::memcpy(&buf[size_t(x) * 4], src + x * 3, 3);
          buf[size_t(x) * 4 + 3] = mrow[x];
        }
        out = buf.data();
      } else if (job.colorType == PNG_COLOR_TYPE_GRAY && job.depth == 16) {
        // Big-endian, all 16 bits.
        for (int x = 0; x < width; ++x) {
          uint16_t v;
          if (bmp.PixelFormat() == lx16g)
            std::memcpy(&v, src + x * 2, 2);
          else if (bmp.PixelFormat() == lx8g)
            v = uint16_t(src[x] * 257);
          else
            v = uint16_t(job.quantizer->ColorToIndex(TRGB{src[x * 3], src[x * 3 + 1], src[x * 3 + 2]}) * 257);
          buf[size_t(x) * 2] = uint8_t(v >> 8);
          buf[size_t(x) * 2 + 1] = uint8_t(v);
        }
        out = buf.data();
      } else if (job.colorType == PNG_COLOR_TYPE_GRAY && job.depth < 8 && bmp.PixelFormat() != lx1g) {
        for (int x = 0; x < width; ++x) {
          const int v = bmp.PixelFormat() == lx8g
                            ? src[x]
                            : job.quantizer->ColorToIndex(TRGB{src[x * 3], src[x * 3 + 1], src[x * 3 + 2]});
          idx[size_t(x)] = uint8_t(v >> (8 - job.depth));
        }
        PackRow(idx.data(), buf.data(), width, job.depth);
        out = buf.data();
      } else if (job.colorType == PNG_COLOR_TYPE_GRAY && job.depth == 8 && bmp.PixelFormat() != lx8g) {
        for (int x = 0; x < width; ++x)
          idx[size_t(x)] = uint8_t(job.quantizer->ColorToIndex(TRGB{src[x * 3], src[x * 3 + 1], src[x * 3 + 2]}));
        out = idx.data();
      }
      png_write_row(png, out);
      ++prog.counter;
      prog.Report(prog.counter);
      if (prog.Aborted()) break;
    }
  }
  if (!prog.Aborted()) png_write_end(png, info);
  return 0;
}

// Exactly two colours: the darker becomes 0 (ties: the first met). Otherwise
// nothing, and the caller falls back to the general mono conversion.
bool TwoColorToMono(TLXBitmap& src, TLXBitmap& out) {
  if (src.PixelFormat() != lx24RGB && src.PixelFormat() != lx8p && src.PixelFormat() != lx8g) return false;
  const int w = src.Width(), h = src.Height();
  TRGB c[2];
  int found = 0;
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const TRGB v = src.GetPixelRGB(x, y);
      if (found > 0 && v == c[0]) continue;
      if (found > 1 && v == c[1]) continue;
      if (found == 2) return false;
      c[found++] = v;
    }
  }
  if (found != 2) return false;
  auto lum = [](TRGB v) { return RoundHalfEven((21.0 * v.r + 71.0 * v.g + 8.0 * v.b) / 100.0); };
  const TRGB one = lum(c[1]) < lum(c[0]) ? c[0] : c[1];
  out.Allocate(w, h, lx1g);
  if (out.Width() != w) return false;
  for (int y = 0; y < h; ++y) {
    std::vector<TRGB> row(static_cast<size_t>(w));
    for (int x = 0; x < w; ++x) row[size_t(x)] = src.GetPixelRGB(x, y);
    uint8_t* d = out.Scanline(y);
    std::memset(d, 0, size_t(out.RowLength()));
    for (int x = 0; x < w; ++x)
      if (row[size_t(x)] == one) d[x >> 3] |= uint8_t(0x80 >> (x & 7));
  }
  return true;
}

}  // namespace

void PNGWriteStream(TStream& stream, TLXBitmap* bitmap, TIOParamsVals& params, TIOProgress& progress,
                    TLXMask* mask) {
  PngIO io{&stream, &progress};
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, ErrorFn, WarningFn);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!png || !info) {
    png_destroy_write_struct(&png, &info);
    throw EInvalidGraphic("Error on creating PNG");
  }
  png_set_write_fn(png, &io, WriteData, FlushData);

  // The working bitmap: the caller's, or a private copy in the format the rows need.
  TLXBitmap* work = bitmap;
  TLXBitmap copy;
  const TLXPixelFormat f = bitmap->PixelFormat();
  const bool spp1 = params.SamplesPerPixel == 1;
  if (params.BitsPerSample == 1) {
    if (f != lx1g) {
      if (!TwoColorToMono(*bitmap, copy)) {
        copy.Assign(bitmap);
        copy.SetPixelFormat(lx1g);
      }
      work = &copy;
    }
  } else if (spp1 && f == lx16g && params.BitsPerSample != 16) {
    copy.Assign(bitmap);
    copy.SetPixelFormat(lx8g);
    work = &copy;
  } else if (f == lx1g || (!spp1 && f != lx24RGB) || (spp1 && f == lx32f)) {
    // RGB rows must be blue-green-red; float grey has no PNG form.
    copy.Assign(bitmap);
    copy.SetPixelFormat(lx24RGB);
    work = &copy;
  }

  WriteJob job;
  job.work = work;
  job.params = &params;
  job.progress = &progress;
  job.background = params.PNGBackground;
  const bool alpha = mask && !mask->Full && mask->Width() == work->Width() && mask->Height() == work->Height();
  std::vector<png_color> plte;
  std::vector<uint8_t> rowBuffer(size_t(std::max(1, work->Width())) * 4 + 8);
  std::vector<TRGB> qpal(256);
  std::unique_ptr<TLXQuantizer> quantizer;
  job.plte = &plte;
  job.rowBuffer = &rowBuffer;

  const TLXPixelFormat wf = work->PixelFormat();
  if (spp1) {
    if (wf == lx1g) {
      job.colorType = PNG_COLOR_TYPE_GRAY;
      job.depth = 1;
    } else {
      job.colorType = PNG_COLOR_TYPE_PALETTE;
      // Palettes hold at most 8 bits per index.
      job.depth = std::clamp(params.BitsPerSample, 1, 8);
      if (job.depth == 3 || job.depth == 5 || job.depth == 6 || job.depth == 7) job.depth = 8;
      if (alpha) {
        job.depth = 8;
        const int k = std::min(1 << std::clamp(params.BitsPerSample, 1, 8), 255);
        quantizer = std::make_unique<TLXQuantizer>(work, qpal.data(), 255, k, -1, 0);
        plte.push_back(png_color{job.background.r, job.background.g, job.background.b});
        for (int i = 0; i < k && plte.size() < 256; ++i)
          plte.push_back(png_color{qpal[size_t(i)].r, qpal[size_t(i)].g, qpal[size_t(i)].b});
        job.paletteAlpha = true;
        job.mask = mask;
      } else {
        // A depth below 8 can index only 2^depth colours.
        const int k = job.depth < 8 ? (1 << job.depth) : 256;
        quantizer = std::make_unique<TLXQuantizer>(work, qpal.data(), 255, k, -1, 0);
        const bool grey = quantizer->Mode() == TLXQuantizer::qmGrayRamp ||
                          quantizer->Mode() == TLXQuantizer::qmGrayPalette;
        if (grey && wf != lx8p) {
          job.colorType = PNG_COLOR_TYPE_GRAY;
          if (params.BitsPerSample == 16) {
            job.depth = 16;
            quantizer = std::make_unique<TLXQuantizer>(work, qpal.data(), 255, 256, -1, 0);
          } else if (job.depth < 8) {
            quantizer = std::make_unique<TLXQuantizer>(work, qpal.data(), 255, 256, -1, 0);
          }
        } else {
          if (wf == lx8p) job.depth = 8;
          for (int i = 0; i < (wf == lx8p ? 256 : k); ++i)
            plte.push_back(png_color{qpal[size_t(i)].r, qpal[size_t(i)].g, qpal[size_t(i)].b});
        }
      }
      job.quantized = true;
      job.quantizer = quantizer.get();
    }
  } else {
    job.colorType = alpha ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB;
    job.depth = 8;
    job.mask = alpha ? mask : nullptr;
  }

  const int r = work->Width() > 0 && work->Height() > 0 ? WriteProtected(png, info, job) : -1;
  png_destroy_write_struct(&png, &info);
  if (r != 0) throw EInvalidGraphic("Error on creating PNG");
}

// ---------------------------------------------------------------------------

const TIOFormat& PNGFormat() {
  static const TIOFormat row{
      .FileType = ioPNG,
      .DisplayName = "Portable Network Graphics",
      .RegistryExtensions = "PNG",
      .DialogPages = ppPNG,
      .Readable = true,
      .Writable = true,
      .Extensions = "png",
      .Routes = iorLoad | iorSave,
      // Loads take the transparency as a mask; parameters-only reads blend, so
      // that PNGBackground reports the file's bKGD colour.
      .Read = [](TStream& s, TLXBitmap* b, TIOParamsVals& p, TIOProgress& pr, TIOReadCall& c) {
        PNGReadStream(s, b, p, pr, c.ParamsOnly, /*blendAlpha=*/c.ParamsOnly, c.Mask);
      },
      .Write = [](TStream& s, TLXBitmap* b, TIOParamsVals& p, TIOProgress& pr, TIOWriteCall& c) {
        PNGWriteStream(s, b, p, pr, c.Mask);
      },
      .Content = {90, 8, IsPNGStream},
      .AlphaFromMask = true,
      .ViewDpiFile = true,
      .ViewDpiStream = true,
      .WantsMask = true,
      .Detail = [](const TIOParamsVals& p) { return std::string(p.PNGInterlaced ? " Interlaced" : ""); },
  };
  return row;
}
