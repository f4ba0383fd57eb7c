#include "codecs/common/imageguard.h"

#include <algorithm>

#include "image/types.h"

std::optional<int64_t> ImageClaimBytes(const TImageClaim& c) {
  const auto bitmap = CheckedImageBytes(c.Width, c.Height, std::max(1, c.BitmapBits));
  if (!bitmap || c.ExtraBytes < 0) return std::nullopt;
  int64_t total = *bitmap;
  if (c.Mask) {
    const auto mask = CheckedImageBytes(c.Width, c.Height, 8);
    if (!mask) return std::nullopt;
    total += 2 * *mask;  // the mask, then the alpha channel made from it
  }
  if (c.ExtraBytes > kMaxImageBytes - std::min(total, kMaxImageBytes)) return std::nullopt;
  total += c.ExtraBytes;
  if (total > kMaxImageBytes) return std::nullopt;
  return total;
}

bool ImageClaimCouldDecode(const TImageClaim& c) {
  if (c.Units <= 0) return true;
  const int64_t coded = std::max<int64_t>(0, c.CodedBytes);
  const int64_t slack = std::max<int64_t>(0, c.SlackBytes);
  const int64_t ratio = std::max<int64_t>(1, c.UnitsPerByte);
  // (coded + slack) * ratio >= units, without overflow
  const int64_t needed = c.Units / ratio + (c.Units % ratio != 0);
  return coded >= needed || slack >= needed - coded;
}
