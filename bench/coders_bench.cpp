// Speed of the LZW and fax coders on their own, beside giflib and libtiff on
// the same data when those libraries are linked (this program only):
//   GIF LZW decode and encode of a 4000 x 3000 photo's indexes,
//   TIFF LZW decode and encode of a 5000 x 3000 RGB photo (predictor 2),
//   Group 4 decode and encode of an A4 page at 300 dpi (2480 x 3508).
// QUELMAR_BENCH_GIF names a GIF to use instead of the made-up photo (bench/peers-coders.sh).
// The counters "bytes" give each coder's output size, "ratio" ours / theirs.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <vector>

#include "codecs/fax/faxdecode.h"
#include "codecs/fax/faxencode.h"
#include "codecs/gif/gif_lzw.h"
#include "codecs/tiff/tiff_lzw.h"
#include "io/progress.h"
#include "platform/stream.h"

#ifdef QUELMAR_HAVE_GIFLIB
#include <gif_lib.h>
#endif
#ifdef QUELMAR_HAVE_LIBTIFF
#include <tiffio.h>
#endif

namespace {

// ---- test data ----

// A photo-like grey picture: smooth shapes, texture and noise.
std::vector<uint8_t> Photo(int w, int h, int samples, uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<uint8_t> v(size_t(w) * h * samples);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      for (int c = 0; c < samples; ++c) {
        const double base = 128 + 60 * std::sin(x / (300.0 + 40 * c)) * std::cos(y / 210.0) +
                            35 * std::sin((x + 2 * y) / 97.0) + 12 * std::sin(x * y / 5e4);
        const int noise = int(rng() % 13) - 6;
        v[(size_t(y) * w + x) * samples + c] = uint8_t(std::clamp(int(base) + noise, 0, 255));
      }
    }
  }
  return v;
}

// An A4 page of text at 300 dpi: lines of glyph-sized blots, bit 1 black.
std::vector<uint8_t> TextPage(int w, int h) {
  std::mt19937 rng(42);
  const size_t rb = (size_t(w) + 7) / 8;
  std::vector<uint8_t> page(rb * h, 0);
  // 40 glyph shapes of 24 x 32: a few strokes each.
  std::vector<std::vector<uint8_t>> glyphs(40, std::vector<uint8_t>(24 * 32, 0));
  for (auto& g : glyphs) {
    for (int s = 0; s < 3; ++s) {
      const int x0 = int(rng() % 20), y0 = int(rng() % 28), horiz = int(rng() & 1), len = 8 + int(rng() % 20);
      for (int k = 0; k < len; ++k) {
        for (int t = 0; t < 4; ++t) {
          const int x = horiz ? x0 + k : x0 + t, y = horiz ? y0 + t : y0 + k;
          if (x < 24 && y < 32) g[size_t(y) * 24 + x] = 1;
        }
      }
    }
  }
  for (int top = 200; top + 40 < h - 200; top += 58) {
    int x = 180;
    while (x < w - 200) {
      const int word = 2 + int(rng() % 9);
      for (int k = 0; k < word && x < w - 200; ++k, x += 27) {
        const auto& g = glyphs[rng() % glyphs.size()];
        for (int gy = 0; gy < 32; ++gy) {
          for (int gx = 0; gx < 24; ++gx) {
            if (g[size_t(gy) * 24 + gx]) page[size_t(top + gy) * rb + size_t(x + gx) / 8] |= uint8_t(0x80 >> ((x + gx) % 8));
          }
        }
      }
      x += 30;
    }
  }
  return page;
}

struct TGifData {
  std::vector<uint8_t> file;  // a whole GIF
  size_t dataAt = 0;          // its first image's minimum code size byte
  int width = 0, height = 0;
  std::vector<uint8_t> indexes;
};

// The made-up photo as a GIF with a grey table, or the file QUELMAR_BENCH_GIF names.
const TGifData& GifData() {
  static const TGifData data = [] {
    TGifData d;
    if (const char* name = std::getenv("QUELMAR_BENCH_GIF")) {
      std::ifstream f(name, std::ios::binary);
      d.file.assign(std::istreambuf_iterator<char>(f), {});
      size_t p = 13;
      if (d.file.size() > 13 && (d.file[10] & 0x80)) p += size_t(3) << ((d.file[10] & 7) + 1);
      while (p < d.file.size() && d.file[p] == 0x21) {
        p += 2;
        while (p < d.file.size() && d.file[p]) p += d.file[p] + 1u;
        ++p;
      }
      if (p + 10 < d.file.size() && d.file[p] == 0x2C) {
        d.width = d.file[p + 5] | d.file[p + 6] << 8;
        d.height = d.file[p + 7] | d.file[p + 8] << 8;
        const uint8_t flags = d.file[p + 9];
        p += 10;
        if (flags & 0x80) p += size_t(3) << ((flags & 7) + 1);
        d.dataAt = p;
        d.indexes.resize(size_t(d.width) * d.height);
        TMemoryStream s(d.file);
        s.SetPosition(int64_t(p));
        GIFLZWDecode(s, d.height, d.width, flags & 0x40, d.indexes.data());
        return d;
      }
    }
    d.width = 4000;
    d.height = 3000;
    d.indexes = Photo(d.width, d.height, 1, 7);
    d.file = {'G', 'I', 'F', '8', '9', 'a', 0xA0, 0x0F, 0xB8, 0x0B, 0xF7, 0, 0};
    for (int i = 0; i < 256; ++i) d.file.insert(d.file.end(), {uint8_t(i), uint8_t(i), uint8_t(i)});
    d.file.insert(d.file.end(), {0x2C, 0, 0, 0, 0, 0xA0, 0x0F, 0xB8, 0x0B, 0});
    d.dataAt = d.file.size();
    TMemoryStream s;
    GIFLZWCompress(s, d.height, d.width, 8, d.indexes.data(), false);
    d.file.insert(d.file.end(), s.Data().begin(), s.Data().end());
    d.file.push_back(0x3B);
    return d;
  }();
  return data;
}

size_t OurGifSize() {
  const TGifData& d = GifData();
  TMemoryStream s;
  GIFLZWCompress(s, d.height, d.width, 8, d.indexes.data(), false);
  return s.Data().size();
}

// ---- GIF ----

void BM_GifLzwDecode(benchmark::State& state) {
  const TGifData& d = GifData();
  std::vector<uint8_t> out(d.indexes.size());
  TMemoryStream s(d.file);
  for (auto _ : state) {
    s.SetPosition(int64_t(d.dataAt));
    GIFLZWDecompress(s, d.height, d.width, false, out.data());
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(out.size()));
}
BENCHMARK(BM_GifLzwDecode)->Unit(benchmark::kMillisecond);

void BM_GifLzwEncode(benchmark::State& state) {
  const TGifData& d = GifData();
  size_t bytes = 0;
  for (auto _ : state) {
    TMemoryStream s;
    GIFLZWCompress(s, d.height, d.width, 8, d.indexes.data(), false);
    bytes = s.Data().size();
  }
  state.counters["bytes"] = double(bytes);
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(d.indexes.size()));
}
BENCHMARK(BM_GifLzwEncode)->Unit(benchmark::kMillisecond);

#ifdef QUELMAR_HAVE_GIFLIB
struct TGifReader {
  const std::vector<uint8_t>* data;
  size_t pos = 0;
};
int GifRead(GifFileType* gif, GifByteType* buf, int n) {
  auto* r = static_cast<TGifReader*>(gif->UserData);
  const size_t take = std::min<size_t>(size_t(n), r->data->size() - r->pos);
  std::memcpy(buf, r->data->data() + r->pos, take);
  r->pos += take;
  return int(take);
}
int GifWrite(GifFileType* gif, const GifByteType* buf, int n) {
  static_cast<std::vector<uint8_t>*>(gif->UserData)->insert(static_cast<std::vector<uint8_t>*>(gif->UserData)->end(), buf, buf + n);
  return n;
}

// The whole file through DGifSlurp: the header walk is next to nothing beside the image.
void BM_GifLzwDecodeGiflib(benchmark::State& state) {
  const TGifData& d = GifData();
  for (auto _ : state) {
    TGifReader r{&d.file};
    int err = 0;
    GifFileType* gif = DGifOpen(&r, GifRead, &err);
    if (!gif || DGifSlurp(gif) != GIF_OK) state.SkipWithError("giflib failed");
    DGifCloseFile(gif, &err);
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(d.indexes.size()));
}
BENCHMARK(BM_GifLzwDecodeGiflib)->Unit(benchmark::kMillisecond);

void BM_GifLzwEncodeGiflib(benchmark::State& state) {
  const TGifData& d = GifData();
  size_t bytes = 0;
  std::vector<GifPixelType> line(size_t(d.width));
  for (auto _ : state) {
    std::vector<uint8_t> out;
    int err = 0;
    GifFileType* gif = EGifOpen(&out, GifWrite, &err);
    ColorMapObject* map = GifMakeMapObject(256, nullptr);
    EGifPutScreenDesc(gif, d.width, d.height, 8, 0, map);
    EGifPutImageDesc(gif, 0, 0, d.width, d.height, false, nullptr);
    for (int y = 0; y < d.height; ++y) {
      std::memcpy(line.data(), d.indexes.data() + size_t(y) * d.width, line.size());
      EGifPutLine(gif, line.data(), d.width);
    }
    EGifCloseFile(gif, &err);
    GifFreeMapObject(map);
    bytes = out.size() - 13 - 768 - 10 - 1;  // the image data alone
  }
  state.counters["bytes"] = double(bytes);
  state.counters["ours/giflib"] = double(OurGifSize()) / double(bytes);
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(d.indexes.size()));
}
BENCHMARK(BM_GifLzwEncodeGiflib)->Unit(benchmark::kMillisecond);
#endif

// ---- TIFF LZW: 5000 x 3000 RGB, predictor 2 (rows differenced before coding) ----

constexpr int kTiffW = 5000, kTiffH = 3000, kRowsPerStrip = 34;  // ~512 KB strips, as writers make

const std::vector<uint8_t>& TiffPhoto() {
  static const std::vector<uint8_t> photo = Photo(kTiffW, kTiffH, 3, 11);
  return photo;
}

void Difference(const uint8_t* row, uint8_t* out, int samples, size_t n) {
  std::memcpy(out, row, size_t(samples));
  for (size_t i = size_t(samples); i < n; ++i) out[i] = uint8_t(row[i] - row[i - samples]);
}

void Accumulate(uint8_t* row, int samples, size_t n) {
  for (size_t i = size_t(samples); i < n; ++i) row[i] = uint8_t(row[i] + row[i - samples]);
}

// Our strips, as our writer makes them.
std::vector<std::vector<uint8_t>> OurTiffStrips(const std::vector<uint8_t>& photo) {
  const size_t rb = size_t(kTiffW) * 3;
  std::vector<std::vector<uint8_t>> strips;
  std::vector<uint8_t> diff(rb);
  for (int y0 = 0; y0 < kTiffH; y0 += kRowsPerStrip) {
    TMemoryStream s;
    std::unique_ptr<TLZWState> st;
    for (int y = y0; y < std::min(kTiffH, y0 + kRowsPerStrip); ++y) {
      Difference(photo.data() + size_t(y) * rb, diff.data(), 3, rb);
      TIFFLZWCompress(diff.data(), int32_t(rb), s, st);
    }
    TIFFLZWCompress(nullptr, 0, s, st);
    strips.push_back(s.Data());
  }
  return strips;
}

void BM_TiffLzwDecode(benchmark::State& state) {
  static const auto strips = OurTiffStrips(TiffPhoto());
  const size_t rb = size_t(kTiffW) * 3;
  std::vector<uint8_t> image(rb * kTiffH);
  for (auto _ : state) {
    size_t y = 0;
    for (const auto& strip : strips) {
      std::unique_ptr<TLZWState> st;
      for (int k = 0; k < kRowsPerStrip && y < size_t(kTiffH); ++k, ++y) {
        const uint8_t* row = TIFFLZWDecompress(strip.data(), int64_t(strip.size()), int32_t(rb), st);
        if (!row) state.SkipWithError("decode failed");
        uint8_t* dst = image.data() + y * rb;
        std::memcpy(dst, row, rb);
        Accumulate(dst, 3, rb);
      }
      TIFFLZWDecompress(nullptr, 0, 0, st);
    }
    benchmark::DoNotOptimize(image.data());
  }
  if (image != TiffPhoto()) state.SkipWithError("round trip differs");
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(image.size()));
}
BENCHMARK(BM_TiffLzwDecode)->Unit(benchmark::kMillisecond);

void BM_TiffLzwEncode(benchmark::State& state) {
  const auto& photo = TiffPhoto();
  size_t bytes = 0;
  for (auto _ : state) {
    const auto strips = OurTiffStrips(photo);
    bytes = 0;
    for (const auto& s : strips) bytes += s.size();
  }
  state.counters["bytes"] = double(bytes);
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(photo.size()));
}
BENCHMARK(BM_TiffLzwEncode)->Unit(benchmark::kMillisecond);

// ---- Group 4: an A4 page at 300 dpi ----

constexpr int kPageW = 2480, kPageH = 3508;

const std::vector<uint8_t>& Page() {
  static const std::vector<uint8_t> page = TextPage(kPageW, kPageH);
  return page;
}

std::vector<uint8_t> OurG4(const std::vector<uint8_t>& page) {
  TMemoryStream s;
  std::atomic<bool> abort{false};
  TIOProgress progress;
  progress.abort = &abort;
  TFaxEncoder enc(kPageW, fxG4);
  const size_t rb = (size_t(kPageW) + 7) / 8;
  for (int y = 0; y < kPageH; ++y) enc.EncodeRow(page.data() + size_t(y) * rb, s, progress);
  enc.Finish(s, progress);
  return s.Data();
}

void BM_G4Decode(benchmark::State& state) {
  static const auto data = OurG4(Page());
  const size_t rb = (size_t(kPageW) + 7) / 8;
  std::vector<uint8_t> image(rb * kPageH);
  TFaxDecoder dec(kPageW, fxG4, false);
  for (auto _ : state) {
    dec.Start(data.data(), int64_t(data.size()));
    for (int y = 0; y < kPageH; ++y) dec.DecodeRow(image.data() + size_t(y) * rb);
    benchmark::DoNotOptimize(image.data());
  }
  for (auto& b : image) b = uint8_t(~b);
  if (image != Page()) state.SkipWithError("round trip differs");
  state.counters["bytes"] = double(data.size());
}
BENCHMARK(BM_G4Decode)->Unit(benchmark::kMillisecond);

void BM_G4Encode(benchmark::State& state) {
  size_t bytes = 0;
  for (auto _ : state) bytes = OurG4(Page()).size();
  state.counters["bytes"] = double(bytes);
}
BENCHMARK(BM_G4Encode)->Unit(benchmark::kMillisecond);

#ifdef QUELMAR_HAVE_LIBTIFF
// libtiff on a memory file.
struct TMemTiff {
  std::vector<uint8_t> data;
  toff_t pos = 0;
};
tsize_t MemRead(thandle_t h, tdata_t buf, tsize_t n) {
  auto* m = static_cast<TMemTiff*>(h);
  const tsize_t take = std::max<tsize_t>(0, std::min<tsize_t>(n, tsize_t(m->data.size()) - tsize_t(m->pos)));
  std::memcpy(buf, m->data.data() + m->pos, size_t(take));
  m->pos += toff_t(take);
  return take;
}
tsize_t MemWrite(thandle_t h, tdata_t buf, tsize_t n) {
  auto* m = static_cast<TMemTiff*>(h);
  if (m->pos + toff_t(n) > m->data.size()) m->data.resize(m->pos + toff_t(n));
  std::memcpy(m->data.data() + m->pos, buf, size_t(n));
  m->pos += toff_t(n);
  return n;
}
toff_t MemSeek(thandle_t h, toff_t off, int whence) {
  auto* m = static_cast<TMemTiff*>(h);
  m->pos = whence == SEEK_SET ? off : whence == SEEK_CUR ? m->pos + off : m->data.size() + off;
  return m->pos;
}
int MemClose(thandle_t) { return 0; }
toff_t MemSize(thandle_t h) { return static_cast<TMemTiff*>(h)->data.size(); }
int MemMap(thandle_t, tdata_t*, toff_t*) { return 0; }
void MemUnmap(thandle_t, tdata_t, toff_t) {}

TIFF* MemOpen(TMemTiff& m, const char* mode) {
  m.pos = 0;
  return TIFFClientOpen("mem", mode, &m, MemRead, MemWrite, MemSeek, MemClose, MemSize, MemMap, MemUnmap);
}

TMemTiff LibtiffWrite(const std::vector<uint8_t>& image, int w, int h, bool fax) {
  TMemTiff m;
  TIFF* t = MemOpen(m, "w");
  TIFFSetField(t, TIFFTAG_IMAGEWIDTH, w);
  TIFFSetField(t, TIFFTAG_IMAGELENGTH, h);
  TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, fax ? 1 : 8);
  TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, fax ? 1 : 3);
  TIFFSetField(t, TIFFTAG_PHOTOMETRIC, fax ? PHOTOMETRIC_MINISWHITE : PHOTOMETRIC_RGB);
  TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(t, TIFFTAG_COMPRESSION, fax ? COMPRESSION_CCITTFAX4 : COMPRESSION_LZW);
  if (!fax) TIFFSetField(t, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
  const int rps = fax ? h : kRowsPerStrip;
  TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, rps);
  const size_t rb = fax ? (size_t(w) + 7) / 8 : size_t(w) * 3;
  std::vector<uint8_t> copy(image);  // libtiff may change what it is given
  for (int y0 = 0, s = 0; y0 < h; y0 += rps, ++s) {
    const int rows = std::min(rps, h - y0);
    TIFFWriteEncodedStrip(t, uint32_t(s), copy.data() + size_t(y0) * rb, tmsize_t(rb * rows));
  }
  TIFFClose(t);
  return m;
}

void LibtiffDecodeAll(TMemTiff& m, std::vector<uint8_t>& image) {
  TIFF* t = MemOpen(m, "r");
  const tstrip_t n = TIFFNumberOfStrips(t);
  const tmsize_t ss = TIFFStripSize(t);
  for (tstrip_t s = 0; s < n; ++s) TIFFReadEncodedStrip(t, s, image.data() + size_t(s) * size_t(ss), -1);
  TIFFClose(t);
}

void BM_TiffLzwDecodeLibtiff(benchmark::State& state) {
  TIFFSetWarningHandler(nullptr);
  static TMemTiff file = LibtiffWrite(TiffPhoto(), kTiffW, kTiffH, false);
  std::vector<uint8_t> image(TiffPhoto().size());
  for (auto _ : state) LibtiffDecodeAll(file, image);
  if (image != TiffPhoto()) state.SkipWithError("libtiff round trip differs");
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(image.size()));
}
BENCHMARK(BM_TiffLzwDecodeLibtiff)->Unit(benchmark::kMillisecond);

void BM_TiffLzwEncodeLibtiff(benchmark::State& state) {
  size_t bytes = 0;
  for (auto _ : state) {
    TMemTiff m = LibtiffWrite(TiffPhoto(), kTiffW, kTiffH, false);
    TIFF* t = MemOpen(m, "r");
    bytes = 0;
    for (tstrip_t s = 0; s < TIFFNumberOfStrips(t); ++s) bytes += size_t(TIFFRawStripSize(t, s));
    TIFFClose(t);
  }
  size_t ours = 0;
  for (const auto& s : OurTiffStrips(TiffPhoto())) ours += s.size();
  state.counters["bytes"] = double(bytes);
  state.counters["ours/libtiff"] = double(ours) / double(bytes);
}
BENCHMARK(BM_TiffLzwEncodeLibtiff)->Unit(benchmark::kMillisecond);

void BM_G4DecodeLibtiff(benchmark::State& state) {
  static TMemTiff file = LibtiffWrite(Page(), kPageW, kPageH, true);
  std::vector<uint8_t> image(Page().size());
  for (auto _ : state) LibtiffDecodeAll(file, image);
  if (image != Page()) state.SkipWithError("libtiff round trip differs");
}
BENCHMARK(BM_G4DecodeLibtiff)->Unit(benchmark::kMillisecond);

void BM_G4EncodeLibtiff(benchmark::State& state) {
  size_t bytes = 0;
  for (auto _ : state) bytes = LibtiffWrite(Page(), kPageW, kPageH, true).data.size();
  state.counters["file bytes"] = double(bytes);
}
BENCHMARK(BM_G4EncodeLibtiff)->Unit(benchmark::kMillisecond);

// Our decoder on libtiff's Group 4 strip, for the record: the same page.
void BM_G4DecodeLibtiffData(benchmark::State& state) {
  TMemTiff file = LibtiffWrite(Page(), kPageW, kPageH, true);
  TIFF* t = MemOpen(file, "r");
  std::vector<uint8_t> strip(size_t(TIFFRawStripSize(t, 0)));
  TIFFReadRawStrip(t, 0, strip.data(), tmsize_t(strip.size()));
  TIFFClose(t);
  const size_t rb = (size_t(kPageW) + 7) / 8;
  std::vector<uint8_t> image(rb * kPageH);
  TFaxDecoder dec(kPageW, fxG4, false);
  for (auto _ : state) {
    dec.Start(strip.data(), int64_t(strip.size()));
    for (int y = 0; y < kPageH; ++y) dec.DecodeRow(image.data() + size_t(y) * rb);
  }
  for (auto& b : image) b = uint8_t(~b);
  if (image != Page()) state.SkipWithError("decode of libtiff's strip differs");
}
BENCHMARK(BM_G4DecodeLibtiffData)->Unit(benchmark::kMillisecond);
#endif

}  // namespace

BENCHMARK_MAIN();
