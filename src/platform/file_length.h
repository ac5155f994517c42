// Measuring an open file.
#ifndef ORNIVEX_PLATFORM_FILE_LENGTH_H
#define ORNIVEX_PLATFORM_FILE_LENGTH_H

#include <cstdio>

// The length of an open file, measured in 64 bits on every system, with
// the position left at the end; -1 when it cannot be had.
long long FileLength(FILE* stream);

#endif  // ORNIVEX_PLATFORM_FILE_LENGTH_H
