#include "proc/talvexproc.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "image/bitmap.h"
#include "image/mask.h"
#include "image/types.h"
#include "proc/convert.h"

TTalvexProc::TTalvexProc() { MakePrivateBitmap(); }

TTalvexProc::TTalvexProc(TLXProcView* view) {
  if (view) SetAttachedTalvex(view);
  else MakePrivateBitmap();
}

TTalvexProc::~TTalvexProc() {
  if (view_) view_->ProcDetached(this);
}

void TTalvexProc::MakePrivateBitmap() {
  own_ = std::make_unique<TLXBitmap>();
  borrowed_ = nullptr;
}

TLXBitmap* TTalvexProc::Bitmap() {
  if (view_) {
    if (TLXBitmap* b = view_->ProcBitmap()) return b;
  }
  if (borrowed_) return borrowed_;
  if (!own_) MakePrivateBitmap();
  return own_.get();
}

void TTalvexProc::SetAttachedTalvex(TLXProcView* view) {
  if (view == view_) return;
  if (view_) view_->ProcDetached(this);
  view_ = view;
  if (view_) {
    own_.reset();
    borrowed_ = nullptr;
    view_->ProcAttached(this);
  } else {
    MakePrivateBitmap();
  }
}

void TTalvexProc::SetAttachedBitmap(TLXBitmap* bitmap) {
  if (view_) {
    view_->ProcDetached(this);
    view_ = nullptr;
  }
  if (bitmap) {
    own_.reset();
    borrowed_ = bitmap;
  } else {
    MakePrivateBitmap();
  }
}

void TTalvexProc::ViewDestroyed(TLXProcView* view) {
  if (view && view == view_) {
    view_ = nullptr;
    MakePrivateBitmap();
  }
}

void TTalvexProc::SetUndoLimit(int value) { undoLimit_ = std::max(1, value); }

int32_t TTalvexProc::Background() { return view_ ? view_->ProcBackground() : background_; }

void TTalvexProc::SetBackground(int32_t colour) {
  if (view_) view_->SetProcBackground(colour);
  else background_ = colour;
}

void TTalvexProc::Resample(int newWidth, int newHeight, TResampleFilter filter) {
  TLXBitmap* bitmap = Bitmap();
  if (bitmap->Width() == 0 || bitmap->Height() == 0) return;
  TLXBitmap temporary;
  ResampleTo(&temporary, newWidth, newHeight, filter);
  // Both sizes negative leave the temporary empty; handing that on would wipe
  // the image, so the bitmap stays as it is.
  if (temporary.IsEmpty()) return;
  bitmap->Assign(&temporary);
  Refresh();
}

void TTalvexProc::ResampleTo(TLXBitmap* dest, int newWidth, int newHeight, TResampleFilter filter) {
  TLXBitmap* src = Bitmap();
  if (!dest || dest == src) return;
  const int srcW = src->Width(), srcH = src->Height();
  if (srcW == 0 || srcH == 0) return;
  if (AutoUndo) SaveUndo("Resample " + std::to_string(newWidth) + "," + std::to_string(newHeight));
  if (newWidth < 0 && newHeight < 0) return;
  // In 64 bits: a hostile size times a side must not overflow.
  int64_t w;
  if (newWidth == -1) w = int64_t(newHeight) * srcW / srcH;
  else if (newWidth != 0) w = std::llabs(int64_t(newWidth));
  else w = srcW;
  if (w < 1) w = 1;
  int64_t h;
  if (newHeight == -1) h = w * srcH / srcW;
  else if (newHeight != 0) h = std::llabs(int64_t(newHeight));
  else h = srcH;
  if (h < 1) h = 1;
  if (w > kMaxImageSide || h > kMaxImageSide) return;
  dest->Allocate(int(w), int(h), src->PixelFormat());
  if (dest->IsEmpty()) return;
  ResampleBitmap(src, dest, filter, this, OnProgress);
}

void TTalvexProc::ConvertTo(int n, int ditherMethod) {
  TLXBitmap* bitmap = Bitmap();
  if (bitmap->IsEmpty() || bitmap->PixelFormat() != lx24RGB) return;
  if (AutoUndo) SaveUndo("ConvertTo " + std::to_string(n));
  ::ConvertTo(bitmap, n, ditherMethod, this, OnProgress);
  Refresh();
}

void TTalvexProc::ConvertToPalette(int n, TRGB* palette, int ditherMethod) {
  if (n == 0) return;
  TLXBitmap* bitmap = Bitmap();
  if (bitmap->IsEmpty() || bitmap->PixelFormat() != lx24RGB) return;
  if (AutoUndo) SaveUndo("ConvertToPalette");
  ::ConvertToPalette(bitmap, n, palette, ditherMethod, this, OnProgress);
  Refresh();
}

void TTalvexProc::ConvertToGray() {
  TLXBitmap* bitmap = Bitmap();
  if (bitmap->IsEmpty()) return;
  if (AutoUndo) SaveUndo("ConvertToGray");
  TLXMask* mask = view_ ? view_->ProcSelection() : nullptr;
  if (!mask || mask->IsEmpty()) {
    GrayRect(bitmap, 0, 0, this, OnProgress, bitmap->Width(), bitmap->Height());
  } else {
    // Work on the selection's bounding rectangle, then copy back only the selected pixels.
    const int x1 = std::max(0, mask->X1), y1 = std::max(0, mask->Y1);
    const int x2 = std::min(mask->X2, bitmap->Width() - 1), y2 = std::min(mask->Y2, bitmap->Height() - 1);
    if (x2 >= x1 && y2 >= y1) {
      TLXBitmap part;
      part.Allocate(x2 - x1 + 1, y2 - y1 + 1, bitmap->PixelFormat());
      if (!part.IsEmpty()) {
        bitmap->CopyRectTo(&part, x1, y1, 0, 0, part.Width(), part.Height());
        GrayRect(&part, 0, 0, this, OnProgress, part.Width(), part.Height());
        const int bytes = BitCountOf(bitmap->PixelFormat()) / 8;
        std::vector<uint8_t> row(size_t(part.RowLength()));
        for (int y = y1; y <= y2; ++y) {
          std::memcpy(row.data(), part.Scanline(y - y1), row.size());  // lxFile hands out one row at a time
          uint8_t* dst = bitmap->Scanline(y);
          for (int x = x1; x <= x2; ++x)
            if (bytes > 0 && mask->GetPixel(x, y) != 0)
              std::memcpy(dst + size_t(x) * bytes, row.data() + size_t(x - x1) * bytes, size_t(bytes));
        }
      }
    }
  }
  Refresh();
}

void TTalvexProc::SaveUndo(const std::string& caption) {
  while (!undo_.empty() && int(undo_.size()) >= undoLimit_) {
    undo_.erase(undo_.begin());
    captions_.erase(captions_.begin());
  }
  auto snapshot = std::make_unique<TLXBitmap>();
  snapshot->SetLocation(lxFile);
  snapshot->Assign(Bitmap());
  undo_.push_back(std::move(snapshot));
  captions_.push_back(caption);
}

TLXBitmap* TTalvexProc::UndoBitmap(int index) { return undo_.at(index).get(); }

void TTalvexProc::ClearUndo() {
  undo_.clear();
  captions_.clear();
}

void TTalvexProc::Refresh() {
  if (view_) {
    view_->ProcUpdate();
    view_->ProcImageChange();
  }
}
