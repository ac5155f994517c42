// Mp4AddAudio and Mp4AddVideo end to end: ffmpeg's files merged, read back
// frame for frame and decoded, and merged again; the edge cases of both raw
// streams; failures that leave nothing behind.
#include <cmath>

#include "support/test_support.h"

using namespace box;
namespace fs = std::filesystem;

namespace {

struct Sample {
  Bytes bytes;
  uint32_t time;
  bool operator==(const Sample& o) const { return bytes == o.bytes && time == o.time; }
};
void PrintTo(const Sample& s, std::ostream* os) {
  *os << s.bytes.size() << " bytes at " << s.time;
}

// Every sample of the file's video (or audio) track; the video key frames.
std::vector<Sample> ReadTrack(const std::string& path, bool video, Values* keys = nullptr) {
  OpenedFile f(path);
  std::vector<Sample> samples;
  const uint32_t id = video ? f.file->video_track_id : f.file->audio_track_id;
  unsigned char* data = nullptr;
  uint32_t size = 0, time = 0;
  CaptureStdout([&] {
    for (; MP4GetNextSample(f.file, id, &data, &size, &time) == 1; MP4freeData(&data))
      samples.push_back({Bytes(data, data + size), time});
  });
  for (uint32_t k = 0; keys != nullptr && k < f.track(id)->key_count; ++k)
    keys->push_back(f.track(id)->key_table[k].sample_index);
  return samples;
}

// An ADTS frame around `payload`, at 44100 Hz unless `index` says otherwise;
// with `crc` the header says so and two CRC bytes follow it.
Bytes AdtsFrame(const Bytes& payload, bool crc = false, uint32_t index = 4) {
  const uint32_t n = uint32_t(payload.size()) + (crc ? 9 : 7);
  return Cat({{0xFF, uint8_t(crc ? 0xF0 : 0xF1), uint8_t(0x40 | index << 2),
               uint8_t(0x80 | n >> 11), uint8_t(n >> 3), uint8_t((n & 7) << 5 | 0x1F), 0xFC},
              crc ? Bytes{0xAB, 0xCD} : Bytes{},
              payload});
}
// The AAC frames of an ADTS stream, 1024 samples apart.
std::vector<Sample> AdtsPayloads(const Bytes& s) {
  std::vector<Sample> frames;
  for (size_t at = 0, n; at + 7 <= s.size(); at += n) {
    n = ((s[at + 3] & 3u) << 11) | (s[at + 4] << 3) | (s[at + 5] >> 5);
    const size_t skip = (s[at + 1] & 1) ? 7 : 9;
    frames.push_back({Bytes(&s[at + skip], &s[at + n]), uint32_t(frames.size() * 1024)});
  }
  return frames;
}

Bytes Vop(unsigned type, size_t n) {  // coding type 0: intra
  Bytes b = {0, 0, 1, 0xB6, uint8_t(type << 6 | 0x15)};
  b.resize(5 + n, uint8_t(0x40 + n));
  return b;
}

// The builder's movie with the 176 x 144 video configuration and AAC audio.
std::string BuiltMovie(bool audio = true) {
  TrackPlan video = VideoPlan(1, 6, {1, 4});
  video.esds = Esds(0x20, 0x11, kQcifVol);
  return WriteScratchFile("built.mp4",
                          BuildMovie(audio ? std::vector<TrackPlan>{video, AudioPlan(2, 9)}
                                           : std::vector<TrackPlan>{video}));
}

// ffmpeg's MPEG-4 Visual and AAC, muxed or raw.
std::string Ffmpeg(const std::string& name, bool picture, bool sound, const std::string& more) {
  return FfmpegMedia(name, std::string(picture ? "-f lavfi -i testsrc=size=176x144:rate=25 " : "") +
                               (sound ? "-f lavfi -i sine=sample_rate=44100 " : "") +
                               (picture ? "-c:v mpeg4 -g 10 " : "") + (sound ? "-c:a aac " : "") +
                               "-t 2 " + more);
}

// ffprobe sees mpeg4 and aac, and ffmpeg decodes the file without a message.
void ExpectDecodes(const std::string& path) {
  std::string text;
  RunCommand("ffprobe -v error -show_entries stream=codec_name -of csv=p=0 '" + path + "'", &text);
  EXPECT_EQ(text.substr(0, 10), "mpeg4\naac\n") << path;
  EXPECT_EQ(RunCommand("ffmpeg -nostdin -v error -i '" + path + "' -f null -", &text), 0);
  EXPECT_EQ(text, "") << path;
}

// Each test runs in a scratch working directory, where the temporary files go.
class Merge : public testing::Test {
 protected:
  void SetUp() override {
    const std::string dir = ScratchPath("cwd");
    fs::create_directories(dir);
    fs::current_path(dir);
  }
  void TearDown() override { fs::current_path(home_); }

  int32_t Audio(const std::string& mp4, const std::string& adts, const std::string& out) {
    int32_t r = 0;
    output = CaptureStdout([&] { r = Mp4AddAudio(mp4.c_str(), adts.c_str(), out.c_str()); });
    return r;
  }
  int32_t Video(const std::string& mp4, const std::string& m4v, const std::string& out,
                float rate) {
    int32_t r = 0;
    output = CaptureStdout([&] { r = Mp4AddVideo(mp4.c_str(), m4v.c_str(), out.c_str(), rate); });
    return r;
  }
  void ExpectNothingLeft(const std::string& out) {
    EXPECT_FALSE(fs::exists(out) || fs::exists("tempv.v") || fs::exists("tempa.a")) << out;
  }

  std::string output;
  const fs::path home_ = fs::current_path();
};

TEST_F(Merge, FfmpegFilesMergeReadBackAndDecode) {
  const std::string movie = Ffmpeg("merge-av.mp4", true, true, ""),
                    m4v = Ffmpeg("merge.m4v", true, false, "-f m4v"),
                    adts = Ffmpeg("merge.adts", false, true, "-f adts");
  if (movie.empty() || m4v.empty() || adts.empty()) GTEST_SKIP() << "no ffmpeg";
  Values keys_in, keys_out;
  const std::vector<Sample> video = ReadTrack(movie, true, &keys_in),
                            audio = ReadTrack(movie, false);

  const std::string with_audio = ScratchPath("a.mp4"), with_crc = ScratchPath("crc.mp4");
  ASSERT_EQ(Audio(movie, adts, with_audio), 1) << output;
  EXPECT_EQ(ReadTrack(with_audio, true, &keys_out), video);
  EXPECT_EQ(keys_out, keys_in);
  const std::vector<Sample> frames = AdtsPayloads(ReadWholeFile(adts));
  EXPECT_EQ(ReadTrack(with_audio, false), frames);
  ExpectDecodes(with_audio);
  Bytes crc;  // the same frames with a CRC, which goes nowhere
  for (const Sample& f : frames) crc = Cat({crc, AdtsFrame(f.bytes, true)});
  ASSERT_EQ(Audio(movie, WriteScratchFile("crc.adts", crc), with_crc), 1) << output;
  EXPECT_EQ(ReadTrack(with_crc, false), frames);

  // every byte from the first VOP on, one VOP a frame, 40 ms apart
  const std::string with_video = ScratchPath("v.mp4");
  ASSERT_EQ(Video(movie, m4v, with_video, 25), 1) << output;
  EXPECT_EQ(ReadTrack(with_video, false), audio);
  const Bytes stream = ReadWholeFile(m4v), vop = {0, 0, 1, 0xB6};
  Bytes joined;
  Values keys;
  keys_out.clear();
  const std::vector<Sample> split = ReadTrack(with_video, true, &keys_out);
  for (uint32_t i = 0; i < split.size(); ++i) {
    joined = Cat({joined, split[i].bytes});
    EXPECT_EQ(split[i].time, 40 * i);
    if ((split[i].bytes[4] >> 6) == 0) keys.push_back(i);
  }
  EXPECT_EQ(joined,
            Bytes(std::search(stream.begin(), stream.end(), vop.begin(), vop.end()), stream.end()));
  EXPECT_EQ(split.size(), 50u);
  EXPECT_EQ(keys_out, keys);
  ExpectDecodes(with_video);
  ExpectNothingLeft(ScratchPath("none"));

  // the outputs merge again
  const std::string again_a = ScratchPath("va.mp4"), again_v = ScratchPath("av.mp4");
  ASSERT_EQ(Audio(with_video, adts, again_a), 1) << output;
  ASSERT_EQ(Video(with_audio, m4v, again_v, 25), 1) << output;
  EXPECT_EQ(ReadTrack(again_a, true), split);
  EXPECT_EQ(ReadTrack(again_v, false), frames);
  ExpectDecodes(again_a);
  ExpectDecodes(again_v);
}

TEST_F(Merge, AdtsStreams) {
  const std::string movie = BuiltMovie();
  const Bytes a = AdtsFrame(Bytes(3000, 1)), b = AdtsFrame(Bytes(7, 2)), c = AdtsFrame({});
  Bytes short_length = b;
  short_length[4] = 0, short_length[5] = 0xBF;  // frame_length 5
  const std::pair<Bytes, int32_t> cases[] = {
      {Cat({a, b, c}), 1},
      {b, 1},  // one frame: one sample at 0
      {Cat({AdtsFrame(Bytes(9, 3), true), AdtsFrame(Bytes(1, 4), true)}), 1},
      {Cat({Bytes{0xFE}, Bytes(b.begin() + 1, b.end())}), -31},
      {AdtsFrame(Bytes(10, 1), false, 12), -31},
      {AdtsFrame(Bytes(10, 1), false, 15), -31},
      {Cat({a, Bytes(b.begin(), b.end() - 3)}), -31},  // cut in the middle of a frame
      {Cat({a, short_length, c}), -31},
      {Cat({a, Bytes(20, 0x55)}), -31},  // no sync word after a frame
      {Bytes(a.begin(), a.begin() + 6), -31},
      {{}, -31},
  };
  for (const auto& [stream, result] : cases) {
    const std::string out = ScratchPath("out.mp4");
    EXPECT_EQ(Audio(movie, WriteScratchFile("in.adts", stream), out), result)
        << &stream - &cases[0].first;
    if (result == 1)
      EXPECT_EQ(ReadTrack(out, false), AdtsPayloads(stream));
    else
      ExpectNothingLeft(out);
  }
}

TEST_F(Merge, RawVideoStreams) {
  const std::string movie = BuiltMovie();
  const Bytes i0 = Vop(0, 30), p1 = Vop(1, 5), i2 = Vop(0, 12), gov = {0, 0, 1, 0xB3, 7, 7};
  struct Case {
    Bytes stream;
    float rate;
    int32_t result;
    std::vector<Sample> frames;
    Values keys;
  } const cases[] = {
      {Cat({kQcifVol, i0, p1, i2}), 30, 1, {{i0, 0}, {p1, 33}, {i2, 66}}, {0, 2}},
      // a group header stays in the frame before it
      {Cat({kQcifVol, i0, gov, i2}), 7.5f, 1, {{Cat({i0, gov}), 0}, {i2, 133}}, {0, 1}},
      {Cat({kQcifVol, i0, p1, i2}),
       1.0f / (1 << 20),
       1,
       {{i0, 0}, {p1, 1048576000}, {i2, 2097152000}},
       {0, 2}},
      {Cat({kQcifVol, i0, p1, i2}), 1.0f / (1 << 22), -1, {}, {}},  // past 32 bits
      {Cat({kQcifVol, gov}), 25, -31, {}, {}},                      // no VOP
      {Cat({Bytes{0, 0, 2}, kQcifVol, i0}), 25, -31, {}, {}},
      {{}, 25, -31, {}, {}},
  };
  for (const Case& k : cases) {
    const std::string out = ScratchPath("out.mp4");
    EXPECT_EQ(Video(movie, WriteScratchFile("in.m4v", k.stream), out, k.rate), k.result) << output;
    Values keys;
    if (k.result == 1) {
      EXPECT_EQ(ReadTrack(out, true, &keys), k.frames);
    } else {
      ExpectNothingLeft(out);
    }
    EXPECT_EQ(keys, k.keys);
  }
  const std::string no_vop = WriteScratchFile("gov.m4v", Cat({kQcifVol, gov}));
  EXPECT_EQ(Video(movie, no_vop, "x.mp4", 25), -31);
  EXPECT_NE(output.find("no VOP start code in [" + no_vop + "]\n"), std::string::npos) << output;
}

TEST_F(Merge, FailuresLeaveNothingBehind) {
  const std::string movie = BuiltMovie(), out = ScratchPath("out.mp4");
  const std::string adts = WriteScratchFile("in.adts", AdtsFrame(Bytes(50, 1))),
                    m4v = WriteScratchFile("in.m4v", Cat({kQcifVol, Vop(0, 9)}));
  // frame rates that time no frame: -1 before any file is touched
  const std::string kept = WriteScratchFile("kept.mp4", {1, 2, 3});
  for (float rate : {0.0f, -0.0f, -25.0f, NAN, INFINITY, -INFINITY})
    EXPECT_EQ(Video(movie, m4v, kept, rate), -1) << rate;
  EXPECT_EQ(ReadWholeFile(kept), (Bytes{1, 2, 3}));
  // null paths and files that are not there, or lack the track wanted
  EXPECT_EQ(Mp4AddAudio(movie.c_str(), nullptr, out.c_str()), -1);
  EXPECT_EQ(Mp4AddAudio(movie.c_str(), adts.c_str(), nullptr), -1);
  EXPECT_EQ(Mp4AddVideo(nullptr, m4v.c_str(), out.c_str(), 25), -1);
  EXPECT_EQ(Audio(movie, ScratchPath("absent.adts"), out), -1);
  EXPECT_EQ(Audio(movie, adts, adts), -1);
  EXPECT_EQ(Video(movie, m4v, movie, 25), -1);
  EXPECT_EQ(output, "the merged file [" + movie + "] would overwrite an input\n");
  EXPECT_EQ(ReadWholeFile(adts), AdtsFrame(Bytes(50, 1)));
  EXPECT_EQ(Audio(adts, adts, out), -11);
  EXPECT_EQ(Video(ScratchPath("absent.mp4"), m4v, out, 25), -11);
  EXPECT_EQ(Audio(WriteScratchFile("a.mp4", BuildMovie({AudioPlan(1, 3)})), adts, out), -12);
  EXPECT_EQ(Video(BuiltMovie(false), m4v, out, 25), -12);
  TrackPlan mp3 = AudioPlan(1, 3);
  mp3.esds = Esds(0x6B, 0x15, {});
  EXPECT_EQ(Video(WriteScratchFile("mp3.mp4", BuildMovie({mp3})), m4v, out, 25), -12);
  EXPECT_NE(output.find("the audio track has no AAC configuration\n"), std::string::npos);
  ExpectNothingLeft(out);

  // a video sample of the existing file past its end: -21
  Bytes broken = ReadWholeFile(movie);
  const Bytes stco = Str("stco");
  std::search(broken.begin(), broken.end(), stco.begin(), stco.end())[12] = 0x7F;
  EXPECT_EQ(Audio(WriteScratchFile("past.mp4", broken), adts, out), -21);
  ExpectNothingLeft(out);

  // an output folder that is not there; a temporary file that cannot be made
  const std::string nowhere = ScratchPath("no-such-folder") + "/out.mp4";
  EXPECT_EQ(Audio(movie, adts, nowhere), -41);
  EXPECT_NE(output.find("the merged file [" + nowhere + "] could not be written\n"),
            std::string::npos);
  EXPECT_EQ(Video(movie, m4v, nowhere, 25), -41);
  ExpectNothingLeft(nowhere);
  fs::create_directories("tempv.v/kept");  // a folder in the way
  EXPECT_EQ(Audio(movie, adts, out), -41);
  EXPECT_FALSE(fs::exists(out) || fs::exists("tempa.a"));
}

// ffmpeg's header with its own quantiser matrix: more than the 52 bytes.
TEST_F(Merge, ConfigurationsLongerThanATrackKeeps) {
  std::string matrix = "-mpeg_quant 1 -intra_matrix 8";
  for (int i = 1; i < 64; ++i) matrix += "," + std::to_string(8 + i % 40);
  const std::string movie = Ffmpeg("merge-quant.mp4", true, false, matrix),
                    m4v = Ffmpeg("merge-quant.m4v", true, false, matrix + " -f m4v");
  if (movie.empty() || m4v.empty()) GTEST_SKIP() << "no ffmpeg";
  const std::string out = ScratchPath("out.mp4");
  EXPECT_EQ(Audio(movie, WriteScratchFile("in.adts", AdtsFrame({1})), out), -12);
  EXPECT_NE(output.find("the video configuration of [8"), std::string::npos) << output;
  EXPECT_EQ(Video(BuiltMovie(), m4v, out, 25), -31);
  EXPECT_NE(output.find("the stream header of [9"), std::string::npos) << output;
  EXPECT_EQ(Count(output, "] bytes is longer than a track keeps\n"), 1u);
  ExpectNothingLeft(out);
}

}  // namespace
