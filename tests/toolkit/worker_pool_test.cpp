#include "toolkit/worker_pool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <set>
#include <string>

#include "toolkit/errors.h"

namespace {

// A tally of how often each index ran.
struct TRunCounts {
  explicit TRunCounts(std::size_t count) : runs(new std::atomic<int>[count]{}), size(count) {}
  void Run(std::size_t index) { runs[index].fetch_add(1); }
  bool EachOnce() const {
    for (std::size_t i = 0; i < size; ++i)
      if (runs[i].load() != 1) return false;
    return true;
  }
  int Total() const {
    int total = 0;
    for (std::size_t i = 0; i < size; ++i) total += runs[i].load();
    return total;
  }
  std::unique_ptr<std::atomic<int>[]> runs;
  std::size_t size;
};

TEST(WorkerPool, RunsEveryIndexExactlyOnceWhateverItsSize) {
  for (unsigned threads : {0u, 1u, 3u}) {
    TWorkerPool pool(threads);
    EXPECT_EQ(pool.Size(), threads);
    for (std::size_t count : {0u, 1u, 7u, 1000u}) {
      TRunCounts counts(count);
      pool.ParallelFor(count, [&](std::size_t i) { counts.Run(i); });
      EXPECT_TRUE(counts.EachOnce()) << threads << " threads, " << count << " tasks";
    }
  }
}

// More outer tasks than threads, each waiting for an inner call, two levels deep, and from two
// outside threads at once: a pool whose waiting threads only blocked would hang here.
TEST(WorkerPool, NestedCallsFinishWithMoreTasksThanThreads) {
  for (unsigned threads : {0u, 1u, 2u}) {
    TWorkerPool pool(threads);
    constexpr std::size_t Outer = 6, Middle = 5, Inner = 4;
    TRunCounts counts(2 * Outer * Middle * Inner);
    auto work = [&](std::size_t caller) {
      pool.ParallelFor(Outer, [&](std::size_t o) {
        pool.ParallelFor(Middle, [&](std::size_t m) {
          pool.ParallelFor(Inner, [&](std::size_t i) { counts.Run(((caller * Outer + o) * Middle + m) * Inner + i); });
        });
      });
    };
    {
      std::jthread other([&] { work(1); });
      work(0);
    }
    EXPECT_TRUE(counts.EachOnce()) << threads << " threads";
  }
}

TEST(WorkerPool, TheFirstFailureStopsTheCallIsRaisedOnceAndThePoolStaysUsable) {
  // On the caller alone the order is fixed: after task 3 throws, no later task starts.
  TWorkerPool alone(0);
  TRunCounts counts(100);
  EXPECT_THROW(alone.ParallelFor(100,
                                 [&](std::size_t i) {
                                   counts.Run(i);
                                   if (i == 3) throw EInvalidGraphic("band 3");
                                 }),
               EInvalidGraphic);
  EXPECT_EQ(counts.Total(), 4);

  TWorkerPool pool(2);
  for (int round = 0; round < 20; ++round) {
    // Every task fails, on every thread: one of their exceptions comes out, whole.
    int raised = 0;
    try {
      pool.ParallelFor(50, [](std::size_t i) { throw Exception("task " + std::to_string(i)); });
    } catch (const Exception& e) {
      ++raised;
      EXPECT_EQ(std::string(e.what()).rfind("task ", 0), 0u);
    }
    EXPECT_EQ(raised, 1);

    // A failure deep inside nested calls reaches the outermost caller.
    EXPECT_THROW(pool.ParallelFor(4,
                                  [&](std::size_t o) {
                                    pool.ParallelFor(4, [&](std::size_t i) {
                                      if (o == 2 && i == 1) throw EReadError("inner");
                                    });
                                  }),
                 EReadError);

    TRunCounts after(64);
    pool.ParallelFor(64, [&](std::size_t i) { after.Run(i); });
    ASSERT_TRUE(after.EachOnce()) << "round " << round;
  }
}

TEST(WorkerPool, TheSharedPoolTakesItsSizeInPlace) {
  TWorkerPool& pool = SharedWorkerPool();
  SetSharedWorkerPoolSize(1);
  EXPECT_EQ(&SharedWorkerPool(), &pool);
  EXPECT_EQ(pool.Size(), 0u);
  SetSharedWorkerPoolSize(3);
  EXPECT_EQ(pool.Size(), 2u);
  TRunCounts counts(10);
  pool.ParallelFor(10, [&](std::size_t i) { counts.Run(i); });
  EXPECT_TRUE(counts.EachOnce());
  EXPECT_THROW(SetSharedWorkerPoolSize(0), Exception);
  SetSharedWorkerPoolSize(std::max(std::thread::hardware_concurrency(), 1u));
}

}  // namespace
