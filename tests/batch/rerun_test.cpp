// rufuremina-batch run again over the same folders, as after an interrupt, and asked for larger
// outputs than the window makes.
#include "picture/bmp_file.h"
#include "tests/batch/batch_fixture.h"
#include "tests/picture/png/png_test_support.h"

namespace {

using RerunTest = BatchTest;

// Under --output-dir what an earlier run wrote is kept and said to be kept; the run succeeds.
TEST_F(RerunTest, ARerunKeepsWhatIsThereAndSucceeds) {
  fs::remove(photos + "/damaged.jpg");
  const std::string out = dir / "out";
  ASSERT_EQ(RunBatch({"--output-dir", out, photos + "/b.bmp"}).Status, 0);
  const auto first = FileBytes(out + "/b.png");
  const TBatchRun again = RunBatch({"--output-dir", out, photos});
  EXPECT_EQ(again.Status, 0) << again.Err;
  EXPECT_TRUE(again.Err.starts_with(photos + "/b.bmp: kept " + out + "/b.png (it exists)\n1 written, 1 kept, 1 skipped, 0 failed ("))
      << again.Err;
  EXPECT_EQ(FileBytes(out + "/b.png"), first);
  EXPECT_TRUE(fs::exists(out + "/a.png"));

  const TBatchRun quiet = RunBatch({"-q", "--output-dir", out, photos});
  EXPECT_EQ(quiet.Status, 0);
  EXPECT_EQ(quiet.Err, "");
  // With --overwrite everything is written again.
  const TBatchRun replaced = RunBatch({"--overwrite", "--output-dir", out, photos});
  EXPECT_TRUE(replaced.Err.starts_with("2 written, 0 kept, 1 skipped, 0 failed (")) << replaced.Err;
}

// -o names its file: its extension gives the format, and a folder is made only for a file written.
TEST_F(RerunTest, TheOutputNameGivesTheFormatAndFoldersAreMadeOnlyWhenWritten) {
  const TBatchRun bmp = RunBatch({"-o", dir / "new/shot.BMP", photos + "/b.bmp"});
  ASSERT_EQ(bmp.Status, 0) << bmp.Err;
  TBitmap written;
  ReadBitmapFile(dir / "new/shot.BMP", written);
  EXPECT_EQ(written.PixelFormat(), pf24bit);
  const TBatchRun bmp32 = RunBatch({"--format", "bmp32", "-o", dir / "shot32.bmp", photos + "/b.bmp"});
  ASSERT_EQ(bmp32.Status, 0) << bmp32.Err;
  ReadBitmapFile(dir / "shot32.bmp", written);
  EXPECT_EQ(written.PixelFormat(), pf32bit);
  ASSERT_EQ(RunBatch({"-o", dir / "shot.png", photos + "/b.bmp"}).Status, 0);
  EXPECT_TRUE(DecodeWithLibpng(FileBytes(dir / "shot.png")).Ok);

  const TBatchRun missing = RunBatch({"--output-dir", dir / "nothing/here", dir / "missing.jpg", photos + "/damaged.jpg"});
  EXPECT_EQ(missing.Status, 1);
  EXPECT_FALSE(fs::exists(dir / "nothing"));
}

// The banded final rendering makes outputs far beyond the window's 512 x 512; their bytes are
// compared with the plain path in the renderer's tests.
TEST_F(RerunTest, OutputsUpTo4096PixelsASide) {
  const TBatchRun run = RunBatch({"--output-size", "1500x40", "--format", "bmp32", "-o", dir / "wide.bmp", photos + "/a.JPG"});
  ASSERT_EQ(run.Status, 0) << run.Err;
  TBitmap written;
  ReadBitmapFile(dir / "wide.bmp", written);
  EXPECT_EQ(written.Width(), 1500);
  EXPECT_EQ(written.Height(), 40);
}

}  // namespace
