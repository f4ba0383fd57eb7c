#include "codecs/common/lzw.h"

TLZWDecoder::TLZWDecoder(const TLZWFlavour& flavour)
    : flavour_(flavour),
      clear_(1 << flavour.LiteralBits),
      first_(clear_ + 2),
      literalLimit_(std::min(clear_, 256)) {
  next_ = first_;
  width_ = flavour.LiteralBits + 1;
  // Outside 1..11 the clear and end codes would not fit the 12-bit table.
  if (flavour.LiteralBits < 1 || flavour.LiteralBits > 11) final_ = lzBadCode;
}

void TLZWDecoder::Rebase(size_t delta) {
  for (int code = first_; code < next_; ++code) offset_[code] -= uint32_t(delta);
  if (old_ >= 0) oldPos_ -= delta;
  clearPos_ -= delta;
  fullAt_ = fullAt_ > delta ? fullAt_ - delta : 0;
}
