#include "proc/quantizer.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "image/bitmap.h"

namespace {

// Round to nearest, ties to even (the default floating-point rounding mode).
inline double RoundEven(double v) { return std::nearbyint(v); }

// Row access for the training and histogram passes. File-backed bitmaps hand out
// one row at a time, so their pixels are copied once; the others are read in place.
class TPixelRows {
public:
  explicit TPixelRows(TLXBitmap* image) : width_(image->Width()), height_(image->Height()) {
    rows_.resize(size_t(std::max(height_, 0)));
    if (image->Location() == lxFile) {
      const size_t rowBytes = size_t(width_) * 3;
      copy_.resize(rowBytes * rows_.size());
      for (int y = 0; y < height_; ++y) {
        std::memcpy(copy_.data() + rowBytes * size_t(y), image->Scanline(y), rowBytes);
        rows_[size_t(y)] = copy_.data() + rowBytes * size_t(y);
      }
    } else {
      for (int y = 0; y < height_; ++y) rows_[size_t(y)] = image->Scanline(y);
    }
  }
  const uint8_t* Row(int y) const { return rows_[size_t(y)]; }
  int Width() const { return width_; }
  int Height() const { return height_; }

private:
  int width_, height_;
  std::vector<const uint8_t*> rows_;
  std::vector<uint8_t> copy_;
};

}  // namespace

// ---------------------------------------------------------------------------
// Network quantizer

struct TLXQuantizer::TNetwork {
  int netsize = 0;
  std::vector<int32_t> net;  // 4 per neuron: blue, green, red, index before sorting
  std::vector<int32_t> bias, freq, radpower;
  int32_t netindex[256] = {};

  int32_t* Neuron(int i) { return net.data() + size_t(i) * 4; }

  int Contest(int32_t b, int32_t g, int32_t r) {
    int32_t bestd = INT32_MAX, bestbiasd = INT32_MAX;
    int bestpos = -1, bestbiaspos = -1;
    const int32_t* p = net.data();
    int32_t* f = freq.data();
    int32_t* bs = bias.data();
    for (int i = 0; i < netsize; ++i, p += 4) {
      const int32_t dist = std::abs(p[0] - b) + std::abs(p[1] - g) + std::abs(p[2] - r);
      if (dist < bestd) {
        bestd = dist;
        bestpos = i;
      }
      const int32_t biasdist = BiasDist(dist, bs[i]);
      if (biasdist < bestbiasd) {
        bestbiasd = biasdist;
        bestbiaspos = i;
      }
      const int32_t betafreq = f[i] / 1024;
      f[i] -= betafreq;
      bs[i] += betafreq * 1024;
    }
    f[bestpos] += 64;
    bs[bestpos] -= 65536;
    return bestbiaspos;
  }

  void AlterSingle(int32_t alpha, int i, int32_t b, int32_t g, int32_t r) {
    int32_t* p = Neuron(i);
    p[0] -= (alpha * (p[0] - b)) / 1024;
    p[1] -= (alpha * (p[1] - g)) / 1024;
    p[2] -= (alpha * (p[2] - r)) / 1024;
  }

  void AlterNeighbours(int rad, int i, int32_t b, int32_t g, int32_t r) {
    const int lo = std::max(i - rad, -1), hi = std::min(i + rad, netsize);
    int j = i + 1, k = i - 1, m = 1;
    // The range is tested before radpower[m] is read: past the last neighbour
    // m would index one beyond the table.
    while (j < hi || k > lo) {
      const int32_t a = radpower[size_t(m++)];
      if (j < hi) {
        int32_t* p = Neuron(j++);
        p[0] -= (a * (p[0] - b)) / 262144;
        p[1] -= (a * (p[1] - g)) / 262144;
        p[2] -= (a * (p[2] - r)) / 262144;
      }
      if (k > lo) {
        int32_t* p = Neuron(k--);
        p[0] -= (a * (p[0] - b)) / 262144;
        p[1] -= (a * (p[1] - g)) / 262144;
        p[2] -= (a * (p[2] - r)) / 262144;
      }
    }
  }

  void SetRadPower(int rad, int32_t alpha) {
    for (int k = 0; k < rad; ++k)
      radpower[size_t(k)] = alpha * (((rad * rad - k * k) * 256) / (rad * rad));
  }

  void BuildIndex() {
    int previouscol = 0, startpos = 0;
    for (int i = 0; i < netsize; ++i) {
      int32_t* p = Neuron(i);
      int smallpos = i;
      int32_t smallval = p[1];
      for (int j = i + 1; j < netsize; ++j) {
        const int32_t* q = Neuron(j);
        if (q[1] < smallval) {
          smallpos = j;
          smallval = q[1];
        }
      }
      if (smallpos != i) std::swap_ranges(p, p + 4, Neuron(smallpos));
      if (smallval != previouscol) {
        netindex[previouscol] = (startpos + i) / 2;
        for (int j = previouscol + 1; j < smallval; ++j) netindex[j] = i;
        previouscol = smallval;
        startpos = i;
      }
    }
    netindex[previouscol] = (startpos + netsize - 1) / 2;
    for (int j = previouscol + 1; j < 256; ++j) netindex[j] = netsize - 1;
  }

  int Search(int32_t b, int32_t g, int32_t r) const {
    if (netsize <= 0) return -1;
    int i = netindex[g], j = i - 1;
    int32_t bestd = 1000;
    int best = -1;
    const int32_t* base = net.data();
    while (i < netsize || j >= 0) {
      if (i < netsize) {
        const int32_t* p = base + size_t(i) * 4;
        int32_t d = p[1] - g;
        if (d >= bestd) {
          i = netsize;
        } else {
          ++i;
          d = std::abs(d) + std::abs(p[0] - b);
          if (d < bestd) {
            d += std::abs(p[2] - r);
            if (d < bestd) {
              bestd = d;
              best = p[3];
            }
          }
        }
      }
      if (j >= 0) {
        const int32_t* p = base + size_t(j) * 4;
        int32_t d = g - p[1];
        if (d >= bestd) {
          j = -1;
        } else {
          --j;
          d = std::abs(d) + std::abs(p[0] - b);
          if (d < bestd) {
            d += std::abs(p[2] - r);
            if (d < bestd) {
              bestd = d;
              best = p[3];
            }
          }
        }
      }
    }
    return best;
  }
};

void TLXQuantizer::BuildNetwork(TRGB* palette, int quality) {
  TPixelRows rows(image_);
  const int width = rows.Width(), height = rows.Height();
  const int64_t pixels = int64_t(width) * height;

  if (quality >= 0 && quality <= 100) {
    samplefac_ = int(std::trunc((100 - quality) / 100.0 * 29)) + 1;
  } else if (pixels < 2000) {
    samplefac_ = 1;
  } else {
    const double f = RoundEven(double(pixels - 2000) * 13 / 148000 + 2);
    samplefac_ = int(std::clamp(f, 1.0, 30.0));
  }

  network_ = std::make_unique<TNetwork>();
  TNetwork& nw = *network_;
  const int n = n_;
  nw.netsize = n;
  nw.net.resize(size_t(n) * 4);
  nw.bias.assign(size_t(n), 0);
  nw.freq.assign(size_t(n), 65536 / n);
  nw.radpower.assign(size_t(std::max(n / 8, 1)), 0);
  for (int i = 0; i < n; ++i) {
    int32_t* p = nw.Neuron(i);
    p[0] = p[1] = p[2] = int32_t(int64_t(i) * 4096 / n);
    p[3] = 0;
  }

  const int initrad = n / 8;
  int32_t radius = initrad * 64;
  int32_t alpha = 1024;
  const int32_t alphadec = 30 + (samplefac_ - 1) / 3;
  int rad = radius / 64;
  if (rad <= 1) rad = 0;
  nw.SetRadPower(rad, alpha);

  const int64_t lengthcount = pixels * 3;
  const int64_t P = pixels;
  const int64_t samples = lengthcount / (3 * int64_t(samplefac_));
  const int64_t delta = std::max<int64_t>(samples / 100, 1);
  int64_t step;
  if (lengthcount % 499 != 0) step = 499;
  else if (lengthcount % 491 != 0) step = 491;
  else if (lengthcount % 487 != 0) step = 487;
  else step = 503;

  int64_t pos = 0;
  for (int64_t s = 1; s <= samples; ++s) {
    int64_t row = pos / width;
    if (row >= height) row %= height;
    const uint8_t* px = rows.Row(int(row)) + (pos % width) * 3;
    const int32_t b = px[0] * 16, g = px[1] * 16, r = px[2] * 16;

    const int winner = nw.Contest(b, g, r);
    nw.AlterSingle(alpha, winner, b, g, r);
    if (rad != 0) nw.AlterNeighbours(rad, winner, b, g, r);

    pos += step;
    if (pos >= P) pos -= P;

    if (s % delta == 0) {
      alpha -= alpha / alphadec;
      radius -= radius / 30;
      rad = radius / 64;
      if (rad <= 1) rad = 0;
      nw.SetRadPower(rad, alpha);
    }
  }

  for (int i = 0; i < n; ++i) {
    int32_t* p = nw.Neuron(i);
    p[0] /= 16;
    p[1] /= 16;
    p[2] /= 16;
    p[3] = i;
    palette[i] = TRGB{uint8_t(p[0]), uint8_t(p[1]), uint8_t(p[2])};
  }
  written_ = n;
  nw.BuildIndex();
}

// ---------------------------------------------------------------------------
// Box splitting

namespace {

constexpr int kCells = 32;

struct TBox {
  double error = 0;
  double mean[3] = {0, 0, 0};  // red, green, blue, in cell units
  int64_t count = 0;
  int64_t hist[3][kCells] = {};  // marginals: red, green, blue
  int lo[3] = {0, 0, 0};         // inclusive
  int hi[3] = {kCells, kCells, kCells};  // exclusive
};

inline int CellOf(int r, int g, int b) { return r * 1024 + g * 32 + b; }

}  // namespace

struct TLXQuantizer::TBoxes {
  std::vector<int64_t> histogram = std::vector<int64_t>(32768, 0);
  std::vector<TBox> boxes;
  std::vector<uint8_t> table = std::vector<uint8_t>(32768, 0);
  int64_t total = 0;

  void Statistics(TBox& box) const {
    box.error = 0;
    if (box.count == 0) return;
    for (int ch = 0; ch < 3; ++ch) {
      double sum = 0, sq = 0;
      for (int v = box.lo[ch]; v < box.hi[ch]; ++v) {
        sum += double(v) * double(box.hist[ch][v]);
        sq += double(v) * double(v) * double(box.hist[ch][v]);
      }
      box.mean[ch] = sum / double(box.count);
      box.error += sq - box.mean[ch] * box.mean[ch] * double(box.count);
    }
    box.error /= double(total);
  }

  // Recounts the first half's marginals from the 3-D histogram, derives the
  // second's, shrinks both to their occupied cells and recomputes statistics.
  void Finish(const TBox& box, TBox& first, TBox& second) const {
    std::memset(first.hist, 0, sizeof first.hist);
    for (int r = first.lo[0]; r < first.hi[0]; ++r)
      for (int g = first.lo[1]; g < first.hi[1]; ++g) {
        const int64_t* h = histogram.data() + CellOf(r, g, 0);
        for (int b = first.lo[2]; b < first.hi[2]; ++b) {
          const int64_t c = h[b];
          first.hist[0][r] += c;
          first.hist[1][g] += c;
          first.hist[2][b] += c;
        }
      }
    for (int ch = 0; ch < 3; ++ch)
      for (int v = 0; v < kCells; ++v) second.hist[ch][v] = box.hist[ch][v] - first.hist[ch][v];
    for (TBox* half : {&first, &second}) {
      for (int ch = 0; ch < 3; ++ch) {
        int lo = half->lo[ch], hi = half->hi[ch];
        while (lo < hi && half->hist[ch][lo] == 0) ++lo;
        while (hi > lo && half->hist[ch][hi - 1] == 0) --hi;
        half->lo[ch] = lo;
        half->hi[ch] = hi;
      }
      Statistics(*half);
    }
  }

  bool TrialCut(const TBox& box, int ch, TBox& first, TBox& second) const {
    const int lo = box.lo[ch], hi = box.hi[ch];
    if (hi <= lo + 1) return false;
    const int64_t N = box.count;
    const double mu = box.mean[ch];
    const int s = int(RoundEven((lo + mu) / 2));
    const int e = int(RoundEven((mu + hi) / 2));
    const int64_t* marginal = box.hist[ch];
    int64_t below = 0;
    for (int v = lo; v < s; ++v) below += marginal[v];
    double best = -1, acc = 0;
    int cut = s;
    int64_t nBelow = N;
    for (int v = s; v <= e && v < hi; ++v) {
      below += marginal[v];
      if (below == N) break;
      acc += double(marginal[v] * v) / double(N);
      const double score =
          double(below) / double(N - below) * ((mu - acc) * (mu - acc));
      if (score > best) {
        best = score;
        cut = v;
        nBelow = below;
      }
    }
    if (nBelow == 0 || N - nBelow == 0) return false;
    first = box;
    second = box;
    first.hi[ch] = cut + 1;
    second.lo[ch] = cut + 1;
    first.count = nBelow;
    second.count = N - nBelow;
    Finish(box, first, second);
    return true;
  }

  bool Split(int index) {
    const TBox& box = boxes[size_t(index)];
    TBox bestFirst, bestSecond, first, second;
    bool found = false;
    double bestScore = 0;
    for (int ch = 0; ch < 3; ++ch) {
      if (!TrialCut(box, ch, first, second)) continue;
      const double score = first.error + second.error;
      if (!found || score < bestScore) {
        found = true;
        bestScore = score;
        bestFirst = first;
        bestSecond = second;
      }
    }
    if (!found) return false;
    boxes[size_t(index)] = bestFirst;
    boxes.push_back(bestSecond);
    return true;
  }
};

void TLXQuantizer::BuildBoxes(TRGB* palette) {
  boxes_ = std::make_unique<TBoxes>();
  TBoxes& bx = *boxes_;
  TBox first;
  {
    TPixelRows rows(image_);
    for (int y = 0; y < rows.Height(); ++y) {
      const uint8_t* p = rows.Row(y);
      for (int x = 0; x < rows.Width(); ++x, p += 3) {
        const int b = p[0] >> 3, g = p[1] >> 3, r = p[2] >> 3;
        ++bx.histogram[size_t(CellOf(r, g, b))];
        ++first.hist[0][r];
        ++first.hist[1][g];
        ++first.hist[2][b];
      }
    }
    // The true pixel count: narrowing the sides to 16 bits would misweigh the
    // errors of images wider or taller than 65535.
    bx.total = int64_t(rows.Width()) * rows.Height();
  }
  first.count = bx.total;
  bx.Statistics(first);
  bx.boxes.reserve(size_t(n_));
  bx.boxes.push_back(first);

  while (int(bx.boxes.size()) < n_) {
    int pick = -1;
    double worst = 0;
    for (size_t i = 0; i < bx.boxes.size(); ++i)
      if (bx.boxes[i].error > worst) {
        worst = bx.boxes[i].error;
        pick = int(i);
      }
    if (pick < 0) break;
    if (!bx.Split(pick)) bx.boxes[size_t(pick)].error = 0;
  }

  for (size_t i = 0; i < bx.boxes.size(); ++i) {
    const TBox& box = bx.boxes[i];
    palette[i] = CreateRGB(uint8_t(int(RoundEven(box.mean[0])) * 8),
                           uint8_t(int(RoundEven(box.mean[1])) * 8),
                           uint8_t(int(RoundEven(box.mean[2])) * 8));
    for (int r = box.lo[0]; r < box.hi[0]; ++r)
      for (int g = box.lo[1]; g < box.hi[1]; ++g)
        for (int b = box.lo[2]; b < box.hi[2]; ++b) bx.table[size_t(CellOf(r, g, b))] = uint8_t(i);
  }
  written_ = int(bx.boxes.size());
}

// ---------------------------------------------------------------------------

TLXQuantizer::TLXQuantizer(TLXBitmap* image, TRGB* palette, int /*spare*/, int n, int quality,
                           int /*method*/)
    : image_(image), n_(n) {
  if (!image || !palette || n <= 0) {
    mode_ = qmNone;
    return;
  }
  isGray_ = image->IsGrayScale();
  const TLXPixelFormat format = image->PixelFormat();
  if (!isGray_ && format == lx24RGB) {
    // Distinct colours in order of first appearance; a sorted side table of
    // (colour, position) answers "seen before?" without a walk of the list.
    std::vector<std::pair<int32_t, int32_t>> seen;
    bool overflow = false;
    int32_t last = -1;
    const int width = image->Width(), height = image->Height();
    for (int y = 0; y < height && !overflow; ++y) {
      const uint8_t* p = image->Scanline(y);
      for (int x = 0; x < width; ++x, p += 3) {
        const int32_t c = p[0] | (p[1] << 8) | (p[2] << 16);
        if (c == last) continue;
        last = c;
        auto it = std::lower_bound(seen.begin(), seen.end(), std::make_pair(c, INT32_MIN));
        if (it != seen.end() && it->first == c) continue;
        if (int(exact_.size()) == n) {
          overflow = true;
          break;
        }
        seen.insert(it, {c, int32_t(exact_.size())});
        exact_.push_back(UnpackRGB(c));
      }
    }
    if (!overflow) {
      mode_ = qmExact;
      exactIndex_ = std::move(seen);
      std::copy(exact_.begin(), exact_.end(), palette);
      written_ = int(exact_.size());
      return;
    }
    exact_.clear();
    if (n >= 128) {
      mode_ = qmNetwork;
      method_ = 0;
      BuildNetwork(palette, quality);
    } else {
      mode_ = qmBoxes;
      method_ = 1;
      BuildBoxes(palette);
    }
    return;
  }
  if (format == lx8p) {
    mode_ = isGray_ ? qmGrayPalette : qmPalette;
    for (int i = 0; i < n; ++i) palette[i] = image->GetPaletteEntry(i, palette[i]);
    written_ = n;
    return;
  }
  mode_ = qmGrayRamp;
  for (int i = 0; i < n; ++i) {
    const auto v = uint8_t(std::trunc(256.0 / n * i));
    palette[i] = TRGB{v, v, v};
  }
  written_ = n;
}

TLXQuantizer::~TLXQuantizer() = default;

int TLXQuantizer::ColorToIndex(TRGB color) {
  switch (mode_) {
    case qmNone:
      return -1;
    case qmGrayPalette:
    case qmGrayRamp:
      return color.r * n_ / 256;
    case qmPalette: {
      const int count = image_->PaletteCount();
      const TRGB* pal = image_->Palette();
      for (int i = 0; i < count; ++i)
        if (pal[i] == color) return i;
      return count;
    }
    case qmExact: {
      const int32_t c = PackRGB(color);
      auto it = std::lower_bound(exactIndex_.begin(), exactIndex_.end(),
                                 std::make_pair(c, INT32_MIN));
      return it != exactIndex_.end() && it->first == c ? it->second : -1;
    }
    case qmNetwork:
      return network_->Search(color.b, color.g, color.r);
    case qmBoxes:
      return boxes_->table[size_t(CellOf(color.r >> 3, color.g >> 3, color.b >> 3))];
  }
  return -1;
}
