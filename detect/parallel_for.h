#pragma once
// The detectors' parallel loop, on std::thread. Neighbourhoods differ in size from point to
// point, so threads take small chunks of indices from a shared counter until none are left.
// It replaces OpenMP: GCC's libgomp is not built with ThreadSanitizer, which cannot see its
// barriers and reports every OpenMP loop as a race; thread start and join it does see.

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace Ostrel {
namespace Detect {

namespace ParallelForDetail {

// What the threads of one loop share: the next index to hand out, and the first failure.
struct Shared {
  std::atomic<std::int64_t> next{0};
  std::atomic<bool> failed{false};
  std::mutex errorMutex;
  std::exception_ptr error;

  // Called from a catch block: keeps the exception in flight unless one is kept already.
  void fail() noexcept {
    const std::lock_guard<std::mutex> lock(errorMutex);
    if (!error) error = std::current_exception();
    failed.store(true, std::memory_order_relaxed);
  }
};

}  // namespace ParallelForDetail

// Calls body(index, thread, scratch) exactly once for every index in [0, count), on at most
// `threads` threads (0 counts as 1, and no more threads than chunks), the calling thread among
// them. Each thread takes the next `chunk` indices (at least 1; the last chunk may be shorter)
// until none are left, so which thread runs an index changes from run to run: for results that
// do not depend on the threads, a call writes only what belongs to its index, or to `thread`, a
// number in [0, threads) that no other thread of this loop has (0 is the caller's).
// `scratch` is the thread's own Scratch, default-constructed by that thread and handed to each of
// its calls: buffers kept from one index to the next, never shared.
// Every thread is joined before the return, so the caller sees all that the calls wrote. When a
// call throws, no more chunks are handed out and the first exception is rethrown here after the
// join; when the system refuses to start a thread, the threads already running do the work.
template <typename Scratch, typename Body>
void parallelFor(int count, int chunk, unsigned threads, const Body& body) {
  if (count <= 0) return;
  const int step = std::max(chunk, 1);
  const std::int64_t chunks = (std::int64_t(count) + step - 1) / step;
  const unsigned used = unsigned(std::min<std::int64_t>(std::max(threads, 1u), chunks));
  ParallelForDetail::Shared shared;
  const auto work = [&](unsigned thread) {
    try {
      Scratch scratch;
      while (!shared.failed.load(std::memory_order_relaxed)) {
        const std::int64_t begin = shared.next.fetch_add(step, std::memory_order_relaxed);
        if (begin >= count) return;
        const int end = int(std::min<std::int64_t>(begin + step, count));
        for (int i = int(begin); i < end; ++i) body(i, thread, scratch);
      }
    } catch (...) {
      shared.fail();
    }
  };
  std::vector<std::thread> workers;
  workers.reserve(used - 1);
  for (unsigned thread = 1; thread < used; ++thread) {
    try {
      workers.emplace_back(work, thread);
    } catch (const std::system_error&) {
      break;
    }
  }
  work(0);
  for (std::thread& worker : workers) worker.join();
  if (shared.error) std::rethrow_exception(shared.error);
}

}  // namespace Detect
}  // namespace Ostrel
