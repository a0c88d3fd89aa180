#pragma once
// The few standard pieces that one of the program's builds lacks: the WebAssembly build of the web
// page, whose library (libc++ 13 over musl) has no std::bit_cast, no std::jthread or stop tokens
// and no renameat2, and which runs single-threaded. Each name here is the standard one wherever
// the library has it; this is the one place that knows which library lacks what.
#include <fcntl.h>

#include <bit>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <version>

#if defined(__EMSCRIPTEN__) && !defined(__EMSCRIPTEN_PTHREADS__)
#define RFL_SINGLE_THREADED 1
#endif

namespace compat {

#if defined(__cpp_lib_bit_cast)
using std::bit_cast;
#else
template <class To, class From>
constexpr To bit_cast(const From& from) noexcept {
  return __builtin_bit_cast(To, from);
}
#endif

#if defined(__cpp_lib_jthread)
using std::jthread;
using std::stop_token;
// Waits until `ready` holds or a stop is requested (the stop wakes the wait).
template <class Predicate>
void WaitUntil(std::condition_variable_any& wake, std::unique_lock<std::mutex>& lock, stop_token stop,
               Predicate ready) {
  wake.wait(lock, stop, std::move(ready));
}
#elif defined(RFL_SINGLE_THREADED)
// A build without threads starts none (UsableCores is 1): these only let the pool compile.
class stop_token {
 public:
  bool stop_requested() const noexcept { return true; }
};
class jthread {
 public:
  template <class Function>
  explicit jthread(Function&&) {
    throw std::runtime_error("this build runs single-threaded");
  }
};
template <class Predicate>
void WaitUntil(std::condition_variable_any&, std::unique_lock<std::mutex>&, stop_token, Predicate) {}
#else
#error "a library with threads but without std::jthread"
#endif

// Renames `from` to `to` unless `to` exists (then EEXIST); -1 with errno EINVAL or ENOSYS where the
// system cannot refuse a taken name in the rename itself.
inline int RenameNoReplace(const char* from, const char* to) {
#if defined(RENAME_NOREPLACE)
  return ::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE);
#else
  (void)from, (void)to;
  errno = ENOSYS;
  return -1;
#endif
}

// Opens a new file without a name in `folder` for writing, or -1 where the system or the folder's
// file system cannot make one (the page's build has no such files).
inline int OpenUnnamedFile(const char* folder, mode_t mode) {
#if defined(O_TMPFILE) && !defined(__EMSCRIPTEN__)
  return ::open(folder, O_TMPFILE | O_WRONLY | O_CLOEXEC, mode);
#else
  (void)folder, (void)mode;
  errno = EOPNOTSUPP;
  return -1;
#endif
}

}  // namespace compat
