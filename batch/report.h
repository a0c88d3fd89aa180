#pragma once
// What a run tells its user on standard error: a progress line while it works (on a terminal only),
// one line per failure, and a summary at the end. Safe to call from several threads at once.
#include <chrono>
#include <cstdio>
#include <mutex>
#include <string>

class TBatchReport {
 public:
  // `progress`: draw the progress line (standard error is a terminal and the run is not quiet).
  // `summary`: print the summary at the end.
  TBatchReport(std::FILE* err, std::size_t total, bool progress, bool summary);

  void Started(const std::string& input);
  void Written();
  // One line "FILE: message"; the line breaks a message may hold become spaces.
  void Failed(const std::string& input, const std::string& message);
  void Skipped(std::size_t count);
  // Ends the progress line and prints the summary. Answers whether nothing failed.
  bool Finish();

 private:
  void DrawProgress();
  void ClearProgress();

  std::mutex mutex_;
  std::FILE* err_;
  std::size_t total_;
  bool progress_, summary_;
  std::size_t written_ = 0, failed_ = 0, skipped_ = 0;
  std::string current_;
  bool drawn_ = false;
  const std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};
