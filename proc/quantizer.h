#pragma once
// TLXQuantizer: picks a palette of at most n colours for one image and maps any
// colour to an index of it. Built once per image, queried once per pixel.
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "image/types.h"

class TLXBitmap;

class TLXQuantizer {
public:
  // Fills palette (caller-owned) for image, which must outlive the quantizer and
  // stay unchanged meanwhile. spare and method are accepted for the callers'
  // sake and not consulted: the method follows n. quality -1 derives the
  // network's sample factor from the image size; 0..100 sets it directly.
  TLXQuantizer(TLXBitmap* image, TRGB* palette, int spare, int n, int quality, int method);
  ~TLXQuantizer();
  TLXQuantizer(const TLXQuantizer&) = delete;
  TLXQuantizer& operator=(const TLXQuantizer&) = delete;

  // The palette index for any colour (it need not occur in the image). -1 for a
  // colour outside the exact list or over an empty network.
  int ColorToIndex(TRGB color);

  enum TMode : uint8_t { qmNone, qmExact, qmNetwork, qmBoxes, qmPalette, qmGrayPalette, qmGrayRamp };
  TMode Mode() const { return mode_; }
  // The network's sample factor (0 when no network was trained).
  int SampleFactor() const { return samplefac_; }
  // How many palette entries construction wrote.
  int EntriesWritten() const { return written_; }

  // The winner's measure in the network competition: dist less bias/4096
  // rounded toward minus infinity.
  static int32_t BiasDist(int32_t dist, int32_t bias) { return dist - (bias >> 12); }

private:
  struct TNetwork;
  struct TBoxes;

  void BuildNetwork(TRGB* palette, int quality);
  void BuildBoxes(TRGB* palette);

  TLXBitmap* image_ = nullptr;
  int n_ = 0;
  bool isGray_ = false;
  TMode mode_ = qmGrayRamp;
  int method_ = 0;  // 0 network, 1 box splitting
  int samplefac_ = 0;
  int written_ = 0;
  std::vector<TRGB> exact_;
  std::vector<std::pair<int32_t, int32_t>> exactIndex_;  // (packed colour, position), sorted
  std::unique_ptr<TNetwork> network_;
  std::unique_ptr<TBoxes> boxes_;
};
