#pragma once
// Runs the built rufuremina-batch as a user would, and hands back its exit status and everything it
// printed.
#include <string>
#include <utility>
#include <vector>

struct TBatchRun {
  int Status = -1;  // the exit status; -1 when the program did not exit normally
  std::string Out;  // standard output
  std::string Err;  // standard error
};

// `environment` entries are NAME=VALUE pairs added to the test's own environment; standard input is
// empty and neither output is a terminal.
TBatchRun RunBatch(const std::vector<std::string>& arguments,
                   const std::vector<std::pair<std::string, std::string>>& environment = {});
