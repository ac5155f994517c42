#include "platform/platform.h"

#ifdef _WIN32
#include <windows.h>

void DebugOutput(const char* text) {
  OutputDebugStringA(text);
}
#else
#include <cstdio>

void DebugOutput(const char* text) {
  std::fputs(text, stderr);
  std::fflush(stderr);
}
#endif
