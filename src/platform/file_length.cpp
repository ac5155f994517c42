// The length of an open file, in 64 bits: ftell answers in a long, which
// has 32 bits on Windows, where a file of 4 GiB and a few bytes would
// measure as those few bytes and one of 3 GB as a negative length.
#include "platform/file_length.h"

#include <cstdio>

long long FileLength(FILE* stream) {
#ifdef _WIN32
  if (_fseeki64(stream, 0, SEEK_END) != 0) return -1;
  return _ftelli64(stream);
#else
  if (fseeko(stream, 0, SEEK_END) != 0) return -1;
  return ftello(stream);
#endif
}
