#include "codecs/jpeg.h"

#include <cstdio>  // jpeglib.h needs FILE and size_t first
#include <jerror.h>
#include <jpeglib.h>

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "codecs/common/imageguard.h"
#include "image/bitmap.h"
#include "image/metadata.h"
#include "image/rowconvert.h"
#include "image/types.h"
#include "io/format.h"
#include "io/params.h"
#include "io/progress.h"
#include "platform/stream.h"

// libjpeg's error exit must not return: it longjmps back into the frame that
// called the library. Everything that frame touches lives in plain records
// owned by the caller, so no destructor is skipped and no C++ exception
// crosses the library's C frames; errors become AbortFlag or an exception
// raised afterwards from our own code.
namespace {

constexpr int kBufferSize = 65536;
constexpr int kDefaultDpi = 300;

struct ErrorMgr {
  jpeg_error_mgr pub;
  jmp_buf jump;
  TIOProgress* progress = nullptr;
  bool setsAbort = true;  // finishing a decode ignores errors
  int warnings = 0;
  int lastWarning = 0;
};

[[noreturn]] void ErrorExit(j_common_ptr cinfo) {
  auto* err = reinterpret_cast<ErrorMgr*>(cinfo->err);
  if (err->setsAbort && err->progress) err->progress->Abort();
  longjmp(err->jump, 1);
}

void EmitMessage(j_common_ptr cinfo, int level) {
  auto* err = reinterpret_cast<ErrorMgr*>(cinfo->err);
  if (level == -1) {
    ++err->warnings;
    err->lastWarning = cinfo->err->msg_code;
  }
}

void OutputMessage(j_common_ptr) {}
void FormatMessage(j_common_ptr, char*) {}
void ResetError(j_common_ptr cinfo) {
  auto* err = reinterpret_cast<ErrorMgr*>(cinfo->err);
  err->warnings = 0;
  err->lastWarning = 0;
  cinfo->err->msg_code = 0;
  cinfo->err->num_warnings = 0;
}

void InitErrorMgr(ErrorMgr& e, TIOProgress* progress) {
  jpeg_std_error(&e.pub);
  e.pub.error_exit = ErrorExit;
  e.pub.emit_message = EmitMessage;
  e.pub.output_message = OutputMessage;
  e.pub.format_message = FormatMessage;
  e.pub.reset_error_mgr = ResetError;
  e.progress = progress;
}

struct SourceMgr {
  jpeg_source_mgr pub;
  TStream* stream = nullptr;
  TIOProgress* progress = nullptr;
  bool started = false;  // anything read at all
  JOCTET* buffer = nullptr;
};

void InitSource(j_decompress_ptr) {}

boolean FillInput(j_decompress_ptr cinfo) {
  auto* src = reinterpret_cast<SourceMgr*>(cinfo->src);
  int64_t n = src->stream->Read(src->buffer, kBufferSize);
  if (n <= 0) {
    if (!src->started) src->progress->Abort();
    // Past the data: hand the library an end of image rather than stale bytes.
    WARNMS(cinfo, JWRN_JPEG_EOF);
    src->buffer[0] = 0xFF;
    src->buffer[1] = JPEG_EOI;
    n = 2;
  }
  src->started = true;
  src->pub.next_input_byte = src->buffer;
  src->pub.bytes_in_buffer = size_t(n);
  return TRUE;
}

void SkipInput(j_decompress_ptr cinfo, long count) {
  auto* src = reinterpret_cast<SourceMgr*>(cinfo->src);
  if (count <= 0) return;
  while (count > long(src->pub.bytes_in_buffer)) {
    count -= long(src->pub.bytes_in_buffer);
    FillInput(cinfo);
  }
  src->pub.next_input_byte += count;
  src->pub.bytes_in_buffer -= size_t(count);
}

void TermSource(j_decompress_ptr) {}

void AttachSource(j_decompress_ptr cinfo, SourceMgr& src, TStream& stream, TIOProgress& progress,
                  JOCTET* buffer) {
  src.stream = &stream;
  src.progress = &progress;
  src.buffer = buffer;
  src.pub.init_source = InitSource;
  src.pub.fill_input_buffer = FillInput;
  src.pub.skip_input_data = SkipInput;
  src.pub.resync_to_restart = jpeg_resync_to_restart;
  src.pub.term_source = TermSource;
  src.pub.bytes_in_buffer = 0;
  src.pub.next_input_byte = nullptr;
  cinfo->src = &src.pub;
}

struct DestMgr {
  jpeg_destination_mgr pub;
  TStream* stream = nullptr;
  TIOProgress* progress = nullptr;
  JOCTET* buffer = nullptr;
};

void InitDest(j_compress_ptr cinfo) {
  auto* d = reinterpret_cast<DestMgr*>(cinfo->dest);
  d->pub.next_output_byte = d->buffer;
  d->pub.free_in_buffer = kBufferSize;
}

boolean EmptyOutput(j_compress_ptr cinfo) {
  auto* d = reinterpret_cast<DestMgr*>(cinfo->dest);
  if (!SafeStreamWrite(*d->stream, *d->progress, d->buffer, kBufferSize)) {
    // Keep accepting bytes so the library finishes; the caller sees AbortFlag.
  }
  d->pub.next_output_byte = d->buffer;
  d->pub.free_in_buffer = kBufferSize;
  return TRUE;
}

void TermDest(j_compress_ptr cinfo) {
  auto* d = reinterpret_cast<DestMgr*>(cinfo->dest);
  const int64_t used = kBufferSize - int64_t(d->pub.free_in_buffer);
  if (used > 0) SafeStreamWrite(*d->stream, *d->progress, d->buffer, used);
}

struct ReadJob {
  jpeg_decompress_struct* cinfo = nullptr;
  ErrorMgr* err = nullptr;
  TLXBitmap* bitmap = nullptr;
  TIOParamsVals* params = nullptr;
  TIOProgress* progress = nullptr;
  TStream* tables = nullptr;
  SourceMgr* tablesSrc = nullptr;
  JOCTET* tablesBuffer = nullptr;
  bool noConversion = false;
  bool paramsOnly = false;
  std::vector<uint8_t>* cmykRow = nullptr;
  std::vector<uint8_t*>* rows = nullptr;
  bool decompressing = false;
};

int ScaleDenominator(const TIOParamsVals& p, JDIMENSION w, JDIMENSION h) {
  switch (p.JPEGScale) {
    case 1: return 1;
    case 2: return 2;
    case 3: return 4;
    case 4: return 8;
    case 0:
      if (p.Width > 0 && p.Height > 0) {
        for (int d : {8, 4, 2, 1})
          if (int64_t(w / JDIMENSION(d)) >= p.Width && int64_t(h / JDIMENSION(d)) >= p.Height) return d;
      }
      return 1;
    default: return 1;
  }
}

// Steps that may longjmp back here; returns normally either way.
void ReadProtected(ReadJob& job) {
  jpeg_decompress_struct& c = *job.cinfo;
  TIOParamsVals& p = *job.params;
  TIOProgress& prog = *job.progress;
  if (setjmp(job.err->jump)) {
    prog.Abort();
    return;
  }
  jpeg_save_markers(&c, JPEG_COM, 0xFFFF);
  for (int m = 0; m < 16; ++m) jpeg_save_markers(&c, JPEG_APP0 + m, 0xFFFF);
  jpeg_read_header(&c, TRUE);
  p.BitsPerSample = 8;
  bool swapCMYK = false;
  switch (c.jpeg_color_space) {
    case JCS_RGB:
      p.JPEGColorSpace = 0, p.SamplesPerPixel = 3, c.out_color_space = JCS_EXT_BGR;
      break;
    case JCS_GRAYSCALE:
      p.JPEGColorSpace = 1, p.SamplesPerPixel = 1, c.out_color_space = JCS_EXT_BGR;
      break;
    case JCS_YCbCr:
      p.JPEGColorSpace = 2, p.SamplesPerPixel = 3, c.out_color_space = JCS_EXT_BGR;
      break;
    case JCS_CMYK:
      p.JPEGColorSpace = 3, p.SamplesPerPixel = 4, c.out_color_space = JCS_CMYK, swapCMYK = true;
      break;
    case JCS_YCCK:
      p.JPEGColorSpace = 4, p.SamplesPerPixel = 4, c.out_color_space = JCS_CMYK, swapCMYK = true;
      break;
    default:
      p.SamplesPerPixel = c.num_components;
      break;
  }
  if (job.noConversion) c.out_color_space = JCS_YCbCr;
  switch (p.JPEGDCTMethod) {
    case 1: c.dct_method = JDCT_IFAST; break;
    case 2: c.dct_method = JDCT_FLOAT; break;
    default: c.dct_method = JDCT_ISLOW; break;
  }
  if (c.density_unit == 0 || c.density_unit == 1) {
    p.SetDpiX(c.X_density);
    p.SetDpiY(c.Y_density);
  } else if (c.density_unit == 2) {
    p.SetDpiX(int32_t(std::trunc(c.X_density * 2.54)));
    p.SetDpiY(int32_t(std::trunc(c.Y_density * 2.54)));
  }
  p.FreeColorMap();
  p.JPEGProgressive = jpeg_has_multiple_scans(&c) != 0 || c.progressive_mode;
  p.JPEGOriginalWidth = int32_t(c.image_width);
  p.JPEGOriginalHeight = int32_t(c.image_height);
  c.scale_num = 1;
  c.scale_denom = unsigned(ScaleDenominator(p, c.image_width, c.image_height));

  if (job.paramsOnly) {
    // The output size without decoding a progressive file's every scan.
    jpeg_calc_output_dimensions(&c);
    p.Width = int32_t(c.output_width);
    p.Height = int32_t(c.output_height);
    return;
  }
  jpeg_calc_output_dimensions(&c);
  const int width = int(c.output_width), height = int(c.output_height);
  // A colour space libjpeg cannot identify can be shown only when it has three components.
  if (c.out_color_space == JCS_UNKNOWN && c.out_color_components != 3) {
    prog.Abort();
    return;
  }
  // The size rule: a multi-scan file keeps every coefficient (128 bytes a block)
  // until its last scan, and that memory counts together with the bitmap; and
  // every block of the frame costs at least one bit of the entropy-coded data
  // left in the stream, so a short file cannot claim a huge frame (libjpeg would
  // fill the missing rows at length).
  int64_t coefficientBytes = 0, blocks = 0;
  for (int i = 0; i < c.num_components; ++i) {
    const jpeg_component_info& comp = c.comp_info[i];
    const int64_t w = (int64_t(comp.width_in_blocks) + comp.h_samp_factor - 1) / comp.h_samp_factor * comp.h_samp_factor;
    const int64_t h = (int64_t(comp.height_in_blocks) + comp.v_samp_factor - 1) / comp.v_samp_factor * comp.v_samp_factor;
    blocks += int64_t(comp.width_in_blocks) * comp.height_in_blocks;
    if (jpeg_has_multiple_scans(&c) || c.buffered_image) coefficientBytes += w * h * DCTSIZE2 * int64_t(sizeof(JCOEF));
  }
  const auto* src = reinterpret_cast<const SourceMgr*>(c.src);
  const TImageClaim claim{.Width = width,
                          .Height = height,
                          .BitmapBits = 24,
                          .ExtraBytes = coefficientBytes,
                          .Units = blocks,
                          .CodedBytes = int64_t(c.src->bytes_in_buffer) + src->stream->Remaining(),
                          .UnitsPerByte = kJPEGBlocksPerByte};
  if (!ImageClaimFits(claim)) {
    prog.Abort();
    return;
  }
  TLXBitmap& bmp = *job.bitmap;
  bmp.Allocate(width, height, lx24RGB);
  if (bmp.Width() != width || bmp.Height() != height) {
    prog.Abort();  // refused by the size guard
    return;
  }
  jpeg_start_decompress(&c);
  job.decompressing = true;
  p.Width = int32_t(c.output_width);
  p.Height = int32_t(c.output_height);

  prog.step = 100.0 / height;
  prog.counter = 0;
  // Rows of a memory block can be decoded straight in, several at a time.
  const bool direct = !swapCMYK && bmp.Location() == lxMemory;
  if (swapCMYK) job.cmykRow->resize(size_t(width) * 4);
  std::vector<uint8_t*>& rows = *job.rows;
  rows.resize(16);
  while (c.output_scanline < c.output_height) {
    const int y = int(c.output_scanline);
    JDIMENSION got;
    if (swapCMYK) {
      JSAMPROW r = job.cmykRow->data();
      got = jpeg_read_scanlines(&c, &r, 1);
      if (got) CMYKRowConverter(job.cmykRow->data(), rkCMYK, bmp.Scanline(y), rkBGR, width);
    } else if (direct) {
      const int n = std::min<int>(16, height - y);
      for (int i = 0; i < n; ++i) rows[size_t(i)] = bmp.Scanline(y + i);
      got = jpeg_read_scanlines(&c, rows.data(), JDIMENSION(n));
    } else {
      JSAMPROW r = bmp.Scanline(y);
      got = jpeg_read_scanlines(&c, &r, 1);
    }
    if (got == 0) break;
    prog.counter += int32_t(got);
    prog.Report(prog.counter);
    if (prog.Aborted()) break;
  }
  if (c.output_scanline < c.output_height) prog.Abort();
}

void FinishProtected(jpeg_decompress_struct& c, ErrorMgr& err) {
  err.setsAbort = false;
  if (setjmp(err.jump)) return;
  jpeg_finish_decompress(&c);
}

void ReadTablesProtected(jpeg_decompress_struct& c, ErrorMgr& err, bool& failed) {
  if (setjmp(err.jump)) {
    failed = true;
    return;
  }
  jpeg_read_header(&c, FALSE);
}

}  // namespace

std::string JPEGMessageText(int code) {
  jpeg_error_mgr e;
  jpeg_std_error(&e);
  if (code < 0 || code > e.last_jpeg_message || !e.jpeg_message_table[code]) return "Corrupted";
  std::string out;
  for (const char* s = e.jpeg_message_table[code]; *s; ++s) {
    if (*s == '%' && s[1] == '%') {
      out += '%';
      ++s;
    } else if (*s == '%') {
      ++s;
      while (*s && std::strchr("0123456789.-+ #l", *s)) ++s;
      if (!*s) break;
      out += '?';
    } else {
      out += *s;
    }
  }
  return out;
}

int64_t FindJPEGStart(TStream& stream) {
  const int64_t start = stream.Position();
  uint8_t buf[102];
  const int64_t n = stream.Read(buf, sizeof buf);
  stream.SetPosition(start);
  for (int64_t i = 0; i + 2 < n && i < 100; ++i)
    if (buf[i] == 0xFF && buf[i + 1] == 0xD8 && buf[i + 2] == 0xFF) return start + i;
  return -1;
}

void JPEGReadStream(TStream& stream, TLXBitmap* bitmap, TIOParamsVals& params, TIOProgress& progress,
                    bool paramsOnly, TStream* tablesStream, bool noConversion) {
  params.JPEGWarningInfo = 0;
  params.JPEGWarningCode = 0;
  const int64_t start = FindJPEGStart(stream);
  if (start < 0) {
    progress.Abort();
    return;
  }
  stream.SetPosition(start);

  jpeg_decompress_struct cinfo;
  std::memset(&cinfo, 0, sizeof cinfo);
  ErrorMgr err;
  InitErrorMgr(err, &progress);
  cinfo.err = &err.pub;
  if (setjmp(err.jump)) {  // only jpeg_create_decompress can land here
    progress.Abort();
    jpeg_destroy_decompress(&cinfo);
    return;
  }
  jpeg_create_decompress(&cinfo);
  std::vector<JOCTET> buffer(kBufferSize), tablesBuffer;
  SourceMgr src, tablesSrc;
  if (tablesStream && tablesStream != &stream) {
    tablesBuffer.resize(kBufferSize);
    AttachSource(&cinfo, tablesSrc, *tablesStream, progress, tablesBuffer.data());
    bool failed = false;
    ReadTablesProtected(cinfo, err, failed);
    if (failed) progress.Abort();
  }
  AttachSource(&cinfo, src, stream, progress, buffer.data());

  std::vector<uint8_t> cmykRow;
  std::vector<uint8_t*> rows;
  ReadJob job;
  job.cinfo = &cinfo;
  job.err = &err;
  job.bitmap = bitmap;
  job.params = &params;
  job.progress = &progress;
  job.noConversion = noConversion;
  job.paramsOnly = paramsOnly;
  job.cmykRow = &cmykRow;
  job.rows = &rows;
  if (!progress.Aborted()) ReadProtected(job);

  TLXMarkerList& markers = *params.JPEGMarkers;
  markers.ClearMarkers();
  bool first = true;
  for (jpeg_saved_marker_ptr m = cinfo.marker_list; m; m = m->next) {
    if (!(first && m->marker == JPEG_APP0)) markers.AddMarker(m->marker, m->data, m->data_length);
    first = false;
  }
  if (!progress.Aborted() && !paramsOnly && job.decompressing) FinishProtected(cinfo, err);
  jpeg_destroy_decompress(&cinfo);
  if (err.warnings > 0) {
    params.JPEGWarningInfo = err.warnings;
    params.JPEGWarningCode = err.lastWarning;
  }
}

namespace {

struct WriteJob {
  jpeg_compress_struct* cinfo = nullptr;
  ErrorMgr* err = nullptr;
  TLXBitmap* bitmap = nullptr;
  TIOParamsVals* params = nullptr;
  TIOProgress* progress = nullptr;
  std::vector<uint8_t>* rowBuffer = nullptr;
  bool started = false;
};

// Returns false after a library error.
bool WriteProtected(WriteJob& job) {
  jpeg_compress_struct& c = *job.cinfo;
  TIOParamsVals& p = *job.params;
  TIOProgress& prog = *job.progress;
  TLXBitmap& bmp = *job.bitmap;
  if (setjmp(job.err->jump)) return false;
  const bool cmyk = p.JPEGColorSpace == 3 || p.JPEGColorSpace == 4;
  const int width = bmp.Width(), height = bmp.Height();
  c.image_width = JDIMENSION(width);
  c.image_height = JDIMENSION(height);
  c.input_components = cmyk ? 4 : 3;
  c.in_color_space = cmyk ? JCS_CMYK : JCS_EXT_BGR;
  jpeg_set_defaults(&c);
  switch (p.JPEGColorSpace) {
    case 0: jpeg_set_colorspace(&c, JCS_RGB); break;
    case 1: jpeg_set_colorspace(&c, JCS_GRAYSCALE); break;
    case 3: jpeg_set_colorspace(&c, JCS_CMYK); break;
    case 4: jpeg_set_colorspace(&c, JCS_YCCK); break;
    default: jpeg_set_colorspace(&c, JCS_YCbCr); break;
  }
  auto density = [](int32_t dpi) { return UINT16(std::clamp<int32_t>(dpi == 0 ? kDefaultDpi : dpi, 1, 65535)); };
  // jpeg_set_colorspace leaves JFIF out for RGB, CMYK and YCCK (an Adobe marker
  // tells those apart); forcing it would make readers take RGB for YCbCr.
  c.density_unit = 1;
  c.X_density = density(p.DpiX());
  c.Y_density = density(p.DpiY());
  switch (p.JPEGDCTMethod) {
    case 1: c.dct_method = JDCT_IFAST; break;
    case 2: c.dct_method = JDCT_FLOAT; break;
    default: c.dct_method = JDCT_ISLOW; break;
  }
  c.optimize_coding = p.JPEGOptimalHuffman ? TRUE : FALSE;
  c.smoothing_factor = std::clamp<int32_t>(p.JPEGSmoothing, 0, 100);
  jpeg_set_quality(&c, std::clamp<int32_t>(p.JPEGQuality, 1, 100), TRUE);
  if (p.JPEGProgressive) jpeg_simple_progression(&c);
  jpeg_start_compress(&c, TRUE);
  job.started = true;
  const TLXMarkerList& markers = *p.JPEGMarkers;
  for (int i = 0; i < markers.Count(); ++i)
    if (markers.MarkerType(i) != 0xEE)
      jpeg_write_marker(&c, markers.MarkerType(i), markers.MarkerData(i), unsigned(markers.MarkerLength(i)));

  prog.step = 100.0 / height;
  prog.counter = 0;
  if (cmyk) job.rowBuffer->resize(size_t(width) * 4);
  for (int y = 0; y < height; ++y) {
    JSAMPROW row;
    if (cmyk) {
      CMYKRowConverter(bmp.Scanline(y), rkBGR, job.rowBuffer->data(), rkCMYK, width);
      row = job.rowBuffer->data();
    } else {
      row = bmp.Scanline(y);
    }
    jpeg_write_scanlines(&c, &row, 1);
    ++prog.counter;
    prog.Report(prog.counter);
    if (prog.Aborted()) break;
  }
  if (!prog.Aborted()) jpeg_finish_compress(&c);
  return true;
}

bool CompressAll(jpeg_compress_struct& cinfo, ErrorMgr& err, DestMgr& dest, WriteJob& job) {
  if (setjmp(err.jump)) return false;
  jpeg_create_compress(&cinfo);
  cinfo.dest = &dest.pub;
  return WriteProtected(job);
}

}  // namespace

void JPEGWriteStream(TStream& stream, TLXBitmap* bitmap, TIOParamsVals& params, TIOProgress& progress) {
  TLXBitmap copy;
  TLXBitmap* src = bitmap;
  if (bitmap->PixelFormat() != lx24RGB) {
    copy.Assign(bitmap);
    copy.SetPixelFormat(lx24RGB);
    src = &copy;
  }
  if (src->Width() <= 0 || src->Height() <= 0) {
    progress.Abort();
    return;
  }
  jpeg_compress_struct cinfo;
  std::memset(&cinfo, 0, sizeof cinfo);
  ErrorMgr err;
  InitErrorMgr(err, &progress);
  cinfo.err = &err.pub;
  std::vector<JOCTET> buffer(kBufferSize);
  std::vector<uint8_t> rowBuffer;
  DestMgr dest;
  dest.stream = &stream;
  dest.progress = &progress;
  dest.buffer = buffer.data();
  dest.pub.init_destination = InitDest;
  dest.pub.empty_output_buffer = EmptyOutput;
  dest.pub.term_destination = TermDest;
  WriteJob job;
  job.cinfo = &cinfo;
  job.err = &err;
  job.bitmap = src;
  job.params = &params;
  job.progress = &progress;
  job.rowBuffer = &rowBuffer;
  const bool ok = CompressAll(cinfo, err, dest, job);
  int code = 0;
  if (!ok) code = err.pub.msg_code;
  jpeg_destroy_compress(&cinfo);
  if (!ok) {
    progress.Abort();
    throw ELXJpegException(JPEGMessageText(code));
  }
}

// ---------------------------------------------------------------------------

void JPEGLoadMetadata(TIOParamsVals& params) {
  TLXMarkerList& markers = *params.JPEGMarkers;
  const int iptc = markers.IndexOf(237);
  if (iptc >= 0) params.IPTCInfo->LoadFromBlock(markers.MarkerData(iptc), markers.MarkerLength(iptc));
}

void JPEGSaveMetadata(TIOParamsVals& params) {
  TLXMarkerList& markers = *params.JPEGMarkers;
  if (!params.IPTCInfo->UserChanged) return;
  const std::vector<uint8_t> block = params.IPTCInfo->SaveToBlock(true);
  const int iptc = markers.IndexOf(237);
  if (!block.empty()) {
    if (iptc >= 0)
      markers.SetMarker(iptc, 237, int64_t(block.size()), block.data());
    else
      markers.AddMarker(237, block.data(), int64_t(block.size()));
  } else if (iptc >= 0) {
    markers.DeleteMarker(iptc);
  }
}

namespace {

// A "JFIF" stream header: bytes 0..4 read as text up to the first zero byte.
bool HasJFIFStreamHeader(TStream& s) {
  char b[5] = {};
  s.Read(b, 5);
  return std::string(b, strnlen(b, 5)) == "JFIF";
}

std::string JPEGDetail(const TIOParamsVals& p) {
  static const char* const kNames[] = {"", " Gray level", " YCbCr", " CMYK", " YCbCrK"};
  return p.JPEGColorSpace < std::size(kNames) ? kNames[p.JPEGColorSpace] : "";
}

}  // namespace

const TIOFormat& JPEGFormat() {
  static const TIOFormat row{
      .FileType = ioJPEG,
      .DisplayName = "JPEG Bitmap",
      .RegistryExtensions = "JPG;JPEG;JPE",
      .DialogPages = ppJPEG,
      .Readable = true,
      .Writable = true,
      .Extensions = "jpg;jpeg;jpe",
      .Routes = iorLoad | iorSave,
      .Read = [](TStream& s, TLXBitmap* b, TIOParamsVals& p, TIOProgress& pr, TIOReadCall& c) {
        JPEGReadStream(s, b, p, pr, c.ParamsOnly);
      },
      .Write = [](TStream& s, TLXBitmap* b, TIOParamsVals& p, TIOProgress& pr, TIOWriteCall&) {
        JPEGWriteStream(s, b, p, pr);
      },
      .Content = {140, -1, [](TStream& s) { return FindJPEGStart(s) >= 0; }},
      .Signatures = {{10, 12, HasJFIFStreamHeader}},
      .ViewDpiFile = true,
      .ViewDpiStream = true,
      .AfterRead = JPEGLoadMetadata,
      .RGBOrMono = true,
      .BeforeWrite = JPEGSaveMetadata,
      .StreamHeader = {.Tag = "JFIF", .Optional = true},
      .Detail = JPEGDetail,
  };
  return row;
}
