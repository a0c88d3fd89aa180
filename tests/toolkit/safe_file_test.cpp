// Writes that fail say which file and why; the named temporary files that killed runs left where
// the file system has no unnamed files are cleared only when they are old and nobody has them open.
#include "toolkit/safe_file.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>
#include <filesystem>

#include "tests/support/temp_dir.h"
#include "toolkit/errors.h"

namespace {

// The message of a write of `bytes` bytes into `fileName` under a file-size limit of `limit`
// bytes, made in a child process so that the limit binds no other test.
std::string MessageUnderSizeLimit(const std::string& fileName, rlim_t limit, std::size_t bytes) {
  int pipeEnds[2];
  if (::pipe(pipeEnds) != 0) return "no pipe";
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(pipeEnds[0]);
    std::signal(SIGXFSZ, SIG_IGN);  // the write fails with EFBIG instead of ending the process
    const rlimit sizeLimit{limit, limit};
    ::setrlimit(RLIMIT_FSIZE, &sizeLimit);
    std::string message = "written";
    try {
      WriteFileSafely(fileName, [&](TStream& s) {
        const std::vector<std::uint8_t> block(bytes, 0x5A);
        s.WriteBuffer(block.data(), block.size());
      });
    } catch (const Exception& e) {
      message = e.Message();
    }
    (void)!::write(pipeEnds[1], message.data(), message.size());
    std::_Exit(0);
  }
  ::close(pipeEnds[1]);
  std::string message;
  char piece[256];
  for (ssize_t got; (got = ::read(pipeEnds[0], piece, sizeof piece)) > 0;) message.append(piece, std::size_t(got));
  ::close(pipeEnds[0]);
  int status = 0;
  ::waitpid(child, &status, 0);
  return message;
}

}  // namespace

TEST(WriteFailures, NameTheOutputFileAndAFullDisk) {
  TempDir dir;
  const std::string target = dir / "out.png";
  EXPECT_EQ(MessageUnderSizeLimit(target, 4096, 1 << 20), "ファイル " + target + " に書き込めません");
  EXPECT_EQ(dir.Names(), std::vector<std::string>{}) << "nothing left of the failed write";
  EXPECT_EQ(MessageUnderSizeLimit(target, 4096, 100), "written");

  const struct {
    int error;
    std::string message;
  } cases[] = {
      {ENOSPC, "ファイル a/b.bmp に書き込めません: ディスクの空き容量が足りません"},
      {EDQUOT, "ファイル a/b.bmp に書き込めません: ディスクの空き容量が足りません"},
      {EIO, "ファイル a/b.bmp に書き込めません"},
      {EFBIG, "ファイル a/b.bmp に書き込めません"},
  };
  for (const auto& c : cases) EXPECT_EQ(WriteFailureMessage("a/b.bmp", c.error), c.message) << c.error;
}

// Only what a killed run of ours left: our pattern, a plain file of this user, older than a day,
// and not open in a writer (which holds its lock on it).
TEST(WriteFileSafely, StaleTemporaryFilesAreRemovedOnlyWhenOldAndUnused) {
  TempDir dir;
  const std::time_t now = std::time(nullptr);
  const std::time_t old = now - 2 * 24 * 60 * 60;
  const struct {
    const char* name;
    std::time_t changed;
    bool locked;
    bool removed;
  } cases[] = {
      {".a.bmp.tmpAbc123", old, false, true},
      {".photo 1.png.tmpZZZZZZ", old, false, true},
      {".a.bmp.tmpAbc124", now - 3600, false, false},  // a run may be writing it
      {".a.bmp.tmpAbc125", old, true, false},          // a writer has it open
      {".a.bmp.tmpAbc12", old, false, false},          // not our pattern
      {"a.bmp.tmpAbc126", old, false, false},
      {".a.bmp.tmpAb-126", old, false, false},
      {".a.bmp.tmp.Abc127", old, false, false},
  };
  std::vector<int> locks;
  for (const auto& c : cases) {
    PutFile(dir / c.name, {1, 2, 3});
    const timespec times[2] = {{c.changed, 0}, {c.changed, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, (dir / c.name).c_str(), times, 0), 0);
    if (c.locked) {
      const int fd = ::open((dir / c.name).c_str(), O_RDONLY | O_CLOEXEC);
      ASSERT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
      locks.push_back(fd);
    }
  }
  std::filesystem::create_directory(dir / ".folder.tmpAbc128");
  const std::string folder = dir.Path().string() + "/";
  EXPECT_EQ(RemoveStaleTemporaries(folder, now), 2u);
  for (const auto& c : cases) EXPECT_EQ(!std::filesystem::exists(dir / c.name), c.removed) << c.name;
  EXPECT_TRUE(std::filesystem::is_directory(dir / ".folder.tmpAbc128"));
  for (const int fd : locks) ::close(fd);
}
