// The detectors' parallel loop: every index once, whatever the chunks and threads; scratch and
// thread numbers private to one thread; a failure on another thread reaches the caller.

#include "detect/parallel_for.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>
#include <tuple>
#include <vector>

using Ostrel::Detect::parallelFor;

namespace {

// What one thread's calls record about themselves.
struct Scratch {
  std::thread::id owner = std::this_thread::get_id();
  int calls = 0;
};

}  // namespace

// Counts that chunks do not divide, chunks larger than the count, more threads than chunks and
// the degenerate arguments (no indices, chunk 0, threads 0).
TEST(ParallelFor, CallsEveryIndexOnceOnThreadsOfTheirOwn) {
  const std::tuple<int, int, unsigned> cases[] = {
      {1000, 7, 1}, {1000, 7, 2}, {1000, 7, 7}, {999, 64, 2}, {100, 1, 7},
      {5, 64, 7},   {3, 1, 7},    {0, 8, 2},    {10, 0, 2},   {10, 3, 0}};
  for (const auto& c : cases) {
    const int count = std::get<0>(c);
    const unsigned threads = std::get<2>(c);
    std::vector<std::atomic<int>> visits(count);
    std::vector<std::atomic<std::thread::id>> threadIds(std::max(threads, 1u));
    std::atomic<int> misuse{0};
    parallelFor<Scratch>(count, std::get<1>(c), threads, [&](int i, unsigned t, Scratch& s) {
      ++visits[i];
      ++s.calls;
      // A thread number is used by one thread only, and a scratch never leaves its thread.
      std::thread::id expected{};
      const std::thread::id self = std::this_thread::get_id();
      if (t >= threadIds.size() ||
          (!threadIds[t].compare_exchange_strong(expected, self) && expected != self) ||
          s.owner != self) {
        ++misuse;
      }
    });
    const std::string what = std::to_string(count) + " in chunks of " +
                             std::to_string(std::get<1>(c)) + " on " + std::to_string(threads);
    for (int i = 0; i < count; ++i) ASSERT_EQ(visits[i], 1) << what << ": index " << i;
    EXPECT_EQ(misuse, 0) << what;
  }
}

// An exception thrown on another thread than the caller's reaches the caller. The caller's own
// calls wait for it, so that the other threads get indices however late they start.
TEST(ParallelFor, RethrowsAnotherThreadsFailure) {
  std::atomic<bool> thrown{false};
  try {
    parallelFor<Scratch>(100000, 4, 3, [&](int, unsigned thread, Scratch&) {
      if (thread == 0) {
        while (!thrown) std::this_thread::yield();
        return;
      }
      thrown = true;
      throw std::runtime_error("thread " + std::to_string(thread));
    });
    ADD_FAILURE() << "nothing thrown";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()), "thread 0");
  }
}
