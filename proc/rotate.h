#pragma once
// Quarter turns and mirroring of a TLXBitmap in place (the TIFF reader sets
// images upright with them).
#include <cstdint>

#include "proc/resample.h"  // TLXProgressEvent

class TLXBitmap;

// Turns the picture by angle degrees, positive counter-clockwise. Quarter turns
// are exact; a remainder between -45 and 45 turns by nearest pixel into the
// enclosing rectangle, uncovered pixels taking background (windowing encoding)
// in lx24RGB and 0 elsewhere. antialias and onProgress play no part. Every
// format is turned; an alpha channel of the image's size turns with it.
void RotateBitmap(TLXBitmap* bitmap, bool antialias, void* sender, const TLXProgressEvent& onProgress,
                  int32_t background, double angle);

enum TLXFlipDirection : int { lxfdHorizontal = 0, lxfdVertical = 1 };

// direction 0 mirrors left-right, 1 top-bottom; lx24RGB and lx1g only, other
// formats are left unchanged. An alpha channel of the image's size is mirrored too.
void FlipBitmap(TLXBitmap* bitmap, int direction);
