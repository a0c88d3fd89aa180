#pragma once
// A named pipe for tests of code that must never wait on one. Opening a pipe for reading waits for
// a writer; while the object lives, a helper thread plays the writer now and then, so that code
// that does wait gets an empty file and fails its test instead of hanging it.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>

class TWaitingPipe {
 public:
  explicit TWaitingPipe(const std::string& path) : path_(path) {
    if (::mkfifo(path.c_str(), 0600) != 0) throw std::runtime_error("no pipe");
    writer_ = std::thread([this] {
      const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
      while (!done_ && std::chrono::steady_clock::now() < until) {
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        const int fd = ::open(path_.c_str(), O_WRONLY | O_NONBLOCK);  // succeeds only with a reader
        if (fd >= 0) ::close(fd);
      }
    });
  }
  ~TWaitingPipe() {
    done_ = true;
    writer_.join();
  }
  TWaitingPipe(const TWaitingPipe&) = delete;
  TWaitingPipe& operator=(const TWaitingPipe&) = delete;

 private:
  std::string path_;
  std::atomic<bool> done_{false};
  std::thread writer_;
};
