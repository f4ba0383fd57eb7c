#include "platform/parallel.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {

// Every item once, whatever the split; progress in item order on the calling thread.
TEST(ParallelFor, EveryItemOnceAndDoneInOrder) {
  for (const auto& [count, cost] : std::vector<std::pair<int, double>>{{0, 1e9}, {1, 1e9}, {7, 1.0}, {1000, 1e6}, {4099, 500.0}}) {
    std::vector<std::atomic<int>> hits(size_t(std::max(count, 1)));
    std::vector<int> done;
    const auto caller = std::this_thread::get_id();
    bool doneOnCaller = true;
    ParallelFor(
        count, cost,
        [&](int first, int end) {
          ASSERT_LT(first, end);
          for (int k = first; k < end; ++k) hits[size_t(k)].fetch_add(1);
        },
        [&](int k) {
          done.push_back(k);
          doneOnCaller = doneOnCaller && std::this_thread::get_id() == caller;
        });
    for (int k = 0; k < count; ++k) EXPECT_EQ(hits[size_t(k)].load(), 1) << count << " item " << k;
    ASSERT_EQ(int(done.size()), count);
    for (int k = 0; k < count; ++k) EXPECT_EQ(done[size_t(k)], k);
    EXPECT_TRUE(doneOnCaller);
  }
}

TEST(ParallelFor, SmallWorkStaysOnTheCallingThread) {
  const auto caller = std::this_thread::get_id();
  bool elsewhere = false;
  ParallelFor(100, 10.0, [&](int, int) { elsewhere = elsewhere || std::this_thread::get_id() != caller; });
  EXPECT_FALSE(elsewhere);
}

}  // namespace
