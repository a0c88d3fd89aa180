#pragma once
// A short wait that keeps the core. A thread that blocks gives its core up, and where the system
// packs threads onto few cores (see thread_placement.h) the thread that wakes it may be put on the
// waker's own core and share it for milliseconds while another core idles. Where the wait is
// expected to be short (the other threads' last tasks of a call), polling a little first avoids
// that; a longer wait still blocks.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

// How long a thread polls before it blocks.
inline constexpr std::chrono::microseconds BriefSpinLimit{1500};

// Polls `waiting` until it answers false or `limit` has passed; answers whether it answered false.
template <class Waiting>
bool SpinWhile(Waiting waiting, std::chrono::microseconds limit = BriefSpinLimit) {
  const auto until = std::chrono::steady_clock::now() + limit;
  for (;;) {
    for (int i = 0; i < 64; ++i) {
      if (!waiting()) return true;
#if defined(__x86_64__) || defined(__i386__)
      _mm_pause();
#endif
    }
    if (std::chrono::steady_clock::now() >= until) return !waiting();
  }
}

// Gives up `lock` while polling `events` (a count that the threads to be waited for raise under the
// lock) for a change from its value under the lock, then takes the lock back. Answers whether it
// changed: if not, the caller blocks, and misses nothing, the count being read under the lock.
inline bool PollUnlocked(std::unique_lock<std::mutex>& lock, const std::atomic<std::uint64_t>& events) {
  const std::uint64_t seen = events.load(std::memory_order_relaxed);
  lock.unlock();
  SpinWhile([&] { return events.load(std::memory_order_acquire) == seen; });
  lock.lock();
  return events.load(std::memory_order_relaxed) != seen;
}
