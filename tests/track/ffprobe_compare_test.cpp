// Files written by ffmpeg and by other tools, against ffprobe: the index
// (count, size, position, time stamp), every sample's bytes, the key-frame
// walk and what GetFileInfo says of the streams.

#include "support/test_support.h"

namespace {

// The value of `key` in one of ffprobe's compact lines ending in '|', or "".
std::string Field(const std::string& line, const std::string& key) {
  const std::string k = "|" + key + "=";
  const size_t at = line.find(k);
  if (at == std::string::npos) return "";
  const size_t from = at + k.size();
  return line.substr(from, line.find('|', from) - from);
}
uint32_t Number(const std::string& line, const char* key) {
  const std::string v = Field(line, key);
  return v.empty() || v == "N/A" ? 0u : uint32_t(std::stoul(v));
}

// ffprobe's compact lines on `path` with the arguments `args`, each ending in '|'.
std::vector<std::string> Probe(const std::string& args, const std::string& path) {
  std::string out;
  RunCommand("ffprobe -v error -of compact " + args + " '" + path + "'", &out);
  // A packet with side data goes on over lines that begin with '|'.
  for (size_t at; (at = out.find("\n|")) != std::string::npos;) out.erase(at, 1);
  std::vector<std::string> lines;
  std::istringstream in(out);
  for (std::string line; std::getline(in, line);) lines.push_back(line + "|");
  return lines;
}
// The line on the stream whose track ID is `track_id`, with its index and
// the stream fields `entries`; "" if none.
std::string Stream(const std::string& path, uint32_t track_id, const std::string& entries) {
  for (const std::string& line : Probe("-show_entries stream=index,id," + entries, path)) {
    const std::string id = Field(line, "id");
    if (!id.empty() && std::stoul(id, nullptr, 0) == track_id) return line;
  }
  return "";
}

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

// GetFileInfo against ffprobe's stream fields; sample counts only when `strict`.
void ExpectInfoLikeFfprobe(const std::string& path, const OpenedFile& f, bool strict) {
  SCOPED_TRACE(path);
  const FileInfo i = Info(path);
  const char* entries = "codec_name,profile,width,height,sample_rate,channels,nb_frames";
  const std::string v = Stream(path, f.file->video_track_id, entries);
  if (f.file->video_track_id != 0 && Field(v, "codec_name") == "mpeg4") {
    EXPECT_EQ(
        (Values{i.video_width, i.video_height, strict ? i.video_sample_count : 0}),
        (Values{Number(v, "width"), Number(v, "height"), strict ? Number(v, "nb_frames") : 0}));
  }
  const std::string a = Stream(path, f.file->audio_track_id, entries);
  const std::string codec = Field(a, "codec_name"), profile = Field(a, "profile");
  if (f.file->audio_track_id != 0 && ((codec == "aac" && profile != "unknown") || codec == "mp3")) {
    // and object type 2 for AAC LC
    EXPECT_EQ(
        (Values{i.audio_sample_rate, i.audio_channels, i.audio_is_mpeg1,
                profile == "LC" ? i.audio_object_type : 2, strict ? i.audio_sample_count : 0}),
        (Values{Number(a, "sample_rate"), Number(a, "channels"), codec == "mp3", 2,
                strict ? Number(a, "nb_frames") : 0}));
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
    ExpectInfoLikeFfprobe(path, f, true);
    for (uint32_t id : {f.file->video_track_id, f.file->audio_track_id})
      if (id != 0) ExpectTrackMatches(path, f, id);
  }
}

// Every corpus file opens or fails with -99; on the real files GetFileInfo
// and the mp4v and mp4a tracks that the library indexes (stco, 32-bit sizes)
// match ffprobe. (fuzz_replay_open_read and fuzz_replay_file_info run every
// read and GetFileInfo over the corpus under the sanitizers.)
TEST(FfprobeCompare, CorpusFiles) {
  const std::vector<std::string> files = CorpusFiles();
  if (files.empty()) GTEST_SKIP() << "../shared/corpus is absent: corpus cases skipped";
  int compared = 0;
  for (const std::string& path : files) {
    OpenedFile f(path, path);
    if (f.result != 1 || !HaveFfmpeg() || path.find("/real/") == std::string::npos) continue;
    ExpectInfoLikeFfprobe(path, f, false);
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
