// Reads at an offset: all the bytes asked for or nothing, and the stream's
// own position stays where it was.
#include <cstdio>

#include "platform/platform.h"
#include "support/test_support.h"

TEST(PositionalRead, ReadsAtOffsetsAndLeavesTheStreamAlone) {
  box::Bytes bytes(5000);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = uint8_t(i * 13 + i / 256);
  FILE* stream = std::fopen(WriteScratchFile("positional.bin", bytes).c_str(), "rb");
  ASSERT_NE(stream, nullptr);
  unsigned char head[3];
  ASSERT_EQ(std::fread(head, 1, 3, stream), 3u);

  struct Case {
    uint64_t offset;
    size_t size;
    bool read;
  };
  for (const Case& c : std::vector<Case>{{0, 5000, true},
                                         {4999, 1, true},
                                         {1234, 0, true},
                                         {100, 4000, true},
                                         {4990, 11, false},  // runs past the end
                                         {5000, 1, false},
                                         {uint64_t{1} << 33, 4, false}}) {
    box::Bytes got(c.size + 1, 0xEE);
    EXPECT_EQ(ReadFileAt(stream, c.offset, got.data(), c.size), c.read) << c.offset;
    if (c.read) {
      EXPECT_TRUE(std::equal(got.begin(), got.end() - 1, bytes.begin() + c.offset)) << c.offset;
      EXPECT_EQ(got.back(), 0xEE) << "wrote past the bytes asked for";
    }
  }
  // the stream reads on from where it was
  unsigned char next[2];
  ASSERT_EQ(std::fread(next, 1, 2, stream), 2u);
  EXPECT_EQ(box::Bytes(next, next + 2), box::Bytes(bytes.begin() + 3, bytes.begin() + 5));
  std::fclose(stream);
}
