#include "batch/interrupts.h"

#include <pthread.h>
#include <unistd.h>

#include <csignal>
#include <thread>

#include "batch/options.h"

void HandleInterrupts(std::function<void(int signal)> onSignal) {
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
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
