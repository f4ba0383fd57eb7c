#pragma once
// Run-length codes of BMP files (RLE8 and RLE4), both ways. BMPEncodeRLERow and
// BMPRLERowBound are declared in codecs/bmp/bmp.h.
#include <cstdint>
#include <vector>

#include "image/types.h"

class TLXBitmap;
struct TIOProgress;

// Decodes the codes into a bitmap allocated at the image size (lx8p takes the
// indexes, lx24RGB the colours of lut), bottom row first. Everything is clipped
// to the image and to the codes at hand; the area the codes never reach keeps
// index 0. Returns false when the codes leave the image.
bool BMPDecodeRLE(const std::vector<uint8_t>& data, bool rle4, TLXBitmap* bitmap, const TRGB* lut,
                  TIOProgress& progress);
