#pragma once
// A small pool of threads that live as long as the pool, for work that splits into independent
// pieces (the bands of the final rendering, the pictures of a batch). The threads that call into
// the pool work too, so a pool of n threads keeps n + 1 busy while a call runs. Each thread keeps a
// core of its own where the machine has one for it (thread_placement.h).
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <cstddef>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "toolkit/compat.h"

class TWorkerPool {
 public:
  // `threads` run tasks besides the calling threads; 0 leaves all the work to the callers.
  explicit TWorkerPool(unsigned threads);
  // Joins the threads. No call may be running.
  ~TWorkerPool();
  TWorkerPool(const TWorkerPool&) = delete;
  TWorkerPool& operator=(const TWorkerPool&) = delete;

  unsigned Size() const { return unsigned(threads_.size()); }

  // Runs task(0) .. task(count - 1), each exactly once, on the pool's threads and on the calling
  // thread, and returns when every one has finished. A task may itself call ParallelFor: a thread
  // that waits for its tasks runs queued tasks of its own or deeper calls meanwhile instead of
  // blocking, so nested calls neither deadlock nor leave a thread idle while work is queued. When
  // tasks throw, the tasks of this call not yet started are skipped and the first exception is
  // rethrown here, once; the pool stays usable.
  void ParallelFor(std::size_t count, const std::function<void(std::size_t)>& task);

 private:
  struct TJob;

  void WorkerLoop(compat::stop_token stop);
  // The queued job whose next task a thread should run, only among jobs at least `minDepth` deep;
  // null when there is none. `preferred` goes first while it has tasks left. Needs the lock.
  TJob* PickJob(unsigned minDepth, TJob* preferred);
  // Claims and runs the next task of `job`, then marks it finished. Takes and gives back the lock.
  void RunOneTask(std::unique_lock<std::mutex>& lock, TJob& job);

  // Counts the events below and wakes every waiting thread; needs the lock.
  void Notify();

  std::mutex mutex_;
  std::condition_variable_any wake_;  // new tasks queued, or a job finished
  std::atomic<std::uint64_t> events_{0};  // how often wake_ was notified, for threads that poll
  std::vector<TJob*> queued_;         // jobs with tasks not yet claimed, oldest first
  std::vector<compat::jthread> threads_;
};

// The process-wide pool, started on first use with one thread fewer than the cores the process may
// use (machine_share.h: its affinity mask and CPU quota), so that with the caller each works.
TWorkerPool& SharedWorkerPool();

// Sets how many threads in all work on the shared pool's calls, the caller included (at least 1:
// the pool gets totalThreads - 1 threads). Only while no call is running on it; the reference that
// SharedWorkerPool returns stays valid.
void SetSharedWorkerPoolSize(unsigned totalThreads);
