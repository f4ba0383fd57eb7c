#pragma once
// TLXBitmap: the raster image every reader fills, every writer reads, the
// processing routines transform and the view displays.
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <vector>

#include "image/types.h"

class TBitmap;          // platform/bitmap.h
class TCanvas;          // platform/canvas.h
class TLXFileBuffer;    // image/filebuffer.h
class TLXMask;          // image/mask.h
class TLXDibbitmap;     // image/dibbitmap.h
struct TLXRenderJob;    // image/render.h

// Raised by bitmap operations (e.g. lx32f in a platform bitmap).
class ELXBitmapError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

enum TLXAccess : uint8_t { lxaRead = 1, lxaWrite = 2 };

class TLXBaseBitmap {
public:
  virtual ~TLXBaseBitmap() = default;
  uint8_t Access = lxaRead | lxaWrite;

  virtual uint8_t* Scanline(int y) = 0;
  virtual int BitCount() = 0;
  virtual int Height() = 0;
  virtual int Width() = 0;
  virtual TLXPixelFormat PixelFormat() = 0;
  virtual int RowLength() = 0;
  virtual void Allocate(int width, int height, TLXPixelFormat format) = 0;
  virtual void Assign(TLXBaseBitmap* source) = 0;
};

// Process-wide settings of the image model.
struct TLXImageSettings {
  // -1: not set; the threshold then comes from the available memory.
  static int64_t DefaultMemoryThreshold;
  // The threshold a new bitmap takes from the available memory: half of it,
  // saturated at the largest 32-bit value; 32 MiB when nothing is reported.
  static int64_t MemoryThresholdFor(int64_t availableBytes);
};

class TLXBitmap : public TLXBaseBitmap {
public:
  TLXBitmap();
  ~TLXBitmap() override;
  TLXBitmap(const TLXBitmap&) = delete;
  TLXBitmap& operator=(const TLXBitmap&) = delete;

  // The constructor of alpha channels: fully opaque lx8g, Full.
  static std::unique_ptr<TLXBitmap> CreateAlphaChannel(int width, int height, TLXLocation location);

  // --- TLXBaseBitmap ---
  uint8_t* Scanline(int y) override;
  int BitCount() override;
  int Height() override;
  int Width() override;
  TLXPixelFormat PixelFormat() override;
  int RowLength() override;
  // Fails cleanly (bitmap left empty, returns false through IsEmpty) when the
  // size guard refuses the block; raises ELXBitmapError for lx32f in lxTBitmap.
  void Allocate(int width, int height, TLXPixelFormat format) override;
  void Assign(TLXBaseBitmap* source) override;
  // A platform bitmap source: CopyFromTBitmap.
  void Assign(TBitmap* source);

  // --- storage ---
  void FreeImage();
  TLXLocation Location() const { return location_; }
  void SetLocation(TLXLocation location);
  bool IsEmpty() { return Width() == 0 || Height() == 0; }
  void AttachTBitmap(TBitmap* bitmap, bool freeFirst);
  // data holds bottom-up rows and stays the caller's.
  void AttachMemory(uint8_t* data, int width, int height, TLXPixelFormat format, bool freeFirst);
  TBitmap* SystemBitmap();
  TCanvas* Canvas();

  // --- pixels ---
  uint8_t Pixel8(int x, int y) { return Scanline(y)[x]; }
  TRGB GetPixelRGB(int x, int y);
  uint8_t AlphaAt(int x, int y);
  void Fill(double value);
  void FillRect(int x1, int y1, int x2, int y2, double value);
  void MoveRect(int x1, int y1, int x2, int y2, int dstX, int dstY, double fillValue);
  void CopyRectTo(TLXBitmap* dest, int srcX, int srcY, int dstX, int dstY, int width, int height);
  void ResizeCanvas(int newWidth, int newHeight, double fillValue, double alphaFillValue,
                    int horizontalAlign, int verticalAlign);

  // --- palette ---
  int PaletteCount() const { return int(palette_.size()); }
  TRGB* Palette() { return palette_.empty() ? nullptr : palette_.data(); }
  TRGB GetPaletteEntry(int index, TRGB previous = TRGB{}) const;
  void SetPaletteEntry(int index, int32_t packedColour);
  bool IsGrayScale();

  // --- alpha channel ---
  TLXBitmap* AlphaChannel();
  bool HasAlphaChannel() const { return alpha_ != nullptr; }
  void RemoveAlphaChannel();
  // Hands the channel over (or takes one); used by the view and processing.
  std::unique_ptr<TLXBitmap> DetachAlphaChannel();
  void SetAlphaChannel(std::unique_ptr<TLXBitmap> alpha);
  bool IsAlphaChannel() const { return isAlphaChannel_; }
  bool Full = false;
  void SyncFull();
  void CopyFromMask(TLXMask* mask);
  void CopyToMask(TLXMask* mask);

  // --- format and size ---
  void SetPixelFormat(TLXPixelFormat format);
  void SetWidth(int value);
  void SetHeight(int value);
  void AssignImage(TLXBitmap* source);
  void CopyToTBitmap(TBitmap* target);
  void CopyFromTBitmap(TBitmap* source);
  void CopyFromDibbitmap(TLXDibbitmap* dib);

  // --- settings ---
  int64_t MemoryThreshold = 0;
  uint8_t BilevelConversion = 1;  // 0 ordered dithering, 1 mean-luminance threshold
  int PaletteColors = 256;
  double DisplayMin = 0, DisplayMax = 0;
  int RowAlignment = 32;

  // --- row renderers (image/render.cpp; this block belongs to the rendering code) ---
  // One opaque and one blending renderer per source format, called once per
  // RenderToTBitmap call with the whole job (see TLXRenderJob in image/render.h).
  virtual void Render24RGB(const TLXRenderJob& job);
  virtual void Render24RGBBlend(const TLXRenderJob& job);
  virtual void Render1g(const TLXRenderJob& job);
  virtual void Render1gBlend(const TLXRenderJob& job);
  virtual void Render8g(const TLXRenderJob& job);
  virtual void Render8gBlend(const TLXRenderJob& job);
  virtual void Render8p(const TLXRenderJob& job);
  virtual void Render8pBlend(const TLXRenderJob& job);
  virtual void Render16g(const TLXRenderJob& job);
  virtual void Render16gBlend(const TLXRenderJob& job);
  virtual void Render32f(const TLXRenderJob& job);
  virtual void Render32fBlend(const TLXRenderJob& job);
  // --- end of the rendering block ---

private:
  struct Content;  // everything that holds pixels, for hand-overs
  void MakeStorage();
  void TakeContent(TLXBitmap& from);   // moves pixel-holding members from `from`
  void RebuildRowTable();
  void SyncFromPlatform();              // lxTBitmap: re-read size and depth
  void ShapePlatformBitmap();           // set 1x1, depth for the format, Width x Height
  void ReleaseFileRow();
  void CopyPaletteToPlatform();
  void CopyPaletteTo(TBitmap* target) const;
  void Resize(int width, int height);   // SetWidth/SetHeight keeping the top-left content
  void ConvertFrom(TLXBitmap& source);  // the pixel-format conversion table
  void AssignFrom(TLXBitmap* source, bool imageOnly);
  void CopyFromRaster(TLXBaseBitmap* raster);

  std::unique_ptr<TLXFileBuffer> fileStore_;
  int width_ = 0, height_ = 0, bitCount_ = 0, rowLength_ = 0;
  uint8_t* fileRow_ = nullptr;          // current row handed out in lxFile
  int64_t fileRowOffset_ = 0;
  uint8_t fileRowAccess_ = 0;           // Access the current file row was handed out with
  TLXPixelFormat pixelFormat_ = lxNone;
  std::vector<TRGB> palette_;            // 256 entries while lx8p
  std::unique_ptr<TLXBitmap> alpha_;
  bool isAlphaChannel_ = false;
  std::unique_ptr<uint8_t[]> ownedMemory_;
  uint8_t* memory_ = nullptr;            // ownedMemory_ or the caller's block
  std::unique_ptr<TBitmap> ownedPlatform_;
  TBitmap* platform_ = nullptr;          // ownedPlatform_ or the caller's
  std::vector<uint8_t*> rowTable_;
  TLXLocation location_ = lxFile;
  bool platformNotOwned_ = false;
  bool memoryNotOwned_ = false;

  friend class TLXBitmapTestAccess;
};
