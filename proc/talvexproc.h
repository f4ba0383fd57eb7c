#pragma once
// TTalvexProc: the processing component. It acts on one TLXBitmap: its own
// private one, a caller's, or the bitmap of the view it is attached to.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "image/types.h"
#include "proc/resample.h"

class TLXBitmap;
class TLXMask;
class TTalvexProc;

// What a view offers the processing component attached to it. The view
// implements it; the component never sees the view class itself.
class TLXProcView {
public:
  virtual TLXBitmap* ProcBitmap() = 0;       // the view's bitmap
  virtual void ProcUpdate() = 0;             // recompute geometry and repaint (Update)
  virtual void ProcImageChange() = 0;        // report an image change (ImageChange)
  virtual int32_t ProcBackground() = 0;
  virtual void SetProcBackground(int32_t colour) = 0;
  // The selection the colour operations keep to; nullptr or an empty mask: the whole image.
  virtual TLXMask* ProcSelection() { return nullptr; }
  // Removal notification: a view calls proc->ViewDestroyed(this) for each
  // component it was told about before it goes away.
  virtual void ProcAttached(TTalvexProc*) {}
  virtual void ProcDetached(TTalvexProc*) {}

protected:
  ~TLXProcView() = default;
};

class TTalvexProc {
public:
  TTalvexProc();
  explicit TTalvexProc(TLXProcView* view);
  virtual ~TTalvexProc();
  TTalvexProc(const TTalvexProc&) = delete;
  TTalvexProc& operator=(const TTalvexProc&) = delete;

  // The bitmap the operations act on (never null).
  TLXBitmap* Bitmap();

  // --- attachment ---
  TLXProcView* AttachedTalvex() const { return view_; }
  // A view: work on its bitmap (a private bitmap is freed). nullptr: a new private bitmap.
  void SetAttachedTalvex(TLXProcView* view);
  // Work on a caller's bitmap, which stays the caller's; nullptr: a new private bitmap.
  void SetAttachedBitmap(TLXBitmap* bitmap);
  // The attached view is going away: clear the reference.
  void ViewDestroyed(TLXProcView* view);

  // --- properties ---
  bool AutoUndo = true;
  int UndoLimit() const { return undoLimit_; }
  void SetUndoLimit(int value);
  TLXProgressEvent OnProgress;
  int32_t Background();
  void SetBackground(int32_t colour);

  // --- resampling ---
  void Resample(int newWidth, int newHeight, TResampleFilter filter);
  void ResampleTo(TLXBitmap* dest, int newWidth, int newHeight, TResampleFilter filter);

  // --- colour reduction (lx24RGB only; other formats: nothing, no snapshot) ---
  // n < 3: black and white (ditherMethod 0 ordered dithering, 1 mean threshold);
  // 3..1024: n colours in place; more: pixels unchanged.
  void ConvertTo(int n, int ditherMethod);
  // As ConvertTo; palette receives the colours used. n = 0: nothing at all.
  void ConvertToPalette(int n, TRGB* palette, int ditherMethod);
  // Grey over the attached view's selection, or the whole image.
  void ConvertToGray();

  // --- undo ---
  // A snapshot of the bitmap (in lxFile) with its caption, keeping at most UndoLimit.
  void SaveUndo(const std::string& caption);
  int UndoCount() const { return int(undo_.size()); }
  TLXBitmap* UndoBitmap(int index);
  const std::string& UndoCaption(int index) const { return captions_.at(index); }
  void ClearUndo();

  // The refresh after an in-place change: the attached view updates and reports
  // an image change.
  void Refresh();

private:
  void MakePrivateBitmap();

  TLXProcView* view_ = nullptr;
  TLXBitmap* borrowed_ = nullptr;
  std::unique_ptr<TLXBitmap> own_;
  int undoLimit_ = 1;
  int32_t background_ = 0;
  std::vector<std::unique_ptr<TLXBitmap>> undo_;
  std::vector<std::string> captions_;
};
