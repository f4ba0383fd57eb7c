#include "proc/talvexproc.h"

#include <algorithm>
#include <cstdlib>

#include "image/bitmap.h"

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

void TTalvexProc::Resample(int, int, TResampleFilter) {}

void TTalvexProc::ResampleTo(TLXBitmap*, int, int, TResampleFilter) {}

void TTalvexProc::SaveUndo(const std::string&) {}

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
