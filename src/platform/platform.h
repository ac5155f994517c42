// The little that the library needs of the operating system.
#ifndef ORNIVEX_PLATFORM_PLATFORM_H
#define ORNIVEX_PLATFORM_PLATFORM_H

#include <cstddef>
#include <cstdint>
#include <cstdio>

// Writes one text to the debugger output channel (standard error where
// there is no debugger channel). The text carries its own line end.
void DebugOutput(const char* text);

// Deletes a file by name; true when it was deleted.
bool DeleteFileByName(const char* path);

// Whether a file of that name can be opened for reading (false for null).
bool CanReadFile(const char* path);
// Whether it opens and its bytes can be read: false also for a directory,
// which opens for reading on some systems (an empty file reads).
bool CanReadFileBytes(const char* path);

// Reads `size` bytes at `offset` of the stream's file into `out`, past the
// stream's buffer and without a seek (pread, or ReadFile at an offset);
// false unless all of them arrive. The stream's position is not to be
// relied on afterwards: its own reads seek first.
bool ReadFileAt(FILE* stream, uint64_t offset, void* out, size_t size);

#endif  // ORNIVEX_PLATFORM_PLATFORM_H
