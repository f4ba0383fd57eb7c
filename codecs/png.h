#pragma once
// PNG reading and writing through libpng.
#include <memory>

class TStream;
class TLXBitmap;
class TLXMask;
class TIOParamsVals;
struct TIOProgress;

// Fills bitmap from the PNG at the stream's position. Transparency (alpha or
// tRNS) comes back in `mask`, an 8-bit mask (created when empty) of the image
// size with 255 opaque; with blendAlpha the picture is composed over the
// background instead. A decoding error sets AbortFlag; the bitmap keeps the
// rows decoded so far.
void PNGReadStream(TStream& stream, TLXBitmap* bitmap, TIOParamsVals& params, bool blendAlpha,
                   std::unique_ptr<TLXMask>& mask, bool paramsOnly, TIOProgress& progress);

// Writes bitmap as PNG; mask (or none) gives its alpha. Raises EInvalidGraphic
// "Error on creating PNG" on a library error; a short write sets AbortFlag.
void PNGWriteStream(TStream& stream, TLXBitmap* bitmap, TIOParamsVals& params, TLXMask* mask,
                    TIOProgress& progress);

// Reads 8 bytes, restores the position, answers whether they begin a PNG.
bool IsPNGStream(TStream& stream);
