#include "io/codectable.h"

#include <algorithm>
#include <vector>

#include "image/mask.h"
#include "platform/stream.h"

// Codec headers, one per format as it lands.
#include "codecs/bmp.h"
#include "codecs/ico.h"
#include "codecs/icowrite.h"
#include "codecs/jpeg.h"
#include "codecs/png.h"

namespace {

// One line per format: {code, read, write, content test}.
const std::vector<TIOCodecEntry>& BuiltinCodecs() {
  static const std::vector<TIOCodecEntry> codecs = {
    {ioBMP,
     [](TStream& s, TLXBitmap* b, TIOParamsVals& p, TIOProgress& pr, TIOReadCall& c) {
       BMPReadStream(s, b, c.DataSize, p, pr, c.ParamsOnly); },
     [](TStream& s, TLXBitmap* b, TIOParamsVals& p, TIOProgress& pr, TIOWriteCall&) {
       BMPWriteStream(s, b, p, pr); },
     nullptr},
    {ioICO,
     [](TStream& s, TLXBitmap* b, TIOParamsVals& p, TIOProgress& pr, TIOReadCall& c) {
       ICOReadStream(s, b, p, c.ParamsOnly, pr, c.Mask); },
     [](TStream& s, TLXBitmap* b, TIOParamsVals& p, TIOProgress& pr, TIOWriteCall& c) {
       ICOWriteStream(s, b, p, pr, c.IconSizes, c.IconBitCounts, c.IconCount); },
     IsICOStream},
    {ioCUR,
     [](TStream& s, TLXBitmap* b, TIOParamsVals& p, TIOProgress& pr, TIOReadCall& c) {
       CURReadStream(s, b, p, c.ParamsOnly, pr, c.Mask); },
     nullptr,
     IsCURStream},
    {ioPNG,
     [](TStream& s, TLXBitmap* b, TIOParamsVals& p, TIOProgress& pr, TIOReadCall& c) {
       PNGReadStream(s, b, p, c.ParamsOnly, c.Mask, c.ParamsOnly, pr); },
     [](TStream& s, TLXBitmap* b, TIOParamsVals& p, TIOProgress& pr, TIOWriteCall& c) {
       PNGWriteStream(s, b, p, c.Mask, pr); },
     IsPNGStream},
    {ioJPEG,
     [](TStream& s, TLXBitmap* b, TIOParamsVals& p, TIOProgress& pr, TIOReadCall& c) {
       JPEGReadStream(s, nullptr, b, false, c.ParamsOnly, pr, p); },
     [](TStream& s, TLXBitmap* b, TIOParamsVals& p, TIOProgress& pr, TIOWriteCall&) {
       JPEGWriteStream(s, b, p, pr); },
     [](TStream& s) { return FindJPEGStart(s) >= 0; }},
  };
  return codecs;
}

std::vector<TIOCodecEntry>& Codecs() {
  static std::vector<TIOCodecEntry> table = BuiltinCodecs();
  return table;
}

}  // namespace

const TIOCodecEntry* IOFindCodec(int32_t fileType) {
  for (const auto& c : Codecs())
    if (c.FileType == fileType) return &c;
  return nullptr;
}

void IOSetCodec(const TIOCodecEntry& entry) {
  auto& t = Codecs();
  auto it = std::find_if(t.begin(), t.end(), [&](const auto& c) { return c.FileType == entry.FileType; });
  if (it != t.end())
    *it = entry;
  else
    t.push_back(entry);
}

void IOResetCodecs() { Codecs() = BuiltinCodecs(); }
