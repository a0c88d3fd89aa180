// rufuremina-batch run as a user runs it, on pictures the tests make: what it writes, what it says,
// its exit status, and what it must leave alone.
#include <gtest/gtest.h>

#include "picture/bmp_file.h"
#include "tests/batch/batch_fixture.h"
#include "tests/picture/png/png_test_support.h"
#include "tests/support/cutout_files.h"

namespace {

TEST_F(BatchTest, HelpAndVersionPrintAndExitZero) {
  const TBatchRun version = RunBatch({"--version"});
  EXPECT_EQ(version.Status, 0);
  EXPECT_EQ(version.Out, "rufuremina-batch 1.06\n");

  const TBatchRun help = RunBatch({"--help"});
  EXPECT_EQ(help.Status, 0);
  for (const char* text : {"--picture-size", "大きさ", "1..10 (default 3)", "--camera-height", "位置", "-5..5 (default 0)",
                           "--tilt", "傾き", "--opacity", "不透明度", "0..10 (default 8)", "--length", "長さ",
                           "0..10 (default 7)", "--distance", "距離", "--uniform", "グラデーション", "--output-size",
                           "32..4096 (default 256x256)", "reaches 32..512", "--format", "bmp24", "--output-dir",
                           "--recursive", "--overwrite", "--jobs", "--memory", "--quiet", "130, 143", "SOURCE_DATE_EPOCH", "Exit status:",
                           "no picture found (N skipped)", ".heic, .heif and .avif files", "IMG_1.heic.png"})
    EXPECT_NE(help.Out.find(text), std::string::npos) << text;
}

// Each of these is refused with status 2 and a message naming what is wrong, and leaves the disk as
// it was: no output folder, no file.
TEST_F(BatchTest, UsageErrorsExitTwoAndChangeNothing) {
  fs::create_directory(dir / "twin");
  PutFile(dir / "twin/b.bmp", BmpBuilder().Bytes());
  const auto before = Snapshot(dir.Path());
  const std::string out = dir / "out";
  const struct {
    std::vector<std::string> arguments;
    std::string message;
  } cases[] = {
      {{"--picture-size", "11", "--output-dir", out, photos}, "--picture-size: must be a whole number in 1..10, not '11'"},
      {{"--tilt", "x", "--output-dir", out, photos}, "--tilt: must be a whole number in -5..5"},
      {{"--output-size", "4097x200", "--output-dir", out, photos}, "--output-size: must be WIDTHxHEIGHT with each side in 32..4096"},
      {{"--output-size", "600x31", "--output-dir", out, photos}, "--output-size"},
      {{"--memory", "0", "--output-dir", out, photos}, "--memory: must be a size such as 512M or 4G"},
      {{"--format", "gif", "--output-dir", out, photos}, "--format"},
      {{"--frobnicate", "--output-dir", out, photos}, "--frobnicate"},
      {{photos + "/b.bmp"}, "give exactly one of -o FILE and --output-dir FOLDER"},
      {{"-o", dir / "x.png", "--output-dir", out, photos + "/b.bmp"}, "give exactly one of"},
      {{"-o", dir / "x.png", photos + "/b.bmp", photos + "/a.JPG"}, "-o writes one file"},
      {{"-o", dir / "x.png", photos}, "is a folder"},
      {{"-o", dir / "x.gif", photos + "/b.bmp"}, "name a .png or .bmp file, or give --format"},
      {{"--format", "png", "-o", dir / "x.bmp", photos + "/b.bmp"}, "a png file must be named *.png"},
      {{"--format", "bmp32", "-o", dir / "x.png", photos + "/b.bmp"}, "a bmp32 file must be named *.bmp"},
      // The same name in two folders writes one file even with the extension kept.
      {{"--output-dir", out, photos + "/b.bmp", dir / "twin/b.bmp"},
       photos + "/b.bmp and " + dir / "twin/b.bmp would both write " + out + "/b.bmp.png"},
      {{"--format", "bmp24", "-o", photos + "/b.bmp", photos + "/b.bmp"}, "which is an input picture"},
  };
  for (const auto& c : cases) {
    const TBatchRun run = RunBatch(c.arguments);
    EXPECT_EQ(run.Status, 2) << c.message;
    EXPECT_NE(run.Err.find(c.message), std::string::npos) << run.Err;
  }
  const TBatchRun badEpoch = RunBatch({"-o", dir / "x.png", photos + "/b.bmp"}, {{"SOURCE_DATE_EPOCH", "yesterday"}});
  EXPECT_EQ(badEpoch.Status, 2);
  EXPECT_NE(badEpoch.Err.find("SOURCE_DATE_EPOCH"), std::string::npos);
  EXPECT_EQ(Snapshot(dir.Path()), before);
}

// A damaged picture and a file of another kind fail on their own line; every other picture is
// written, the folder's other files are skipped, and the status says that something failed.
TEST_F(BatchTest, EachFailureIsReportedAndTheOthersAreWritten) {
  const std::string out = dir / "out";
  const TBatchRun run = RunBatch({"--output-dir", out, photos, dir / "pic.gif"});
  EXPECT_EQ(run.Status, 1);
  EXPECT_EQ(run.Out, "");
  EXPECT_EQ(run.Err, dir / "pic.gif: 読み込めるのはBMP、JPEG、PNG、WebP、HEIC、AVIFファイルです。 pic.gif は読み込めません。\n" +
                         photos + "/damaged.jpg: JPEG エラー #51\n" + "2 written, 0 kept, 1 skipped, 2 failed (" +
                         run.Err.substr(run.Err.rfind('(') + 1));
  EXPECT_EQ(Snapshot(out).size(), 2u);
  const DecodedPng a = DecodeWithLibpng(FileBytes(out + "/a.png"));
  ASSERT_TRUE(a.Ok);
  EXPECT_EQ(a.Width, 256);
  EXPECT_EQ(a.ColorType, 6);  // RGBA
  EXPECT_TRUE(fs::exists(out + "/b.png"));

  // Quiet: the failures still, the summary no more.
  const TBatchRun quiet = RunBatch({"-q", "--overwrite", "-o", dir / "one.png", photos + "/damaged.jpg"});
  EXPECT_EQ(quiet.Status, 1);
  EXPECT_EQ(quiet.Err, photos + "/damaged.jpg: JPEG エラー #51\n");
}

TEST_F(BatchTest, ExistingFilesAreReplacedOnlyWithOverwrite) {
  const std::string target = dir / "a.bmp";
  PutFile(target, {'o', 'l', 'd'});
  const TBatchRun kept = RunBatch({"--format", "bmp24", "-o", target, photos + "/a.JPG"});
  EXPECT_EQ(kept.Status, 1);
  EXPECT_NE(kept.Err.find(photos + "/a.JPG: ファイル " + target + " は既に存在します"), std::string::npos) << kept.Err;
  EXPECT_EQ(FileBytes(target), (std::vector<std::uint8_t>{'o', 'l', 'd'}));

  const TBatchRun replaced = RunBatch({"--format", "bmp24", "--overwrite", "-o", target, photos + "/a.JPG"});
  EXPECT_EQ(replaced.Status, 0) << replaced.Err;
  TBitmap written;
  ReadBitmapFile(target, written);
  EXPECT_EQ(written.PixelFormat(), pf24bit);
  EXPECT_EQ(written.Width(), 256);
  EXPECT_EQ(dir.Names().size(), 3u);  // photos, pic.gif, a.bmp: no temporary file left
}

// With SOURCE_DATE_EPOCH two runs write the same bytes, and tIME carries that time.
TEST_F(BatchTest, SourceDateEpochMakesRunsReproducible) {
  const std::vector<std::pair<std::string, std::string>> epoch{{"SOURCE_DATE_EPOCH", "1700000000"}};
  ASSERT_EQ(RunBatch({"--output-dir", dir / "one", photos + "/b.bmp"}, epoch).Status, 0);
  ASSERT_EQ(RunBatch({"--output-dir", dir / "two", photos + "/b.bmp"}, epoch).Status, 0);
  const auto one = FileBytes(dir / "one/b.png");
  EXPECT_EQ(one, FileBytes(dir / "two/b.png"));
  const auto chunks = SplitChunks(one);
  const PngChunk* time = FindChunk(chunks, "tIME");
  ASSERT_NE(time, nullptr);
  EXPECT_EQ(time->Data, (std::vector<std::uint8_t>{0x07, 0xE7, 11, 14, 22, 13, 20}));  // 2023-11-14 22:13:20 UTC
}

// --recursive keeps the subfolders, so the same name in two folders stays two files; without it a
// subfolder is not entered.
TEST_F(BatchTest, RecursiveRunsKeepTheSubfolders) {
  fs::create_directories(photos + "/2024/may");
  fs::copy_file(photos + "/b.bmp", photos + "/2024/may/b.BMP");
  fs::remove(photos + "/damaged.jpg");
  const TBatchRun flat = RunBatch({"--output-dir", dir / "flat", photos});
  EXPECT_EQ(flat.Status, 0) << flat.Err;
  EXPECT_EQ(Snapshot(dir / "flat").size(), 2u);
  const TBatchRun deep = RunBatch({"-r", "--format", "bmp32", "--output-dir", dir / "deep", photos});
  EXPECT_EQ(deep.Status, 0) << deep.Err;
  EXPECT_TRUE(deep.Err.starts_with("3 written, 0 kept, 1 skipped, 0 failed (")) << deep.Err;
  EXPECT_TRUE(fs::exists(dir / "deep/2024/may/b.bmp"));
  EXPECT_EQ(FileBytes(dir / "deep/2024/may/b.bmp"), FileBytes(dir / "deep/b.bmp"));
}

// A phone's folder of every kind: each picture is found and written; IMG_1.HEIC and IMG_1.JPG,
// which would write one file, keep their source extension in its name, each with the bytes of its
// own run; a re-run keeps them all.
TEST_F(BatchTest, AFolderOfEveryKindKeepsExtensionsWhereOutputsMeet) {
  const std::vector<std::pair<std::string, std::string>> epoch{{"SOURCE_DATE_EPOCH", "1700000000"}};
  const std::string phone = dir / "phone", out = dir / "out";
  fs::create_directory(phone);
  PutFile(phone + "/IMG_1.JPG", EncodeJPEG(QuadrantSamples(64, 48, 40, 20)));
  std::vector<std::pair<std::string, std::string>> written{{"IMG_1.JPG", "IMG_1.jpg.png"}};  // input, output
  for (const TCutoutKind& kind : CutoutKinds) {
    const std::string stem = std::string(kind.Name) == "HEIC" ? "IMG_1" : "cut" + std::to_string(written.size());
    ASSERT_TRUE(WriteCutout(kind, phone + "/" + stem + kind.Extension)) << kind.Name;
    written.emplace_back(stem + kind.Extension, stem == "IMG_1" ? "IMG_1.heic.png" : stem + ".png");
  }
  const TBatchRun run = RunBatch({"--output-dir", out, phone}, epoch);
  ASSERT_EQ(run.Status, 0) << run.Err;
  EXPECT_EQ(Snapshot(out).size(), written.size());
  for (const auto& [input, output] : written) EXPECT_TRUE(fs::exists(out + "/" + output)) << input;
  for (const auto& [input, output] : {written[0], written[4]}) {  // IMG_1.JPG and IMG_1.HEIC
    ASSERT_EQ(RunBatch({"-o", dir / "alone.png", "--overwrite", phone + "/" + input}, epoch).Status, 0) << input;
    EXPECT_EQ(FileBytes(out + "/" + output), FileBytes(dir / "alone.png")) << input;
  }
  EXPECT_NE(RunBatch({"--output-dir", out, phone}).Err.find("0 written, " + std::to_string(written.size()) + " kept"),
            std::string::npos);
}

// A run that finds no picture at all fails, saying so before the summary (also when quiet); one
// that found a picture, even only to fail on it, does not say it. Rendered into their own folder,
// the pictures whose output is an input fail alone and stay as they were; the others are written.
TEST_F(BatchTest, RunsThatFindNoPictureOrWouldReplaceAnInputFail) {
  fs::create_directories(dir / "empty");
  fs::create_directories(dir / "notes/sub");
  PutFile(dir / "notes/a.txt", {'x'});
  PutFile(dir / "notes/sub/b.jpg", EncodeJPEG(QuadrantSamples(16, 16, 8, 8)));
  const auto bmp = FileBytes(photos + "/b.bmp");
  const std::string out = dir / "out";
  const struct {
    std::vector<std::string> arguments;
    int status;
    std::string err;  // a part of standard error
  } cases[] = {
      {{"--output-dir", out, dir / "empty"}, 1, "no picture found (0 skipped)\n0 written, 0 kept, 0 skipped, 0 failed ("},
      {{"--output-dir", out, dir / "notes", dir / "empty"}, 1,
       "no picture found (2 skipped)\n0 written, 0 kept, 2 skipped, 0 failed ("},
      {{"-q", "--output-dir", out, dir / "notes"}, 1, "no picture found (2 skipped)\n"},
      {{"-r", "--output-dir", out, dir / "notes"}, 0, "1 written, 0 kept, 1 skipped, 0 failed ("},
      {{"--output-dir", out, dir / "notes", dir / "notes/a.txt"}, 1, dir / "notes/a.txt: 読み込めるのは"},
      {{"--format", "bmp24", "--output-dir", photos, photos}, 1,
       photos + "/b.bmp: its output " + photos +
           "/b.bmp is an input picture of this run and is not replaced: choose another --output-dir\n"},
  };
  for (const auto& c : cases) {
    const TBatchRun run = RunBatch(c.arguments);
    EXPECT_EQ(run.Status, c.status) << c.err;
    EXPECT_NE(run.Err.find(c.err), std::string::npos) << run.Err;
    EXPECT_EQ(run.Err.find("no picture found") != std::string::npos, c.err.starts_with("no picture found")) << run.Err;
  }
  EXPECT_EQ(FileBytes(photos + "/b.bmp"), bmp);
  EXPECT_TRUE(fs::exists(photos + "/a.bmp"));
}

}  // namespace
