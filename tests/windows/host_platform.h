/* What the host programs need of the operating system: paths, the files in
 * a directory, and what the library writes to the debugger output channel
 * (OutputDebugStringA on Windows, standard error elsewhere). */
#ifndef ORNIVEX_HOST_PLATFORM_H
#define ORNIVEX_HOST_PLATFORM_H

#include <stdio.h>
#include <string.h>

#ifdef _WIN32
#include <windows.h>
#define HOST_SEPARATOR "\\"
#else
#include <dirent.h>
#include <unistd.h>
#define HOST_SEPARATOR "/"
#endif

#define HOST_PATH_MAX 512

static inline void JoinPath(const char* dir, const char* name, char* out) {
  snprintf(out, HOST_PATH_MAX, "%s%s%s", dir, HOST_SEPARATOR, name);
}

/* The part of a path after its last separator of either kind. */
static inline const char* BaseName(const char* path) {
  const char* base = path;
  for (const char* p = path; *p != '\0'; ++p)
    if (*p == '/' || *p == '\\') base = p + 1;
  return base;
}

static inline int ChangeDirectory(const char* dir) {
#ifdef _WIN32
  return SetCurrentDirectoryA(dir) != 0;
#else
  return chdir(dir) == 0;
#endif
}

static inline int FileExists(const char* path) {
#ifdef _WIN32
  return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
#else
  return access(path, F_OK) == 0;
#endif
}

/* Bytes in a file, -1 when it cannot be read. */
static inline long FileSize(const char* path) {
  FILE* f = fopen(path, "rb");
  if (f == NULL) return -1;
  long size = fseek(f, 0, SEEK_END) == 0 ? ftell(f) : -1;
  fclose(f);
  return size;
}

/* Calls `visit` with the name of every file in `dir`; 0 when the directory
 * cannot be listed. */
static inline int ForEachFile(const char* dir, void (*visit)(const char* name, void* context),
                              void* context) {
#ifdef _WIN32
  char pattern[HOST_PATH_MAX];
  JoinPath(dir, "*", pattern);
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA(pattern, &found);
  if (search == INVALID_HANDLE_VALUE) return 0;
  do {
    if (strcmp(found.cFileName, ".") != 0 && strcmp(found.cFileName, "..") != 0)
      visit(found.cFileName, context);
  } while (FindNextFileA(search, &found));
  FindClose(search);
#else
  DIR* d = opendir(dir);
  if (d == NULL) return 0;
  for (struct dirent* e = readdir(d); e != NULL; e = readdir(d))
    if (strcmp(e->d_name, ".") != 0 && strcmp(e->d_name, "..") != 0) visit(e->d_name, context);
  closedir(d);
#endif
  return 1;
}

/* What the library sends to the debugger output channel between
 * BeginDebugCapture and EndDebugCapture. */
#ifdef _WIN32
#ifndef DBG_PRINTEXCEPTION_C
#define DBG_PRINTEXCEPTION_C 0x40010006
#endif
/* OutputDebugStringA raises DBG_PRINTEXCEPTION_C with the text's length
 * and address; a vectored handler sees it as a debugger would. The handler
 * has no context argument, hence this one static buffer. */
static char captured_debug_text[1024];

static inline LONG CALLBACK CaptureDebugString(EXCEPTION_POINTERS* e) {
  const EXCEPTION_RECORD* r = e->ExceptionRecord;
  if (r->ExceptionCode != DBG_PRINTEXCEPTION_C || r->NumberParameters < 2)
    return EXCEPTION_CONTINUE_SEARCH;
  const char* text = (const char*)r->ExceptionInformation[1];
  size_t used = strlen(captured_debug_text);
  snprintf(captured_debug_text + used, sizeof captured_debug_text - used, "%s", text);
  return EXCEPTION_CONTINUE_EXECUTION;
}

typedef struct DebugCapture {
  PVOID handler;
} DebugCapture;

static inline int BeginDebugCapture(DebugCapture* c) {
  captured_debug_text[0] = '\0';
  c->handler = AddVectoredExceptionHandler(1, CaptureDebugString);
  return c->handler != NULL;
}

static inline void EndDebugCapture(DebugCapture* c, char* text, size_t size) {
  RemoveVectoredExceptionHandler(c->handler);
  snprintf(text, size, "%s", captured_debug_text);
}
#else
typedef struct DebugCapture {
  int saved;
  FILE* sink;
} DebugCapture;

static inline int BeginDebugCapture(DebugCapture* c) {
  fflush(stderr);
  c->sink = tmpfile();
  c->saved = dup(2);
  if (c->sink == NULL || c->saved < 0 || dup2(fileno(c->sink), 2) < 0) return 0;
  return 1;
}

static inline void EndDebugCapture(DebugCapture* c, char* text, size_t size) {
  fflush(stderr);
  dup2(c->saved, 2);
  close(c->saved);
  rewind(c->sink);
  size_t n = fread(text, 1, size - 1, c->sink);
  text[n] = '\0';
  fclose(c->sink);
}
#endif

#endif /* ORNIVEX_HOST_PLATFORM_H */
