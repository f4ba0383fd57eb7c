#include "image/bitmap.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <utility>

#include "image/filebuffer.h"
#include "image/dibbitmap.h"
#include "image/mask.h"
#include "platform/bytes.h"
#include "platform/bitmap.h"
#include "platform/canvas.h"
#include "platform/memory.h"
#include "platform/syscolors.h"
#include "proc/convert.h"
#include "proc/quantizer.h"

int64_t TLXImageSettings::DefaultMemoryThreshold = -1;

namespace {

constexpr int64_t kFallbackThreshold = 33554432;  // 32 MiB when the system reports nothing
constexpr const char* kNo32fInPlatform = "lx32f pixel format not allowed when Location=lxTBitmap";

int64_t InitialMemoryThreshold() {
  if (TLXImageSettings::DefaultMemoryThreshold != -1) return TLXImageSettings::DefaultMemoryThreshold;
  return TLXImageSettings::MemoryThresholdFor(AvailablePhysicalMemory());
}

inline bool BitAt(const uint8_t* row, int x) { return (row[x >> 3] >> (7 - (x & 7))) & 1; }
inline void PutBit(uint8_t* row, int x, bool on) {
  const uint8_t m = uint8_t(0x80 >> (x & 7));
  if (on) row[x >> 3] |= m; else row[x >> 3] &= uint8_t(~m);
}

inline float GetF(const uint8_t* p) { float f; std::memcpy(&f, p, 4); return f; }
inline void PutF(uint8_t* p, float f) { std::memcpy(p, &f, 4); }

// Trunc(v * scale) for a float sample, kept inside 0..scale (NaN gives 0) so
// that out-of-range samples cannot overflow the integer conversion.
inline int TruncScaled(float v, int scale) {
  if (!(v > 0)) return 0;
  if (v >= 1) return scale;
  return int(double(v) * scale);
}

inline int Lum(const TRGB& c) { return (21 * c.r + 71 * c.g + 8 * c.b) / 100; }

// Every pixel of a row as a colour, the way GetPixelRGB sees it.
void DecodeRowRGB(TLXPixelFormat f, const uint8_t* s, int w, const TRGB* palette, TRGB* out) {
  switch (f) {
    case lx1g:
      for (int x = 0; x < w; ++x) out[x] = BitAt(s, x) ? TRGB{255, 255, 255} : TRGB{};
      break;
    case lx8p:
      for (int x = 0; x < w; ++x) out[x] = palette ? palette[s[x]] : TRGB{};
      break;
    case lx8g:
      for (int x = 0; x < w; ++x) out[x] = TRGB{s[x], s[x], s[x]};
      break;
    case lx16g:
      for (int x = 0; x < w; ++x) out[x] = TRGB{s[2 * x + 1], s[2 * x + 1], s[2 * x + 1]};
      break;
    case lx24RGB:
      std::memcpy(out, s, size_t(w) * 3);
      break;
    case lx32f:
      for (int x = 0; x < w; ++x) {
        const uint8_t t = uint8_t(TruncScaled(GetF(s + 4 * x), 255));
        out[x] = TRGB{t, t, t};
      }
      break;
    default:
      std::fill(out, out + w, TRGB{});
  }
}

// Double to the integer a fill works with: Trunc, saturated, NaN as 0.
int64_t TruncValue(double value) {
  if (!std::isfinite(value)) return 0;
  const double t = std::trunc(value);
  if (t >= 9.2e18) return std::numeric_limits<int64_t>::max();
  if (t <= -9.2e18) return std::numeric_limits<int64_t>::min();
  return int64_t(t);
}

// The colour of a fill value in the windowing encoding (red lowest byte).
TRGB FillColour(int64_t v) {
  const uint32_t c = ColorToRGB(TColor(uint32_t(uint64_t(v))));
  return CreateRGB(ColorR(c), ColorG(c), ColorB(c));
}

TPaletteEntry ToEntry(const TRGB& c) { return TPaletteEntry{c.r, c.g, c.b, 0}; }
TRGB FromEntry(const TPaletteEntry& e) { return CreateRGB(e.r, e.g, e.b); }

void SetGreyRamp(TBitmap* platform) {
  std::array<TPaletteEntry, 256> ramp;
  for (int i = 0; i < 256; ++i) ramp[size_t(i)] = TPaletteEntry{uint8_t(i), uint8_t(i), uint8_t(i), 0};
  platform->SetPalette(ramp.data(), 256);
}

TLXPixelFormat FormatOfDepth(int bpp, bool isAlpha) {
  if (bpp == 1) return lx1g;
  if (bpp == 8) return isAlpha ? lx8g : lx8p;
  return lx24RGB;
}

int PlatformDepthOf(TLXPixelFormat f) {
  switch (f) {
    case lx1g: return 1;
    case lx8p: case lx8g: case lx16g: return 8;
    default: return 24;
  }
}

// Restores the Access flags of two bitmaps when a copy between them ends.
struct TAccessGuard {
  TLXBitmap* a;
  uint8_t aSaved;
  TLXBitmap* b;
  uint8_t bSaved;
  TAccessGuard(TLXBitmap* source, TLXBitmap* dest)
      : a(source), aSaved(source->Access), b(dest), bSaved(dest->Access) {
    source->Access = lxaRead;
    dest->Access = lxaWrite;
  }
  ~TAccessGuard() {
    a->Access = aSaved;
    b->Access = bSaved;
  }
};

}  // namespace

int64_t TLXImageSettings::MemoryThresholdFor(int64_t availableBytes) {
  if (availableBytes <= 0) return kFallbackThreshold;
  // A 32-bit quantity: machines with more than 4 GiB available saturate.
  return std::min<int64_t>(availableBytes / 2, std::numeric_limits<int32_t>::max());
}

// ---------------------------------------------------------------- lifetime

TLXBitmap::TLXBitmap()
    : MemoryThreshold(InitialMemoryThreshold()), fileStore_(std::make_unique<TLXFileBuffer>()) {}

TLXBitmap::~TLXBitmap() { FreeImage(); }

std::unique_ptr<TLXBitmap> TLXBitmap::CreateAlphaChannel(int width, int height, TLXLocation location) {
  auto alpha = std::make_unique<TLXBitmap>();
  alpha->isAlphaChannel_ = true;
  alpha->location_ = location == lxTBitmap ? lxMemory : location;
  alpha->Allocate(width, height, lx8g);
  alpha->Fill(255);
  return alpha;
}

void TLXBitmap::ReleaseFileRow() {
  if (!fileRow_) return;
  uint8_t* row = std::exchange(fileRow_, nullptr);
  fileStore_->UnmapBlock(row);
}

void TLXBitmap::FreeImage() {
  alpha_.reset();
  palette_.clear();
  fileRow_ = nullptr;
  fileStore_->CloseFile();  // a row still mapped is discarded with its file
  ownedMemory_.reset();
  memory_ = nullptr;
  ownedPlatform_.reset();
  platform_ = nullptr;
  rowTable_.clear();
  width_ = height_ = bitCount_ = rowLength_ = 0;
  Full = false;
  platformNotOwned_ = memoryNotOwned_ = false;
}

void TLXBitmap::TakeContent(TLXBitmap& from) {
  FreeImage();
  fileStore_ = std::exchange(from.fileStore_, std::make_unique<TLXFileBuffer>());
  fileRow_ = std::exchange(from.fileRow_, nullptr);
  fileRowOffset_ = std::exchange(from.fileRowOffset_, 0);
  fileRowAccess_ = std::exchange(from.fileRowAccess_, 0);
  width_ = std::exchange(from.width_, 0);
  height_ = std::exchange(from.height_, 0);
  bitCount_ = std::exchange(from.bitCount_, 0);
  rowLength_ = std::exchange(from.rowLength_, 0);
  pixelFormat_ = std::exchange(from.pixelFormat_, lxNone);
  palette_ = std::exchange(from.palette_, {});
  alpha_ = std::move(from.alpha_);
  isAlphaChannel_ = from.isAlphaChannel_;
  ownedMemory_ = std::move(from.ownedMemory_);
  memory_ = std::exchange(from.memory_, nullptr);
  ownedPlatform_ = std::move(from.ownedPlatform_);
  platform_ = std::exchange(from.platform_, nullptr);
  rowTable_ = std::exchange(from.rowTable_, {});
  platformNotOwned_ = std::exchange(from.platformNotOwned_, false);
  memoryNotOwned_ = std::exchange(from.memoryNotOwned_, false);
  location_ = from.location_;
  Full = std::exchange(from.Full, false);
  BilevelConversion = from.BilevelConversion;
  RowAlignment = from.RowAlignment;
  MemoryThreshold = from.MemoryThreshold;
}

// ---------------------------------------------------------------- storage

void TLXBitmap::Allocate(int width, int height, TLXPixelFormat format) {
  if (platformNotOwned_ && location_ == lxTBitmap) {
    alpha_.reset();
    palette_.clear();
  } else {
    FreeImage();
  }
  width_ = std::max(width, 0);
  height_ = std::max(height, 0);
  pixelFormat_ = format;
  MakeStorage();
}

void TLXBitmap::MakeStorage() {
  Full = false;
  bitCount_ = BitCountOf(pixelFormat_);
  rowLength_ = 0;
  if (location_ == lxTBitmap && pixelFormat_ == lx32f) {
    // Nothing may reach a block that was never made: the bitmap stays empty.
    FreeImage();
    throw ELXBitmapError(kNo32fInPlatform);
  }
  if (width_ <= 0 || height_ <= 0 || pixelFormat_ == lxNone) {
    if (location_ == lxTBitmap && platform_) platform_->SetSize(0, 0);
    if (width_ > 0 && bitCount_ > 0)
      rowLength_ = ComputeRowLength(std::min<int64_t>(width_, 1 << 26), bitCount_, RowAlignment);
    return;
  }
  const int bits = location_ == lxTBitmap && pixelFormat_ == lx16g ? 8 : bitCount_;
  const auto bytes = CheckedImageBytes(width_, height_, bits, RowAlignment);
  if (!bytes) {
    FreeImage();
    return;
  }
  rowLength_ = int(*bytes / height_);
  if (pixelFormat_ == lx8p) palette_.assign(256, TRGB{});

  if (location_ == lxFile && *bytes < MemoryThreshold) location_ = lxMemory;
  else if (location_ == lxMemory && *bytes > MemoryThreshold) location_ = lxFile;

  try {
    if (location_ == lxFile && !fileStore_->CreateFile("", *bytes)) location_ = lxMemory;
    if (location_ == lxMemory) {
      ownedMemory_ = std::make_unique<uint8_t[]>(size_t(*bytes));
      memory_ = ownedMemory_.get();
    } else if (location_ == lxTBitmap) {
      ShapePlatformBitmap();
    }
  } catch (...) {
    FreeImage();
    throw;
  }
}

void TLXBitmap::ShapePlatformBitmap() {
  if (!platform_) {
    ownedPlatform_ = std::make_unique<TBitmap>();
    platform_ = ownedPlatform_.get();
    platformNotOwned_ = false;
  }
  if (pixelFormat_ == lx16g) pixelFormat_ = lx8g;
  bitCount_ = BitCountOf(pixelFormat_);
  platform_->SetSize(1, 1);
  platform_->SetBitsPerPixel(PlatformDepthOf(pixelFormat_));
  if (pixelFormat_ == lx1g) platform_->SetMonochrome(true);
  platform_->SetSize(width_, height_);
  if (pixelFormat_ == lx8g) SetGreyRamp(platform_);
  if (pixelFormat_ == lx8p) {
    if (palette_.size() != 256) palette_.assign(256, TRGB{});
    CopyPaletteToPlatform();
  }
  width_ = platform_->Width();
  height_ = platform_->Height();
  rowLength_ = width_ > 0 ? std::min(ComputeRowLength(width_, bitCount_, RowAlignment), platform_->RowBytes()) : 0;
  RebuildRowTable();
}

void TLXBitmap::CopyPaletteToPlatform() {
  if (!platform_ || location_ != lxTBitmap) return;
  std::vector<TPaletteEntry> entries(palette_.size());
  for (size_t i = 0; i < palette_.size(); ++i) entries[i] = ToEntry(palette_[i]);
  platform_->SetPalette(entries.data(), int(entries.size()));
}

void TLXBitmap::RebuildRowTable() {
  rowTable_.clear();
  if (!platform_) return;
  const int h = platform_->Height();
  rowTable_.resize(size_t(std::max(h, 0)));
  for (int y = 0; y < h; ++y) rowTable_[size_t(y)] = platform_->ScanLine(y);
}

void TLXBitmap::SyncFromPlatform() {
  if (location_ != lxTBitmap || !platform_) return;
  int bpp = platform_->BitsPerPixel();
  if (bpp != 1 && bpp != 8 && bpp != 24) {
    // Rows of other depths cannot be walked as any pixel format: hold them as 24 bits.
    platform_->SetBitsPerPixel(24);
    bpp = 24;
  }
  const int w = platform_->Width(), h = platform_->Height();
  if (w == 0 && h == 0 && (width_ == 0 || height_ == 0)) {
    rowTable_.clear();
    return;  // a size still being built side by side (SetWidth, then SetHeight)
  }
  if (w != width_ || h != height_ || bpp != bitCount_) {
    width_ = w;
    height_ = h;
    if (bpp != bitCount_) pixelFormat_ = FormatOfDepth(bpp, isAlphaChannel_);
    bitCount_ = BitCountOf(pixelFormat_);
    rowLength_ = w > 0 ? std::min(ComputeRowLength(w, bitCount_, RowAlignment), platform_->RowBytes()) : 0;
    if (pixelFormat_ == lx8p) {
      if (palette_.size() != 256) {
        palette_.assign(256, TRGB{});
        for (int i = 0; i < std::min(256, platform_->PaletteSize()); ++i)
          palette_[size_t(i)] = FromEntry(platform_->PaletteEntry(i));
      }
    } else {
      palette_.clear();
    }
    if (alpha_) {
      alpha_->Allocate(w, h, lx8g);
      alpha_->Fill(255);
    }
    RebuildRowTable();
  } else if (int(rowTable_.size()) != h || (h > 0 && rowTable_[0] != platform_->ScanLine(0))) {
    RebuildRowTable();
  }
}

void TLXBitmap::SetLocation(TLXLocation location) {
  if (location == location_) return;
  if (location == lxTBitmap && pixelFormat_ == lx32f && !IsEmpty())
    throw ELXBitmapError(kNo32fInPlatform);  // refused before anything moves
  TLXBitmap old;
  old.TakeContent(*this);
  location_ = location;
  try {
    Allocate(old.width_, old.height_, old.pixelFormat_);
    if (!IsEmpty() && old.width_ > 0 && old.height_ > 0 && old.pixelFormat_ != lxNone) {
      TAccessGuard guard(&old, this);
      const bool narrow = old.pixelFormat_ == lx16g && pixelFormat_ == lx8g;
      const int bytes = std::min(rowLength_, old.rowLength_);
      for (int y = 0; y < height_; ++y) {
        uint8_t* d = Scanline(y);
        const uint8_t* s = old.Scanline(y);
        if (narrow) {
          for (int x = 0; x < width_; ++x) d[x] = s[2 * x + 1];
        } else {
          std::memcpy(d, s, size_t(bytes));
        }
      }
      if (!palette_.empty() && !old.palette_.empty()) {
        std::copy_n(old.palette_.begin(), std::min(palette_.size(), old.palette_.size()), palette_.begin());
        CopyPaletteToPlatform();
      }
      Full = old.Full;
    }
  } catch (...) {
    TLXLocation was = old.location_;
    TakeContent(old);
    location_ = was;
    throw;
  }
  isAlphaChannel_ = old.isAlphaChannel_;
  alpha_ = std::move(old.alpha_);
}

void TLXBitmap::AttachTBitmap(TBitmap* bitmap, bool freeFirst) {
  if (freeFirst) FreeImage();
  if (!bitmap) return;
  // Storage held so far is replaced by the caller's bitmap.
  fileRow_ = nullptr;
  fileStore_->CloseFile();
  ownedMemory_.reset();
  memory_ = nullptr;
  memoryNotOwned_ = false;
  ownedPlatform_.reset();
  platform_ = bitmap;
  platformNotOwned_ = true;
  location_ = lxTBitmap;
  width_ = bitmap->Width();
  height_ = bitmap->Height();
  if (bitmap->BitsPerPixel() == 1) pixelFormat_ = lx1g;
  else if (bitmap->BitsPerPixel() == 24) pixelFormat_ = lx24RGB;
  bitCount_ = BitCountOf(pixelFormat_);
  rowLength_ = width_ > 0 && bitCount_ > 0
                   ? std::min(ComputeRowLength(width_, bitCount_, RowAlignment), bitmap->RowBytes())
                   : 0;
  RebuildRowTable();
  SyncFromPlatform();
  if (pixelFormat_ == lx8p && palette_.size() != 256) {
    palette_.assign(256, TRGB{});
    for (int i = 0; i < std::min(256, bitmap->PaletteSize()); ++i)
      palette_[size_t(i)] = FromEntry(bitmap->PaletteEntry(i));
  }
}

void TLXBitmap::AttachMemory(uint8_t* data, int width, int height, TLXPixelFormat format, bool freeFirst) {
  if (freeFirst) FreeImage();
  if (!data) return;
  fileRow_ = nullptr;
  fileStore_->CloseFile();
  ownedMemory_.reset();
  ownedPlatform_.reset();
  platform_ = nullptr;
  platformNotOwned_ = false;
  rowTable_.clear();
  const int bits = BitCountOf(format);
  const auto bytes = CheckedImageBytes(width, height, bits, RowAlignment);
  if (!bytes) {
    FreeImage();
    return;
  }
  width_ = width;
  height_ = height;
  pixelFormat_ = format;
  bitCount_ = bits;
  rowLength_ = int(*bytes / height);
  if (format == lx8p && palette_.size() != 256) palette_.assign(256, TRGB{});
  if (format != lx8p) palette_.clear();
  location_ = lxMemory;
  memory_ = data;
  memoryNotOwned_ = true;
}

TBitmap* TLXBitmap::SystemBitmap() {
  SetLocation(lxTBitmap);
  if (!platform_) {
    ownedPlatform_ = std::make_unique<TBitmap>();
    platform_ = ownedPlatform_.get();
    platformNotOwned_ = false;
  }
  SyncFromPlatform();
  return platform_;
}

TCanvas* TLXBitmap::Canvas() { return &SystemBitmap()->Canvas(); }

// ---------------------------------------------------------------- queries

uint8_t* TLXBitmap::Scanline(int y) {
  switch (location_) {
    case lxMemory:
      return memory_ ? memory_ + int64_t(rowLength_) * (height_ - 1 - y) : nullptr;
    case lxTBitmap:
      if (!platform_) return nullptr;
      SyncFromPlatform();
      return rowTable_.empty() ? nullptr : rowTable_[size_t(y)];
    case lxFile: {
      const int64_t offset = int64_t(y) * rowLength_;
      // Storing a writable row and reading it straight back gives the same
      // bytes, so asking again for the current row costs no file access.
      if (fileRow_ && offset == fileRowOffset_ && Access == fileRowAccess_ && (Access & lxaWrite))
        return fileRow_;
      ReleaseFileRow();
      if (!fileStore_->IsOpen()) return nullptr;
      uint8_t access = 0;
      if (Access & lxaRead) access |= TLXFileBuffer::fbRead;
      if (Access & lxaWrite) access |= TLXFileBuffer::fbWrite;
      fileRowOffset_ = offset;
      fileRowAccess_ = Access;
      fileRow_ = fileStore_->MapBlock(access, rowLength_, fileRowOffset_);
      return fileRow_;
    }
  }
  return nullptr;
}

int TLXBitmap::BitCount() { SyncFromPlatform(); return bitCount_; }
int TLXBitmap::Height() { SyncFromPlatform(); return height_; }
int TLXBitmap::Width() { SyncFromPlatform(); return width_; }
TLXPixelFormat TLXBitmap::PixelFormat() { SyncFromPlatform(); return pixelFormat_; }
int TLXBitmap::RowLength() { SyncFromPlatform(); return rowLength_; }

TRGB TLXBitmap::GetPixelRGB(int x, int y) {
  const TLXPixelFormat f = PixelFormat();
  if (f == lxNone) return TRGB{};
  const uint8_t* row = Scanline(y);
  if (!row) return TRGB{};
  TRGB c;
  const TRGB* pal = Palette();
  switch (f) {
    case lx1g: return BitAt(row, x) ? TRGB{255, 255, 255} : TRGB{};
    case lx8p: return pal ? pal[row[x]] : TRGB{};
    case lx8g: return TRGB{row[x], row[x], row[x]};
    case lx16g: return TRGB{row[2 * x + 1], row[2 * x + 1], row[2 * x + 1]};
    case lx24RGB: std::memcpy(&c, row + 3 * int64_t(x), 3); return c;
    case lx32f: {
      const uint8_t t = uint8_t(TruncScaled(GetF(row + 4 * int64_t(x)), 255));
      return TRGB{t, t, t};
    }
    default: return TRGB{};
  }
}

uint8_t TLXBitmap::AlphaAt(int x, int y) {
  TLXBitmap* channel = isAlphaChannel_ ? this : AlphaChannel();
  const uint8_t* row = channel ? channel->Scanline(y) : nullptr;
  return row ? row[x] : 255;
}

// ---------------------------------------------------------------- palette

TRGB TLXBitmap::GetPaletteEntry(int index, TRGB previous) const {
  if (index < 0 || index >= PaletteCount()) return previous;
  return palette_[size_t(index)];
}

void TLXBitmap::SetPaletteEntry(int index, int32_t packedColour) {
  if (index < 0 || index >= PaletteCount()) return;
  palette_[size_t(index)] = UnpackRGB(packedColour);
  CopyPaletteToPlatform();
}

bool TLXBitmap::IsGrayScale() {
  const TLXPixelFormat f = PixelFormat();
  if (f == lx8p) {
    return std::all_of(palette_.begin(), palette_.end(),
                       [](const TRGB& c) { return c.b == c.g && c.g == c.r; });
  }
  if (f != lx24RGB) return true;
  const int w = Width(), h = Height();
  for (int y = 0; y < h; ++y) {
    const uint8_t* p = Scanline(y);
    for (int x = 0; x < w; ++x, p += 3)
      if (p[0] != p[1] || p[1] != p[2]) return false;
  }
  return true;
}

// ---------------------------------------------------------------- alpha

TLXBitmap* TLXBitmap::AlphaChannel() {
  if (isAlphaChannel_) return nullptr;
  if (!alpha_) alpha_ = CreateAlphaChannel(Width(), Height(), location_);
  return alpha_.get();
}

void TLXBitmap::RemoveAlphaChannel() {
  if (!isAlphaChannel_) alpha_.reset();
}

std::unique_ptr<TLXBitmap> TLXBitmap::DetachAlphaChannel() { return std::move(alpha_); }

void TLXBitmap::SetAlphaChannel(std::unique_ptr<TLXBitmap> alpha) {
  if (isAlphaChannel_) return;
  if (alpha) alpha->isAlphaChannel_ = true;
  alpha_ = std::move(alpha);
}

void TLXBitmap::SyncFull() {
  if (BitCount() != 8) return;
  const int h = Height(), bytes = RowLength();
  bool full = h > 0 && bytes > 0;
  for (int y = 0; y < h && full; ++y) {
    const uint8_t* p = Scanline(y);
    full = std::all_of(p, p + bytes, [](uint8_t b) { return b == 255; });
  }
  Full = full;
}

void TLXBitmap::CopyFromMask(TLXMask* mask) {
  if (!mask) {
    Fill(255);
    return;
  }
  if (mask->BitsPerPixel() == 1) Allocate(mask->Width(), mask->Height(), lx1g);
  else if (mask->BitsPerPixel() == 8) Allocate(mask->Width(), mask->Height(), lx8g);
  else return;
  const int h = Height();
  const int bytes = std::min(RowLength(), mask->RowLength());
  for (int y = 0; y < h; ++y) std::memcpy(Scanline(y), mask->Scanline(y), size_t(bytes));
  Full = mask->Full;
}

void TLXBitmap::CopyToMask(TLXMask* mask) {
  if (!mask) return;
  const TLXPixelFormat f = PixelFormat();
  if (f != lx1g && f != lx8g) return;
  mask->Allocate(Width(), Height(), f == lx1g ? 1 : 8);
  const int h = mask->Height();
  const int bytes = std::min(RowLength(), mask->RowLength());
  for (int y = 0; y < h; ++y) std::memcpy(mask->Scanline(y), Scanline(y), size_t(bytes));
  mask->Full = Full;
}

// ---------------------------------------------------------------- fills

void TLXBitmap::Fill(double value) {
  const TLXPixelFormat f = PixelFormat();
  if (f == lxNone) return;
  const int64_t v = TruncValue(value);
  const int w = Width(), h = Height(), bytes = RowLength();
  bool full = false;
  std::vector<uint8_t> pattern(size_t(std::max(bytes, 0)), 0);
  switch (f) {
    case lx1g:
      // Any non-zero value (system colours included) paints white.
      std::fill(pattern.begin(), pattern.end(), uint8_t(v != 0 ? 255 : 0));
      full = v != 0;
      break;
    case lx8p: case lx8g:
      std::fill(pattern.begin(), pattern.end(), uint8_t(v));
      full = uint8_t(v) == 255 && v == 255;
      break;
    case lx16g:
      for (int x = 0; x < w; ++x) PutLE16(pattern.data() + 2 * x, uint16_t(v));
      full = v == 65535;
      break;
    case lx24RGB: {
      const TRGB c = FillColour(v);
      for (int x = 0; x < w; ++x) std::memcpy(pattern.data() + 3 * x, &c, 3);
      full = c == TRGB{255, 255, 255};
      break;
    }
    case lx32f:
      for (int x = 0; x < w; ++x) PutF(pattern.data() + 4 * x, float(value));
      full = value == 1.0;
      break;
    default:
      return;
  }
  {
    // Whole rows are written, so the file location need not read them first.
    const uint8_t saved = Access;
    Access = lxaWrite;
    struct Restore { TLXBitmap* b; uint8_t a; ~Restore() { b->Access = a; } } restore{this, saved};
    for (int y = 0; y < h; ++y) {
      uint8_t* row = Scanline(y);
      if (row) std::memcpy(row, pattern.data(), pattern.size());
    }
  }
  Full = full;
}

void TLXBitmap::FillRect(int x1, int y1, int x2, int y2, double value) {
  const TLXPixelFormat f = PixelFormat();
  x1 = std::max(x1, 0);
  y1 = std::max(y1, 0);
  x2 = std::min(x2, Width() - 1);
  y2 = std::min(y2, Height() - 1);
  if (f == lxNone || x1 > x2 || y1 > y2) return;
  const int64_t v = TruncValue(value);
  const int n = x2 - x1 + 1;
  const TRGB c = f == lx24RGB ? FillColour(v) : TRGB{};
  for (int y = y1; y <= y2; ++y) {
    uint8_t* row = Scanline(y);
    if (!row) return;
    switch (f) {
      case lx1g:
        for (int x = x1; x <= x2; ++x) PutBit(row, x, v != 0);
        break;
      case lx8p: case lx8g:
        std::memset(row + x1, uint8_t(v), size_t(n));
        break;
      case lx16g:
        for (int x = x1; x <= x2; ++x) PutLE16(row + 2 * x, uint16_t(v));
        break;
      case lx24RGB:
        for (uint8_t* p = row + 3 * int64_t(x1), *e = p + 3 * int64_t(n); p < e; p += 3) std::memcpy(p, &c, 3);
        break;
      case lx32f:
        for (int x = x1; x <= x2; ++x) PutF(row + 4 * int64_t(x), float(v));
        break;
      default:
        break;
    }
  }
}

// ---------------------------------------------------------------- rectangles

void TLXBitmap::CopyRectTo(TLXBitmap* dest, int srcX, int srcY, int dstX, int dstY, int width, int height) {
  if (!dest) return;
  const int sw = Width(), sh = Height(), dw = dest->Width(), dh = dest->Height();
  if (sw <= 0 || sh <= 0 || dw <= 0 || dh <= 0) return;
  int64_t sx = srcX, sy = srcY, dx = dstX, dy = dstY, w = width, h = height;
  if (dx < 0) { sx -= dx; w += dx; dx = 0; }
  if (dy < 0) { sy -= dy; h += dy; dy = 0; }
  // A rectangle that starts beyond either bitmap copies nothing.
  if (dx >= dw || dy >= dh || sx >= sw || sy >= sh) return;
  sx = std::max<int64_t>(sx, 0);
  sy = std::max<int64_t>(sy, 0);
  w = std::min({w, sw - sx, dw - dx});
  h = std::min({h, sh - sy, dh - dy});
  if (w <= 0 || h <= 0) return;

  const TLXPixelFormat sf = PixelFormat(), df = dest->PixelFormat();
  int bpp = 0;  // bytes per pixel of a same-format copy
  if (sf == df) {
    switch (sf) {
      case lx8p: case lx8g: bpp = 1; break;
      case lx16g: bpp = 2; break;
      case lx24RGB: bpp = 3; break;
      case lx32f: bpp = 4; break;
      default: break;
    }
  }
  const bool bits = sf == lx1g && df == lx1g;
  const bool expand = sf == lx1g && df == lx24RGB;
  if (!bits && !expand && bpp == 0) return;

  // Rows pass through a buffer: with dest == this in a file only one row is
  // addressable at a time, and the two rectangles may overlap.
  const int srcBytes = RowLength();
  std::vector<uint8_t> buffer(static_cast<size_t>(srcBytes));
  const bool upward = dest == this && dy > sy;
  for (int64_t i = 0; i < h; ++i) {
    const int64_t r = upward ? h - 1 - i : i;
    const uint8_t* s = Scanline(int(sy + r));
    if (!s) return;
    std::memcpy(buffer.data(), s, size_t(srcBytes));
    uint8_t* d = dest->Scanline(int(dy + r));
    if (!d) return;
    if (bits) {
      for (int64_t x = 0; x < w; ++x) PutBit(d, int(dx + x), BitAt(buffer.data(), int(sx + x)));
    } else if (expand) {
      for (int64_t x = 0; x < w; ++x) {
        const uint8_t v = BitAt(buffer.data(), int(sx + x)) ? 255 : 0;
        std::memset(d + 3 * (dx + x), v, 3);
      }
    } else {
      std::memcpy(d + bpp * dx, buffer.data() + bpp * sx, size_t(bpp * w));
    }
  }
}

void TLXBitmap::MoveRect(int x1, int y1, int x2, int y2, int dstX, int dstY, double fillValue) {
  const int w = Width(), h = Height();
  if (x1 > x2) std::swap(x1, x2);
  if (y1 > y2) std::swap(y1, y2);
  // The part outside the image holds nothing to move; keep the offsets.
  if (x1 < 0) { dstX -= x1; x1 = 0; }
  if (y1 < 0) { dstY -= y1; y1 = 0; }
  x2 = std::min(x2, w - 1);
  y2 = std::min(y2, h - 1);
  if (x1 > x2 || y1 > y2) return;
  TLXBitmap piece;
  piece.MemoryThreshold = MemoryThreshold;
  piece.Allocate(x2 - x1 + 1, y2 - y1 + 1, PixelFormat());
  if (piece.IsEmpty()) return;
  CopyRectTo(&piece, x1, y1, 0, 0, x2 - x1 + 1, y2 - y1 + 1);
  FillRect(x1, y1, x2, y2, fillValue);
  piece.CopyRectTo(this, 0, 0, dstX, dstY, x2 - x1 + 1, y2 - y1 + 1);
}

void TLXBitmap::ResizeCanvas(int newWidth, int newHeight, double fillValue, double alphaFillValue,
                             int horizontalAlign, int verticalAlign) {
  const int w0 = Width(), h0 = Height();
  TLXBitmap* alpha = HasAlphaChannel() ? alpha_.get() : nullptr;
  auto shrink = [&](TLXBitmap* b, double fill) {
    if (newWidth < w0 && horizontalAlign == 1)
      b->MoveRect((w0 - newWidth) / 2, 0, newWidth + (w0 - newWidth) / 2 - 1, h0 - 1, 0, 0, fill);
    else if (newWidth < w0 && horizontalAlign == 2)
      b->MoveRect(w0 - newWidth, 0, w0 - 1, h0 - 1, 0, 0, fill);
    if (newHeight < h0 && verticalAlign == 1)
      b->MoveRect(0, (h0 - newHeight) / 2, w0 - 1, newHeight + (h0 - newHeight) / 2 - 1, 0, 0, fill);
    else if (newHeight < h0 && verticalAlign == 2)
      b->MoveRect(0, h0 - newHeight, w0 - 1, h0 - 1, 0, 0, fill);
  };
  shrink(this, fillValue);
  if (alpha) shrink(alpha, alphaFillValue);

  SetWidth(newWidth);
  SetHeight(newHeight);
  alpha = HasAlphaChannel() ? alpha_.get() : nullptr;

  auto grow = [&](TLXBitmap* b, double fill) {
    if (w0 < newWidth) {
      b->FillRect(w0, 0, newWidth - 1, newHeight - 1, fill);
      if (horizontalAlign == 1) b->MoveRect(0, 0, w0 - 1, h0 - 1, (newWidth - w0) / 2, 0, fill);
      else if (horizontalAlign == 2) b->MoveRect(0, 0, w0 - 1, h0 - 1, newWidth - w0, 0, fill);
    }
    if (h0 < newHeight) {
      b->FillRect(0, h0, newWidth - 1, newHeight - 1, fill);
      if (verticalAlign == 1) b->MoveRect(0, 0, newWidth - 1, h0 - 1, 0, (newHeight - h0) / 2, fill);
      else if (verticalAlign == 2) b->MoveRect(0, 0, newWidth - 1, h0 - 1, 0, newHeight - h0, fill);
    }
  };
  grow(this, fillValue);
  if (alpha) grow(alpha, alphaFillValue);
}

// ---------------------------------------------------------------- size

void TLXBitmap::Resize(int width, int height) {
  width = std::max(width, 0);
  height = std::max(height, 0);
  if (location_ == lxTBitmap) {
    if (!platform_) {
      if (pixelFormat_ == lxNone || width == 0 || height == 0) {
        width_ = width;
        height_ = height;
        return;
      }
      width_ = width;
      height_ = height;
      MakeStorage();
      return;
    }
    SyncFromPlatform();
    const auto bytes = CheckedImageBytes(width, height, platform_->BitsPerPixel());
    if (width > 0 && height > 0 && !bytes) {
      FreeImage();
      return;
    }
    try {
      platform_->SetSize(width, height);
    } catch (const std::bad_alloc&) {
      FreeImage();
      throw;
    }
    width_ = width;
    height_ = height;
    rowLength_ = width_ > 0 ? std::min(ComputeRowLength(width_, bitCount_, RowAlignment), platform_->RowBytes()) : 0;
    RebuildRowTable();
    Full = false;
    return;
  }
  if (pixelFormat_ == lxNone || width == 0 || height == 0) {
    if (fileStore_->IsOpen() || memory_) {
      Allocate(width, height, pixelFormat_);  // nothing left to hold
    } else {
      width_ = width;
      height_ = height;
      bitCount_ = BitCountOf(pixelFormat_);
      rowLength_ = width > 0 && bitCount_ > 0
                       ? ComputeRowLength(std::min(width, 1 << 26), bitCount_, RowAlignment) : 0;
    }
    return;
  }
  TLXBitmap old;
  old.TakeContent(*this);
  Allocate(width, height, old.pixelFormat_);
  if (!IsEmpty() && old.width_ > 0 && old.height_ > 0) {
    TAccessGuard guard(&old, this);
    const int rows = std::min(height_, old.height_);
    const int bytes = std::min(rowLength_, old.rowLength_);
    for (int y = 0; y < rows; ++y) std::memcpy(Scanline(y), old.Scanline(y), size_t(bytes));
    if (!palette_.empty() && !old.palette_.empty())
      std::copy_n(old.palette_.begin(), std::min(palette_.size(), old.palette_.size()), palette_.begin());
  }
  isAlphaChannel_ = old.isAlphaChannel_;
  if (!IsEmpty()) alpha_ = std::move(old.alpha_);  // already at the new size
  Full = false;
}

void TLXBitmap::SetWidth(int value) {
  if (value == Width()) return;
  if (alpha_) alpha_->SetWidth(value);
  Resize(value, Height());
}

void TLXBitmap::SetHeight(int value) {
  if (value == Height()) return;
  if (alpha_) alpha_->SetHeight(value);
  Resize(Width(), value);
}

// ---------------------------------------------------------------- pixel format

void TLXBitmap::ConvertFrom(TLXBitmap& src) {
  const TLXPixelFormat from = src.pixelFormat_, to = pixelFormat_;
  const int w = width_, h = height_;
  if (w <= 0 || h <= 0 || from == lxNone || IsEmpty()) return;

  if (to == lx1g && BilevelConversion != 0) {
    ThresholdToMono(&src, this, -1);
    return;
  }
  std::vector<TRGB> rgb(static_cast<size_t>(w));
  const TRGB* pal = src.palette_.empty() ? nullptr : src.palette_.data();
  if (to == lx8p && from == lx24RGB) {
    std::array<TRGB, 256> colours{};
    TLXQuantizer quantizer(&src, colours.data(), 255, std::clamp(PaletteColors, 1, 256), -1, 0);
    palette_.assign(colours.begin(), colours.end());
    TAccessGuard guard(&src, this);
    for (int y = 0; y < h; ++y) {
      std::memcpy(rgb.data(), src.Scanline(y), size_t(w) * 3);
      uint8_t* d = Scanline(y);
      for (int x = 0; x < w; ++x) d[x] = uint8_t(std::max(quantizer.ColorToIndex(rgb[size_t(x)]), 0));
    }
    return;
  }
  if (to == lx8p) {
    if (from == lx1g) {
      palette_[0] = TRGB{};
      palette_[1] = TRGB{255, 255, 255};
    } else {
      for (int i = 0; i < 256; ++i) palette_[size_t(i)] = TRGB{uint8_t(i), uint8_t(i), uint8_t(i)};
    }
  }
  TAccessGuard guard(&src, this);
  for (int y = 0; y < h; ++y) {
    const uint8_t* s = src.Scanline(y);
    uint8_t* d = Scanline(y);
    if (!s || !d) return;
    switch (to) {
      case lx24RGB:
        DecodeRowRGB(from, s, w, pal, reinterpret_cast<TRGB*>(d));
        break;
      case lx8g:
        DecodeRowRGB(from, s, w, pal, rgb.data());
        for (int x = 0; x < w; ++x) d[x] = uint8_t(Lum(rgb[size_t(x)]));
        break;
      case lx8p:
        if (from == lx1g) {
          for (int x = 0; x < w; ++x) d[x] = BitAt(s, x);
        } else {
          DecodeRowRGB(from, s, w, pal, rgb.data());
          for (int x = 0; x < w; ++x) d[x] = uint8_t(Lum(rgb[size_t(x)]));
        }
        break;
      case lx1g: {  // ordered dithering
        DecodeRowRGB(from, s, w, pal, rgb.data());
        std::memset(d, 0, size_t(rowLength_));
        for (int x = 0; x < w; ++x)
          if (kDitherMatrix[x & 7][y & 7] < Lum(rgb[size_t(x)]) / 4) d[x >> 3] |= uint8_t(0x80 >> (x & 7));
        break;
      }
      case lx16g:
        switch (from) {
          case lx1g:
            for (int x = 0; x < w; ++x) PutLE16(d + 2 * x, BitAt(s, x) ? 65535 : 0);
            break;
          case lx8g:
            for (int x = 0; x < w; ++x) PutLE16(d + 2 * x, uint16_t(s[x] * 256));
            break;
          case lx32f:
            for (int x = 0; x < w; ++x) PutLE16(d + 2 * x, uint16_t(TruncScaled(GetF(s + 4 * x), 65535)));
            break;
          default:
            DecodeRowRGB(from, s, w, pal, rgb.data());
            for (int x = 0; x < w; ++x) {
              const TRGB& c = rgb[size_t(x)];
              PutLE16(d + 2 * x, uint16_t((212 * 256 * c.r + 713 * 256 * c.g + 75 * 256 * c.b) / 1000));
            }
        }
        break;
      case lx32f:
        switch (from) {
          case lx1g:
            for (int x = 0; x < w; ++x) PutF(d + 4 * x, BitAt(s, x) ? 1.0f : 0.0f);
            break;
          case lx8g:
            for (int x = 0; x < w; ++x) PutF(d + 4 * x, float(s[x] / 255.0));
            break;
          case lx16g:
            for (int x = 0; x < w; ++x) PutF(d + 4 * x, float(GetLE16(s + 2 * x) / 65535.0));
            break;
          default:
            DecodeRowRGB(from, s, w, pal, rgb.data());
            for (int x = 0; x < w; ++x) {
              const TRGB& c = rgb[size_t(x)];
              PutF(d + 4 * x, float((0.2126 * c.r + 0.7152 * c.g + 0.0722 * c.b) / 255));
            }
        }
        break;
      default:
        break;
    }
  }
}

void TLXBitmap::SetPixelFormat(TLXPixelFormat format) {
  if (format == PixelFormat()) return;
  if (location_ != lxTBitmap) {
    TLXBitmap source;
    source.TakeContent(*this);
    location_ = source.location_;
    try {
      Allocate(source.width_, source.height_, format);
      ConvertFrom(source);
    } catch (...) {
      TakeContent(source);
      throw;
    }
    isAlphaChannel_ = source.isAlphaChannel_;
    if (!isAlphaChannel_) alpha_ = std::move(source.alpha_);
    return;
  }

  if (format == lx32f) throw ELXBitmapError(kNo32fInPlatform);
  const TLXPixelFormat from = pixelFormat_;
  if (platform_ && from == lx1g && format == lx24RGB) {
    const int w = width_, h = height_, bytes = rowLength_;
    std::vector<uint8_t> bits(size_t(bytes) * size_t(h));
    for (int y = 0; y < h; ++y) std::memcpy(bits.data() + size_t(y) * bytes, rowTable_[size_t(y)], size_t(bytes));
    platform_->SetBitsPerPixel(24);
    pixelFormat_ = lx24RGB;
    bitCount_ = 24;
    palette_.clear();
    rowLength_ = std::min(ComputeRowLength(w, 24, RowAlignment), platform_->RowBytes());
    RebuildRowTable();
    for (int y = 0; y < h; ++y) {
      const uint8_t* s = bits.data() + size_t(y) * bytes;
      uint8_t* d = rowTable_[size_t(y)];
      for (int x = 0; x < w; ++x) std::memset(d + 3 * x, BitAt(s, x) ? 255 : 0, 3);
    }
  } else if (platform_ && from == lx24RGB && format == lx1g) {
    if (BilevelConversion == 0) DitherToMono(this);
    else ConvertToMono(this, -1);
  } else {
    pixelFormat_ = format;
    if (format == lx8p && palette_.size() != 256) {
      palette_.assign(256, TRGB{});
      if (platform_)
        for (int i = 0; i < std::min(256, platform_->PaletteSize()); ++i)
          palette_[size_t(i)] = FromEntry(platform_->PaletteEntry(i));
    } else if (format != lx8p) {
      palette_.clear();
    }
  }
  bitCount_ = BitCountOf(pixelFormat_);
  rowLength_ = width_ > 0 && bitCount_ > 0 ? ComputeRowLength(std::min(width_, 1 << 26), bitCount_, RowAlignment) : 0;
  if (platform_) rowLength_ = std::min(rowLength_, platform_->RowBytes());
  RebuildRowTable();
}

// ---------------------------------------------------------------- assignment

void TLXBitmap::Assign(TLXBaseBitmap* source) {
  auto* src = dynamic_cast<TLXBitmap*>(source);
  if (src) AssignFrom(src, false);
}

void TLXBitmap::Assign(TBitmap* source) {
  if (source) CopyFromTBitmap(source);
}

void TLXBitmap::AssignImage(TLXBitmap* source) {
  if (source) AssignFrom(source, true);
}

void TLXBitmap::AssignFrom(TLXBitmap* src, bool imageOnly) {
  if (src == this) return;
  const int w = src->Width(), h = src->Height();
  const TLXPixelFormat f = src->PixelFormat();
  RowAlignment = src->RowAlignment;
  if (location_ != lxTBitmap) {
    FreeImage();
    width_ = w;
    height_ = h;
    pixelFormat_ = f;
    MakeStorage();
  } else {
    // The platform bitmap is reshaped in place; an alpha channel survives.
    std::unique_ptr<TLXBitmap> kept = std::move(alpha_);
    palette_.clear();
    width_ = w;
    height_ = h;
    pixelFormat_ = f;
    MakeStorage();
    alpha_ = std::move(kept);
    if (alpha_ && (alpha_->Width() != width_ || alpha_->Height() != height_)) {
      alpha_->Allocate(width_, height_, lx8g);  // a kept channel always matches its image
      alpha_->Fill(255);
    }
  }
  if (!IsEmpty() && w > 0 && h > 0 && f != lxNone) {
    TAccessGuard guard(src, this);
    if (location_ == lxFile && src->location_ == lxFile && rowLength_ == src->rowLength_) {
      src->ReleaseFileRow();
      ReleaseFileRow();
      src->fileStore_->CopyTo(fileStore_.get(), int64_t(rowLength_) * height_, 0);
    } else {
      const bool narrow = f == lx16g && pixelFormat_ == lx8g;
      const int bytes = std::min(rowLength_, src->RowLength());
      for (int y = 0; y < height_; ++y) {
        uint8_t* d = Scanline(y);
        const uint8_t* s = src->Scanline(y);
        if (narrow) {
          for (int x = 0; x < width_; ++x) d[x] = s[2 * x + 1];
        } else {
          std::memcpy(d, s, size_t(bytes));
        }
      }
    }
  }
  Full = imageOnly ? false : src->Full;
  if (!imageOnly && !isAlphaChannel_ && src->HasAlphaChannel()) AlphaChannel()->Assign(src->alpha_.get());
  if (!palette_.empty() && src->PaletteCount() > 0) {
    std::copy_n(src->palette_.begin(), std::min(palette_.size(), src->palette_.size()), palette_.begin());
    CopyPaletteToPlatform();
  }
  if (!imageOnly) BilevelConversion = src->BilevelConversion;
}

// ---------------------------------------------------------------- platform bitmaps

void TLXBitmap::CopyToTBitmap(TBitmap* target) {
  if (!target) return;
  const TLXPixelFormat f = PixelFormat();
  const int w = Width(), h = Height();
  target->SetSize(1, 1);
  target->SetBitsPerPixel(f == lx1g ? 1 : f == lx24RGB || f == lxNone ? 24 : 8);
  if (f == lx1g) target->SetMonochrome(true);
  else if (f == lx8p) CopyPaletteTo(target);
  else if (f != lx24RGB && f != lxNone) SetGreyRamp(target);
  target->SetSize(w, h);
  if (f == lxNone || target->Width() != w || target->Height() != h) return;
  const int bytes = std::min(RowLength(), target->RowBytes());
  for (int y = 0; y < h; ++y) {
    const uint8_t* s = Scanline(y);
    uint8_t* d = target->ScanLine(y);
    if (!s) return;
    switch (f) {
      case lx16g:
        for (int x = 0; x < w; ++x) d[x] = s[2 * x + 1];
        break;
      case lx32f:
        for (int x = 0; x < w; ++x) d[x] = uint8_t(TruncScaled(GetF(s + 4 * x), 255));
        break;
      default:
        std::memcpy(d, s, size_t(bytes));
    }
  }
}

void TLXBitmap::CopyPaletteTo(TBitmap* target) const {
  std::vector<TPaletteEntry> entries(palette_.size());
  for (size_t i = 0; i < palette_.size(); ++i) entries[i] = ToEntry(palette_[i]);
  target->SetPalette(entries.data(), int(entries.size()));
}

void TLXBitmap::CopyFromTBitmap(TBitmap* source) {
  if (!source) return;
  const int bpp = source->BitsPerPixel(), w = source->Width(), h = source->Height();
  if (location_ == lxTBitmap) {
    if (source == platform_) return;
    std::unique_ptr<TLXBitmap> kept = std::move(alpha_);
    if (!platform_) {
      ownedPlatform_ = std::make_unique<TBitmap>();
      platform_ = ownedPlatform_.get();
    }
    const auto bytes = CheckedImageBytes(w, h, TBitmap::StorageBits(bpp));
    if (w > 0 && h > 0 && !bytes) {
      FreeImage();
      return;
    }
    platform_->SetSize(1, 1);
    platform_->SetBitsPerPixel(bpp);
    platform_->SetMonochrome(source->Monochrome());
    std::vector<TPaletteEntry> entries(size_t(source->PaletteSize()));
    for (int i = 0; i < source->PaletteSize(); ++i) entries[size_t(i)] = source->PaletteEntry(i);
    platform_->SetPalette(entries.data(), int(entries.size()));
    platform_->SetSize(w, h);
    const int rb = std::min(platform_->RowBytes(), source->RowBytes());
    for (int y = 0; y < platform_->Height(); ++y) std::memcpy(platform_->ScanLine(y), source->ScanLine(y), size_t(rb));
    if (bpp != 1 && bpp != 8 && bpp != 24) platform_->SetBitsPerPixel(24);
    width_ = -1;  // force the next read-back
    bitCount_ = -1;
    palette_.clear();
    alpha_ = std::move(kept);
    SyncFromPlatform();
    Full = false;
    return;
  }

  TLXPixelFormat f = lxNone;
  if (bpp == 1) f = source->Monochrome() ? lx1g : lx8p;
  else if (bpp == 4 || bpp == 8) f = lx8p;
  else if (bpp == 15 || bpp == 16 || bpp == 24 || bpp == 32) f = lx24RGB;
  if (f == lxNone) return;
  Allocate(w, h, f);
  if (IsEmpty()) return;
  if (f == lx8p) {
    for (int i = 0; i < std::min(256, source->PaletteSize()); ++i)
      palette_[size_t(i)] = FromEntry(source->PaletteEntry(i));
  }
  const uint8_t saved = Access;
  Access = lxaWrite;
  for (int y = 0; y < h; ++y) {
    const uint8_t* s = source->ScanLine(y);
    uint8_t* d = Scanline(y);
    switch (bpp) {
      case 1:
        if (f == lx1g) std::memcpy(d, s, size_t(std::min(rowLength_, source->RowBytes())));
        else for (int x = 0; x < w; ++x) d[x] = BitAt(s, x);
        break;
      case 4:
        for (int x = 0; x < w; ++x) d[x] = (x & 1) ? s[x >> 1] & 15 : s[x >> 1] >> 4;
        break;
      case 8:
        std::memcpy(d, s, size_t(w));
        break;
      case 15:
        for (int x = 0; x < w; ++x) {
          const uint16_t v = GetLE16(s + 2 * x);
          d[3 * x + 2] = uint8_t(((v >> 10) & 31) << 3);
          d[3 * x + 1] = uint8_t(((v >> 5) & 31) << 3);
          d[3 * x + 0] = uint8_t((v & 31) << 3);
        }
        break;
      case 16:
        for (int x = 0; x < w; ++x) {
          const uint16_t v = GetLE16(s + 2 * x);
          d[3 * x + 2] = uint8_t((v >> 11) << 3);
          d[3 * x + 1] = uint8_t(((v >> 5) & 63) << 2);
          d[3 * x + 0] = uint8_t((v & 31) << 3);
        }
        break;
      case 24:
        std::memcpy(d, s, size_t(w) * 3);
        break;
      case 32:
        for (int x = 0; x < w; ++x) std::memcpy(d + 3 * x, s + 4 * x, 3);
        break;
      default:
        break;
    }
  }
  Access = saved;
  Full = false;
}

void TLXBitmap::CopyFromDibbitmap(TLXDibbitmap* dib) { CopyFromRaster(dib); }

// Rows of a 1-, 8- or 24-bit raster (the DIB wrapper) into this bitmap.
void TLXBitmap::CopyFromRaster(TLXBaseBitmap* raster) {
  if (!raster) return;
  const int bits = raster->BitCount();
  const TLXPixelFormat f = bits == 1 ? lx1g : bits == 8 ? lx8g : bits == 24 ? lx24RGB : lxNone;
  if (f == lxNone) return;
  Allocate(raster->Width(), raster->Height(), f);
  if (IsEmpty()) return;
  const int h = Height();
  const int bytes = std::min(RowLength(), raster->RowLength());
  const uint8_t saved = Access;
  Access = lxaWrite;
  for (int y = 0; y < h; ++y) std::memcpy(Scanline(y), raster->Scanline(y), size_t(bytes));
  Access = saved;
}
