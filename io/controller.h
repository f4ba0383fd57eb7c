#pragma once
// TTalvexIO: the component that reads and writes images. It owns the parameter
// record, works on one target bitmap (its own, an attached view's, or the
// caller's), picks the codec by extension, by code or by content, and updates
// the attached view afterwards. Codecs are reached only from here, through the
// format table (io/formattable.h): every per-format difference (dispatch,
// detection, load rules, writer needs, stream headers) is a field of a row.
//
// Outcome convention: operations return nothing; AbortFlag tells whether the last
// one failed. Errors of the file layer (a file that cannot be opened or created)
// and the PNG/JPEG writers' errors reach the caller as exceptions (EStreamError,
// ...), after FinishWork has run. An operation that starts work runs FinishWork
// exactly once; LoadFile without a target and SaveFile with an empty name do nothing.
//
// Saves to a file write a temporary file beside the target and rename it over the
// target only when the writer succeeded: a failed save leaves an existing file
// untouched and no partial file behind.
//
// Per-format members: each is a one-line call of the load/save skeleton with the
// format's code; a format without a reader or writer yet fails there with
// AbortFlag. The loads that return a frame or page count return what the
// reader put in TIOReadCall::Count. The metafile, video and address imports
// are the Import entry points of their rows.
//
// Where the code lives: io/controller.cpp (state, attaching, dispatch),
// io/operations.cpp (the load and save skeletons over the table), io/detect.cpp
// (DetectStreamFormat, DetectFileFormat).
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "io/format.h"
#include "io/params.h"
#include "io/progress.h"
#include "io/viewlink.h"

class TLXBitmap;
class TBitmap;
class TStream;

// The resolution a load gives to an image that brought none (below 2 dpi).
inline constexpr int32_t kIODefaultDpi = 300;

// OnProgress: (context, sender, percent); OnFinishWork: (context, sender).
struct TIOProgressEvent {
  TIOProgressCallback Callback = nullptr;
  void* Context = nullptr;
};
using TIONotifyCallback = void (*)(void* context, void* sender);
struct TIONotifyEvent {
  TIONotifyCallback Callback = nullptr;
  void* Context = nullptr;
};

class TTalvexIO {
public:
  TTalvexIO();
  virtual ~TTalvexIO();
  TTalvexIO(const TTalvexIO&) = delete;
  TTalvexIO& operator=(const TTalvexIO&) = delete;

  // ---- state ----
  TIOParamsVals& Params() { return *params_; }
  // True when the last operation failed or was aborted; codecs reach it through
  // TIOProgress::abort, background threads may set it.
  std::atomic<bool> AbortFlag{false};
  // Stream saves of JPEG, PCX and TIFF write a 12-byte header; stream loads expect it.
  bool StreamHeaders = false;
  bool AutoAdjustDPI = false;
  bool FilteredAdjustDPI = false;
  bool NativePixelFormat() const { return nativePixelFormat_; }
  void SetNativePixelFormat(bool value);
  // The attached view's background, or the own one; setting it with a view attached does nothing.
  int32_t Background();
  void SetBackground(int32_t colour);

  TIOProgressEvent OnProgress;
  TIONotifyEvent OnFinishWork;

  // ---- target and attachments ----
  TLXBitmap* Bitmap() { return bitmap_; }
  bool OwnsBitmap() const { return ownBitmap_ != nullptr && bitmap_ == ownBitmap_.get(); }
  TIOViewLink* AttachedView() { return view_; }
  // nullptr: detach and work on a fresh own bitmap.
  void SetAttachedView(TIOViewLink* view);
  // Works on the caller's bitmap without owning it; nullptr is ignored while a
  // view is attached, otherwise it leaves the controller without a target.
  void AttachBitmap(TLXBitmap* bitmap);
  // Mirrors the caller's platform bitmap into an own target before each operation.
  void AttachTBitmap(TBitmap* bitmap);
  // The target's platform bitmap when it keeps its pixels in one, else the attached graphic.
  virtual TBitmap* GetTBitmap();

  // ---- dispatching operations ----
  virtual void LoadFile(const std::string& fileName);
  virtual void LoadFileAs(const std::string& fileName, int32_t fileType);
  virtual void SaveFile(const std::string& fileName);
  virtual void LoadStream(TStream& stream);
  virtual void LoadStreamAs(TStream& stream, int32_t fileType);
  virtual void SaveStream(TStream& stream, int32_t fileType);
  virtual void ReadParamsFile(const std::string& fileName);
  virtual void ReadParamsFileAs(const std::string& fileName, int32_t fileType);
  virtual void ReadParamsStream(TStream& stream);
  virtual void ReadParamsStreamAs(TStream& stream, int32_t fileType);
  // Writes an icon of the leading usable IconSizes entries with their IconBitCounts;
  // with none usable nothing is written (and no file is made).
  void SaveIconFile(const std::string& fileName) { SaveCodecFile(fileName, ioICO); }
  void SaveIconStream(TStream& stream) { SaveCodecStream(stream, ioICO); }

  // ---- per-format operations ----
  void LoadBMPFile(const std::string& fileName) { LoadCodecFile(fileName, ioBMP); }
  void LoadBMPStream(TStream& stream) { LoadCodecStream(stream, ioBMP); }
  void SaveBMPFile(const std::string& fileName) { SaveCodecFile(fileName, ioBMP); }
  void SaveBMPStream(TStream& stream) { SaveCodecStream(stream, ioBMP); }
  int32_t LoadGIFFile(const std::string& fileName) { return LoadCodecFile(fileName, ioGIF); }
  int32_t LoadGIFStream(TStream& stream) { return LoadCodecStream(stream, ioGIF); }
  void SaveGIFFile(const std::string& fileName) { SaveCodecFile(fileName, ioGIF); }
  void SaveGIFStream(TStream& stream) { SaveCodecStream(stream, ioGIF); }
  void LoadJPEGFile(const std::string& fileName) { LoadCodecFile(fileName, ioJPEG); }
  void LoadJPEGStream(TStream& stream) { LoadCodecStream(stream, ioJPEG); }
  void SaveJPEGFile(const std::string& fileName) { SaveCodecFile(fileName, ioJPEG); }
  void SaveJPEGStream(TStream& stream) { SaveCodecStream(stream, ioJPEG); }
  void LoadPCXFile(const std::string& fileName) { LoadCodecFile(fileName, ioPCX); }
  void LoadPCXStream(TStream& stream) { LoadCodecStream(stream, ioPCX); }
  void SavePCXFile(const std::string& fileName) { SaveCodecFile(fileName, ioPCX); }
  void SavePCXStream(TStream& stream) { SaveCodecStream(stream, ioPCX); }
  int32_t LoadTIFFFile(const std::string& fileName) { return LoadCodecFile(fileName, ioTIFF); }
  void LoadTIFFStream(TStream& stream) { LoadCodecStream(stream, ioTIFF); }
  void SaveTIFFFile(const std::string& fileName) { SaveCodecFile(fileName, ioTIFF); }
  void SaveTIFFStream(TStream& stream) { SaveCodecStream(stream, ioTIFF); }
  void LoadPNGFile(const std::string& fileName) { LoadCodecFile(fileName, ioPNG); }
  void LoadPNGStream(TStream& stream) { LoadCodecStream(stream, ioPNG); }
  void SavePNGFile(const std::string& fileName) { SaveCodecFile(fileName, ioPNG); }
  void SavePNGStream(TStream& stream) { SaveCodecStream(stream, ioPNG); }
  void LoadTGAFile(const std::string& fileName) { LoadCodecFile(fileName, ioTGA); }
  void LoadTGAStream(TStream& stream) { LoadCodecStream(stream, ioTGA); }
  void SaveTGAFile(const std::string& fileName) { SaveCodecFile(fileName, ioTGA); }
  void SaveTGAStream(TStream& stream) { SaveCodecStream(stream, ioTGA); }
  void LoadIconFile(const std::string& fileName) { LoadCodecFile(fileName, ioICO); }
  void LoadIconStream(TStream& stream) { LoadCodecStream(stream, ioICO); }
  void LoadCursorFile(const std::string& fileName) { LoadCodecFile(fileName, ioCUR); }
  void LoadCursorStream(TStream& stream) { LoadCodecStream(stream, ioCUR); }
  void LoadPXMFile(const std::string& fileName) { LoadCodecFile(fileName, ioPXM); }
  void LoadPXMStream(TStream& stream) { LoadCodecStream(stream, ioPXM); }
  void SavePXMFile(const std::string& fileName) { SaveCodecFile(fileName, ioPXM); }
  void SavePXMStream(TStream& stream) { SaveCodecStream(stream, ioPXM); }
  void LoadWBMPFile(const std::string& fileName) { LoadCodecFile(fileName, ioWBMP); }
  void LoadWBMPStream(TStream& stream) { LoadCodecStream(stream, ioWBMP); }
  void SaveWBMPFile(const std::string& fileName) { SaveCodecFile(fileName, ioWBMP); }
  void SaveWBMPStream(TStream& stream) { SaveCodecStream(stream, ioWBMP); }
  void LoadJP2File(const std::string& fileName) { LoadCodecFile(fileName, ioJP2); }
  void LoadJP2Stream(TStream& stream) { LoadCodecStream(stream, ioJP2); }
  void SaveJP2File(const std::string& fileName) { SaveCodecFile(fileName, ioJP2); }
  void SaveJP2Stream(TStream& stream) { SaveCodecStream(stream, ioJP2); }
  void LoadJ2KFile(const std::string& fileName) { LoadCodecFile(fileName, ioJ2K); }
  void LoadJ2KStream(TStream& stream) { LoadCodecStream(stream, ioJ2K); }
  void SaveJ2KFile(const std::string& fileName) { SaveCodecFile(fileName, ioJ2K); }
  void SaveJ2KStream(TStream& stream) { SaveCodecStream(stream, ioJ2K); }
  void SavePSFile(const std::string& fileName) { SaveCodecFile(fileName, ioPS); }
  void SavePSStream(TStream& stream) { SaveCodecStream(stream, ioPS); }
  void SavePDFFile(const std::string& fileName) { SaveCodecFile(fileName, ioPDF); }
  void SavePDFStream(TStream& stream) { SaveCodecStream(stream, ioPDF); }

  // ---- supporting operations ----
  // Code of the stream's content (0 unknown); the position is restored.
  int32_t DetectStreamFormat(TStream& stream);
  // With checkExtension the file's extension must agree (icons and cursors are
  // told apart by it); any error gives 0.
  int32_t DetectFileFormat(const std::string& fileName, bool checkExtension);
  // False without a target; copies an attached platform bitmap into the target.
  bool PrepareBitmap();
  void UpdateAttached();
  // Resamples an image of non-square resolution to square pixels (the smaller
  // side grows or shrinks), filtered when FilteredAdjustDPI.
  void AdjustDPI();
  // Progress 100, then OnFinishWork.
  virtual void FinishWork();

protected:
  // Load and save skeletons of every format with a row (file and stream forms);
  // the loads return the reader's frame or page count.
  int32_t LoadCodecFile(const std::string& fileName, int32_t fileType);
  int32_t LoadCodecStream(TStream& stream, int32_t fileType);
  void SaveCodecFile(const std::string& fileName, int32_t fileType);
  void SaveCodecStream(TStream& stream, int32_t fileType);
  // A file load through a row: its Import, or the codec skeleton.
  void LoadRowFile(const TIOFormat& row, const std::string& fileName);
  // The registry fallbacks for codes and extensions the dispatch does not know.
  void LoadRegistryFile(const std::string& fileName, int32_t fileType, const std::string& extension);
  void LoadRegistryStream(TStream& stream, int32_t fileType);
  void SaveRegistryFile(const std::string& fileName, const std::string& extension);
  void SaveRegistryStream(TStream& stream, int32_t fileType);

  // The frame of every operation: AbortFlag set (file forms) or cleared (stream
  // forms), the target prepared, the body run; FinishWork runs exactly once,
  // also when the body raises an error, which sets AbortFlag and reaches the
  // caller. Without a target: AbortFlag, FinishWork, and the body does not run.
  template <class Body>
  void RunOperation(bool fileForm, Body&& body);
  // Load steps after the reader: alpha from the mask, default resolution, the
  // row's AfterRead, AdjustDPI, FileName and FileType, the view's resolution,
  // UpdateAttached. fileName is null for stream loads.
  void FinishLoad(const TIOFormat& row, TIOReadCall& call, const std::string* fileName);
  // The parameters-only read of a code; false when nothing reads it.
  bool ReadParamsWith(TStream& stream, int32_t fileType);

  // A progress record pointing at AbortFlag; with callback = the OnProgress handler.
  TIOProgress MakeProgress(bool withCallback);
  // Load step 8: a resolution below 2 becomes the default.
  void ApplyDefaultDpi();
  // Converts the target to lx24RGB unless it is lx24RGB or lx1g.
  void ConvertForWriter();

  // True on one of this controller's background threads (those register here).
  bool IsIOThread();
  std::mutex lock_;
  std::vector<std::thread::id> ioThreads_;

private:
  void ReleaseTarget();
  void NewOwnBitmap();
  void Unregister();
  static void ViewCallback(void* context, TIOViewEvent event);

  std::unique_ptr<TIOParamsVals> params_;
  std::unique_ptr<TLXBitmap> ownBitmap_;
  TLXBitmap* bitmap_ = nullptr;
  TBitmap* graphic_ = nullptr;
  TIOViewLink* view_ = nullptr;
  int viewHandle_ = -1;
  int32_t background_ = 0;
  bool nativePixelFormat_ = false;
};
