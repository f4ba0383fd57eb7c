#pragma once
// The 12-byte stream header of StreamHeaders (io/format.h, TIOStreamHeader) and
// the small byte tests that format rows use as detection signatures.
#include <cstdint>
#include <string>

class TStream;

inline constexpr int kIOStreamHeaderSize = 12;

struct TIOStreamHeaderData {
  std::string Tag;      // bytes 0..4 as text, up to the first zero byte
  uint32_t Length = 0;  // bytes 8..11, little-endian
};

// Reads a header at the position; false when the stream holds fewer than 12 bytes.
bool IOReadStreamHeader(TStream& stream, TIOStreamHeaderData& header);
// The header for tag and the length of the data behind it (clamped to 32 bits).
void IOFillStreamHeader(uint8_t (&bytes)[kIOStreamHeaderSize], const char* tag, int64_t length);

// Signature tests: they read from the position (the caller restores it).
// The first count bytes equal bytes.
bool IOStreamStartsWith(TStream& stream, const void* bytes, int count);
// Bytes 0..4 read as text ending at the first zero byte equal text.
bool IOStreamTagIs(TStream& stream, const char* text);
