#pragma once
// Where a worker thread runs. Linux chooses a core for a thread each time it wakes, and on some
// machines (virtual machines that keep work on as few cores as they can) that is the busy core of
// the thread that woke it: the worker then waits there until the next balancing moves it, a few
// milliseconds later, while the core beside it stays idle, and a call the pool was meant to halve
// runs on one core. A worker kept on a core of its own runs as soon as it is woken.
#include "toolkit/compat.h"

#if defined(__linux__) && !defined(RFL_SINGLE_THREADED)
#include <sched.h>
#endif

// The cores a thread may run on.
struct TCoreSet {
#if defined(__linux__) && !defined(RFL_SINGLE_THREADED)
  cpu_set_t Cores;
#endif
  bool Known = false;  // false where the system does not say (the functions below then do nothing)
};

// The calling thread's cores: those a thread it starts inherits.
TCoreSet CoresOfThisThread();

// Keeps `thread`, just started by the calling thread and given `cores`, on the `index`-th of those
// cores that is not the one the calling thread runs on, so that the workers started together (index
// 0, 1, ...) each have a core of their own beside their starter's. A worker beyond those cores is
// left free to run on any of them, as is every worker where `cores` has no core but the caller's.
void KeepOnOwnCore(compat::jthread& thread, const TCoreSet& cores, unsigned index);
