// Reads at an offset straight into the caller's memory: no seek, and none
// of the stream's buffering, so a sample is copied once from the system's
// cache. The stream only lends its descriptor.
#include "platform/platform.h"

#ifdef _WIN32
#include <io.h>
#include <windows.h>

bool ReadFileAt(FILE* stream, uint64_t offset, void* out, size_t size) {
  const HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
  if (handle == INVALID_HANDLE_VALUE) return false;
  unsigned char* at = static_cast<unsigned char*>(out);
  while (size > 0) {
    // One call reads at most a DWORD's worth. The offset moves the handle's
    // file pointer too; the stream's own reads all seek first.
    const DWORD want = size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size);
    OVERLAPPED where = {};
    where.Offset = static_cast<DWORD>(offset);
    where.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD got = 0;
    if (!ReadFile(handle, at, want, &got, &where) || got == 0) return false;
    at += got;
    offset += got;
    size -= got;
  }
  return true;
}
#else
#include <unistd.h>

#include <cerrno>

bool ReadFileAt(FILE* stream, uint64_t offset, void* out, size_t size) {
  const int descriptor = fileno(stream);
  if (descriptor < 0) return false;
  unsigned char* at = static_cast<unsigned char*>(out);
  while (size > 0) {
    const ssize_t got = pread(descriptor, at, size, static_cast<off_t>(offset));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;  // an error, or the file ends first
    at += got;
    offset += static_cast<uint64_t>(got);
    size -= static_cast<size_t>(got);
  }
  return true;
}
#endif
