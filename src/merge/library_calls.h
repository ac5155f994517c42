// The merge works through the library's C calls, as any host would; this
// is the one place where it reads their results.
#ifndef ORNIVEX_MERGE_LIBRARY_CALLS_H
#define ORNIVEX_MERGE_LIBRARY_CALLS_H

#include <cstdint>

#include "ornivex.h"

// Every call of the library reports success as 1.
inline bool Succeeded(int32_t result) {
  return result == 1;
}

#endif  // ORNIVEX_MERGE_LIBRARY_CALLS_H
