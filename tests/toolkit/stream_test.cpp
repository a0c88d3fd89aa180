#include "toolkit/stream.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>

#include "tests/support/temp_dir.h"
#include "toolkit/errors.h"
#include "toolkit/safe_file.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(TMemoryStream, ReadsWritesAndSeeksWithinAndPastItsEnd) {
  TMemoryStream stream(Bytes{1, 2, 3, 4, 5});
  std::uint8_t buffer[8] = {};
  EXPECT_EQ(stream.Read(buffer, 3), 3u);
  EXPECT_EQ(stream.Remaining(), 2);
  EXPECT_EQ(stream.Read(buffer, 8), 2u);  // a short read says how much it got
  EXPECT_EQ(buffer[1], 5);
  EXPECT_EQ(stream.Read(buffer, 8), 0u);

  stream.SetPosition(4);
  try {
    stream.ReadBuffer(buffer, 2);
    ADD_FAILURE() << "a short ReadBuffer passed";
  } catch (const EReadError& e) {
    EXPECT_STREQ(e.what(), "ストリームからの読み込みエラー");
  }

  // Writing past the end fills the gap with zeros; seeking before the start or beyond any
  // position is refused.
  stream.Seek(2, TSeekOrigin::soEnd);
  stream.WriteBuffer("\x09", 1);
  EXPECT_EQ(stream.Data(), (Bytes{1, 2, 3, 4, 5, 0, 0, 9}));
  EXPECT_EQ(stream.Remaining(), 0);
  EXPECT_THROW(stream.Seek(-1, TSeekOrigin::soBeginning), EReadError);
  EXPECT_THROW(stream.Seek(INT64_MAX, TSeekOrigin::soEnd), EReadError);
  EXPECT_EQ(stream.Position(), 8);
}

TEST(TFileStream, ReportsFilesThatCannotBeOpenedOrCreatedByName) {
  TempDir dir;
  const std::string missing = dir / "missing.bmp";
  try {
    TFileStream stream(missing, TFileStream::fmOpenRead);
    ADD_FAILURE() << "a missing file opened";
  } catch (const EFOpenError& e) {
    EXPECT_EQ(e.Message(), "ファイル " + missing + " は開けません");
  }
  EXPECT_THROW(TFileStream(dir.Path().string(), TFileStream::fmOpenRead), EFOpenError);  // a folder
  try {
    TFileStream stream(dir / "no/such/folder.bmp", TFileStream::fmCreate);
    ADD_FAILURE() << "a file in a missing folder was created";
  } catch (const EFCreateError& e) {
    EXPECT_EQ(e.Message(), "ファイル " + dir / "no/such/folder.bmp" + " を作成できません");
  }
}

TEST(WriteFileSafely, ReplacesTheTargetOnlyWhenEverythingWasWritten) {
  TempDir dir;
  const std::string target = dir / "picture.bmp";
  PutFile(target, Bytes{7, 7, 7});
  ::chmod(target.c_str(), 0640);

  EXPECT_THROW(WriteFileSafely(target,
                               [](TStream& s) {
                                 s.WriteBuffer("half", 4);
                                 throw EWriteError(SWriteError);
                               }),
               EWriteError);
  EXPECT_EQ(FileBytes(target), (Bytes{7, 7, 7}));
  EXPECT_EQ(dir.Names(), std::vector<std::string>{"picture.bmp"});  // no temporary file left

  WriteFileSafely(target, [](TStream& s) { s.WriteBuffer("new", 3); });
  EXPECT_EQ(FileBytes(target), (Bytes{'n', 'e', 'w'}));
  struct stat st {};
  ASSERT_EQ(::stat(target.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);  // the replaced file's permissions carry over
  EXPECT_EQ(dir.Names(), std::vector<std::string>{"picture.bmp"});

  // A name as long as the file system allows still gets its temporary file.
  const std::string longName = dir / std::string(250, 'n');
  WriteFileSafely(longName, [](TStream& s) { s.WriteBuffer("x", 1); });
  EXPECT_EQ(FileBytes(longName), Bytes{'x'});

  std::filesystem::create_directory(dir / "folder");
  try {
    WriteFileSafely(dir / "folder", [](TStream&) {});
    ADD_FAILURE() << "a folder was replaced";
  } catch (const EFCreateError& e) {
    EXPECT_EQ(e.Message(), "ファイル " + dir / "folder" + " を作成できません");
  }
  EXPECT_THROW(WriteFileSafely(dir / "missing/x.bmp", [](TStream&) {}), EFCreateError);
  EXPECT_TRUE(std::filesystem::is_directory(dir / "folder"));
}

TEST(WriteFileSafely, KeepingExistingFilesWritesNewNamesOnly) {
  TempDir dir;
  const std::string target = dir / "picture.png";
  WriteFileSafely(target, [](TStream& s) { s.WriteBuffer("one", 3); }, TExistingFile::Keep);
  EXPECT_EQ(FileBytes(target), (Bytes{'o', 'n', 'e'}));
  try {
    WriteFileSafely(target, [](TStream& s) { s.WriteBuffer("two", 3); }, TExistingFile::Keep);
    ADD_FAILURE() << "an existing file was replaced";
  } catch (const EFileExists& e) {
    EXPECT_EQ(e.Message(), "ファイル " + target + " は既に存在します");
  }
  EXPECT_EQ(FileBytes(target), (Bytes{'o', 'n', 'e'}));
  EXPECT_EQ(dir.Names(), std::vector<std::string>{"picture.png"});  // no temporary file left
}

// A program being stopped abandons its writes: the write under way loses its temporary file and
// fails, files written before stay whole, and no later write takes a name. For good, so it runs in
// a child process of its own.
TEST(WriteFileSafely, AbandonedWritesLeaveNoTemporaryFileAndNameNoFile) {
  TempDir dir;
  const std::string done = dir / "done.png", during = dir / "during.png", after = dir / "after.png";
  // The worker pool may have started threads: the child starts the test program afresh. Under a
  // user-mode emulator (a cross build's tests) the kernel cannot start it, and the child only forks.
  GTEST_FLAG_SET(death_test_style, std::getenv("RFL_TESTS_EMULATED") ? "fast" : "threadsafe");
  EXPECT_EXIT(
      {
        int named = 0;
        WriteFileSafely(done, [](TStream& s) { s.WriteBuffer("one", 3); }, TExistingFile::Keep, [&] { ++named; });
        bool failed = false;
        try {
          WriteFileSafely(during, [](TStream& s) {
            s.WriteBuffer("half", 4);
            AbandonWrites();
            s.WriteBuffer("rest", 4);
          });
        } catch (const EFCreateError&) {
          failed = true;
        }
        try {
          WriteFileSafely(after, [](TStream&) {});
        } catch (const EFCreateError&) {
          std::_Exit(failed && named == 1 && dir.Names() == std::vector<std::string>{"done.png"} ? 0 : 1);
        }
        std::_Exit(2);
      },
      testing::ExitedWithCode(0), "");
}

TEST(WriteFileSafely, ReplacingDropsSetuidSetgidAndSticky) {
  TempDir dir;
  const std::string target = dir / "picture.bmp";
  for (const mode_t mode : {04755u, 02750u, 01777u}) {
    PutFile(target, Bytes{7});
    ASSERT_EQ(::chmod(target.c_str(), mode), 0);
    WriteFileSafely(target, [](TStream& s) { s.WriteBuffer("new", 3); });
    struct stat st {};
    ASSERT_EQ(::stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, mode & 0777) << std::oct << mode;
  }
}

}  // namespace
