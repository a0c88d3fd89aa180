#pragma once
// Runs the built rufuremina-batch as a user would, and hands back its exit status and everything it
// printed.
#include <sys/types.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

struct TBatchRun {
  int Status = -1;  // the exit status; -1 when the program did not exit normally
  std::string Out;  // standard output
  std::string Err;  // standard error
};

struct TBatchRunOptions {
  // NAME=VALUE pairs added to the test's own environment.
  std::vector<std::pair<std::string, std::string>> Environment;
  // Run as the user nobody when the tests run as root, who could read any folder.
  bool Unprivileged = false;
  // Seconds until a run that has not ended is killed (its status is then -1).
  int TimeoutSeconds = 120;
};

// A run under way.
class TBatchProcess {
 public:
  TBatchProcess(const std::vector<std::string>& arguments, const TBatchRunOptions& options);
  ~TBatchProcess();
  TBatchProcess(const TBatchProcess&) = delete;
  TBatchProcess& operator=(const TBatchProcess&) = delete;

  pid_t Pid() const { return pid_; }
  // Waits for the end (or the timeout) and collects what it printed.
  TBatchRun Wait();

 private:
  struct TCapture;
  std::unique_ptr<TCapture> capture_;
  pid_t pid_ = -1;
  int timeoutSeconds_;
  bool waited_ = false;
};

// Standard input is empty and neither output is a terminal.
TBatchRun RunBatchWith(const std::vector<std::string>& arguments, const TBatchRunOptions& options);
TBatchRun RunBatch(const std::vector<std::string>& arguments,
                   const std::vector<std::pair<std::string, std::string>>& environment = {});
