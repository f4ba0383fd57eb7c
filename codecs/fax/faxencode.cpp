#include "codecs/fax/faxencode.h"

#include <algorithm>

#include "io/progress.h"
#include "platform/stream.h"

namespace {

constexpr size_t kFlushBytes = 32 * 1024;

}  // namespace

void TFaxEncoder::Prepare(int32_t width, TFaxScheme scheme) {
  width = std::max(width, 0);
  if (started_ && width == width_ && scheme == scheme_) return;
  width_ = width;
  scheme_ = scheme;
  started_ = true;
  rows_ = 0;
  bits_ = TFaxBitWriter();
  ref_.assign(3, width_);
}

void TFaxEncoder::PutRun(int color, int32_t run) {
  const TFaxRunCodes& codes = color ? kFaxBlackCodes : kFaxWhiteCodes;
  while (run > 2560) {
    bits_.Put(kFaxExtendedMakeup[12]);
    run -= 2560;
  }
  if (run >= 64) {
    const int m = run / 64;
    bits_.Put(m <= 27 ? codes.makeup[m - 1] : kFaxExtendedMakeup[m - 28]);
    run -= 64 * m;
  }
  bits_.Put(codes.terminating[run]);
}

// Runs alternate white, black, ... from the left edge; a row that starts
// black starts with a white run of 0.
void TFaxEncoder::Encode1D(int count) {
  int32_t a0 = 0;
  for (int i = 0; i <= count; ++i) {
    const int32_t next = cur_[size_t(i)];  // the closing width after the last change
    PutRun(i & 1, next - a0);
    a0 = next;
  }
}

void TFaxEncoder::Encode2D() {
  static constexpr uint8_t kVertical[7] = {fmVL3, fmVL2, fmVL1, fmV0, fmVR1, fmVR2, fmVR3};
  const int32_t* ref = ref_.data();
  const int32_t* cur = cur_.data();
  int32_t a0 = -1;
  int color = 0;
  size_t ai = 0, bi = 0;
  while (a0 < width_) {
    while (cur[ai] <= a0) ++ai;  // a1: the next change of this row
    // b1: the first change of the row above right of a0 to the other colour
    // (after a vertical mode left of b1 it may lie one change back); b2 the next.
    while (bi > 0 && ref[bi - 1] > a0) --bi;
    while (ref[bi] <= a0) ++bi;
    if (int(bi & 1) != color) ++bi;
    const int32_t a1 = cur[ai], b1 = ref[bi], b2 = ref[bi + 1];
    if (b2 < a1) {
      bits_.Put(kFaxModeCodes[fmPass]);
      a0 = b2;
    } else if (a1 - b1 >= -3 && a1 - b1 <= 3) {
      bits_.Put(kFaxModeCodes[kVertical[a1 - b1 + 3]]);
      a0 = a1;
      color ^= 1;
    } else {
      const int32_t a2 = cur[ai + 1];
      bits_.Put(kFaxModeCodes[fmHorizontal]);
      PutRun(color, a1 - std::max(a0, 0));
      PutRun(color ^ 1, a2 - a1);
      a0 = a2;
    }
  }
}

void TFaxEncoder::EncodeRow(const uint8_t* row, TStream& stream, TIOProgress& progress) {
  if (!started_) Prepare(width_, scheme_);
  const int count = FaxRowToChanges(row, width_, 1, cur_);
  switch (scheme_) {
    case fxMH:
      Encode1D(count);
      break;
    case fxMHAligned:
      Encode1D(count);
      bits_.Align();
      break;
    case fxG3_1D:
      bits_.Put(kFaxEOL);
      Encode1D(count);
      break;
    case fxG3_2D:
      bits_.Put(kFaxEOL.bits << 1 | (rows_ == 0 ? 1 : 0), kFaxEOL.length + 1);
      if (rows_ == 0) {
        Encode1D(count);
      } else {
        Encode2D();
      }
      break;
    case fxG4:
      Encode2D();
      break;
  }
  std::swap(ref_, cur_);
  ++rows_;
  if (bits_.Size() >= kFlushBytes) Flush(stream, progress);
}

void TFaxEncoder::Finish(TStream& stream, TIOProgress& progress) {
  if (!started_) Prepare(width_, scheme_);
  if (scheme_ == fxG3_2D) bits_.Put(kFaxEOL);
  if (scheme_ == fxG4) {
    bits_.Put(kFaxEOL);
    bits_.Put(kFaxEOL);
  }
  bits_.Finish();
  Flush(stream, progress);
  started_ = false;
}

void TFaxEncoder::Flush(TStream& stream, TIOProgress& progress) {
  if (bits_.Size() > 0) SafeStreamWrite(stream, progress, bits_.Data(), int64_t(bits_.Size()));
  bits_.Drop();
}

namespace {

void EncodeWith(TFaxScheme scheme, const uint8_t* row, int32_t width, TStream& stream,
                TIOProgress& progress, TFaxEncoder& state) {
  state.Prepare(width, scheme);
  if (row) {
    state.EncodeRow(row, stream, progress);
  } else {
    state.Finish(stream, progress);
  }
}

}  // namespace

void FaxEncodeMH(const uint8_t* row, int32_t width, TStream& stream, TIOProgress& progress,
                 TFaxEncoder& state) {
  EncodeWith(fxMH, row, width, stream, progress, state);
}

void FaxEncodeG3_1D(const uint8_t* row, int32_t width, TStream& stream, TIOProgress& progress,
                    TFaxEncoder& state) {
  EncodeWith(fxG3_1D, row, width, stream, progress, state);
}

void FaxEncodeG3_2D(const uint8_t* row, int32_t width, TStream& stream, TIOProgress& progress,
                    TFaxEncoder& state) {
  EncodeWith(fxG3_2D, row, width, stream, progress, state);
}

void FaxEncodeG4(const uint8_t* row, int32_t width, TStream& stream, TIOProgress& progress,
                 TFaxEncoder& state) {
  EncodeWith(fxG4, row, width, stream, progress, state);
}

void FaxEncodeMHAligned(const uint8_t* row, int32_t width, TStream& stream, TIOProgress& progress) {
  if (!row) return;
  TFaxEncoder encoder(width, fxMHAligned);
  encoder.EncodeRow(row, stream, progress);
  encoder.Finish(stream, progress);
}
