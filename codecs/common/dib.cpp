#include "codecs/common/dib.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "codecs/common/bytes.h"

void DibParseCoreHeader(const uint8_t* b, TDibHeader& h) {
  h = TDibHeader{};
  h.Size = GetLE32(b);
  h.Width = GetLE16(b + 4);
  h.Height = GetLE16(b + 6);
  h.Planes = GetLE16(b + 8);
  h.BitCount = GetLE16(b + 10);
}

void DibParseInfoHeader(const uint8_t* bytes, int count, TDibHeader& h) {
  uint8_t b[64] = {};
  std::memcpy(b, bytes, size_t(std::clamp(count, 0, 64)));
  h = TDibHeader{};
  h.Size = GetLE32(b);
  h.Width = int32_t(GetLE32(b + 4));
  const int32_t height = int32_t(GetLE32(b + 8));
  h.TopDown = height < 0;
  h.Height = height < 0 ? -int64_t(height) : int64_t(height);
  h.Planes = GetLE16(b + 12);
  h.BitCount = GetLE16(b + 14);
  h.Compression = GetLE32(b + 16);
  h.XPelsPerMeter = int32_t(GetLE32(b + 24));
  h.YPelsPerMeter = int32_t(GetLE32(b + 28));
  h.ClrUsed = GetLE32(b + 32);
  if ((h.Compression == 3 || h.Compression == 6) && h.Size >= 52) {
    h.BitFields = true;
    for (int i = 0; i < 3; ++i) h.Masks[i] = GetLE32(b + 40 + 4 * i);
  }
}

TMonoTable MonoTableOf(const TRGB* table, int count) {
  if (count <= 0) return TMonoTable::mtBlackWhite;
  if (count == 1) return TMonoTable::mtColour;
  const TRGB black{0, 0, 0}, white{255, 255, 255};
  if (table[0] == black && table[1] == white) return TMonoTable::mtBlackWhite;
  if (table[0] == white && table[1] == black) return TMonoTable::mtWhiteBlack;
  return TMonoTable::mtColour;
}

TDibRows::TChannel::TChannel(uint32_t m) : mask(m) {
  if (m == 0) return;
  shift = std::countr_zero(m);
  width = std::countr_one(m >> shift);
}

// The run of ones from the mask's lowest set bit, brought to 8 bits (a 5-bit 31
// gives 248); a zero mask gives 0 and masks wider than 8 bits keep their top 8.
uint8_t TDibRows::TChannel::Take(uint32_t pixel) const {
  if (width == 0) return 0;
  uint32_t v = (pixel & mask) >> shift;
  if (width < 32) v &= (uint32_t(1) << width) - 1;
  return width >= 8 ? uint8_t(v >> (width - 8)) : uint8_t(v << (8 - width));
}

TDibRows::TDibRows(const TDibHeader& h, const TRGB* table, int tableCount, bool native)
    : bits_(h.BitCount),
      width_(h.Width),
      storedLength_(((h.Width * h.BitCount + 31) / 32) * 4),
      bitFields_(h.BitFields),
      red_(h.Masks[0]),
      green_(h.Masks[1]),
      blue_(h.Masks[2]) {
  const int count = std::clamp(tableCount, 0, 256);
  if (table) std::copy(table, table + count, lut_);
  switch (bits_) {
    case 1: {
      const TMonoTable mono = MonoTableOf(table, count);
      if (mono == TMonoTable::mtColour) {
        format_ = native ? lx8p : lx24RGB;
      } else {
        format_ = lx1g;
        invert_ = mono == TMonoTable::mtWhiteBlack;
      }
      break;
    }
    case 4:
    case 8: format_ = native ? lx8p : lx24RGB; break;
    case 16:
    case 24:
    case 32: format_ = lx24RGB; break;
    default: format_ = lxNone;
  }
}

void TDibRows::Unpack(const uint8_t* s, uint8_t* d) const {
  const int64_t w = width_;
  auto put = [&](uint8_t*& out, uint8_t index) {
    if (format_ == lx8p) {
      *out++ = index;
    } else {
      const TRGB& c = lut_[index];
      out[0] = c.b;
      out[1] = c.g;
      out[2] = c.r;
      out += 3;
    }
  };
  switch (bits_) {
    case 1:
      if (format_ == lx1g) {
        const int64_t bytes = (w + 7) / 8;
        if (invert_)
          for (int64_t i = 0; i < bytes; ++i) d[i] = uint8_t(~s[i]);
        else
          std::memcpy(d, s, size_t(bytes));
      } else {
        for (int64_t x = 0; x < w; ++x) put(d, DibBit(s, x));
      }
      break;
    case 4:
      for (int64_t x = 0; x < w; ++x) put(d, (x & 1) ? (s[x >> 1] & 15) : (s[x >> 1] >> 4));
      break;
    case 8:
      if (format_ == lx8p)
        std::memcpy(d, s, size_t(w));
      else
        for (int64_t x = 0; x < w; ++x) put(d, s[x]);
      break;
    case 16:
      for (int64_t x = 0; x < w; ++x, d += 3, s += 2) {
        const uint32_t v = GetLE16(s);
        d[0] = blue_.Take(v);
        d[1] = green_.Take(v);
        d[2] = red_.Take(v);
      }
      break;
    case 24: std::memcpy(d, s, size_t(w) * 3); break;
    case 32:
      if (bitFields_) {
        for (int64_t x = 0; x < w; ++x, d += 3, s += 4) {
          const uint32_t v = GetLE32(s);
          d[0] = blue_.Take(v);
          d[1] = green_.Take(v);
          d[2] = red_.Take(v);
        }
      } else {
        for (int64_t x = 0; x < w; ++x, d += 3, s += 4) {
          d[0] = s[0];
          d[1] = s[1];
          d[2] = s[2];
        }
      }
      break;
  }
}
