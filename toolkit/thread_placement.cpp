#include "toolkit/thread_placement.h"

#if defined(__linux__) && !defined(RFL_SINGLE_THREADED)
#include <pthread.h>

TCoreSet CoresOfThisThread() {
  TCoreSet set;
  CPU_ZERO(&set.Cores);
  set.Known = pthread_getaffinity_np(pthread_self(), sizeof set.Cores, &set.Cores) == 0;
  return set;
}

void KeepOnOwnCore(compat::jthread& thread, const TCoreSet& cores, unsigned index) {
  if (!cores.Known) return;
  const int here = sched_getcpu();
  unsigned skip = index;
  for (int core = 0; core < CPU_SETSIZE; ++core) {
    if (!CPU_ISSET(core, &cores.Cores) || core == here) continue;
    if (skip-- > 0) continue;
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(core, &one);
    // A refusal only leaves the thread free to run anywhere, as any other thread.
    pthread_setaffinity_np(thread.native_handle(), sizeof one, &one);
    return;
  }
}

#else

TCoreSet CoresOfThisThread() { return {}; }
void KeepOnOwnCore(compat::jthread&, const TCoreSet&, unsigned) {}

#endif
