/* The host program, plain C, for Linux and (mingw-w64) 32- and 64-bit
 * Windows. It loads the library at run time and finds every call under the
 * name a host of its platform uses (_MP4FileOpen@8 in the 32-bit DLL), then
 * prints a transcript: results, digests of what was read, and what the
 * library prints and sends to the debugger channel. The Windows transcripts
 * must be the Linux one (cmake/compare_hosts.cmake).
 *
 *   ornivex_host LIBRARY read FILE...  what the library reads from each file
 *   ornivex_host LIBRARY write         writes, reads back and merges movies
 *                                      in the current directory */
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include "ornivex.h"

#ifdef _WIN32
#include <windows.h>
#define OPEN(path) LoadLibraryA(path)
#define SYMBOL(library, name) GetProcAddress(library, name)
#else
#include <dlfcn.h>
#include <unistd.h>
#define OPEN(path) dlopen(path, RTLD_NOW | RTLD_LOCAL)
#define SYMBOL(library, name) dlsym(library, name)
#endif

/* Every call, with the bytes of its arguments on 32-bit x86. */
// clang-format off
#define CALLS(X)                                                                       \
  X(MP4FileOpen, 8) X(MP4FileClose, 4) X(MP4GetNextSample, 20) X(GetSample, 20)        \
  X(SeekTrack, 20) X(MP4freeData, 4) X(GoToBeginOfKeyFrame, 8) X(GoToEndOfKeyFrame, 8) \
  X(MP4NextKeyFrame, 16) X(MP4PrevKeyFrame, 16) X(GetM4vEsdsData, 20)                  \
  X(GetM4aEsdsData, 12) X(GetFileInfo, 8) X(GetM4vHeaderSize, 12) X(MP4FileNew, 8)     \
  X(CreateTrack, 56) X(AddVideoFrame, 20) X(AddAudioFrame, 16) X(MP4FileFlush, 4)      \
  X(Mp4AddAudio, 12) X(Mp4AddVideo, 16)
// clang-format on

static struct {
#define POINTER(name, bytes) __typeof__(&name) name;
  CALLS(POINTER)
} api;

typedef void (*Proc)(void);

static Proc Find(void* library, const char* name, int bytes) {
  char exported[64];
#if defined(_WIN32) && !defined(_WIN64)
  snprintf(exported, sizeof exported, "_%s@%d", name, bytes); /* as __stdcall decorates */
#else
  snprintf(exported, sizeof exported, "%s", name);
  (void)bytes;
#endif
  Proc proc = (Proc)SYMBOL(library, exported);
  if (proc == NULL) printf("the library does not export %s\n", exported);
  return proc;
}

static int Load(const char* path) {
  void* library = OPEN(path);
  if (library == NULL) printf("cannot load %s\n", path);
  int found = library != NULL;
#define FIND(name, bytes) \
  found = found && (api.name = (__typeof__(&name))Find(library, #name, bytes));
  CALLS(FIND)
  return found;
}

#ifdef _WIN32
/* OutputDebugStringA raises DBG_PRINTEXCEPTION_C with the text's length and
 * address, which a vectored handler sees as a debugger would. */
static LONG CALLBACK PrintDebugString(EXCEPTION_POINTERS* e) {
  const EXCEPTION_RECORD* r = e->ExceptionRecord;
  if (r->ExceptionCode != 0x40010006 || r->NumberParameters < 2) return EXCEPTION_CONTINUE_SEARCH;
  printf("%s", (const char*)r->ExceptionInformation[1]);
  return EXCEPTION_CONTINUE_EXECUTION;
}
#endif

typedef struct Digest {
  uint32_t count, bytes, data, times; /* data, times: FNV-1a */
} Digest;
typedef struct Media {
  Digest samples, keys;
} Media;
static const Digest kEmpty = {0, 0, 2166136261u, 2166136261u};
static Media got[3]; /* what tracks 1 and 2 of the last file read as */

static uint32_t Fnv(uint32_t h, const unsigned char* p, uint32_t n) {
  for (uint32_t i = 0; i < n; ++i) h = (h ^ p[i]) * 16777619u;
  return h;
}

static void Add(Digest* d, const unsigned char* data, uint32_t size, uint32_t time) {
  const unsigned char t[4] = {time >> 24, time >> 16 & 255, time >> 8 & 255, time & 255};
  ++d->count;
  d->bytes += size;
  d->data = Fnv(d->data, data, size);
  d->times = Fnv(d->times, t, sizeof t);
}

/* Every sample of a track, then its key frames forward and back. */
static void Walk(MP4_input_file* file, uint32_t track) {
  static const char* const kWalks[] = {"samples", "key frames", "key frames back"};
  for (int walk = 0; walk < 3; ++walk) {
    const int32_t start = walk == 0   ? 1
                          : walk == 1 ? api.GoToBeginOfKeyFrame(file, track)
                                      : api.GoToEndOfKeyFrame(file, track);
    Digest d = kEmpty;
    unsigned char* data = NULL;
    uint32_t size = 0, time = 0;
    while (d.count < 4000000 &&
           (walk == 0   ? api.MP4GetNextSample(file, track, &data, &size, &time)
            : walk == 1 ? api.MP4NextKeyFrame(file, track, &data, &size)
                        : api.MP4PrevKeyFrame(file, track, &data, &size)) == 1) {
      Add(&d, data, size, time);
      api.MP4freeData(&data);
    }
    printf("%s %u (start %d): %u, %u bytes, data %08x, times %08x\n", kWalks[walk], track, start,
           d.count, d.bytes, d.data, d.times);
    if (track <= 2 && walk < 2) *(walk == 0 ? &got[track].samples : &got[track].keys) = d;
  }
}

static void ReadByTime(MP4_input_file* file, uint32_t track) {
  static const int32_t kTimes[] = {-1, 0, 1, 999, 1000, 3077, 7000, 44100, 90000, 2000000000};
  for (size_t i = 0; i < sizeof kTimes / sizeof kTimes[0]; ++i)
    for (int seek = 0; seek < 2; ++seek) {
      unsigned char* data = NULL;
      uint32_t size = 0;
      const int32_t r = seek ? api.SeekTrack(file, track, kTimes[i], &data, &size)
                             : api.GetSample(file, track, kTimes[i], &data, &size);
      printf("%s %u at %d: %d, %u bytes, data %08x\n", seek ? "SeekTrack" : "GetSample", track,
             kTimes[i], r, r >= 0 ? size : 0, r >= 0 && data ? Fnv(2166136261u, data, size) : 0);
      if (r >= 0) api.MP4freeData(&data);
    }
}

/* Prints what the library reads of a file; 1 when a file written here
 * (`video` and `audio` given) does not read back as written. */
static int Describe(const char* path, const Media* video, const Media* audio) {
  printf("== [%s]\n", path);
  FileInfo info;
  memset(&info, 0xAB, sizeof info);
  const int32_t r = api.GetFileInfo(path, &info);
  printf("GetFileInfo: %d:", r);
  for (size_t i = 0; i < sizeof info / 4; ++i) printf(" %u", ((const uint32_t*)&info)[i]);
  uint32_t width = 0, height = 0, length = 0;
  const int32_t header = api.GetM4vHeaderSize(path, &width, &height);
  printf("\nGetM4vHeaderSize: %d, %ux%u\n", header, width, height);
  MP4_input_file* file = NULL;
  const int32_t opened = api.MP4FileOpen(&file, path);
  printf("MP4FileOpen: %d\n", opened);
  memset(got, 0, sizeof got);
  if (opened == 1) {
    for (uint32_t track = 1; track <= 4; ++track) {
      Walk(file, track);
      ReadByTime(file, track);
    }
    unsigned char out[ORNIVEX_ESDS_DATA_MAX];
    int32_t c = api.GetM4vEsdsData(file, out, &width, &height, &length);
    printf("GetM4vEsdsData: %d, %ux%u, %u bytes, data %08x\n", c, width, height, length,
           c == 1 ? Fnv(2166136261u, out, length) : 0);
    c = api.GetM4aEsdsData(file, out, &length);
    printf("GetM4aEsdsData: %d, %u bytes, data %08x\n", c, length,
           c == 1 ? Fnv(2166136261u, out, length) : 0);
  }
  if (file != NULL) printf("MP4FileClose: %d\n", api.MP4FileClose(&file));
  if (video == NULL || (memcmp(&got[1], video, sizeof *video) == 0 &&
                        memcmp(&got[2].samples, &audio->samples, sizeof(Digest)) == 0))
    return 0;
  printf("%s does not read back as written\n", path);
  return 1;
}

static unsigned char frame[4096];

static unsigned char* Note(Media* m, uint32_t size, uint32_t time, int key) {
  Add(&m->samples, frame, size, time);
  if (key) Add(&m->keys, frame, size, 0);
  return frame;
}

/* A frame that starts with what a file opened in text mode would change:
 * line ends, the end-of-file mark, a zero. */
static unsigned char* Fill(Media* m, uint32_t size, uint32_t seed, uint32_t time, int key) {
  static const unsigned char kTextModeTraps[] = {'\r', '\n', 0x1A, 0, '\n', '\r'};
  uint32_t x = seed * 2654435761u + 1;
  for (uint32_t i = 0; i < size; ++i) {
    x = x * 1103515245u + 12345u;
    frame[i] = i < sizeof kTextModeTraps ? kTextModeTraps[i] : (unsigned char)(x >> 16);
  }
  return Note(m, size, time, key);
}

/* The 7-byte ADTS header of an AAC LC frame, mono at 44100 Hz, no CRC. */
static const unsigned char* Adts(uint32_t length, unsigned char* h) {
  const unsigned char header[7] = {
      0xFF, 0xF1, 0x50, 0x40 | length >> 11, length >> 3 & 255, (length & 7) << 5 | 0x1F, 0xFC};
  return memcpy(h, header, sizeof header);
}

/* A 176 x 144 MPEG-4 Visual configuration: the video object start code and
 * a video object layer header. */
static const unsigned char kVol[] = {0,    0,    1,    0,    0,    0,    1,    0x20, 0x01,
                                     0x88, 0x40, 0x07, 0xA8, 0x2C, 0x20, 0x90, 0xA3, 0x1F};

#define SAY(call) printf("%s: %d\n", #call, call)

static int Write(void) {
  SAY(api.MP4FileFlush(NULL)); /* the debugger channel says why */
  Media video = {kEmpty, kEmpty}, audio = video, adts = video, vops = video;
  MP4_local_file* file = NULL;
  unsigned char h[7];
  SAY(api.MP4FileNew(&file, "movie.mp4"));
  SAY(api.CreateTrack(file, 1, 176, 144, 30, 25000, 3, 0, 0, 0, sizeof kVol, kVol, "video.tmp", 1));
  SAY(api.CreateTrack(file, 2, 0, 0, 0, 44100, 0, 1, 1, 44100, 7, Adts(107, h), "audio.tmp", 1));
  for (int32_t type = 3; type <= 5; ++type) /* 3, hint, is refused */
    SAY(api.CreateTrack(file, type, 0, 0, 0, 1000, 0, 0, 0, 0, 0, NULL, NULL, 0));
  printf("AddVideoFrame:");
  static const uint32_t kSizes[] = {1, 2, 3000, 10, 4095, 26, 512, 13, 1000, 7, 2048, 255};
  for (uint32_t i = 0; i < 12; ++i) /* a key flag other than 1 means none */
    printf(" %d",
           api.AddVideoFrame(file, kSizes[i], Fill(&video, kSizes[i], i, 1000 * i, i % 4 == 0),
                             1000 * i, i % 4 == 0 ? 1 : (int32_t)(i % 2) * 2));
  printf("\nAddAudioFrame:");
  for (uint32_t i = 0; i < 20; ++i)
    printf(" %d", api.AddAudioFrame(file, 100 + 37 * i,
                                    Fill(&audio, 100 + 37 * i, 50 + i, 1024 * i, 0), 1024 * i));
  printf("\n");
  SAY(api.MP4FileFlush(file));
  int failed = Describe("movie.mp4", &video, &audio);

  FILE* f = fopen("tone.aac", "wb");
  for (uint32_t i = 0; i < 15; ++i) {
    const uint32_t size = 50 + 13 * i;
    fwrite(Adts(7 + size, h), 1, 7, f);
    fwrite(Fill(&adts, size, 80 + i, 1024 * i, 0), 1, size, f);
  }
  fclose(f);
  f = fopen("stream.m4v", "wb");
  fwrite(kVol, 1, sizeof kVol, f);
  for (uint32_t i = 0; i < 6; ++i) { /* VOPs at 7.5 Hz, intra coded (key frames) or predicted */
    const unsigned char start[] = {0, 0, 1, 0xB6, (i % 3 ? 1 : 0) << 6 | 0x15};
    for (uint32_t b = 0; b < 5 + 40 * i; ++b) /* and no start code inside */
      frame[b] = b < 5 ? start[b] : b % 5 == 0 ? '\n' : b % 7 == 0 ? 0x1A : (unsigned char)(64 + b);
    fwrite(Note(&vops, 5 + 40 * i, (uint32_t)(i * 1000.0 / 7.5), i % 3 == 0), 1, 5 + 40 * i, f);
  }
  fclose(f);
  SAY(api.Mp4AddAudio("movie.mp4", "tone.aac", "with-audio.mp4"));
  failed |= Describe("with-audio.mp4", &video, &adts);
  SAY(api.Mp4AddVideo("movie.mp4", "stream.m4v", "with-video.mp4", 7.5f));
  failed |= Describe("with-video.mp4", &vops, &audio);
  Describe("stream.m4v", NULL, NULL);
  SAY(api.Mp4AddAudio("movie.mp4", "absent.aac", "refused.mp4"));
  SAY(api.Mp4AddVideo("movie.mp4", "stream.m4v", "refused.mp4", 0.0f));
  return failed;
}

int main(int argc, char** argv) {
  const int read = argc >= 4 && strcmp(argv[2], "read") == 0;
  if (!read && (argc != 3 || strcmp(argv[2], "write") != 0)) {
    printf("usage: %s LIBRARY read FILE... | %s LIBRARY write\n", argv[0], argv[0]);
    return 2;
  }
  if (!Load(argv[1])) return 1;
#ifdef _WIN32
  AddVectoredExceptionHandler(1, PrintDebugString);
#else
  setvbuf(stdout, NULL, _IONBF, 0); /* what the library prints, in order with */
  dup2(1, 2);                       /* its debugger channel, standard error here */
#endif
  if (!read) return Write();
  for (int i = 3; i < argc; ++i) Describe(argv[i], NULL, NULL);
  return 0;
}
