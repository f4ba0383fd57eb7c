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
// background instead (the bKGD chunk's colour, which PNGBackground then takes,
// or PNGBackground). The controller's loads pass blendAlpha false and its
// parameters-only reads pass true, so that a parameter read reports bKGD in
// PNGBackground. A decoding error sets AbortFlag; the bitmap keeps the rows
// decoded so far.
void PNGReadStream(TStream& stream, TLXBitmap* bitmap, TIOParamsVals& params, TIOProgress& progress,
                   bool paramsOnly, bool blendAlpha, std::unique_ptr<TLXMask>& mask);

// Writes bitmap as PNG; mask (or none) gives its alpha. Raises EInvalidGraphic
// "Error on creating PNG" on a library error; a short write sets AbortFlag.
void PNGWriteStream(TStream& stream, TLXBitmap* bitmap, TIOParamsVals& params, TIOProgress& progress,
                    TLXMask* mask);

// Reads 8 bytes, restores the position, answers whether they begin a PNG.
bool IsPNGStream(TStream& stream);
