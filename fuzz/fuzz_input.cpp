#include "fuzz_input.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>

std::string InputFile(const uint8_t* data, size_t size, const char* suffix) {
  static const std::string dir = [] {
    const char* tmp = std::getenv("TMPDIR");
    return std::string(tmp != nullptr ? tmp : "/tmp");
  }();
  const std::string path = dir + "/ornivex-fuzz-" + std::to_string(getpid()) + suffix;
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f != nullptr) {
    if (size > 0) std::fwrite(data, 1, size, f);
    std::fclose(f);
  }
  return path;
}

void SilenceStdout() {
  static bool done = false;
  if (!done && std::freopen("/dev/null", "w", stdout) != nullptr) done = true;
}
