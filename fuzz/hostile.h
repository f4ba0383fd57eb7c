#pragma once
// Hostile tiny files: headers that claim huge pictures over a few bytes of data,
// each under 1 KiB. Every reader must refuse them (AbortFlag) before it
// allocates what the claim asks for; tests/io/hostile_test.cpp checks that, and
// bench/hostile-files.sh runs each through load_replay under /usr/bin/time to
// show peak memory and time. Beside them, the largest pictures a file under
// 1 KiB may still bring (data that really decodes to them): these load, and
// bound what any tiny file can cost. Each file comes with its fuzz selector
// (the file-type code of the reader meant to run).
#include <zlib.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/bytes.h"

struct THostileFile {
  std::string Name;
  uint8_t Selector = 0;  // file-type code
  std::vector<uint8_t> Bytes;
  bool Accepted = false;  // one of the largest pictures a tiny file may bring
};

namespace hostile {

inline void Append(std::vector<uint8_t>& v, std::initializer_list<uint8_t> bytes) { v.insert(v.end(), bytes); }
inline void AppendBE32(std::vector<uint8_t>& v, uint32_t x) {
  uint8_t b[4];
  PutBE32(b, x);
  v.insert(v.end(), b, b + 4);
}
inline void AppendLE16(std::vector<uint8_t>& v, uint32_t x) {
  uint8_t b[2];
  PutLE16(b, x);
  v.insert(v.end(), b, b + 2);
}
inline void AppendLE32(std::vector<uint8_t>& v, uint32_t x) {
  uint8_t b[4];
  PutLE32(b, x);
  v.insert(v.end(), b, b + 4);
}

inline void PngChunk(std::vector<uint8_t>& v, const char* type, const std::vector<uint8_t>& data) {
  AppendBE32(v, uint32_t(data.size()));
  const size_t start = v.size();
  v.insert(v.end(), type, type + 4);
  v.insert(v.end(), data.begin(), data.end());
  AppendBE32(v, uint32_t(crc32(0, v.data() + start, uInt(v.size() - start))));
}

// A PNG of the given header whose image data is the deflate of `raw` zero bytes.
inline std::vector<uint8_t> Png(uint32_t width, uint32_t height, uint8_t depth, uint8_t colorType, uint8_t interlace,
                                size_t raw, bool palette = false) {
  std::vector<uint8_t> v = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  std::vector<uint8_t> ihdr;
  AppendBE32(ihdr, width);
  AppendBE32(ihdr, height);
  Append(ihdr, {depth, colorType, 0, 0, interlace});
  PngChunk(v, "IHDR", ihdr);
  if (palette) PngChunk(v, "PLTE", {255, 0, 0, 0, 0, 255});  // red, blue
  std::vector<uint8_t> zero(raw, 0), packed(compressBound(uLong(raw)));
  uLongf n = uLongf(packed.size());
  compress2(packed.data(), &n, zero.data(), uLong(raw), 9);
  packed.resize(n);
  PngChunk(v, "IDAT", packed);
  PngChunk(v, "IEND", {});
  return v;
}

// A baseline (SOF0) or progressive (SOF2) JPEG header of the given size with
// one-code Huffman tables, then a few bytes of scan and no end.
inline std::vector<uint8_t> Jpeg(uint16_t width, uint16_t height, bool progressive) {
  std::vector<uint8_t> v = {0xFF, 0xD8};
  Append(v, {0xFF, 0xDB, 0, 67, 0});
  v.insert(v.end(), 64, 1);  // quantization table 0
  Append(v, {0xFF, uint8_t(progressive ? 0xC2 : 0xC0), 0, 11, 8, uint8_t(height >> 8), uint8_t(height),
             uint8_t(width >> 8), uint8_t(width), 1, 1, 0x11, 0});
  for (uint8_t cls : {uint8_t(0x00), uint8_t(0x10)}) {  // DC 0, AC 0: one 1-bit code each, symbol 0
    Append(v, {0xFF, 0xC4, 0, 20, cls, 1});
    v.insert(v.end(), 15, 0);
    v.push_back(0);
  }
  if (progressive)
    Append(v, {0xFF, 0xDA, 0, 8, 1, 1, 0x00, 0, 0, 0});  // DC first scan
  else
    Append(v, {0xFF, 0xDA, 0, 8, 1, 1, 0x00, 0, 63, 0});
  v.insert(v.end(), 32, 0x00);
  return v;
}

// A BMP file header and 40-byte info header (a two-colour table for indexed
// files), then `data` bytes of pixel data.
inline std::vector<uint8_t> Bmp(int32_t width, int32_t height, uint16_t bits, uint32_t compression,
                                const std::vector<uint8_t>& data) {
  const uint32_t table = bits <= 8 ? 8 : 0;
  std::vector<uint8_t> v = {'B', 'M'};
  AppendLE32(v, uint32_t(54 + table + data.size()));
  AppendLE32(v, 0);
  AppendLE32(v, 54 + table);
  AppendLE32(v, 40);
  AppendLE32(v, uint32_t(width));
  AppendLE32(v, uint32_t(height));
  AppendLE16(v, 1);
  AppendLE16(v, bits);
  AppendLE32(v, compression);
  for (int i = 0; i < 3; ++i) AppendLE32(v, 0);
  AppendLE32(v, table / 4);  // colours used
  AppendLE32(v, 0);
  v.insert(v.end(), table, 0x40);
  v.insert(v.end(), data.begin(), data.end());
  return v;
}

// An icon of one entry whose image is `image`.
inline std::vector<uint8_t> Ico(uint8_t width, uint8_t height, uint16_t bits, const std::vector<uint8_t>& image) {
  std::vector<uint8_t> v = {0, 0, 1, 0, 1, 0, width, height, 0, 0, 1, 0};
  AppendLE16(v, bits);
  AppendLE32(v, uint32_t(image.size()));
  AppendLE32(v, 22);
  v.insert(v.end(), image.begin(), image.end());
  return v;
}

}  // namespace hostile

inline std::vector<THostileFile> HostileFiles() {
  using namespace hostile;
  std::vector<uint8_t> rle(200);
  for (size_t i = 0; i + 1 < rle.size(); i += 2) rle[i] = 255;  // runs of 255 pixels
  std::vector<uint8_t> icoHeader;  // a 32-bit 256 x 256 DIB with no rows
  AppendLE32(icoHeader, 40);
  AppendLE32(icoHeader, 256);
  AppendLE32(icoHeader, 512);
  AppendLE16(icoHeader, 1);
  AppendLE16(icoHeader, 32);
  icoHeader.resize(40, 0);
  return {
      {"png-1x100000000-rgba.png", 8, Png(1, 100000000, 8, 6, 0, 64)},
      {"png-65535x65535-rgb-interlaced.png", 8, Png(65535, 65535, 8, 2, 1, 64)},
      {"png-100000x100000-grey1.png", 8, Png(100000, 100000, 1, 0, 0, 64)},
      {"png-40000x40000-palette1-colour.png", 8, Png(40000, 40000, 1, 3, 0, 64, true)},
      {"png-30000x30000-rgba16.png", 8, Png(30000, 30000, 16, 6, 0, 64)},
      {"jpeg-27000x26000-baseline-truncated.jpg", 3, Jpeg(27000, 26000, false)},
      {"jpeg-65000x65000-progressive-truncated.jpg", 3, Jpeg(65000, 65000, true)},
      {"bmp-30000x30000-rle8.bmp", 5, Bmp(30000, 30000, 8, 1, rle)},
      {"bmp-16384x16384-rle4.bmp", 5, Bmp(16384, 16384, 4, 2, rle)},
      {"bmp-20000x20000-rgb24-truncated.bmp", 5, Bmp(20000, 20000, 24, 0, std::vector<uint8_t>(100, 7))},
      {"bmp-60000x60000-mono-truncated.bmp", 5, Bmp(60000, 60000, 1, 0, std::vector<uint8_t>(100, 7))},
      {"ico-png-entry-1024x30000.ico", 6, Ico(0, 0, 32, Png(1024, 30000, 8, 6, 0, 64))},
      {"ico-bmp-entry-256x256-32bit-no-rows.ico", 6, Ico(0, 0, 32, icoHeader)},
      {"ico-bm-30000x30000-rle8.ico", 6, Bmp(30000, 30000, 8, 1, rle)},
      // 900 KB of zero rows deflate to under 1 KiB: 2680 x 2680 pixels in colour.
      {"largest-png-2680x2680-palette1-colour.png", 8, Png(2680, 2680, 1, 3, 0, 2680 * 336, true), true},
      {"largest-bmp-2000x2000-rle8.bmp", 5, Bmp(2000, 2000, 8, 1, std::vector<uint8_t>(960, 0)), true},
  };
}
