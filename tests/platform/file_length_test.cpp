#include "platform/file_length.h"

#include <filesystem>

#include "support/test_support.h"

// Lengths past what a 32-bit long holds, the position left at the end, and
// -1 for a stream that has no length.
TEST(FileLength, MeasuresIn64Bits) {
  const std::string small = WriteScratchFile("five", {1, 2, 3, 4, 5});
  const std::string big = WriteScratchFile("big", {1, 2, 3});
  std::filesystem::resize_file(big, (uintmax_t{1} << 32) + 7);  // sparse
  for (const auto& [path, length] : {std::pair{small, 5LL}, std::pair{big, (1LL << 32) + 7},
                                     std::pair{ScratchPath("none"), 0LL}}) {
    FILE* f = std::fopen(path.c_str(), length == 0 ? "wb+" : "rb");
    ASSERT_NE(f, nullptr) << path;
    EXPECT_EQ(FileLength(f), length) << path;
    EXPECT_EQ(std::fgetc(f), EOF) << path;
    std::fclose(f);
  }
  FILE* pipe = popen("echo stream", "r");
  ASSERT_NE(pipe, nullptr);
  EXPECT_EQ(FileLength(pipe), -1);
  pclose(pipe);
}
