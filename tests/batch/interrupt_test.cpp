// rufuremina-batch stopped by a real SIGINT or SIGTERM while it writes: no temporary file is left,
// every file it leaves is whole, and the summary counts exactly those files.
#include <signal.h>

#include <chrono>
#include <optional>
#include <thread>

#include "tests/batch/batch_fixture.h"
#include "tests/picture/png/png_test_support.h"

namespace {

using InterruptTest = BatchTest;

// Whether the folder holds a write in progress: the hidden temporary file of the safe write.
bool WriteInProgress(const std::string& folder) {
  std::error_code error;
  for (fs::directory_iterator entry(folder, error), end; !error && entry != end; entry.increment(error))
    if (entry->path().filename().string().starts_with(".")) return true;
  return false;
}

TEST_F(InterruptTest, ASignalStopsTheRunWithoutPartialFiles) {
  const std::string many = dir / "many";
  fs::create_directory(many);
  const auto photo = EncodeJPEG(QuadrantSamples(200, 150, 60, 90));
  for (int i = 0; i < 80; ++i) PutFile(many + "/" + std::to_string(100 + i) + ".jpg", photo);
  for (const int signal : {SIGINT, SIGTERM}) {
    const std::string out = dir / ("out" + std::to_string(signal));
    fs::create_directory(out);
    TBatchProcess batch({"--jobs", "2", "--output-size", "1024x1024", "--output-dir", out, many}, {});
    // The signal comes while a file is being written, the moment a stop could tear one, or, should
    // no write be caught under way, a while after the first file was written.
    const auto start = std::chrono::steady_clock::now();
    std::optional<std::chrono::steady_clock::time_point> firstFile;
    while (!WriteInProgress(out) && std::chrono::steady_clock::now() - start < std::chrono::seconds(100)) {
      if (!firstFile && !fs::is_empty(out)) firstFile = std::chrono::steady_clock::now();
      if (firstFile && std::chrono::steady_clock::now() - *firstFile > std::chrono::seconds(1)) break;
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    ::kill(batch.Pid(), signal);
    const TBatchRun run = batch.Wait();

    EXPECT_EQ(run.Status, 128 + signal) << run.Err;
    const std::string stop = signal == SIGINT ? "SIGINT" : "SIGTERM";
    const std::size_t summary = run.Err.find(" written, 0 kept, 0 skipped, 0 failed, stopped by " + stop + " (");
    ASSERT_NE(summary, std::string::npos) << run.Err;
    std::size_t files = 0;
    for (const auto& entry : fs::directory_iterator(out)) {
      EXPECT_FALSE(entry.path().filename().string().starts_with(".")) << entry.path();
      EXPECT_TRUE(DecodeWithLibpng(FileBytes(entry.path())).Ok) << entry.path();
      ++files;
    }
    EXPECT_EQ(run.Err.substr(0, summary), std::to_string(files)) << run.Err;
    EXPECT_LT(files, 80u);
  }
}

}  // namespace
