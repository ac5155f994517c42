// MP4FileFlush end to end through the exports: the exact bytes of small
// files, the layout of larger ones, and every file read back by our reader.
#include <map>

#include "support/test_support.h"

using namespace box;

namespace {

constexpr uint32_t kTime = 0x12345678;
const Bytes kMatrix = Be(4, {0x10000, 0, 0, 0, 0x10000, 0, 0, 0, 0x40000000});

// One atom of a written file: where it is, what it is, and its path.
struct Box {
  std::string path;
  size_t offset, size;
};

// Every atom of `file`, checking on the way that each container's children
// fill it exactly and that the top level fills the file.
std::vector<Box> Walk(const Bytes& file, size_t from, size_t to, const std::string& parent) {
  static const std::map<std::string, size_t> kHeader = {
      {"moov", 8},  {"trak", 8},  {"mdia", 8},  {"minf", 8},  {"dinf", 8},
      {"stbl", 8},  {"tref", 8},  {"dref", 16}, {"stsd", 16}, {"mp4v", 86},
      {"s263", 86}, {"mp4a", 36}, {"samr", 36}, {"mp4s", 16}};
  std::vector<Box> boxes;
  size_t at = from;
  while (at + 8 <= to) {
    const size_t size = ReadUint32BE(&file[at]);
    const std::string type(file.begin() + at + 4, file.begin() + at + 8);
    const std::string path = parent.empty() ? type : parent + "/" + type;
    EXPECT_GE(size, 8u) << path;
    EXPECT_LE(at + size, to) << path << " overruns its parent";
    if (size < 8 || at + size > to) return boxes;
    boxes.push_back({path, at, size});
    const auto header = kHeader.find(type);
    if (header != kHeader.end()) {
      const auto inner = Walk(file, at + header->second, at + size, path);
      boxes.insert(boxes.end(), inner.begin(), inner.end());
    }
    at += size;
  }
  EXPECT_EQ(at, to) << "children of [" << parent << "] do not fill it";
  return boxes;
}
std::vector<Box> Walk(const Bytes& file) {
  return Walk(file, 0, file.size(), "");
}
// The bytes of the nth atom (from 0) with this path.
Bytes Find(const Bytes& file, const std::string& path, int nth = 0) {
  for (const Box& b : Walk(file))
    if (b.path == path && nth-- == 0)
      return Bytes(file.begin() + b.offset, file.begin() + b.offset + b.size);
  ADD_FAILURE() << "no " << path;
  return {};
}

// A file written through the exports, with its temporary files.
struct Writer {
  std::string path = ScratchPath("out.mp4"), video_temp = ScratchPath("v.tmp"),
              audio_temp = ScratchPath("a.tmp");
  MP4_local_file* file = nullptr;
  std::vector<Bytes> video, audio;  // the frames appended

  Writer() { EXPECT_EQ(MP4FileNew(&file, path.c_str()), 1); }
  void Video(const Bytes& config = {}) {
    EXPECT_EQ(CreateTrack(file, 1, 176, 144, 30, 1000, 1, 0, 0, 0, uint32_t(config.size()),
                          config.data(), video_temp.c_str(), 1),
              1);
  }
  void Audio() {
    EXPECT_EQ(
        CreateTrack(file, 2, 0, 0, 0, 44100, 0, 1, 2, 44100, 0, nullptr, audio_temp.c_str(), 1), 1);
  }
  void Stream(int32_t type) {
    EXPECT_EQ(CreateTrack(file, type, 0, 0, 0, 1000, 0, 0, 0, 0, 0, nullptr, nullptr, 0), 1);
  }
  void AddVideo(uint32_t size, uint32_t time, int32_t key = 1) {
    video.push_back(SampleBytes(1, uint32_t(video.size()), size));
    EXPECT_EQ(AddVideoFrame(file, size, video.back().data(), time, key), 1);
  }
  void AddAudio(uint32_t size) {
    audio.push_back(SampleBytes(2, uint32_t(audio.size()), size));
    EXPECT_EQ(AddAudioFrame(file, size, audio.back().data(), 1024 * uint32_t(audio.size() - 1)), 1);
  }
  // The flush's result, what it printed on both channels, the file's bytes.
  int32_t Flush(std::string* said = nullptr) {
    int32_t rc = 0;
    testing::internal::CaptureStderr();
    const std::string out = CaptureStdout([&] { rc = MP4FileFlush(file); });
    const std::string err = testing::internal::GetCapturedStderr();
    if (said != nullptr) *said = out + err;
    file = nullptr;
    return rc;
  }
  Bytes Written() const { return ReadWholeFile(path); }
};

// Every sample of a track through MP4GetNextSample.
std::vector<Bytes> ReadBack(const OpenedFile& f, uint32_t id) {
  std::vector<Bytes> samples;
  unsigned char* data = nullptr;
  uint32_t size = 0, time = 0;
  CaptureStdout([&] {
    while (MP4GetNextSample(f.file, id, &data, &size, &time) == 1) {
      samples.emplace_back(data, data + size);
      MP4freeData(&data);
    }
  });
  return samples;
}

bool TempFilesGone(const Writer& w) {
  return !std::filesystem::exists(w.video_temp) && !std::filesystem::exists(w.audio_temp);
}

Bytes Ftyp3gp() {
  return Atom("ftyp", {Str("3gp4"), U32(0x200), Str("3gp4")});
}
Bytes MovieHeader(uint32_t timescale, uint32_t duration, uint32_t next_id) {
  return Atom("mvhd", {Full(0, 0), Be(4, {kTime, kTime, timescale, duration, 0x10000}),
                       Be(2, {0x100}), Zeros(10), kMatrix, Zeros(24), U32(next_id)});
}
Bytes ObjectDescriptorIods(uint32_t a, uint32_t b) {
  const Bytes inc = {0x0E, 0x80, 0x80, 0x80, 0x04};
  return Atom(
      "iods",
      {Full(0, 0), Bytes{0x10, 0x80, 0x80, 0x80, 0x19, 0x00, 0x4F, 0xFF, 0xFF, 0x0F, 0x01, 0xFF},
       inc, U32(a), inc, U32(b)});
}

TEST(Flush, EmptyRecordWritesFtypMoovWithMvhdAndIodsAndAnEmptyMdat) {
  Writer w;
  EXPECT_EQ(w.Flush(), 1);
  EXPECT_EQ(w.Written(),
            Cat({Ftyp3gp(), Atom("moov", {MovieHeader(0, 0, 1), ObjectDescriptorIods(2, 3)}),
                 Atom("mdat")}));
}

// Three key frames of 100, 200 and 300 bytes, half a second apart, with
// the default decoder configuration: the whole file, byte for byte.
TEST(Flush, ThreeFramesGiveTheWholeFileByteForByte) {
  Writer w;
  w.Video();
  w.AddVideo(100, 0);
  w.AddVideo(200, 500);
  w.AddVideo(300, 1000);
  ASSERT_EQ(w.Flush(), 1);
  EXPECT_TRUE(TempFilesGone(w));

  const Bytes dsi = {0, 0, 1, 0xB0, 1,    0,    0,    1,    0xB5, 9,    0,    0,    1,    0,
                     0, 0, 1, 0x20, 0x01, 0x88, 0x40, 0x07, 0xA8, 0x2C, 0x20, 0x90, 0xA3, 0x1F};
  const Bytes esds =
      Atom("esds", {Full(0, 0), Bytes{3, 0x80, 0x80, 0x80, 57, 0, 1, 0},
                    Bytes{4, 0x80, 0x80, 0x80, 46, 0x20, 0x11, 0, 0x28, 0xFE}, Be(4, {0, 4800}),
                    Bytes{5, 0x80, 0x80, 0x80, 28}, dsi, Bytes{6, 1, 2}});
  auto moov = [&](uint32_t b) {
    const Bytes stbl =
        Atom("stbl", {Stsd(Mp4v(176, 144, esds)), Stts({{3, 500}}), Stsz(0, 3, {100, 200, 300}),
                      Stsc({{1, 1, 1}, {2, 1, 1}, {3, 1, 1}}), Stco({b, b + 100, b + 300}),
                      Stss({1, 2, 3})});
    const Bytes minf =
        Atom("minf", {Atom("vmhd", {Full(0, 1), Zeros(8)}),
                      Nest("dinf/dref", {Full(0, 0), U32(1), Atom("url ", {Full(0, 1)})}), stbl});
    const Bytes mdia =
        Atom("mdia", {Atom("mdhd", {Full(0, 0), Be(4, {kTime, kTime, 1000, 1500}), Zeros(4)}),
                      Atom("hdlr", {Full(0, 0), U32(0), Str("vide"), Zeros(16)}), minf});
    const Bytes tkhd = Atom("tkhd", {Full(0, 1), Be(4, {kTime, kTime, 1, 0, 1500}), Zeros(16),
                                     kMatrix, Be(4, {176u << 16, 144u << 16})});
    return Atom("moov", {MovieHeader(1000, 1500, 2), ObjectDescriptorIods(2, 3),
                         Atom("trak", {tkhd, mdia})});
  };
  const uint32_t b = uint32_t(Ftyp3gp().size() + moov(0).size() + 8);
  const Bytes expected =
      Cat({Ftyp3gp(), moov(b), Atom("mdat", {w.video[0], w.video[1], w.video[2]})});
  EXPECT_EQ(w.Written(), expected);

  OpenedFile f(w.path);
  EXPECT_EQ(ReadBack(f, f.file->video_track_id), w.video);
}

// Both media tracks and both system tracks: every atom's size holds, mdat
// covers the media and the two system samples, and the chunk offsets of
// each track point at its bytes.
TEST(Flush, AllFourTracksLayOutMediaThenTheSystemSamplesInsideMdat) {
  Writer w;
  w.Video();
  w.Audio();
  w.Stream(4);
  w.Stream(5);
  for (uint32_t i = 0; i < 40; ++i) w.AddVideo(50 + i, 40 * i, i % 12 == 0);
  for (uint32_t i = 0; i < 31; ++i) w.AddAudio(20 + i % 7);
  std::string said;
  ASSERT_EQ(w.Flush(&said), 1);
  EXPECT_EQ(said, "");
  EXPECT_TRUE(TempFilesGone(w));

  const Bytes file = w.Written();
  const std::vector<Box> boxes = Walk(file);
  ASSERT_EQ(boxes.back().path, "mdat");
  EXPECT_EQ(boxes.back().offset + boxes.back().size, file.size());
  const uint32_t b = uint32_t(boxes.back().offset + 8);
  uint32_t video_bytes = 0, audio_bytes = 0;
  for (const Bytes& v : w.video) video_bytes += uint32_t(v.size());
  for (const Bytes& a : w.audio) audio_bytes += uint32_t(a.size());
  EXPECT_EQ(file.size(), b + video_bytes + audio_bytes + 33 + 16);
  const Bytes tail(file.end() - 49, file.end());
  EXPECT_EQ(Bytes(tail.begin(), tail.begin() + 5), (Bytes{0x01, 0x80, 0x80, 0x80, 0x1C}));
  EXPECT_EQ(Bytes(tail.begin() + 33, tail.end() - 14), (Bytes{0xC0, 0x10}));

  // audio chunks of 30 begin after the video; the system samples after both
  uint32_t first_chunk = 0;
  for (uint32_t i = 0; i < 30; ++i) first_chunk += uint32_t(w.audio[i].size());
  EXPECT_EQ(Find(file, "moov/trak/mdia/minf/stbl/stco", 1),
            Stco({b + video_bytes, b + video_bytes + first_chunk}));
  EXPECT_EQ(Find(file, "moov/trak/mdia/minf/stbl/stco", 2), Stco({b + video_bytes + audio_bytes}));
  EXPECT_EQ(Find(file, "moov/trak/mdia/minf/stbl/stco", 3),
            Stco({b + video_bytes + audio_bytes + 33}));
  EXPECT_EQ(Find(file, "moov/trak/mdia/minf/stbl/stsz", 2), Stsz(33, 1));
  EXPECT_EQ(Find(file, "moov/trak/mdia/minf/stbl/stts", 2), Stts({{1, 0}}));
  EXPECT_EQ(Find(file, "moov/trak/tref/mpod"), Atom("mpod", {U32(1), U32(2)}));
  EXPECT_EQ(Find(file, "moov/iods"), ObjectDescriptorIods(3, 4));
  EXPECT_EQ(Find(file, "moov/trak/mdia/minf/stbl/stsc", 0),
            Stsc({{1, 12, 1}, {2, 12, 1}, {3, 12, 1}, {4, 4, 1}}));

  OpenedFile f(w.path);
  EXPECT_EQ(ReadBack(f, f.file->video_track_id), w.video);
  EXPECT_EQ(ReadBack(f, f.file->audio_track_id), w.audio);
}

// Object descriptor and scene tracks made before the media tracks: their
// samples are the bytes for the media tracks at flush, and the sizes, the
// offsets and the iods follow.
TEST(Flush, SystemTracksMadeFirstMatchTheMediaTracksAtFlush) {
  Writer w;
  w.Stream(4);
  w.Stream(5);
  w.Video();
  w.Audio();
  w.AddVideo(300, 0);
  w.AddAudio(40);
  ASSERT_EQ(w.Flush(), 1);
  const Bytes file = w.Written();
  const size_t end = Walk(file).back().offset + Walk(file).back().size;
  EXPECT_EQ(end, file.size());
  EXPECT_EQ(Find(file, "moov/iods"), ObjectDescriptorIods(1, 2));
  EXPECT_EQ(Find(file, "moov/trak/mdia/minf/stbl/stsz", 2), Stsz(33, 1));
  EXPECT_EQ(Find(file, "moov/trak/mdia/minf/stbl/stsz", 3), Stsz(16, 1));
  EXPECT_EQ(Find(file, "moov/trak/tref/mpod"), Atom("mpod", {U32(3), U32(4)}));
  EXPECT_EQ(Find(file, "moov/trak/mdia/minf/stbl/stco", 3), Stco({uint32_t(file.size() - 16)}));
  OpenedFile f(w.path);
  EXPECT_EQ(ReadBack(f, f.file->video_track_id), w.video);
  EXPECT_EQ(ReadBack(f, f.file->audio_track_id), w.audio);
}

TEST(Flush, SystemTracksWithoutMediaStayOutAndAThirdTrackLinksWithoutOd) {
  Writer none;
  none.Stream(4);
  none.Stream(5);
  ASSERT_EQ(none.Flush(), 1);
  EXPECT_EQ(none.Written(),
            Cat({Ftyp3gp(), Atom("moov", {MovieHeader(0, 0, 3), ObjectDescriptorIods(2, 3)}),
                 Atom("mdat")}));
  Writer scene;
  scene.Video();
  scene.Stream(5);
  scene.AddVideo(100, 0);
  scene.AddVideo(100, 40);
  ASSERT_EQ(scene.Flush(), 1);
  const Bytes file = scene.Written();
  EXPECT_EQ(Find(file, "moov/trak/mdia/minf/stbl/stco", 1), Stco({uint32_t(file.size() - 38)}));
  EXPECT_EQ(Find(file, "moov/trak/mdia/hdlr", 1)[19], 'm');  // sdsm
}

// One sample has no next time stamp: it lasts 0, and so does its track.
TEST(Flush, ASingleSampleLastsNothing) {
  Writer w;
  w.Video();
  w.AddVideo(100, 0);
  ASSERT_EQ(w.Flush(), 1);
  const Bytes file = w.Written();
  EXPECT_EQ(Find(file, "moov/trak/mdia/minf/stbl/stts"), Stts({{1, 0}}));
  EXPECT_EQ(ReadUint32BE(&Find(file, "moov/mvhd")[24]), 0u);
  OpenedFile f(w.path);
  EXPECT_EQ(ReadBack(f, f.file->video_track_id), w.video);
}

// 2500 frames fill two table blocks, which the flush merges into one table.
TEST(Flush, TableBlocksBecomeOneTable) {
  Writer w;
  w.Video();
  for (uint32_t i = 0; i < 2500; ++i) w.AddVideo(10 + i % 3, 40 * i, i % 250 == 0);
  ASSERT_EQ(w.Flush(), 1);
  const Bytes file = w.Written();
  EXPECT_EQ(Find(file, "moov/trak/mdia/minf/stbl/stsz").size(), 20u + 4 * 2500);
  EXPECT_EQ(Find(file, "moov/trak/mdia/minf/stbl/stts"), Stts({{2500, 40}}));
  EXPECT_EQ(Find(file, "moov/trak/mdia/minf/stbl/stss"),
            Stss({1, 251, 501, 751, 1001, 1251, 1501, 1751, 2001, 2251}));
  OpenedFile f(w.path);
  EXPECT_EQ(ReadBack(f, f.file->video_track_id), w.video);
}

}  // namespace
