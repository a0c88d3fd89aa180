#include "batch/interrupts.h"

#include <pthread.h>
#include <unistd.h>

#include <csignal>
#include <thread>

#include "batch/options.h"

void HandleInterrupts(std::function<void(int signal)> onSignal) {
  sigset_t signals;
  sigemptyset(&signals);
  for (const int signal : {SIGINT, SIGTERM}) {
    // A signal the program was started with ignored (a shell's background job, nohup) stays ignored.
    struct sigaction current {};
    if (::sigaction(signal, nullptr, &current) == 0 && current.sa_handler == SIG_IGN) continue;
    sigaddset(&signals, signal);
  }
  if (sigisemptyset(&signals)) return;
  ::pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  std::thread([signals, onSignal = std::move(onSignal)] {
    int signal = 0;
    while (::sigwait(&signals, &signal) != 0) {
    }
    onSignal(signal);
    // Not exit(): the other threads are still at work, and nothing they hold may be torn down.
    ::_exit(ExitInterrupted(signal));
  }).detach();
}
