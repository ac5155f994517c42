// The library's two diagnostic channels. Every message goes through one of
// these, with a literal format that the compiler checks.
#ifndef ORNIVEX_PLATFORM_REPORT_H
#define ORNIVEX_PLATFORM_REPORT_H

#if defined(__GNUC__) || defined(__clang__)
#define ORNIVEX_PRINTF(f, a) __attribute__((format(printf, f, a)))
#else
#define ORNIVEX_PRINTF(f, a)
#endif

// Standard output: the reading side and every atom-level routine.
void Report(const char* format, ...) ORNIVEX_PRINTF(1, 2);

// The debugger output channel: the writing exports and the buffer class.
void DebugReport(const char* format, ...) ORNIVEX_PRINTF(1, 2);

#endif  // ORNIVEX_PLATFORM_REPORT_H
