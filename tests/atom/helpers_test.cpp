// Byte order, four-character codes and memory blocks.
#include "atom/helpers.h"

#include "support/test_support.h"

TEST(Helpers, ByteOrder) {
  EXPECT_EQ(ReadUint32BE("\x00\x00\x00\x18"), 24u);
  EXPECT_EQ(ReadUint32BE("\xFF\xFF\xFF\xFF"), 4294967295u);
  unsigned char record[8] = {};
  SetRecordU32(record, 1, 0x01020304u);
  SetRecordU16(record, 5, 0xA0B0);
  EXPECT_EQ(std::string(record, record + 8), std::string("\x00\x01\x02\x03\x04\xA0\xB0\x00", 8));
  EXPECT_EQ(RecordU32(record, 1), 0x01020304u);
  EXPECT_EQ(RecordU16(record, 5), 0xA0B0);
}

TEST(Helpers, FourCharacterCodes) {
  EXPECT_TRUE(IsAtomType("moov", "moov"));
  EXPECT_FALSE(IsAtomType("moov", "mvhd"));
  EXPECT_TRUE(IsAtomType("moovXYZ", "moov"));  // only four characters count
  // the result and the five characters written over "xxxxx"; a NUL pads the rest
  const std::tuple<const char*, bool, const char*> cases[] = {
      {"url ", true, "url \0"}, {"ab", true, "ab\0\0\0"}, {nullptr, false, "xxxxx"}};
  for (const auto& [source, copied, code] : cases) {
    char out[5] = {'x', 'x', 'x', 'x', 'x'};
    EXPECT_EQ(CopyAtomType(out, source), copied);
    EXPECT_EQ(std::string(out, 5), std::string(code, 5));
  }
  EXPECT_FALSE(CopyAtomType(nullptr, "moov"));
}

TEST(Helpers, MemoryBlocks) {
  EXPECT_EQ(ResizeBlock(nullptr, 100), nullptr);
  unsigned char* block = static_cast<unsigned char*>(AllocZeroed(16));
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(std::string(16, '\0'), std::string(block, block + 16));
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
