#include "codecs/fax/faxdecode.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr int kRunEOL = -1;
constexpr int kRunDataEnd = -2;
constexpr int kMaxRun = 1 << 28;  // make-up codes past any row add nothing more

// The changing elements of the row being decoded. Positions only grow; one
// equal to the last cancels it (a run of length 0), so the list stays strictly
// increasing and never longer than the width.
struct TLine {
  std::vector<int32_t>& c;
  int32_t width;
  int n = 0;
  // Decoding stops at x: a black run left open there ends, so what was not
  // decoded stays white.
  TFaxResult Stop(int32_t x, int color, TFaxResult result) {
    if (color) Push(std::max(x, 0));
    return result;
  }
  void Push(int32_t x) {
    if (x >= width) return;
    if (n > 0 && c[size_t(n - 1)] == x) {
      --n;
      return;
    }
    if (size_t(n) + 4 > c.size()) c.resize(c.size() * 2 + 64);
    c[size_t(n++)] = x;
  }
  int Close() {
    if (size_t(n) + 3 > c.size()) c.resize(size_t(n) + 3);
    c[size_t(n)] = c[size_t(n) + 1] = c[size_t(n) + 2] = width;
    return n;
  }
};

// At least 11 zero bits followed by a 1 inside the data: an EOL, with or without fill.
bool AtEOL(TFaxBitReader& r) {
  const int z = r.LeadingZeros();
  return z >= 11 && r.BitsLeft() > z;
}

// Takes an EOL and its fill; false when the data ends inside it.
bool TakeEOL(TFaxBitReader& r) {
  for (;;) {
    const int z = r.LeadingZeros();
    if (r.BitsLeft() <= z) return false;
    if (z < 32) {
      r.Skip(z + 1);
      return true;
    }
    r.Skip(32);
  }
}

// Skips to the next EOL (left for the row start to take).
void SeekEOL(TFaxBitReader& r) {
  while (!r.Overrun()) {
    const int z = r.LeadingZeros();
    if (z >= 11) return;
    r.Skip(z + 1);
  }
}

// One run of the colour: make-up codes, then a terminating code. A bit string
// that starts no code is skipped a bit at a time; an EOL is left in place.
int DecodeRun(TFaxBitReader& r, const TFaxDecodeTables& t, int color) {
  int run = 0;
  for (;;) {
    if (r.Overrun()) return kRunDataEnd;
    const uint16_t e = color ? t.black[r.Peek(kFaxBlackBits)] : t.white[r.Peek(kFaxWhiteBits)];
    const int length = e & 15;
    if (length == 0) {
      const int z = r.LeadingZeros();
      if (z >= 11) return r.BitsLeft() > z ? kRunEOL : kRunDataEnd;
      r.Skip(1);
      continue;
    }
    const int value = e >> 4;
    if (value == kFaxEOLRun) return kRunEOL;
    r.Skip(length);
    if (r.Overrun()) return kRunDataEnd;
    run = std::min(run + value, kMaxRun);
    if (value < 64) return run;
  }
}

TFaxResult Decode1D(TFaxBitReader& r, const TFaxDecodeTables& t, TLine& line, bool& endedAtEOL) {
  int32_t a0 = 0;
  int color = 0;
  while (a0 < line.width) {
    const int run = DecodeRun(r, t, color);
    if (run == kRunDataEnd) return line.Stop(a0, color, frEndOfData);
    if (run == kRunEOL) {
      endedAtEOL = true;
      return frOk;
    }
    a0 = int32_t(std::min<int64_t>(int64_t(a0) + run, line.width));
    line.Push(a0);
    color ^= 1;
  }
  return frOk;
}

// Uncompressed mode, entered at a with the colour color: explicit pixels until
// an exit code, which names the colour to go on with. Returns frOk with a and
// color set for the coding that follows.
TFaxResult DecodeUncompressed(TFaxBitReader& r, TLine& line, int32_t& a, int& color) {
  int painted = color;  // colour of the pixels just left of a
  auto paint = [&](int c, int32_t count) {
    if (count <= 0) return;
    if (c != painted) line.Push(a);
    painted = c;
    a = int32_t(std::min<int64_t>(int64_t(a) + count, line.width));
  };
  for (;;) {
    if (r.Overrun()) return line.Stop(a, painted, frEndOfData);
    const int z = r.LeadingZeros();
    if (z <= 4) {  // z white pixels, then a black one
      r.Skip(z + 1);
      paint(0, z);
      paint(1, 1);
    } else if (z == 5) {  // five white pixels
      r.Skip(6);
      paint(0, 5);
    } else if (z <= 10) {  // exit after z - 6 white pixels; the next bit is the colour
      r.Skip(z + 1);
      paint(0, z - 6);
      if (r.BitsLeft() < 1) return line.Stop(a, painted, frEndOfData);
      color = int(r.Peek(1));
      r.Skip(1);
      if (painted != color) line.Push(a);
      return frOk;
    } else {
      return line.Stop(a, painted, r.BitsLeft() > z ? frBadCode : frEndOfData);
    }
  }
}

// Horizontal mode: a run of the colour and one of the other from a0.
TFaxResult DecodeHorizontal(TFaxBitReader& r, const TFaxDecodeTables& t, TLine& line, int32_t& a0, int color,
                            bool& endedAtEOL) {
  const int run1 = DecodeRun(r, t, color);
  if (run1 == kRunDataEnd) return line.Stop(a0, color, frEndOfData);
  if (run1 == kRunEOL) {
    endedAtEOL = true;
    return frOk;
  }
  const int32_t a1 = int32_t(std::min<int64_t>(int64_t(std::max(a0, 0)) + run1, line.width));
  line.Push(a1);
  const int run2 = DecodeRun(r, t, color ^ 1);
  if (run2 == kRunDataEnd) return line.Stop(a1, color ^ 1, frEndOfData);
  if (run2 == kRunEOL) {
    endedAtEOL = true;
    return frOk;
  }
  a0 = int32_t(std::min<int64_t>(int64_t(a1) + run2, line.width));
  line.Push(a0);
  return frOk;
}

TFaxResult Decode2D(TFaxBitReader& r, const TFaxDecodeTables& t, const int32_t* ref, TLine& line,
                    bool& endedAtEOL) {
  static constexpr int kOffset[] = {0, 0, 0, 1, 2, 3, -1, -2, -3};  // by TFaxMode
  const int32_t width = line.width;
  int32_t a0 = -1;  // before the first pixel
  int color = 0;
  size_t bi = 0;
  while (a0 < width) {
    if (r.Overrun()) return line.Stop(a0, color, frEndOfData);
    // b1: the first changing element right of a0 whose colour is not a0's;
    // b2: the one after it. Ends of the reference row are the width.
    while (bi > 0 && ref[bi - 1] > a0) --bi;
    while (ref[bi] <= a0) ++bi;
    if (int(bi & 1) != color) ++bi;
    const int32_t b1 = ref[bi], b2 = ref[bi + 1];
    const uint8_t e = t.mode[r.Peek(kFaxModeBits)];
    const int mode = e >> 3;
    switch (mode) {
      case fmPass:
        r.Skip(4);
        a0 = b2;
        break;
      case fmHorizontal: {
        r.Skip(3);
        const TFaxResult res = DecodeHorizontal(r, t, line, a0, color, endedAtEOL);
        if (res != frOk || endedAtEOL) return res;
        break;
      }
      case fmExtension: {
        if ((r.Peek(10) & 7) != 7) return line.Stop(a0, color, frBadCode);  // only uncompressed mode is defined
        r.Skip(10);
        int32_t a = std::max(a0, 0);
        const TFaxResult res = DecodeUncompressed(r, line, a, color);
        if (res != frOk) return res;
        a0 = a;
        break;
      }
      case fmZeros: {
        const int z = r.LeadingZeros();
        if (z < 11) return line.Stop(a0, color, frBadCode);
        if (r.BitsLeft() <= z) return line.Stop(a0, color, frEndOfData);
        endedAtEOL = true;
        return frOk;
      }
      default: {  // vertical modes: a1 = b1 + offset, never left of a0 nor past the row
        r.Skip(e & 7);
        const int32_t a1 = int32_t(std::clamp<int64_t>(int64_t(b1) + kOffset[mode], std::max(a0, 0), width));
        line.Push(a1);
        a0 = a1;
        color ^= 1;
        break;
      }
    }
  }
  return frOk;
}

// The codes before a row, then the row. eolTaken says the previous row ended at
// an EOL already taken; it is set again when this row ends at one.
TFaxResult DecodeOneRow(TFaxBitReader& r, TFaxScheme scheme, const int32_t* ref, TLine& line,
                        bool& eolTaken) {
  const TFaxDecodeTables& t = FaxDecodeTables();
  bool eol = eolTaken;
  eolTaken = false;
  if (scheme == fxG4 && (eol || AtEOL(r))) return frEndOfData;  // EOFB
  bool twoD = scheme == fxG4;
  if (scheme != fxG4) {
    if (!eol && AtEOL(r)) {
      if (!TakeEOL(r)) return frEndOfData;
      eol = true;
    }
    if (eol && AtEOL(r)) return frEndOfData;  // RTC, EOFB
    if (scheme == fxG3_2D) {
      twoD = true;  // a row without its EOL is taken as two-dimensional
      if (eol) {
        if (r.BitsLeft() < 1) return frEndOfData;
        twoD = r.Peek(1) == 0;
        r.Skip(1);
        if (AtEOL(r)) return frEndOfData;  // RTC
      }
    }
  }
  bool endedAtEOL = false;
  const TFaxResult res = twoD ? Decode2D(r, t, ref, line, endedAtEOL) : Decode1D(r, t, line, endedAtEOL);
  if (endedAtEOL && TakeEOL(r)) eolTaken = true;
  return res;
}

int64_t ClampPosition(int64_t pos, int64_t dataSize) { return std::clamp<int64_t>(pos, 0, dataSize * 8); }

}  // namespace

// ---- strips ----

TFaxDecoder::TFaxDecoder(int32_t width, TFaxScheme scheme, bool lsbFirst)
    : width_(std::max(width, 0)), scheme_(scheme), lsbFirst_(lsbFirst) {
  Start(nullptr, 0);
}

void TFaxDecoder::Start(const uint8_t* data, int64_t size) {
  bits_ = TFaxBitReader(data, data && size > 0 ? size_t(size) : 0, lsbFirst_);
  ref_.assign(3, width_);
  eolTaken_ = false;
  last_ = frOk;
}

TFaxResult TFaxDecoder::DecodeRow(uint8_t* row) {
  TLine line{cur_, width_};
  TFaxResult res = frBadCode;
  if (!(last_ == frBadCode && scheme_ == fxG4)) {
    if (last_ == frBadCode) SeekEOL(bits_);
    if (scheme_ == fxMHAligned) bits_.AlignToByte();
    res = DecodeOneRow(bits_, scheme_, ref_.data(), line, eolTaken_);
  }
  const int n = line.Close();
  if (width_ > 0) FaxPaintRow(cur_.data(), n, width_, row);
  if (scheme_ == fxG3_2D || scheme_ == fxG4) std::swap(ref_, cur_);
  last_ = res;
  return res;
}

// ---- single rows ----

int64_t FaxDecodeMH(uint8_t* row, const uint8_t* data, int64_t dataSize, int32_t width, int fillOrder,
                    int64_t bitPos, TFaxResult* result) {
  dataSize = data ? std::max<int64_t>(dataSize, 0) : 0;
  TFaxBitReader r(data, size_t(dataSize), fillOrder == 2, std::max<int64_t>(bitPos, 0));
  std::vector<int32_t> cur;
  TLine line{cur, std::max(width, 0)};
  bool eolTaken = false;
  const TFaxResult res = DecodeOneRow(r, fxMH, nullptr, line, eolTaken);
  const int n = line.Close();
  if (width > 0 && row) FaxPaintRow(cur.data(), n, width, row);
  if (result) *result = res;
  return ClampPosition(r.Position(), dataSize);
}

int64_t FaxDecodeMHAligned(uint8_t* row, const uint8_t* data, int64_t dataSize, int32_t width,
                           int fillOrder, TFaxResult* result) {
  dataSize = data ? std::max<int64_t>(dataSize, 0) : 0;
  const int64_t end = FaxDecodeMH(row, data, dataSize, width, fillOrder, 0, result);
  return (end + 7) / 8;
}

int64_t FaxDecode2D(uint8_t* row, const uint8_t* data, int64_t dataSize, bool /*fillBits*/, int fillOrder,
                    int64_t bitPos, uint8_t* referenceRow, int32_t width, TFaxResult* result) {
  dataSize = data ? std::max<int64_t>(dataSize, 0) : 0;
  width = std::max(width, 0);
  TFaxBitReader r(data, size_t(dataSize), fillOrder == 2, std::max<int64_t>(bitPos, 0));
  std::vector<int32_t> ref, cur;
  if (referenceRow && width > 0) {
    FaxRowToChanges(referenceRow, width, 0, ref);
  } else {
    ref.assign(3, width);
  }
  TLine line{cur, width};
  bool eolTaken = false;
  const TFaxResult res = DecodeOneRow(r, fxG3_2D, ref.data(), line, eolTaken);
  const int n = line.Close();
  if (width > 0 && row) {
    FaxPaintRow(cur.data(), n, width, row);
    if (referenceRow) std::memcpy(referenceRow, row, (size_t(width) + 7) / 8);
  }
  if (result) *result = res;
  return ClampPosition(r.Position(), dataSize);
}
