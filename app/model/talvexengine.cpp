#include "app/model/talvexengine.h"

#include "io/controller.h"
#include "io/viewlink.h"
#include "view/view.h"

void AttachControllerToView(TTalvexIO& io, TTalvexView& view) {
  io.SetAttachedView(&view);
}

TTalvexConverterEngine::TTalvexConverterEngine(TTalvexView& view, TTalvexIO& io)
    : view_(view), io_(io) {
  AttachControllerToView(io_, view_);
}

void TTalvexConverterEngine::LoadFile(const std::string& fileName) { io_.LoadFile(fileName); }

int TTalvexConverterEngine::ImageWidth() { return view_.ImageWidth(); }
int TTalvexConverterEngine::ImageHeight() { return view_.ImageHeight(); }
int TTalvexConverterEngine::DisplayWidth() { return view_.DisplayWidth(); }
int TTalvexConverterEngine::DisplayHeight() { return view_.DisplayHeight(); }

void TTalvexConverterEngine::ClearView() {
  view_.Clear();
  // The window's repaint request runs the view's update.
  view_.Update();
}

void TTalvexConverterEngine::SetViewBackground(int32_t colour) { view_.SetBackground(colour); }

void TTalvexConverterEngine::SetIconParams(int width, int height, int bitCount, int bitsPerSample) {
  TIOParamsVals& p = view_.ViewIO()->Params();
  p.IconBitCounts[0] = bitCount;
  p.IconSizes[0].Width = width;
  p.IconSizes[0].Height = height;
  p.BitsPerSample = bitsPerSample;
}

bool TTalvexConverterEngine::SaveIconFile(const std::string& fileName) {
  TTalvexIO* io = view_.ViewIO();
  io->SaveIconFile(fileName);
  return !io->AbortFlag;
}

bool TTalvexConverterEngine::SaveFile(const std::string& fileName) {
  TTalvexIO* io = view_.ViewIO();
  io->SaveFile(fileName);
  return !io->AbortFlag;
}
