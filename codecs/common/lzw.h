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

// Decoder string table: every code is (prefix code, last byte), strings are
// written backwards from their end, so nothing is allocated per code. A string
// cut by the end of the output is kept and handed out first by the next call.
class TLZWDecoder {
public:
  explicit TLZWDecoder(const TLZWFlavour& flavour);

  // Decodes into out[0, size); written receives the bytes stored. Once the end
  // code, the end of the data or a bad code is met, every later call returns it.
  template <class TBits>
  TLZWStatus Decode(TBits& bits, uint8_t* out, size_t size, size_t& written);

  int CodeWidth() const { return width_; }
  int NextCode() const { return next_; }

private:
  struct TEntry {
    uint16_t prefix;  // code of the string without its last byte
    uint16_t length;
    uint8_t last;
    uint8_t first;
  };

  void Restart() {
    next_ = first_;
    width_ = flavour_.LiteralBits + 1;
    old_ = -1;
  }
  // Stores the string of code into dst[0, length) backwards.
  void WriteString(int code, uint8_t* dst) const {
    uint8_t* q = dst + table_[code].length - 1;
    while (code >= first_) {
      *q-- = table_[code].last;
      code = table_[code].prefix;
    }
    *q = uint8_t(code);
  }
  // Stores what fits of the string of code at out + pos; the rest waits in pending_.
  void Split(int code, uint8_t* out, size_t pos, size_t size);

  TLZWFlavour flavour_;
  int clear_, end_, first_, literalLimit_;
  int next_ = 0, width_ = 0, old_ = -1;
  TLZWStatus final_ = lzFull;  // lzFull while decoding can go on
  std::array<TEntry, kLZWTableSize> table_;
  std::array<uint8_t, kLZWTableSize> pending_;
  size_t pendingPos_ = 0, pendingEnd_ = 0;
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
TLZWStatus TLZWDecoder::Decode(TBits& bits, uint8_t* out, size_t size, size_t& written) {
  size_t pos = 0;
  if (pendingPos_ < pendingEnd_) {
    const size_t n = std::min(size, pendingEnd_ - pendingPos_);
    std::memcpy(out, pending_.data() + pendingPos_, n);
    pendingPos_ += n;
    pos = n;
  }
  written = pos;
  if (pos == size) return lzFull;
  if (final_ != lzFull) return final_;
  TLZWStatus status = lzFull;
  int next = next_, width = width_, old = old_;
  const int clear = clear_, first = first_, literalLimit = literalLimit_;
  const int early = int(flavour_.EarlyChange);
  int widthLimit = (1 << width) - early;
  for (;;) {
    uint32_t c;
    if (!bits.Next(width, c)) {
      status = lzDataEnd;
      break;
    }
    const int code = int(c);
    int length;
    bool kwkwk = false;
    if (code < next && code >= first) {
      if (old < 0) {  // cannot happen: next == first right after a clear
        status = lzBadCode;
        break;
      }
      length = table_[code].length;
    } else if (code < literalLimit) {
      length = 1;
    } else if (code == clear) {
      next = first;
      width = flavour_.LiteralBits + 1;
      widthLimit = (1 << width) - early;
      old = -1;
      continue;
    } else if (code == clear + 1) {
      status = lzEnd;
      break;
    } else if (code == next && old >= 0 && next < kLZWTableSize) {
      length = table_[old].length + 1;
      kwkwk = true;
    } else {
      status = lzBadCode;
      break;
    }
    if (old >= 0 && next < kLZWTableSize) {
      // The new entry is the old string plus the first byte of this one.
      TEntry& e = table_[next];
      e.prefix = uint16_t(old);
      e.length = uint16_t(table_[old].length + 1);
      e.first = table_[old].first;
      e.last = kwkwk ? table_[old].first : (code < first ? uint8_t(code) : table_[code].first);
      ++next;
    }
    if (next >= widthLimit && width < kLZWMaxBits) {
      ++width;
      widthLimit = (1 << width) - early;
    }
    old = code;
    if (size - pos >= size_t(length)) {
      if (length == 1) {
        out[pos] = uint8_t(code);
      } else {
        WriteString(code, out + pos);  // for the free code the entry was just defined
      }
      pos += size_t(length);
      if (pos == size) {
        status = lzFull;
        break;
      }
    } else {
      Split(code, out, pos, size);
      pos = size;
      status = lzFull;
      break;
    }
  }
  next_ = next;
  width_ = width;
  old_ = old;
  if (status != lzFull) final_ = status;
  written = pos;
  return status;
}
