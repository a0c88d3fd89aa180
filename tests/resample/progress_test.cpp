#include "resample/progress.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "resample/resize.h"
#include "resample/sampling.h"
#include "tests/resample/resample_test_images.h"

namespace {

using namespace resample_test;

struct TMessage {
  const void* Sender;
  int Stage;
  int PercentDone;
  bool RedrawNow;
  TRect R;
  std::string Msg;
};

// Records every message and counts the pump's runs; restores the previous pump when done.
class ProgressRecorder {
 public:
  ProgressRecorder() {
    previous_ = SetMessagePump([this] {
      ++pumps;
      pumpsAfterMessages.push_back(int(messages.size()));
    });
  }
  ~ProgressRecorder() { SetMessagePump(std::move(previous_)); }
  TProgressEvent Event() {
    return [this](const void* Sender, TProgressStage Stage, std::uint8_t PercentDone, bool RedrawNow, const TRect& R,
                  const std::string& Msg) { messages.push_back({Sender, Stage, PercentDone, RedrawNow, R, Msg}); };
  }
  std::vector<int> Percents() const {
    std::vector<int> values;
    for (const TMessage& m : messages) values.push_back(m.PercentDone);
    return values;
  }

  std::vector<TMessage> messages;
  int pumps = 0;
  std::vector<int> pumpsAfterMessages;  // messages delivered when each pump ran

 private:
  TMessagePump previous_;
};

TEST(ResizeProgress, EveryModeReportsEachRowAsRunningWithRowTimes100DivHeight) {
  const TBitmap colour = Pattern(12, 12, pf24bit);
  int sender = 0;
  for (TResizeMode mode : {rmNearest, rmBilinear, rmAverage, rmAuto}) {
    SCOPED_TRACE(int(mode));
    ProgressRecorder recorder;
    const auto info = MakeResizeProgressInfo(&sender, "縮小", recorder.Event());
    ASSERT_NE(ResizeBitmapWithProgress(colour, 5, 4, mode, info), nullptr);
    EXPECT_EQ(recorder.Percents(), (std::vector<int>{0, 25, 50, 75}));
    for (const TMessage& m : recorder.messages) {
      EXPECT_EQ(m.Sender, &sender);
      EXPECT_EQ(m.Stage, psRunning);
      EXPECT_FALSE(m.RedrawNow);
      EXPECT_EQ(m.R, (TRect{0, 0, 0, 0}));
      EXPECT_EQ(m.Msg, "縮小 処理中");
    }
    // The pump runs once after each message, never before the first.
    EXPECT_EQ(recorder.pumpsAfterMessages, (std::vector<int>{1, 2, 3, 4}));

    ProgressRecorder three;
    ResizeBitmapWithProgress(colour, 5, 3, mode, MakeResizeProgressInfo(nullptr, "", three.Event()));
    EXPECT_EQ(three.Percents(), (std::vector<int>{0, 33, 66}));
    EXPECT_EQ(three.messages[0].Msg, " 処理中");
  }
}

TEST(ResizeProgress, NothingIsSentAndNoPumpRunsWithoutAnEventOrForCopiesAndStretches) {
  const TBitmap colour = Pattern(12, 12, pf24bit);
  ProgressRecorder recorder;
  for (TResizeMode mode : {rmStretch, rmNearest, rmBilinear, rmAverage, rmAuto})
    ASSERT_NE(ResizeBitmap(colour, 5, 4, mode), nullptr);
  ResizeBitmapWithProgress(colour, 5, 4, rmAverage, MakeResizeProgressInfo(nullptr, "x", nullptr));
  EXPECT_EQ(recorder.pumps, 0);

  const auto info = MakeResizeProgressInfo(nullptr, "x", recorder.Event());
  ResizeBitmapWithProgress(colour, 12, 12, rmAverage, info);  // same-size copy
  ResizeBitmapWithProgress(colour, 5, 4, rmStretch, info);
  EXPECT_TRUE(recorder.messages.empty());
  EXPECT_EQ(recorder.pumps, 0);
}

TEST(ResizeProgress, SendBuildsTheStageSuffixAndReportTakesTheLowByte) {
  ProgressRecorder recorder;
  const TProgressEvent event = recorder.Event();
  SendResizeProgress(nullptr, psStarting, 0, event, "拡大");
  SendResizeProgress(nullptr, psRunning, 10, event, "拡大");
  SendResizeProgress(nullptr, psEnding, 100, event, "拡大");
  SendResizeProgress(nullptr, TProgressStage(7), 5, event, "拡大");
  ASSERT_EQ(recorder.messages.size(), 4u);
  EXPECT_EQ(recorder.messages[0].Msg, "拡大 処理開始");
  EXPECT_EQ(recorder.messages[1].Msg, "拡大 処理中");
  EXPECT_EQ(recorder.messages[2].Msg, "拡大 処理完了");
  EXPECT_EQ(recorder.messages[3].Msg, "拡大");
  EXPECT_EQ(recorder.messages[3].Stage, 7);
  EXPECT_EQ(recorder.pumps, 4);

  ReportResizeProgress(MakeResizeProgressInfo(nullptr, "c", event), 300);
  EXPECT_EQ(recorder.messages.back().PercentDone, 300 & 0xFF);
  EXPECT_EQ(recorder.messages.back().Stage, psRunning);

  SendResizeProgress(nullptr, psRunning, 1, nullptr, "c");
  EXPECT_EQ(recorder.pumps, 5);  // an empty event sends nothing and pumps nothing
}

TEST(ResizeProgress, AnEventErrorIsSwallowedByTheAverageAndPassedOnByTheOthers) {
  const TBitmap colour = Pattern(12, 12, pf24bit);
  const TProgressEvent failing = [](const void*, TProgressStage, std::uint8_t PercentDone, bool, const TRect&,
                                    const std::string&) {
    if (PercentDone >= 50) throw std::runtime_error("cancelled");
  };
  const auto info = MakeResizeProgressInfo(nullptr, "", failing);
  EXPECT_EQ(ResizeBitmapWithProgress(colour, 6, 4, rmAverage, info), nullptr);
  EXPECT_THROW(ResizeBitmapWithProgress(colour, 6, 4, rmNearest, info), std::runtime_error);
  EXPECT_THROW(ResizeBitmapWithProgress(colour, 6, 4, rmBilinear, info), std::runtime_error);
}

}  // namespace
