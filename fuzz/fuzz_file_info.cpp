// The input as a file for GetFileInfo.
#include <cstdint>

#include "fuzz_input.h"
#include "ornivex.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  SilenceStdout();
  const std::string path = InputFile(data, size, ".mp4");
  FileInfo info;
  GetFileInfo(path.c_str(), &info);
  return 0;
}
