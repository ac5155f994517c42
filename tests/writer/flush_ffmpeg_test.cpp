// Real streams made by ffmpeg, split into frames and written through the
// exports: read back frame for frame by our reader, parsed by ffprobe and
// decoded by ffmpeg without a message.
#include "support/test_support.h"

using namespace box;

namespace {

struct Frame {
  Bytes bytes;
  bool key;
};

Bytes Slice(const Bytes& s, size_t from, size_t to) {
  return Bytes(s.begin() + from, s.begin() + to);
}

// MPEG-4 Visual: the headers before the first group or picture are the
// configuration; then one frame per picture, a group header going with the
// picture after it. An intra picture is a key frame.
std::vector<Frame> SplitM4v(const Bytes& s, Bytes* config) {
  std::vector<size_t> starts;
  bool group_open = false;
  for (size_t i = 0; i + 4 < s.size(); ++i) {
    if (s[i] != 0 || s[i + 1] != 0 || s[i + 2] != 1) continue;
    if (s[i + 3] == 0xB3) {
      starts.push_back(i);
      group_open = true;
    } else if (s[i + 3] == 0xB6) {
      if (!group_open) starts.push_back(i);
      group_open = false;
    }
  }
  *config = Slice(s, 0, starts.empty() ? 0 : starts[0]);
  std::vector<Frame> frames;
  for (size_t k = 0; k < starts.size(); ++k) {
    const Bytes f = Slice(s, starts[k], k + 1 < starts.size() ? starts[k + 1] : s.size());
    size_t vop = 0;
    while (vop + 4 < f.size() && f[vop + 3] != 0xB6) ++vop;
    frames.push_back({f, (f[vop + 4] >> 6) == 0});
  }
  return frames;
}

// ADTS: each frame's payload after its 7-byte header (9 with a checksum).
std::vector<Frame> SplitAdts(const Bytes& s, Bytes* header) {
  std::vector<Frame> frames;
  *header = Slice(s, 0, 4);
  for (size_t at = 0; at + 7 <= s.size();) {
    const size_t length = ((s[at + 3] & 3u) << 11) | (s[at + 4] << 3) | (s[at + 5] >> 5);
    const size_t skip = (s[at + 1] & 1) ? 7 : 9;
    if (length < skip || at + length > s.size()) break;
    frames.push_back({Slice(s, at + skip, at + length), true});
    at += length;
  }
  return frames;
}

// H.263: one frame per picture start code; intra pictures are key frames.
std::vector<Frame> SplitH263(const Bytes& s) {
  std::vector<size_t> starts;
  for (size_t i = 0; i + 5 < s.size(); ++i)
    if (s[i] == 0 && s[i + 1] == 0 && (s[i + 2] & 0xFC) == 0x80) starts.push_back(i);
  std::vector<Frame> frames;
  for (size_t k = 0; k < starts.size(); ++k)
    frames.push_back({Slice(s, starts[k], k + 1 < starts.size() ? starts[k + 1] : s.size()),
                      (s[starts[k] + 4] & 0x02) == 0});
  return frames;
}

// AMR-NB 12.2 kbit/s frames of made-up speech bits, which decode all the same.
std::vector<Frame> AmrFrames(uint32_t n) {
  std::vector<Frame> frames;
  std::mt19937 random(7);
  for (uint32_t i = 0; i < n; ++i) {
    Bytes f(32);
    for (auto& b : f) b = uint8_t(random());
    f[0] = 0x3C;
    frames.push_back({f, true});
  }
  return frames;
}

struct Stream {
  std::vector<Frame> frames;
  Bytes config;
  uint32_t codec = 1;
};

// The file written from a video stream at 25 frames a second and an audio
// stream of 1024-sample frames at 44100 Hz (160 at 8000 for AMR).
std::string Mux(const Stream& video, const Stream& audio, bool system_tracks) {
  const std::string path = ScratchPath("muxed.mp4"), vt = ScratchPath("v"), at = ScratchPath("a");
  MP4_local_file* file = nullptr;
  EXPECT_EQ(MP4FileNew(&file, path.c_str()), 1);
  const bool amr = audio.codec == 2;
  EXPECT_EQ(CreateTrack(file, 1, 176, 144, 25, 1000, 1, 0, 0, 0, uint32_t(video.config.size()),
                        video.config.data(), vt.c_str(), video.codec),
            1);
  EXPECT_EQ(
      CreateTrack(file, 2, 0, 0, 0, amr ? 8000 : 44100, 0, 0, 0, 0, uint32_t(audio.config.size()),
                  audio.config.data(), at.c_str(), audio.codec),
      1);
  if (system_tracks) {
    EXPECT_EQ(CreateTrack(file, 4, 0, 0, 0, 1000, 0, 0, 0, 0, 0, nullptr, nullptr, 0), 1);
    EXPECT_EQ(CreateTrack(file, 5, 0, 0, 0, 1000, 0, 0, 0, 0, 0, nullptr, nullptr, 0), 1);
  }
  for (size_t i = 0; i < video.frames.size(); ++i)
    EXPECT_EQ(AddVideoFrame(file, uint32_t(video.frames[i].bytes.size()),
                            video.frames[i].bytes.data(), uint32_t(40 * i), video.frames[i].key),
              1);
  for (size_t i = 0; i < audio.frames.size(); ++i)
    EXPECT_EQ(AddAudioFrame(file, uint32_t(audio.frames[i].bytes.size()),
                            audio.frames[i].bytes.data(), uint32_t((amr ? 160 : 1024) * i)),
              1);
  testing::internal::CaptureStderr();
  EXPECT_EQ(MP4FileFlush(file), 1);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  return path;
}

void ExpectCleanForFfmpeg(const std::string& path) {
  std::string out;
  EXPECT_EQ(RunCommand("ffprobe -v error '" + path + "'", &out), 0);
  EXPECT_EQ(out, "") << "ffprobe on " << path;
  EXPECT_EQ(
      RunCommand("ffmpeg -nostdin -v error -i '" + path + "' -map 0:v -map 0:a -f null -", &out),
      0);
  EXPECT_EQ(out, "") << "ffmpeg on " << path;
}

void ExpectReadBack(const std::string& path, const Stream& video, const Stream& audio) {
  OpenedFile f(path);
  for (const auto& [id, stream] :
       {std::pair{f.file->video_track_id, &video}, std::pair{f.file->audio_track_id, &audio}}) {
    unsigned char* data = nullptr;
    uint32_t size = 0, time = 0;
    size_t n = 0;
    CaptureStdout([&] {
      for (; MP4GetNextSample(f.file, id, &data, &size, &time) == 1; ++n) {
        if (n < stream->frames.size()) {
          EXPECT_EQ(Bytes(data, data + size), stream->frames[n].bytes)
              << "track " << id << " " << n;
        }
        MP4freeData(&data);
      }
    });
    EXPECT_EQ(n, stream->frames.size()) << "track " << id;
  }
}

TEST(FlushFfmpeg, Mpeg4VisualAndAacReadBackParseAndDecode) {
  const std::string m4v = FfmpegMedia("flush-176x144.m4v",
                                      "-f lavfi -i testsrc=size=176x144:rate=25 -t 2 -c:v mpeg4 "
                                      "-g 12 -f m4v");
  const std::string aac =
      FfmpegMedia("flush-44100.aac", "-f lavfi -i sine=sample_rate=44100 -t 2 -c:a aac -f adts");
  if (m4v.empty() || aac.empty()) GTEST_SKIP() << "ffmpeg is not installed";
  Stream video, audio;
  video.frames = SplitM4v(ReadWholeFile(m4v), &video.config);
  audio.frames = SplitAdts(ReadWholeFile(aac), &audio.config);
  ASSERT_EQ(video.frames.size(), 50u);
  ASSERT_LE(video.config.size(), 52u);
  for (bool system_tracks : {false, true}) {
    const std::string path = Mux(video, audio, system_tracks);
    ExpectReadBack(path, video, audio);
    ExpectCleanForFfmpeg(path);
  }
  // the video starting after its first key frame: the samples before it
  // are still in the file
  Stream late = video;
  late.frames.erase(late.frames.begin());
  ExpectReadBack(Mux(late, audio, false), late, audio);
}

TEST(FlushFfmpeg, H263AndAmrParseAndDecode) {
  const std::string h263 = FfmpegMedia(
      "flush-176x144.h263", "-f lavfi -i testsrc=size=176x144:rate=25 -t 2 -c:v h263 -f h263");
  if (h263.empty()) GTEST_SKIP() << "ffmpeg is not installed";
  Stream video, audio;
  video.frames = SplitH263(ReadWholeFile(h263));
  video.codec = audio.codec = 2;
  audio.frames = AmrFrames(100);
  audio.config = {0x3C};
  ASSERT_EQ(video.frames.size(), 50u);
  ExpectCleanForFfmpeg(Mux(video, audio, false));
}

}  // namespace
