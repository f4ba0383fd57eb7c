#pragma once
// The size rule every reader follows before it allocates anything for an image.
// What a header claims is refused (the reader sets AbortFlag) unless
//  1. every block the read makes fits kMaxImageBytes counted together: the bitmap,
//     a transparency mask of the image size and the alpha channel the controller
//     makes from it, and the decoder's own buffers; and
//  2. the coded data left in the stream could produce the picture at the coding's
//     greatest expansion: a 70-byte file cannot hold 100 million pixels.
//
//   TImageClaim claim{.Width = w, .Height = h, .BitmapBits = 24, .Mask = true,
//                     .Units = rowBytes * h, .CodedBytes = stream.Remaining(),
//                     .UnitsPerByte = kDeflateUnitsPerByte};
//   if (!ImageClaimFits(claim)) { progress.Abort(); return; }
#include <cstdint>
#include <optional>

// Greatest expansions: decoded units one byte of coded data can give.
inline constexpr int64_t kRawUnitsPerByte = 1;         // bytes per byte, stored as they are
inline constexpr int64_t kDeflateUnitsPerByte = 1032;  // bytes per byte: 258 from a 2-bit code
inline constexpr int64_t kPackBitsUnitsPerByte = 64;   // bytes per byte: 128 from a 2-byte run
// Pixels per byte of BMP run-length codes: a run gives at most 255 pixels from
// 2 bytes, but line ends, deltas and the end code leave whole areas at index 0,
// so this allows far more (real files stay under 3; a file that is only an end
// code may still be 500 x 500) while a 1 KiB file cannot claim more than some 4
// million pixels.
inline constexpr int64_t kBMPRLEUnitsPerByte = 4096;
// 8x8 blocks per byte of JPEG entropy-coded data: every block costs at least one
// bit (the DC code of a progressive first scan; two bits in a baseline scan).
inline constexpr int64_t kJPEGBlocksPerByte = 8;

struct TImageClaim {
  int64_t Width = 0;
  int64_t Height = 0;
  int BitmapBits = 24;      // bits per pixel of the bitmap the reader allocates
  bool Mask = false;        // an 8-bit mask of the image size comes back (and becomes alpha)
  int64_t ExtraBytes = 0;   // the decoder's own buffers
  // What the coding must produce for the whole picture (a lower bound, in the
  // coding's units), the coded bytes left in the stream, and the coding's
  // greatest expansion. Units 0 skips the test (a reader that has no coded size).
  int64_t Units = 0;
  int64_t CodedBytes = 0;
  int64_t UnitsPerByte = kRawUnitsPerByte;
  int64_t SlackBytes = 64;  // coded bytes allowed for on top (end codes, padding)
};

// a * b for Units, saturated instead of overflowing (0 for a factor below 1).
inline int64_t ClaimProduct(int64_t a, int64_t b) {
  if (a <= 0 || b <= 0) return 0;
  return a > INT64_MAX / b ? INT64_MAX : a * b;
}

// Bytes of every block of the claim together, or nothing when a side is not
// positive or the total passes kMaxImageBytes.
std::optional<int64_t> ImageClaimBytes(const TImageClaim& claim);
// True when the coded data could give claim.Units.
bool ImageClaimCouldDecode(const TImageClaim& claim);
// Both tests.
inline bool ImageClaimFits(const TImageClaim& claim) {
  return ImageClaimBytes(claim).has_value() && ImageClaimCouldDecode(claim);
}
