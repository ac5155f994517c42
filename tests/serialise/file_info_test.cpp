// The decoder-configuration queries and GetFileInfo.
#include <gtest/gtest.h>

#include <cstring>
#include <sstream>

#include "ornivex.h"
#include "serialise/esds_query.h"
#include "support/movie_builder.h"
#include "support/reader_support.h"
#include "support/test_support.h"

using namespace box;

namespace {

// The default configuration the library writes for a 176 x 144 track: a
// visual object sequence, a visual object and the video object layer.
const Bytes kVideoDsi = {0, 0, 1, 0xB0, 0x08, 0,    0,    1,    0xB5, 0x09, 0,    0,    1,    0,
                         0, 0, 1, 0x20, 0x01, 0x88, 0x40, 0x07, 0xA8, 0x2C, 0x20, 0x90, 0xA3, 0x1F};

// The esds of MPEG-1 audio, as the library writes it: no DecoderSpecificInfo.
Bytes Mpeg1Esds(uint32_t avg_bitrate) {
  return Atom("esds", {Full(0, 0), Bytes{0x03, 0x80, 0x80, 0x80, 0x18, 0x00, 0x02, 0x00},
                       Bytes{0x04, 0x80, 0x80, 0x80, 0x0D, 0x6B, 0x15, 0x00, 0x00, 0xF4},
                       U32(128000), U32(avg_bitrate), Bytes{0x06, 0x01, 0x02}});
}

FileInfo Info(const std::string& path, int32_t* result = nullptr) {
  FileInfo info;
  std::memset(&info, 0xAB, sizeof info);
  int32_t r = 0;
  CaptureStdout([&] { r = GetFileInfo(path.c_str(), &info); });
  if (result != nullptr) *result = r;
  return info;
}

AudioConfig ParseAudio(const Bytes& esds, int* result) {
  AudioConfig c;
  *result = ParseAudioEsds(esds.data(), uint32_t(esds.size()), &c);
  return c;
}

}  // namespace

TEST(EsdsQuery, AudioSpecificConfigs) {
  int r = 0;
  const Bytes aac = Esds(0x40, 0x15, {0x12, 0x10});
  ASSERT_EQ(aac.size(), 48u);
  AudioConfig c = ParseAudio(aac, &r);
  EXPECT_EQ(r, 1);
  EXPECT_EQ(c.object_type, 2u);
  EXPECT_EQ(c.sample_rate, 44100u);
  EXPECT_EQ(c.channels, 2u);
  EXPECT_EQ(c.dsi_length, 2u);
  EXPECT_EQ(c.max_bitrate, 200000u);
  EXPECT_EQ(c.avg_bitrate, 100000u);
  EXPECT_EQ(ParseAudio(Esds(0x40, 0x15, {0x14, 0x90}), &r).sample_rate, 12000u);
  // reserved index 13; index 15 with an explicit rate; an escaped object type
  EXPECT_EQ(ParseAudio(Esds(0x40, 0x15, {0x16, 0x90}), &r).sample_rate, 0u);
  c = ParseAudio(Esds(0x40, 0x15, {0x17, 0x80, 0x1F, 0x40, 0x90}), &r);  // 16001 Hz, 2 channels
  EXPECT_EQ(c.sample_rate, 16001u);
  EXPECT_EQ(c.channels, 2u);
  c = ParseAudio(Esds(0x40, 0x15, {0xF9, 0x48, 0x20}), &r);  // object type 42, 44100 Hz, mono
  EXPECT_EQ(c.object_type, 42u);
  EXPECT_EQ(c.sample_rate, 44100u);
  EXPECT_EQ(c.channels, 1u);
  // HE-AAC v2: a mono 22050 Hz core plays as stereo at 44100 Hz
  c = ParseAudio(Esds(0x40, 0x15, {0xEB, 0x8A, 0x08, 0x00}), &r);
  EXPECT_EQ(c.object_type, 29u);
  EXPECT_EQ(c.sample_rate, 44100u);
  EXPECT_EQ(c.channels, 2u);

  // MPEG-1 audio has no DecoderSpecificInfo
  const Bytes mp3 = Mpeg1Esds(128000);
  c = ParseAudio(mp3, &r);
  EXPECT_EQ(r, -1);
  EXPECT_EQ(c.object_type_indication, 0x6Bu);
  EXPECT_EQ(c.dsi_length, 0u);
  // cut short: the descriptors end before their fields
  EXPECT_EQ(ParseAudio(Bytes(aac.begin(), aac.begin() + 30), &r).sample_rate, 0u);
  EXPECT_EQ(r, -2);
}

TEST(EsdsQuery, EsdsDataOfAnOpenedFile) {
  TrackSpec v = VideoSpec(1, 3);
  v.esds = Esds(0x20, 0x11, kVideoDsi);
  TrackSpec a = AudioSpec(2, 3);
  OpenedFile f(WriteScratchFile("esds.mp4", BuildMovie({v, a})));
  ASSERT_EQ(f.result, 1);
  unsigned char out[ORNIVEX_ESDS_DATA_MAX];
  uint32_t w = 0, h = 0, length = 0;
  ASSERT_EQ(GetM4vEsdsData(f.file, out, &w, &h, &length), 1);
  EXPECT_EQ(w, 176u);
  EXPECT_EQ(h, 144u);
  ASSERT_EQ(length, 18u);
  EXPECT_EQ(Bytes(out, out + 18), Bytes(kVideoDsi.begin() + 10, kVideoDsi.end()));

  ASSERT_EQ(GetM4aEsdsData(f.file, out, &length), 1);
  EXPECT_EQ(length, 48u);
  EXPECT_EQ(Bytes(out, out + 8), Cat({U32(48), Str("esds")}));

  EXPECT_EQ(GetM4vEsdsData(f.file, nullptr, &w, &h, &length), 0);
  EXPECT_EQ(GetM4aEsdsData(f.file, nullptr, &length), 0);
  EXPECT_EQ(CaptureStdout([&] { EXPECT_EQ(GetM4aEsdsData(nullptr, out, &length), -99); }),
            "mp4 file uncreated\n");

  const unsigned char* body = nullptr;
  uint32_t body_length = 0, max = 0, avg = 0, profile = 0;
  ASSERT_EQ(GetVideoEsdsBody(f.file, &body, &body_length), 1);
  ASSERT_EQ(ParseVideoEsdsBody(body, body_length, &max, &avg, &profile), 1);
  EXPECT_EQ(max, 200000u);
  EXPECT_EQ(avg, 100000u);
  EXPECT_EQ(profile, 8u);
}

TEST(EsdsQuery, ConfigurationsThatCannotBeHandedOut) {
  // no video object start code; a header that does not parse
  Bytes unparsed = kVideoDsi;
  unparsed[19] |= 0x01;  // video_object_layer_shape: not rectangular
  const std::pair<Bytes, int32_t> cases[] = {{Bytes{0x12, 0x10}, -99}, {unparsed, -1}};
  for (const auto& [dsi, expected] : cases) {
    TrackSpec v = VideoSpec(1, 2);
    v.esds = Esds(0x20, 0x11, dsi);
    OpenedFile f(WriteScratchFile("bad-esds.mp4", BuildMovie({v})));
    unsigned char out[ORNIVEX_ESDS_DATA_MAX];
    uint32_t w = 0, h = 0, length = 0;
    EXPECT_EQ(GetM4vEsdsData(f.file, out, &w, &h, &length), expected);
    // GetFileInfo then takes the picture size from the sample entry
    const FileInfo info = Info(f.file->root->file_name);
    EXPECT_EQ(info.video_width, 176u);
    EXPECT_EQ(info.video_height, 144u);
  }
  // an audio esds longer than the documented maximum is refused, not copied
  TrackSpec a = AudioSpec(2, 2);
  const Bytes esds = Esds(0x40, 0x15, {0x12, 0x10});
  a.esds = Atom("esds", {Bytes(esds.begin() + 8, esds.end()), Zeros(ORNIVEX_ESDS_DATA_MAX)});
  OpenedFile g(WriteScratchFile("big-esds.mp4", BuildMovie({a})));
  unsigned char out[ORNIVEX_ESDS_DATA_MAX];
  uint32_t length = 0;
  EXPECT_EQ(GetM4aEsdsData(g.file, out, &length), -2);
  EXPECT_EQ(Info(g.file->root->file_name).audio_sample_rate, 0u);
}

TEST(FileInfoTest, SummaryOfBuiltFiles) {
  // only audio: the video words stay 0
  const FileInfo audio = Info(WriteScratchFile("a.mp4", BuildMovie({AudioSpec(2, 5)})));
  EXPECT_EQ(audio.audio_sample_count, 5u);
  EXPECT_EQ(audio.audio_sample_rate, 44100u);
  EXPECT_EQ(audio.audio_channels, 2u);
  EXPECT_EQ(audio.audio_channels_copy, 2u);
  EXPECT_EQ(audio.audio_object_type, 2u);
  EXPECT_EQ(audio.audio_profile, 1u);
  EXPECT_EQ(audio.constant_one, 1u);
  for (uint32_t w : {audio.video_avg_bitrate, audio.video_max_bitrate, audio.video_profile_level,
                     audio.spare5, audio.video_height, audio.video_width, audio.video_frame_rate,
                     audio.video_sample_count, audio.spare21, audio.spare22, audio.file_size_high})
    EXPECT_EQ(w, 0u);

  // MPEG-1 audio: the fields come from the first frame's header
  TrackSpec mp3 = AudioSpec(2, 2);
  mp3.esds = Mpeg1Esds(96000);
  Bytes file = BuildMovie({mp3});
  std::vector<std::vector<uint32_t>> offsets;
  BuildMovie({mp3}, &offsets);
  const Bytes frame = {0xFF, 0xFB, 0x90, 0xC4};
  std::copy(frame.begin(), frame.end(), file.begin() + offsets[0][0]);
  const FileInfo m = Info(WriteScratchFile("mp3.mp4", file));
  EXPECT_EQ(m.audio_is_mpeg1, 1u);
  EXPECT_EQ(m.audio_channel_mode, 3u);
  EXPECT_EQ(m.audio_channels, 1u);
  EXPECT_EQ(m.audio_emphasis, 0u);
  EXPECT_EQ(m.audio_sample_rate, 44100u);
  EXPECT_EQ(m.audio_avg_bitrate, 96000u);

  // a video track whose media duration is 0 has no frame rate
  TrackSpec v = VideoSpec(1, 4);
  v.esds = Esds(0x20, 0x11, kVideoDsi);
  Bytes zero = BuildMovie({v});
  const FileInfo with_rate = Info(WriteScratchFile("v.mp4", zero));
  EXPECT_EQ(with_rate.video_frame_rate, 10u);  // 4 samples x 1000 / 400
  EXPECT_EQ(with_rate.video_profile_level, 8u);
  EXPECT_EQ(with_rate.audio_sample_count, 0u);
  EXPECT_EQ(with_rate.constant_one, 0u);
}

TEST(FileInfoTest, Failures) {
  int32_t r = 0;
  Info(ScratchPath("missing.mp4"), &r);
  EXPECT_EQ(r, -11);
  EXPECT_EQ(GetFileInfo(nullptr, nullptr), -11);
  const std::string path = WriteScratchFile("x.mp4", BuildMovie({AudioSpec(1, 1)}));
  EXPECT_EQ(GetFileInfo(path.c_str(), nullptr), -12);
  Info(WriteScratchFile("not.mp4", Str("this is no mp4 file")), &r);
  EXPECT_EQ(r, -21);
}

namespace {

// ffprobe's stream fields for the track with this ID.
std::string ProbeStream(const std::string& path, uint32_t id) {
  std::string out;
  RunCommand(
      "ffprobe -v error -show_entries "
      "stream=id,codec_name,profile,width,height,sample_rate,channels,nb_frames -of compact '" +
          path + "'",
      &out);
  std::istringstream in(out);
  for (std::string line; std::getline(in, line);) {
    line += "|";
    const std::string sid = ProbeField(line, "id");
    if (!sid.empty() && std::stoul(sid, nullptr, 0) == id) return line;
  }
  return "";
}

uint32_t Num(const std::string& line, const char* key) {
  const std::string v = ProbeField(line, key);
  return v.empty() || v == "N/A" ? 0 : uint32_t(std::stoul(v));
}

// What ffprobe says of the streams that GetFileInfo describes.
void ExpectLikeFfprobe(const std::string& path, bool strict) {
  SCOPED_TRACE(path);
  OpenedFile f(path);
  if (f.result != 1) return;
  const FileInfo info = Info(path);
  const uint32_t v = f.file->video_track_id, a = f.file->audio_track_id;
  if (v != 0) {
    const std::string s = ProbeStream(path, v);
    if (ProbeField(s, "codec_name") == "mpeg4") {
      EXPECT_EQ(info.video_width, Num(s, "width"));
      EXPECT_EQ(info.video_height, Num(s, "height"));
      if (strict) {
        EXPECT_EQ(info.video_sample_count, Num(s, "nb_frames"));
      }
    }
  }
  if (a != 0) {
    const std::string s = ProbeStream(path, a);
    const std::string codec = ProbeField(s, "codec_name"), profile = ProbeField(s, "profile");
    if ((codec == "aac" && profile != "unknown") || codec == "mp3") {
      EXPECT_EQ(info.audio_sample_rate, Num(s, "sample_rate"));
      EXPECT_EQ(info.audio_channels, Num(s, "channels"));
      EXPECT_EQ(info.audio_is_mpeg1, codec == "mp3" ? 1u : 0u);
      if (profile == "LC") {
        EXPECT_EQ(info.audio_object_type, 2u);
      }
      if (strict) {
        EXPECT_EQ(info.audio_sample_count, Num(s, "nb_frames"));
      }
    }
  }
}

}  // namespace

TEST(FileInfoTest, FilesWrittenByFfmpeg) {
  if (!HaveFfmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
  std::vector<FfmpegCase> cases = FfmpegCases();
  cases.push_back({"mp3.mp4", "-f lavfi -i sine=sample_rate=44100 -t 1 -c:a libmp3lame -ac 1"});
  cases.push_back(
      {"mp3-stereo.mp4",
       "-f lavfi -i sine=sample_rate=24000 -t 1 -c:a libmp3lame -ac 2 -joint_stereo 0"});
  for (const FfmpegCase& c : cases) {
    const std::string path = FfmpegMedia(c.name, c.arguments);
    ASSERT_FALSE(path.empty());
    ExpectLikeFfprobe(path, true);
  }
}

TEST(FileInfoTest, CorpusFiles) {
  const std::vector<std::string> files = CorpusFiles();
  if (files.empty()) GTEST_SKIP() << "../shared/corpus is absent: corpus cases skipped";
  for (const std::string& path : files) {
    FileInfo info;
    CaptureStdout([&] { GetFileInfo(path.c_str(), &info); });
    OpenedFile f(path);
    if (f.result == 1) {
      unsigned char out[ORNIVEX_ESDS_DATA_MAX];
      uint32_t w, h, length;
      CaptureStdout([&] {
        GetM4vEsdsData(f.file, out, &w, &h, &length);
        GetM4aEsdsData(f.file, out, &length);
      });
    }
    if (HaveFfmpeg() && path.find("/real/") != std::string::npos) ExpectLikeFfprobe(path, false);
  }
}
