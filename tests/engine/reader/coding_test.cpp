#include "engine/reader/coding.h"

#include <gtest/gtest.h>

#include <vector>

namespace engine {
namespace {

struct VarintCase {
  const char* name;
  std::vector<uint8_t> bytes;
  int64_t value;
  size_t length;
};

TEST(CodingTest, Varint64DecodesOneToNineBytes) {
  const VarintCase cases[] = {
      {"one byte", {0x7F}, 127, 1},
      {"two bytes", {0x81, 0x00}, 128, 2},
      {"three bytes", {0x81, 0x80, 0x00}, 16384, 3},
      {"four bytes", {0xFF, 0xFF, 0xFF, 0x7F}, (1 << 28) - 1, 4},
      {"five bytes", {0x81, 0x80, 0x80, 0x80, 0x00}, int64_t{1} << 28, 5},
      {"eight bytes", {0x81, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x00}, int64_t{1} << 49, 8},
      {"nine bytes keep the whole last byte",
       {0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0xFF}, 0xFF, 9},
      {"nine bytes of ones are -1", std::vector<uint8_t>(9, 0xFF), -1, 9},
      {"a tenth byte is not read", {0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x81, 0x01, 0x7F},
       0x101, 9},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    int64_t value = 0;
    const uint8_t* end = ReadVarint64(c.bytes.data(), c.bytes.data() + c.bytes.size(), &value);
    ASSERT_NE(end, nullptr);
    EXPECT_EQ(value, c.value);
    EXPECT_EQ(static_cast<size_t>(end - c.bytes.data()), c.length);
  }
}

TEST(CodingTest, VarintCutByTheBufferEndGivesNull) {
  const uint8_t bytes[] = {0x81, 0x82, 0x83};
  int64_t value = 0;
  EXPECT_EQ(ReadVarint64(bytes, bytes + 3, &value), nullptr);
  uint32_t v32 = 0;
  uint8_t extra = 0;
  EXPECT_EQ(ReadVarint(bytes, bytes + 3, &v32, &extra), nullptr);
}

TEST(CodingTest, ShortVarintStopsAfterFiveBytesAndAddsTheFifthWhole) {
  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
    uint32_t value;
    uint8_t extra;
  } cases[] = {
      {"0x81 0x00 is 128", {0x81, 0x00}, 128, 1},
      {"single byte", {0x05}, 5, 0},
      {"fifth byte whole", {0x80, 0x80, 0x80, 0x80, 0xFF}, 0xFF, 4},
      {"taken modulo 2^32", {0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, 0x7F, 4},  // 0x80000007F
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    uint32_t value = 0;
    uint8_t extra = 9;
    ASSERT_NE(ReadVarint(c.bytes.data(), c.bytes.data() + c.bytes.size(), &value, &extra),
              nullptr);
    EXPECT_EQ(value, c.value);
    EXPECT_EQ(extra, c.extra);
  }
}

TEST(CodingTest, BigEndianWidthsAndBounds) {
  const uint8_t bytes[] = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09};
  const uint8_t* end = bytes + sizeof bytes;
  EXPECT_EQ(ReadBigEndian(bytes, end, 0), 0u);
  EXPECT_EQ(ReadBigEndian(bytes, end, 1), 0x01u);
  EXPECT_EQ(ReadBigEndian(bytes, end, 2), 0x0102u);
  EXPECT_EQ(ReadBigEndian(bytes, end, 3), 0x010203u);
  EXPECT_EQ(ReadBigEndian(bytes, end, 4), 0x01020304u);
  EXPECT_EQ(ReadBigEndian(bytes, end, 6), 0x010203040506u);
  EXPECT_EQ(ReadBigEndian(bytes, end, 8), 0x0102030405060708u);
  EXPECT_EQ(ReadBigEndian(bytes, end, 9), 0u) << "more than 8 bytes reads nothing";
  EXPECT_EQ(ReadBigEndian(bytes, end, 0x102), 0x0102u) << "only the low 8 bits of n count";
  EXPECT_EQ(ReadBigEndian(bytes + 7, end, 4), 0x08090000u) << "bytes past the end are zero";
}

TEST(CodingTest, SerialTypeSizes) {
  const std::pair<uint64_t, uint64_t> cases[] = {
      {0, 0}, {1, 1}, {2, 2}, {3, 3}, {4, 4}, {5, 6}, {6, 8}, {7, 8}, {8, 0}, {9, 0},
      {10, 0}, {11, 0}, {12, 0}, {13, 0}, {14, 1}, {15, 1}, {2059, 1023}, {2060, 1024},
      {0xFFFFFFFFFFULL, (0xFFFFFFFFFFULL - 13) / 2},
  };
  for (const auto& [type, size] : cases) EXPECT_EQ(SerialTypeSize(type), size) << type;
}

TEST(CodingTest, PageOffsetIsSixtyFourBit) {
  EXPECT_EQ(PageOffset(1, 4096), 0);
  EXPECT_EQ(PageOffset(3, 1024), 2048);
  EXPECT_EQ(PageOffset(0x200000, 65536), int64_t{0x1FFFFF} * 65536);
}

}  // namespace
}  // namespace engine
