#include "io/streamheader.h"

#include <algorithm>
#include <cstring>

#include "codecs/common/bytes.h"
#include "platform/stream.h"

bool IOReadStreamHeader(TStream& stream, TIOStreamHeaderData& header) {
  uint8_t b[kIOStreamHeaderSize] = {};
  if (stream.Read(b, kIOStreamHeaderSize) != kIOStreamHeaderSize) return false;
  header.Tag.assign(reinterpret_cast<const char*>(b), strnlen(reinterpret_cast<const char*>(b), 5));
  header.Length = GetLE32(b + 8);
  return true;
}

void IOFillStreamHeader(uint8_t (&bytes)[kIOStreamHeaderSize], const char* tag, int64_t length) {
  std::memset(bytes, 0, sizeof bytes);
  std::memcpy(bytes, tag, std::min<size_t>(4, std::strlen(tag)));
  PutLE32(bytes + 8, uint32_t(std::clamp<int64_t>(length, 0, UINT32_MAX)));
}

bool IOStreamStartsWith(TStream& stream, const void* bytes, int count) {
  uint8_t b[16] = {};
  if (count <= 0 || count > int(sizeof b)) return false;
  return stream.Read(b, count) == count && std::memcmp(b, bytes, size_t(count)) == 0;
}

bool IOStreamTagIs(TStream& stream, const char* text) {
  char b[5] = {};
  stream.Read(b, 5);
  return std::string(b, strnlen(b, 5)) == text;
}
