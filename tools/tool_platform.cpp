#include "tool_platform.h"

#include <cerrno>
#include <cstdio>

#ifdef _WIN32
#include <windows.h>

namespace {

// The volume and the file's index on it, which Windows keeps where a Unix
// system has the device and the inode (stat's st_ino is always 0 here).
bool FileIdentity(const char* path, BY_HANDLE_FILE_INFORMATION* info) {
  const HANDLE h = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  const bool known = GetFileInformationByHandle(h, info) != 0;
  CloseHandle(h);
  return known;
}

}  // namespace

bool IsSameFile(const char* a, const char* b) {
  BY_HANDLE_FILE_INFORMATION x, y;
  return FileIdentity(a, &x) && FileIdentity(b, &y) &&
         x.dwVolumeSerialNumber == y.dwVolumeSerialNumber && x.nFileIndexHigh == y.nFileIndexHigh &&
         x.nFileIndexLow == y.nFileIndexLow;
}

// rename() refuses an existing target on Windows.
bool MoveReplacing(const char* from, const char* to) {
  if (MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING) != 0) return true;
  errno = GetLastError() == ERROR_ACCESS_DENIED ? EACCES : EIO;
  return false;
}
#else
#include <sys/stat.h>

bool IsSameFile(const char* a, const char* b) {
  struct stat sa, sb;
  return stat(a, &sa) == 0 && stat(b, &sb) == 0 && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

bool MoveReplacing(const char* from, const char* to) {
  return std::rename(from, to) == 0;
}
#endif
