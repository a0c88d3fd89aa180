// The batch renderer writes what the window's exports write. The real main window loads a picture,
// has its sliders, gradient command and output size set as a user sets them, and exports each
// format; rufuremina-batch renders the same picture with the same settings. The files are equal byte
// for byte, except for the time in a PNG's tIME chunk, and decode to the same pixels.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QTest>

#include "app/Unit1.h"
#include "app/track_bar.h"
#include "tests/app/form_controls.h"
#include "picture/bmp_file.h"
#include "tests/app/recording_dialogs.h"
#include "tests/batch/run_batch.h"
#include "tests/picture/png/png_test_support.h"
#include "tests/support/jpeg_writer.h"
#include "tests/support/recording_clipboard.h"
#include "tests/support/temp_dir.h"

namespace {

// The file with the data of its tIME chunk (and so that chunk's CRC) set to zero.
std::vector<std::uint8_t> WithoutTime(std::vector<std::uint8_t> png) {
  const std::string type = "tIME";
  const auto at = std::search(png.begin(), png.end(), type.begin(), type.end());
  if (at != png.end()) std::fill(at + 4, std::min(png.end(), at + 4 + 7 + 4), 0);
  return png;
}

// Drags the right or the bottom edge of the output area by `distance` (outward when positive), from
// the middle of that edge, as the pointer does it.
void DragEdge(const TForm1& form, QWidget* area, bool right, int distance) {
  const TRect r = form.OutputRect();
  const int x = right ? r.Right : (r.Left + r.Right) / 2, y = right ? (r.Top + r.Bottom) / 2 : r.Bottom;
  const QPoint to(right ? x + distance : x, right ? y : y + distance);
  QTest::mouseMove(area, QPoint(x, y));  // the edge's cursor
  QTest::mousePress(area, Qt::LeftButton, {}, QPoint(x, y));
  QTest::mouseMove(area, to);
  QTest::mouseRelease(area, Qt::LeftButton, {}, to);
}

TEST(BatchMatchesWindow, EveryFormatEqualsTheWindowsExport) {
  TempDir dir;
  const std::string photo = dir / "photo.jpg";
  PutFile(photo, EncodeJPEG(QuadrantSamples(120, 90, 70, 30)));

  TForm1 form;
  auto dialogs = std::make_unique<TRecordingDialogs>();
  TRecordingDialogs& answers = *dialogs;
  form.SetDialogs(std::move(dialogs));
  form.SetClipboard(std::make_unique<TRecordingClipboard>());
  form.show();
  const TForm1Controls ui(form);
  answers.FileAnswers.push_back(QString::fromStdString(photo));
  ui.actOpen->trigger();
  ui.trcCameraZ->SetPosition(4);
  ui.trcCameraY->SetPosition(-2);
  ui.trcYaw->SetPosition(3);
  ui.trcOpacity->SetPosition(6);
  ui.trcLength->SetPosition(9);
  ui.trcMargin->SetPosition(2);
  ui.actGradient->trigger();  // off: a reflection of even opacity
  DragEdge(form, ui.ClientArea, true, 22);    // 300 wide
  DragEdge(form, ui.ClientArea, false, -28);  // 200 high
  ASSERT_EQ(form.State().OutputImage.Width(), 300);
  ASSERT_EQ(form.State().OutputImage.Height(), 200);

  const std::vector<std::string> settings = {"--picture-size", "4", "--camera-height", "-2", "--tilt", "3",
                                             "--opacity", "6", "--length", "9", "--distance", "2",
                                             "--uniform", "--output-size", "300x200"};
  const struct {
    QAction* action;
    const char* format;
    const char* name;
  } exports[] = {{ui.actExportPNG, "png", "shot.png"},
                 {ui.actExportBMP24, "bmp24", "shot24.bmp"},
                 {ui.actExportBMP32, "bmp32", "shot32.bmp"}};
  for (const auto& e : exports) {
    const std::string window = dir / (std::string("window-") + e.name), batch = dir / e.name;
    answers.FileAnswers.push_back(QString::fromStdString(window));
    e.action->trigger();
    std::vector<std::string> arguments = settings;
    arguments.insert(arguments.end(), {"--format", e.format, "-o", batch, photo});
    const TBatchRun run = RunBatch(arguments);
    ASSERT_EQ(run.Status, 0) << run.Err;
    ASSERT_TRUE(answers.Messages.empty()) << answers.Messages.front().Text.toStdString();

    const auto windowBytes = FileBytes(window), batchBytes = FileBytes(batch);
    if (std::string(e.format) == "png") {
      EXPECT_EQ(WithoutTime(batchBytes), WithoutTime(windowBytes));
      const DecodedPng decoded = DecodeWithLibpng(batchBytes), expected = DecodeWithLibpng(windowBytes);
      ASSERT_TRUE(decoded.Ok);
      EXPECT_EQ(decoded.Width, 300);
      EXPECT_EQ(decoded.Samples, expected.Samples);
    } else {
      EXPECT_EQ(batchBytes, windowBytes) << e.format;
      TBitmap decoded, expected;
      ReadBitmapFile(batch, decoded);
      ReadBitmapFile(window, expected);
      EXPECT_EQ(decoded.Height(), 200);
      EXPECT_TRUE(std::equal(decoded.Bits(), decoded.Bits() + decoded.BitsSize(), expected.Bits()));
    }
  }
}

}  // namespace

int main(int argc, char* argv[]) {
  QApplication application(argc, argv);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
