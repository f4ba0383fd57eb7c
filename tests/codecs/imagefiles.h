#pragma once
// Test helpers of the BMP and icon tests: running the independent tools and
// reading what they produce.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "codecs/png.h"
#include "codecs/common/bytes.h"
#include "image/bitmap.h"
#include "image/mask.h"
#include "io/params.h"
#include "io/progress.h"
#include "platform/stream.h"

// Little-endian fields of a file image under construction or test; .at() checks
// that the field lies inside.
inline uint16_t Get16(const std::vector<uint8_t>& v, size_t at) { return GetLE16(&v.at(at + 1) - 1); }
inline uint32_t Get32(const std::vector<uint8_t>& v, size_t at) { return GetLE32(&v.at(at + 3) - 3); }
inline void Put16(std::vector<uint8_t>& v, size_t at, uint32_t x) { PutLE16(&v.at(at + 1) - 1, x); }
inline void Put32(std::vector<uint8_t>& v, size_t at, uint32_t x) { PutLE32(&v.at(at + 3) - 3, x); }

// An RGBA picture, rows top to bottom.
struct TRGBAImage {
  int Width = 0, Height = 0;
  std::vector<uint8_t> Pixels;  // r, g, b, a
  const uint8_t* At(int x, int y) const { return &Pixels[(size_t(y) * Width + x) * 4]; }
};

inline std::vector<uint8_t> ReadFileBytes(const std::string& name) {
  std::ifstream f(name, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), {});
}

inline void WriteFileBytes(const std::string& name, const std::vector<uint8_t>& data) {
  std::ofstream f(name, std::ios::binary);
  f.write(reinterpret_cast<const char*>(data.data()), std::streamsize(data.size()));
}

// Runs a shell command; returns its exit status and, in output, stdout+stderr.
inline int RunTool(const std::string& command, std::string* output = nullptr) {
  // Captured runs keep the tool's complaints with its output; others drop them
  // so that a command redirecting stdout into a file gets only the file.
  std::string full = command + (output ? " 2>&1" : " 2>/dev/null");
  FILE* p = popen(full.c_str(), "r");
  if (!p) return -1;
  std::string text;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) text.append(buf, n);
  int status = pclose(p);
  if (output) *output = text;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Binary PAM/PNM (P5, P6, P7 with RGB_ALPHA or GRAYSCALE...) into RGBA.
inline TRGBAImage ParseNetpbm(const std::vector<uint8_t>& d) {
  TRGBAImage img;
  if (d.size() < 3 || d[0] != 'P') return img;
  const char kind = char(d[1]);
  size_t p = 2;
  int depth = 0, maxval = 0;
  auto token = [&]() {
    std::string t;
    while (p < d.size()) {
      if (d[p] == '#') { while (p < d.size() && d[p] != '\n') ++p; continue; }
      if (isspace(d[p])) { if (!t.empty()) break; ++p; continue; }
      t += char(d[p++]);
    }
    return t;
  };
  if (kind == '7') {
    for (;;) {
      std::string t = token();
      if (t.empty() || t == "ENDHDR") break;
      if (t == "WIDTH") img.Width = std::stoi(token());
      else if (t == "HEIGHT") img.Height = std::stoi(token());
      else if (t == "DEPTH") depth = std::stoi(token());
      else if (t == "MAXVAL") maxval = std::stoi(token());
      else if (t == "TUPLTYPE") token();
    }
  } else {
    img.Width = std::stoi(token());
    img.Height = std::stoi(token());
    maxval = std::stoi(token());
    depth = kind == '6' ? 3 : 1;
  }
  ++p;  // the single whitespace before the raster
  if (maxval != 255) { img.Width = img.Height = 0; return img; }
  img.Pixels.resize(size_t(img.Width) * img.Height * 4);
  for (size_t i = 0; i < size_t(img.Width) * img.Height; ++i) {
    uint8_t* o = &img.Pixels[i * 4];
    const uint8_t* s = &d[p + i * depth];
    if (p + (i + 1) * depth > d.size()) break;
    if (depth >= 3) { o[0] = s[0]; o[1] = s[1]; o[2] = s[2]; o[3] = depth == 4 ? s[3] : 255; }
    else { o[0] = o[1] = o[2] = s[0]; o[3] = depth == 2 ? s[1] : 255; }
  }
  return img;
}

// ImageMagick's reading of a file (frame `frame`), as RGBA.
inline TRGBAImage MagickRead(const std::string& file, const std::string& dir, int frame = 0) {
  const std::string out = dir + "/magick.pam";
  std::remove(out.c_str());
  RunTool("convert '" + file + "[" + std::to_string(frame) + "]' -depth 8 '" + out + "'");
  return ParseNetpbm(ReadFileBytes(out));
}

// A bitmap (any format) with its optional alpha as RGBA.
inline TRGBAImage FromBitmap(TLXBitmap& b, const TLXMask* mask = nullptr) {
  TRGBAImage img;
  img.Width = b.Width();
  img.Height = b.Height();
  img.Pixels.resize(size_t(img.Width) * img.Height * 4);
  TLXBitmap* alpha = b.HasAlphaChannel() ? b.AlphaChannel() : nullptr;
  for (int y = 0; y < img.Height; ++y)
    for (int x = 0; x < img.Width; ++x) {
      TRGB c = b.GetPixelRGB(x, y);
      uint8_t* o = &img.Pixels[(size_t(y) * img.Width + x) * 4];
      o[0] = c.r; o[1] = c.g; o[2] = c.b;
      o[3] = mask ? uint8_t(mask->GetPixel(x, y)) : alpha ? alpha->Scanline(y)[x] : 255;
    }
  return img;
}

// A PNG file through the PNG codec, as RGBA.
inline TRGBAImage PNGFileRead(const std::string& file) {
  TMemoryStream s(ReadFileBytes(file));
  TLXBitmap b;
  TIOParamsVals params(nullptr);
  std::atomic<bool> abortFlag{false};
  TIOProgress progress;
  progress.abort = &abortFlag;
  std::unique_ptr<TLXMask> mask;
  PNGReadStream(s, &b, params, progress, false, false, mask);
  if (abortFlag) return {};
  return FromBitmap(b, mask.get());
}
