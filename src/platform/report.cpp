#include "platform/report.h"

#include <cstdarg>
#include <cstdio>

#include "platform/platform.h"

void Report(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::vprintf(format, args);
  va_end(args);
}

void DebugReport(const char* format, ...) {
  // One line at a time: the debugger channel takes whole texts.
  char text[512];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  DebugOutput(text);
}
