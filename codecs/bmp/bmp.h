#pragma once
// Windows and OS/2 bitmap files (.bmp, .dib, .rle).
#include <cstdint>

class TStream;
class TLXBitmap;
class TIOParamsVals;
struct TIOProgress;

// Reads the bitmap file at the stream's position ("BM"). dataSize is the number
// of bytes of the file in the stream; 0 or less lets bfSize stand in. With
// paramsOnly the record is filled and the bitmap left alone. Bad or truncated
// data sets AbortFlag.
void BMPReadStream(TStream& stream, TLXBitmap* bitmap, TIOParamsVals& params, TIOProgress& progress,
                   bool paramsOnly, int64_t dataSize);

// Writes bitmap at 1, 4, 8 or 24 bits (chosen by BitsPerSample/SamplesPerPixel),
// RLE-compressed when BMPCompression is 1, with the header BMPVersion names.
// The caller's bitmap is never changed: other formats are converted on a copy.
void BMPWriteStream(TStream& stream, TLXBitmap* bitmap, TIOParamsVals& params,
                    TIOProgress& progress);

// Run-length codes of one row of indexes (one per byte), ending with 0x00 0x00.
// rle4 packs the indexes into nibbles.
void BMPEncodeRLERow(const uint8_t* indexes, int count, bool rle4, uint8_t* out, int& outLength);
// Upper bound of the bytes BMPEncodeRLERow writes for a row of count indexes.
inline int BMPRLERowBound(int count) { return 2 * count + 8; }
