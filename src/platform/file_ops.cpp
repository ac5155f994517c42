#include <cstdio>

#include "platform/platform.h"

bool DeleteFileByName(const char* path) {
  return path != nullptr && std::remove(path) == 0;
}
