#pragma once
// The controller's codec table: one entry per built-in format that has a codec,
// adapting the codec's own entry points to one calling shape. The controller's
// load and save skeletons (io/controller.cpp) find the codec here by file-type
// code; a format without an entry loads and saves with AbortFlag set.
//
// Adding a codec is one line in kBuiltinCodecs (io/codectable.cpp), e.g.
//   {ioBMP,
//    [](TStream& s, TLXBitmap* b, TIOParamsVals& p, TIOProgress& pr, TIOReadCall& c) {
//      BMPReadStream(s, b, p, pr, c.ParamsOnly, c.DataSize); },
//    [](TStream& s, TLXBitmap* b, TIOParamsVals& p, TIOProgress& pr, TIOWriteCall&) {
//      BMPWriteStream(s, b, p, pr); },
//    nullptr},
#include <cstdint>
#include <memory>

#include "io/params.h"
#include "io/progress.h"

class TStream;
class TLXBitmap;
class TLXMask;  // image/mask.h: include it where a TIOReadCall is destroyed

struct TIOReadCall {
  bool ParamsOnly = false;
  // Bytes the reader may use from the stream position (PCX, BMP); the controller
  // passes the stream's size or a stream header's length.
  int64_t DataSize = 0;
  // Readers that deliver transparency put an 8-bit mask here; the controller
  // copies it into the target's alpha channel.
  std::unique_ptr<TLXMask> Mask;
  // Frames or pages counted by the reader (GIF, TIFF).
  int32_t Count = 0;
};

struct TIOWriteCall {
  // TGA and PNG: the transparency taken from the bitmap's alpha channel, or nullptr.
  TLXMask* Mask = nullptr;
  // ICO: the leading usable IconSizes entries and their bit counts (IconCount of each).
  const TIconSize* IconSizes = nullptr;
  const int32_t* IconBitCounts = nullptr;
  int IconCount = 0;
};

using TIOCodecRead = void (*)(TStream& stream, TLXBitmap* bitmap, TIOParamsVals& params,
                              TIOProgress& progress, TIOReadCall& call);
using TIOCodecWrite = void (*)(TStream& stream, TLXBitmap* bitmap, TIOParamsVals& params,
                               TIOProgress& progress, TIOWriteCall& call);
// Content test: reads from the current position (the controller restores it).
// For JPEG: FindJPEGStart(...) >= 0.
using TIOCodecTest = bool (*)(TStream& stream);

struct TIOCodecEntry {
  int32_t FileType = 0;
  TIOCodecRead Read = nullptr;    // nullptr: this format cannot be read yet
  TIOCodecWrite Write = nullptr;  // nullptr: this format cannot be written yet
  TIOCodecTest IsFormat = nullptr;
};

// nullptr when no codec serves the code.
const TIOCodecEntry* IOFindCodec(int32_t fileType);
// Replaces (or adds) the entry of entry.FileType; for test doubles.
void IOSetCodec(const TIOCodecEntry& entry);
// Back to the built-in table.
void IOResetCodecs();
