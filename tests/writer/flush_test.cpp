// MP4FileFlush through the exports: the exact bytes of small files, the
// layout of larger ones, the failures, and streams from ffmpeg; every file
// read back by our reader, and by ffprobe and ffmpeg without a message.
#include <signal.h>
#include <sys/resource.h>

#include <map>

#include "support/test_support.h"

using namespace box;

namespace {

constexpr uint32_t kTime = 0x12345678;
const Bytes kMatrix = Be(4, {0x10000, 0, 0, 0, 0x10000, 0, 0, 0, 0x40000000});

struct Box {
  std::string path;
  size_t offset, size;
};

// Every atom of a written file, checking that each container's children
// fill it exactly and that the top level fills the file.
std::vector<Box> Walk(const Bytes& file, size_t from, size_t to, const std::string& parent) {
  static const std::map<std::string, size_t> kChildrenAt = {
      {"moov", 8},  {"trak", 8},  {"mdia", 8},  {"minf", 8},  {"dinf", 8},
      {"stbl", 8},  {"tref", 8},  {"dref", 16}, {"stsd", 16}, {"mp4v", 86},
      {"s263", 86}, {"mp4a", 36}, {"samr", 36}, {"mp4s", 16}};
  std::vector<Box> boxes;
  size_t at = from;
  for (size_t size; at + 8 <= to; at += size) {
    size = ReadUint32BE(&file[at]);
    const std::string type(file.begin() + at + 4, file.begin() + at + 8);
    const std::string path = parent.empty() ? type : parent + "/" + type;
    if (size < 8 || at + size > to) break;
    boxes.push_back({path, at, size});
    const auto children = kChildrenAt.find(type);
    if (children == kChildrenAt.end()) continue;
    const auto inner = Walk(file, at + children->second, at + size, path);
    boxes.insert(boxes.end(), inner.begin(), inner.end());
  }
  EXPECT_EQ(at, to) << "[" << parent << "] is not filled by its children";
  return boxes;
}
// The bytes of the nth atom (from 0) with this path.
Bytes Find(const Bytes& file, const std::string& path, int nth = 0) {
  for (const Box& b : Walk(file, 0, file.size(), ""))
    if (b.path == path && nth-- == 0)
      return Bytes(file.begin() + b.offset, file.begin() + b.offset + b.size);
  ADD_FAILURE() << "no " << path;
  return {};
}
const std::string kStbl = "moov/trak/mdia/minf/stbl/";

// A file written through the exports, with its temporary files.
struct Writer {
  std::string path, video_temp, audio_temp = ScratchPath("a");
  MP4_local_file* file = nullptr;
  std::vector<Bytes> video, audio;  // the frames appended

  explicit Writer(const std::string& out = ScratchPath("out.mp4"),
                  const std::string& temp = ScratchPath("v"))
      : path(out), video_temp(temp) {
    EXPECT_EQ(MP4FileNew(&file, path.c_str()), 1);
  }
  void Video(const Bytes& config = {}, uint32_t width = 176) {
    EXPECT_EQ(CreateTrack(file, 1, width, 144, 30, 1000, 1, 0, 0, 0, uint32_t(config.size()),
                          config.data(), video_temp.c_str(), 1),
              1);
  }
  // AAC at 44100 Hz, by its parameters or by an ADTS header
  void Audio(const Bytes& config = {}) {
    const uint32_t set = config.empty() ? 1 : 0;
    EXPECT_EQ(CreateTrack(file, 2, 0, 0, 0, 44100, 0, set, 2 * set, 44100 * set,
                          uint32_t(config.size()), config.data(), audio_temp.c_str(), 1),
              1);
  }
  void Stream(int32_t type) {
    EXPECT_EQ(CreateTrack(file, type, 0, 0, 0, 1000, 0, 0, 0, 0, 0, nullptr, nullptr, 0), 1);
  }
  void AddVideo(const Bytes& frame, uint32_t time, int32_t key = 1) {
    video.push_back(frame);
    EXPECT_EQ(AddVideoFrame(file, uint32_t(frame.size()), frame.data(), time, key), 1);
  }
  void AddVideo(uint32_t size, uint32_t time, int32_t key = 1) {
    AddVideo(SampleBytes(1, uint32_t(video.size()), size), time, key);
  }
  void AddAudio(const Bytes& frame) {
    audio.push_back(frame);
    const uint32_t time = 1024 * uint32_t(audio.size() - 1);
    EXPECT_EQ(AddAudioFrame(file, uint32_t(frame.size()), frame.data(), time), 1);
  }
  void AddAudio(uint32_t size) { AddAudio(SampleBytes(2, uint32_t(audio.size()), size)); }
  // The result, with what was printed on both channels.
  std::pair<int32_t, std::string> Flush() {
    int32_t rc = 0;
    testing::internal::CaptureStderr();
    const std::string out = CaptureStdout([&] { rc = MP4FileFlush(file); });
    EXPECT_FALSE(std::filesystem::exists(video_temp) || std::filesystem::exists(audio_temp));
    return {rc, out + testing::internal::GetCapturedStderr()};
  }
  Bytes Written() const { return ReadWholeFile(path); }
  // Our reader gives back every frame of both tracks.
  void ExpectReadBack() const {
    OpenedFile f(path);
    for (auto [id, frames] :
         {std::pair{f.file->video_track_id, &video}, std::pair{f.file->audio_track_id, &audio}}) {
      std::vector<Bytes> samples;
      unsigned char* data = nullptr;
      uint32_t size = 0, time = 0;
      CaptureStdout([&] {
        for (; MP4GetNextSample(f.file, id, &data, &size, &time) == 1; MP4freeData(&data))
          samples.emplace_back(data, data + size);
      });
      EXPECT_EQ(samples, *frames) << "track " << id;
    }
  }
};
const std::pair<int32_t, std::string> kDone = {1, ""};

Bytes Ftyp3gp() {
  return Atom("ftyp", {Str("3gp4"), U32(0x200), Str("3gp4")});
}
Bytes MovieHeader(uint32_t timescale, uint32_t duration, uint32_t next_id) {
  return Atom("mvhd", {Full(0, 0), Be(4, {kTime, kTime, timescale, duration, 0x10000}),
                       Be(2, {0x100}), Zeros(10), kMatrix, Zeros(24), U32(next_id)});
}
Bytes Iods(uint32_t a, uint32_t b) {
  return Atom("iods", {Full(0, 0), Hex("1080808019 004FFFFF0F01FF 0E80808004"), U32(a),
                       Hex("0E80808004"), U32(b)});
}
Bytes EmptyMovie(uint32_t next_id) {
  return Cat({Ftyp3gp(), Atom("moov", {MovieHeader(0, 0, next_id), Iods(2, 3)}), Atom("mdat")});
}

struct Media {
  std::vector<Bytes> frames;
  std::vector<int32_t> keys;  // 1 for a key frame
  Bytes config;
};

// MPEG-4 Visual: the headers before the first group or picture are the
// configuration; a group header goes with the picture after it.
Media M4v(const Bytes& s) {
  std::vector<size_t> starts;
  bool group_open = false;
  for (size_t i = 0; i + 4 < s.size(); ++i) {
    if (s[i] || s[i + 1] || s[i + 2] != 1 || (s[i + 3] != 0xB3 && s[i + 3] != 0xB6)) continue;
    if (s[i + 3] == 0xB3 || !group_open) starts.push_back(i);
    group_open = s[i + 3] == 0xB3;
  }
  Media out;
  for (size_t k = 0; k < starts.size(); ++k) {
    const Bytes& f = out.frames.emplace_back(
        s.begin() + starts[k], k + 1 < starts.size() ? s.begin() + starts[k + 1] : s.end());
    const auto vop = std::find(f.begin() + 3, f.end(), 0xB6);  // its coding type: intra?
    out.keys.push_back(vop + 1 < f.end() && (vop[1] >> 6) == 0);
  }
  out.config.assign(s.begin(), s.begin() + (starts.empty() ? 0 : starts[0]));
  return out;
}

// ADTS: each frame's payload after its header; the first header's start
// is the configuration.
Media Adts(const Bytes& s) {
  Media out;
  out.config.assign(s.begin(), s.begin() + 4);
  for (size_t at = 0, length; at + 7 <= s.size(); at += length) {
    length = ((s[at + 3] & 3u) << 11) | (s[at + 4] << 3) | (s[at + 5] >> 5);
    const size_t header = (s[at + 1] & 1) ? 7 : 9;
    if (length < header || at + length > s.size()) break;
    out.frames.emplace_back(s.begin() + at + header, s.begin() + at + length);
    out.keys.push_back(1);
  }
  return out;
}

void ExpectCleanForFfmpeg(const std::string& path) {
  std::string probe, decode;
  EXPECT_EQ(RunCommand("ffprobe -v error '" + path + "'", &probe), 0);
  EXPECT_EQ(
      RunCommand("ffmpeg -nostdin -v error -i '" + path + "' -map 0:v -map 0:a -f null -", &decode),
      0);
  EXPECT_EQ(probe + decode, "") << path;
}

TEST(Flush, EmptyRecordsGiveFtypMoovWithMvhdAndIodsAndAnEmptyMdat) {
  Writer empty;
  EXPECT_EQ(empty.Flush(), kDone);
  EXPECT_EQ(empty.Written(), EmptyMovie(1));
  // system tracks without a media track describe nothing and stay out
  Writer systems;
  systems.Stream(4);
  systems.Stream(5);
  EXPECT_EQ(systems.Flush(), kDone);
  EXPECT_EQ(systems.Written(), EmptyMovie(3));
}

// Three key frames of 100, 200 and 300 bytes half a second apart, with the
// default decoder configuration: the whole file, byte for byte.
TEST(Flush, ThreeFramesGiveTheWholeFileByteForByte) {
  Writer w;
  w.Video();
  for (uint32_t i = 1; i <= 3; ++i) w.AddVideo(100 * i, 500 * (i - 1));
  EXPECT_EQ(w.Flush(), kDone);

  const Bytes dsi = Hex("000001B001 000001B509 00000100 0000012001 884007A82C2090A31F");
  const Bytes esds = Esds(0x20, 0x11, dsi, 0, 4800);
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
    return Atom("moov", {MovieHeader(1000, 1500, 2), Iods(2, 3), Atom("trak", {tkhd, mdia})});
  };
  const uint32_t b = uint32_t(Ftyp3gp().size() + moov(0).size() + 8);  // the first media byte
  EXPECT_EQ(w.Written(), Cat({Ftyp3gp(), moov(b), Atom("mdat", {Cat(w.video)})}));
  w.ExpectReadBack();
}

// Both media tracks and both system tracks, made in this order or the
// system tracks first: mdat covers the media and the two system samples,
// each track's chunk offsets point at its bytes, and the system samples'
// sizes and the iods follow the tracks that exist at flush.
TEST(Flush, AllFourTracksLayOutMediaThenTheSystemSamplesInsideMdat) {
  for (bool systems_first : {false, true}) {
    Writer w;
    if (systems_first) w.Stream(4), w.Stream(5);
    w.Video();
    w.Audio();
    if (!systems_first) w.Stream(4), w.Stream(5);
    for (uint32_t i = 0; i < 40; ++i) w.AddVideo(50 + i, 40 * i, i % 12 == 0);
    for (uint32_t i = 0; i < 31; ++i) w.AddAudio(20 + i % 7);
    EXPECT_EQ(w.Flush(), kDone);
    const Bytes file = w.Written();
    const uint32_t video = uint32_t(Cat(w.video).size()), audio = uint32_t(Cat(w.audio).size());
    const uint32_t b = uint32_t(file.size()) - video - audio - 33 - 16;
    EXPECT_EQ(Bytes(file.begin() + b - 8, file.begin() + b),
              Cat({U32(8 + video + audio + 49), Str("mdat")}));
    EXPECT_EQ(Bytes(file.end() - 49, file.end() - 44), (Bytes{1, 0x80, 0x80, 0x80, 0x1C}));
    EXPECT_EQ(Bytes(file.end() - 16, file.end() - 14), (Bytes{0xC0, 0x10}));
    const uint32_t first_chunk =
        uint32_t(Cat(std::vector<Bytes>(w.audio.begin(), w.audio.begin() + 30)).size());
    const int v = 0, a = 1, od = 2, sd = 3;  // the traks' order, whatever the tracks' IDs
    EXPECT_EQ(Find(file, kStbl + "stsc", v), Stsc({{1, 12, 1}, {2, 12, 1}, {3, 12, 1}, {4, 4, 1}}));
    EXPECT_EQ(Find(file, kStbl + "stco", a), Stco({b + video, b + video + first_chunk}));
    EXPECT_EQ(Find(file, kStbl + "stco", od), Stco({b + video + audio}));
    EXPECT_EQ(Find(file, kStbl + "stco", sd), Stco({b + video + audio + 33}));
    EXPECT_EQ((std::vector<Bytes>{Find(file, kStbl + "stsz", od), Find(file, kStbl + "stts", od)}),
              (std::vector<Bytes>{Stsz(33, 1), Stts({{1, 0}})}));
    EXPECT_EQ(Find(file, kStbl + "stsz", sd), Stsz(16, 1));
    EXPECT_EQ(Find(file, "moov/trak/tref/mpod"),
              systems_first ? Atom("mpod", {U32(3), U32(4)}) : Atom("mpod", {U32(1), U32(2)}));
    EXPECT_EQ(Find(file, "moov/iods"), systems_first ? Iods(1, 2) : Iods(3, 4));
    EXPECT_EQ(Find(file, kStbl + "stsd/mp4a"),
              Mp4a(2, 44100, Find(file, kStbl + "stsd/mp4a/esds")));
    Values volumes;
    for (int t = 0; t < 4; ++t)
      volumes.push_back(ReadUint32BE(&Find(file, "moov/trak/tkhd", t)[44]));
    EXPECT_EQ(volumes[a], 0x01000000u);
    EXPECT_EQ(volumes[v] + volumes[od] + volumes[sd], 0u);
    w.ExpectReadBack();
  }
}

// A scene track without an object descriptor track still goes in; 2500
// frames held in two table blocks come out as one table.
TEST(Flush, ASceneTrackAloneAndTwoTableBlocks) {
  Writer w;
  w.Video();
  w.Stream(5);
  for (uint32_t i = 0; i < 2500; ++i) w.AddVideo(10 + i % 3, 40 * i, i % 1000 == 0);
  EXPECT_EQ(w.Flush(), kDone);
  const Bytes file = w.Written();
  EXPECT_EQ(Find(file, kStbl + "stco", 1), Stco({uint32_t(file.size() - 38)}));
  EXPECT_EQ(Find(file, kStbl + "stsz").size(), 20u + 4 * 2500);
  EXPECT_EQ(Find(file, kStbl + "stts"), Stts({{2500, 40}}));
  EXPECT_EQ(Find(file, kStbl + "stss"), Stss({1, 1001, 2001}));
  w.ExpectReadBack();
}

TEST(FlushFailure, MissingRecordsAndTemporaryFilesGiveMinus99) {
  testing::internal::CaptureStderr();
  EXPECT_EQ(MP4FileFlush(nullptr), -99);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "the input localfile is empty!\n");
  for (bool replaced : {false, true}) {  // gone, or another file under the same name
    Writer w;
    w.Video();
    w.AddVideo(100, 0);
    std::filesystem::remove(w.video_temp);
    if (replaced) std::ofstream(w.video_temp) << "short";
    EXPECT_EQ(w.Flush(), std::make_pair(-99, std::string("error in video tempfile!\n")));
  }
  Writer nothing;  // no frames: nothing is missing
  nothing.Video();
  std::filesystem::remove(nothing.video_temp);
  EXPECT_EQ(nothing.Flush(), kDone);
}

TEST(FlushFailure, ATrackThatCannotBeDescribedFailsUpToTheMovie) {
  const std::string chain =
      "there is error in [stbl]'s child=>[stsd]\n"
      "there is error in [minf]'s child=>[stbl]\n"
      "there is error in [mdia]'s child=>[minf]\n"
      "there is error in [trak]'s child=>[mdia]\n"
      "there is error in [moov]'s child=>[trak]\n"
      "There is error in [moov] atom\n"
      "error occuring in writing [stts]atom\n";  // the tree is written as far as it is sized
  // a configuration that is no MPEG-4 Visual header, a picture too wide for the default
  for (auto [config, width] : {std::pair{Bytes{0, 0, 1, 0xB6, 0x10}, 176u}, {Bytes{}, 8192u}}) {
    Writer w;
    w.Video(config, width);
    w.AddVideo(100, 0);
    EXPECT_EQ(w.Flush(), std::make_pair(-99, chain));
  }
}

// The limit is set after the appends, so only the output meets it: in the
// copy of the media, or only when the close writes what is buffered.
TEST(FlushFailure, AFileSizeLimitGivesMinus99AndLeavesNoTemporaryFile) {
  for (auto [frames, limit] : {std::pair{100u, 50000u}, {1u, 100u}}) {
    const std::string path = ScratchPath("limited.mp4"), temp = ScratchPath("limited");
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      Writer w(path, temp);
      w.Video();
      for (uint32_t i = 0; i < frames; ++i) w.AddVideo(1000, 40 * i, i % 10 == 0);
      std::fflush(w.file->video_temp);
      signal(SIGXFSZ, SIG_IGN);
      const rlimit size_limit{limit, limit};
      setrlimit(RLIMIT_FSIZE, &size_limit);
      _exit(w.Flush() == std::make_pair(-99, std::string("error occuring in writing [mdat]atom\n"))
                ? 0
                : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status << " " << limit;
    EXPECT_FALSE(std::filesystem::exists(temp));
    EXPECT_EQ(std::filesystem::file_size(path), limit);
  }
}

// Streams from ffmpeg written as they come, with the system tracks, and
// starting after the first key frame (the frames before it stay reachable).
TEST(FlushFfmpeg, Mpeg4VisualAndAacReadBackParseAndDecode) {
  const std::string m4v = FfmpegMedia(
      "flush-176x144.m4v", "-f lavfi -i testsrc=size=176x144:rate=25 -t 2 -c:v mpeg4 -g 12 -f m4v");
  const std::string aac =
      FfmpegMedia("flush-44100.aac", "-f lavfi -i sine=sample_rate=44100 -t 2 -c:a aac -f adts");
  if (m4v.empty() || aac.empty()) GTEST_SKIP() << "ffmpeg is not installed";
  const Media video = M4v(ReadWholeFile(m4v)), audio = Adts(ReadWholeFile(aac));
  ASSERT_EQ((Values{uint32_t(video.frames.size()), uint32_t(video.keys[12])}), (Values{50, 1}));
  for (int variant : {0, 1, 2}) {
    Writer w;
    w.Video(video.config);
    w.Audio(audio.config);
    if (variant == 1) w.Stream(4), w.Stream(5);
    for (size_t i = variant == 2 ? 1 : 0; i < video.frames.size(); ++i)
      w.AddVideo(video.frames[i], uint32_t(40 * i), video.keys[i]);
    for (const Bytes& frame : audio.frames) w.AddAudio(frame);
    EXPECT_EQ(w.Flush(), kDone);
    w.ExpectReadBack();
    if (variant < 2) ExpectCleanForFfmpeg(w.path);
  }
}

}  // namespace
