// The little that the library needs of the operating system.
#ifndef ORNIVEX_PLATFORM_PLATFORM_H
#define ORNIVEX_PLATFORM_PLATFORM_H

// Writes one text to the debugger output channel (standard error where
// there is no debugger channel). The text carries its own line end.
void DebugOutput(const char* text);

// Deletes a file by name; true when it was deleted.
bool DeleteFileByName(const char* path);

// Whether a file of that name can be opened for reading (false for null).
bool CanReadFile(const char* path);

#endif  // ORNIVEX_PLATFORM_PLATFORM_H
