// The input as a raw MPEG-4 Visual stream for GetM4vHeaderSize.
#include <cstdint>

#include "fuzz_input.h"
#include "ornivex.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  SilenceStdout();
  const std::string path = InputFile(data, size, ".m4v");
  uint32_t width = 0, height = 0;
  GetM4vHeaderSize(path.c_str(), &width, &height);
  return 0;
}
