/* A reading host: prints what the library reads from each file (sample
 * counts and checksums of the samples' bytes and time stamps, the key
 * frames both ways, reads by time, the decoder configurations and
 * GetFileInfo's 24 words), together with what the library itself prints,
 * so that the same program built for another platform can be compared
 * line by line.
 *
 *   ornivex_read LIBRARY FILE...
 *
 * Files are named by their last path component only. */
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include "host_api.h"
#include "host_platform.h"

enum { kFirstTrack = 1, kLastTrack = 4, kMaxSamples = 4000000 };

typedef struct Digest {
  uint32_t count;
  uint64_t bytes;
  uint32_t data;  /* FNV-1a over the bytes */
  uint32_t times; /* FNV-1a over the time stamps */
} Digest;

static uint32_t Fnv(uint32_t h, const unsigned char* p, uint32_t n) {
  for (uint32_t i = 0; i < n; ++i) h = (h ^ p[i]) * 16777619u;
  return h;
}

static void Add(Digest* d, const unsigned char* data, uint32_t size, uint32_t time) {
  const unsigned char t[4] = {(unsigned char)(time >> 24), (unsigned char)(time >> 16),
                              (unsigned char)(time >> 8), (unsigned char)time};
  ++d->count;
  d->bytes += size;
  d->data = Fnv(d->data, data, size);
  d->times = Fnv(d->times, t, sizeof t);
}

static void Print(const char* what, uint32_t track, const Digest* d) {
  printf("%s %u: %u, %llu bytes, data %08x, times %08x\n", what, track, d->count,
         (unsigned long long)d->bytes, d->data, d->times);
  fflush(stdout);
}

static void ReadSamples(const OrnivexApi* api, MP4_input_file* file, uint32_t track) {
  Digest d = {0, 0, 2166136261u, 2166136261u};
  unsigned char* data = NULL;
  uint32_t size = 0, time = 0;
  while (d.count < kMaxSamples && api->MP4GetNextSample(file, track, &data, &size, &time) == 1) {
    Add(&d, data, size, time);
    api->MP4freeData(&data);
  }
  Print("samples", track, &d);
}

static void ReadKeyFrames(const OrnivexApi* api, MP4_input_file* file, uint32_t track) {
  for (int backwards = 0; backwards < 2; ++backwards) {
    Digest d = {0, 0, 2166136261u, 2166136261u};
    const int32_t start =
        backwards ? api->GoToEndOfKeyFrame(file, track) : api->GoToBeginOfKeyFrame(file, track);
    unsigned char* data = NULL;
    uint32_t size = 0;
    while (d.count < kMaxSamples &&
           (backwards ? api->MP4PrevKeyFrame(file, track, &data, &size)
                      : api->MP4NextKeyFrame(file, track, &data, &size)) == 1) {
      Add(&d, data, size, 0);
      api->MP4freeData(&data);
    }
    printf("(start %d) ", start);
    Print(backwards ? "key frames back" : "key frames", track, &d);
  }
}

static void ReadByTime(const OrnivexApi* api, MP4_input_file* file, uint32_t track) {
  static const int32_t kTimes[] = {-1, 0, 1, 999, 1000, 44100, 90000, 2000000000};
  for (size_t i = 0; i < sizeof kTimes / sizeof kTimes[0]; ++i)
    for (int seek = 0; seek < 2; ++seek) {
      unsigned char* data = NULL;
      uint32_t size = 0;
      const int32_t r = seek ? api->SeekTrack(file, track, kTimes[i], &data, &size)
                             : api->GetSample(file, track, kTimes[i], &data, &size);
      const uint32_t sum = r >= 0 && data != NULL ? Fnv(2166136261u, data, size) : 0;
      printf("%s %u at %d: %d, %u bytes, data %08x\n", seek ? "SeekTrack" : "GetSample", track,
             kTimes[i], r, r >= 0 ? size : 0, sum);
      if (r >= 0) api->MP4freeData(&data);
    }
  fflush(stdout);
}

static void ReadConfigurations(const OrnivexApi* api, MP4_input_file* file) {
  unsigned char out[ORNIVEX_ESDS_DATA_MAX];
  uint32_t width = 0, height = 0, length = 0;
  int32_t r = api->GetM4vEsdsData(file, out, &width, &height, &length);
  printf("GetM4vEsdsData: %d, %ux%u, %u bytes, data %08x\n", r, width, height, length,
         r == 1 ? Fnv(2166136261u, out, length) : 0);
  length = 0;
  r = api->GetM4aEsdsData(file, out, &length);
  printf("GetM4aEsdsData: %d, %u bytes, data %08x\n", r, length,
         r == 1 ? Fnv(2166136261u, out, length) : 0);
  fflush(stdout);
}

static void DescribeFile(const OrnivexApi* api, const char* path) {
  printf("== %s\n", BaseName(path));
  fflush(stdout);
  FileInfo info;
  memset(&info, 0xAB, sizeof info);
  const int32_t r = api->GetFileInfo(path, &info);
  const uint32_t* word = (const uint32_t*)&info;
  printf("GetFileInfo: %d:", r);
  for (size_t i = 0; i < sizeof info / sizeof *word; ++i) printf(" %u", word[i]);
  printf("\n");
  uint32_t width = 0, height = 0;
  const int32_t header = api->GetM4vHeaderSize(path, &width, &height);
  printf("GetM4vHeaderSize: %d, %ux%u\n", header, width, height);
  fflush(stdout);

  MP4_input_file* file = NULL;
  const int32_t opened = api->MP4FileOpen(&file, path);
  printf("MP4FileOpen: %d\n", opened);
  fflush(stdout);
  if (opened == 1) {
    for (uint32_t track = kFirstTrack; track <= kLastTrack; ++track) {
      ReadSamples(api, file, track);
      ReadKeyFrames(api, file, track);
      ReadByTime(api, file, track);
    }
    ReadConfigurations(api, file);
  }
  if (file != NULL) printf("MP4FileClose: %d\n", api->MP4FileClose(&file));
  fflush(stdout);
}

int main(int argc, char** argv) {
  if (argc < 2) {
    printf("usage: %s LIBRARY FILE...\n", argv[0]);
    return 2;
  }
  OrnivexApi api;
  if (!LoadOrnivex(argv[1], &api)) return 1;
  for (int i = 2; i < argc; ++i) DescribeFile(&api, argv[i]);
  return 0;
}
