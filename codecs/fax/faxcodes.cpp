#include "codecs/fax/faxcodes.h"

#include <cstring>
#include <memory>

const TFaxRunCodes kFaxWhiteCodes = {
    {
        {0b00110101, 8}, {0b000111, 6},   {0b0111, 4},     {0b1000, 4},     {0b1011, 4},
        {0b1100, 4},     {0b1110, 4},     {0b1111, 4},     {0b10011, 5},    {0b10100, 5},
        {0b00111, 5},    {0b01000, 5},    {0b001000, 6},   {0b000011, 6},   {0b110100, 6},
        {0b110101, 6},   {0b101010, 6},   {0b101011, 6},   {0b0100111, 7},  {0b0001100, 7},
        {0b0001000, 7},  {0b0010111, 7},  {0b0000011, 7},  {0b0000100, 7},  {0b0101000, 7},
        {0b0101011, 7},  {0b0010011, 7},  {0b0100100, 7},  {0b0011000, 7},  {0b00000010, 8},
        {0b00000011, 8}, {0b00011010, 8}, {0b00011011, 8}, {0b00010010, 8}, {0b00010011, 8},
        {0b00010100, 8}, {0b00010101, 8}, {0b00010110, 8}, {0b00010111, 8}, {0b00101000, 8},
        {0b00101001, 8}, {0b00101010, 8}, {0b00101011, 8}, {0b00101100, 8}, {0b00101101, 8},
        {0b00000100, 8}, {0b00000101, 8}, {0b00001010, 8}, {0b00001011, 8}, {0b01010010, 8},
        {0b01010011, 8}, {0b01010100, 8}, {0b01010101, 8}, {0b00100100, 8}, {0b00100101, 8},
        {0b01011000, 8}, {0b01011001, 8}, {0b01011010, 8}, {0b01011011, 8}, {0b01001010, 8},
        {0b01001011, 8}, {0b00110010, 8}, {0b00110011, 8}, {0b00110100, 8},
    },
    {
        {0b11011, 5},     {0b10010, 5},     {0b010111, 6},    {0b0110111, 7},   {0b00110110, 8},
        {0b00110111, 8},  {0b01100100, 8},  {0b01100101, 8},  {0b01101000, 8},  {0b01100111, 8},
        {0b011001100, 9}, {0b011001101, 9}, {0b011010010, 9}, {0b011010011, 9}, {0b011010100, 9},
        {0b011010101, 9}, {0b011010110, 9}, {0b011010111, 9}, {0b011011000, 9}, {0b011011001, 9},
        {0b011011010, 9}, {0b011011011, 9}, {0b010011000, 9}, {0b010011001, 9}, {0b010011010, 9},
        {0b011000, 6},    {0b010011011, 9},
    },
};

const TFaxRunCodes kFaxBlackCodes = {
    {
        {0b0000110111, 10},   {0b010, 3},           {0b11, 2},            {0b10, 2},
        {0b011, 3},           {0b0011, 4},          {0b0010, 4},          {0b00011, 5},
        {0b000101, 6},        {0b000100, 6},        {0b0000100, 7},       {0b0000101, 7},
        {0b0000111, 7},       {0b00000100, 8},      {0b00000111, 8},      {0b000011000, 9},
        {0b0000010111, 10},   {0b0000011000, 10},   {0b0000001000, 10},   {0b00001100111, 11},
        {0b00001101000, 11},  {0b00001101100, 11},  {0b00000110111, 11},  {0b00000101000, 11},
        {0b00000010111, 11},  {0b00000011000, 11},  {0b000011001010, 12}, {0b000011001011, 12},
        {0b000011001100, 12}, {0b000011001101, 12}, {0b000001101000, 12}, {0b000001101001, 12},
        {0b000001101010, 12}, {0b000001101011, 12}, {0b000011010010, 12}, {0b000011010011, 12},
        {0b000011010100, 12}, {0b000011010101, 12}, {0b000011010110, 12}, {0b000011010111, 12},
        {0b000001101100, 12}, {0b000001101101, 12}, {0b000011011010, 12}, {0b000011011011, 12},
        {0b000001010100, 12}, {0b000001010101, 12}, {0b000001010110, 12}, {0b000001010111, 12},
        {0b000001100100, 12}, {0b000001100101, 12}, {0b000001010010, 12}, {0b000001010011, 12},
        {0b000000100100, 12}, {0b000000110111, 12}, {0b000000111000, 12}, {0b000000100111, 12},
        {0b000000101000, 12}, {0b000001011000, 12}, {0b000001011001, 12}, {0b000000101011, 12},
        {0b000000101100, 12}, {0b000001011010, 12}, {0b000001100110, 12}, {0b000001100111, 12},
    },
    {
        {0b0000001111, 10},    {0b000011001000, 12},  {0b000011001001, 12},  {0b000001011011, 12},
        {0b000000110011, 12},  {0b000000110100, 12},  {0b000000110101, 12},  {0b0000001101100, 13},
        {0b0000001101101, 13}, {0b0000001001010, 13}, {0b0000001001011, 13}, {0b0000001001100, 13},
        {0b0000001001101, 13}, {0b0000001110010, 13}, {0b0000001110011, 13}, {0b0000001110100, 13},
        {0b0000001110101, 13}, {0b0000001110110, 13}, {0b0000001110111, 13}, {0b0000001010010, 13},
        {0b0000001010011, 13}, {0b0000001010100, 13}, {0b0000001010101, 13}, {0b0000001011010, 13},
        {0b0000001011011, 13}, {0b0000001100100, 13}, {0b0000001100101, 13},
    },
};

const TFaxCode kFaxExtendedMakeup[13] = {
    {0b00000001000, 11},  {0b00000001100, 11},  {0b00000001101, 11},  {0b000000010010, 12},
    {0b000000010011, 12}, {0b000000010100, 12}, {0b000000010101, 12}, {0b000000010110, 12},
    {0b000000010111, 12}, {0b000000011100, 12}, {0b000000011101, 12}, {0b000000011110, 12},
    {0b000000011111, 12},
};

const TFaxCode kFaxModeCodes[10] = {
    {0b0001, 4},     // pass
    {0b001, 3},      // horizontal
    {0b1, 1},        // V0
    {0b011, 3},      // VR1
    {0b000011, 6},   // VR2
    {0b0000011, 7},  // VR3
    {0b010, 3},      // VL1
    {0b000010, 6},   // VL2
    {0b0000010, 7},  // VL3
    {0b0000001, 7},  // extension (three more bits follow)
};

namespace {

// Every index whose leading bits are a code gets its entry.
void FillRunTable(uint16_t* table, size_t n, int tableBits, const TFaxRunCodes& codes) {
  std::memset(table, 0, n * sizeof(uint16_t));
  auto spread = [&](TFaxCode code, uint16_t run) {
    const int free = tableBits - code.length;
    const uint32_t base = uint32_t(code.bits) << free;
    for (uint32_t i = 0; i < (1u << free); ++i) table[base | i] = uint16_t((run << 4) | code.length);
  };
  for (int r = 0; r < 64; ++r) spread(codes.terminating[r], uint16_t(r));
  for (int k = 0; k < 27; ++k) spread(codes.makeup[k], uint16_t(64 * (k + 1)));
  for (int k = 0; k < 13; ++k) spread(kFaxExtendedMakeup[k], uint16_t(1792 + 64 * k));
  spread(kFaxEOL, kFaxEOLRun);
}

std::unique_ptr<TFaxDecodeTables> BuildTables() {
  auto t = std::make_unique<TFaxDecodeTables>();
  FillRunTable(t->white, std::size(t->white), kFaxWhiteBits, kFaxWhiteCodes);
  FillRunTable(t->black, std::size(t->black), kFaxBlackBits, kFaxBlackCodes);
  std::memset(t->mode, 0, sizeof t->mode);
  for (int m = fmPass; m <= fmExtension; ++m) {
    const TFaxCode c = kFaxModeCodes[m];
    const int free = kFaxModeBits - c.length;
    for (uint32_t i = 0; i < (1u << free); ++i) {
      t->mode[(uint32_t(c.bits) << free) | i] = uint8_t((m << 3) | c.length);
    }
  }
  t->mode[0] = uint8_t(fmZeros << 3);
  return t;
}

// The bits of every byte of v reversed.
uint64_t ReverseByteBits(uint64_t v) {
  v = ((v >> 1) & 0x5555555555555555ull) | ((v & 0x5555555555555555ull) << 1);
  v = ((v >> 2) & 0x3333333333333333ull) | ((v & 0x3333333333333333ull) << 2);
  return ((v >> 4) & 0x0F0F0F0F0F0F0F0Full) | ((v & 0x0F0F0F0F0F0F0F0Full) << 4);
}

}  // namespace

const TFaxDecodeTables& FaxDecodeTables() {
  static const std::unique_ptr<TFaxDecodeTables> tables = BuildTables();
  return *tables;
}

// ---- bit reader ----

TFaxBitReader::TFaxBitReader(const uint8_t* data, size_t size, bool lsbFirst, int64_t bitPos)
    : data_(data), size_(data ? size : 0), lsbFirst_(lsbFirst) {
  if (bitPos > 0) SkipTo(bitPos);
}

void TFaxBitReader::SkipTo(int64_t bitPos) {
  next_ = size_t(bitPos >> 3);
  buf_ = 0;
  count_ = 0;
  Refill();
  Skip(int(bitPos & 7));
}

void TFaxBitReader::Refill() {
  if (next_ + 8 <= size_) {
    uint64_t v = LoadBE64(data_ + next_);
    if (lsbFirst_) v = ReverseByteBits(v);
    // Bits below the valid ones are 0 or already the coming bits.
    buf_ |= v >> count_;
    const int take = (63 - count_) >> 3;
    next_ += size_t(take);
    count_ += take * 8;
    return;
  }
  while (count_ <= 56) {
    uint8_t b = next_ < size_ ? data_[next_] : 0;
    if (lsbFirst_) b = uint8_t(ReverseByteBits(b));
    buf_ |= uint64_t(b) << (56 - count_);
    count_ += 8;
    ++next_;
  }
}

// ---- bit writer ----

void TFaxBitWriter::Finish() {
  Align();
  while (count_ >= 8) {
    count_ -= 8;
    if (bytes_.size() < used_ + 1) bytes_.resize(bytes_.size() * 2 + 64);
    bytes_[used_++] = uint8_t(acc_ >> count_);
  }
  acc_ = 0;
}

// ---- changing elements ----

namespace {

// The first position from pos on whose bit differs from bit (0 or 1), or width.
int32_t NextChange(const uint8_t* row, int32_t width, int64_t pos, int bit) {
  const size_t rowBytes = (size_t(width) + 7) / 8;
  const uint64_t flip = bit ? ~uint64_t(0) : 0;
  while (pos < width) {
    const size_t byte = size_t(pos) >> 3;
    const int shift = pos & 7;
    uint64_t w;
    if (byte + 8 <= rowBytes) {
      w = LoadBE64(row + byte);
    } else {
      w = 0;
      for (size_t i = byte; i < rowBytes; ++i) w |= uint64_t(row[i]) << (56 - 8 * (i - byte));
    }
    // Bits of the other colour, among the 64 - shift valid ones.
    const uint64_t diff = (w ^ flip) << shift;
    if (diff) {
      const int64_t at = pos + __builtin_clzll(diff);
      return at < width ? int32_t(at) : width;
    }
    pos += 64 - shift;
  }
  return width;
}

}  // namespace

int FaxRowToChanges(const uint8_t* row, int32_t width, int blackBit, std::vector<int32_t>& changes) {
  int n = 0;
  int32_t pos = 0;
  int bit = 1 - blackBit;  // white first
  for (;;) {
    pos = NextChange(row, width, pos, bit);
    if (pos >= width) break;
    if (size_t(n) + 4 > changes.size()) changes.resize(changes.size() * 2 + 64);
    changes[size_t(n++)] = pos;
    bit ^= 1;
  }
  if (size_t(n) + 3 > changes.size()) changes.resize(size_t(n) + 3);
  changes[size_t(n)] = changes[size_t(n) + 1] = changes[size_t(n) + 2] = width;
  return n;
}

void FaxPaintRow(const int32_t* changes, int count, int32_t width, uint8_t* row) {
  const size_t rowBytes = (size_t(width) + 7) / 8;
  std::memset(row, 0xFF, rowBytes);
  for (int i = 0; i < count; i += 2) {
    const int32_t s = changes[i];
    const int32_t e = i + 1 < count ? changes[i + 1] : width;
    if (s >= e) continue;
    const size_t sb = size_t(s) >> 3, eb = size_t(e - 1) >> 3;
    const uint8_t head = uint8_t(0xFF >> (s & 7));
    const uint8_t tail = uint8_t(0xFF << (7 - ((e - 1) & 7)));
    if (sb == eb) {
      row[sb] &= uint8_t(~(head & tail));
    } else {
      row[sb] &= uint8_t(~head);
      std::memset(row + sb + 1, 0, eb - sb - 1);
      row[eb] &= uint8_t(~tail);
    }
  }
}
