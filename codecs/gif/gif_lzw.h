#pragma once
// GIF's LZW image data: the minimum code size byte, the data sub-blocks and the
// block terminator, codes packed least significant bit first.
//
// GIFLZWDecompress and GIFLZWCompress have the signatures of the decoder and
// encoder hooks (TGIFDecompressor, TGIFCompressor in io/params.h).
#include <cstddef>
#include <cstdint>
#include <vector>

class TStream;

struct TGIFLZWResult {
  bool Ok = false;     // false: nothing usable, the stream is back where it was
  int64_t Pixels = 0;  // indexes decoded, in stream order; the rest of the output is 0
};

// Decodes one image's data at the stream's position into output (width * height
// indexes, rows top to bottom; interlaced data is put back in row order). The
// data ends at the end code, the end of the sub-blocks or the end of the
// stream; pixels beyond width * height are dropped. Minimum code sizes 1 to 11
// are taken (the literals used must be bytes). Fails, leaving the stream where
// it was, on an unusable minimum code size or a code that names no string;
// otherwise leaves the stream after the block terminator.
TGIFLZWResult GIFLZWDecode(TStream& stream, int32_t height, int32_t width, bool interlaced,
                           uint8_t* output);

// The decoder hook: GIFLZWDecode without the result (a failure leaves the stream unmoved).
void GIFLZWDecompress(TStream& stream, int32_t height, int32_t width, bool interlaced,
                      uint8_t* output);

// The encoder hook: writes the minimum code size (bitsPerPixel, at least 2, at
// most 8), the data in sub-blocks of 254 bytes and the block terminator. Indexes
// are taken in row order, or in the four interlace passes; bits above the
// minimum code size are ignored.
void GIFLZWCompress(TStream& stream, int32_t height, int32_t width, int32_t bitsPerPixel,
                    const uint8_t* indexes, bool interlaced);
