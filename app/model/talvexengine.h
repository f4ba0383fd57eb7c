#pragma once
// The converter's engine over the real components: the preview view, the loading
// controller attached to it (`TalvexIO1`) and the view's own `ViewIO`.
#include "app/model/converterengine.h"

class TTalvexView;
class TTalvexIO;

// Attaches a controller to a view so that it loads into the view's bitmap.
void AttachControllerToView(TTalvexIO& io, TTalvexView& view);

class TTalvexConverterEngine : public TConverterEngine {
public:
  // Both stay the caller's; io is attached to view here.
  TTalvexConverterEngine(TTalvexView& view, TTalvexIO& io);

  void LoadFile(const std::string& fileName) override;
  int ImageWidth() override;
  int ImageHeight() override;
  int DisplayWidth() override;
  int DisplayHeight() override;
  void ClearView() override;
  void SetViewBackground(int32_t colour) override;
  void SetIconParams(int width, int height, int bitCount, int bitsPerSample) override;
  bool SaveIconFile(const std::string& fileName) override;
  bool SaveFile(const std::string& fileName) override;

  TTalvexView& View() { return view_; }
  TTalvexIO& IO() { return io_; }

private:
  TTalvexView& view_;
  TTalvexIO& io_;
};
