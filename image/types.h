#pragma once
// Value types and helpers shared by every layer of the image model.
#include <cstdint>
#include <optional>

enum TLXPixelFormat : uint8_t { lxNone = 0, lx1g, lx8p, lx8g, lx16g, lx24RGB, lx32f };
enum TLXLocation : uint8_t { lxMemory = 0, lxFile, lxTBitmap };

// Blue, green, red, as stored in pixels and palettes.
#pragma pack(push, 1)
struct TRGB {
  uint8_t b = 0, g = 0, r = 0;
  bool operator==(const TRGB&) const = default;
};
#pragma pack(pop)
static_assert(sizeof(TRGB) == 3);

// blue + green*256 + red*65536
inline int32_t PackRGB(TRGB c) { return c.b | (c.g << 8) | (c.r << 16); }
inline TRGB UnpackRGB(int32_t v) { return TRGB{uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16)}; }
inline TRGB CreateRGB(uint8_t r, uint8_t g, uint8_t b) { return TRGB{b, g, r}; }

// Bits per pixel of a format: 0, 1, 8, 8, 16, 24, 32.
int BitCountOf(TLXPixelFormat f);

// Bytes per row of width pixels of bitsPerPixel, padded to alignmentBits.
int32_t ComputeRowLength(int32_t width, int32_t bitsPerPixel, int32_t alignmentBits = 32);

// The one guard every size taken from a file goes through: the byte count of a
// width x height image with rows of rowLength bytes, or nothing when a side is
// not positive, a side exceeds kMaxImageSide, or the block exceeds kMaxImageBytes.
inline constexpr int64_t kMaxImageSide = 0x7fffffff;
inline constexpr int64_t kMaxImageBytes = int64_t(1) << 31;  // 2 GiB
std::optional<int64_t> CheckedImageBytes(int64_t width, int64_t height, int64_t bitsPerPixel,
                                         int64_t alignmentBits = 32);
