#include "codecs/common/lzw.h"

TLZWDecoder::TLZWDecoder(const TLZWFlavour& flavour)
    : flavour_(flavour),
      clear_(1 << flavour.LiteralBits),
      end_(clear_ + 1),
      first_(clear_ + 2),
      literalLimit_(std::min(clear_, 256)) {
  for (int code = 0; code < kLZWTableSize; ++code) {
    table_[code] = TEntry{0, 1, uint8_t(code), uint8_t(code)};
  }
  Restart();
  // Outside 1..11 the clear and end codes would not fit the 12-bit table.
  if (flavour.LiteralBits < 1 || flavour.LiteralBits > 11) final_ = lzBadCode;
}

void TLZWDecoder::Split(int code, uint8_t* out, size_t pos, size_t size) {
  WriteString(code, pending_.data());
  const size_t n = size - pos;
  std::memcpy(out + pos, pending_.data(), n);
  pendingPos_ = n;
  pendingEnd_ = table_[code].length;
}
