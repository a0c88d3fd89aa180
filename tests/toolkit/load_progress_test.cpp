#include "toolkit/load_progress.h"

#include <gtest/gtest.h>

#include <vector>

#include "tests/support/jpeg_writer.h"
#include "toolkit/jpeg_image.h"

namespace {

void Collect(void* context, int percent) { static_cast<std::vector<int>*>(context)->push_back(percent); }

std::vector<std::uint8_t> DecodedBytes(const std::vector<std::uint8_t>& file) {
  TMemoryStream stream(file);
  TJPEGImage jpeg;
  jpeg.LoadFromStream(stream);
  TBitmap out;
  jpeg.AssignTo(out);
  std::vector<std::uint8_t> bytes;
  for (int y = 0; y < out.Height(); ++y) bytes.insert(bytes.end(), out.ScanLine(y), out.ScanLine(y) + 4 * out.Width());
  return bytes;
}

}  // namespace

TEST(LoadProgress, JPEGDecodingReportsRisingPercentagesAndTheSamePixels) {
  // Under 65536 pixels, so that one decoder on this thread forms every row (a larger photo is
  // shared with a second decoder on the pool's thread, which reports nothing).
  for (const bool progressive : {false, true}) {
    const auto file = EncodeJPEG(QuadrantSamples(100, 600, 70, 200), 90, progressive);
    const auto plain = DecodedBytes(file);
    std::vector<int> reports;
    std::vector<std::uint8_t> watched;
    {
      TLoadProgressScope scope(Collect, &reports);
      watched = DecodedBytes(file);
    }
    EXPECT_EQ(watched, plain) << "progressive " << progressive;
    ASSERT_GE(reports.size(), 10u) << "progressive " << progressive;
    for (std::size_t i = 1; i < reports.size(); ++i) EXPECT_LT(reports[i - 1], reports[i]);
    EXPECT_GE(reports.front(), 0);
    EXPECT_GE(reports.back(), 90);
    EXPECT_LE(reports.back(), 100);
  }
}

TEST(LoadProgress, AScopeReportsOnlyWhileItLastsAndRestoresTheOneAround) {
  std::vector<int> outer, inner;
  {
    TLoadProgressScope a(Collect, &outer);
    ReportLoadProgress(1, 4);
    {
      TLoadProgressScope b(Collect, &inner);
      ReportLoadProgress(1, 2);
      ReportLoadProgress(1, 2);  // not risen: not reported again
    }
    ReportLoadProgress(3, 4);
    ReportLoadProgress(2, 4);  // fell back: not reported
    ReportLoadProgress(1, 0);  // nothing to count
  }
  ReportLoadProgress(4, 4);  // no reporter any more
  EXPECT_EQ(outer, (std::vector<int>{25, 75}));
  EXPECT_EQ(inner, (std::vector<int>{50}));
  EXPECT_FALSE(LoadProgressWanted());
}
