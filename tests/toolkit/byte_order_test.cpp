#include "toolkit/byte_order.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(ByteOrder, StoresAndLoadsEitherOrderAtAnyAddress) {
  std::uint8_t bytes[9] = {};
  StoreLE32(bytes + 1, 0x12345678);  // unaligned on purpose
  EXPECT_EQ((std::vector<std::uint8_t>(bytes + 1, bytes + 5)), (std::vector<std::uint8_t>{0x78, 0x56, 0x34, 0x12}));
  EXPECT_EQ(LoadLE32(bytes + 1), 0x12345678u);
  EXPECT_EQ(LoadLE16(bytes + 1), 0x5678u);
  StoreBE32(bytes, 0x89ABCDEF);
  EXPECT_EQ(LoadUnsigned(bytes, 4, TByteOrder::BigEndian), 0x89ABCDEFu);
  EXPECT_EQ(bytes[0], 0x89);
  StoreBE16(bytes, 0xFEDC);
  EXPECT_EQ(LoadUnsigned(bytes, 2, TByteOrder::LittleEndian), 0xDCFEu);
  StoreUnsigned(bytes, 8, 0x0102030405060708, TByteOrder::BigEndian);
  EXPECT_EQ(bytes[0], 1);
  EXPECT_EQ(bytes[7], 8);
  EXPECT_EQ(LoadUnsigned(bytes, 8, TByteOrder::LittleEndian), 0x0807060504030201u);
}

}  // namespace
