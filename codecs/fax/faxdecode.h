#pragma once
// CCITT fax decoding (ITU-T T.4 and T.6): modified Huffman, Group 3 one- and
// two-dimensional, Group 4. Decoded rows have bit 1 for white, as lx1g rows:
// the row is filled white and the black runs are cleared. Every decoder takes
// the length of its data and never reads past it, and never writes past the
// ceil(width / 8) bytes of the row whatever the codes say: runs are cut at the
// width, a changing element left of the current position is taken at it.
//
// EOLs may carry fill bits (any number of extra 0 bits) everywhere. An EOL at
// the start of a row is skipped (with its tag bit in two-dimensional Group 3);
// two in a row (RTC, EOFB) end the page. An EOL inside a row ends the row: the
// colour being decoded runs to the end.
#include <cstdint>
#include <vector>

#include "codecs/fax/faxcodes.h"

// Decodes the rows of one strip.
class TFaxDecoder {
public:
  // lsbFirst: TIFF FillOrder 2 (the bits of every byte reversed).
  TFaxDecoder(int32_t width, TFaxScheme scheme, bool lsbFirst);
  // A new strip: decoding starts at its first bit, against an all-white row.
  void Start(const uint8_t* data, int64_t size);
  // Decodes the next row into row (ceil(width / 8) bytes). Whatever the result,
  // the row is fully written: what was decoded, the rest white (or black when
  // a black run was open). After a bad code, Group 3 decoding goes on at the
  // next EOL; Group 4 cannot, and every later row is white with frBadCode.
  TFaxResult DecodeRow(uint8_t* row);
  // Bits taken from the strip so far.
  int64_t BitPosition() const { return bits_.Position(); }

private:
  int32_t width_;
  TFaxScheme scheme_;
  bool lsbFirst_;
  TFaxBitReader bits_{nullptr, 0, false};
  std::vector<int32_t> ref_, cur_;  // changing elements of the row above and of this row
  bool eolTaken_ = false;  // the last row ended at an EOL that was taken with it
  TFaxResult last_ = frOk;
};

// One row of one-dimensional coding from bit position bitPos of data[0,
// dataSize); returns the bit position after the row (and its EOL, when an EOL
// ended it). fillOrder 2 reverses the bits of every byte.
int64_t FaxDecodeMH(uint8_t* row, const uint8_t* data, int64_t dataSize, int32_t width, int fillOrder,
                    int64_t bitPos, TFaxResult* result = nullptr);

// One byte-aligned row of one-dimensional coding (TIFF Compression 2) from the
// start of data; returns the bytes it took, rounded up to whole bytes.
int64_t FaxDecodeMHAligned(uint8_t* row, const uint8_t* data, int64_t dataSize, int32_t width,
                           int fillOrder, TFaxResult* result = nullptr);

// One row of two-dimensional coding (Group 3 with its EOL and tag bit, or Group
// 4) against referenceRow (the row above, decoded polarity; all white for the
// first row), which is then replaced by the decoded row. Returns the bit
// position after the row. Fill bits before EOLs are taken with or without
// fillBits.
int64_t FaxDecode2D(uint8_t* row, const uint8_t* data, int64_t dataSize, bool fillBits, int fillOrder,
                    int64_t bitPos, uint8_t* referenceRow, int32_t width, TFaxResult* result = nullptr);
