#include "proc/quantizer.h"

#include "image/bitmap.h"

struct TLXQuantizer::TNetwork {};
struct TLXQuantizer::TBoxes {};

TLXQuantizer::TLXQuantizer(TLXBitmap* image, TRGB* palette, int /*spare*/, int n, int quality,
                           int /*method*/)
    : image_(image), n_(n) {
  (void)palette;
  (void)quality;
}

TLXQuantizer::~TLXQuantizer() = default;

int TLXQuantizer::ColorToIndex(TRGB color) { return n_ > 0 ? color.r * n_ / 256 : -1; }

void TLXQuantizer::BuildNetwork(TRGB*, int) {}
void TLXQuantizer::BuildBoxes(TRGB*) {}
