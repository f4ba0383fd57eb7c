#pragma once
// ITU-T T.4 code tables, the bit reader and writer of the fax coders, and the
// changing-element form of bilevel rows both directions work with.
//
// A row in changing-element form is the list of positions where the colour
// changes, left to right, starting white: pixels from c[0] to c[1] are black,
// from c[1] to c[2] white, and so on; an odd count means black to the end.
// Positions are strictly increasing and below the width, and the list is
// followed by three copies of the width so that searches always stop.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "codecs/common/bitload.h"

enum TFaxScheme : uint8_t {
  fxMH,          // one-dimensional rows one after the other (EOLs before rows are skipped)
  fxMHAligned,   // TIFF Compression 2: every row starts on a byte boundary
  fxG3_1D,       // Group 3 one-dimensional: an EOL before every row
  fxG3_2D,       // Group 3 two-dimensional: an EOL and a tag bit before every row
  fxG4,          // Group 4: every row against the one above, EOFB at the end
};

enum TFaxResult : uint8_t {
  frOk,         // the row was decoded
  frEndOfData,  // the data (or the page, at RTC or EOFB) ended first; the row holds what was decoded
  frBadCode,    // a code that fits nowhere; the row holds what was decoded before it
};

// One code: its bits, right-aligned, and their count.
struct TFaxCode {
  uint16_t bits;
  uint8_t length;
};

// Run-length codes of one colour: terminating (0..63), make-up (64..1728 in
// steps of 64) and the extended make-up codes both colours share (1792..2560).
struct TFaxRunCodes {
  TFaxCode terminating[64];
  TFaxCode makeup[27];
};
extern const TFaxRunCodes kFaxWhiteCodes;
extern const TFaxRunCodes kFaxBlackCodes;
extern const TFaxCode kFaxExtendedMakeup[13];

inline constexpr TFaxCode kFaxEOL = {0x001, 12};

// The two-dimensional mode codes.
enum TFaxMode : uint8_t { fmPass, fmHorizontal, fmV0, fmVR1, fmVR2, fmVR3, fmVL1, fmVL2, fmVL3, fmExtension, fmZeros };
extern const TFaxCode kFaxModeCodes[10];  // fmPass .. fmExtension (the extension's first 7 bits)

// Decoding tables, built once on first use: the next 12 (white) or 13 (black)
// bits index an entry of (run << 4) | code length; length 0 means no code
// starts there (a run of zeros: an EOL, fill, or garbage); kFaxEOLRun marks EOL.
inline constexpr int kFaxWhiteBits = 12;
inline constexpr int kFaxBlackBits = 13;
inline constexpr int kFaxModeBits = 7;
inline constexpr uint16_t kFaxEOLRun = 0xFFF;
struct TFaxDecodeTables {
  uint16_t white[1 << kFaxWhiteBits];
  uint16_t black[1 << kFaxBlackBits];
  uint8_t mode[1 << kFaxModeBits];  // (mode << 3) | length; length 0 for fmZeros
};
const TFaxDecodeTables& FaxDecodeTables();

// Bits most significant first from data[0, size); FillOrder 2 data has the bits
// of every byte reversed. Past the data the reader sees 0 bits, and Overrun()
// tells that it went there.
class TFaxBitReader {
public:
  TFaxBitReader(const uint8_t* data, size_t size, bool lsbFirst, int64_t bitPos = 0);
  // The next n bits (n <= 32) in the low bits of the result, without taking them.
  uint32_t Peek(int n) {
    if (count_ < n) Refill();
    return uint32_t(buf_ >> (64 - n));
  }
  void Skip(int n) {
    buf_ <<= n;
    count_ -= n;
  }
  // Zero bits before the next 1 bit, counting at most 32.
  int LeadingZeros() {
    if (count_ < 32) Refill();
    const uint64_t top = buf_ | (uint64_t(1) << 31);  // stop after 32 zeros
    return __builtin_clzll(top);
  }
  int64_t Position() const { return int64_t(next_) * 8 - count_; }
  int64_t BitsLeft() const { return int64_t(size_) * 8 - Position(); }  // negative after an overrun
  bool Overrun() const { return Position() > int64_t(size_) * 8; }
  void AlignToByte() { Skip(int(Position() & 7) ? 8 - int(Position() & 7) : 0); }
  void SkipTo(int64_t bitPos);

private:
  void Refill();
  const uint8_t* data_;
  size_t size_;
  bool lsbFirst_;
  size_t next_ = 0;  // next byte to load; may pass size_ (loads 0 there)
  uint64_t buf_ = 0;  // left-aligned
  int count_ = 0;
};

// Bits most significant first into a growing byte buffer.
class TFaxBitWriter {
public:
  void Put(uint32_t bits, int n) {
    acc_ = (acc_ << n) | bits;
    count_ += n;
    if (count_ >= 32) {
      count_ -= 32;
      if (bytes_.size() < used_ + 4) bytes_.resize(bytes_.size() * 2 + 64);
      StoreBE32(bytes_.data() + used_, uint32_t(acc_ >> count_));
      used_ += 4;
    }
  }
  void Put(TFaxCode c) { Put(c.bits, c.length); }
  // Pads with 0 bits to the next byte boundary.
  void Align() {
    if (count_ & 7) Put(0, 8 - (count_ & 7));
  }
  // Bytes ready to go; the last up to 31 bits wait in the accumulator.
  const uint8_t* Data() const { return bytes_.data(); }
  size_t Size() const { return used_; }
  void Drop() { used_ = 0; }
  // Pads to a byte and makes every bit ready.
  void Finish();

private:
  std::vector<uint8_t> bytes_;
  size_t used_ = 0;
  uint64_t acc_ = 0;
  int count_ = 0;
};

// Changing elements of a bilevel row of width pixels, 1 bit per pixel, most
// significant bit leftmost; blackBit is the bit value of black (1 for encoder
// input, 0 for decoded rows). changes receives the positions and the three
// closing widths; returns the count of positions.
int FaxRowToChanges(const uint8_t* row, int32_t width, int blackBit, std::vector<int32_t>& changes);

// Paints the row from its changing elements: 1 bits for white, 0 for black
// (the decoded polarity), every bit of the ceil(width / 8) bytes written.
void FaxPaintRow(const int32_t* changes, int count, int32_t width, uint8_t* row);
