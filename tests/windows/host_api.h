/* The library's calls as a host program finds them: the library is loaded at
 * run time and every call looked up under the name a host on this platform
 * uses (the decorated _MP4FileOpen@8 from the 32-bit Windows DLL, the plain
 * name elsewhere). Plain C, for mingw-w64 and for Linux alike. */
#ifndef ORNIVEX_HOST_API_H
#define ORNIVEX_HOST_API_H

#include <stdio.h>
#include <string.h>

#include "ornivex.h"

#ifdef _WIN32
#include <windows.h>
typedef HMODULE HostLibrary;
#else
#include <dlfcn.h>
typedef void* HostLibrary;
#endif

/* Every call: its name, the bytes of its arguments on 32-bit x86 (what the
 * decorated name ends in) and its parameters; each returns int32_t. */
#define ORNIVEX_HOST_CALLS(X)                                                                 \
  X(MP4FileOpen, 8, (MP4_input_file**, const char*))                                          \
  X(MP4FileClose, 4, (MP4_input_file**))                                                      \
  X(MP4GetNextSample, 20, (MP4_input_file*, uint32_t, unsigned char**, uint32_t*, uint32_t*)) \
  X(GetSample, 20, (MP4_input_file*, uint32_t, int32_t, unsigned char**, uint32_t*))          \
  X(SeekTrack, 20, (MP4_input_file*, uint32_t, int32_t, unsigned char**, uint32_t*))          \
  X(MP4freeData, 4, (unsigned char**))                                                        \
  X(GoToBeginOfKeyFrame, 8, (MP4_input_file*, uint32_t))                                      \
  X(GoToEndOfKeyFrame, 8, (MP4_input_file*, uint32_t))                                        \
  X(MP4NextKeyFrame, 16, (MP4_input_file*, uint32_t, unsigned char**, uint32_t*))             \
  X(MP4PrevKeyFrame, 16, (MP4_input_file*, uint32_t, unsigned char**, uint32_t*))             \
  X(GetM4vEsdsData, 20, (MP4_input_file*, unsigned char*, uint32_t*, uint32_t*, uint32_t*))   \
  X(GetM4aEsdsData, 12, (MP4_input_file*, unsigned char*, uint32_t*))                         \
  X(GetFileInfo, 8, (const char*, FileInfo*))                                                 \
  X(GetM4vHeaderSize, 12, (const char*, uint32_t*, uint32_t*))                                \
  X(MP4FileNew, 8, (MP4_local_file**, const char*))                                           \
  X(CreateTrack, 56,                                                                          \
    (MP4_local_file*, int32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t,    \
     uint32_t, uint32_t, uint32_t, const unsigned char*, const char*, uint32_t))              \
  X(AddVideoFrame, 20, (MP4_local_file*, uint32_t, const unsigned char*, uint32_t, int32_t))  \
  X(AddAudioFrame, 16, (MP4_local_file*, uint32_t, const unsigned char*, uint32_t))           \
  X(MP4FileFlush, 4, (MP4_local_file*))                                                       \
  X(Mp4AddAudio, 12, (const char*, const char*, const char*))                                 \
  X(Mp4AddVideo, 16, (const char*, const char*, const char*, float))

typedef struct OrnivexApi {
#define ORNIVEX_HOST_POINTER(name, bytes, params) int32_t(ORNIVEX_CALL* name) params;
  ORNIVEX_HOST_CALLS(ORNIVEX_HOST_POINTER)
#undef ORNIVEX_HOST_POINTER
} OrnivexApi;

/* Any function pointer, until it is given its type. */
typedef void (*HostProc)(void);

/* The name under which the library exports a call. */
static inline void ExportName(const char* name, int bytes, char* out, size_t size) {
#if defined(_WIN32) && !defined(_WIN64)
  snprintf(out, size, "_%s@%d", name, bytes);
#else
  (void)bytes; /* one calling convention, no decoration */
  snprintf(out, size, "%s", name);
#endif
}

static inline HostProc FindExport(HostLibrary library, const char* exported) {
#ifdef _WIN32
  return (HostProc)GetProcAddress(library, exported);
#else
  void* symbol = dlsym(library, exported);
  HostProc proc;
  memcpy(&proc, &symbol, sizeof proc);
  return proc;
#endif
}

static inline HostProc FindCall(HostLibrary library, const char* name, int bytes, int* missing) {
  char exported[64];
  ExportName(name, bytes, exported, sizeof exported);
  HostProc proc = FindExport(library, exported);
  if (proc == NULL) {
    printf("the library does not export %s\n", exported);
    ++*missing;
  }
#if defined(_WIN32) && !defined(_WIN64)
  /* the 32-bit DLL exports the decorated names only */
  if (FindExport(library, name) != NULL) {
    printf("the library also exports the plain name %s\n", name);
    ++*missing;
  }
#endif
  return proc;
}

/* Loads the library at `path` and finds all 21 calls; 0 (after saying
 * why) unless it has every one. */
static inline int LoadOrnivex(const char* path, OrnivexApi* api) {
#ifdef _WIN32
  HostLibrary library = LoadLibraryA(path);
  if (library == NULL) {
    printf("LoadLibraryA(%s) failed: error %lu\n", path, (unsigned long)GetLastError());
    return 0;
  }
#else
  HostLibrary library = dlopen(path, RTLD_NOW | RTLD_LOCAL);
  if (library == NULL) {
    printf("dlopen(%s) failed: %s\n", path, dlerror());
    return 0;
  }
#endif
  int missing = 0;
#define ORNIVEX_HOST_FIND(name, bytes, params) \
  api->name = (int32_t(ORNIVEX_CALL*) params)FindCall(library, #name, bytes, &missing);
  ORNIVEX_HOST_CALLS(ORNIVEX_HOST_FIND)
#undef ORNIVEX_HOST_FIND
  /* the library stays loaded until the process ends */
  return missing == 0;
}

#endif /* ORNIVEX_HOST_API_H */
