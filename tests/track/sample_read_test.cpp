// Sequential, timed and key-frame reads: cursors, codes and messages.

#include <functional>

#include "support/test_support.h"
#include "track/sample_access.h"

using namespace box;

namespace {

struct Got {
  int32_t rc = 0;
  Bytes data;
  uint32_t size = 0, time = 0;
  std::string out;
};

// One call that hands out a block: its result, the block's bytes (released
// again) and what the call printed.
Got Take(const std::function<int32_t(unsigned char**, uint32_t*, uint32_t*)>& call) {
  Got g;
  unsigned char* data = nullptr;
  g.out = CaptureStdout([&] { g.rc = call(&data, &g.size, &g.time); });
  if (data != nullptr) g.data.assign(data, data + g.size);
  MP4freeData(&data);
  return g;
}

Got Next(MP4_input_file* f, uint32_t id) {
  return Take([&](auto d, auto s, auto t) { return MP4GetNextSample(f, id, d, s, t); });
}

using TimedRead = int32_t (*)(MP4_input_file*, uint32_t, int32_t, unsigned char**, uint32_t*);
Got At(TimedRead read, MP4_input_file* f, uint32_t id, int32_t time) {
  return Take([&](unsigned char** d, uint32_t* s, uint32_t*) { return read(f, id, time, d, s); });
}

using KeyRead = int32_t (*)(MP4_input_file*, uint32_t, unsigned char**, uint32_t*);
Got Key(KeyRead read, MP4_input_file* f, uint32_t id) {
  return Take([&](unsigned char** d, uint32_t* s, uint32_t*) { return read(f, id, d, s); });
}

// Video 1: five samples 100 ticks apart, sync samples 1, 3 and 5; audio 2: seven.
std::string AvFile() {
  TrackPlan v = VideoPlan(1, 5);
  v.stss = {1, 3, 5};
  v.chunks = {2, 3};
  TrackPlan a = AudioPlan(2, 7);
  a.chunks = {3, 4};
  static const std::string path = WriteScratchFile("av.mp4", BuildMovie({v, a}));
  return path;
}

Bytes Sample(uint32_t id, uint32_t index) {
  return SampleBytes(id, index,
                     id == 1 ? VideoPlan(1, 5).sizes[index] : AudioPlan(2, 7).sizes[index]);
}

}  // namespace

TEST(SampleRead, SequentialToTheEnd) {
  OpenedFile f(AvFile());
  ASSERT_EQ(f.result, 1);
  for (uint32_t i = 0; i < 7; ++i) {
    if (i < 5) {
      const Got v = Next(f.file, 1);
      ASSERT_EQ(v.rc, 1);
      EXPECT_EQ(v.data, Sample(1, i));
      EXPECT_EQ(v.time, i * 100);
      EXPECT_EQ(v.out, "");
    }
    const Got a = Next(f.file, 2);  // the media interleave freely
    ASSERT_EQ(a.rc, 1);
    EXPECT_EQ(a.data, Sample(2, i));
    EXPECT_EQ(a.time, i * 1024);
  }
  const Got end = Next(f.file, 1);
  EXPECT_EQ(end.rc, -1);
  EXPECT_EQ(end.out, "End of video track , frame num - video- [5]\n");

  // the internal read's end codes: -83 for audio, -84 for video
  SampleBuffer buffer;
  buffer.Alloc(1);
  uint32_t size = 0, time = 0;
  EXPECT_EQ(CaptureStdout([&] { EXPECT_EQ(GetNextSample(f.file, 2, &buffer, &size, &time), -83); }),
            "End of audio track , frame num - audio-[7]");
  CaptureStdout([&] { EXPECT_EQ(GetNextSample(f.file, 1, &buffer, &size, &time), -84); });
}

TEST(SampleRead, TracksThatCannotBeRead) {
  OpenedFile f(BuildMovie({VideoPlan(1, 2), AudioPlan(2, 2), VideoPlan(3, 2)}));
  ASSERT_EQ(f.result, 1);
  SampleBuffer buffer;
  buffer.Alloc(1);
  uint32_t size = 0, time = 0;
  struct Case {
    MP4_input_file* file;
    uint32_t id;
    int32_t code;
    const char* out;
  };
  const Case cases[] = {{nullptr, 1, -99, "mp4 file uncreated\n"},
                        {f.file, 7, -100, "No such track id [7]\n"},
                        {f.file, 400, -100, "No such track id [400]\n"},
                        {f.file, 0xFFFFFFFF, -100, "No such track id [-1]\n"},
                        {f.file, 3, -100, ""}};  // neither the video nor the audio track
  for (const Case& c : cases) {
    SCOPED_TRACE(c.id);
    EXPECT_EQ(CaptureStdout(
                  [&] { EXPECT_EQ(GetNextSample(c.file, c.id, &buffer, &size, &time), c.code); }),
              c.out);
    unsigned char* untouched = reinterpret_cast<unsigned char*>(&buffer);
    CaptureStdout([&] { EXPECT_EQ(MP4GetNextSample(c.file, c.id, &untouched, &size, &time), -1); });
    EXPECT_EQ(untouched, reinterpret_cast<unsigned char*>(&buffer));
    EXPECT_EQ(At(GetSample, c.file, c.id, 0).rc, -99);
    EXPECT_EQ(At(SeekTrack, c.file, c.id, 0).rc, -99);
    EXPECT_EQ(Key(MP4NextKeyFrame, c.file, c.id).rc, -1);
    EXPECT_EQ(CaptureStdout([&] { EXPECT_EQ(GoToBeginOfKeyFrame(c.file, c.id), -99); }), c.out);
  }
  // the key-frame calls serve the video track only, silently
  EXPECT_EQ(CaptureStdout([&] { EXPECT_EQ(GoToEndOfKeyFrame(f.file, 2), -99); }), "");
  EXPECT_EQ(Key(MP4PrevKeyFrame, f.file, 2).out, "");
}

TEST(SampleRead, ShortReadsStillMoveTheCursor) {
  // chunk offsets past the end of the file
  OpenedFile f(
      Cat({Ftyp(), Atom("mdat", {Zeros(40)}),
           Atom("moov",
                {Mvhd(1000, 0), Iods(),
                 Trak(Tkhd(1, 8, 8), Mdhd(1000, 0), "vide", Stsd(Mp4v(8, 8, Esds(0x20, 0x11, {}))),
                      {Stts({{2, 10}}), Stss({1}), Stsc({{1, 1, 1}}), Stsz(0, 2, {8, 0xFFFFFFF0}),
                       Stco({36, 5000})}),
                 Trak(Tkhd(2), Mdhd(1000, 0), "soun",
                      Stsd(Mp4a(1, 8000, Esds(0x40, 0x15, Str("\x15\x88")))),
                      {Stts({{1, 10}}), Stsc({{1, 1, 1}}), Stsz(6, 1), Stco({100000})})})}));
  ASSERT_EQ(f.result, 1);
  EXPECT_EQ(Next(f.file, 1).rc, 1);
  const Got v = Next(f.file, 1);
  EXPECT_EQ(v.rc, -1);
  EXPECT_EQ(v.out, "error to read sample from file in Get Next Sample at sample - video-[1]");
  EXPECT_EQ(f.file->video_cursor, 2);
  EXPECT_EQ(Next(f.file, 1).out, "End of video track , frame num - video- [2]\n");

  const Got a = Next(f.file, 2);
  EXPECT_EQ(a.out, "error to read sample from file in Get Next Sample at sample - audio-[0]");
  EXPECT_EQ(f.file->audio_cursor, 1);

  // the timed reads release what they allocated and hand out nothing
  const Got g = At(GetSample, f.file, 1, 99999);
  EXPECT_EQ(g.rc, -99);
  EXPECT_EQ(g.size, 0u);
  EXPECT_EQ(
      g.out,
      "cursor is [1]\nerror to read sample from file in Get Next Sample at sample - video-[1]");
}

TEST(SampleRead, GetSampleByTime) {
  OpenedFile f(AvFile());
  ASSERT_EQ(f.result, 1);
  // stamps 0, 100, 200, 300, 400; 5 samples at timescale 1000 end at 5000
  for (const auto& [time, sample] : std::vector<std::pair<int32_t, uint32_t>>{
           {0, 0}, {-5, 0}, {250, 2}, {300, 3}, {450, 4}, {4999, 4}, {5000, 4}, {0x7FFFFFFF, 4}}) {
    SCOPED_TRACE(time);
    const Got g = At(GetSample, f.file, 1, time);
    EXPECT_EQ(g.rc, int32_t(sample * 100));
    EXPECT_EQ(g.data, Sample(1, sample));
    EXPECT_EQ(g.out, "cursor is [" + std::to_string(sample) + "]\n");
    EXPECT_EQ(f.file->video_cursor, int32_t(sample + 1));
  }
  At(GetSample, f.file, 1, 0);
  EXPECT_EQ(Next(f.file, 1).data, Sample(1, 1));
  EXPECT_EQ(At(GetSample, f.file, 2, 2100).rc, 2048);  // audio stamps are 1024 apart
  EXPECT_EQ(f.file->key_cursor, 0);
}

TEST(SampleRead, SeekTrackToKeyFrames) {
  OpenedFile f(AvFile());
  ASSERT_EQ(f.result, 1);
  const Got g = At(SeekTrack, f.file, 1, 400);  // the third key frame
  EXPECT_EQ(g.rc, 400);
  EXPECT_EQ(g.data, Sample(1, 4));
  EXPECT_EQ(f.file->key_cursor, 3);
  EXPECT_EQ(At(SeekTrack, f.file, 1, 350).rc, 200);
  EXPECT_EQ(f.file->key_cursor, 2);
  EXPECT_EQ(Next(f.file, 1).data, Sample(1, 3));  // the sample after the key frame
  EXPECT_EQ(Key(MP4NextKeyFrame, f.file, 1).data, Sample(1, 4));
  // at the ends the key-frame cursor stays
  EXPECT_EQ(At(SeekTrack, f.file, 1, -1).rc, 0);
  EXPECT_EQ(At(SeekTrack, f.file, 1, 5000).rc, 400);
  EXPECT_EQ(f.file->key_cursor, 3);
  EXPECT_EQ(At(SeekTrack, f.file, 2, 3000).rc, 2048);  // audio: as GetSample

  // the first sample is no sync sample: a time before the first key frame
  // seeks to the first key frame
  TrackPlan v = VideoPlan(1, 4);
  v.stss = {2, 4};
  OpenedFile late(BuildMovie({v}));
  EXPECT_EQ(At(SeekTrack, late.file, 1, 50).rc, 100);
  EXPECT_EQ(late.file->key_cursor, 1);

  // an empty track, and a video track without key frames
  TrackPlan none = VideoPlan(1, 3);
  none.stss = {};
  OpenedFile nokeys(BuildMovie({none, AudioPlan(2, 0)}));
  ASSERT_EQ(nokeys.file->audio_track_id, 2u);
  EXPECT_EQ(At(SeekTrack, nokeys.file, 1, 100).rc, -99);
  EXPECT_EQ(At(GetSample, nokeys.file, 1, 100).rc, 100);
  EXPECT_EQ(At(GetSample, nokeys.file, 2, 0).rc, -99);
  EXPECT_EQ(At(SeekTrack, nokeys.file, 2, 0).rc, -99);
}

TEST(SampleRead, KeyFrameWalk) {
  OpenedFile f(AvFile());
  ASSERT_EQ(f.result, 1);
  const Bytes k0 = Sample(1, 0), k1 = Sample(1, 2), k2 = Sample(1, 4);
  ASSERT_EQ(GoToBeginOfKeyFrame(f.file, 1), 1);
  EXPECT_EQ(Key(MP4NextKeyFrame, f.file, 1).data, k0);
  EXPECT_EQ(Key(MP4NextKeyFrame, f.file, 1).data, k1);
  EXPECT_EQ(Key(MP4PrevKeyFrame, f.file, 1).data, k2);
  EXPECT_EQ(Key(MP4PrevKeyFrame, f.file, 1).data, k1);
  const Got last = Key(MP4PrevKeyFrame, f.file, 1);
  EXPECT_EQ(last.data, k0);
  EXPECT_EQ(last.out, "cursor is [0]\n");
  const Got before = Key(MP4PrevKeyFrame, f.file, 1);
  EXPECT_EQ(before.rc, -1);
  EXPECT_EQ(before.out, "Begin of video track ,key frame num - video- [-1]\n");
  EXPECT_EQ(Key(MP4NextKeyFrame, f.file, 1).data, k0);
  EXPECT_EQ(f.file->video_cursor, 0);  // the key-frame walk leaves it alone

  ASSERT_EQ(GoToEndOfKeyFrame(f.file, 1), 1);
  EXPECT_EQ(Key(MP4NextKeyFrame, f.file, 1).data, k2);
  const Got after = Key(MP4NextKeyFrame, f.file, 1);
  EXPECT_EQ(after.rc, -1);
  EXPECT_EQ(after.out, "End of video track , key frame num - video- [3]\n");
  GoToEndOfKeyFrame(f.file, 1);
  EXPECT_EQ(Key(MP4PrevKeyFrame, f.file, 1).data, k2);

  // an empty key-frame table
  TrackPlan none = VideoPlan(1, 3);
  none.stss = {};
  OpenedFile e(BuildMovie({none}));
  GoToEndOfKeyFrame(e.file, 1);
  EXPECT_EQ(e.file->key_cursor, -1);
  EXPECT_EQ(Key(MP4NextKeyFrame, e.file, 1).out,
            "End of video track , key frame num - video- [0]\n");
  GoToEndOfKeyFrame(e.file, 1);
  EXPECT_EQ(Key(MP4PrevKeyFrame, e.file, 1).out,
            "Begin of video track ,key frame num - video- [-1]\n");
}

TEST(SampleRead, BufferCapacityAndKeyFlags) {
  SampleBuffer empty;
  EXPECT_EQ(empty.Capacity(), 0u);
  EXPECT_EQ(empty.Data(), nullptr);
  testing::internal::CaptureStderr();  // unbuffered
  EXPECT_EQ(empty.Realloc(5), -91);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "realloc failed\n");

  OpenedFile f(AvFile());
  SampleBuffer buffer;
  ASSERT_EQ(buffer.Alloc(1), 1);
  EXPECT_EQ(buffer.Capacity(), 11u);
  uint32_t size, time;
  const std::vector<uint32_t> video = VideoPlan(1, 5).sizes, audio = AudioPlan(2, 7).sizes;
  for (uint32_t i = 0; i < 5; ++i) {  // video: exactly the sample plus 10, shrinking too
    ASSERT_EQ(GetNextSample(f.file, 1, &buffer, &size, &time), 1);
    EXPECT_EQ(buffer.Capacity(), video[i] + 10);
    EXPECT_EQ(buffer.KeyFlag(), i % 2 == 0 ? 1u : 0u);  // sync samples 1, 3, 5
  }
  uint32_t capacity = buffer.Capacity();
  for (uint32_t i = 0; i < 7; ++i) {  // audio: grows only when a sample does not fit
    ASSERT_EQ(GetNextSample(f.file, 2, &buffer, &size, &time), 1);
    if (capacity < audio[i]) capacity = audio[i] + 10;
    EXPECT_EQ(buffer.Capacity(), capacity);
  }
  // the key-frame positions of sync samples 1, 3 and 5, from any hint
  int32_t hint = 2;
  EXPECT_EQ(FindKeyFrameIndex(2, f.track(1), &hint), 1);
  EXPECT_EQ(hint, 1);
  EXPECT_EQ(FindKeyFrameIndex(3, f.track(1), &hint), 0);
  EXPECT_EQ(hint, 1);
  EXPECT_EQ(FindKeyFrameIndex(4, f.track(1), &hint), 1);
  EXPECT_EQ(hint, 2);
  // key frames: the buffer keeps a larger size
  buffer.Realloc(1000);
  GoToBeginOfKeyFrame(f.file, 1);
  CaptureStdout([&] { EXPECT_EQ(GetNextKeySample(f.file, 1, &buffer, &size), 0); });
  EXPECT_EQ(buffer.Capacity(), 1010u);

  // without sync samples the flag comes from the VOP coding type
  TrackPlan v = VideoPlan(1, 2);
  v.stss = {};
  OpenedFile vop(BuildMovie({v}));
  ASSERT_EQ(GetNextSample(vop.file, 1, &buffer, &size, &time), 1);
  EXPECT_EQ(buffer.KeyFlag(), (SampleBytes(1, 0, 5)[4] & 0xC0) == 0 ? 1u : 0u);
}
