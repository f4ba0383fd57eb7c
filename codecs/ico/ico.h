#pragma once
// Windows icon (.ico) and cursor (.cur) files: reading one image of them.
#include <cstdint>
#include <memory>

class TStream;
class TLXBitmap;
class TLXMask;
class TIOParamsVals;
struct TIOProgress;

// Reads image IconImageIndex of the icon at the stream's position into bitmap;
// transparency comes back in mask (8 bits, 255 opaque; created when empty). Also
// records the size and depth of the first 16 directory entries in IconSizes and
// IconBitCounts. A file that starts with "BM" is read as a bitmap file. PNG
// entries are decoded by the PNG codec. Bad data or an index past the last image
// sets AbortFlag.
void ICOReadStream(TStream& stream, TLXBitmap* bitmap, TIOParamsVals& params, TIOProgress& progress,
                   bool paramsOnly, std::unique_ptr<TLXMask>& mask);

// The same for image CursorImageIndex of a cursor; the hot spot goes to
// CursorHotSpotX/Y and transparent pixels take CursorBackground.
void CURReadStream(TStream& stream, TLXBitmap* bitmap, TIOParamsVals& params, TIOProgress& progress,
                   bool paramsOnly, std::unique_ptr<TLXMask>& mask);

// Content tests; the stream position is restored.
bool IsICOStream(TStream& stream);
bool IsCURStream(TStream& stream);

// idCount of the icon at the stream's position (position restored); 0 when the
// directory cannot be read.
int ICOImageCount(TStream& stream);

// Bits per pixel for a colour count: the set bit of a power of two (16 -> 4),
// else one more than the highest set bit (255 -> 8); 0 for 0.
int ICOBitCountForColors(int colors);
