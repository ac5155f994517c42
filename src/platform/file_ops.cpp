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
