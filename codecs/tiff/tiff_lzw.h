#pragma once
// TIFF's LZW strips: codes most significant bit first, widths growing one code
// early, 256 clear and 257 end of information.
//
// TIFFLZWDecompress and TIFFLZWCompress have the signatures of the decoder and
// encoder hooks (TTIFFDecompressor, TTIFFCompressor in io/params.h); their
// working state lives in the caller's TLZWState slot, one strip at a time.
#include <cstdint>
#include <memory>

#include "io/params.h"

class TStream;

// Returns the next rowLength bytes of the strip data[0, dataSize), or nullptr
// when no byte of the row can be decoded (a bad code, or the strip's codes are
// used up). A row cut short by the end code or the end of the data is returned
// with its missing bytes 0, and the calls after it return nullptr. A call with
// data == nullptr releases the state: make one between strips (a call with
// another data pointer or size starts over too). The row stays valid until the
// next call.
const uint8_t* TIFFLZWDecompress(const uint8_t* data, int64_t dataSize, int32_t rowLength,
                                 std::unique_ptr<TLZWState>& state);

// Encodes count bytes of a row into the stream, starting a strip (clear code
// first) when the state is empty; row == nullptr ends the strip with its last
// code and the end code, flushes it and releases the state. Output is buffered
// in the state between the calls of a strip.
void TIFFLZWCompress(const uint8_t* row, int32_t count, TStream& stream,
                     std::unique_ptr<TLZWState>& state);
