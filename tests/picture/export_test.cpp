#include "picture/export.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/recording_clipboard.h"
#include "tests/support/temp_dir.h"
#include "toolkit/errors.h"

namespace {

class Export : public testing::Test {
 protected:
  std::string File(const std::string& name) const { return folder_ / name; }

  TRenderingSource Source() {
    return [this] {
      ++renders_;
      return std::make_unique<TBitmap>(5, 3, pf32bit);
    };
  }

  TempDir folder_;
  int renders_ = 0;  // final renderings asked for
  TRecordingClipboard clipboard_;
};

}  // namespace

TEST_F(Export, FailuresPassThroughAndStopTheLaterSteps) {
  // A folder that does not exist: the writer's error, and the PNG never reaches the clipboard.
  const std::string nowhere = File("missing/out");
  EXPECT_THROW(ExportBMP24(Source(), nowhere + ".bmp"), EFCreateError);
  EXPECT_THROW(ExportBMP32(Source(), nowhere + ".bmp"), EFCreateError);
  EXPECT_THROW(ExportPNG(Source(), nowhere + ".png", clipboard_), Exception);
  EXPECT_EQ(clipboard_.Stores, 0);
  EXPECT_EQ(renders_, 3) << "the rendering comes first, so the window shows it whatever fails after";

  // A clipboard held elsewhere: the PNG file is already written when the copy fails.
  clipboard_.Refuse = true;
  try {
    ExportPNG(Source(), File("d.png"), clipboard_);
    ADD_FAILURE() << "no clipboard error";
  } catch (const EClipboardException& e) {
    EXPECT_EQ(e.Message(), "クリップボードを開くことができません");
  }
  EXPECT_TRUE(std::filesystem::exists(File("d.png")));
  EXPECT_THROW(CopyToClipboard(Source(), clipboard_), EClipboardException);

  // A rendering that fails: nothing is written.
  const TRenderingSource failing = [] () -> std::unique_ptr<TBitmap> { throw EOutOfResources("画像が大きすぎます"); };
  EXPECT_THROW(ExportBMP24(failing, File("e.bmp")), EOutOfResources);
  EXPECT_FALSE(std::filesystem::exists(File("e.bmp")));
}
