#pragma once
// What a run tells its user on standard error: a progress line while it works (on a terminal only),
// one line per failure and per kept file, and a summary at the end. Safe to call from several
// threads at once. File names are shown quoted when they hold control characters.
#include <chrono>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

class TBatchReport {
 public:
  // `progress`: draw the progress line (standard error is a terminal and the run is not quiet).
  // `summary`: print the summary at the end, and a line per kept file.
  TBatchReport(std::FILE* err, std::size_t total, bool progress, bool summary);

  void Started(const std::string& input);
  void Written();
  // One line "FILE: kept OUTPUT (it exists)" unless quiet.
  void Kept(const std::string& input, const std::string& output);
  // One line "FILE: message"; the line breaks a message may hold become spaces, and the input's
  // name and `names` are quoted wherever the message holds them.
  void Failed(const std::string& input, const std::string& message, const std::vector<std::string>& names = {});
  void Skipped(std::size_t count);
  // The run found no picture at all: one line saying so and how many entries were skipped, also
  // when quiet, and Finish answers false.
  void NoPictureFound();
  // Ends the progress line and prints the summary. Answers whether nothing failed and a picture was
  // found. Nothing is
  // printed after it.
  bool Finish();
  // Finish for a run stopped by `signal`: the summary says so. Answers false when the run had
  // finished already.
  bool Interrupted(int signal);

 private:
  void DrawProgress();
  void ClearProgress();
  void PrintSummary(const char* ending);

  std::mutex mutex_;
  std::FILE* err_;
  std::size_t total_;
  bool progress_, summary_;
  std::size_t written_ = 0, kept_ = 0, failed_ = 0, skipped_ = 0;
  bool finished_ = false;
  bool nothingFound_ = false;
  std::string current_;
  bool drawn_ = false;
  const std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};
