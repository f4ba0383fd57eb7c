#pragma once
// A plain, slow, literal rendering of the resampling arithmetic, kept only to
// check the optimised code byte for byte. Images are interleaved bytes, top row first.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "proc/resample.h"

struct RefImage {
  int w = 0, h = 0, c = 0;
  std::vector<uint8_t> px;
  RefImage() = default;
  RefImage(int w_, int h_, int c_) : w(w_), h(h_), c(c_), px(size_t(w_) * h_ * c_) {}
  uint8_t& at(int x, int y, int ch) { return px[(size_t(y) * w + x) * c + ch]; }
  uint8_t at(int x, int y, int ch) const { return px[(size_t(y) * w + x) * c + ch]; }
};

struct RefContributor {
  int32_t index;
  int32_t weight;
};

inline double RefScale(int srcN, int dstN) {
  if (srcN == 1 || dstN == 1) return double(dstN) / srcN;
  return double(dstN - 1) / double(srcN - 1);
}

// One list per destination pixel: (mirrored index, weight) for each non-zero weight.
inline std::vector<std::vector<RefContributor>> RefContributors(int srcN, int dstN, TResampleFilter filter) {
  const TResampleKernel k = ResampleKernelOf(filter);
  const double r = k.support;
  const double sx = RefScale(srcN, dstN);
  std::vector<std::vector<RefContributor>> lists(dstN);
  for (int i = 0; i < dstN; ++i) {
    if (sx >= 1) {
      const double z = double((long double)i / sx);
      const int left = int(std::floor((long double)z - r));
      const int right = int(std::ceil((long double)z + r));
      for (int j = left; j <= right; ++j) {
        const int weight = int(std::nearbyint((long double)k.kernel(double((long double)z - j)) * 256));
        if (weight == 0) continue;
        int n = j < 0 ? -j : (j >= srcN ? 2 * srcN - 1 - j : j);
        lists[i].push_back({n, weight});
      }
    } else {
      const double w = double((long double)r / sx);
      const double f = double(1.0L / sx);
      const double z = double((long double)i / sx);
      const int left = int(std::floor((long double)z - w));
      const int right = int(std::ceil((long double)z + w));
      for (int j = left; j <= right; ++j) {
        const int weight =
            int(std::nearbyint((long double)k.kernel(double(((long double)z - j) / f)) * 256 / f));
        if (weight == 0) continue;
        int n = j < 0 ? -j : (j >= srcN ? 2 * srcN - 1 - j : j);
        lists[i].push_back({n, weight});
      }
    }
  }
  return lists;
}

inline uint8_t RefNormalise(int32_t sum, int32_t s) {
  int64_t v = s != 0 ? sum / s : int64_t(uint32_t(sum) >> 8);
  return uint8_t(std::clamp<int64_t>(v, 0, 255));
}

// Filters 1 to 8. Returns dst unchanged (as given) when the source is too small.
inline RefImage RefTwoPass(const RefImage& src, int dstW, int dstH, TResampleFilter filter) {
  RefImage dst(dstW, dstH, src.c);
  const auto cols = RefContributors(src.w, dstW, filter);
  RefImage work(dstW, src.h, src.c);
  for (int y = 0; y < src.h; ++y)
    for (int i = 0; i < dstW; ++i) {
      int32_t s = 0;
      std::vector<int32_t> sums(src.c, 0);
      for (const auto& con : cols[i]) {
        const int x = std::clamp(con.index, 0, src.w - 1);
        s += con.weight;
        for (int ch = 0; ch < src.c; ++ch) sums[ch] += con.weight * src.at(x, y, ch);
      }
      for (int ch = 0; ch < src.c; ++ch) work.at(i, y, ch) = RefNormalise(sums[ch], s);
    }
  const auto rows = RefContributors(src.h, dstH, filter);
  for (int x = 0; x < dstW; ++x)
    for (int i = 0; i < dstH; ++i) {
      int32_t s = 0;
      std::vector<int32_t> sums(src.c, 0);
      for (const auto& con : rows[i]) {
        const int y = std::clamp(con.index, 0, src.h - 1);
        s += con.weight;
        for (int ch = 0; ch < src.c; ++ch) sums[ch] += con.weight * work.at(x, y, ch);
      }
      for (int ch = 0; ch < src.c; ++ch) dst.at(x, i, ch) = RefNormalise(sums[ch], s);
    }
  return dst;
}

// rfFastLinear with scales not both 1. forceInterpolate: the black-and-white variant.
inline RefImage RefFast(const RefImage& src, int dstW, int dstH, bool forceInterpolate = false) {
  const double sx = double(dstW) / src.w, sy = double(dstH) / src.h;
  std::vector<int> pos(dstW), frac(dstW), last(dstW);
  for (int i = 0; i < dstW; ++i) {
    pos[i] = int((long double)i / sx);
    frac[i] = int(((long double)i / sx - int((long double)i / sx)) * 131072);
    last[i] = int((long double)std::min(i + 1, dstW - 1) / sx + 1e-10L);
  }
  RefImage work(dstW, src.h, src.c);
  for (int y = 0; y < src.h; ++y)
    for (int i = 0; i < dstW; ++i)
      for (int ch = 0; ch < src.c; ++ch) {
        if (sx > 1 || forceInterpolate) {
          const int a = src.at(pos[i], y, ch), b = src.at(std::min(pos[i] + 1, src.w - 1), y, ch);
          work.at(i, y, ch) = uint8_t(a + int(std::floor(double((b - a) * frac[i]) / 131072)));
        } else {
          int sum = 0;
          for (int x = pos[i]; x <= last[i]; ++x) sum += src.at(x, y, ch);
          work.at(i, y, ch) = uint8_t(sum / (last[i] - pos[i] + 1));
        }
      }
  RefImage dst(dstW, dstH, src.c);
  for (int j = 0; j < dstH; ++j)
    for (int x = 0; x < dstW; ++x)
      for (int ch = 0; ch < src.c; ++ch) {
        if (sy > 1 || forceInterpolate) {
          const double g = double((long double)j / sy);
          const int r = int(g);
          const int f = int(((long double)g - r) * 131072);
          const int a = work.at(x, r, ch);
          if (r + 1 >= src.h) {
            dst.at(x, j, ch) = uint8_t(a);
          } else {
            const int b = work.at(x, r + 1, ch);
            dst.at(x, j, ch) = uint8_t(a + int(std::floor(double((b - a) * f) / 131072)));
          }
        } else {
          const int lo = int((long double)j / sy), hi = int((long double)std::min(j + 1, dstH - 1) / sy);
          int sum = 0;
          for (int y = lo; y <= hi; ++y) sum += work.at(x, y, ch);
          dst.at(x, j, ch) = uint8_t(sum / (hi - lo + 1));
        }
      }
  return dst;
}

// The area path: the axes cut at source and destination edges, walked in order,
// rows buffered four at a time, each finished destination row divided out.
struct RefSeg {
  int src, dst;
  double len, pos;
};

inline std::vector<RefSeg> RefCuts(int srcN, int dstN, double g) {
  std::vector<RefSeg> out;
  double at = 0;
  int s = 0, d = 0;
  while (d < dstN && s < srcN) {
    const double nextSrc = s + 1, nextDst = (d + 1) * g;
    if (nextSrc >= nextDst - 1e-4) {  // the destination edge is reached
      const bool both = nextSrc <= nextDst + 1e-4;
      out.push_back({s, d, nextDst - at, both ? 1.0 : nextDst - s});
      at = nextDst;
      ++d;
      if (both) ++s;
    } else {
      out.push_back({s, d, nextSrc - at, 1.0});
      at = nextSrc;
      ++s;
    }
  }
  return out;
}

inline double RefCubic(double t) {
  const double a = std::fabs(t);
  if (a <= 1) return a * a * a - 2 * a * a + 1;
  if (a < 2) return -a * a * a + 5 * a * a - 8 * a + 4;
  return 0;
}

inline double RefCubic4(double m1, double s0, double p1, double p2, double p) {
  double v = m1 * RefCubic(p + 1) + s0 * RefCubic(p) + p1 * RefCubic(p - 1) + p2 * RefCubic(p - 2);
  return v < 0 ? 0 : (v > 255 ? 255 : v);
}

inline RefImage RefArea(const RefImage& src, int dstW, int dstH, bool cubic) {
  RefImage dst(dstW, dstH, 3);
  const double gx = double(src.w) / dstW, gy = double(src.h) / dstH;
  const bool ix = gx < 1, iy = gy < 1;
  const auto xs = RefCuts(src.w, dstW, gx);
  const auto ys = RefCuts(src.h, dstH, gy);
  auto S = [&](int x, int y, int ch) {
    return double(src.at(std::clamp(x, 0, src.w - 1), std::clamp(y, 0, src.h - 1), ch));
  };
  std::vector<double> acc(size_t(dstW) * 3, 0.0);
  for (size_t k = 0; k < ys.size(); ++k) {
    const int y = ys[k].src;
    const double o = ys[k].pos;
    for (const auto& sx : xs)
      for (int ch = 0; ch < 3; ++ch) {
        const int x = sx.src;
        const double p = sx.pos;
        double v;
        if (!cubic) {
          if (ix && iy)
            v = (1 - o) * ((1 - p) * S(x, y, ch) + p * S(x + 1, y, ch)) +
                o * ((1 - p) * S(x, y + 1, ch) + p * S(x + 1, y + 1, ch));
          else if (ix)
            v = (1 - p) * S(x, y, ch) + p * S(x + 1, y, ch);
          else if (iy)
            v = (1 - o) * S(x, y, ch) + o * S(x, y + 1, ch);
          else
            v = S(x, y, ch);
        } else {
          if (ix && iy) {
            double r[4];
            for (int q = 0; q < 4; ++q)
              r[q] = std::trunc(RefCubic4(S(x - 1, y - 1 + q, ch), S(x, y - 1 + q, ch), S(x + 1, y - 1 + q, ch),
                                          S(x + 2, y - 1 + q, ch), p));
            v = RefCubic4(r[0], r[1], r[2], r[3], o);
          } else if (ix) {
            v = RefCubic4(S(x - 1, y, ch), S(x, y, ch), S(x + 1, y, ch), S(x + 2, y, ch), p);
          } else if (iy) {
            v = RefCubic4(S(x, y - 1, ch), S(x, y, ch), S(x, y + 1, ch), S(x, y + 2, ch), o);
          } else {
            v = S(x, y, ch);
          }
        }
        acc[size_t(sx.dst) * 3 + ch] += v * (sx.len * ys[k].len);
      }
    const bool rowEnds = k + 1 == ys.size() || ys[k + 1].dst != ys[k].dst;
    if (rowEnds) {
      for (int i = 0; i < dstW * 3; ++i) {
        const double q = std::trunc(acc[size_t(i)] / (gx * gy));
        dst.px[size_t(ys[k].dst) * dstW * 3 + i] = uint8_t(std::clamp(q, 0.0, 255.0));
        acc[size_t(i)] = 0;
      }
    }
  }
  return dst;
}
