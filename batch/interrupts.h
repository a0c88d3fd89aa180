#pragma once
// SIGINT and SIGTERM for a run: handled on a thread of their own, so that stopping may take locks,
// remove files and print like any other code.
#include <functional>

// Blocks SIGINT and SIGTERM in the calling thread and in every thread it starts from now on (call
// it before any other thread exists), and starts a thread that waits for them. The first signal
// runs `onSignal(signal)` on that thread; when it returns, the process exits at once with status
// 128 + signal. Later signals wait for that. A signal that is ignored when it is called (as a
// shell ignores SIGINT for its background jobs) stays ignored.
void HandleInterrupts(std::function<void(int signal)> onSignal);
