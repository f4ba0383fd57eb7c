#include "proc/resample.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

#include "image/bitmap.h"
#include "platform/parallel.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define QUELMAR_X86 1
#endif

// ---------------------------------------------------------------------------
// Real-to-integer conversions. NaN goes to 0 and out-of-range values saturate,
// so hostile sizes can never reach an undefined conversion.

static int32_t TruncI(long double v) {
  if (!(v == v)) return 0;
  if (v >= 2147483647.0L) return std::numeric_limits<int32_t>::max();
  if (v <= -2147483648.0L) return std::numeric_limits<int32_t>::min();
  return int32_t(v);
}
static int32_t FloorI(long double v) { return TruncI(std::floor(v)); }
static int32_t CeilI(long double v) { return TruncI(std::ceil(v)); }
// Nearest, ties to even (the default rounding mode); frndint is the extended
// rounding itself, without the library's environment save and restore.
static long double RoundL(long double v) {
#if defined(__x86_64__) || defined(__i386__)
  asm("frndint" : "+t"(v));
  return v;
#else
  return std::nearbyint(v);
#endif
}
static int32_t RoundI(long double v) { return TruncI(RoundL(v)); }

// ---------------------------------------------------------------------------
// Kernels: doubles in and out, extended precision inside.

static constexpr long double kPi = 3.1415926535897932385L;

static double TriangleKernel(double x) {
  long double t = std::fabs((long double)x);
  return t < 1 ? double(1 - t) : 0.0;
}
static double HermiteKernel(double x) {
  long double t = std::fabs((long double)x);
  long double xx = (long double)x * x;
  return t < 1 ? double((2 * t - 3) * xx + 1) : 0.0;
}
static double BellKernel(double x) {
  long double t = std::fabs((long double)x);
  if (t < 0.5L) return double(0.75L - (long double)x * x);
  if (t < 1.5L) {
    long double u = t - 1.5L;
    return double(0.5L * u * u);
  }
  return 0.0;
}
static double BSplineKernel(double x) {
  long double t = std::fabs((long double)x);
  if (t < 1) return double(0.5L * t * t * t - t * t + 2.0L / 3.0L);
  if (t < 2) {
    long double u = 2 - t;
    return double(u * u * u / 6);
  }
  return 0.0;
}
// The arguments stay within 3 pi, where the FPU's own extended sine is exact to
// the last bits that matter and many times faster than the library's reduction.
static long double SinL(long double a) {
#if defined(__x86_64__) || defined(__i386__)
  asm("fsin" : "+t"(a));
  return a;
#else
  return std::sin(a);
#endif
}
// sinc(t)·sinc(t/3) with one sine: with a = πt/3 and s = sin a, sin(πt) = s(3 − 4s²).
// In extended precision this is as close as the direct sine (the absolute error near
// the zeros at t = 1 and 2 is a few units of 2^-64 either way) at half the cost.
static double Lanczos3Kernel(double x) {
  long double t = std::fabs((long double)x);
  if (t >= 3) return 0.0;
  if (t == 0) return 1.0;
  const long double a = kPi * t / 3;
  const long double s = SinL(a);
  return double((s * (3 - 4 * s * s) / (kPi * t)) * (s / a));
}
static double MitchellKernel(double x) {
  long double t = std::fabs((long double)x);
  long double tt = t * t;
  if (t < 1) return double((7 * t * tt - 12 * tt + 16.0L / 3.0L) / 6);
  if (t < 2) return double((-(7.0L / 3.0L) * t * tt + 12 * tt - 20 * t + 32.0L / 3.0L) / 6);
  return 0.0;
}
static double NearestKernel(double x) { return (x > -0.5 && x <= 0.5) ? 1.0 : 0.0; }
static double LinearKernel(double x) {
  long double v = x;
  if (v >= -1 && v < 0) return double(1 + v);
  if (v >= 0 && v < 1) return double(1 - v);
  return 0.0;
}

static const TResampleKernel kKernels[9] = {
    {nullptr, 0},         {TriangleKernel, 1.0}, {HermiteKernel, 1.0},
    {BellKernel, 1.5},    {BSplineKernel, 2.0},  {Lanczos3Kernel, 3.0},
    {MitchellKernel, 2.0}, {NearestKernel, 1.0}, {LinearKernel, 1.0},
};

TResampleKernel ResampleKernelOf(TResampleFilter filter) {
  if (filter >= rfTriangle && filter <= rfLinear) return kKernels[filter];
  return {nullptr, 0};
}

// ---------------------------------------------------------------------------
// Row access. A file-located bitmap hands out one valid row at a time, so its
// rows are copied into private memory; other places give stable row pointers.

struct TRowsIn {
  std::vector<const uint8_t*> rows;
  std::vector<uint8_t> copy;
  void Gather(TLXBitmap* b) {
    const int h = b->Height();
    rows.resize(size_t(h));
    if (b->Location() == lxFile) {
      const size_t rl = size_t(b->RowLength());
      copy.resize(rl * size_t(h));
      for (int y = 0; y < h; ++y) {
        std::memcpy(copy.data() + rl * size_t(y), b->Scanline(y), rl);
        rows[size_t(y)] = copy.data() + rl * size_t(y);
      }
    } else {
      for (int y = 0; y < h; ++y) rows[size_t(y)] = b->Scanline(y);
    }
  }
  const uint8_t* operator[](int y) const { return rows[size_t(y)]; }
};

struct TRowsOut {
  TLXBitmap* bitmap = nullptr;
  std::vector<uint8_t*> rows;
  std::vector<uint8_t> copy;
  size_t rowLength = 0;
  void Gather(TLXBitmap* b) {
    bitmap = b;
    const int h = b->Height();
    rows.resize(size_t(h));
    rowLength = size_t(b->RowLength());
    if (b->Location() == lxFile) {
      copy.assign(rowLength * size_t(h), 0);
      for (int y = 0; y < h; ++y) rows[size_t(y)] = copy.data() + rowLength * size_t(y);
    } else {
      for (int y = 0; y < h; ++y) rows[size_t(y)] = b->Scanline(y);
    }
  }
  void Flush() {
    if (copy.empty()) return;
    for (int y = 0; y < int(rows.size()); ++y)
      std::memcpy(bitmap->Scanline(y), rows[size_t(y)], rowLength);
  }
  uint8_t* operator[](int y) const { return rows[size_t(y)]; }
};

// ---------------------------------------------------------------------------
// Contributor lists of the two-pass algorithm. Each list keeps its raw source
// positions (before mirroring) densely from the first to the last non-zero
// weight, zeros included (they add nothing to any sum), plus the clamped source
// index of every non-zero pair for the sparse loops.

struct TContribs {
  int n = 0;                      // destination count
  std::vector<int32_t> first;     // raw position of the first dense weight
  std::vector<int32_t> offset;    // into dense, n + 1 entries
  std::vector<int32_t> dense;     // dense weights
  std::vector<int32_t> sOffset;   // into sIndex/sWeight, n + 1 entries
  std::vector<int32_t> sIndex;    // clamped source index of each non-zero pair
  std::vector<int32_t> sWeight;
  std::vector<int32_t> sum;       // S per list
  int32_t minRaw = 0, maxRaw = -1;
  bool fitsInt16 = true;
};

static int32_t MirrorClamp(int32_t j, int32_t n) {
  int64_t m = j;
  if (m < 0) m = -m;
  else if (m >= n) m = 2 * int64_t(n) - 1 - m;
  return int32_t(std::clamp<int64_t>(m, 0, n - 1));
}

static void BuildContribs(TContribs& c, int srcN, int dstN, double scale, TResampleFilter filter) {
  const TResampleKernel k = ResampleKernelOf(filter);
  const double r = k.support;
  c.n = dstN;
  c.first.assign(size_t(dstN), 0);
  c.offset.assign(size_t(dstN) + 1, 0);
  c.sOffset.assign(size_t(dstN) + 1, 0);
  c.sum.assign(size_t(dstN), 0);
  c.dense.clear();
  c.sIndex.clear();
  c.sWeight.clear();
  c.minRaw = std::numeric_limits<int32_t>::max();
  c.maxRaw = std::numeric_limits<int32_t>::min();
  c.fitsInt16 = true;
  const bool enlarge = scale >= 1;
  const double w = enlarge ? r : double((long double)r / scale);
  const double f = enlarge ? 1.0 : double(1.0L / scale);
  // The kernel values of each list, from its left end; lists are independent.
  std::vector<std::vector<int32_t>> raw(static_cast<size_t>(dstN));
  std::vector<int32_t> lefts(static_cast<size_t>(dstN));
  ParallelFor(dstN, (2 * w + 2) * (filter == rfLanczos3 ? 400 : 40), [&](int i0, int i1) {
    for (int i = i0; i < i1; ++i) {
      const double z = double((long double)i / scale);
      const int32_t left = FloorI((long double)z - w);
      const int32_t right = CeilI((long double)z + w);
      std::vector<int32_t>& out = raw[size_t(i)];
      lefts[size_t(i)] = left;
      for (int64_t j = left; j <= right; ++j) {
        if (enlarge)
          out.push_back(RoundI((long double)k.kernel(double((long double)z - j)) * 256));
        else
          out.push_back(RoundI((long double)k.kernel(double(((long double)z - j) / f)) * 256 / f));
      }
    }
  });
  for (int i = 0; i < dstN; ++i) {
    const std::vector<int32_t>& tmp = raw[size_t(i)];
    const int32_t left = lefts[size_t(i)];
    int32_t firstNz = 0, lastNz = -1;
    int32_t s = 0;
    for (size_t t = 0; t < tmp.size(); ++t) {
      const int32_t weight = tmp[t];
      if (weight == 0) continue;
      const int32_t j = int32_t(left + int64_t(t));
      if (lastNz < firstNz) firstNz = j;
      lastNz = j;
      s += weight;
      c.sIndex.push_back(MirrorClamp(j, srcN));
      c.sWeight.push_back(weight);
      if (weight > 32767 || weight < -32768) c.fitsInt16 = false;
    }
    c.sum[size_t(i)] = s;
    c.sOffset[size_t(i) + 1] = int32_t(c.sIndex.size());
    if (lastNz >= firstNz) {
      c.first[size_t(i)] = firstNz;
      for (int32_t j = firstNz; j <= lastNz; ++j) c.dense.push_back(tmp[size_t(j - left)]);
      c.minRaw = std::min(c.minRaw, firstNz);
      c.maxRaw = std::max(c.maxRaw, lastNz);
    }
    c.offset[size_t(i) + 1] = int32_t(c.dense.size());
  }
  if (c.maxRaw < c.minRaw) c.minRaw = 0, c.maxRaw = -1;
}

static double ScaleOf(int srcN, int dstN) {
  if (srcN == 1 || dstN == 1) return double(dstN) / srcN;
  return double(dstN - 1) / double(srcN - 1);
}

// Normalisation of one channel sum: sum div S (toward zero), or for S = 0 the
// sum shifted right by 8 as unsigned; clamped to 0..255.
static inline uint8_t NormGeneric(int32_t sum, int32_t s) {
  int64_t v = s != 0 ? int64_t(sum / s) : int64_t(uint32_t(sum) >> 8);
  return uint8_t(std::clamp<int64_t>(v, 0, 255));
}

// The same for S > 0 without a division: a double reciprocal is exact up to one
// unit below at exact multiples, which the correction step restores.
static inline uint8_t NormPositive(int32_t sum, int32_t s, double inv) {
  if (sum <= 0) return 0;
  int32_t q = int32_t(std::min(double(sum) * inv, 256.0));
  q += (q + 1) * s <= sum;
  return uint8_t(std::min(q, 255));
}

struct TNorm {
  int32_t s;
  double inv;
  uint8_t operator()(int32_t sum) const { return s > 0 ? NormPositive(sum, s, inv) : NormGeneric(sum, s); }
};

static std::vector<TNorm> NormsOf(const TContribs& c) {
  std::vector<TNorm> v(size_t(c.n));
  for (int i = 0; i < c.n; ++i) v[size_t(i)] = {c.sum[size_t(i)], c.sum[size_t(i)] > 0 ? 1.0 / c.sum[size_t(i)] : 0.0};
  return v;
}

// ---------------------------------------------------------------------------
// Horizontal pass, sparse form (any channel count, any list): src row -> work row.

template <int C>
static void HorizontalSparse(const uint8_t* src, uint8_t* out, const TContribs& c, const std::vector<TNorm>& norm) {
  for (int i = 0; i < c.n; ++i) {
    int32_t acc[C] = {};
    for (int32_t k = c.sOffset[size_t(i)]; k < c.sOffset[size_t(i) + 1]; ++k) {
      const uint8_t* p = src + size_t(c.sIndex[size_t(k)]) * C;
      const int32_t w = c.sWeight[size_t(k)];
      for (int ch = 0; ch < C; ++ch) acc[ch] += w * p[ch];
    }
    for (int ch = 0; ch < C; ++ch) out[size_t(i) * C + ch] = norm[size_t(i)](acc[ch]);
  }
}

#ifdef QUELMAR_X86
// Dense colour form: weights expanded so that one pmaddwd multiplies two taps of
// all channels. Interior columns read the source row itself (4 pixels per 12
// bytes); columns that reach past an edge read a short margin row, widened to
// 4-byte pixels, mirrored and clamped.
struct TDenseH {
  std::vector<int32_t> start;    // direct: source pixel; margin: pixel in the margin row
  std::vector<int32_t> groups;   // groups of four taps, per column
  std::vector<int32_t> gOffset;  // into weights (units of 16 int16)
  std::vector<uint8_t> direct;
  std::vector<int16_t> weights;
  int32_t leftLo = 0, leftHi = 0, rightLo = 0, rightHi = 0;  // raw ranges of the margin row
  int marginPixels = 0;
};

static void BuildDenseH(TDenseH& d, const TContribs& c, int srcW) {
  d.start.assign(size_t(c.n), 0);
  d.groups.assign(size_t(c.n), 0);
  d.gOffset.assign(size_t(c.n), 0);
  d.direct.assign(size_t(c.n), 0);
  d.weights.clear();
  d.leftLo = c.minRaw, d.leftHi = c.minRaw;
  d.rightLo = std::numeric_limits<int32_t>::max(), d.rightHi = std::numeric_limits<int32_t>::min();
  for (int i = 0; i < c.n; ++i) {
    const int32_t cnt = c.offset[size_t(i) + 1] - c.offset[size_t(i)];
    const int32_t g = (cnt + 3) / 4;
    const int32_t first = c.first[size_t(i)];
    d.groups[size_t(i)] = g;
    d.gOffset[size_t(i)] = int32_t(d.weights.size() / 16);
    // A 16-byte load at the last group must stay inside the row.
    if (first >= 0 && int64_t(first) + 4 * int64_t(g) + 2 <= srcW) {
      d.direct[size_t(i)] = 1;
    } else if (g > 0 && first < 0) {
      d.leftHi = std::max(d.leftHi, first + 4 * g);
    } else if (g > 0) {
      d.rightLo = std::min(d.rightLo, first);
      d.rightHi = std::max(d.rightHi, first + 4 * g);
    }
    for (int32_t q = 0; q < g; ++q) {
      int16_t w[4];
      for (int t = 0; t < 4; ++t) {
        const int32_t k = q * 4 + t;
        w[t] = k < cnt ? int16_t(c.dense[size_t(c.offset[size_t(i)] + k)]) : 0;
      }
      for (int h = 0; h < 2; ++h)
        for (int rep = 0; rep < 4; ++rep) {
          d.weights.push_back(w[2 * h]);
          d.weights.push_back(w[2 * h + 1]);
        }
    }
  }
  if (d.rightHi < d.rightLo) d.rightLo = d.rightHi = 0;
  const int32_t leftN = d.leftHi - d.leftLo;
  for (int i = 0; i < c.n; ++i) {
    const int32_t first = c.first[size_t(i)];
    if (d.direct[size_t(i)]) d.start[size_t(i)] = first;
    else if (first < 0) d.start[size_t(i)] = first - d.leftLo;
    else d.start[size_t(i)] = leftN + first - d.rightLo;
  }
  d.marginPixels = leftN + (d.rightHi - d.rightLo) + 4;
}

static void ExtendRange24(const uint8_t* src, int srcW, int32_t lo, int32_t hi, uint8_t* e) {
  for (int32_t j = lo; j < hi; ++j, e += 4) {
    const uint8_t* p = src + size_t(MirrorClamp(j, srcW)) * 3;
    e[0] = p[0], e[1] = p[1], e[2] = p[2], e[3] = 0;
  }
}

static void MarginRow24(const uint8_t* src, int srcW, const TDenseH& d, uint8_t* e) {
  ExtendRange24(src, srcW, d.leftLo, d.leftHi, e);
  ExtendRange24(src, srcW, d.rightLo, d.rightHi, e + size_t(d.leftHi - d.leftLo) * 4);
  std::memset(e + size_t(d.marginPixels - 4) * 4, 0, 16);
}

// The normalisation of four channel sums at once, for S > 0 (see NormPositive).
__attribute__((target("avx2"))) static inline uint32_t NormPositive4(__m128i sum, __m128i s, double invS) {
  const __m256d inv = _mm256_set1_pd(invS);
  __m128i q = _mm256_cvttpd_epi32(_mm256_mul_pd(_mm256_cvtepi32_pd(sum), inv));
  q = _mm_min_epi32(q, _mm_set1_epi32(256));
  const __m128i q1 = _mm_add_epi32(q, _mm_set1_epi32(1));
  // q + 1 where (q + 1) * S <= sum
  q = _mm_add_epi32(q1, _mm_cmpgt_epi32(_mm_mullo_epi32(q1, s), sum));
  q = _mm_max_epi32(_mm_min_epi32(q, _mm_set1_epi32(255)), _mm_setzero_si128());
  q = _mm_packus_epi16(_mm_packus_epi32(q, q), q);
  return uint32_t(_mm_cvtsi128_si32(q));
}

// Four rows share each weight load. Each step broadcasts four pixels into both
// halves, and one byte shuffle both picks two taps per half and widens them.
__attribute__((target("avx2"))) static void HorizontalDense24Avx2(const uint8_t* const* src,
                                                                  const uint8_t* const* margin, int rowsN,
                                                                  uint8_t* const* out, const TDenseH& d,
                                                                  const std::vector<TNorm>& norm, int n) {
  const __m256i fromMargin = _mm256_setr_epi8(0, -1, 4, -1, 1, -1, 5, -1, 2, -1, 6, -1, -1, -1, -1, -1,  //
                                              8, -1, 12, -1, 9, -1, 13, -1, 10, -1, 14, -1, -1, -1, -1, -1);
  const __m256i fromSource = _mm256_setr_epi8(0, -1, 3, -1, 1, -1, 4, -1, 2, -1, 5, -1, -1, -1, -1, -1,  //
                                              6, -1, 9, -1, 7, -1, 10, -1, 8, -1, 11, -1, -1, -1, -1, -1);
  for (int i = 0; i < n; ++i) {
    const int32_t g = d.groups[size_t(i)];
    const __m256i* w = reinterpret_cast<const __m256i*>(d.weights.data()) + d.gOffset[size_t(i)];
    const bool direct = d.direct[size_t(i)];
    const __m256i shuf = direct ? fromSource : fromMargin;
    const size_t step = direct ? 12 : 16;
    const uint8_t* base[4];
    for (int r = 0; r < rowsN; ++r)
      base[r] = (direct ? src[r] : margin[r]) + size_t(d.start[size_t(i)]) * (direct ? 3 : 4);
    __m256i acc[4] = {_mm256_setzero_si256(), _mm256_setzero_si256(), _mm256_setzero_si256(),
                      _mm256_setzero_si256()};
#define QUELMAR_TAP(r, o, wq)                                                                              \
  acc[r] = _mm256_add_epi32(                                                                               \
      acc[r], _mm256_madd_epi16(_mm256_shuffle_epi8(_mm256_broadcastsi128_si256(_mm_loadu_si128(           \
                                                        reinterpret_cast<const __m128i*>(base[r] + (o)))), \
                                                    shuf),                                                 \
                                wq))
    if (rowsN == 4) {
      for (int32_t q = 0; q < g; ++q) {
        const __m256i wq = _mm256_loadu_si256(w + q);
        const size_t o = size_t(q) * step;
        QUELMAR_TAP(0, o, wq);
        QUELMAR_TAP(1, o, wq);
        QUELMAR_TAP(2, o, wq);
        QUELMAR_TAP(3, o, wq);
      }
    } else {
      for (int32_t q = 0; q < g; ++q) {
        const __m256i wq = _mm256_loadu_si256(w + q);
        for (int r = 0; r < rowsN; ++r) QUELMAR_TAP(r, size_t(q) * step, wq);
      }
    }
#undef QUELMAR_TAP
    const TNorm nm = norm[size_t(i)];
    for (int r = 0; r < rowsN; ++r) {
      const __m128i sum = _mm_add_epi32(_mm256_castsi256_si128(acc[r]), _mm256_extracti128_si256(acc[r], 1));
      uint8_t* o = out[r] + size_t(i) * 3;
      if (nm.s > 0) {
        // Four bytes written; the fourth is the next column's or the row's slack.
        const uint32_t v = NormPositive4(sum, _mm_set1_epi32(nm.s), nm.inv);
        std::memcpy(o, &v, 4);
      } else {
        alignas(16) int32_t v[4];
        _mm_store_si128(reinterpret_cast<__m128i*>(v), sum);
        o[0] = NormGeneric(v[0], nm.s);
        o[1] = NormGeneric(v[1], nm.s);
        o[2] = NormGeneric(v[2], nm.s);
      }
    }
  }
}

static bool HaveAvx2() {
  static const bool have = __builtin_cpu_supports("avx2");
  return have;
}
#endif

// Vertical pass of one destination row: taps over work rows, contiguous samples.
template <int C>
__attribute__((always_inline)) static inline void VerticalRowBody(const uint8_t* const* work, const TContribs& c,
                                                                  int i, int samples, int32_t* acc, uint8_t* out) {
  const TNorm nm{c.sum[size_t(i)], c.sum[size_t(i)] > 0 ? 1.0 / c.sum[size_t(i)] : 0.0};
  std::fill(acc, acc + samples, 0);
  for (int32_t k = c.sOffset[size_t(i)]; k < c.sOffset[size_t(i) + 1]; ++k) {
    const uint8_t* __restrict p = work[c.sIndex[size_t(k)]];
    const int32_t w = c.sWeight[size_t(k)];
    int32_t* __restrict a = acc;
    for (int x = 0; x < samples; ++x) a[x] += w * int32_t(p[x]);
  }
  if (nm.s > 0) {
    for (int x = 0; x < samples; ++x) out[x] = NormPositive(acc[x], nm.s, nm.inv);
  } else {
    for (int x = 0; x < samples; ++x) out[x] = NormGeneric(acc[x], nm.s);
  }
}

template <int C>
static void VerticalRowDefault(const uint8_t* const* work, const TContribs& c, int i, int samples, int32_t* acc,
                               uint8_t* out) {
  VerticalRowBody<C>(work, c, i, samples, acc, out);
}

#ifdef QUELMAR_X86
// Taps in pairs: the bytes of two rows interleaved and widened, so that one
// pmaddwd gives w0·a + w1·b for eight samples in order.
__attribute__((target("avx2"))) static void VerticalRowAvx2(const uint8_t* const* work, const TContribs& c, int i,
                                                             int samples, int32_t* acc, uint8_t* out) {
  const int32_t s = c.sum[size_t(i)];
  const int32_t k0 = c.sOffset[size_t(i)], k1 = c.sOffset[size_t(i) + 1];
  const int x16 = samples & ~15;
  std::fill(acc, acc + samples, 0);
  int32_t k = k0;
  for (; k + 1 < k1; k += 2) {
    const uint8_t* a = work[c.sIndex[size_t(k)]];
    const uint8_t* b = work[c.sIndex[size_t(k) + 1]];
    const int32_t wa = c.sWeight[size_t(k)], wb = c.sWeight[size_t(k) + 1];
    const __m256i wp = _mm256_set1_epi32(int32_t(uint32_t(uint16_t(int16_t(wa))) | (uint32_t(uint16_t(int16_t(wb))) << 16)));
    for (int x = 0; x < x16; x += 16) {
      const __m128i va = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + x));
      const __m128i vb = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + x));
      const __m256i lo = _mm256_madd_epi16(_mm256_cvtepu8_epi16(_mm_unpacklo_epi8(va, vb)), wp);
      const __m256i hi = _mm256_madd_epi16(_mm256_cvtepu8_epi16(_mm_unpackhi_epi8(va, vb)), wp);
      __m256i* d = reinterpret_cast<__m256i*>(acc + x);
      _mm256_storeu_si256(d, _mm256_add_epi32(_mm256_loadu_si256(d), lo));
      _mm256_storeu_si256(d + 1, _mm256_add_epi32(_mm256_loadu_si256(d + 1), hi));
    }
    for (int x = x16; x < samples; ++x) acc[x] += wa * int32_t(a[x]) + wb * int32_t(b[x]);
  }
  if (k < k1) {
    const uint8_t* __restrict a = work[c.sIndex[size_t(k)]];
    const int32_t w = c.sWeight[size_t(k)];
    for (int x = 0; x < samples; ++x) acc[x] += w * int32_t(a[x]);
  }
  if (s > 0) {
    const double inv = 1.0 / s;
    for (int x = 0; x < samples; ++x) out[x] = NormPositive(acc[x], s, inv);
  } else {
    for (int x = 0; x < samples; ++x) out[x] = NormGeneric(acc[x], s);
  }
}
#endif

template <int C>
static void VerticalRow(const uint8_t* const* work, const TContribs& c, int i, int samples, int32_t* acc,
                        uint8_t* out) {
#ifdef QUELMAR_X86
  if (HaveAvx2() && c.fitsInt16) return VerticalRowAvx2(work, c, i, samples, acc, out);
#endif
  VerticalRowDefault<C>(work, c, i, samples, acc, out);
}

// The horizontal pass of a contributor list over every source row into work rows.
template <int C, class RowDone>
static void HorizontalPass(const TRowsIn& src, int srcW, int srcH, uint8_t* work, size_t workStride,
                           const TContribs& cx, RowDone&& rowDone) {
  const std::vector<TNorm> normX = NormsOf(cx);
  const double tapsX = double(cx.sIndex.size()) * C + cx.n;
  bool dense = false;
#ifdef QUELMAR_X86
  TDenseH dh;
  if (C == 3 && HaveAvx2() && cx.fitsInt16 && cx.maxRaw >= cx.minRaw &&
      int64_t(cx.maxRaw) - cx.minRaw < 3 * int64_t(srcW) + 64) {
    dense = true;
    BuildDenseH(dh, cx, srcW);
  }
#endif
  if (dense) {
#ifdef QUELMAR_X86
    // Blocks of four rows so that they share the weight loads.
    const int blocks = (srcH + 3) / 4;
    ParallelFor(
        blocks, tapsX * 4,
        [&](int b0, int b1) {
          const size_t marginStride = size_t(dh.marginPixels) * 4 + 16;
          std::vector<uint8_t> margin(marginStride * 4);
          for (int b = b0; b < b1; ++b) {
            const int y0 = b * 4, rowsN = std::min(4, srcH - y0);
            const uint8_t* s[4];
            const uint8_t* m[4];
            uint8_t* o[4];
            for (int r = 0; r < rowsN; ++r) {
              uint8_t* mr = margin.data() + size_t(r) * marginStride;
              MarginRow24(src[y0 + r], srcW, dh, mr);
              s[r] = src[y0 + r];
              m[r] = mr;
              o[r] = work + workStride * size_t(y0 + r);
            }
            HorizontalDense24Avx2(s, m, rowsN, o, dh, normX, cx.n);
          }
        },
        [&](int b) {
          for (int y = b * 4; y < std::min(srcH, b * 4 + 4); ++y) rowDone(y);
        });
#endif
  } else {
    ParallelFor(
        srcH, tapsX,
        [&](int y0, int y1) {
          for (int y = y0; y < y1; ++y) HorizontalSparse<C>(src[y], work + workStride * size_t(y), cx, normX);
        },
        [&](int y) { rowDone(y); });
  }
}

// The two-pass algorithm on interleaved 8-bit samples of C channels.
// src rows: srcW x srcH; out rows: dstW x dstH. rowDone/colDone report progress.
template <int C, class RowDone, class ColDone>
static void TwoPass(const TRowsIn& src, int srcW, int srcH, uint8_t* const* out, int dstW, int dstH,
                    TResampleFilter filter, RowDone&& rowDone, ColDone&& colDone) {
  TContribs cx;
  BuildContribs(cx, srcW, dstW, ScaleOf(srcW, dstW), filter);
  const size_t workStride = size_t(dstW) * C + 16;
  std::vector<uint8_t> work(workStride * size_t(srcH));
  std::vector<const uint8_t*> workRows(static_cast<size_t>(srcH));
  for (int y = 0; y < srcH; ++y) workRows[size_t(y)] = work.data() + workStride * size_t(y);
  HorizontalPass<C>(src, srcW, srcH, work.data(), workStride, cx, rowDone);
  cx = TContribs();

  TContribs cy;
  BuildContribs(cy, srcH, dstH, ScaleOf(srcH, dstH), filter);
  const int samples = dstW * C;
  const double tapsY = double(cy.sIndex.size()) / std::max(1, dstH) * samples + samples;
  // Columns are reported as the rows finish: each finished row accounts for its
  // share of the dstW column events.
  int colsReported = 0;
  ParallelFor(
      dstH, tapsY,
      [&](int i0, int i1) {
        std::vector<int32_t> acc(static_cast<size_t>(samples));
        for (int i = i0; i < i1; ++i) VerticalRow<C>(workRows.data(), cy, i, samples, acc.data(), out[i]);
      },
      [&](int i) {
        const int upto = int(int64_t(dstW) * (i + 1) / dstH);
        while (colsReported < upto) colDone(colsReported++);
      });
}

// ---------------------------------------------------------------------------
// Fast path (rfFastLinear) tables and passes.

struct TFastTables {
  std::vector<int32_t> pos, frac, last;
};

static void BuildFastColumns(TFastTables& t, int srcW, int dstW, double sx) {
  t.pos.resize(size_t(dstW));
  t.frac.resize(size_t(dstW));
  t.last.resize(size_t(dstW));
  for (int i = 0; i < dstW; ++i) {
    const long double q = (long double)i / sx;
    const int32_t p = std::clamp(TruncI(q), 0, srcW - 1);
    t.pos[size_t(i)] = p;
    t.frac[size_t(i)] = std::clamp(TruncI((q - TruncI(q)) * 131072), 0, 131071);
    const int32_t l = TruncI((long double)std::min(i + 1, dstW - 1) / sx + 1e-10L);
    t.last[size_t(i)] = std::clamp(l, p, srcW - 1);
  }
}

static inline int32_t Lerp17(int32_t a, int32_t b, int32_t f) { return a + (((b - a) * f) >> 17); }

// Truncated average of sums over count samples, without a division per sample.
struct TAvg {
  uint64_t count;
  double inv;
  uint8_t operator()(uint64_t sum) const {
    uint64_t q = uint64_t(double(sum) * inv);
    if ((q + 1) * count <= sum) ++q;
    else if (q * count > sum) --q;
    return uint8_t(std::min<uint64_t>(q, 255));
  }
};
static TAvg AvgOf(int64_t count) { return {uint64_t(count), 1.0 / double(count)}; }

template <int C>
static void FastHorizontal(const uint8_t* src, int srcW, uint8_t* out, int dstW, bool interpolate,
                           const TFastTables& t, const std::vector<TAvg>& avg) {
  if (interpolate) {
    for (int i = 0; i < dstW; ++i) {
      const int32_t p = t.pos[size_t(i)], q = std::min(p + 1, srcW - 1), f = t.frac[size_t(i)];
      for (int ch = 0; ch < C; ++ch)
        out[size_t(i) * C + ch] = uint8_t(Lerp17(src[size_t(p) * C + ch], src[size_t(q) * C + ch], f));
    }
  } else {
    for (int i = 0; i < dstW; ++i) {
      uint64_t s[C] = {};
      const uint8_t* p = src + size_t(t.pos[size_t(i)]) * C;
      const uint8_t* e = src + size_t(t.last[size_t(i)]) * C;
      for (; p <= e; p += C)
        for (int ch = 0; ch < C; ++ch) s[ch] += p[ch];
      for (int ch = 0; ch < C; ++ch) out[size_t(i) * C + ch] = avg[size_t(i)](s[ch]);
    }
  }
}

struct TFastRows {
  std::vector<int32_t> lo, hi, frac;
  bool interpolate = false;
};

static void BuildFastRows(TFastRows& r, int srcH, int dstH, double sy, bool interpolate) {
  r.interpolate = interpolate;
  r.lo.resize(size_t(dstH));
  r.hi.resize(size_t(dstH));
  r.frac.resize(size_t(dstH));
  for (int j = 0; j < dstH; ++j) {
    if (interpolate) {
      const double g = double((long double)j / sy);
      const int32_t row = std::clamp(TruncI(g), 0, srcH - 1);
      r.lo[size_t(j)] = row;
      r.hi[size_t(j)] = std::min(row + 1, srcH - 1);
      r.frac[size_t(j)] = std::clamp(TruncI(((long double)g - TruncI(g)) * 131072), 0, 131071);
    } else {
      const int32_t a = std::clamp(TruncI((long double)j / sy), 0, srcH - 1);
      const int32_t b = TruncI((long double)std::min(j + 1, dstH - 1) / sy);
      r.lo[size_t(j)] = a;
      r.hi[size_t(j)] = std::clamp(b, a, srcH - 1);
      r.frac[size_t(j)] = 0;
    }
  }
}

// One destination row of the vertical fast pass over `samples` bytes.
static void FastVerticalRow(const uint8_t* const* work, const TFastRows& r, int j, int samples, uint8_t* out,
                            uint32_t* acc) {
  if (r.interpolate) {
    const uint8_t* a = work[r.lo[size_t(j)]];
    if (r.hi[size_t(j)] == r.lo[size_t(j)]) {
      std::memcpy(out, a, size_t(samples));
      return;
    }
    const uint8_t* b = work[r.hi[size_t(j)]];
    const int32_t f = r.frac[size_t(j)];
    for (int x = 0; x < samples; ++x) out[x] = uint8_t(Lerp17(a[x], b[x], f));
  } else {
    const int32_t lo = r.lo[size_t(j)], hi = r.hi[size_t(j)];
    std::fill(acc, acc + samples, 0u);
    for (int y = lo; y <= hi; ++y) {
      const uint8_t* p = work[y];
      for (int x = 0; x < samples; ++x) acc[x] += p[x];
    }
    const TAvg avg = AvgOf(hi - lo + 1);
    for (int x = 0; x < samples; ++x) out[x] = avg(acc[x]);
  }
}

static void BoxContribs(TContribs& c, const TFastTables& t, int dstW) {
  c = TContribs();
  c.n = dstW;
  c.first.assign(size_t(dstW), 0);
  c.offset.assign(size_t(dstW) + 1, 0);
  c.sOffset.assign(size_t(dstW) + 1, 0);
  c.sum.assign(size_t(dstW), 0);
  c.minRaw = std::numeric_limits<int32_t>::max();
  c.maxRaw = std::numeric_limits<int32_t>::min();
  for (int i = 0; i < dstW; ++i) {
    const int32_t p = t.pos[size_t(i)], l = t.last[size_t(i)];
    c.first[size_t(i)] = p;
    c.sum[size_t(i)] = l - p + 1;
    for (int32_t j = p; j <= l; ++j) {
      c.dense.push_back(1);
      c.sIndex.push_back(j);
      c.sWeight.push_back(1);
    }
    c.offset[size_t(i) + 1] = int32_t(c.dense.size());
    c.sOffset[size_t(i) + 1] = int32_t(c.sIndex.size());
    c.minRaw = std::min(c.minRaw, p);
    c.maxRaw = std::max(c.maxRaw, l);
  }
}

// The fast path on interleaved samples of C channels (both scales not 1).
template <int C, class RowDone, class DstDone>
static void FastPath(const TRowsIn& src, int srcW, int srcH, uint8_t* const* out, int dstW, int dstH,
                     double sx, double sy, RowDone&& rowDone, DstDone&& dstDone) {
  TFastTables t;
  BuildFastColumns(t, srcW, dstW, sx);
  std::vector<TAvg> avg(static_cast<size_t>(dstW));
  for (int i = 0; i < dstW; ++i) avg[size_t(i)] = AvgOf(int64_t(t.last[size_t(i)]) - t.pos[size_t(i)] + 1);
  const size_t stride = size_t(dstW) * C + 16;
  std::vector<uint8_t> work(stride * size_t(srcH));
  std::vector<const uint8_t*> workRows(static_cast<size_t>(srcH));
  for (int y = 0; y < srcH; ++y) workRows[size_t(y)] = work.data() + stride * size_t(y);
  const bool ix = sx > 1;
  int64_t widest = 0;
  for (int i = 0; i < dstW; ++i) widest = std::max<int64_t>(widest, int64_t(t.last[size_t(i)]) - t.pos[size_t(i)] + 1);
  // 32-bit sums hold boxes of up to 2^22 samples; wider ones take the 64-bit loop.
  if (!ix && widest <= (int64_t(1) << 22)) {
    // A box average is a sum with weights of 1 divided by the count: the
    // contributor machinery computes exactly that.
    TContribs box;
    BoxContribs(box, t, dstW);
    HorizontalPass<C>(src, srcW, srcH, work.data(), stride, box, rowDone);
  } else {
    ParallelFor(
        srcH, double(dstW) * C,
        [&](int y0, int y1) {
          for (int y = y0; y < y1; ++y)
            FastHorizontal<C>(src[y], srcW, work.data() + stride * size_t(y), dstW, ix, t, avg);
        },
        rowDone);
  }
  TFastRows r;
  BuildFastRows(r, srcH, dstH, sy, sy > 1);
  const int samples = dstW * C;
  ParallelFor(
      dstH, double(samples) * (r.interpolate ? 1.0 : double(srcH) / dstH + 1),
      [&](int j0, int j1) {
        std::vector<uint32_t> acc(static_cast<size_t>(samples));
        for (int j = j0; j < j1; ++j) FastVerticalRow(workRows.data(), r, j, samples, out[j], acc.data());
      },
      dstDone);
}

// ---------------------------------------------------------------------------
// Area path (rfBilinear, rfBicubic), colour only.

struct TAreaSeg {
  int32_t src;     // source pixel (row)
  int32_t dst;     // destination pixel (row)
  double len;      // segment length
  double pos;      // position of the segment's end within the source pixel
  bool dstEnd;     // the segment ends at a destination edge
};

// Cuts 0..srcN at every source edge and every destination edge (multiples of g).
static std::vector<TAreaSeg> AreaSegments(int srcN, int dstN, double g) {
  std::vector<TAreaSeg> segs;
  segs.reserve(size_t(srcN) + size_t(dstN));
  double at = 0;
  int32_t s = 0, d = 0;
  while (d < dstN && s < srcN) {
    const double nextSrc = double(s + 1);
    const double nextDst = double(d + 1) * g;
    if (nextSrc >= nextDst - 1e-4) {
      const bool together = nextSrc <= nextDst + 1e-4;
      const double p = together ? 1.0 : nextDst - s;
      segs.push_back({s, d, nextDst - at, p, true});
      at = nextDst;
      ++d;
      if (together) ++s;
    } else {
      segs.push_back({s, d, nextSrc - at, 1.0, false});
      at = nextSrc;
      ++s;
    }
  }
  // A destination edge lost to rounding at the very end still closes its pixel.
  if (d < dstN && !segs.empty()) segs.back().dstEnd = true;
  return segs;
}

static inline double Cubic(double t) {
  const double a = std::fabs(t);
  if (a <= 1) return a * a * a - 2 * a * a + 1;
  if (a < 2) return -a * a * a + 5 * a * a - 8 * a + 4;
  return 0;
}
static inline double Clamp255(double v) { return v < 0 ? 0 : (v > 255 ? 255 : v); }
static inline double Cubic4(double m1, double s0, double p1, double p2, double p) {
  return Clamp255(m1 * Cubic(p + 1) + s0 * Cubic(p) + p1 * Cubic(p - 1) + p2 * Cubic(p - 2));
}

template <class DstDone>
static void AreaPath(const TRowsIn& src, int srcW, int srcH, uint8_t* const* out, int dstW, int dstH, bool cubic,
                     DstDone&& dstDone) {
  const double gx = double(srcW) / dstW, gy = double(srcH) / dstH;
  const bool ix = gx < 1, iy = gy < 1;
  const std::vector<TAreaSeg> xs = AreaSegments(srcW, dstW, gx);
  const std::vector<TAreaSeg> ys = AreaSegments(srcH, dstH, gy);
  // The y segments of each destination row.
  std::vector<int32_t> rowStart(size_t(dstH) + 1, int32_t(ys.size()));
  for (int k = int(ys.size()) - 1; k >= 0; --k) rowStart[size_t(ys[size_t(k)].dst)] = k;
  for (int d = dstH - 1; d >= 0; --d) rowStart[size_t(d)] = std::min(rowStart[size_t(d)], rowStart[size_t(d) + 1]);
  const double area = gx * gy;
  auto clampRow = [&](int y) { return std::clamp(y, 0, srcH - 1); };
  auto px = [&](const uint8_t* row, int x, int ch) { return double(row[size_t(std::clamp(x, 0, srcW - 1)) * 3 + ch]); };

  ParallelFor(
      dstH, double(xs.size()) * 3 * (double(ys.size()) / dstH) * (cubic ? 8 : 2),
      [&](int d0, int d1) {
        std::vector<double> acc(size_t(dstW) * 3);
        for (int d = d0; d < d1; ++d) {
          std::fill(acc.begin(), acc.end(), 0.0);
          for (int k = rowStart[size_t(d)]; k < rowStart[size_t(d) + 1]; ++k) {
            const TAreaSeg& sy = ys[size_t(k)];
            const int y = sy.src;
            const uint8_t* rp = src[clampRow(y - 1)];
            const uint8_t* rc = src[clampRow(y)];
            const uint8_t* rn = src[clampRow(y + 1)];
            const uint8_t* rn2 = src[clampRow(y + 2)];
            const double o = sy.pos;
            if (!ix && !iy) {
              // Reducing both ways: every segment takes its own source pixel.
              for (const TAreaSeg& sx : xs) {
                const double weight = sx.len * sy.len;
                const uint8_t* s0 = rc + size_t(std::clamp(sx.src, 0, srcW - 1)) * 3;
                double* a = acc.data() + size_t(sx.dst) * 3;
                a[0] += double(s0[0]) * weight;
                a[1] += double(s0[1]) * weight;
                a[2] += double(s0[2]) * weight;
              }
              continue;
            }
            for (const TAreaSeg& sx : xs) {
              const int x = sx.src;
              const double p = sx.pos;
              const double weight = sx.len * sy.len;
              for (int ch = 0; ch < 3; ++ch) {
                double v;
                if (!cubic) {
                  const double s0 = px(rc, x, ch);
                  if (ix && iy) {
                    const double s1 = px(rc, x + 1, ch), t0 = px(rn, x, ch), t1 = px(rn, x + 1, ch);
                    v = (1 - o) * ((1 - p) * s0 + p * s1) + o * ((1 - p) * t0 + p * t1);
                  } else if (ix) {
                    v = (1 - p) * s0 + p * px(rc, x + 1, ch);
                  } else if (iy) {
                    v = (1 - o) * s0 + o * px(rn, x, ch);
                  } else {
                    v = s0;
                  }
                } else {
                  if (ix && iy) {
                    const uint8_t* rows4[4] = {rp, rc, rn, rn2};
                    double r4[4];
                    for (int q = 0; q < 4; ++q)
                      r4[q] = std::trunc(Cubic4(px(rows4[q], x - 1, ch), px(rows4[q], x, ch), px(rows4[q], x + 1, ch),
                                                px(rows4[q], x + 2, ch), p));
                    v = Cubic4(r4[0], r4[1], r4[2], r4[3], o);
                  } else if (ix) {
                    v = Cubic4(px(rc, x - 1, ch), px(rc, x, ch), px(rc, x + 1, ch), px(rc, x + 2, ch), p);
                  } else if (iy) {
                    v = Cubic4(px(rp, x, ch), px(rc, x, ch), px(rn, x, ch), px(rn2, x, ch), o);
                  } else {
                    v = px(rc, x, ch);
                  }
                }
                acc[size_t(sx.dst) * 3 + ch] += v * weight;
              }
            }
          }
          uint8_t* o = out[d];
          for (int i = 0; i < dstW * 3; ++i)
            o[i] = uint8_t(std::clamp(TruncI((long double)(acc[size_t(i)] / area)), 0, 255));
        }
      },
      dstDone);
}

// ---------------------------------------------------------------------------
// Public functions.


void ResampleFiltered24(TLXBitmap* src, TLXBitmap* dst, TResampleFilter filter, void* sender,
                        const TLXProgressEvent& onProgress) {
  if (!src || !dst || src->PixelFormat() != lx24RGB || dst->PixelFormat() != lx24RGB) return;
  if (filter < rfTriangle || filter > rfBicubic) return;
  const int srcW = src->Width(), srcH = src->Height(), dstW = dst->Width(), dstH = dst->Height();
  if (srcW <= 0 || srcH <= 0 || dstW <= 0 || dstH <= 0) return;

  if (filter == rfFastLinear) {
    const double sx = double(dstW) / srcW, sy = double(dstH) / srcH;
    if (sx == 1 && sy == 1) {
      dst->Assign(src);
      return;
    }
    TRowsIn in;
    in.Gather(src);
    TRowsOut out;
    out.Gather(dst);
    const long double t = 100.0L / (srcH + dstH + 0.5L);
    FastPath<3>(
        in, srcW, srcH, out.rows.data(), dstW, dstH, sx, sy,
        [&](int y) { if (onProgress) onProgress(sender, TruncI(t * y)); },
        [&](int j) { if (onProgress) onProgress(sender, TruncI(t * (srcH + j))); });
    out.Flush();
    return;
  }
  if (filter == rfBilinear || filter == rfBicubic) {
    TRowsIn in;
    in.Gather(src);
    TRowsOut out;
    out.Gather(dst);
    AreaPath(in, srcW, srcH, out.rows.data(), dstW, dstH, filter == rfBicubic,
             [&](int d) { if (onProgress) onProgress(sender, TruncI((long double)(d + 1) / dstH * 100)); });
    out.Flush();
    return;
  }
  if (srcW < 2 && srcH < 2) return;
  TRowsIn in;
  in.Gather(src);
  TRowsOut out;
  out.Gather(dst);
  const long double t = 100.0L / (srcH + dstW + 0.5L);
  TwoPass<3>(
      in, srcW, srcH, out.rows.data(), dstW, dstH, filter,
      [&](int y) { if (onProgress) onProgress(sender, TruncI((y + 1) * t)); },
      [&](int x) { if (onProgress) onProgress(sender, TruncI((x + srcH + 1) * t)); });
  out.Flush();
}

// An lx1g bitmap as one byte per pixel, 0 or 255.
static void UnpackMono(TLXBitmap* src, std::vector<uint8_t>& plane, TRowsIn& rows) {
  const int w = src->Width(), h = src->Height();
  plane.resize(size_t(w) * size_t(h));
  rows.rows.resize(size_t(h));
  for (int y = 0; y < h; ++y) {
    const uint8_t* s = src->Scanline(y);
    uint8_t* o = plane.data() + size_t(w) * size_t(y);
    for (int x = 0; x < w; ++x) o[x] = (s[x >> 3] & (0x80 >> (x & 7))) ? 255 : 0;
    rows.rows[size_t(y)] = o;
  }
}

static void WriteGrey(TRowsOut& out, const std::vector<uint8_t>& grey, int w, int h) {
  for (int y = 0; y < h; ++y) {
    const uint8_t* g = grey.data() + size_t(w) * size_t(y);
    uint8_t* o = out[y];
    for (int x = 0; x < w; ++x) o[3 * x] = o[3 * x + 1] = o[3 * x + 2] = g[x];
  }
}

void ResampleFiltered1(TLXBitmap* src, TLXBitmap* dst, TResampleFilter filter) {
  if (!src || !dst || src->PixelFormat() != lx1g) return;
  if (filter < rfTriangle || filter > rfBicubic) return;
  const int srcW = src->Width(), srcH = src->Height(), dstW = dst->Width(), dstH = dst->Height();
  if (srcW <= 0 || srcH <= 0 || dstW <= 0 || dstH <= 0) return;
  if (filter >= rfFastLinear) {
    const double sx = double(dstW) / srcW, sy = double(dstH) / srcH;
    if (sx == 1 && sy == 1) {
      dst->Assign(src);
      return;
    }
    if (dst->PixelFormat() != lx24RGB) return;
    if (sx < 1 && sy < 1) {
      ShrinkMono(src, 0, 0, dst, srcH - 1, srcW - 1);
      return;
    }
    std::vector<uint8_t> plane;
    TRowsIn in;
    UnpackMono(src, plane, in);
    TFastTables t;
    BuildFastColumns(t, srcW, dstW, sx);
    std::vector<uint8_t> work(size_t(dstW) * size_t(srcH));
    std::vector<const uint8_t*> workRows(static_cast<size_t>(srcH));
    const std::vector<TAvg> none;
    for (int y = 0; y < srcH; ++y) {
      workRows[size_t(y)] = work.data() + size_t(dstW) * size_t(y);
      FastHorizontal<1>(in[y], srcW, work.data() + size_t(dstW) * size_t(y), dstW, true, t, none);
    }
    TFastRows r;
    BuildFastRows(r, srcH, dstH, sy, true);
    std::vector<uint8_t> grey(size_t(dstW) * size_t(dstH));
    for (int j = 0; j < dstH; ++j)
      FastVerticalRow(workRows.data(), r, j, dstW, grey.data() + size_t(dstW) * size_t(j), nullptr);
    TRowsOut out;
    out.Gather(dst);
    WriteGrey(out, grey, dstW, dstH);
    out.Flush();
    return;
  }
  if (dst->PixelFormat() != lx24RGB) return;
  if (srcW < 2 && srcH < 2) return;
  std::vector<uint8_t> plane;
  TRowsIn in;
  UnpackMono(src, plane, in);
  std::vector<uint8_t> grey(size_t(dstW) * size_t(dstH));
  std::vector<uint8_t*> greyRows(static_cast<size_t>(dstH));
  for (int y = 0; y < dstH; ++y) greyRows[size_t(y)] = grey.data() + size_t(dstW) * size_t(y);
  TwoPass<1>(in, srcW, srcH, greyRows.data(), dstW, dstH, filter, [](int) {}, [](int) {});
  TRowsOut out;
  out.Gather(dst);
  WriteGrey(out, grey, dstW, dstH);
  out.Flush();
}

void ResampleFilteredPlane8(TLXBitmap* src, TLXBitmap* dst, TResampleFilter filter) {
  if (!src || !dst || src->BitCount() != 8 || dst->BitCount() != 8) return;
  if (filter < rfTriangle || filter > rfBicubic) return;
  const int srcW = src->Width(), srcH = src->Height(), dstW = dst->Width(), dstH = dst->Height();
  if (srcW <= 0 || srcH <= 0 || dstW <= 0 || dstH <= 0) return;
  if (filter >= rfFastLinear) {
    const double sx = double(dstW) / srcW, sy = double(dstH) / srcH;
    if (sx == 1 && sy == 1) {
      dst->Assign(src);
      return;
    }
    TRowsIn in;
    in.Gather(src);
    TRowsOut out;
    out.Gather(dst);
    FastPath<1>(in, srcW, srcH, out.rows.data(), dstW, dstH, sx, sy, [](int) {}, [](int) {});
    out.Flush();
    return;
  }
  if (srcW < 2 && srcH < 2) return;
  TRowsIn in;
  in.Gather(src);
  TRowsOut out;
  out.Gather(dst);
  TwoPass<1>(in, srcW, srcH, out.rows.data(), dstW, dstH, filter, [](int) {}, [](int) {});
  out.Flush();
}

TLXBitmap* ResampleNearest(TLXBitmap* src, TLXBitmap* dst, void* sender, const TLXProgressEvent& onProgress) {
  if (!src || !dst) return dst;
  const TLXPixelFormat fmt = src->PixelFormat();
  const int srcW = src->Width(), srcH = src->Height(), dstW = dst->Width(), dstH = dst->Height();
  if (fmt == lxNone || dst->PixelFormat() != fmt || srcW <= 0 || srcH <= 0 || dstW <= 0 || dstH <= 0) return dst;
  const uint8_t srcAccess = src->Access, dstAccess = dst->Access;
  src->Access = lxaRead;
  dst->Access = lxaWrite;
  const double rx = double(srcW) / dstW, ry = double(srcH) / dstH;
  std::vector<int32_t> q(static_cast<size_t>(dstW));
  for (int i = 0; i < dstW; ++i) q[size_t(i)] = std::clamp(TruncI((long double)rx * i), 0, srcW - 1);
  const int bytes = BitCountOf(fmt) / 8;
  const bool fileSrc = src->Location() == lxFile;
  std::vector<uint8_t> keep;
  int kept = -1;
  for (int j = 0; j < dstH; ++j) {
    const int sy = std::clamp(TruncI((long double)ry * j), 0, srcH - 1);
    const uint8_t* s;
    if (fileSrc) {
      // Consecutive destination rows often read the same source row.
      if (sy != kept) {
        const uint8_t* row = src->Scanline(sy);
        keep.assign(row, row + src->RowLength());
        kept = sy;
      }
      s = keep.data();
    } else {
      s = src->Scanline(sy);
    }
    uint8_t* d = dst->Scanline(j);
    if (fmt == lx1g) {
      std::memset(d, 0, size_t(dst->RowLength()));
      for (int i = 0; i < dstW; ++i) {
        const int32_t x = q[size_t(i)];
        if (s[x >> 3] & (0x80 >> (x & 7))) d[i >> 3] |= uint8_t(0x80 >> (i & 7));
      }
    } else if (bytes == 1) {
      for (int i = 0; i < dstW; ++i) d[i] = s[q[size_t(i)]];
    } else if (bytes == 3) {
      for (int i = 0; i < dstW; ++i) std::memcpy(d + size_t(i) * 3, s + size_t(q[size_t(i)]) * 3, 3);
    } else {
      for (int i = 0; i < dstW; ++i)
        std::memcpy(d + size_t(i) * bytes, s + size_t(q[size_t(i)]) * bytes, size_t(bytes));
    }
    if (onProgress) onProgress(sender, TruncI((long double)j * 100 / (dstH + 0.5L)));
  }
  src->Access = srcAccess;
  dst->Access = dstAccess;
  return dst;
}

void ShrinkMono(TLXBitmap* src, int x1, int y1, TLXBitmap* dst, int y2, int x2) {
  if (!src || !dst || src->PixelFormat() != lx1g || dst->PixelFormat() != lx24RGB) return;
  const int srcW = src->Width(), srcH = src->Height(), dstW = dst->Width(), dstH = dst->Height();
  if (srcW <= 0 || srcH <= 0 || dstW <= 0 || dstH <= 0) return;
  const double sx = double((long double)(int64_t(x2) - x1 + 1) / dstW);
  const double sy = double((long double)(int64_t(y2) - y1 + 1) / dstH);
  std::vector<int32_t> cx0(static_cast<size_t>(dstW)), cx1(static_cast<size_t>(dstW));
  for (int j = 0; j < dstW; ++j) {
    cx0[size_t(j)] = std::clamp<int64_t>(int64_t(x1) + TruncI((long double)j * sx - sx / 2), 0, srcW - 1);
    cx1[size_t(j)] = std::clamp<int64_t>(int64_t(x1) + TruncI((long double)j * sx + sx / 2), 0, srcW - 1);
  }
  TRowsIn in;
  in.Gather(src);
  TRowsOut out;
  out.Gather(dst);
  const int32_t half = TruncI(sy);
  ParallelFor(dstH, double(srcW) * (double(srcH) / dstH + 1), [&](int i0, int i1) {
    for (int i = i0; i < i1; ++i) {
      const int32_t r0 = int32_t(std::clamp<int64_t>(int64_t(y1) + TruncI((long double)i * sy - sy / 2), 0, srcH - 1));
      const int32_t r1 =
          int32_t(std::clamp<int64_t>(int64_t(y1) + TruncI((long double)i * sy + (long double)half / 2), 0, srcH - 1));
      uint8_t* o = out[i];
      for (int j = 0; j < dstW; ++j) {
        int64_t set = 0, total = 0;
        for (int y = r0; y <= r1; ++y) {
          const uint8_t* s = in[y];
          for (int x = cx0[size_t(j)]; x <= cx1[size_t(j)]; ++x) set += (s[x >> 3] >> (7 - (x & 7))) & 1;
        }
        total = int64_t(std::max(0, r1 - r0 + 1)) * std::max(0, cx1[size_t(j)] - cx0[size_t(j)] + 1);
        const uint8_t g = total > 0 ? uint8_t(set * 255 / total) : 0;
        o[3 * j] = o[3 * j + 1] = o[3 * j + 2] = g;
      }
    }
  });
  out.Flush();
}

void ResampleBitmap(TLXBitmap* src, TLXBitmap* dst, TResampleFilter filter, void* sender,
                    const TLXProgressEvent& onProgress) {
  if (!src || !dst) return;
  if (src->HasAlphaChannel()) {
    TLXBitmap* a = src->AlphaChannel();
    // A channel that lost step with its bitmap would be walked out of bounds.
    if (a->Width() != src->Width() || a->Height() != src->Height()) {
      src->RemoveAlphaChannel();
      a = src->AlphaChannel();
    }
    if (src->PixelFormat() == lx24RGB) {
      const int w = src->Width(), h = src->Height();
      TRowsIn alpha;
      alpha.Gather(a);
      for (int y = 0; y < h; ++y) {
        const uint8_t* ar = alpha[y];
        bool any = false;
        for (int x = 0; x < w && !any; ++x) any = ar[x] == 0;
        if (!any) continue;
        uint8_t* row = src->Scanline(y);
        for (int x = 0; x < w; ++x)
          if (ar[x] == 0) row[3 * x] = row[3 * x + 1] = row[3 * x + 2] = 128;
      }
    }
  }
  if (filter == rfNone) {
    ResampleNearest(src, dst, sender, onProgress);
  } else if (src->PixelFormat() == lx1g) {
    dst->SetPixelFormat(lx24RGB);
    ResampleFiltered1(src, dst, filter);
  } else {
    ResampleFiltered24(src, dst, filter, sender, onProgress);
  }
  if (src->HasAlphaChannel()) {
    TLXBitmap* sa = src->AlphaChannel();
    if (dst->HasAlphaChannel()) {
      TLXBitmap* da = dst->AlphaChannel();
      if (da->Width() != dst->Width() || da->Height() != dst->Height()) dst->RemoveAlphaChannel();
    }
    TLXBitmap* da = dst->AlphaChannel();
    if (!da) return;
    if (filter == rfNone) ResampleNearest(sa, da);
    else ResampleFilteredPlane8(sa, da, filter);
    da->Full = sa->Full;
  }
}

void StretchForDPI(TLXBitmap* bitmap, int newWidth, int newHeight, bool filtered) {
  if (!bitmap || bitmap->IsEmpty() || newWidth <= 0 || newHeight <= 0) return;
  std::unique_ptr<TLXBitmap> alpha = bitmap->HasAlphaChannel() ? bitmap->DetachAlphaChannel() : nullptr;
  TLXBitmap result;
  if (filtered) {
    if (bitmap->PixelFormat() != lx24RGB) bitmap->SetPixelFormat(lx24RGB);
    result.Allocate(newWidth, newHeight, lx24RGB);
    if (result.IsEmpty()) return;
    ResampleFiltered24(bitmap, &result, rfFastLinear);
  } else {
    result.Allocate(newWidth, newHeight, bitmap->PixelFormat());
    if (result.IsEmpty()) return;
    ResampleNearest(bitmap, &result);
    for (int i = 0; i < result.PaletteCount() && i < bitmap->PaletteCount(); ++i)
      result.SetPaletteEntry(i, PackRGB(bitmap->GetPaletteEntry(i)));
  }
  bitmap->Assign(&result);
  if (alpha) {
    TLXBitmap* a = bitmap->AlphaChannel();
    if (a) {
      ResampleNearest(alpha.get(), a);
      a->Full = alpha->Full;
    }
  }
}
