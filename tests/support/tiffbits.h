#pragma once
// A minimal TIFF reader and writer for the coder tests: the first IFD's layout
// tags and its strips, and a one-strip file around coded data, so that the
// tests can hand strips to libtiff's tools and take strips from them.
#include <algorithm>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

struct TTestTiff {
  bool Ok = false;
  bool BigEndian = false;
  uint32_t Width = 0, Height = 0, Compression = 1, Photometric = 0, FillOrder = 1, T4Options = 0;
  uint32_t BitsPerSample = 1, SamplesPerPixel = 1, RowsPerStrip = 0, Predictor = 1, Planar = 1;
  std::vector<uint64_t> Offsets, Counts;
  size_t RowBytes() const { return (size_t(Width) * BitsPerSample * SamplesPerPixel + 7) / 8; }
};

namespace tifftest {

inline uint32_t Get(const std::vector<uint8_t>& f, size_t at, int bytes, bool big) {
  uint32_t v = 0;
  if (at + size_t(bytes) > f.size()) return 0;
  for (int i = 0; i < bytes; ++i) {
    const uint32_t b = f[at + size_t(i)];
    v |= big ? b << (8 * (bytes - 1 - i)) : b << (8 * i);
  }
  return v;
}

}  // namespace tifftest

// The first IFD of a classic TIFF in either byte order.
inline TTestTiff ParseTestTiff(const std::vector<uint8_t>& f) {
  using tifftest::Get;
  TTestTiff t;
  if (f.size() < 8 || !((f[0] == 'I' && f[1] == 'I') || (f[0] == 'M' && f[1] == 'M'))) return t;
  const bool big = f[0] == 'M';
  t.BigEndian = big;
  if (Get(f, 2, 2, big) != 42) return t;
  const size_t ifd = Get(f, 4, 4, big);
  const uint32_t n = Get(f, ifd, 2, big);
  if (ifd + 2 + size_t(n) * 12 > f.size()) return t;
  std::map<uint32_t, std::vector<uint32_t>> tags;
  for (uint32_t i = 0; i < n; ++i) {
    const size_t e = ifd + 2 + size_t(i) * 12;
    const uint32_t tag = Get(f, e, 2, big), type = Get(f, e + 2, 2, big), count = Get(f, e + 4, 4, big);
    const int size = type == 3 ? 2 : type == 4 ? 4 : type == 1 ? 1 : 0;
    if (size == 0 || count > (1u << 24)) continue;
    const size_t at = size_t(size) * count <= 4 ? e + 8 : Get(f, e + 8, 4, big);
    std::vector<uint32_t> values;
    for (uint32_t k = 0; k < count; ++k) values.push_back(Get(f, at + size_t(k) * size, size, big));
    tags.emplace(tag, values);  // a repeated tag: the first counts, as in libtiff
  }
  auto one = [&](uint32_t tag, uint32_t def) { return tags.count(tag) && !tags[tag].empty() ? tags[tag][0] : def; };
  t.Width = one(256, 0);
  t.Height = one(257, 0);
  t.BitsPerSample = one(258, 1);
  t.Compression = one(259, 1);
  t.Photometric = one(262, 0);
  t.FillOrder = one(266, 1);
  t.SamplesPerPixel = one(277, 1);
  t.RowsPerStrip = std::min(one(278, t.Height), t.Height);
  t.T4Options = one(292, 0);
  t.Predictor = one(317, 1);
  t.Planar = one(284, 1);
  for (uint32_t v : tags[273]) t.Offsets.push_back(v);
  for (uint32_t v : tags[279]) t.Counts.push_back(v);
  t.Ok = t.Width > 0 && t.Height > 0 && !t.Offsets.empty() && t.Offsets.size() == t.Counts.size();
  for (size_t i = 0; t.Ok && i < t.Offsets.size(); ++i) t.Ok = t.Offsets[i] + t.Counts[i] <= f.size();
  return t;
}

inline std::vector<uint8_t> TestTiffStrip(const std::vector<uint8_t>& f, const TTestTiff& t, size_t i) {
  return std::vector<uint8_t>(f.begin() + long(t.Offsets[i]), f.begin() + long(t.Offsets[i] + t.Counts[i]));
}

// Every strip's bytes one after the other (uncompressed files: the image's rows).
inline std::vector<uint8_t> TestTiffAllStrips(const std::vector<uint8_t>& f, const TTestTiff& t) {
  std::vector<uint8_t> all;
  for (size_t i = 0; i < t.Offsets.size(); ++i) {
    const auto s = TestTiffStrip(f, t, i);
    all.insert(all.end(), s.begin(), s.end());
  }
  return all;
}

// A little-endian TIFF of one strip holding data as given. extra: more SHORT or
// LONG tags (FillOrder, T4Options, Predictor...).
inline std::vector<uint8_t> MakeTestTiff(uint32_t width, uint32_t height, uint32_t bitsPerSample,
                                         uint32_t samples, uint32_t photometric, uint32_t compression,
                                         const std::vector<uint8_t>& data,
                                         std::map<uint16_t, uint32_t> extra = {}) {
  std::map<uint16_t, uint32_t> tags = std::move(extra);
  tags[256] = width;
  tags[257] = height;
  tags[259] = compression;
  tags[262] = photometric;
  tags[277] = samples;
  tags[278] = height;
  tags[279] = uint32_t(data.size());
  tags[284] = 1;
  tags[258] = bitsPerSample;
  tags[273] = 0;  // set below
  const size_t ifdSize = 2 + tags.size() * 12 + 4;
  const size_t bitsAt = 8 + ifdSize;                 // BitsPerSample values when samples > 2
  const size_t dataAt = bitsAt + samples * 2 + (samples * 2) % 4;
  tags[273] = uint32_t(dataAt);
  std::vector<uint8_t> f(dataAt);
  auto put = [&](size_t at, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) f[at + size_t(i)] = uint8_t(v >> (8 * i));
  };
  f[0] = f[1] = 'I';
  put(2, 42, 2);
  put(4, 8, 4);
  put(8, uint32_t(tags.size()), 2);
  size_t e = 10;
  for (const auto& [tag, value] : tags) {
    const bool isLong = tag == 256 || tag == 257 || tag == 273 || tag == 278 || tag == 279;
    put(e, tag, 2);
    put(e + 2, isLong ? 4 : 3, 2);
    if (tag == 258 && samples > 2) {
      put(e + 4, samples, 4);
      put(e + 8, uint32_t(bitsAt), 4);
      for (uint32_t s = 0; s < samples; ++s) put(bitsAt + s * 2, bitsPerSample, 2);
    } else if (tag == 258) {
      put(e + 4, samples, 4);
      for (uint32_t s = 0; s < samples; ++s) put(e + 8 + s * 2, bitsPerSample, 2);
    } else {
      put(e + 4, 1, 4);
      put(e + 8, value, isLong ? 4 : 2);
    }
    e += 12;
  }
  f.insert(f.end(), data.begin(), data.end());
  return f;
}
