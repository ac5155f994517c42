// Reads at an offset: all the bytes asked for or nothing, and the stream's
// own position stays where it was.
#include "platform/platform.h"
#include "support/test_support.h"

TEST(PositionalRead, ReadsAtOffsetsAndLeavesTheStreamAlone) {
  box::Bytes bytes(5000);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = uint8_t(i * 13 + i / 256);
  FILE* stream = std::fopen(WriteScratchFile("positional.bin", bytes).c_str(), "rb");
  ASSERT_EQ(std::fgetc(stream), bytes[0]);
  // offset, size, whether it reads: not past the end, nor from past it
  const std::tuple<uint64_t, size_t, bool> cases[] = {
      {0, 5000, true},   {4999, 1, true},  {1234, 0, true},
      {4990, 11, false}, {5000, 1, false}, {uint64_t{1} << 33, 4, false}};
  for (const auto& [offset, size, read] : cases) {
    box::Bytes got(size + 1, 0xEE);
    EXPECT_EQ(ReadFileAt(stream, offset, got.data(), size), read) << offset;
    if (!read) continue;
    EXPECT_EQ(
        got, box::Cat({box::Bytes(bytes.begin() + offset, bytes.begin() + offset + size), {0xEE}}));
  }
  EXPECT_EQ(std::fgetc(stream), bytes[1]);  // the stream reads on from where it was
  std::fclose(stream);
}
