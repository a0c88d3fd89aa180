// rufuremina-batch on a hostile file system and hostile pictures: files that are no files, folders
// that cannot be read, names that would drive the terminal, pictures that declare more memory than
// the run may take, and files replaced with --overwrite.
#include <sys/stat.h>
#include <unistd.h>

#include "tests/batch/batch_fixture.h"

namespace {

using HostileInputTest = BatchTest;

// A FIFO read as a picture would wait for a writer for ever; a device would be read without end.
TEST_F(HostileInputTest, OnlyRegularFilesAreReadAsPictures) {
  const std::string fifo = dir / "x.jpg";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  ASSERT_EQ(::mkfifo((photos + "/pipe.jpg").c_str(), 0600), 0);
  fs::create_symlink("/dev/zero", photos + "/zero.bmp");
  fs::create_directory(photos + "/folder.jpg");
  fs::remove(photos + "/damaged.jpg");
  TBatchRunOptions options;
  options.TimeoutSeconds = 60;
  const TBatchRun run = RunBatchWith({"--output-dir", dir / "out", fifo, photos, "/dev/null"}, options);
  EXPECT_EQ(run.Status, 1) << run.Err;
  EXPECT_NE(run.Err.find(fifo + ": not a file but a FIFO: only files are read as pictures\n"), std::string::npos)
      << run.Err;
  EXPECT_NE(run.Err.find("/dev/null: not a file but a character device"), std::string::npos) << run.Err;
  // notes.txt, the FIFO, the link to a device and the folder: all skipped and counted.
  EXPECT_NE(run.Err.find("2 written, 0 kept, 4 skipped, 2 failed ("), std::string::npos) << run.Err;
  EXPECT_EQ(Snapshot(dir / "out").size(), 2u);
}

// Root reads every folder, so the run is made as nobody when the tests run as root.
TEST_F(HostileInputTest, AFolderThatCannotBeReadFailsAloneAndTheOthersAreRendered) {
  fs::permissions(dir.Path(), fs::perms::all);
  fs::permissions(photos, fs::perms::all);
  fs::create_directories(photos + "/2024/locked");
  fs::create_directories(photos + "/2025");
  fs::copy_file(photos + "/b.bmp", photos + "/2024/locked/c.bmp");
  fs::copy_file(photos + "/b.bmp", photos + "/2025/d.bmp");
  fs::create_directories(dir / "shut");
  fs::copy_file(photos + "/b.bmp", dir / "shut/e.bmp");
  fs::remove(photos + "/damaged.jpg");
  for (const std::string folder : {photos + "/2024/locked", dir / "shut"}) fs::permissions(folder, fs::perms::none);
  const std::string out = dir / "out";
  fs::create_directory(out);
  fs::permissions(out, fs::perms::all);
  TBatchRunOptions options;
  options.Unprivileged = true;
  const TBatchRun run = RunBatchWith({"-r", "--output-dir", out, photos, dir / "shut"}, options);
  for (const std::string folder : {photos + "/2024/locked", dir / "shut"}) fs::permissions(folder, fs::perms::owner_all);
  EXPECT_EQ(run.Status, 1) << run.Err;
  EXPECT_NE(run.Err.find(photos + "/2024/locked: folder cannot be read: Permission denied\n"), std::string::npos)
      << run.Err;
  EXPECT_NE(run.Err.find(dir / "shut: folder cannot be read: Permission denied\n"), std::string::npos) << run.Err;
  EXPECT_NE(run.Err.find("3 written, 0 kept, 1 skipped, 2 failed ("), std::string::npos) << run.Err;
  EXPECT_TRUE(fs::exists(out + "/2025/d.png"));
  EXPECT_TRUE(fs::exists(out + "/a.png"));
}

// Escape sequences in a name reach the terminal only quoted, as ls quotes them; the name's line
// breaks and any other control byte too.
TEST_F(HostileInputTest, ControlCharactersInNamesAreQuotedInEveryMessage) {
  const std::string evil = photos + "/\x1b]0;owned\x07\x1b[2J'x\n.jpg";
  PutFile(evil, {0xFF, 0xD8, 0xFF, 0xE0, 'n', 'o'});
  fs::create_directory(dir / "out");
  PutFile(dir / "out/\x1b[31mred.png", {'o', 'l', 'd'});
  PutFile(photos + "/\x1b[31mred.bmp", BmpBuilder().Bytes());
  // A right-to-left override and a first-strong isolate would reorder the rest of the line.
  PutFile(photos + "/\xE2\x80\xAEgnp.bmp", {'B', 'M'});
  PutFile(photos + "/x\xE2\x81\xA8y.bmp", {'B', 'M'});
  const TBatchRun run = RunBatch({"--output-dir", dir / "out", photos, dir / "missing\x9b" "1m.jpg"});
  EXPECT_EQ(run.Err.find('\x1b'), std::string::npos) << run.Err;
  EXPECT_EQ(run.Err.find('\x07'), std::string::npos) << run.Err;
  EXPECT_EQ(run.Err.find("\xE2\x80\xAE"), std::string::npos) << run.Err;
  EXPECT_EQ(run.Err.find("\xE2\x81\xA8"), std::string::npos) << run.Err;
  EXPECT_NE(run.Err.find("'" + photos + "/'$'\\342\\200\\256''gnp.bmp': "), std::string::npos) << run.Err;
  EXPECT_NE(run.Err.find("'" + photos + "/x'$'\\342\\201\\250''y.bmp': "), std::string::npos) << run.Err;
  EXPECT_NE(run.Err.find("'" + photos + "/'$'\\033'']0;owned'$'\\a\\033''[2J'\\''x'$'\\n''.jpg': JPEG エラー"),
            std::string::npos)
      << run.Err;
  EXPECT_NE(run.Err.find("'" + photos + "/'$'\\033''[31mred.bmp': kept '" + dir / "out/'$'\\033''[31mred.png'"),
            std::string::npos)
      << run.Err;
  EXPECT_NE(run.Err.find("'" + dir / "missing'$'\\233''1m.jpg': ファイル '" + dir / "missing'$'\\233''1m.jpg' は開けません"),
            std::string::npos)
      << run.Err;

  const TBatchRun usage = RunBatch({"-o", dir / "x\x1b[1m.gif", photos + "/b.bmp"});
  EXPECT_EQ(usage.Status, 2);
  EXPECT_NE(usage.Err.find("-o '" + dir / "x'$'\\033''[1m.gif': name a .png"), std::string::npos) << usage.Err;
}

TEST_F(HostileInputTest, OverwriteKeepsThePermissionBitsButNotSetuidSetgidOrSticky) {
  const struct {
    mode_t before, after;
  } cases[] = {{04755, 0755}, {02640, 0640}, {01777, 0777}, {0600, 0600}};
  for (const auto& c : cases) {
    const std::string target = dir / "shot.png";
    PutFile(target, {'o', 'l', 'd'});
    ASSERT_EQ(::chmod(target.c_str(), c.before), 0);
    const TBatchRun run = RunBatch({"--overwrite", "-o", target, photos + "/b.bmp"});
    ASSERT_EQ(run.Status, 0) << run.Err;
    struct stat st {};
    ASSERT_EQ(::stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, c.after) << std::oct << c.before;
    EXPECT_NE(FileBytes(target).size(), 3u);
  }
}

// A 24-bit BMP header declaring a picture of `side` x `side` pixels, with no pixels behind it.
std::vector<std::uint8_t> DeclaredBitmap(int side) {
  BmpBuilder bomb;
  bomb.width = bomb.height = side;
  return bomb.Bytes();
}

// Pictures wait for their share of the memory budget instead of being decoded all at once; one
// that alone declares more than the budget fails with a message that says so, before it is read.
TEST_F(HostileInputTest, PicturesAreDecodedWithinTheMemoryBudget) {
  const std::string many = dir / "many";
  fs::create_directory(many);
  for (const char* name : {"1.jpg", "2.jpg", "3.jpg", "4.jpg", "5.jpg", "6.jpg"})
    PutFile(many + "/" + name, EncodeJPEG(QuadrantSamples(300, 300, 100, 200), 90, true));
  PutFile(many + "/bomb.bmp", DeclaredBitmap(2048));  // 16 MiB of pixels
  // Each photo declares 0.34 MiB of pixels and, being progressive, 0.3 to 0.5 MiB of coefficients:
  // one at a time fits.
  const TBatchRun run = RunBatch({"--jobs", "4", "--memory", "1M", "--output-dir", dir / "out", many});
  EXPECT_EQ(run.Status, 1) << run.Err;
  EXPECT_NE(run.Err.find(many + "/bomb.bmp: its header says decoding needs 16.0 MiB, more than the memory "
                                "budget of 1.0 MiB (see --memory)\n"),
            std::string::npos)
      << run.Err;
  EXPECT_NE(run.Err.find("6 written, 0 kept, 0 skipped, 1 failed ("), std::string::npos) << run.Err;
  // A photo that alone needs more than the budget can never be decoded.
  const TBatchRun small = RunBatch({"--memory", "512K", "-o", dir / "one.png", many + "/1.jpg"});
  EXPECT_EQ(small.Status, 1);
  EXPECT_NE(small.Err.find("more than the memory budget of 0.5 MiB"), std::string::npos) << small.Err;
}

}  // namespace
