#pragma once
// The image side of the converter: the preview view, its loading controller
// `TalvexIO1` and the view's own `ViewIO`. The window and the tests plug in the
// real components; handler tests may use a scripted one.
#include <cstdint>
#include <string>

class TConverterEngine {
public:
  virtual ~TConverterEngine() = default;

  // TalvexIO1.LoadFile; may raise an error (a file that cannot be opened).
  virtual void LoadFile(const std::string& fileName) = 0;

  virtual int ImageWidth() = 0;
  virtual int ImageHeight() = 0;
  virtual int DisplayWidth() = 0;
  virtual int DisplayHeight() = 0;

  // The view's Clear followed by a repaint.
  virtual void ClearView() = 0;
  // Colour in the windowing encoding; negative values name system colours.
  virtual void SetViewBackground(int32_t colour) = 0;

  // Entry 0 of ViewIO's IconSizes and IconBitCounts, and its BitsPerSample.
  virtual void SetIconParams(int width, int height, int bitCount, int bitsPerSample) = 0;
  // ViewIO.SaveIconFile / ViewIO.SaveFile; true unless AbortFlag was left set.
  // Errors of the file layer are raised.
  virtual bool SaveIconFile(const std::string& fileName) = 0;
  virtual bool SaveFile(const std::string& fileName) = 0;
};
