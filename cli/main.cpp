// quelmar-cli: the converter's engine without a window, for batch use.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <exception>
#include <optional>
#include <string>
#include <vector>

#include "app/model/converter.h"
#include "platform/files.h"
#include "app/model/talvexengine.h"
#include "image/types.h"
#include "io/controller.h"
#include "io/formattable.h"
#include "io/params.h"
#include "proc/resample.h"
#include "proc/talvexproc.h"
#include "view/view.h"

static const char kUsage[] =
    "Usage:\n"
    "  quelmar-cli convert INPUT OUTPUT.ico [--size 64|32|16|WxH] [--depth 32|24|8|4|1|0]\n"
    "                      [--bits-per-sample 1-8]\n"
    "  quelmar-cli convert INPUT OUTPUT.ico --icon-sizes 16,32,48,256 [--depth D]\n"
    "                      [--bits-per-sample 1-8]\n"
    "  quelmar-cli convert INPUT OUTPUT.EXT [--resize WxH] [--filter NAME]\n"
    "  quelmar-cli info FILE\n"
    "  quelmar-cli --help\n"
    "\n"
    "convert to .ico writes the icon the converter window writes with the same settings\n"
    "(defaults: 32x32, 32 bits, 8 bits per sample). --depth 0 lets --bits-per-sample decide.\n"
    "--icon-sizes puts up to 16 images into one icon; an entry is N or WxH.\n"
    "Any other extension picks the writer; --resize resamples first with --filter (default\n"
    "fastlinear): none triangle hermite bell bspline lanczos3 mitchell nearest linear\n"
    "fastlinear bilinear bicubic.\n";
static const char kUsageTail[] =
    "info prints what reading the file's parameters learns.\n"
    "\n"
    "Exit status: 0 success, 1 failure, 2 bad usage.\n";

namespace {

// The extensions the format table has writers for, e.g. "bmp, dib, rle, png".
std::string WritableList() {
  std::string list;
  for (const std::string& e : IOWritableExtensions()) list += (list.empty() ? "" : ", ") + e;
  return list;
}

std::string Usage() {
  return std::string(kUsage) + "Writable extensions: " + WritableList() + ".\n" + kUsageTail;
}

struct TUsageError {
  std::string text;
};

struct TSize {
  int width = 0, height = 0;
};

// Failure of the job itself: one line on stderr, exit status 1.
void Fail(const std::string& subject, const std::string& what) {
  std::fprintf(stderr, "quelmar-cli: %s: %s\n", subject.c_str(), what.c_str());
}

std::optional<int> ParseNumber(const std::string& text) {
  if (text.empty() || text.size() > 9) return std::nullopt;
  int v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    v = v * 10 + (c - '0');
  }
  return v;
}

// "N" (a square) or "WxH", each side 1..kMaxCustomIconSide.
TSize ParseSize(const std::string& text, const char* option) {
  const size_t x = text.find_first_of("xX");
  std::optional<int> w = ParseNumber(x == std::string::npos ? text : text.substr(0, x));
  std::optional<int> h = x == std::string::npos ? w : ParseNumber(text.substr(x + 1));
  if (!w || !h || *w < 1 || *h < 1 || *w > kMaxCustomIconSide || *h > kMaxCustomIconSide)
    throw TUsageError{std::string(option) + ": expected N or WxH with sides 1.." +
                      std::to_string(kMaxCustomIconSide) + ", got '" + text + "'"};
  return {*w, *h};
}

const char* const kFilterNames[] = {"none",   "triangle", "hermite",    "bell",
                                    "bspline", "lanczos3", "mitchell",   "nearest",
                                    "linear",  "fastlinear", "bilinear", "bicubic"};

TResampleFilter ParseFilter(const std::string& text) {
  for (size_t i = 0; i < std::size(kFilterNames); ++i)
    if (text == kFilterNames[i]) return TResampleFilter(i);
  throw TUsageError{"--filter: unknown filter '" + text + "'"};
}

std::string Lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
  return s;
}

struct TConvertOptions {
  std::string input, output;
  std::optional<TSize> size;
  std::vector<TSize> iconSizes;
  std::optional<int> depth, bitsPerSample;
  std::optional<TSize> resize;
  std::optional<TResampleFilter> filter;
};

TConvertOptions ParseConvert(const std::vector<std::string>& args) {
  TConvertOptions o;
  std::vector<std::string> positional;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&]() -> const std::string& {
      if (i + 1 >= args.size()) throw TUsageError{a + " needs a value"};
      return args[++i];
    };
    if (a == "--size") {
      o.size = ParseSize(value(), "--size");
    } else if (a == "--icon-sizes") {
      const std::string list = value();
      size_t start = 0;
      while (start <= list.size()) {
        size_t comma = list.find(',', start);
        if (comma == std::string::npos) comma = list.size();
        o.iconSizes.push_back(ParseSize(list.substr(start, comma - start), "--icon-sizes"));
        start = comma + 1;
      }
      if (o.iconSizes.size() > size_t(kIconEntries))
        throw TUsageError{"--icon-sizes: at most " + std::to_string(kIconEntries) + " sizes"};
    } else if (a == "--depth") {
      const std::string& v = value();
      std::optional<int> d = ParseNumber(v);
      if (!d || !(*d == 32 || *d == 24 || *d == 8 || *d == 4 || *d == 1 || *d == 0))
        throw TUsageError{"--depth: expected 32, 24, 8, 4, 1 or 0, got '" + v + "'"};
      o.depth = *d;
    } else if (a == "--bits-per-sample") {
      const std::string& v = value();
      std::optional<int> b = ParseNumber(v);
      if (!b || *b < 1 || *b > 8) throw TUsageError{"--bits-per-sample: expected 1..8, got '" + v + "'"};
      o.bitsPerSample = *b;
    } else if (a == "--resize") {
      const std::string& v = value();
      const size_t x = v.find_first_of("xX");
      std::optional<int> w = x == std::string::npos ? std::nullopt : ParseNumber(v.substr(0, x));
      std::optional<int> h = x == std::string::npos ? std::nullopt : ParseNumber(v.substr(x + 1));
      if (!w || !h || *w < 1 || *h < 1 || !CheckedImageBytes(*w, *h, 32))
        throw TUsageError{"--resize: expected WxH of a sensible size, got '" + v + "'"};
      o.resize = TSize{*w, *h};
    } else if (a == "--filter") {
      o.filter = ParseFilter(value());
    } else if (a.size() > 1 && a[0] == '-') {
      throw TUsageError{"unknown option " + a};
    } else {
      positional.push_back(a);
    }
  }
  if (positional.size() != 2) throw TUsageError{"convert needs INPUT and OUTPUT"};
  o.input = positional[0];
  o.output = positional[1];
  const bool ico = Lower(ExtractFileExt(o.output)) == ".ico";
  if (o.size && !o.iconSizes.empty()) throw TUsageError{"--size and --icon-sizes exclude each other"};
  if (ico && (o.resize || o.filter)) throw TUsageError{"--resize and --filter are for non-icon outputs"};
  if (!ico && (o.size || !o.iconSizes.empty() || o.depth || o.bitsPerSample))
    throw TUsageError{"--size, --icon-sizes, --depth and --bits-per-sample are for .ico outputs"};
  return o;
}

// Loads as the window does: a controller attached to the view, its record kept apart
// from the one the icon writer reads.
bool Load(TTalvexView& view, TTalvexIO& loader, const std::string& input) {
  if (!FileExists(input)) {
    Fail(input, "file not found");
    return false;
  }
  AttachControllerToView(loader, view);
  loader.LoadFile(input);
  if (loader.AbortFlag || view.Bitmap() == nullptr || view.Bitmap()->IsEmpty()) {
    Fail(input, "not an image, or a damaged one");
    return false;
  }
  return true;
}

int Convert(const TConvertOptions& o) {
  TTalvexView view;
  TTalvexIO loader;
  if (!Load(view, loader, o.input)) return 1;
  TTalvexIO* out = view.ViewIO();
  if (Lower(ExtractFileExt(o.output)) == ".ico") {
    // The create-icon command's fields, with its defaults.
    TIOParamsVals& p = out->Params();
    const int depth = o.depth.value_or(32);
    if (o.iconSizes.empty()) {
      const TSize s = o.size.value_or(TSize{32, 32});
      p.IconSizes[0] = {s.width, s.height};
      p.IconBitCounts[0] = depth;
    } else {
      for (size_t i = 0; i < o.iconSizes.size(); ++i) {
        p.IconSizes[i] = {o.iconSizes[i].width, o.iconSizes[i].height};
        p.IconBitCounts[i] = depth;
      }
    }
    p.BitsPerSample = o.bitsPerSample.value_or(8);
    out->SaveIconFile(o.output);
  } else {
    if (o.resize) {
      TTalvexProc* proc = view.ViewProc();
      proc->AutoUndo = false;
      proc->Resample(o.resize->width, o.resize->height, o.filter.value_or(rfFastLinear));
    }
    out->SaveFile(o.output);
  }
  if (out->AbortFlag) {
    const std::string ext = Lower(ExtractFileExt(o.output));
    const auto writable = IOWritableExtensions();
    if (ext.empty() || std::find(writable.begin(), writable.end(), ext.substr(1)) == writable.end())
      Fail(o.output, "no writer for this extension (writable: " + WritableList() + ")");
    else
      Fail(o.output, "write failed (the data could not be written)");
    return 1;
  }
  return 0;
}

int Info(const std::string& file) {
  if (!FileExists(file)) {
    Fail(file, "file not found");
    return 1;
  }
  TTalvexIO io;
  io.ReadParamsFile(file);
  TIOParamsVals& p = io.Params();
  if (p.FileType == 0) {
    Fail(file, "not an image, or a damaged one");
    return 1;
  }
  int width = p.Width, height = p.Height;
  if (p.FileType == ioJPEG && p.JPEGOriginalWidth > 0) {
    width = p.JPEGOriginalWidth;
    height = p.JPEGOriginalHeight;
  }
  int frames = 1;
  if (p.FileType == ioGIF && p.GIFImageCount > 1) frames = p.GIFImageCount;
  if (p.FileType == ioTIFF && p.TIFFImageCount > 1) frames = p.TIFFImageCount;
  if (p.FileType == ioICO) {
    // A fresh record: entries past the file's images stay zero, and a 256-pixel
    // entry is stored as 0 x 0 but keeps its bit count.
    int n = 0;
    for (int i = 0; i < kIconEntries; ++i)
      if (p.IconSizes[i].Width != 0 || p.IconSizes[i].Height != 0 || p.IconBitCounts[i] != 0) ++n;
    if (n > 1) frames = n;
  }
  std::string format = p.DescriptiveName();
  if (format.empty()) format = "type " + std::to_string(p.FileType);
  std::printf("format: %s\n", format.c_str());
  std::printf("width: %d\nheight: %d\n", width, height);
  std::printf("bits per sample: %d\nsamples per pixel: %d\n", p.BitsPerSample, p.SamplesPerPixel);
  std::printf("resolution: %d x %d dpi\n", p.DpiX(), p.DpiY());
  std::printf("frames: %d\n", frames);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  for (const std::string& a : args)
    if (a == "--help" || a == "-h") {
      std::fputs(Usage().c_str(), stdout);
      return 0;
    }
  try {
    if (args.empty()) throw TUsageError{"no command given"};
    const std::string command = args[0];
    args.erase(args.begin());
    if (command == "convert") return Convert(ParseConvert(args));
    if (command == "info") {
      if (args.size() != 1) throw TUsageError{"info needs exactly one FILE"};
      return Info(args[0]);
    }
    throw TUsageError{"unknown command '" + command + "'"};
  } catch (const TUsageError& e) {
    std::fprintf(stderr, "quelmar-cli: %s\n%s", e.text.c_str(), Usage().c_str());
    return 2;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "quelmar-cli: %s\n", e.what());
    return 1;
  }
}
