#include "image/render.h"

#include "platform/bitmap.h"

void RenderToTBitmap(TLXBitmap*, TBitmap*, std::vector<uint8_t*>*, std::vector<int32_t>*,
                     std::vector<int32_t>*, const TLXRect*, int, int, int, int, int, int, int, int,
                     bool, bool, int, TResampleFilter, bool, int) {}
