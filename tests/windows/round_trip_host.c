/* A host program's write-then-read round trip through the library's calls,
 * loaded at run time: a movie written with a video, an audio and the two
 * system tracks, read back sample by sample, summarised, then merged with
 * an ADTS stream and with a raw MPEG-4 Visual stream that it writes itself.
 * Every result is checked, and in the end the directory holds only the
 * files the program made.
 *
 *   ornivex_round_trip LIBRARY DIRECTORY
 *
 * DIRECTORY must exist and be empty; it becomes the current directory,
 * where the merges keep their temporary files. Prints every failed check and
 * a last line with the counts; exits with 0 when nothing failed. */
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include "host_api.h"
#include "host_platform.h"

typedef struct Run {
  OrnivexApi api;
  int checks;
  int failed;
} Run;

/* Counts a check; prints it when `actual` is not `expected`. */
static int Expect(Run* run, long long actual, long long expected, const char* what, int line) {
  ++run->checks;
  if (actual == expected) return 1;
  ++run->failed;
  printf("line %d: %s is %lld, not %lld\n", line, what, actual, expected);
  fflush(stdout); /* seen even when a later call crashes */
  return 0;
}
/* Each argument is evaluated once: it is often the call under test. */
#define EXPECT_EQ(actual, expected) \
  Expect(run, (long long)(actual), (long long)(expected), #actual, __LINE__)
#define EXPECT_TRUE(condition) Expect(run, (condition) != 0, 1, #condition, __LINE__)

/* A 176 x 144 MPEG-4 Visual configuration: the video object start code and
 * an 18-byte video object layer header. */
static const unsigned char kQcifVol[] = {0,    0,    1,    0,    0,    0,    1,    0x20, 0x01,
                                         0x88, 0x40, 0x07, 0xA8, 0x2C, 0x20, 0x90, 0xA3, 0x1F};

#define MAX_FRAME 4096
#define VIDEO_FRAMES 12
#define AUDIO_FRAMES 20
#define ADTS_FRAMES 15
#define VOP_FRAMES 6

typedef struct Frame {
  unsigned char data[MAX_FRAME];
  uint32_t size;
  uint32_t time;
  int key;
} Frame;

typedef struct Frames {
  Frame* frame;
  int count;
} Frames;

/* Bytes that a file opened in text mode would change: line ends, the
 * end-of-file mark, a zero; then a running pattern through every value. */
static void FillFrame(Frame* f, uint32_t size, unsigned seed) {
  static const unsigned char kTextModeTraps[] = {'\r', '\n', 0x1A, 0, '\n', '\r'};
  f->size = size;
  uint32_t x = seed * 2654435761u + 1;
  for (uint32_t i = 0; i < size; ++i) {
    x = x * 1103515245u + 12345u;
    f->data[i] = i < sizeof kTextModeTraps ? kTextModeTraps[i] : (unsigned char)(x >> 16);
  }
}

/* Reads every sample of a track and compares it with the frames. */
static void ExpectSamples(Run* run, MP4_input_file* file, uint32_t track, Frames frames) {
  for (int i = 0; i < frames.count; ++i) {
    unsigned char* data = NULL;
    uint32_t size = 0, time = 0;
    if (!EXPECT_EQ(run->api.MP4GetNextSample(file, track, &data, &size, &time), 1)) return;
    const Frame* f = &frames.frame[i];
    if (EXPECT_EQ(size, f->size)) EXPECT_EQ(memcmp(data, f->data, size), 0);
    EXPECT_EQ(time, f->time);
    EXPECT_EQ(run->api.MP4freeData(&data), 1);
    EXPECT_TRUE(data == NULL);
  }
  unsigned char* data = NULL;
  uint32_t size = 0, time = 0;
  EXPECT_EQ(run->api.MP4GetNextSample(file, track, &data, &size, &time), -1);
}

/* Walks the key frames forward from the first and back from the last. */
static void ExpectKeyFrames(Run* run, MP4_input_file* file, Frames frames) {
  const OrnivexApi* api = &run->api;
  int keys[VIDEO_FRAMES], n = 0;
  for (int i = 0; i < frames.count; ++i)
    if (frames.frame[i].key) keys[n++] = i;
  for (int backwards = 0; backwards < 2; ++backwards) {
    EXPECT_EQ(backwards ? api->GoToEndOfKeyFrame(file, 1) : api->GoToBeginOfKeyFrame(file, 1), 1);
    for (int k = 0; k <= n; ++k) {
      unsigned char* data = NULL;
      uint32_t size = 0;
      const int32_t r = backwards ? api->MP4PrevKeyFrame(file, 1, &data, &size)
                                  : api->MP4NextKeyFrame(file, 1, &data, &size);
      if (k == n) {
        EXPECT_EQ(r, -1);  // past the last (first) one
        continue;
      }
      const Frame* f = &frames.frame[keys[backwards ? n - 1 - k : k]];
      if (EXPECT_EQ(r, 1) && EXPECT_EQ(size, f->size)) EXPECT_EQ(memcmp(data, f->data, size), 0);
      api->MP4freeData(&data);
    }
  }
}

/* Opens a written file and compares its video and audio tracks. */
static void ExpectMovie(Run* run, const char* path, Frames video, Frames audio) {
  MP4_input_file* file = NULL;
  if (!EXPECT_EQ(run->api.MP4FileOpen(&file, path), 1)) {
    run->api.MP4FileClose(&file);
    return;
  }
  ExpectSamples(run, file, 1, video);
  ExpectSamples(run, file, 2, audio);
  ExpectKeyFrames(run, file, video);
  EXPECT_EQ(run->api.MP4FileClose(&file), 1);
}

/* Writes the movie: video, audio, object descriptor and scene tracks. */
static void WriteMovie(Run* run, const char* path, const char* dir, Frames video, Frames audio,
                       const unsigned char* adts_header) {
  const OrnivexApi* api = &run->api;
  char video_temp[HOST_PATH_MAX], audio_temp[HOST_PATH_MAX];
  JoinPath(dir, "video.tmp", video_temp);
  JoinPath(dir, "audio.tmp", audio_temp);
  MP4_local_file* file = NULL;
  if (!EXPECT_EQ(api->MP4FileNew(&file, path), 1)) return;
  EXPECT_EQ(api->CreateTrack(file, 1, 176, 144, 30, 25000, 3, 0, 0, 0, sizeof kQcifVol, kQcifVol,
                             video_temp, 1),
            1);
  EXPECT_EQ(
      api->CreateTrack(file, 2, 0, 0, 0, 44100, 0, 1, 1, 44100, 7, adts_header, audio_temp, 1), 1);
  EXPECT_EQ(api->CreateTrack(file, 4, 0, 0, 0, 1000, 0, 0, 0, 0, 0, NULL, NULL, 0), 1);
  EXPECT_EQ(api->CreateTrack(file, 5, 0, 0, 0, 1000, 0, 0, 0, 0, 0, NULL, NULL, 0), 1);
  EXPECT_EQ(api->CreateTrack(file, 3, 0, 0, 0, 1000, 0, 0, 0, 0, 0, NULL, NULL, 0), -99);  // hint
  EXPECT_TRUE(FileExists(video_temp) && FileExists(audio_temp));
  for (int i = 0; i < video.count; ++i) {
    const Frame* f = &video.frame[i];
    /* any key flag other than 1 means none */
    EXPECT_EQ(api->AddVideoFrame(file, f->size, f->data, f->time, f->key ? 1 : (i % 2 ? 2 : 0)), 1);
  }
  for (int i = 0; i < audio.count; ++i) {
    const Frame* f = &audio.frame[i];
    EXPECT_EQ(api->AddAudioFrame(file, f->size, f->data, f->time), 1);
  }
  EXPECT_EQ(api->MP4FileFlush(file), 1);  // the record is gone
  EXPECT_TRUE(!FileExists(video_temp) && !FileExists(audio_temp));
}

/* The 7-byte ADTS header of an AAC LC frame, mono at 44100 Hz, without CRC. */
static void AdtsHeader(uint32_t frame_length, unsigned char* h) {
  h[0] = 0xFF;
  h[1] = 0xF1;
  h[2] = 0x50;  // LC, sampling index 4, channel configuration 1 (high bit)
  h[3] = (unsigned char)(0x40 | (frame_length >> 11));
  h[4] = (unsigned char)(frame_length >> 3);
  h[5] = (unsigned char)(((frame_length & 7) << 5) | 0x1F);
  h[6] = 0xFC;
}

static int WriteBytes(FILE* f, const unsigned char* data, size_t size) {
  return fwrite(data, 1, size, f) == size;
}

/* The ADTS stream and the AAC frames it carries. */
static int WriteAdts(const char* path, Frames frames) {
  FILE* f = fopen(path, "wb");
  if (f == NULL) return 0;
  int ok = 1;
  for (int i = 0; i < frames.count; ++i) {
    Frame* frame = &frames.frame[i];
    FillFrame(frame, 50 + 13 * (uint32_t)i, 300 + (unsigned)i);
    frame->time = 1024 * (uint32_t)i;
    frame->key = 1;
    unsigned char header[7];
    AdtsHeader(7 + frame->size, header);
    ok = ok && WriteBytes(f, header, sizeof header) && WriteBytes(f, frame->data, frame->size);
  }
  return fclose(f) == 0 && ok;
}

/* A raw MPEG-4 Visual stream: the configuration, then VOPs, intra coded
 * (key frames) and predicted, timed at `rate` frames a second. */
static int WriteM4v(const char* path, Frames frames, float rate) {
  FILE* f = fopen(path, "wb");
  if (f == NULL) return 0;
  int ok = WriteBytes(f, kQcifVol, sizeof kQcifVol);
  for (int i = 0; i < frames.count; ++i) {
    Frame* frame = &frames.frame[i];
    frame->key = i % 3 == 0;
    frame->size = 5 + 40 * (uint32_t)i;
    const unsigned char start[] = {0, 0, 1, 0xB6,
                                   (unsigned char)((frame->key ? 0 : 1) << 6 | 0x15)};
    memcpy(frame->data, start, sizeof start);
    /* no zero byte, so no start code inside a frame */
    for (uint32_t b = sizeof start; b < frame->size; ++b)
      frame->data[b] = b % 5 == 0 ? '\n' : b % 7 == 0 ? 0x1A : (unsigned char)(0x40 + b);
    frame->time = (uint32_t)((double)i * 1000.0 / rate);
    ok = ok && WriteBytes(f, frame->data, frame->size);
  }
  return fclose(f) == 0 && ok;
}

/* What the library sends to the debugger output channel. */
static void ExpectDebugChannel(Run* run) {
  DebugCapture capture;
  if (!EXPECT_TRUE(BeginDebugCapture(&capture))) return;
  const int32_t r = run->api.MP4FileFlush(NULL);
  char text[256];
  EndDebugCapture(&capture, text, sizeof text);
  EXPECT_EQ(r, -99);
  if (!EXPECT_EQ(strcmp(text, "the input localfile is empty!\n"), 0))
    printf("the debugger channel had [%s]\n", text);
}

static void ExpectFileInfo(Run* run, const char* path, uint32_t video_count, uint32_t audio_count) {
  FileInfo info;
  memset(&info, 0xAB, sizeof info);
  if (!EXPECT_EQ(run->api.GetFileInfo(path, &info), 1)) return;
  EXPECT_EQ(info.file_size, FileSize(path));
  EXPECT_EQ(info.file_size_high, 0);
  EXPECT_EQ(info.video_width, 176);
  EXPECT_EQ(info.video_height, 144);
  EXPECT_EQ(info.video_sample_count, video_count);
  EXPECT_EQ(info.audio_sample_count, audio_count);
  EXPECT_EQ(info.audio_sample_rate, 44100);
  EXPECT_EQ(info.audio_channels, 1);
  EXPECT_EQ(info.audio_object_type, 2);
  EXPECT_EQ(info.constant_one, 1);
}

static void ExpectSeeks(Run* run, const char* path, Frames video, Frames audio) {
  const OrnivexApi* api = &run->api;
  MP4_input_file* file = NULL;
  if (!EXPECT_EQ(api->MP4FileOpen(&file, path), 1)) {
    api->MP4FileClose(&file);
    return;
  }
  unsigned char* data = NULL;
  uint32_t size = 0;
  /* the audio frame that starts at or before; the key frame at or before */
  EXPECT_EQ(api->GetSample(file, 2, (int32_t)audio.frame[3].time + 5, &data, &size),
            audio.frame[3].time);
  if (EXPECT_EQ(size, audio.frame[3].size)) EXPECT_EQ(memcmp(data, audio.frame[3].data, size), 0);
  api->MP4freeData(&data);
  EXPECT_EQ(api->SeekTrack(file, 1, (int32_t)video.frame[7].time, &data, &size),
            video.frame[4].time);
  if (EXPECT_EQ(size, video.frame[4].size)) EXPECT_EQ(memcmp(data, video.frame[4].data, size), 0);
  api->MP4freeData(&data);

  unsigned char config[ORNIVEX_ESDS_DATA_MAX];
  uint32_t width = 0, height = 0, length = 0;
  EXPECT_EQ(api->GetM4vEsdsData(file, config, &width, &height, &length), 1);
  EXPECT_EQ(width, 176);
  EXPECT_EQ(height, 144);
  if (EXPECT_EQ(length, sizeof kQcifVol)) EXPECT_EQ(memcmp(config, kQcifVol, length), 0);
  EXPECT_EQ(api->GetM4aEsdsData(file, config, &length), 1);
  EXPECT_TRUE(length > 8 && memcmp(config + 4, "esds", 4) == 0);
  EXPECT_EQ(((uint32_t)config[0] << 24 | config[1] << 16 | config[2] << 8 | config[3]), length);
  EXPECT_EQ(api->MP4FileClose(&file), 1);
}

typedef struct Leftovers {
  Run* run;
  const char* const* expected;
} Leftovers;

static void ExpectOwnFile(const char* name, void* context) {
  Leftovers* left = context;
  for (const char* const* e = left->expected; *e != NULL; ++e)
    if (strcmp(name, *e) == 0) return;
  ++left->run->failed;
  printf("left behind: %s\n", name);
}

int main(int argc, char** argv) {
  if (argc != 3) {
    printf("usage: %s LIBRARY DIRECTORY\n", argv[0]);
    return 2;
  }
  const char* dir = argv[2];
  Run run_record = {0};
  Run* run = &run_record;
  if (!LoadOrnivex(argv[1], &run->api)) return 1;
  if (!ChangeDirectory(dir)) {
    printf("cannot change to %s\n", dir);
    return 1;
  }
  ExpectDebugChannel(run);

  static Frame video_frames[VIDEO_FRAMES], audio_frames[AUDIO_FRAMES], adts_frames[ADTS_FRAMES],
      vop_frames[VOP_FRAMES];
  static const uint32_t kVideoSizes[VIDEO_FRAMES] = {1,   2,  3000, 10, 4095, 26,
                                                     512, 13, 1000, 7,  2048, 255};
  Frames video = {video_frames, VIDEO_FRAMES}, audio = {audio_frames, AUDIO_FRAMES};
  for (int i = 0; i < VIDEO_FRAMES; ++i) {
    FillFrame(&video_frames[i], kVideoSizes[i], 100 + (unsigned)i);
    video_frames[i].time = 1000 * (uint32_t)i;
    video_frames[i].key = i % 4 == 0;
  }
  for (int i = 0; i < AUDIO_FRAMES; ++i) {
    FillFrame(&audio_frames[i], 100 + 37 * (uint32_t)i, 200 + (unsigned)i);
    audio_frames[i].time = 1024 * (uint32_t)i;
    audio_frames[i].key = 1;
  }
  char movie[HOST_PATH_MAX], adts[HOST_PATH_MAX], m4v[HOST_PATH_MAX], with_audio[HOST_PATH_MAX],
      with_video[HOST_PATH_MAX], refused[HOST_PATH_MAX], absent[HOST_PATH_MAX];
  JoinPath(dir, "movie.mp4", movie);
  JoinPath(dir, "tone.aac", adts);
  JoinPath(dir, "stream.m4v", m4v);
  JoinPath(dir, "with-audio.mp4", with_audio);
  JoinPath(dir, "with-video.mp4", with_video);
  JoinPath(dir, "refused.mp4", refused);
  JoinPath(dir, "absent.aac", absent);

  unsigned char adts_header[7];
  AdtsHeader(7 + audio_frames[0].size, adts_header);
  WriteMovie(run, movie, dir, video, audio, adts_header);
  ExpectMovie(run, movie, video, audio);
  ExpectSeeks(run, movie, video, audio);
  ExpectFileInfo(run, movie, VIDEO_FRAMES, AUDIO_FRAMES);

  /* The movie's video with an ADTS stream; its audio with a raw stream. */
  Frames adts_audio = {adts_frames, ADTS_FRAMES}, vops = {vop_frames, VOP_FRAMES};
  const float rate = 7.5f;
  EXPECT_TRUE(WriteAdts(adts, adts_audio) && WriteM4v(m4v, vops, rate));
  EXPECT_EQ(run->api.Mp4AddAudio(movie, adts, with_audio), 1);
  ExpectMovie(run, with_audio, video, adts_audio);
  ExpectFileInfo(run, with_audio, VIDEO_FRAMES, ADTS_FRAMES);
  uint32_t width = 0, height = 0;
  EXPECT_EQ(run->api.GetM4vHeaderSize(m4v, &width, &height), sizeof kQcifVol);
  EXPECT_TRUE(width == 176 && height == 144);
  EXPECT_EQ(run->api.Mp4AddVideo(movie, m4v, with_video, rate), 1);
  ExpectMovie(run, with_video, vops, audio);
  ExpectFileInfo(run, with_video, VOP_FRAMES, AUDIO_FRAMES);
  /* a refused merge leaves nothing */
  EXPECT_EQ(run->api.Mp4AddAudio(movie, absent, refused), -1);
  EXPECT_EQ(run->api.Mp4AddVideo(movie, m4v, refused, 0.0f), -1);
  EXPECT_TRUE(!FileExists(refused));

  static const char* const kOwn[] = {"movie.mp4",      "tone.aac",       "stream.m4v",
                                     "with-audio.mp4", "with-video.mp4", NULL};
  Leftovers left = {run, kOwn};
  EXPECT_TRUE(ForEachFile(dir, ExpectOwnFile, &left));
  for (const char* const* name = kOwn; *name != NULL; ++name) {
    char path[HOST_PATH_MAX];
    JoinPath(dir, *name, path);
    EXPECT_EQ(remove(path), 0);
  }
  printf("round trip: %d checks, %d failed\n", run->checks, run->failed);
  return run->failed == 0 ? 0 : 1;
}
