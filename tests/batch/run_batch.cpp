#include "tests/batch/run_batch.h"

#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

#include "tests/support/temp_dir.h"

namespace {

// The user and group nobody.
constexpr uid_t Nobody = 65534;

}  // namespace

struct TBatchProcess::TCapture {
  TempDir dir;
  std::string out = dir / "out", err = dir / "err";
};

TBatchProcess::TBatchProcess(const std::vector<std::string>& arguments, const TBatchRunOptions& options)
    : capture_(std::make_unique<TCapture>()), timeoutSeconds_(options.TimeoutSeconds) {
  std::vector<const char*> argv{RFL_BATCH_PROGRAM};
  for (const std::string& a : arguments) argv.push_back(a.c_str());
  argv.push_back(nullptr);
  pid_ = ::fork();
  if (pid_ == 0) {
    const int in = ::open("/dev/null", O_RDONLY);
    const int o = ::open(capture_->out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int e = ::open(capture_->err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (in < 0 || o < 0 || e < 0 || ::dup2(in, 0) < 0 || ::dup2(o, 1) < 0 || ::dup2(e, 2) < 0) ::_exit(127);
    for (const auto& [name, value] : options.Environment) ::setenv(name.c_str(), value.c_str(), 1);
    // As from a terminal, whatever the test runner ignores: the program keeps signals it was
    // started with ignored.
    ::signal(SIGINT, SIG_DFL);
    ::signal(SIGTERM, SIG_DFL);
    if (options.Unprivileged && ::geteuid() == 0 &&
        (::setgroups(0, nullptr) != 0 || ::setgid(Nobody) != 0 || ::setuid(Nobody) != 0))
      ::_exit(127);
    ::execv(argv[0], const_cast<char* const*>(argv.data()));
    ::_exit(127);
  }
}

TBatchProcess::~TBatchProcess() {
  if (!waited_) Wait();
}

TBatchRun TBatchProcess::Wait() {
  waited_ = true;
  TBatchRun run;
  int status = 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds_);
  pid_t ended = 0;
  while (pid_ > 0 && (ended = ::waitpid(pid_, &status, WNOHANG)) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, &status, 0);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  if (ended == pid_ && WIFEXITED(status)) run.Status = WEXITSTATUS(status);
  const auto text = [](const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
  };
  run.Out = text(capture_->out);
  run.Err = text(capture_->err);
  return run;
}

TBatchRun RunBatchWith(const std::vector<std::string>& arguments, const TBatchRunOptions& options) {
  return TBatchProcess(arguments, options).Wait();
}

TBatchRun RunBatch(const std::vector<std::string>& arguments,
                   const std::vector<std::pair<std::string, std::string>>& environment) {
  return RunBatchWith(arguments, TBatchRunOptions{environment});
}
