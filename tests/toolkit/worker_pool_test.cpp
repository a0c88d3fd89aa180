#include "toolkit/worker_pool.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "toolkit/errors.h"
#include "toolkit/thread_placement.h"

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

#if defined(__linux__)
// Every thread of the pool, the caller first, reports its cores from within a call in which all of
// them are busy at once.
std::vector<TCoreSet> CoresOfEveryThread(TWorkerPool& pool) {
  const std::size_t count = pool.Size() + 1;
  const std::thread::id caller = std::this_thread::get_id();
  std::atomic<std::size_t> started{0};
  std::vector<TCoreSet> cores(count);
  std::atomic<std::size_t> nextWorker{1};
  pool.ParallelFor(count, [&](std::size_t) {
    started.fetch_add(1);
    while (started.load() < count) std::this_thread::yield();
    const std::size_t slot = std::this_thread::get_id() == caller ? 0 : nextWorker.fetch_add(1);
    cores[slot] = CoresOfThisThread();
  });
  return cores;
}

// Workers each keep a core of their own beside their starter's, as many as there are such cores;
// the others, and the starter, keep every core the starter had: two workers held on one core would
// halve each other for the life of the program while another core idles.
TEST(WorkerPool, WorkersKeepCoresOfTheirOwnBesideTheirStarter) {
  const TCoreSet starter = CoresOfThisThread();
  ASSERT_TRUE(starter.Known);
  const int others = CPU_COUNT(&starter.Cores) - 1;
  for (unsigned threads : {1u, 2u, 3u, 8u}) {
    TWorkerPool pool(threads);
    const std::vector<TCoreSet> cores = CoresOfEveryThread(pool);
    EXPECT_TRUE(CPU_EQUAL(&cores[0].Cores, &starter.Cores)) << "the caller, " << threads << " threads";
    cpu_set_t owned;
    CPU_ZERO(&owned);
    int single = 0, free = 0;
    for (std::size_t i = 1; i < cores.size(); ++i) {
      ASSERT_TRUE(cores[i].Known);
      if (CPU_EQUAL(&cores[i].Cores, &starter.Cores)) {
        ++free;
        continue;
      }
      ASSERT_EQ(CPU_COUNT(&cores[i].Cores), 1) << threads << " threads";
      cpu_set_t within;
      CPU_AND(&within, &cores[i].Cores, &starter.Cores);
      EXPECT_EQ(CPU_COUNT(&within), 1);
      CPU_AND(&within, &cores[i].Cores, &owned);
      EXPECT_EQ(CPU_COUNT(&within), 0) << "two workers on one core";
      CPU_OR(&owned, &owned, &cores[i].Cores);
      ++single;
    }
    const int expected = std::min(int(threads), std::max(others, 0));
    EXPECT_EQ(single, expected) << threads << " threads";
    EXPECT_EQ(free, int(threads) - expected) << threads << " threads";
  }
  const TCoreSet after = CoresOfThisThread();
  EXPECT_TRUE(CPU_EQUAL(&after.Cores, &starter.Cores));
}
#endif

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
