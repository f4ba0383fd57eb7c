#pragma once
// CCITT fax encoding (ITU-T T.4 and T.6). Input rows have bit 1 for black, the
// leftmost pixel in the most significant bit (an lx1g row with its bits
// inverted). Codes go out most significant bit first, through the checked write,
// so a stream that takes fewer bytes sets the abort flag.
#include <cstdint>
#include <vector>

#include "codecs/fax/faxcodes.h"

class TStream;
struct TIOProgress;

// Codes the rows of one strip. The partial byte (and, for two-dimensional
// coding, the reference row) is kept from row to row; whole bytes go to the
// stream now and then and all of them at Finish.
class TFaxEncoder {
public:
  TFaxEncoder() = default;
  TFaxEncoder(int32_t width, TFaxScheme scheme) { Prepare(width, scheme); }
  // Starts a strip unless one of this width and scheme is under way.
  void Prepare(int32_t width, TFaxScheme scheme);
  // Codes one row of ceil(width / 8) bytes:
  //   fxMH        the runs only;
  //   fxMHAligned the runs, then 0 bits to the next byte (TIFF Compression 2);
  //   fxG3_1D     an EOL, then the runs;
  //   fxG3_2D     an EOL and a tag bit: 1 and the runs for the strip's first row,
  //               0 and two-dimensional coding against the row above for the others;
  //   fxG4        two-dimensional coding against the row above (all white at first).
  void EncodeRow(const uint8_t* row, TStream& stream, TIOProgress& progress);
  // Ends the strip (fxG3_2D one more EOL, fxG4 EOFB), pads the last byte with 0
  // bits and writes what is left; the next row starts a new strip.
  void Finish(TStream& stream, TIOProgress& progress);

private:
  void Flush(TStream& stream, TIOProgress& progress);
  void PutRun(int color, int32_t run);
  void Encode1D(int count);
  void Encode2D();

  int32_t width_ = 0;
  TFaxScheme scheme_ = fxMH;
  bool started_ = false;
  int64_t rows_ = 0;
  TFaxBitWriter bits_;
  std::vector<int32_t> ref_, cur_;  // changing elements of the row above and of this row
};

// The coders of the single-row interface: each codes one row into the state's
// strip; a call with row == nullptr finishes the strip.
void FaxEncodeMH(const uint8_t* row, int32_t width, TStream& stream, TIOProgress& progress,
                 TFaxEncoder& state);
void FaxEncodeG3_1D(const uint8_t* row, int32_t width, TStream& stream, TIOProgress& progress,
                    TFaxEncoder& state);
void FaxEncodeG3_2D(const uint8_t* row, int32_t width, TStream& stream, TIOProgress& progress,
                    TFaxEncoder& state);
void FaxEncodeG4(const uint8_t* row, int32_t width, TStream& stream, TIOProgress& progress,
                 TFaxEncoder& state);
// One row on its own, padded to a whole byte (TIFF Compression 2); nothing for row == nullptr.
void FaxEncodeMHAligned(const uint8_t* row, int32_t width, TStream& stream, TIOProgress& progress);
