#pragma once
// The icon writer: one source picture becomes a Windows icon (.ico) of n images,
// each resampled to its own size and stored at its own colour depth.
#include <cstdint>

class TStream;
class TLXBitmap;
class TIOParamsVals;
struct TIOProgress;
struct TIconSize;

// Writes n images: image k at sizes[k] (0 keeps the source's side, -1 follows the
// aspect ratio) and depths[k] (1, 4, 8, 32, 0 for the record's pair, anything
// else 24). The source (lx24RGB or lx1g, alpha optional; other formats go
// through a private lx24RGB copy) is never changed. The
// record's colour map is left holding the palette of the last 4- or 8-bit image.
// n < 1, or a size that cannot be produced, sets AbortFlag; n < 1 writes nothing.
void ICOWriteStream(TStream& stream, TLXBitmap* source, TIOParamsVals& params,
                    TIOProgress& progress, const TIconSize* sizes, const int32_t* depths, int n);

// The depth an entry of the depth list stands for (1, 4, 8, 24 or 32), given
// the record's SamplesPerPixel and BitsPerSample for entry 0.
int ICODepthFor(int32_t depthEntry, int32_t samplesPerPixel, int32_t bitsPerSample);
