#pragma once
// The body of the coders' fuzz target: the LZW and fax decoders alone, and
// round trips through their encoders. The first byte picks the coder, the next
// three its geometry, the rest is the coded data (or, for round trips, the
// pixels). A decoder must never read past its data, write past its output or
// hang; a round trip must give back what went in (std::abort otherwise).
#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include "codecs/fax/faxdecode.h"
#include "codecs/fax/faxencode.h"
#include "codecs/gif/gif_lzw.h"
#include "codecs/tiff/tiff_lzw.h"
#include "io/progress.h"
#include "platform/stream.h"

namespace coderfuzz {

inline void Check(bool ok) {
  if (!ok) std::abort();
}

// GIF image data at the start of a stream with a byte before and after it.
inline void GifDecode(int32_t w, int32_t h, bool interlaced, const uint8_t* data, size_t size) {
  std::vector<uint8_t> bytes(size + 2, 0x3B);
  std::copy(data, data + size, bytes.begin() + 1);
  TMemoryStream s(bytes);
  s.SetPosition(1);
  std::vector<uint8_t> out(size_t(w) * size_t(h));
  const TGIFLZWResult r = GIFLZWDecode(s, h, w, interlaced, out.data());
  Check(r.Ok ? s.Position() > 1 && s.Position() <= int64_t(bytes.size()) && r.Pixels <= int64_t(out.size())
             : s.Position() == 1);
}

inline void TiffDecode(int32_t rowLength, const uint8_t* data, size_t size) {
  std::unique_ptr<uint8_t[]> exact(new uint8_t[size ? size : 1]);
  std::copy(data, data + size, exact.get());
  std::unique_ptr<TLZWState> state;
  for (int rows = 0; rows < 4096; ++rows) {
    if (!TIFFLZWDecompress(exact.get(), int64_t(size), rowLength, state)) break;
  }
  TIFFLZWDecompress(nullptr, 0, 0, state);
}

inline void FaxDecode(int32_t width, TFaxScheme scheme, bool lsbFirst, const uint8_t* data, size_t size) {
  std::unique_ptr<uint8_t[]> exact(new uint8_t[size ? size : 1]);
  std::copy(data, data + size, exact.get());
  const size_t rb = (size_t(width) + 7) / 8;
  std::vector<uint8_t> row(rb + 1, 0x5A), ref(rb, 0xFF);
  TFaxDecoder decoder(width, scheme, lsbFirst);
  decoder.Start(exact.get(), int64_t(size));
  for (int y = 0; y < 256; ++y) {
    decoder.DecodeRow(row.data());
    Check(row[rb] == 0x5A);
  }
  int64_t pos = 0;
  for (int y = 0; y < 16 && pos < int64_t(size) * 8; ++y) {
    pos = scheme == fxG4 || scheme == fxG3_2D
              ? FaxDecode2D(row.data(), exact.get(), int64_t(size), true, lsbFirst ? 2 : 1, pos, ref.data(), width)
              : FaxDecodeMH(row.data(), exact.get(), int64_t(size), width, lsbFirst ? 2 : 1, pos);
    Check(row[rb] == 0x5A && pos <= int64_t(size) * 8);
  }
}

// Pixels through an encoder and back.
inline void GifRoundTrip(int32_t w, int bits, bool interlaced, const uint8_t* data, size_t size) {
  const int32_t h = int32_t(size / size_t(w));
  if (h == 0) return;
  std::vector<uint8_t> idx(data, data + size_t(w) * size_t(h));
  for (auto& v : idx) v = uint8_t(v & ((1u << bits) - 1));
  TMemoryStream s;
  GIFLZWCompress(s, h, w, bits, idx.data(), interlaced);
  s.SetPosition(0);
  std::vector<uint8_t> back(idx.size());
  Check(GIFLZWDecode(s, h, w, interlaced, back.data()).Ok && back == idx);
}

inline void TiffRoundTrip(int32_t rowLength, const uint8_t* data, size_t size) {
  const size_t rows = size / size_t(rowLength);
  if (rows == 0) return;
  TMemoryStream s;
  std::unique_ptr<TLZWState> state;
  for (size_t y = 0; y < rows; ++y) TIFFLZWCompress(data + y * size_t(rowLength), rowLength, s, state);
  TIFFLZWCompress(nullptr, 0, s, state);
  for (size_t y = 0; y < rows; ++y) {
    const uint8_t* row = TIFFLZWDecompress(s.Data().data(), int64_t(s.Data().size()), rowLength, state);
    Check(row && std::equal(row, row + rowLength, data + y * size_t(rowLength)));
  }
  TIFFLZWDecompress(nullptr, 0, 0, state);
}

inline void FaxRoundTrip(int32_t width, TFaxScheme scheme, const uint8_t* data, size_t size) {
  const size_t rb = (size_t(width) + 7) / 8;
  const size_t rows = std::min<size_t>(size / rb, 512);
  if (rows == 0) return;
  std::vector<uint8_t> page(data, data + rows * rb);
  if (width % 8) {
    for (size_t y = 0; y < rows; ++y) page[y * rb + rb - 1] &= uint8_t(0xFF << (8 - width % 8));
  }
  TMemoryStream s;
  std::atomic<bool> abort{false};
  TIOProgress progress;
  progress.abort = &abort;
  TFaxEncoder encoder(width, scheme);
  for (size_t y = 0; y < rows; ++y) encoder.EncodeRow(page.data() + y * rb, s, progress);
  encoder.Finish(s, progress);
  TFaxDecoder decoder(width, scheme, false);
  decoder.Start(s.Data().data(), int64_t(s.Data().size()));
  std::vector<uint8_t> row(rb);
  for (size_t y = 0; y < rows; ++y) {
    Check(decoder.DecodeRow(row.data()) == frOk);
    for (size_t i = 0; i < rb; ++i) {
      uint8_t ink = uint8_t(~row[i]);
      if (i == rb - 1 && width % 8) ink &= uint8_t(0xFF << (8 - width % 8));
      Check(ink == page[y * rb + i]);
    }
  }
}

}  // namespace coderfuzz

// family: -1 every coder; 0 GIF LZW, 1 TIFF LZW, 2 fax (decoding and round trips).
inline void RunCodersTarget(const uint8_t* data, size_t size, int family = -1) {
  if (size < 4) return;
  using namespace coderfuzz;
  const uint8_t which = family < 0 ? data[0] % 6 : uint8_t(family + 3 * (data[0] & 1));
  const uint8_t a = data[1], b = data[2], c = data[3];
  const uint8_t* rest = data + 4;
  const size_t n = size - 4;
  const TFaxScheme scheme = TFaxScheme(c % 5);
  switch (which) {
    case 0: GifDecode(1 + a, 1 + b, c & 1, rest, n); break;
    case 1: TiffDecode(1 + (a | (b & 0x0F) << 8), rest, n); break;
    case 2: FaxDecode(1 + (a | (b & 0x0F) << 8), scheme, c & 0x80, rest, n); break;
    case 3: GifRoundTrip(1 + a, 1 + b % 8, c & 1, rest, n); break;
    case 4: TiffRoundTrip(1 + (a | (b & 0x03) << 8), rest, n); break;
    case 5: FaxRoundTrip(1 + (a | (b & 0x07) << 8), scheme, rest, n); break;
  }
}
