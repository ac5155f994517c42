// Files written by ffmpeg and by other tools, against ffprobe: the index
// (count, size, position, time stamp), every sample's bytes and the
// key-frame walk. GetFileInfo's summary is compared in file_info_ffprobe_test.

#include "support/ffprobe.h"

namespace {

// The CRC-32 of a block handed out by the library, written as ffprobe
// writes a packet's data hash; the block is released.
std::string HashOf(unsigned char* data, uint32_t size) {
  uint32_t crc = 0xFFFFFFFF;
  for (uint32_t i = 0; i < size; ++i) {
    crc ^= data[i];
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
  }
  MP4freeData(&data);
  char hex[9];
  std::snprintf(hex, sizeof hex, "%08x", ~crc);
  return std::string("CRC32:") + hex;
}

// Every packet's size, position, decode time and bytes: the index's time
// stamps equal ffprobe's decode times up to the constant shift of ffmpeg's
// edit list. The video key-frame walk hands out exactly the packets that
// ffprobe flags as key frames.
void ExpectTrackMatches(const std::string& path, OpenedFile& f, uint32_t id) {
  SCOPED_TRACE(path + " track " + std::to_string(id));
  std::vector<std::string> theirs, ours, keys, walked;
  int64_t first_dts = 0;
  for (const std::string& line :
       Probe("-select_streams " + Field(Stream(path, id, "codec_name"), "index") +
                 " -show_entries packet=dts,size,pos,flags,data_hash -show_data_hash CRC32",
             path)) {
    if (line.rfind("packet|", 0) != 0) continue;
    const std::string dts = Field(line, "dts");
    const int64_t t = dts == "N/A" || dts.empty() ? 0 : std::stoll(dts);
    if (theirs.empty()) first_dts = t;
    theirs.push_back(Field(line, "size") + " " + Field(line, "pos") + " " +
                     std::to_string(t - first_dts) + " " + Field(line, "data_hash"));
    if (Field(line, "flags").find('K') != std::string::npos)
      keys.push_back(Field(line, "data_hash"));
  }
  unsigned char* data = nullptr;
  uint32_t size = 0, time = 0;
  CaptureStdout([&] {
    for (uint32_t i = 0; MP4GetNextSample(f.file, id, &data, &size, &time) == 1; ++i) {
      const SampleIndexEntry& e = f.track(id)->sample_table[i];
      ours.push_back(std::to_string(e.size) + " " + std::to_string(e.file_offset) + " " +
                     std::to_string(e.time_stamp) + " " + HashOf(data, size));
    }
    GoToBeginOfKeyFrame(f.file, id);
    while (MP4NextKeyFrame(f.file, id, &data, &size) == 1) walked.push_back(HashOf(data, size));
  });
  EXPECT_EQ(f.track(id)->sample_count, theirs.size());
  EXPECT_EQ(ours, theirs);
  if (id == f.file->video_track_id) {
    EXPECT_EQ(walked, keys);
  }
}

}  // namespace

TEST(FfprobeCompare, FilesWrittenByFfmpeg) {
  if (!HaveFfmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
  std::vector<std::string> files = FfmpegFiles();
  const std::string sine = "-f lavfi -i sine=sample_rate=";
  files.push_back(FfmpegMedia("mp3.mp4", sine + "44100 -t 1 -c:a libmp3lame -ac 1"));
  files.push_back(
      FfmpegMedia("mp3-stereo.mp4", sine + "24000 -t 1 -c:a libmp3lame -ac 2 -joint_stereo 0"));
  for (const std::string& path : files) {
    ASSERT_FALSE(path.empty());
    OpenedFile f(path);
    EXPECT_TRUE(f.file->video_track_id != 0 || f.file->audio_track_id != 0) << path;
    for (uint32_t id : {f.file->video_track_id, f.file->audio_track_id})
      if (id != 0) ExpectTrackMatches(path, f, id);
  }
}

// Every corpus file opens or fails with -99; on the real files the mp4v
// and mp4a tracks that the library indexes (stco, 32-bit sizes)
// match ffprobe. (fuzz_replay_open_read and fuzz_replay_file_info run every
// read and GetFileInfo over the corpus under the sanitizers.)
TEST(FfprobeCompare, CorpusFiles) {
  const std::vector<std::string> files = CorpusFiles();
  if (files.empty()) GTEST_SKIP() << "../shared/corpus is absent: corpus cases skipped";
  int compared = 0;
  for (const std::string& path : files) {
    OpenedFile f(path, path);
    if (f.result != 1 || !HaveFfmpeg() || path.find("/real/") == std::string::npos) continue;
    for (uint32_t id : {f.file->video_track_id, f.file->audio_track_id}) {
      if (id == 0 || f.track(id)->sample_count == 0) continue;
      const std::string tag = Field(Stream(path, id, "codec_tag_string"), "codec_tag_string");
      if (tag != "mp4v" && tag != "mp4a") continue;
      ExpectTrackMatches(path, f, id);
      ++compared;
    }
  }
  std::printf("compared %d corpus tracks with ffprobe\n", compared);
  EXPECT_TRUE(!HaveFfmpeg() || compared > 20) << compared;
}

// An esds whose AudioSpecificConfig gives the rate explicitly (index 15):
// `extract` maps 44100 Hz to its ADTS index, and ffmpeg decodes the frames
// without a word; a rate ADTS has no index for is refused in one line.
TEST(FfprobeCompare, ExtractOfAnExplicitSamplingRate) {
  if (!HaveFfmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
  const std::string source =
      FfmpegMedia("aac-stereo.mp4", "-f lavfi -i sine=sample_rate=44100 -t 1 -c:a aac -ac 2");
  OpenedFile f(source);
  TrackPlan audio = AudioPlan(1, 0);
  unsigned char* data = nullptr;
  uint32_t size = 0, time = 0;
  CaptureStdout([&] {
    while (MP4GetNextSample(f.file, f.file->audio_track_id, &data, &size, &time) == 1) {
      audio.data.emplace_back(data, data + size);
      MP4freeData(&data);
    }
  });
  ASSERT_GT(audio.data.size(), 40u);
  audio.chunks = {uint32_t(audio.data.size())};
  // AAC LC, 44100 Hz written out, stereo; then 16001 Hz
  for (const auto& [dsi, status] : {std::pair<box::Bytes, int>{{0x17, 0x80, 0x56, 0x22, 0x10}, 0},
                                    {{0x17, 0x80, 0x1F, 0x40, 0x90}, 1}}) {
    audio.esds = box::Esds(0x40, 0x15, dsi);
    const std::string path = WriteScratchFile("explicit.mp4", BuildMovie({audio}));
    const std::string aac = ScratchPath("explicit.aac");
    std::string out, errors;
    EXPECT_EQ(RunTool("extract '" + path + "' --audio '" + aac + "'", &out), status) << out;
    if (status != 0) {
      EXPECT_EQ(out, "ornivex: " + path +
                         ": no audio written: audio track 1: ADTS has no sampling frequency "
                         "index for 16001 Hz\n");
      continue;
    }
    const box::Bytes adts = ReadWholeFile(aac);
    ASSERT_GT(adts.size(), 7u);
    // AAC LC, frequency index 4, two channels
    EXPECT_EQ((Values{adts[0], adts[1], adts[2], adts[3] & 0xC0u}),
              (Values{0xFF, 0xF1, 0x50, 0x80}));
    EXPECT_EQ(RunCommand("ffmpeg -nostdin -v error -i '" + aac + "' -f null -", &errors), 0);
    EXPECT_EQ(errors, "");
  }
}
