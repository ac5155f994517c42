// Byte order, four-character codes and memory blocks.
#include "atom/helpers.h"

#include <gtest/gtest.h>

#include <cstring>

TEST(Helpers, ByteOrder) {
  const unsigned char twenty_four[] = {0x00, 0x00, 0x00, 0x18};
  const unsigned char all_ones[] = {0xFF, 0xFF, 0xFF, 0xFF};
  EXPECT_EQ(ReadUint32BE(twenty_four), 24u);
  EXPECT_EQ(ReadUint32BE(all_ones), 4294967295u);

  const unsigned char in32[] = {0x12, 0x34, 0x56, 0x78};
  uint32_t v;
  std::memcpy(&v, in32, 4);
  v = SwapBytes32(v);
  unsigned char out32[4];
  std::memcpy(out32, &v, 4);
  EXPECT_EQ(0, std::memcmp(out32, "\x78\x56\x34\x12", 4));
  EXPECT_EQ(SwapBytes32(SwapBytes32(0xDEADBEEFu)), 0xDEADBEEFu);

  const unsigned char in16[] = {0x12, 0x34};
  uint16_t h;
  std::memcpy(&h, in16, 2);
  h = SwapBytes16(h);
  unsigned char out16[2];
  std::memcpy(out16, &h, 2);
  EXPECT_EQ(0, std::memcmp(out16, "\x34\x12", 2));

  unsigned char record[8] = {};
  SetRecordU32(record, 1, 0x01020304u);
  SetRecordU16(record, 5, 0xA0B0);
  EXPECT_EQ(0, std::memcmp(record, "\x00\x01\x02\x03\x04\xA0\xB0\x00", 8));
  EXPECT_EQ(RecordU32(record, 1), 0x01020304u);
  EXPECT_EQ(RecordU16(record, 5), 0xA0B0);
}

TEST(Helpers, FourCharacterCodes) {
  EXPECT_TRUE(IsAtomType("moov", "moov"));
  EXPECT_FALSE(IsAtomType("moov", "mvhd"));
  EXPECT_TRUE(IsAtomType("moovXYZ", "moov"));  // only four characters count

  char code[5];
  std::memset(code, 'x', sizeof code);
  EXPECT_TRUE(CopyAtomType(code, "url "));
  EXPECT_EQ(0, std::memcmp(code, "url \0", 5));
  std::memset(code, 'x', sizeof code);
  EXPECT_TRUE(CopyAtomType(code, "ab"));  // a NUL pads the rest
  EXPECT_EQ(0, std::memcmp(code, "ab\0\0\0", 5));
  EXPECT_FALSE(CopyAtomType(nullptr, "moov"));
  std::memset(code, 'x', sizeof code);
  EXPECT_FALSE(CopyAtomType(code, nullptr));
  EXPECT_EQ(code[0], 'x');
}

TEST(Helpers, MemoryBlocks) {
  EXPECT_EQ(ResizeBlock(nullptr, 100), nullptr);
  unsigned char* block = static_cast<unsigned char*>(AllocZeroed(16));
  ASSERT_NE(block, nullptr);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(block[i], 0);
  block[0] = 7;
  block = static_cast<unsigned char*>(ResizeBlock(block, 0));  // counts as 1
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(block[0], 7);
  FreeBlock(block);
  FreeBlock(nullptr);
  void* empty = AllocZeroed(0);  // a zero-length table is still a block
  EXPECT_NE(empty, nullptr);
  FreeBlock(empty);
}
