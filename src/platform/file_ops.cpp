#include <cstdio>

#include "platform/platform.h"

bool DeleteFileByName(const char* path) {
  return path != nullptr && std::remove(path) == 0;
}

bool CanReadFile(const char* path) {
  FILE* probe = path != nullptr ? std::fopen(path, "rb") : nullptr;
  if (probe == nullptr) return false;
  std::fclose(probe);
  return true;
}

bool CanReadFileBytes(const char* path) {
  FILE* probe = path != nullptr ? std::fopen(path, "rb") : nullptr;
  if (probe == nullptr) return false;
  // a directory may open, but no read of it succeeds
  const bool reads = std::fgetc(probe) != EOF || !std::ferror(probe);
  std::fclose(probe);
  return reads;
}
