#pragma once
// The LZW string tables the GIF and TIFF coders share. Bit packing is not here:
// GIF packs codes least significant bit first into sub-blocks, TIFF most
// significant bit first into strips; each format brings its own bit reader
// (Next(width, code) -> false when the data cannot hold another code) and its
// own code sink (Put(code, width)), and these templates run the tables.
//
// Flavours differ only in the literal alphabet, the moment the code width grows
// and the code at which the encoder starts over:
//   GIF:  literals 2^m (m = minimum code size), width grows when the next free
//         code reaches 2^width, the encoder clears instead of defining 4095;
//   TIFF: 256 literals, width grows one code early (at 2^width - 1), the encoder
//         clears instead of defining 4093.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

inline constexpr int kLZWMaxBits = 12;
inline constexpr int kLZWTableSize = 1 << kLZWMaxBits;  // codes 0..4095

struct TLZWFlavour {
  int LiteralBits = 8;       // 1..11; codes below 2^LiteralBits stand for themselves
  bool EarlyChange = false;  // the width grows at 2^width - 1 instead of 2^width
  int ClearAt = 4095;        // the encoder writes a clear code instead of defining this code;
                             // 4096 or more: it never clears and stops defining codes when full
};

inline constexpr TLZWFlavour LZWGIFFlavour(int minCodeSize) { return {minCodeSize, false, 4095}; }
inline constexpr TLZWFlavour LZWTIFFFlavour() { return {8, true, 4093}; }

enum TLZWStatus : uint8_t {
  lzFull,      // the output is full; decoding can go on with the next call
  lzEnd,       // an end-of-information code
  lzDataEnd,   // the data ran out before an end code
  lzBadCode,   // a code that names no string: past the table, the free code right after a clear,
               // or a literal that is not a byte
};

// Decoder string table. Every string is somewhere in the output already: a
// new code is the previous string plus the first byte of the one after it, and
// those lie side by side. So the table keeps (offset, length) into the output
// and decoding a code is one copy from earlier output, with nothing allocated
// and no chain of prefixes to walk.
//
// The caller owns the output buffer (a window): Decode writes whole strings
// from pos on until pos reaches limit; a string that crosses limit is written
// whole when the buffer has room for it (cap), else cut at cap, which ends the
// decoding. Give cap >= limit + kLZWStringSlack to never cut. Bytes from
// LiveFrom() on (and, once the table is full, only those up to FullAt()) are
// what later codes copy from; a caller that moves its window down calls Rebase.
inline constexpr size_t kLZWStringSlack = kLZWTableSize + 16;

class TLZWDecoder {
public:
  explicit TLZWDecoder(const TLZWFlavour& flavour);

  // limit <= cap. Once the end code, the end of the data or a bad code is met,
  // every later call returns it.
  template <class TBits>
  TLZWStatus Decode(TBits& bits, uint8_t* buf, size_t& pos, size_t limit, size_t cap);

  size_t LiveFrom() const { return clearPos_; }
  bool Full() const { return next_ >= kLZWTableSize; }
  size_t FullAt() const { return fullAt_; }
  // The window's bytes moved down by delta (delta <= LiveFrom()).
  void Rebase(size_t delta);
  int CodeWidth() const { return width_; }

private:
  // Copies length bytes from buf + from to buf + to (from + length <= to), 16
  // at a time when the buffer has room past the string.
  static void Copy(uint8_t* buf, size_t from, size_t to, size_t length, size_t cap) {
    if (to + length + 16 <= cap) {
      const uint8_t* s = buf + from;
      uint8_t* d = buf + to;
      for (;;) {
        uint8_t chunk[16];
        std::memcpy(chunk, s, 16);  // loaded before stored: overlap past the string is harmless
        std::memcpy(d, chunk, 16);
        if (length <= 16) break;
        length -= 16;
        s += 16;
        d += 16;
      }
    } else {
      for (size_t i = 0; i < length; ++i) buf[to + i] = buf[from + i];
    }
  }

  TLZWFlavour flavour_;
  int clear_, first_, literalLimit_;
  int next_ = 0, width_ = 0, old_ = -1;
  size_t oldPos_ = 0, oldLength_ = 0;  // where the previous code's string went
  size_t clearPos_ = 0, fullAt_ = 0;
  TLZWStatus final_ = lzFull;  // lzFull while decoding can go on
  std::array<uint32_t, kLZWTableSize> offset_{};
  std::array<uint16_t, kLZWTableSize> length_{};
};

// Encoder string table: the open-addressing hash of 5003 slots, keyed by
// (byte << 12) + prefix code.
class TLZWHashTable {
public:
  static constexpr int kSlots = 5003;
  TLZWHashTable() { Clear(); }
  void Clear() { keys_.fill(-1); }
  // The code of (prefix, byte), or -1; a miss leaves the free slot for Insert.
  int Find(int prefix, uint8_t byte) {
    const int32_t key = (int32_t(byte) << 12) + prefix;
    int i = prefix ^ (int(byte) << 4);
    const int step = i == 0 ? 1 : kSlots - i;
    while (keys_[i] != -1) {
      if (keys_[i] == key) return codes_[i];
      i -= step;
      if (i < 0) i += kSlots;
    }
    slot_ = i;
    key_ = key;
    return -1;
  }
  void Insert(int code) {
    keys_[slot_] = key_;
    codes_[slot_] = uint16_t(code);
  }

private:
  std::array<int32_t, kSlots> keys_;
  std::array<uint16_t, kSlots> codes_{};
  int slot_ = 0;
  int32_t key_ = 0;
};

// Encoder: Start writes the clear code, Encode takes bytes (continuing the
// current string across calls), Finish writes the last string and the end code.
// Bytes are masked to the literal alphabet so the stream always stays valid.
template <class TSink>
class TLZWEncoder {
public:
  TLZWEncoder(const TLZWFlavour& flavour, TSink& sink)
      : flavour_(flavour), sink_(sink), clear_(1 << flavour.LiteralBits), first_(clear_ + 2),
        mask_(flavour.LiteralBits >= 8 ? 0xFF : (1u << flavour.LiteralBits) - 1) {}

  void Start() {
    Restart();
    sink_.Put(uint32_t(clear_), width_);
  }
  void Encode(const uint8_t* data, size_t count);
  void Finish() {
    if (prefix_ >= 0) Emit(prefix_);
    prefix_ = -1;
    sink_.Put(uint32_t(clear_ + 1), width_);
  }

private:
  void Restart() {
    table_.Clear();
    nextFree_ = first_;
    decoderNext_ = first_;
    width_ = flavour_.LiteralBits + 1;
    fresh_ = true;
  }
  // Writes a string code and follows the decoder's table: it defines an entry
  // for every code but the first after a clear, and widens its codes then.
  void Emit(int code) {
    sink_.Put(uint32_t(code), width_);
    if (fresh_) {
      fresh_ = false;
    } else if (decoderNext_ < kLZWTableSize) {
      ++decoderNext_;
    }
    if (width_ < kLZWMaxBits && decoderNext_ >= (1 << width_) - int(flavour_.EarlyChange)) ++width_;
  }

  TLZWFlavour flavour_;
  TSink& sink_;
  TLZWHashTable table_;
  int clear_, first_;
  uint32_t mask_;
  int nextFree_ = 0, decoderNext_ = 0, width_ = 0;
  int prefix_ = -1;
  bool fresh_ = true;
};

// ---- template bodies ----

template <class TSink>
void TLZWEncoder<TSink>::Encode(const uint8_t* data, size_t count) {
  size_t i = 0;
  if (prefix_ < 0 && count > 0) prefix_ = int(data[i++] & mask_);
  int prefix = prefix_;
  for (; i < count; ++i) {
    const uint8_t byte = uint8_t(data[i] & mask_);
    const int code = table_.Find(prefix, byte);
    if (code >= 0) {
      prefix = code;
      continue;
    }
    Emit(prefix);
    if (nextFree_ < flavour_.ClearAt && nextFree_ < kLZWTableSize) {
      table_.Insert(nextFree_++);
    } else if (flavour_.ClearAt < kLZWTableSize) {
      sink_.Put(uint32_t(clear_), width_);
      Restart();
    }  // else the table stays full until the end, as decoders keep it without a clear code
    prefix = byte;
  }
  prefix_ = prefix;
}

template <class TBits>
TLZWStatus TLZWDecoder::Decode(TBits& bits, uint8_t* buf, size_t& posRef, size_t limit, size_t cap) {
  if (final_ != lzFull) return final_;
  size_t pos = posRef;
  if (pos >= limit) return lzFull;
  int next = next_, width = width_, old = old_;
  size_t oldPos = oldPos_, oldLength = oldLength_;
  const int clear = clear_, first = first_, literalLimit = literalLimit_;
  const int early = int(flavour_.EarlyChange);
  int widthLimit = (1 << width) - early;
  TLZWStatus status = lzFull;
  for (;;) {
    uint32_t c;
    if (!bits.Next(width, c)) {
      status = lzDataEnd;
      break;
    }
    const int code = int(c);
    size_t length;
    if (code < literalLimit) {
      buf[pos] = uint8_t(code);  // pos < limit <= cap
      length = 1;
    } else if (code >= first && code < next) {
      length = length_[code];
      if (pos + length > cap) {  // cut at the end of the buffer: the last string
        Copy(buf, offset_[code], pos, cap - pos, cap);
        pos = cap;
        break;
      }
      Copy(buf, offset_[code], pos, length, cap);
    } else if (code == clear) {
      next = first;
      width = flavour_.LiteralBits + 1;
      widthLimit = (1 << width) - early;
      old = -1;
      clearPos_ = pos;
      continue;
    } else if (code == clear + 1) {
      status = lzEnd;
      break;
    } else if (code == next && old >= 0 && next < kLZWTableSize) {
      // The string about to be defined: the last one and its own first byte.
      length = oldLength + 1;
      const size_t fits = std::min(length, cap - pos);
      Copy(buf, oldPos, pos, std::min(oldLength, fits), cap);
      if (fits == length) buf[pos + oldLength] = buf[oldPos];
      if (fits < length) {
        pos = cap;
        break;
      }
    } else {
      status = lzBadCode;
      break;
    }
    if (old >= 0 && next < kLZWTableSize) {
      offset_[next] = uint32_t(oldPos);
      length_[next] = uint16_t(oldLength + 1);
      if (++next == kLZWTableSize) fullAt_ = pos + length;
    }
    if (next >= widthLimit && width < kLZWMaxBits) {
      ++width;
      widthLimit = (1 << width) - early;
    }
    old = code;
    oldPos = pos;
    oldLength = length;
    pos += length;
    if (pos >= limit) break;
  }
  next_ = next;
  width_ = width;
  old_ = old;
  oldPos_ = oldPos;
  oldLength_ = oldLength;
  if (status != lzFull) final_ = status;
  posRef = pos;
  return status;
}
