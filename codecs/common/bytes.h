#pragma once
// The LE/BE get/put helpers of codecs: they live in platform/bytes.h so that the
// image layer (DIB wrapper, 16-bit pixels, IPTC blocks) uses the same ones.
#include "platform/bytes.h"
