#pragma once
// Splitting independent items of work over the machine's cores.
//
//   ParallelFor(rows, costPerRow, [&](int first, int end) { ... rows first..end-1 ... },
//               [&](int row) { progress after row, on the calling thread, in order });
//
// Items must not depend on each other, so results never depend on the split.
// Work below about 200000 units of cost runs on the calling thread alone; at
// most 8 threads work, the calling thread among them. `done` runs on the
// calling thread, in item order, once the items up to it have finished.
#include <algorithm>
#include <atomic>
#include <memory>
#include <thread>
#include <vector>

inline int ParallelWorkerCount() {
  const unsigned n = std::thread::hardware_concurrency();
  return int(std::clamp(n, 1u, 8u));
}

template <class Body, class Done>
void ParallelFor(int count, double costPerItem, Body&& body, Done&& done) {
  if (count <= 0) return;
  int threads = ParallelWorkerCount();
  if (threads > 1 && double(count) * costPerItem < 200000.0) threads = 1;
  threads = std::min(threads, count);
  if (threads == 1) {
    for (int k = 0; k < count; ++k) {
      body(k, k + 1);
      done(k);
    }
    return;
  }
  const int chunk = std::max(1, count / (threads * 8));
  const int chunks = (count + chunk - 1) / chunk;
  std::atomic<int> next{0};
  std::unique_ptr<std::atomic<bool>[]> finished(new std::atomic<bool>[size_t(chunks)]);
  for (int c = 0; c < chunks; ++c) finished[c].store(false, std::memory_order_relaxed);
  auto work = [&] {
    for (;;) {
      const int c = next.fetch_add(1, std::memory_order_relaxed);
      if (c >= chunks) return;
      body(c * chunk, std::min(count, (c + 1) * chunk));
      finished[c].store(true, std::memory_order_release);
    }
  };
  std::vector<std::thread> pool;
  pool.reserve(size_t(threads - 1));
  for (int t = 1; t < threads; ++t) pool.emplace_back(work);
  int reported = 0;  // chunks whose items were reported
  auto report = [&] {
    while (reported < chunks && finished[reported].load(std::memory_order_acquire)) {
      for (int k = reported * chunk; k < std::min(count, (reported + 1) * chunk); ++k) done(k);
      ++reported;
    }
  };
  for (;;) {
    const int c = next.fetch_add(1, std::memory_order_relaxed);
    if (c >= chunks) break;
    body(c * chunk, std::min(count, (c + 1) * chunk));
    finished[c].store(true, std::memory_order_release);
    report();
  }
  for (auto& t : pool) t.join();
  report();
}

template <class Body>
void ParallelFor(int count, double costPerItem, Body&& body) {
  ParallelFor(count, costPerItem, body, [](int) {});
}
