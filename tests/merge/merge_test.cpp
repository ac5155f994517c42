// Mp4AddAudio and Mp4AddVideo: ffmpeg's files merged, read back, decoded
// and merged again; the edge cases of both raw streams; failures that leave
// nothing behind.
#include <cmath>

#include "support/test_support.h"

using namespace box;
namespace fs = std::filesystem;

namespace {

using Track = std::vector<std::pair<Bytes, uint32_t>>;  // samples and their times
using Movie = std::tuple<Track, Values, Track>;         // video, its key frames, audio

// Every sample of a file's video and audio tracks, and the video key frames.
Movie Read(const std::string& path) {
  OpenedFile f(path);
  Movie m;
  if (f.result != 1) return m;
  for (const uint32_t id : {f.file->video_track_id, f.file->audio_track_id}) {
    Track& samples = id == f.file->video_track_id ? std::get<0>(m) : std::get<2>(m);
    unsigned char* data = nullptr;
    uint32_t size = 0, time = 0;
    CaptureStdout([&] {
      for (; MP4GetNextSample(f.file, id, &data, &size, &time) == 1; MP4freeData(&data))
        samples.push_back({Bytes(data, data + size), time});
    });
  }
  for (uint32_t k = 0; k < f.track(f.file->video_track_id)->key_count; ++k)
    std::get<1>(m).push_back(f.track(f.file->video_track_id)->key_table[k].sample_index);
  return m;
}

// A merged file's check: its tracks read back as given; with ffmpeg's media
// (`decode`) ffprobe sees mpeg4 and aac and ffmpeg decodes it without a
// message.
void ExpectMerged(const std::string& path, const Movie& movie, bool decode = false) {
  EXPECT_EQ(Read(path), movie) << path;
  std::string said;
  if (!decode) return;
  RunCommand("ffprobe -v error -show_entries stream=codec_name -of csv=p=0 '" + path + "'", &said);
  EXPECT_EQ(said.substr(0, 10), "mpeg4\naac\n") << path;
  EXPECT_EQ(RunCommand("ffmpeg -nostdin -v error -i '" + path + "' -f null -", &said), 0);
  EXPECT_EQ(said, "") << path;
}

// The AAC frames of an ADTS stream, 1024 samples apart.
Track AdtsPayloads(const Bytes& s) {
  Track frames;
  for (size_t at = 0, n; at + 7 <= s.size(); at += n) {
    n = ((s[at + 3] & 3u) << 11) | (s[at + 4] << 3) | (s[at + 5] >> 5);
    frames.push_back({Bytes(&s[at + (s[at + 1] & 1 ? 7 : 9)], &s[at + n]), frames.size() * 1024});
  }
  return frames;
}

// Each test runs in a scratch working directory, where the temporary files go.
class Merge : public testing::Test {
 protected:
  void SetUp() override { fs::create_directories(cwd_), fs::current_path(cwd_); }
  void TearDown() override { fs::current_path(home_); }
  // Mp4AddVideo at `rate` frames a second, Mp4AddAudio without a rate; what
  // they print is added to `output`.
  int32_t Add(const std::string& mp4, const std::string& raw, const std::string& out,
              std::optional<float> rate = {}) {
    int32_t r = 0;
    output += CaptureStdout([&] {
      r = rate ? Mp4AddVideo(mp4.c_str(), raw.c_str(), out.c_str(), *rate)
               : Mp4AddAudio(mp4.c_str(), raw.c_str(), out.c_str());
    });
    return r;
  }
  std::string output;
  const std::string cwd_ = ScratchPath("cwd");
  const fs::path home_ = fs::current_path();
};

TEST_F(Merge, FfmpegFilesMergeReadBackAndDecode) {
  const std::string picture = "-f lavfi -i testsrc=size=176x144:rate=25 ",
                    sound = "-f lavfi -i sine=sample_rate=44100 ",
                    codecs = "-c:v mpeg4 -g 10 -c:a aac -t 2 ";
  const std::string movie = FfmpegMedia("merge-av.mp4", picture + sound + codecs),
                    m4v = FfmpegMedia("merge.m4v", picture + codecs + "-f m4v"),
                    adts = FfmpegMedia("merge.adts", sound + codecs + "-f adts");
  if (movie.empty() || m4v.empty() || adts.empty()) GTEST_SKIP() << "no ffmpeg";
  const auto [video, keys, audio] = Read(movie);
  const Track frames = AdtsPayloads(ReadWholeFile(adts));
  const std::string a = ScratchPath("a.mp4"), v = ScratchPath("v.mp4"), va = ScratchPath("va.mp4");
  ASSERT_EQ(Add(movie, adts, a), 1) << output;
  ExpectMerged(a, {video, keys, frames}, true);
  ASSERT_EQ(Add(movie, m4v, v, 25), 1) << output;
  // one VOP a frame, 40 ms apart, an I-VOP every 10 (the frames' bytes:
  // RawStreamsAndFailures)
  const auto [vops, vop_keys, unchanged] = Read(v);
  ASSERT_EQ(vops.size(), 50u);
  EXPECT_EQ((std::tuple{vops[49].second, vop_keys, unchanged}),
            (std::tuple{1960u, Values{0, 10, 20, 30, 40}, audio}));
  ExpectMerged(v, {vops, vop_keys, audio}, true);
  EXPECT_EQ(Info(v).audio_object_type, 2u);  // AAC LC, as in the existing file
  ASSERT_EQ(Add(v, adts, va), 1) << output;  // the merged files merge again
  ExpectMerged(va, {vops, vop_keys, frames}, true);
}

TEST_F(Merge, RawStreamsAndFailures) {
  TrackPlan plan = VideoPlan(1, 6, {1, 4}), mp3 = AudioPlan(1, 3);  // key frames 0 and 3
  plan.esds = Esds(0x20, 0x11, kQcifVol), mp3.esds = Esds(0x6B, 0x15, {});
  const std::string movie = WriteScratchFile("built.mp4", BuildMovie({plan, AudioPlan(2, 9)})),
                    out = ScratchPath("out.mp4");
  const auto raw = [](const Bytes& stream) { return WriteScratchFile("in", stream); };
  const auto [video, keys, audio] = Read(movie);
  const Bytes a = Adts(Bytes(3000, 1)), b = Adts(Bytes(7, 2)), c = Adts({}), i0 = Vop(true, 35),
              p1 = Vop(false, 10), i2 = Vop(true, 17), gov = {0, 0, 1, 0xB3, 7, 7, 0, 0, 1, 0xB2};
  const std::string ipi = raw(Cat({kQcifVol, i0, p1, i2})), adts = raw(Adts(Bytes(50, 1))),
                    no_vop = raw(Cat({kQcifVol, gov})), nowhere = ScratchPath("none") + "/out.mp4",
                    crc = raw(Cat({Adts(Bytes(9, 3), 4, 2, true), Adts({4}, 4, 2, true)})),
                    group = raw(Cat({kQcifVol, i0, gov, i2})),
                    long_header =
                        raw(Cat({Hex("000001B001 000001B2"), Bytes(26, 'x'), kQcifVol, i0}));
  Bytes short_length = b, broken = ReadWholeFile(movie);
  short_length[4] = 0, short_length[5] = 0xBF;  // frame_length 5
  const Bytes stco = Str("stco");
  std::search(broken.begin(), broken.end(), stco.begin(), stco.end())[12] = 0x7F;  // past the end
  // VOP codes across the 16384-byte pieces the stream is read in (1, 2, 3 of
  // their bytes or all 4 before it), a last piece of 2 bytes
  Bytes across = kQcifVol;
  Track pieces;
  for (uint32_t next : {16383u, 32766u, 49149u, 65532u, 65538u}) {
    pieces.push_back({Vop(pieces.size() % 2 == 0, next - across.size()), pieces.size() * 40});
    across = Cat({across, pieces.back().first});
  }
  // the existing file, the raw stream, the output, the frame rate (none:
  // ADTS), the result; the frames and key frames of the video merged
  using Rate = std::optional<float>;
  const std::tuple<std::string, std::string, std::string, Rate, int32_t, Track, Values> cases[] = {
      {movie, raw(Cat({a, b, c})), out, {}, 1, {}, {}},
      {movie, crc, out, {}, 1, {}, {}},  // CRCs go nowhere
      {movie, raw(Cat({Bytes{0xFE}, Bytes(b.begin() + 1, b.end())})), out, {}, -31, {}, {}},
      {movie, raw(Adts(Bytes(10, 1), 12)), out, {}, -31, {}, {}},
      {movie, raw(Cat({a, Bytes(b.begin(), b.end() - 3)})), out, {}, -31, {}, {}},  // cut
      {movie, raw(Cat({a, short_length, c})), out, {}, -31, {}, {}},
      {movie, raw(Cat({a, Bytes(20, 0x55)})), out, {}, -31, {}, {}},  // no sync word
      {movie, ipi, out, 30, 1, {{i0, 0}, {p1, 33}, {i2, 66}}, {0, 2}},
      {movie, ipi, out, 1.0f / (1 << 20), 1, {{i0, 0}, {p1, 1048576000}, {i2, 2097152000}}, {0, 2}},
      // a group header and an empty user data just before a VOP stay in the frame before it
      {movie, group, out, 7.5f, 1, {{Cat({i0, gov}), 0}, {i2, 133}}, {0, 1}},
      {movie, raw(across), out, 25, 1, pieces, {0, 2, 4}},
      {movie, ipi, out, 1.0f / (1 << 22), -1, {}, {}},  // past 32 bits
      {movie, raw(Cat({Bytes{0, 0, 2}, kQcifVol, i0})), out, 25, -31, {}, {}},
      {movie, no_vop, out, 25, -31, {}, {}},
      {movie, long_header, out, 25, -31, {}, {}},  // 9 + 26 + 18 bytes: one more than a track keeps
      {movie, ScratchPath("absent"), out, {}, -1, {}, {}},
      {movie, ipi, movie, 25, -1, {}, {}},
      {adts, adts, out, {}, -11, {}, {}},
      {WriteScratchFile("a.mp4", BuildMovie({AudioPlan(1, 3)})), adts, out, {}, -12, {}, {}},
      {WriteScratchFile("mp3.mp4", BuildMovie({mp3})), ipi, out, 25, -12, {}, {}},
      {WriteScratchFile("past.mp4", broken), adts, out, {}, -21, {}, {}},
      {movie, adts, nowhere, {}, -41, {}, {}}};
  for (const auto& [mp4, stream, to, rate, result, frames, vop_keys] : cases) {
    EXPECT_EQ(Add(mp4, stream, to, rate), result) << stream;
    if (result == 1)
      ExpectMerged(out, rate ? Movie{frames, vop_keys, audio}
                             : Movie{video, keys, AdtsPayloads(ReadWholeFile(stream))});
    EXPECT_EQ(
        (std::pair{fs::exists(to) && to != movie, fs::exists("tempv.v") || fs::exists("tempa.a")}),
        (std::pair{result == 1, false}));
    fs::remove(out);
  }
  for (const std::string& said : std::vector<std::string>{
           "no VOP start code in [" + no_vop + "]\n", "the audio track has no AAC configuration\n",
           "the stream header of [53] bytes is longer than a track keeps\n",
           "the merged file [" + movie + "] would overwrite an input\n",
           "the merged file [" + nowhere + "] could not be written\n"})
    EXPECT_EQ(Count(output, said), 1u) << said;
  // null paths; frame rates that time no frame; a temporary file that cannot be made
  EXPECT_EQ(Mp4AddAudio(movie.c_str(), nullptr, out.c_str()), -1);
  EXPECT_EQ(Mp4AddVideo(nullptr, ipi.c_str(), out.c_str(), 25), -1);
  for (float rate : {0.0f, -0.0f, -25.0f, NAN, INFINITY, -INFINITY})
    EXPECT_EQ(Add(movie, ipi, out, rate), -1) << rate;
  fs::create_directories("tempv.v/kept");  // a folder in the way
  EXPECT_EQ(Add(movie, adts, out), -41);
  EXPECT_FALSE(fs::exists(out) || fs::exists("tempa.a"));
}

}  // namespace
