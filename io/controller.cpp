#include "io/controller.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstring>

#include "image/bitmap.h"
#include "image/mask.h"
#include "image/metadata.h"
#include "io/codectable.h"
#include "io/registry.h"
#include "io/safefile.h"
#include "platform/files.h"
#include "platform/stream.h"
#include "proc/resample.h"

namespace {

std::string Lower(std::string s) {
  for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// Lower-cased extension with its dot, e.g. ".jpg"; empty when the name has none.
std::string LowerExt(const std::string& name) { return Lower(ExtractFileExt(name)); }

struct TExtCode {
  const char* ext;
  int32_t code;
};

constexpr TExtCode kLoadExtensions[] = {
    {".jpg", ioJPEG}, {".jpeg", ioJPEG}, {".jpe", ioJPEG}, {".jp2", ioJP2},   {".j2k", ioJ2K},
    {".jpc", ioJ2K},  {".j2c", ioJ2K},   {".png", ioPNG},  {".tif", ioTIFF},  {".tiff", ioTIFF},
    {".fax", ioTIFF}, {".g3n", ioTIFF},  {".g3f", ioTIFF}, {".pcx", ioPCX},   {".gif", ioGIF},
    {".wmf", ioWMF},  {".emf", ioEMF},   {".bmp", ioBMP},  {".dib", ioBMP},   {".rle", ioBMP},
    {".cur", ioCUR},  {".ico", ioICO},   {".tga", ioTGA},  {".targa", ioTGA}, {".vda", ioTGA},
    {".icb", ioTGA},  {".vst", ioTGA},   {".win", ioTGA},  {".pxm", ioPXM},   {".ppm", ioPXM},
    {".pgm", ioPXM},  {".pbm", ioPXM},   {".wbmp", ioWBMP}, {".avi", ioAVI},
};

constexpr TExtCode kSaveExtensions[] = {
    {".jpg", ioJPEG}, {".jpeg", ioJPEG}, {".jpe", ioJPEG}, {".jp2", ioJP2},   {".j2k", ioJ2K},
    {".jpc", ioJ2K},  {".j2c", ioJ2K},   {".pcx", ioPCX},  {".gif", ioGIF},   {".tif", ioTIFF},
    {".tiff", ioTIFF}, {".fax", ioTIFF}, {".g3f", ioTIFF}, {".g3n", ioTIFF},  {".png", ioPNG},
    {".bmp", ioBMP},  {".dib", ioBMP},   {".rle", ioBMP},  {".tga", ioTGA},   {".targa", ioTGA},
    {".vda", ioTGA},  {".icb", ioTGA},   {".vst", ioTGA},  {".win", ioTGA},   {".pxm", ioPXM},
    {".pbm", ioPXM},  {".pgm", ioPXM},   {".ppm", ioPXM},  {".ico", ioICO},   {".wbmp", ioWBMP},
    {".ps", ioPS},    {".eps", ioPS},    {".pdf", ioPDF},
};

template <size_t N>
int32_t CodeForExtension(const TExtCode (&table)[N], const std::string& ext) {
  for (const auto& e : table)
    if (ext == e.ext) return e.code;
  return ioUnknown;
}

// How each format's load differs from the common skeleton.
struct TLoadRules {
  int32_t code;
  bool alphaFromMask;
  bool viewDpiFile;
  bool viewDpiStream;
  bool autoAdjust;
};

constexpr TLoadRules kLoadRules[] = {
    {ioBMP, false, true, false, true},  {ioGIF, true, false, false, true},
    {ioJPEG, false, true, true, true},  {ioPCX, false, true, true, true},
    {ioTIFF, true, true, true, true},   {ioPNG, true, true, true, true},
    {ioTGA, true, true, false, true},   {ioICO, true, true, false, true},
    {ioCUR, true, true, false, true},   {ioPXM, false, false, false, true},
    {ioWBMP, false, false, false, false}, {ioJP2, false, true, true, true},
    {ioJ2K, false, true, true, true},
};

const TLoadRules& RulesFor(int32_t code) {
  static constexpr TLoadRules kNone{0, false, false, false, true};
  for (const auto& r : kLoadRules)
    if (r.code == code) return r;
  return kNone;
}

// Writers that take only 24-bit colour or black and white.
bool NeedsRGBOrMono(int32_t code) {
  switch (code) {
    case ioJPEG: case ioPCX: case ioTGA: case ioICO: case ioPXM: case ioWBMP:
    case ioJP2: case ioJ2K: case ioPS: case ioPDF:
      return true;
    default:
      return false;
  }
}

// Codes the stream header applies to, with their tags.
const char* StreamHeaderTag(int32_t code) {
  switch (code) {
    case ioJPEG: return "JFIF";
    case ioPCX: return "PCX2";
    case ioTIFF: return "TIFF";
    default: return nullptr;
  }
}

constexpr int kStreamHeaderSize = 12;

struct TStreamHeader {
  std::string tag;      // text of bytes 0..4 up to the first zero byte
  uint32_t length = 0;  // bytes 8..11, little-endian
};

// Reads a 12-byte header at the position; false when the stream holds fewer bytes.
bool ReadStreamHeader(TStream& stream, TStreamHeader& header) {
  uint8_t b[kStreamHeaderSize] = {};
  if (stream.Read(b, kStreamHeaderSize) != kStreamHeaderSize) return false;
  header.tag.assign(reinterpret_cast<const char*>(b), strnlen(reinterpret_cast<const char*>(b), 5));
  header.length = uint32_t(b[8]) | uint32_t(b[9]) << 8 | uint32_t(b[10]) << 16 | uint32_t(b[11]) << 24;
  return true;
}

void FillStreamHeader(uint8_t (&b)[kStreamHeaderSize], const char* tag, int64_t length) {
  std::memset(b, 0, sizeof b);
  std::memcpy(b, tag, 4);
  const uint32_t n = uint32_t(std::clamp<int64_t>(length, 0, UINT32_MAX));
  b[8] = uint8_t(n);
  b[9] = uint8_t(n >> 8);
  b[10] = uint8_t(n >> 16);
  b[11] = uint8_t(n >> 24);
}

}  // namespace

// ---------------------------------------------------------------- lifecycle

TTalvexIO::TTalvexIO() {
  NewOwnBitmap();
  params_ = std::make_unique<TIOParamsVals>(this);
}

TTalvexIO::~TTalvexIO() { Unregister(); }

void TTalvexIO::NewOwnBitmap() {
  ownBitmap_ = std::make_unique<TLXBitmap>();
  bitmap_ = ownBitmap_.get();
}

void TTalvexIO::ReleaseTarget() {
  ownBitmap_.reset();
  bitmap_ = nullptr;
}

void TTalvexIO::Unregister() {
  if (view_ && viewHandle_ >= 0) view_->LinkUnregister(viewHandle_);
  view_ = nullptr;
  viewHandle_ = -1;
}

void TTalvexIO::SetNativePixelFormat(bool value) {
  nativePixelFormat_ = value;
  params_->NativePixelFormat = value;
}

int32_t TTalvexIO::Background() { return view_ ? view_->LinkBackground() : background_; }

void TTalvexIO::SetBackground(int32_t colour) {
  if (!view_) background_ = colour;
}

// ---------------------------------------------------------------- attaching

void TTalvexIO::SetAttachedView(TIOViewLink* view) {
  Unregister();
  graphic_ = nullptr;
  if (!view) {
    NewOwnBitmap();
    return;
  }
  view_ = view;
  if (TLXBitmap* own = view->LinkBitmap()) {
    ReleaseTarget();
    bitmap_ = own;
  } else {
    NewOwnBitmap();
    graphic_ = view->LinkPlatformBitmap();
    if (graphic_) bitmap_->CopyFromTBitmap(graphic_);
  }
  viewHandle_ = view->LinkRegister(&TTalvexIO::ViewCallback, this);
}

void TTalvexIO::ViewCallback(void* context, TIOViewEvent event) {
  auto* io = static_cast<TTalvexIO*>(context);
  if (!io->view_) return;
  if (event == ioveBitmapChanged) {
    if (TLXBitmap* b = io->view_->LinkBitmap()) {
      io->ReleaseTarget();
      io->bitmap_ = b;
      io->graphic_ = nullptr;
    }
  } else if (event == ioveDestroying) {
    // The view's bitmap goes with it: fall back to an own one rather than keep a dangling target.
    io->view_ = nullptr;
    io->viewHandle_ = -1;
    io->graphic_ = nullptr;
    if (!io->OwnsBitmap()) io->NewOwnBitmap();
  }
}

void TTalvexIO::AttachBitmap(TLXBitmap* bitmap) {
  if (!bitmap && view_) return;
  Unregister();
  ReleaseTarget();
  bitmap_ = bitmap;
  graphic_ = nullptr;
}

void TTalvexIO::AttachTBitmap(TBitmap* bitmap) {
  if (!bitmap && view_) return;
  Unregister();
  NewOwnBitmap();
  graphic_ = bitmap;
  if (graphic_) bitmap_->CopyFromTBitmap(graphic_);
}

TBitmap* TTalvexIO::GetTBitmap() {
  if (bitmap_ && bitmap_->Location() == lxTBitmap) return bitmap_->SystemBitmap();
  return graphic_;
}

// ---------------------------------------------------------------- supporting operations

TIOProgress TTalvexIO::MakeProgress(bool withCallback) {
  TIOProgress p;
  p.abort = &AbortFlag;
  if (withCallback) {
    p.callback = OnProgress.Callback;
    p.context = OnProgress.Context;
    p.sender = this;
  }
  return p;
}

void TTalvexIO::FinishWork() {
  if (OnProgress.Callback) OnProgress.Callback(OnProgress.Context, this, 100);
  if (OnFinishWork.Callback) OnFinishWork.Callback(OnFinishWork.Context, this);
}

bool TTalvexIO::PrepareBitmap() {
  if (!bitmap_) return false;
  if (graphic_) bitmap_->CopyFromTBitmap(graphic_);
  return true;
}

void TTalvexIO::UpdateAttached() {
  if (graphic_ && bitmap_) {
    bitmap_->RemoveAlphaChannel();
    // The caller's platform bitmap shows what was loaded.
    if (!view_) bitmap_->CopyToTBitmap(graphic_);
  }
  if (view_) {
    if (IsIOThread())
      view_->LinkPostRefresh();
    else
      view_->LinkRefresh();
    view_->LinkImageChanged();
  }
}

void TTalvexIO::AdjustDPI() {
  TIOParamsVals& p = *params_;
  if (p.dpiX_ == p.dpiY_ || p.dpiX_ <= 0 || p.dpiY_ <= 0 || !PrepareBitmap() || bitmap_->IsEmpty()) return;
  const int w = bitmap_->Width(), h = bitmap_->Height();
  const bool tall = h < w;  // the smaller side is rescaled
  const double scaled = tall ? double(h) / p.dpiY_ * p.dpiX_ : double(w) / p.dpiX_ * p.dpiY_;
  const int64_t side = int64_t(std::trunc(scaled));
  const int newW = tall ? w : int(std::min<int64_t>(side, INT32_MAX));
  const int newH = tall ? int(std::min<int64_t>(side, INT32_MAX)) : h;
  // An absurd ratio must not turn into an absurd allocation.
  if (side <= 0 || !CheckedImageBytes(newW, newH, 24)) return;
  StretchForDPI(bitmap_, newW, newH, FilteredAdjustDPI);
  if (bitmap_->Width() != newW || bitmap_->Height() != newH) return;
  if (tall) {
    p.dpiY_ = p.dpiX_;
    p.Height = newH;
  } else {
    p.dpiX_ = p.dpiY_;
    p.Width = newW;
  }
}

bool TTalvexIO::IsIOThread() {
  std::lock_guard<std::mutex> guard(lock_);
  return std::find(ioThreads_.begin(), ioThreads_.end(), std::this_thread::get_id()) != ioThreads_.end();
}

void TTalvexIO::ApplyDefaultDpi() {
  if (params_->DpiX() < 2) params_->SetDpiX(kIODefaultDpi);
  if (params_->DpiY() < 2) params_->SetDpiY(kIODefaultDpi);
}

void TTalvexIO::ReadJPEGMetadata() {
  TLXMarkerList& markers = *params_->JPEGMarkers;
  const int iptc = markers.IndexOf(237);
  if (iptc >= 0) params_->IPTCInfo->LoadFromBlock(markers.MarkerData(iptc), markers.MarkerLength(iptc));
}

void TTalvexIO::WriteJPEGMetadata() {
  TLXMarkerList& markers = *params_->JPEGMarkers;
  if (params_->IPTCInfo->UserChanged) {
    const std::vector<uint8_t> block = params_->IPTCInfo->SaveToBlock(true);
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
}

void TTalvexIO::ConvertForWriter() {
  if (!bitmap_ || bitmap_->IsEmpty()) return;
  const TLXPixelFormat f = bitmap_->PixelFormat();
  if (f != lx24RGB && f != lx1g) bitmap_->SetPixelFormat(lx24RGB);
}

// ---------------------------------------------------------------- detection

int32_t TTalvexIO::DetectStreamFormat(TStream& stream) {
  const int64_t start = stream.Position();
  int32_t code = ioUnknown;
  try {
    const int64_t size = stream.Size();
    // Reads the first n bytes from the start (missing bytes stay zero).
    auto head = [&](int n) {
      std::array<uint8_t, 128> b{};
      stream.SetPosition(start);
      stream.Read(b.data(), n);
      stream.SetPosition(start);
      return b;
    };
    auto text5 = [](const std::array<uint8_t, 128>& b) {
      return std::string(reinterpret_cast<const char*>(b.data()), strnlen(reinterpret_cast<const char*>(b.data()), 5));
    };
    auto test = [&](TIOCodecTest fn) {
      if (!fn) return false;
      stream.SetPosition(start);
      const bool yes = fn(stream);
      stream.SetPosition(start);
      return yes;
    };
    auto codecTest = [&](int32_t c) {
      const TIOCodecEntry* e = IOFindCodec(c);
      return e && test(e->IsFormat);
    };

    for (const auto& f : IOFileFormats()) {
      if (f.TryStream && test(f.TryStream)) {
        code = f.FileType;
        break;
      }
    }
    if (code == ioUnknown) {
      if (size > 12 && text5(head(12)) == "JFIF") code = ioJPEG;
      else if (size > 13 && std::memcmp(head(13).data(), "GIF", 3) == 0) code = ioGIF;
      else if (size > 12 && text5(head(12)) == "PCX2") code = ioPCX;
      else if (size > 4 && [&] { auto b = head(4); return std::memcmp(b.data(), "PCX", 4) == 0; }()) code = ioPCX;
      else if (size > 14 && std::memcmp(head(14).data(), "BM", 2) == 0) code = ioBMP;
      else if (size > 128 && [&] { auto b = head(128); return b[0] == 10 && b[1] <= 5; }()) code = ioPCX;
      else if (size > 12 && text5(head(12)) == "TIFF") code = ioTIFF;
      else if (size > 8 && [&] { auto b = head(8); return (b[0] == 'I' && b[1] == 'I') || (b[0] == 'M' && b[1] == 'M'); }()) code = ioTIFF;
      else if (size > 8 && codecTest(ioPNG)) code = ioPNG;
      else {
        for (int32_t c : {ioICO, ioCUR, ioTGA, ioPXM, ioJPEG, ioJP2, ioJ2K}) {
          if (codecTest(c)) {
            code = c;
            break;
          }
        }
        if (code == ioUnknown) {
          auto b = head(12);
          if (std::memcmp(b.data(), "RIFF", 4) == 0 && std::memcmp(b.data() + 8, "AVI ", 4) == 0) code = ioAVI;
        }
      }
    }
  } catch (...) {
    code = ioUnknown;
  }
  try {
    stream.SetPosition(start);
  } catch (...) {
  }
  return code;
}

int32_t TTalvexIO::DetectFileFormat(const std::string& fileName, bool checkExtension) {
  int32_t code = ioUnknown;
  try {
    TFileStream f(fileName, TFileMode::fmOpenRead);
    code = DetectStreamFormat(f);
  } catch (...) {
    return ioUnknown;
  }
  if (checkExtension && code != ioUnknown) {
    std::string ext = LowerExt(fileName);
    if (!ext.empty()) ext.erase(0, 1);
    const TIOFileFormatInfo* entry = IOFindFormatByExtension(ext);
    if (!entry) return ioUnknown;
    // Icons and cursors share their layout; the extension tells them apart.
    if ((code == ioICO || code == ioCUR) && (entry->FileType == ioICO || entry->FileType == ioCUR))
      return entry->FileType;
    return entry->FileType == code ? code : ioUnknown;
  }
  return code;
}

// ---------------------------------------------------------------- load skeletons

void TTalvexIO::LoadCodecFile(const std::string& fileName, int32_t fileType) {
  AbortFlag = true;
  if (!PrepareBitmap()) {
    FinishWork();
    return;
  }
  const TIOCodecEntry* codec = IOFindCodec(fileType);
  params_->ResetInfo();
  try {
    TFileStream file(fileName, TFileMode::fmOpenRead);
    if (codec && codec->Read) {
      AbortFlag = false;
      const TLoadRules& rules = RulesFor(fileType);
      TIOProgress progress = MakeProgress(true);
      bitmap_->RemoveAlphaChannel();
      TIOReadCall call;
      call.DataSize = file.Size();
      try {
        codec->Read(file, bitmap_, *params_, progress, call);
      } catch (const std::exception&) {
        AbortFlag = true;
      }
      if (rules.alphaFromMask && call.Mask) bitmap_->AlphaChannel()->CopyFromMask(call.Mask.get());
      ApplyDefaultDpi();
      if (fileType == ioJPEG) ReadJPEGMetadata();
      if (AutoAdjustDPI && rules.autoAdjust) AdjustDPI();
      params_->FileName = fileName;
      params_->FileType = fileType;
      if (view_ && rules.viewDpiFile) view_->LinkSetDPI(params_->DpiX(), params_->DpiY());
      UpdateAttached();
    }
  } catch (...) {
    FinishWork();
    throw;
  }
  FinishWork();
}

void TTalvexIO::LoadCodecStream(TStream& stream, int32_t fileType) {
  AbortFlag = false;
  if (!PrepareBitmap()) {
    AbortFlag = true;  // nothing to work on is a failure, not a success
    FinishWork();
    return;
  }
  const TIOCodecEntry* codec = IOFindCodec(fileType);
  if (!codec || !codec->Read) {
    AbortFlag = true;
    FinishWork();
    return;
  }
  params_->ResetInfo();
  const TLoadRules& rules = RulesFor(fileType);
  TIOReadCall call;
  call.DataSize = stream.Size();
  const int64_t start = stream.Position();
  int64_t blockEnd = -1;  // where the stream is left after a headed block

  TStreamHeader header;
  if (fileType == ioJPEG) {
    // A "JFIF" header is skipped whatever StreamHeaders says.
    if (!ReadStreamHeader(stream, header) || header.tag != "JFIF") stream.SetPosition(start);
  } else if (StreamHeaders && fileType == ioPCX) {
    if (!ReadStreamHeader(stream, header) || header.tag.compare(0, 3, "PCX") != 0) {
      AbortFlag = true;
      FinishWork();
      return;
    }
    if (header.tag == "PCX2") {
      call.DataSize = header.length;
      blockEnd = start + kStreamHeaderSize + header.length;
    } else {
      stream.SetPosition(start + 4);  // the old four-byte header
    }
  } else if (StreamHeaders && fileType == ioTIFF) {
    if (!ReadStreamHeader(stream, header) || header.tag != "TIFF") {
      AbortFlag = true;
      FinishWork();
      return;
    }
    blockEnd = start + kStreamHeaderSize + header.length;
  }

  TIOProgress progress = MakeProgress(true);
  bitmap_->RemoveAlphaChannel();
  try {
    codec->Read(stream, bitmap_, *params_, progress, call);
  } catch (const std::exception&) {
    AbortFlag = true;
  }
  if (blockEnd >= 0) stream.SetPosition(blockEnd);
  if (rules.alphaFromMask && call.Mask) bitmap_->AlphaChannel()->CopyFromMask(call.Mask.get());
  ApplyDefaultDpi();
  if (fileType == ioJPEG) ReadJPEGMetadata();
  if (AutoAdjustDPI && rules.autoAdjust) AdjustDPI();
  params_->FileName.clear();
  params_->FileType = fileType;
  if (view_ && rules.viewDpiStream) view_->LinkSetDPI(params_->DpiX(), params_->DpiY());
  UpdateAttached();
  FinishWork();
}

void TTalvexIO::LoadImportFile(const std::string&, int32_t) {
  AbortFlag = true;
  FinishWork();
}

void TTalvexIO::LoadRegistryFile(const std::string& fileName, int32_t fileType, const std::string& extension) {
  params_->FileName.clear();
  params_->FileType = ioUnknown;
  params_->ResetInfo();
  const TIOFileFormatInfo* entry =
      fileType != ioUnknown ? IOFindFormatByType(fileType) : IOFindFormatByExtension(extension);
  if (!entry || !entry->ReadFunction) {
    AbortFlag = true;
    FinishWork();
    return;
  }
  if (entry->BuiltIn) {
    // A registry extension of a built-in format (e.g. TGA's "PIX") goes to that
    // format's own reader: the registry's mark would load nothing and report success.
    if (entry->FileType == ioWMF || entry->FileType == ioEMF)
      LoadImportFile(fileName, entry->FileType);
    else
      LoadCodecFile(fileName, entry->FileType);
    return;
  }
  AbortFlag = true;
  if (!PrepareBitmap()) return;
  try {
    TFileStream file(fileName, TFileMode::fmOpenRead);
    AbortFlag = false;
    params_->FileName = fileName;
    params_->FileType = entry->FileType;
    TIOProgress progress = MakeProgress(true);
    try {
      entry->ReadFunction(file, bitmap_, *params_, progress, false);
    } catch (...) {
      AbortFlag = true;
    }
    if (!AbortFlag) {
      if (AutoAdjustDPI) AdjustDPI();
      if (view_) view_->LinkSetDPI(params_->DpiX(), params_->DpiY());
    }
    UpdateAttached();
  } catch (...) {
    FinishWork();
    throw;
  }
  FinishWork();
}

void TTalvexIO::LoadRegistryStream(TStream& stream, int32_t fileType) {
  params_->ResetInfo();
  params_->FileName.clear();
  params_->FileType = ioUnknown;
  const TIOFileFormatInfo* entry = IOFindFormatByType(fileType);
  if (!entry || !entry->ReadFunction || (entry->BuiltIn && !IOFindCodec(entry->FileType))) {
    AbortFlag = true;
    FinishWork();
    return;
  }
  if (entry->BuiltIn) {
    LoadCodecStream(stream, entry->FileType);
    return;
  }
  AbortFlag = false;
  if (!PrepareBitmap()) {
    AbortFlag = true;  // nothing to work on is a failure, not a success
    FinishWork();
    return;
  }
  TIOProgress progress = MakeProgress(true);
  params_->FileType = fileType;
  try {
    entry->ReadFunction(stream, bitmap_, *params_, progress, false);
  } catch (...) {
    AbortFlag = true;
  }
  if (AutoAdjustDPI) AdjustDPI();
  if (view_) view_->LinkSetDPI(params_->DpiX(), params_->DpiY());
  UpdateAttached();
  FinishWork();
}

// ---------------------------------------------------------------- save skeletons

void TTalvexIO::SaveCodecFile(const std::string& fileName, int32_t fileType) {
  AbortFlag = true;
  if (!PrepareBitmap()) {
    FinishWork();
    return;
  }
  const TIOCodecEntry* codec = IOFindCodec(fileType);
  if (!codec || !codec->Write) {
    FinishWork();
    return;
  }
  if (NeedsRGBOrMono(fileType)) ConvertForWriter();
  try {
    TIOSafeFile file(fileName);
    AbortFlag = false;
    TIOProgress progress = MakeProgress(true);
    TIOWriteCall call;
    TLXMask mask;
    if ((fileType == ioTGA || fileType == ioPNG) && bitmap_->HasAlphaChannel()) {
      bitmap_->AlphaChannel()->CopyToMask(&mask);
      call.Mask = &mask;
    }
    if (fileType == ioJPEG) WriteJPEGMetadata();
    codec->Write(file.Stream(), bitmap_, *params_, progress, call);
    if (!AbortFlag) file.Commit();
  } catch (...) {
    AbortFlag = true;
    FinishWork();
    throw;
  }
  FinishWork();
}

void TTalvexIO::SaveCodecStream(TStream& stream, int32_t fileType) {
  AbortFlag = false;
  if (!PrepareBitmap()) {
    AbortFlag = true;  // nothing to work on is a failure, not a success
    FinishWork();
    return;
  }
  const TIOCodecEntry* codec = IOFindCodec(fileType);
  if (!codec || !codec->Write) {
    AbortFlag = true;
    FinishWork();
    return;
  }
  if (NeedsRGBOrMono(fileType)) ConvertForWriter();
  try {
    TIOProgress progress = MakeProgress(true);
    const char* tag = StreamHeaders ? StreamHeaderTag(fileType) : nullptr;
    const int64_t start = stream.Position();
    uint8_t header[kStreamHeaderSize] = {};
    if (tag) SafeStreamWrite(stream, progress, header, kStreamHeaderSize);
    TIOWriteCall call;
    TLXMask mask;
    if ((fileType == ioTGA || fileType == ioPNG) && bitmap_->HasAlphaChannel()) {
      bitmap_->AlphaChannel()->CopyToMask(&mask);
      call.Mask = &mask;
    }
    if (fileType == ioJPEG) WriteJPEGMetadata();
    if (!AbortFlag) codec->Write(stream, bitmap_, *params_, progress, call);
    if (tag && (fileType != ioPCX || !AbortFlag)) {
      const int64_t end = stream.Position();
      FillStreamHeader(header, tag, end - start - kStreamHeaderSize);
      stream.SetPosition(start);
      SafeStreamWrite(stream, progress, header, kStreamHeaderSize);
      stream.SetPosition(end);
    }
  } catch (...) {
    FinishWork();
    throw;
  }
  FinishWork();
}

void TTalvexIO::SaveRegistryFile(const std::string& fileName, const std::string& extension) {
  const TIOFileFormatInfo* entry = IOFindFormatByExtension(extension);
  if (!entry || !entry->WriteFunction) {
    AbortFlag = true;
    return;
  }
  if (entry->BuiltIn) {
    // As for loads: the registry's mark would write an empty file and report success.
    if (entry->FileType == ioICO)
      SaveIconFile(fileName);
    else
      SaveCodecFile(fileName, entry->FileType);
    return;
  }
  AbortFlag = true;
  if (!PrepareBitmap()) {
    FinishWork();
    return;
  }
  ConvertForWriter();
  try {
    TIOSafeFile file(fileName);
    AbortFlag = false;
    params_->FileName = fileName;
    params_->FileType = entry->FileType;
    TIOProgress progress = MakeProgress(true);
    entry->WriteFunction(file.Stream(), bitmap_, *params_, progress);
    if (!AbortFlag) file.Commit();
  } catch (...) {
    AbortFlag = true;
    FinishWork();
    throw;
  }
  FinishWork();
}

void TTalvexIO::SaveRegistryStream(TStream& stream, int32_t fileType) {
  const TIOFileFormatInfo* entry = IOFindFormatByType(fileType);
  if (!entry || !entry->WriteFunction || entry->BuiltIn) {
    AbortFlag = true;
    return;
  }
  AbortFlag = false;
  if (!PrepareBitmap()) {
    AbortFlag = true;  // nothing to work on is a failure, not a success
    FinishWork();
    return;
  }
  ConvertForWriter();
  params_->FileType = entry->FileType;
  try {
    TIOProgress progress = MakeProgress(true);
    entry->WriteFunction(stream, bitmap_, *params_, progress);
  } catch (...) {
    FinishWork();
    throw;
  }
  FinishWork();
}

// ---------------------------------------------------------------- icons

void TTalvexIO::SaveIconFile(const std::string& fileName) {
  AbortFlag = true;
  if (!PrepareBitmap()) {
    FinishWork();
    return;
  }
  const TIOCodecEntry* codec = IOFindCodec(ioICO);
  const int n = params_->IconImageCount();
  // No usable size: nothing to write, and no file is made.
  if (!codec || !codec->Write || n == 0) {
    FinishWork();
    return;
  }
  ConvertForWriter();
  try {
    TIOSafeFile file(fileName);
    AbortFlag = false;
    TIOProgress progress = MakeProgress(true);
    TIOWriteCall call;
    call.IconSizes = params_->IconSizes.data();
    call.IconBitCounts = params_->IconBitCounts.data();
    call.IconCount = n;
    codec->Write(file.Stream(), bitmap_, *params_, progress, call);
    if (!AbortFlag) file.Commit();
  } catch (...) {
    AbortFlag = true;
    FinishWork();
    throw;
  }
  FinishWork();
}

void TTalvexIO::SaveIconStream(TStream& stream) {
  AbortFlag = false;
  if (!PrepareBitmap()) {
    AbortFlag = true;  // nothing to work on is a failure, not a success
    FinishWork();
    return;
  }
  const TIOCodecEntry* codec = IOFindCodec(ioICO);
  const int n = params_->IconImageCount();
  if (!codec || !codec->Write || n == 0) {
    AbortFlag = true;
    FinishWork();
    return;
  }
  ConvertForWriter();
  try {
    TIOProgress progress = MakeProgress(true);
    TIOWriteCall call;
    call.IconSizes = params_->IconSizes.data();
    call.IconBitCounts = params_->IconBitCounts.data();
    call.IconCount = n;
    codec->Write(stream, bitmap_, *params_, progress, call);
  } catch (...) {
    FinishWork();
    throw;
  }
  FinishWork();
}

// ---------------------------------------------------------------- dispatching operations

void TTalvexIO::LoadFile(const std::string& fileName) {
  if (!bitmap_) return;
  if (fileName.empty()) {
    AbortFlag = true;
    FinishWork();
    return;
  }
  if (Lower(fileName.substr(0, 7)) == "http://") {
    LoadImportFile(fileName, ioUnknown);
    return;
  }
  const std::string ext = LowerExt(fileName);
  const int32_t code = CodeForExtension(kLoadExtensions, ext);
  switch (code) {
    case ioUnknown: LoadRegistryFile(fileName, ioUnknown, ext.empty() ? ext : ext.substr(1)); break;
    case ioWMF: case ioEMF: case ioAVI: LoadImportFile(fileName, code); break;
    default: LoadFileAs(fileName, code); break;
  }
}

void TTalvexIO::LoadFileAs(const std::string& fileName, int32_t fileType) {
  switch (fileType) {
    case ioBMP: LoadBMPFile(fileName); break;
    case ioICO: LoadIconFile(fileName); break;
    case ioCUR: LoadCursorFile(fileName); break;
    case ioPNG: LoadPNGFile(fileName); break;
    case ioJPEG: LoadJPEGFile(fileName); break;
    case ioWMF: case ioEMF: LoadImportFile(fileName, fileType); break;
    case ioTIFF: case ioGIF: case ioPCX: case ioTGA: case ioPXM: case ioJP2: case ioJ2K: case ioWBMP:
      LoadCodecFile(fileName, fileType);
      break;
    default: LoadRegistryFile(fileName, fileType, std::string()); break;
  }
}

void TTalvexIO::SaveFile(const std::string& fileName) {
  if (fileName.empty()) return;
  const std::string ext = LowerExt(fileName);
  const int32_t code = CodeForExtension(kSaveExtensions, ext);
  switch (code) {
    case ioUnknown: SaveRegistryFile(fileName, ext.empty() ? ext : ext.substr(1)); break;
    case ioICO: SaveIconFile(fileName); break;
    case ioBMP: SaveBMPFile(fileName); break;
    case ioPNG: SavePNGFile(fileName); break;
    case ioJPEG: SaveJPEGFile(fileName); break;
    default: SaveCodecFile(fileName, code); break;
  }
}

void TTalvexIO::LoadStream(TStream& stream) {
  const int64_t pos = stream.Position();
  const int32_t code = DetectStreamFormat(stream);
  stream.SetPosition(pos);
  LoadStreamAs(stream, code);
}

void TTalvexIO::LoadStreamAs(TStream& stream, int32_t fileType) {
  switch (fileType) {
    case ioBMP: LoadBMPStream(stream); break;
    case ioICO: LoadIconStream(stream); break;
    case ioCUR: LoadCursorStream(stream); break;
    case ioPNG: LoadPNGStream(stream); break;
    case ioJPEG: LoadJPEGStream(stream); break;
    case ioTIFF: case ioGIF: case ioPCX: case ioTGA: case ioPXM: case ioJP2: case ioJ2K: case ioWBMP:
      LoadCodecStream(stream, fileType);
      break;
    default: LoadRegistryStream(stream, fileType); break;
  }
}

void TTalvexIO::SaveStream(TStream& stream, int32_t fileType) {
  switch (fileType) {
    case ioICO: SaveIconStream(stream); break;
    case ioBMP: SaveBMPStream(stream); break;
    case ioPNG: SavePNGStream(stream); break;
    case ioJPEG: SaveJPEGStream(stream); break;
    case ioTIFF: case ioGIF: case ioPCX: case ioTGA: case ioPXM: case ioJP2: case ioJ2K: case ioWBMP:
    case ioPS: case ioPDF:
      SaveCodecStream(stream, fileType);
      break;
    default: SaveRegistryStream(stream, fileType); break;
  }
}

// ---------------------------------------------------------------- parameters-only reads

namespace {

// Runs the reader of a code with params-only; false when no reader serves it.
bool ReadParamsWith(TStream& stream, int32_t fileType, TLXBitmap* bitmap, TIOParamsVals& params,
                    TIOProgress& progress) {
  if (const TIOCodecEntry* codec = IOFindCodec(fileType); codec && codec->Read) {
    TIOReadCall call;
    call.ParamsOnly = true;
    call.DataSize = stream.Size();
    codec->Read(stream, bitmap, params, progress, call);
    return true;
  }
  const TIOFileFormatInfo* entry = IOFindFormatByType(fileType);
  if (entry && !entry->BuiltIn && entry->ReadFunction) {
    entry->ReadFunction(stream, bitmap, params, progress, true);
    return true;
  }
  return false;
}

}  // namespace

void TTalvexIO::ReadParamsStreamAs(TStream& stream, int32_t fileType) {
  params_->FileType = fileType;
  params_->ResetInfo();
  AbortFlag = false;
  TIOProgress progress = MakeProgress(false);
  try {
    if (!ReadParamsWith(stream, fileType, bitmap_, *params_, progress)) AbortFlag = true;
    else if (fileType == ioJPEG) ReadJPEGMetadata();
  } catch (...) {
    AbortFlag = true;
  }
  if (AbortFlag) params_->FileType = ioUnknown;
  FinishWork();
}

void TTalvexIO::ReadParamsFileAs(const std::string& fileName, int32_t fileType) {
  params_->FileType = fileType;
  params_->ResetInfo();
  AbortFlag = true;
  try {
    TFileStream file(fileName, TFileMode::fmOpenRead);
    AbortFlag = false;
    TIOProgress progress = MakeProgress(false);
    if (!ReadParamsWith(file, fileType, bitmap_, *params_, progress)) AbortFlag = true;
    else if (fileType == ioJPEG) ReadJPEGMetadata();
  } catch (...) {
    AbortFlag = true;
  }
  if (AbortFlag) params_->FileType = ioUnknown;
  params_->FileName = fileName;
  FinishWork();
}

void TTalvexIO::ReadParamsFile(const std::string& fileName) {
  ReadParamsFileAs(fileName, DetectFileFormat(fileName, true));
}

void TTalvexIO::ReadParamsStream(TStream& stream) {
  const int64_t pos = stream.Position();
  const int32_t code = DetectStreamFormat(stream);
  stream.SetPosition(pos);
  ReadParamsStreamAs(stream, code);
}
