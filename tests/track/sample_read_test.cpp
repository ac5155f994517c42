// Sequential, timed and key-frame reads: cursors, results and messages.
#include "support/test_support.h"
#include "track/sample_access.h"

using namespace box;
using Codes = std::vector<int32_t>;

namespace {

struct Got {
  int32_t rc = 0;
  Bytes data;
  uint32_t size = 0, time = 0;
  std::string out;
  std::string Said() const { return std::to_string(rc) + " " + out; }  // result and message
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
// GetSample or SeekTrack at `time`; MP4NextKeyFrame or MP4PrevKeyFrame.
using TimedRead = int32_t (*)(MP4_input_file*, uint32_t, int32_t, unsigned char**, uint32_t*);
using KeyRead = int32_t (*)(MP4_input_file*, uint32_t, unsigned char**, uint32_t*);
Got Read(TimedRead read, MP4_input_file* f, uint32_t id, int32_t time) {
  return Take([&](auto d, auto s, auto) { return read(f, id, time, d, s); });
}
Got Read(KeyRead read, MP4_input_file* f, uint32_t id) {
  return Take([&](auto d, auto s, auto) { return read(f, id, d, s); });
}
// The internal sequential read into `buffer`: its status and message.
std::pair<Status, std::string> Internal(MP4_input_file* f, uint32_t id, SampleBuffer* buffer) {
  uint32_t size = 0, time = 0;
  Status s = Status::kOk;
  const std::string out = CaptureStdout([&] { s = GetNextSample(f, id, buffer, &size, &time); });
  return {s, out};
}

// Video 1: five samples 100 ticks apart, sync samples 1, 3 and 5; audio 2: seven.
std::string AvFile() {
  TrackPlan v = VideoPlan(1, 5, {1, 3, 5}), a = AudioPlan(2, 7);
  v.chunks = {2, 3};
  a.chunks = {3, 4};
  static const std::string path = WriteScratchFile("av.mp4", BuildMovie({v, a}));
  return path;
}
Bytes Sample(uint32_t id, uint32_t i) {
  return SampleBytes(id, i, id == 1 ? VideoPlan(1, 5).sizes[i] : AudioPlan(2, 7).sizes[i]);
}

}  // namespace

TEST(SampleRead, SequentialToTheEndAndKeyFrameWalk) {
  OpenedFile f(AvFile());
  for (uint32_t i = 0; i < 7; ++i) {  // the media interleave freely
    if (i < 5) {
      const Got v = Next(f.file, 1);
      EXPECT_EQ(std::tie(v.rc, v.data, v.time, v.out),
                std::make_tuple(1, Sample(1, i), i * 100, ""));
    }
    const Got a = Next(f.file, 2);
    EXPECT_EQ(std::tie(a.rc, a.data, a.time), std::make_tuple(1, Sample(2, i), i * 1024));
  }
  EXPECT_EQ(Next(f.file, 1).Said(), "-1 End of video track , frame num - video- [5]\n");
  SampleBuffer buffer;
  EXPECT_EQ(
      Internal(f.file, 2, &buffer),
      std::make_pair(Status::kEnd, std::string("End of audio track , frame num - audio-[7]")));

  // key frames at samples 0, 2 and 4; each step: the call (null for
  // GoToEndOfKeyFrame), the sample it hands out and the message when none
  const std::string begin = "Begin of video track ,key frame num - video- [-1]\n",
                    end = "End of video track , key frame num - video- [3]\n";
  const std::tuple<KeyRead, int, std::string> walk[] = {
      {MP4NextKeyFrame, 0, ""},   {MP4NextKeyFrame, 2, ""}, {MP4PrevKeyFrame, 4, ""},
      {MP4PrevKeyFrame, 2, ""},   {MP4PrevKeyFrame, 0, ""}, {MP4PrevKeyFrame, -1, begin},
      {MP4NextKeyFrame, 0, ""},   {nullptr, 0, ""},         {MP4NextKeyFrame, 4, ""},
      {MP4NextKeyFrame, -1, end}, {nullptr, 0, ""},         {MP4PrevKeyFrame, 4, ""}};
  ASSERT_EQ(GoToBeginOfKeyFrame(f.file, 1), 1);
  for (const auto& [read, i, message] : walk) {
    if (read == nullptr) {
      ASSERT_EQ(GoToEndOfKeyFrame(f.file, 1), 1);
      continue;
    }
    const Got g = Read(read, f.file, 1);
    const std::string out = i < 0 ? message : "cursor is [" + std::to_string(i) + "]\n";
    EXPECT_EQ(std::tie(g.rc, g.data, g.out),
              std::make_tuple(i < 0 ? -1 : 1, i < 0 ? Bytes() : Sample(1, i), out));
  }
  EXPECT_EQ(f.file->video_cursor, 5);  // the key-frame walk leaves it alone

  // an empty key-frame table
  OpenedFile e(BuildMovie({VideoPlan(1, 3, {})}));
  GoToEndOfKeyFrame(e.file, 1);
  EXPECT_EQ(e.file->key_cursor, -1);
  EXPECT_EQ(Read(MP4NextKeyFrame, e.file, 1).Said(),
            "-1 End of video track , key frame num - video- [0]\n");
  GoToEndOfKeyFrame(e.file, 1);
  EXPECT_EQ(Read(MP4PrevKeyFrame, e.file, 1).Said(),
            "-1 Begin of video track ,key frame num - video- [-1]\n");
}

TEST(SampleRead, TracksThatCannotBeRead) {
  OpenedFile f(BuildMovie({VideoPlan(1, 2), AudioPlan(2, 2), VideoPlan(3, 2)}));
  SampleBuffer buffer;
  // file, track ID, and what the reads and GoToBeginOfKeyFrame print
  const std::tuple<MP4_input_file*, uint32_t, std::string> cases[] = {
      {nullptr, 1, "mp4 file uncreated\n"},
      {f.file, 7, "No such track id [7]\n"},
      {f.file, 400, "No such track id [400]\n"},
      {f.file, 0xFFFFFFFF, "No such track id [-1]\n"},
      {f.file, 3, ""}};  // neither the video nor the audio track
  for (const auto& [file, id, out] : cases) {
    SCOPED_TRACE(id);
    EXPECT_EQ(Internal(file, id, &buffer), std::make_pair(Status::kNotFound, out));
    unsigned char* untouched = reinterpret_cast<unsigned char*>(&buffer);
    uint32_t size = 0, time = 0;
    CaptureStdout([&] { EXPECT_EQ(MP4GetNextSample(file, id, &untouched, &size, &time), -1); });
    EXPECT_EQ(untouched, reinterpret_cast<unsigned char*>(&buffer));
    EXPECT_EQ((Codes{Read(GetSample, file, id, 0).rc, Read(SeekTrack, file, id, 0).rc,
                     Read(MP4NextKeyFrame, file, id).rc}),
              (Codes{-99, -99, -1}));
    EXPECT_EQ(CaptureStdout([&] { EXPECT_EQ(GoToBeginOfKeyFrame(file, id), -99); }), out);
  }
  // the key-frame calls serve the video track only, silently
  EXPECT_EQ(CaptureStdout([&] { EXPECT_EQ(GoToEndOfKeyFrame(f.file, 2), -99); }), "");
  EXPECT_EQ(Read(MP4PrevKeyFrame, f.file, 2).out, "");

  // a video track without key frames, and an empty track
  OpenedFile none(BuildMovie({VideoPlan(1, 3, {}), AudioPlan(2, 0)}));
  ASSERT_EQ(none.file->audio_track_id, 2u);
  EXPECT_EQ(Read(SeekTrack, none.file, 1, 100).Said(), "-99 No key frame in track\n");
  EXPECT_EQ(Read(GetSample, none.file, 1, 100).rc, 100);
  EXPECT_EQ(Read(GetSample, none.file, 2, 0).Said(), "-99 No sample in track\n");
  EXPECT_EQ(Read(SeekTrack, none.file, 2, 0).Said(), "-99 No sample in track\n");
  // a refused track (co64) keeps its tables, but offers no sample
  OpenedFile refused(
      Movie({SimpleTrak("soun", {Stts({{2, 1}}), Stsc({{1, 2, 1}}), Stsz(4, 2),
                                 Atom("co64", {Full(0, 0), U32(1), Be(8, {100})})})}));
  EXPECT_EQ(Read(GetSample, refused.file, 1, 0).Said(), "-99 No sample in track\n");
}

TEST(SampleRead, SamplesPastTheEndOfTheFile) {
  // chunk offsets past the end of the file: each read fails with its
  // medium's message, and still moves the cursor
  OpenedFile f(Movie(
      {SimpleTrak("vide", {Stts({{2, 10}}), Stss({1}), Stsc({{1, 1, 1}}),
                           Stsz(0, 2, {8, 0xFFFFFFF0}), Stco({36, 5000})}),
       SimpleTrak("soun", {Stts({{1, 10}}), Stsc({{1, 1, 1}}), Stsz(6, 1), Stco({100000})}, 2)},
      40));
  SampleBuffer buffer;
  EXPECT_EQ(Next(f.file, 1).rc, 1);
  EXPECT_EQ(Internal(f.file, 1, &buffer),
            std::make_pair(Status::kFailed, std::string("error to read sample from file in Get "
                                                        "Next Sample at sample - video-[1]")));
  EXPECT_EQ(f.file->video_cursor, 2);
  EXPECT_EQ(Next(f.file, 1).Said(), "-1 End of video track , frame num - video- [2]\n");
  EXPECT_EQ(Next(f.file, 2).Said(),
            "-1 error to read sample from file in Get Next Sample at sample - audio-[0]");
  EXPECT_EQ(f.file->audio_cursor, 1);

  // the timed reads release what they allocated and hand out nothing
  const Got g = Read(GetSample, f.file, 1, 99999);
  EXPECT_EQ(g.size, 0u);
  EXPECT_EQ(
      g.Said(),
      "-99 cursor is [1]\nerror to read sample from file in Get Next Sample at sample - video-[1]");
  EXPECT_EQ(Read(SeekTrack, f.file, 2, 0).Said(),
            "-99 cursor is [0]\nerror to read sample from file in Get Next Sample at sample - "
            "audio-[0]");
}

TEST(SampleRead, ReadsByTime) {
  OpenedFile f(AvFile());
  // stamps 0, 100, 200, 300, 400; 5 samples at timescale 1000 end at 5000
  for (const auto& [time, i] : std::vector<std::pair<int32_t, uint32_t>>{
           {0, 0}, {-5, 0}, {250, 2}, {300, 3}, {450, 4}, {4999, 4}, {5000, 4}, {0x7FFFFFFF, 4}}) {
    const Got g = Read(GetSample, f.file, 1, time);
    const std::string out = "cursor is [" + std::to_string(i) + "]\n";
    EXPECT_EQ(std::tie(g.rc, g.data, g.out, f.file->video_cursor),
              std::make_tuple(int32_t(i * 100), Sample(1, i), out, int32_t(i + 1)))
        << time;
  }
  Read(GetSample, f.file, 1, 0);
  EXPECT_EQ(Next(f.file, 1).data, Sample(1, 1));
  EXPECT_EQ(Read(GetSample, f.file, 2, 2100).rc, 2048);  // audio stamps are 1024 apart
  EXPECT_EQ(f.file->key_cursor, 0);

  // SeekTrack: the key frame at or before the time, and the key-frame cursor after it
  const Got g = Read(SeekTrack, f.file, 1, 400);  // the third key frame
  EXPECT_EQ(std::tie(g.rc, g.data, f.file->key_cursor), std::make_tuple(400, Sample(1, 4), 3));
  EXPECT_EQ(Read(SeekTrack, f.file, 1, 350).rc, 200);
  EXPECT_EQ(f.file->key_cursor, 2);
  EXPECT_EQ(Next(f.file, 1).data, Sample(1, 3));  // the sample after the key frame
  EXPECT_EQ(Read(MP4NextKeyFrame, f.file, 1).data, Sample(1, 4));
  // at the ends the key-frame cursor stays
  EXPECT_EQ(Read(SeekTrack, f.file, 1, -1).rc, 0);
  EXPECT_EQ(Read(SeekTrack, f.file, 1, 5000).rc, 400);
  EXPECT_EQ(f.file->key_cursor, 3);
  EXPECT_EQ(Read(SeekTrack, f.file, 2, 3000).rc, 2048);  // audio: as GetSample

  // the first sample is no sync sample: a time before the first key frame
  // seeks to the first key frame
  OpenedFile late(BuildMovie({VideoPlan(1, 4, {2, 4})}));
  EXPECT_EQ(Read(SeekTrack, late.file, 1, 50).rc, 100);
  EXPECT_EQ(late.file->key_cursor, 1);

  // Stamps 0, 2000 and 4000 at timescale 1000: the end of the media is 3
  // samples x 1000, and from exactly there on the last sample is read, not
  // the last one stamped at or before the time.
  OpenedFile sparse(Movie({SimpleTrak("vide", {Stts({{3, 2000}}), Stss({1, 2, 3}),
                                               Stsc({{1, 3, 1}}), Stsz(10, 3), Stco({100})})},
                          200));
  EXPECT_EQ(
      (Codes{Read(GetSample, sparse.file, 1, 2999).rc, Read(GetSample, sparse.file, 1, 3000).rc,
             Read(SeekTrack, sparse.file, 1, 2999).rc, sparse.file->key_cursor,
             Read(SeekTrack, sparse.file, 1, 3000).rc, sparse.file->key_cursor}),
      (Codes{2000, 4000, 2000, 2, 4000, 2}));
  // a stamp beyond what the result can carry reads as the latest it can
  OpenedFile late_stamp(Movie({SimpleTrak("vide", {Stts({{1, 0x90000000}, {1, 1}}), Stss({1, 2}),
                                                   Stsc({{1, 2, 1}}), Stsz(10, 2), Stco({100})})},
                              200));
  EXPECT_EQ((Codes{Read(GetSample, late_stamp.file, 1, 5000).rc,
                   Read(SeekTrack, late_stamp.file, 1, 5000).rc}),
            (Codes{0x7FFFFFFF, 0x7FFFFFFF}));
}

TEST(SampleRead, BufferCapacityAndKeyFlags) {
  SampleBuffer empty;
  EXPECT_EQ((Values{empty.Capacity(), empty.Data() == nullptr}), (Values{0, 1}));
  testing::internal::CaptureStderr();  // unbuffered
  EXPECT_FALSE(empty.Realloc(5));
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "realloc failed\n");

  OpenedFile f(AvFile());
  SampleBuffer buffer;
  ASSERT_TRUE(buffer.Alloc(1));
  EXPECT_EQ(buffer.Capacity(), 11u);
  uint32_t size, time, capacity = 0;
  for (uint32_t i = 0; i < 5; ++i) {  // video: exactly the sample plus 10, shrinking too
    ASSERT_EQ(GetNextSample(f.file, 1, &buffer, &size, &time), Status::kOk);
    EXPECT_EQ((Values{buffer.Capacity(), buffer.KeyFlag()}),
              (Values{VideoPlan(1, 5).sizes[i] + 10, i % 2 == 0}));  // sync samples 1, 3, 5
  }
  for (uint32_t i = 0; i < 7; ++i) {  // audio: grows only when a sample does not fit
    capacity = buffer.Capacity();
    ASSERT_EQ(GetNextSample(f.file, 2, &buffer, &size, &time), Status::kOk);
    const uint32_t s = AudioPlan(2, 7).sizes[i];
    EXPECT_EQ(buffer.Capacity(), capacity < s ? s + 10 : capacity);
  }
  // key frames: the buffer keeps a larger size
  ASSERT_TRUE(buffer.Realloc(1000));
  GoToBeginOfKeyFrame(f.file, 1);
  CaptureStdout([&] { EXPECT_EQ(GetNextKeySample(f.file, 1, &buffer, &size), Status::kOk); });
  EXPECT_EQ(buffer.Capacity(), 1010u);

  // Without sync samples the flag comes from the VOP coding type: an I-VOP,
  // a VOP start code with no byte after it (the buffer still holds the
  // I-VOP's), a P-VOP, an I-VOP's bits after no VOP start code.
  TrackPlan vops = VideoPlan(1, 0, {});
  vops.data = {{0, 0, 1, 0xB6, 0x10, 0x60},
               {0, 0, 1, 0xB6},
               {0, 0, 1, 0xB6, 0x51, 0x00},
               {0, 0, 1, 0xB3, 0x10, 0x60}};
  vops.chunks = {4};
  OpenedFile vop(BuildMovie({vops}));
  Values flags;
  CaptureStdout([&] {
    while (GetNextSample(vop.file, 1, &buffer, &size, &time) == Status::kOk)
      flags.push_back(buffer.KeyFlag());
  });
  EXPECT_EQ(flags, (Values{1, 0, 0, 0}));
}
