#include "platform/metrics.h"

#include <array>
#include <atomic>

using TMetricTable = std::array<std::atomic<int>, kSysMetricCount>;

static void LoadDefaults(TMetricTable& t) {
  for (auto& v : t) v.store(0, std::memory_order_relaxed);
  t[SM_CXSCREEN] = 1920;
  t[SM_CYSCREEN] = 1080;
  t[SM_CXVSCROLL] = 17;
  t[SM_CYHSCROLL] = 17;
  t[SM_CYVSCROLL] = 17;
  t[SM_CXHSCROLL] = 17;
  t[SM_CXBORDER] = 1;
  t[SM_CYBORDER] = 1;
  t[SM_CXEDGE] = 2;
  t[SM_CYEDGE] = 2;
}

// The platform's metric table is process-wide by nature; atomics let a worker
// read it while the host refreshes it.
static TMetricTable& Table() {
  static TMetricTable table;
  static const bool loaded = (LoadDefaults(table), true);
  (void)loaded;
  return table;
}

static std::atomic<int>& ScreenDepth() {
  static std::atomic<int> depth{32};
  return depth;
}

int GetSystemMetric(int index) {
  if (index < 0 || index >= kSysMetricCount) return 0;
  return Table()[size_t(index)].load(std::memory_order_relaxed);
}

void SetSystemMetric(int index, int value) {
  if (index < 0 || index >= kSysMetricCount) return;
  Table()[size_t(index)].store(value, std::memory_order_relaxed);
}

void ResetSystemMetrics() {
  LoadDefaults(Table());
  ScreenDepth() = 32;
}

int ScreenColorDepth() { return ScreenDepth().load(std::memory_order_relaxed); }
void SetScreenColorDepth(int bits) { ScreenDepth().store(bits, std::memory_order_relaxed); }
