#include "toolkit/worker_pool.h"

#include <exception>
#include <optional>

#include "toolkit/brief_spin.h"
#include "toolkit/errors.h"
#include "toolkit/machine_share.h"
#include "toolkit/messages.h"
#include "toolkit/thread_placement.h"

// One ParallelFor call. It lives on its caller's stack; the caller returns only once `unfinished`
// has reached 0, and nobody touches the job after that. Every field is guarded by the pool's mutex.
struct TWorkerPool::TJob {
  const std::function<void(std::size_t)>* task;
  std::size_t count;
  std::size_t next;        // the next index to hand out; count when all are handed out or skipped
  std::size_t unfinished;  // tasks not yet run to their end (skipped ones count as ended)
  unsigned depth;          // 1 for a call from outside any task, one more per level of nesting
  std::exception_ptr error;
};

namespace {

// The depth of the job whose task this thread is running; 0 outside any task.
thread_local unsigned CurrentDepth = 0;

}  // namespace

TWorkerPool::TWorkerPool(unsigned threads) {
  threads_.reserve(threads);
  // Each worker has a core of its own beside this thread's, so that a call's tasks find it running
  // at once (see thread_placement.h).
  const TCoreSet cores = CoresOfThisThread();
  for (unsigned i = 0; i < threads; ++i) {
    threads_.emplace_back([this](compat::stop_token stop) { WorkerLoop(stop); });
    KeepOnOwnCore(threads_.back(), cores, i);
  }
}

TWorkerPool::~TWorkerPool() {
  // Each jthread asks its loop to stop (which wakes its wait) and joins it.
  threads_.clear();
}

void TWorkerPool::ParallelFor(std::size_t count, const std::function<void(std::size_t)>& task) {
  if (count == 0) return;
  TJob job{&task, count, 0, count, CurrentDepth + 1, nullptr};
  std::unique_lock lock(mutex_);
  queued_.push_back(&job);
  if (count > 1) Notify();
  // While waiting, run this call's own tasks first, then those of calls at the same depth or
  // deeper. Deeper calls never wait for shallower ones, so this cannot close a cycle; and a thread
  // that waits for its bands never starts a new outer task (another whole picture), which keeps both
  // the stack and the memory in use bounded.
  while (job.unfinished > 0) {
    if (TJob* next = PickJob(job.depth, &job)) {
      RunOneTask(lock, *next);
      continue;
    }
    // Only other threads' tasks are left: poll briefly before blocking (see brief_spin.h).
    if (!PollUnlocked(lock, events_)) wake_.wait(lock);
  }
  lock.unlock();
  if (job.error) std::rethrow_exception(job.error);
}

void TWorkerPool::Notify() {
  events_.fetch_add(1, std::memory_order_release);
  wake_.notify_all();
}

TWorkerPool::TJob* TWorkerPool::PickJob(unsigned minDepth, TJob* preferred) {
  if (preferred && preferred->next < preferred->count) return preferred;
  // The deepest first, so that work already begun is finished before new work starts; the oldest
  // among equals.
  TJob* best = nullptr;
  for (TJob* job : queued_)
    if (job->depth >= minDepth && (!best || job->depth > best->depth)) best = job;
  return best;
}

void TWorkerPool::RunOneTask(std::unique_lock<std::mutex>& lock, TJob& job) {
  const std::size_t index = job.next++;
  if (job.next == job.count) std::erase(queued_, &job);
  const unsigned outerDepth = CurrentDepth;
  CurrentDepth = job.depth;
  lock.unlock();
  std::exception_ptr error;
  try {
    (*job.task)(index);
  } catch (...) {
    error = std::current_exception();
  }
  CurrentDepth = outerDepth;
  lock.lock();
  if (error && !job.error) {
    job.error = error;
    // The tasks not yet handed out are skipped; the ones running on other threads still end.
    if (job.next < job.count) std::erase(queued_, &job);
    job.unfinished -= job.count - job.next;
    job.next = job.count;
  }
  // The caller may return (and its job vanish) as soon as the lock is given back.
  if (--job.unfinished == 0) Notify();
}

void TWorkerPool::WorkerLoop(compat::stop_token stop) {
  std::unique_lock lock(mutex_);
  while (!stop.stop_requested()) {
    if (TJob* job = PickJob(1, nullptr)) RunOneTask(lock, *job);
    else compat::WaitUntil(wake_, lock, stop, [this] { return !queued_.empty(); });
  }
}

namespace {

unsigned DefaultThreadCount() {
  const unsigned cores = UsableCores();
  return cores > 1 ? cores - 1 : 0;
}

struct TSharedPool {
  std::mutex mutex;
  std::optional<TWorkerPool> pool;  // rebuilt in place, so references to it stay valid
};

TSharedPool& Shared() {
  static TSharedPool shared;
  return shared;
}

}  // namespace

TWorkerPool& SharedWorkerPool() {
  TSharedPool& shared = Shared();
  const std::lock_guard lock(shared.mutex);
  if (!shared.pool) shared.pool.emplace(DefaultThreadCount());
  return *shared.pool;
}

void SetSharedWorkerPoolSize(unsigned totalThreads) {
  if (totalThreads == 0) throw Exception(SNoWorkerThreads);
  TSharedPool& shared = Shared();
  const std::lock_guard lock(shared.mutex);
  if (shared.pool && shared.pool->Size() == totalThreads - 1) return;
  shared.pool.reset();
  shared.pool.emplace(totalThreads - 1);
}
