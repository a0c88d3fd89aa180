#include "toolkit/exif_orientation.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "tests/support/jpeg_writer.h"

namespace {

TOrientation Read(const std::vector<std::uint8_t>& block) { return ExifOrientation(block); }

}  // namespace

TEST(ExifOrientation, EveryValueInEitherByteOrder) {
  for (bool bigEndian : {false, true})
    for (int value = 1; value <= 8; ++value)
      EXPECT_EQ(Read(ExifBlock(value, bigEndian)), TOrientation(value)) << value << (bigEndian ? " MM" : " II");
  EXPECT_TRUE(SwapsSides(TOrientation::TurnedRight));
  EXPECT_FALSE(SwapsSides(TOrientation::UpsideDown));
}

// Whatever is wrong with a block, the answer is "as stored" and nothing outside it is read (the
// sanitizer build watches every cut and every changed byte).
TEST(ExifOrientation, DamagedBlocksCountAsUpright) {
  const std::vector<std::uint8_t> good = ExifBlock(6);
  EXPECT_EQ(Read({}), TOrientation::Upright);
  for (int value : {0, 9, 0x106}) EXPECT_EQ(Read(ExifBlock(value)), TOrientation::Upright) << value;

  std::vector<std::uint8_t> other = good;
  other[0] = 'e';  // not an EXIF block (XMP shares the marker)
  EXPECT_EQ(Read(other), TOrientation::Upright);
  std::vector<std::uint8_t> wrongType = good;
  wrongType[6 + 8 + 2 + 12 + 2] = 4;  // the orientation as a LONG: not what the tag is
  EXPECT_EQ(Read(wrongType), TOrientation::Upright);
  std::vector<std::uint8_t> farDirectory = good;
  farDirectory[6 + 7] = 0x80;  // the directory's offset points far beyond the block
  EXPECT_EQ(Read(farDirectory), TOrientation::Upright);
  std::vector<std::uint8_t> manyEntries = good;
  manyEntries[6 + 8] = 0xFF, manyEntries[6 + 9] = 0xFF;  // 65535 entries in a block of two
  EXPECT_EQ(Read(manyEntries), TOrientation::TurnedRight) << "the entries that are there still count";

  for (std::size_t size = 0; size < good.size(); ++size) {
    const std::vector<std::uint8_t> cut(good.begin(), good.begin() + std::ptrdiff_t(size));
    const TOrientation read = Read(cut);
    EXPECT_TRUE(read == TOrientation::Upright || read == TOrientation::TurnedRight) << size;
  }
  std::mt19937 random(21);
  for (int round = 0; round < 2000; ++round) {
    std::vector<std::uint8_t> bad = good;
    for (int i = 0; i < 3; ++i) bad[6 + random() % (bad.size() - 6)] = std::uint8_t(random());
    const int value = int(Read(bad));
    EXPECT_TRUE(value >= 1 && value <= 8);
  }
}
