// Runs that write into the same folder at once, and a run killed while it writes: every file there
// is whole, nothing half-written or hidden is left, and a file that another run wrote counts as kept.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <regex>
#include <thread>

#include "tests/batch/batch_fixture.h"
#include "tests/picture/png/png_test_support.h"
#include "toolkit/compat.h"

namespace {

using SharedFolderTest = BatchTest;

// The counts of a run's summary line: written, kept, failed.
struct TSummary {
  int Written = -1, Kept = -1, Failed = -1;
};
TSummary SummaryOf(const std::string& err) {
  std::smatch match;
  TSummary summary;
  if (std::regex_search(err, match, std::regex(R"((\d+) written, (\d+) kept, \d+ skipped, (\d+) failed)")))
    summary = {std::stoi(match[1]), std::stoi(match[2]), std::stoi(match[3])};
  return summary;
}

// Whether process `pid` has a file open in `folder` that has no name there: a write under way.
bool WritesUnnamedFileIn(pid_t pid, const std::string& folder) {
  std::error_code error;
  const std::string fds = "/proc/" + std::to_string(pid) + "/fd";
  for (fs::directory_iterator entry(fds, error), end; !error && entry != end; entry.increment(error)) {
    const std::string target = fs::read_symlink(entry->path(), error).string();
    if (!error && target.starts_with(folder + "/#") && target.ends_with(" (deleted)")) return true;
  }
  return false;
}

}  // namespace

TEST_F(SharedFolderTest, TwoRunsIntoOneFolderBothSucceedWithEveryFileWhole) {
  const std::string many = dir / "many", out = dir / "out";
  fs::create_directory(many);
  for (int i = 0; i < 40; ++i)
    PutFile(many + "/" + std::to_string(100 + i) + ".jpg", EncodeJPEG(QuadrantSamples(48 + i, 40, 20, 10)));
  const std::vector<std::string> arguments = {"--output-size", "48x48", "--output-dir", out, many};
  TBatchProcess first(arguments, {}), second(arguments, {});
  const TBatchRun one = first.Wait(), two = second.Wait();
  EXPECT_EQ(one.Status, 0) << one.Err;
  EXPECT_EQ(two.Status, 0) << two.Err;
  const TSummary a = SummaryOf(one.Err), b = SummaryOf(two.Err);
  EXPECT_EQ(a.Written + a.Kept, 40) << one.Err;
  EXPECT_EQ(b.Written + b.Kept, 40) << two.Err;
  EXPECT_EQ(a.Written + b.Written, 40) << "each file written once\n" << one.Err << two.Err;
  std::size_t files = 0;
  for (const auto& entry : fs::directory_iterator(out)) {
    EXPECT_FALSE(entry.path().filename().string().starts_with(".")) << entry.path();
    EXPECT_TRUE(DecodeWithLibpng(FileBytes(entry.path())).Ok) << entry.path();
    ++files;
  }
  EXPECT_EQ(files, 40u);

  // Under -o the user named the file: one that appears is a failure, as it always was.
  const TBatchRun named = RunBatch({"-o", out + "/100.png", many + "/100.jpg"});
  EXPECT_EQ(named.Status, 1) << named.Err;
}

TEST_F(SharedFolderTest, ARunKilledWhileWritingLeavesNoFile) {
  const std::string out = dir / "out";
  fs::create_directory(out);
  const int probe = compat::OpenUnnamedFile(out.c_str(), 0600);
  if (probe < 0) GTEST_SKIP() << "no unnamed files on this file system: a killed run leaves its hidden temporary file";
  ::close(probe);
  PutFile(dir / "big.jpg", EncodeJPEG(QuadrantSamples(640, 480, 300, 200)));
  TBatchProcess batch({"--output-size", "4096x4096", "--format", "bmp24", "--output-dir", out, dir / "big.jpg"}, {});
  const auto start = std::chrono::steady_clock::now();
  bool caught = false;
  while (!(caught = WritesUnnamedFileIn(batch.Pid(), out)) && std::chrono::steady_clock::now() - start < std::chrono::seconds(300))
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  ::kill(batch.Pid(), SIGKILL);
  batch.Wait();
  EXPECT_TRUE(caught) << "the write under way was not seen";
  for (const auto& entry : fs::directory_iterator(out)) ADD_FAILURE() << "left behind: " << entry.path();
}
