// What the tool needs of the system beyond the C library, for Linux and
// Windows alike.
#ifndef ORNIVEX_TOOLS_TOOL_PLATFORM_H
#define ORNIVEX_TOOLS_TOOL_PLATFORM_H

// True when both paths name one existing file (also through links).
bool IsSameFile(const char* a, const char* b);

// Moves `from` to `to`, replacing a file there; false with errno set.
bool MoveReplacing(const char* from, const char* to);

#endif  // ORNIVEX_TOOLS_TOOL_PLATFORM_H
