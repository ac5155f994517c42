// Sequential, timed and key-frame reads: cursors, results and messages.
#include "support/test_support.h"
#include "track/sample_access.h"

using namespace box;
using Strings = std::vector<std::string>;  // braces: evaluated in order

namespace {

enum Op { kNext, kGet, kSeek, kNextKey, kPrevKey, kInternal };
Bytes got;  // the block of the last read
// One read: its result and message; its block (released) in `got`.
// kInternal: the sequential read into `buffer` (merge, GetFileInfo), its
// Status as the result.
std::string Do(MP4_input_file* f, Op op, uint32_t id, int32_t time = 0,
               SampleBuffer* buffer = nullptr) {
  unsigned char* d = nullptr;
  uint32_t size = 0, stamp = 0;
  int32_t rc = 0;
  const std::string out = CaptureStdout([&] {
    rc = op == kNext      ? MP4GetNextSample(f, id, &d, &size, &stamp)
         : op == kGet     ? GetSample(f, id, time, &d, &size)
         : op == kSeek    ? SeekTrack(f, id, time, &d, &size)
         : op == kNextKey ? MP4NextKeyFrame(f, id, &d, &size)
         : op == kPrevKey ? MP4PrevKeyFrame(f, id, &d, &size)
                          : int32_t(GetNextSample(f, id, buffer, &size, &stamp));
  });
  got = d != nullptr ? Bytes(d, d + size) : Bytes();
  MP4freeData(&d);
  return std::to_string(rc) + " " + out;
}

// Video 1: five samples 100 ticks apart at timescale 1000, sync samples 1,
// 3 and 5; audio 2: seven, 1024 apart.
OpenedFile AvFile() {
  TrackPlan v = VideoPlan(1, 5, {1, 3, 5}), a = AudioPlan(2, 7);
  v.chunks = {2, 3};
  a.chunks = {3, 4};
  return OpenedFile(BuildMovie({v, a}));
}
Bytes Sample(uint32_t id, uint32_t i) {
  return SampleBytes(id, i, id == 1 ? VideoPlan(1, 5).sizes[i] : AudioPlan(2, 7).sizes[i]);
}

}  // namespace

TEST(SampleRead, SequentialAndKeyFrameWalk) {
  OpenedFile f = AvFile();
  for (uint32_t id : {1, 2})  // the stamps and bytes: against ffprobe and in sample_window_test
    while (Do(f.file, kNext, id) == "1 ") continue;
  EXPECT_EQ(Do(f.file, kNext, 1), "-1 End of video track , frame num - video- [5]\n");
  EXPECT_EQ(Do(f.file, kNext, 2), "-1 End of audio track , frame num - audio-[7]");

  // key frames at samples 0, 2 and 4. n, p: MP4Next/PrevKeyFrame and the
  // sample it hands out, '-' none; E: GoToEndOfKeyFrame
  ASSERT_EQ(GoToBeginOfKeyFrame(f.file, 1), 1);
  for (const std::string step : {"n0", "n2", "p4", "p2", "p0", "p-", "n0", "E", "n4", "n-", "p4"}) {
    if (step == "E" && GoToEndOfKeyFrame(f.file, 1) == 1) continue;
    EXPECT_EQ(Do(f.file, step[0] == 'n' ? kNextKey : kPrevKey, 1),
              step == "n-"   ? "-1 End of video track , key frame num - video- [3]\n"
              : step == "p-" ? "-1 Begin of video track ,key frame num - video- [-1]\n"
                             : "1 cursor is [" + step.substr(1) + "]\n");
    EXPECT_EQ(got, step[1] == '-' ? Bytes() : Sample(1, step[1] - '0')) << step;
  }
}

TEST(SampleRead, FailedReads) {
  // track 1 video, 2 audio, each with a sample past the end of the file; 3
  // neither the video nor the audio track
  OpenedFile f(Movie(
      {SimpleTrak("vide", {Stts({{2, 10}}), Stss({1}), Stsc({{1, 1, 1}}),
                           Stsz(0, 2, {8, 0xFFFFFFF0}), Stco({36, 5000})}),
       SimpleTrak("soun", {Stts({{1, 10}}), Stsc({{1, 1, 1}}), Stsz(6, 1), Stco({100000})}, 2),
       SimpleTrak("vide", {Stts({{1, 10}}), Stsc({{1, 1, 1}}), Stsz(6, 1), Stco({36})}, 3)},
      40));
  SampleBuffer buffer;
  // file, track ID, and what every read and GoToBeginOfKeyFrame print
  const std::tuple<MP4_input_file*, uint32_t, std::string> cases[] = {
      {nullptr, 1, "mp4 file uncreated\n"},
      {f.file, 7, "No such track id [7]\n"},
      {f.file, 0xFFFFFFFF, "No such track id [-1]\n"},
      {f.file, 3, ""}};
  for (const auto& [file, id, out] : cases) {
    EXPECT_EQ((Strings{Do(file, kNext, id), Do(file, kGet, id), Do(file, kSeek, id),
                       Do(file, kNextKey, id), Do(file, kInternal, id, 0, &buffer)}),
              (Strings{"-1 " + out, "-99 " + out, "-99 " + out, "-1 " + out, "1 " + out}));
    EXPECT_EQ(CaptureStdout([&] { EXPECT_EQ(GoToBeginOfKeyFrame(file, id), -99); }), out);
  }
  // the key-frame calls serve the video track only, silently
  EXPECT_EQ(CaptureStdout([&] { EXPECT_EQ(GoToEndOfKeyFrame(f.file, 2), -99); }), "");

  // past the end: each read fails with its medium's message, and still
  // moves the cursor; the timed reads hand out nothing
  const std::string failed = "error to read sample from file in Get Next Sample at sample - ";
  ASSERT_TRUE(buffer.Alloc(1));
  EXPECT_EQ(
      (Strings{Do(f.file, kNext, 1), Do(f.file, kInternal, 1, 0, &buffer), Do(f.file, kNext, 1),
               Do(f.file, kNext, 2), Do(f.file, kNext, 2), Do(f.file, kGet, 1, 99999),
               Do(f.file, kSeek, 2, 0), std::to_string(got.size())}),
      (Strings{"1 ", "3 " + failed + "video-[1]",  // kFailed
               "-1 End of video track , frame num - video- [2]\n", "-1 " + failed + "audio-[0]",
               "-1 End of audio track , frame num - audio-[1]",
               "-99 cursor is [1]\n" + failed + "video-[1]",
               "-99 cursor is [0]\n" + failed + "audio-[0]", "0"}));

  // a video track without key frames, an empty track
  OpenedFile none(BuildMovie({VideoPlan(1, 3, {}), AudioPlan(2, 0)}));
  const std::string no_sample = "-99 No sample in track\n";
  EXPECT_EQ((Strings{Do(none.file, kSeek, 1, 100), Do(none.file, kGet, 1, 100),
                     Do(none.file, kGet, 2), Do(none.file, kSeek, 2)}),
            (Strings{"-99 No key frame in track\n", "100 cursor is [1]\n", no_sample, no_sample}));
}

TEST(SampleRead, ReadsByTime) {
  OpenedFile f = AvFile();
  // In turn: the read, track, time, sample read and the key-frame cursor
  // after it. The video's 5 samples end at 5000 whatever their stamps;
  // SeekTrack takes the key frame at or before the time, and leaves the
  // key-frame cursor after it, but not at the ends.
  const std::tuple<Op, uint32_t, int32_t, uint32_t, int32_t> reads[] = {
      {kGet, 1, -5, 0, 0},    {kGet, 1, 250, 2, 0},        {kGet, 1, 4999, 4, 0},
      {kGet, 1, 5000, 4, 0},  {kGet, 1, 0x7FFFFFFF, 4, 0}, {kGet, 1, 0, 0, 0},
      {kNext, 1, 0, 1, 0},    {kGet, 2, 2100, 2, 0},       {kSeek, 1, 400, 4, 3},
      {kSeek, 1, 350, 2, 2},  {kNext, 1, 0, 3, 2},         {kSeek, 1, -1, 0, 2},
      {kSeek, 1, 5000, 4, 2}, {kSeek, 2, 3000, 2, 2},      {kNextKey, 1, 0, 4, 3}};
  for (const auto& [op, id, time, i, key_cursor] : reads) {
    const std::string said = op == kNext      ? "1 "
                             : op == kNextKey ? "1 cursor is [4]\n"
                                              : std::to_string(i * (id == 1 ? 100 : 1024)) +
                                                    " cursor is [" + std::to_string(i) + "]\n";
    EXPECT_EQ(Do(f.file, op, id, time), said) << time;
    EXPECT_EQ(std::tie(got, f.file->key_cursor), std::make_tuple(Sample(id, i), key_cursor))
        << time;
  }
  OpenedFile late(BuildMovie({VideoPlan(1, 4, {2, 4})}));  // before the first key frame: it
  EXPECT_EQ(Do(late.file, kSeek, 1, 50), "100 cursor is [1]\n");
  EXPECT_EQ(late.file->key_cursor, 1);

  // video stamps 0, 2000, 4000 at timescale 1000: from 3 samples x 1000 on,
  // the last; audio: a stamp beyond what the result can carry reads as the
  // latest it can
  OpenedFile o(Movie(
      {SimpleTrak("vide", {Stts({{3, 2000}}), Stss({1, 2, 3}), Stsc({{1, 3, 1}}), Stsz(10, 3),
                           Stco({100})}),
       SimpleTrak("soun",
                  {Stts({{1, 0x90000000}, {1, 1}}), Stsc({{1, 2, 1}}), Stsz(10, 2), Stco({100})},
                  2)},
      200));
  MP4_input_file* s = o.file;
  EXPECT_EQ((Strings{Do(s, kGet, 1, 2999), Do(s, kGet, 1, 3000), Do(s, kSeek, 1, 2999),
                     std::to_string(s->key_cursor), Do(s, kSeek, 1, 3000),
                     std::to_string(s->key_cursor), Do(s, kGet, 2, 5000), Do(s, kSeek, 2, 5000)}),
            (Strings{"2000 cursor is [1]\n", "4000 cursor is [2]\n", "2000 cursor is [1]\n", "2",
                     "4000 cursor is [2]\n", "2", "2147483647 cursor is [1]\n",
                     "2147483647 cursor is [1]\n"}));
}

TEST(SampleRead, KeyFlags) {
  // from the sync samples; without them from the VOP coding type: an I-VOP,
  // a VOP start code and no byte more (the buffer still holds the I-VOP's),
  // a P-VOP, an I-VOP's bits after no VOP start code
  TrackPlan vops = VideoPlan(1, 0, {});
  vops.data = {Hex("000001B61060"), Hex("000001B6"), Hex("000001B65100"), Hex("000001B31060")};
  vops.chunks = {4};
  OpenedFile f = AvFile(), vop(BuildMovie({vops}));
  SampleBuffer buffer;
  testing::internal::CaptureStderr();  // unbuffered
  EXPECT_FALSE(buffer.Realloc(5));     // never allocated
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "realloc failed\n");
  ASSERT_TRUE(buffer.Alloc(1));
  Values flags;
  for (MP4_input_file* file : {f.file, vop.file})
    while (Do(file, kInternal, 1, 0, &buffer) == "0 ") flags.push_back(buffer.KeyFlag());
  EXPECT_EQ(flags, (Values{1, 0, 1, 0, 1, 1, 0, 0, 0}));
}
