#pragma once
// The process-wide colour-row converter the JPEG and TIFF codecs call.
#include <cstdint>

enum TRowKind : int { rkBGR = 0, rkCMYK = 1, rkCIELab = 2 };

using TRowConverter = void (*)(const uint8_t* source, int sourceKind, uint8_t* dest, int destKind,
                               int pixelCount);

// Converts CMYK<->BGR and CIELab<->BGR; any other pair leaves dest unwritten.
void DefaultRowConverter(const uint8_t* source, int sourceKind, uint8_t* dest, int destKind,
                         int pixelCount);

// Installed once at start-up by the controller's initialisation; never null.
extern TRowConverter CMYKRowConverter;
