#include "picture/png/RFLStream.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace {

// A memory stream that also records the size of every write it receives.
class RecordingStream final : public TStream {
 public:
  std::vector<std::size_t> Writes;
  TMemoryStream Memory;
  std::size_t Read(void* buffer, std::size_t count) override { return Memory.Read(buffer, count); }
  std::size_t Write(const void* buffer, std::size_t count) override {
    Writes.push_back(count);
    return Memory.Write(buffer, count);
  }
  std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override { return Memory.Seek(offset, origin); }
};

// A graphic write stream whose encoding is a test's lambda.
class ScriptedWriter final : public TRFLCustomGraphicWriteStream {
 public:
  std::function<void(ScriptedWriter&)> Script;
 protected:
  void Encode() override { Script(*this); }
};

TEST(TRFLCustomWriteStream, BuffersSmallWritesAndPassesLargeBlocksStraightThrough) {
  RecordingStream out;
  ScriptedWriter writer;
  const std::vector<std::uint8_t> block(70000, 0xAB);
  writer.Script = [&](ScriptedWriter& w) {
    w.WriteUInt32BE(0x01020304);
    w.WriteBytes(block.data(), 13);
    w.WriteBytes(block.data(), 65519);  // 17 + 65519 would reach 65536: flush first, then buffer
    w.WriteBytes(block.data(), 65520);  // large: flush, then one direct write
    w.WriteBytes(block.data(), 10);
  };
  TBitmap image(1, 1, pf32bit);
  writer.WriteImage(image, out);
  EXPECT_EQ(out.Writes, (std::vector<std::size_t>{17, 65519, 65520, 10}));
  const auto& bytes = out.Memory.Data();
  ASSERT_EQ(bytes.size(), 17u + 65519 + 65520 + 10);
  EXPECT_EQ((std::vector<int>(bytes.begin(), bytes.begin() + 4)), (std::vector<int>{1, 2, 3, 4}));
  EXPECT_EQ(writer.TotalWritten(), std::int64_t(bytes.size()));

  // Four bytes that would fill the buffer to the brim go after a flush.
  RecordingStream edge;
  writer.Script = [&](ScriptedWriter& w) {
    w.WriteBytes(block.data(), 65519);
    w.WriteBytes(block.data(), 13);
    w.WriteUInt32BE(7);
  };
  writer.WriteImage(image, edge);
  EXPECT_EQ(edge.Writes, (std::vector<std::size_t>{65532, 4}));
}

TEST(TRFLCustomGraphicWriteStream, SharesOutProgressPhaseByPhase) {
  std::vector<std::pair<TProgressStage, int>> reports;
  const void* sender = nullptr;
  ScriptedWriter writer;
  writer.Script = [](ScriptedWriter& w) {
    w.BeginProgress();
    w.BeginProgressPhase(4, 50);  // half of the 99 left: 49, in four steps
    w.StepProgress(1);
    w.StepProgress(1);            // no higher: nothing reported
    w.StepProgress(2);
    w.BeginProgressPhase(0, 0);   // the remaining 50 in one step
    w.StepProgress(1);
    w.StepProgress(3);            // past the end: reported as the end
    w.EndProgress();
  };
  TBitmap image(1, 1, pf32bit);
  TMemoryStream out;
  writer.WriteImage(image, out, [&](const void* s, TProgressStage stage, std::uint8_t percent, bool, const TRect&,
                                    const std::string&) {
    sender = s;
    reports.emplace_back(stage, percent);
  });
  EXPECT_EQ(sender, &image);
  EXPECT_EQ(reports, (std::vector<std::pair<TProgressStage, int>>{
                         {psStarting, 0}, {psRunning, 12}, {psRunning, 24}, {psRunning, 99}, {psEnding, 100},
                         {psEnding, 100}}));
}

}  // namespace
