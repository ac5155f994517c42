// Files written by ffmpeg and the shared corpus's real files against
// ffprobe: the index (count, size, position, time stamp), every sample's
// bytes, the key-frame walk, and GetFileInfo's summary (sample counts,
// picture size, frame rate, sample rate, channels, audio object type).
// The fuzz replays run every call over the whole corpus under the sanitizers.
//
// Deliberate differences of the summary, which the expectations build in:
// - Bit rates are not compared: the summary's are the avgBitrate and
//   maxBitrate the esds declares, ffprobe's are measured from the samples.
// - The summary's frame rate is samples x timescale / duration truncated
//   (14 for 14.7 frames a second, 29 for 29.97).
// - Only mp4v video and mp4a audio are described. Other video (H.263,
//   JPEG) and AMR audio report 0 for everything but the audio's word 18.
//   An mp4a of a codec that is neither AAC nor MPEG-1/2 audio (EVRC)
//   reports its sample count and 0 for its rate, channels and object type.
// - An AudioSpecificConfig is reported as written: object type 29 with a
//   sampling index below 3, which ffmpeg takes for MP3 on MPEG-4 (mp3on4)
//   and measures the rate of in its frames, keeps the config's rate (96000).
// - The summary's sample count is that of the sample size table, also for
//   a track whose samples the library cannot read (64-bit chunk offsets),
//   and 0 when the table is never reached: a box the library does not
//   accept ('sgpd') ends the sample table's child list before it.
// - A stream that ffprobe does not list (xHE-AAC, which it cannot decode)
//   is not compared.
#include <map>

#include "atom/atom_path.h"
#include "support/test_support.h"

namespace {

// The value of `key` in one of ffprobe's compact lines ending in '|', or "".
std::string Field(const std::string& line, const std::string& key) {
  const size_t at = line.find("|" + key + "="), from = at + key.size() + 2;
  return at == std::string::npos ? "" : line.substr(from, line.find('|', from) - from);
}
uint32_t Number(const std::string& line, const char* key) {  // 0 for "" and N/A
  return uint32_t(std::strtoul(Field(line, key).c_str(), nullptr, 0));
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
// Every packet's size, position, decode time and bytes: the time stamps
// equal ffprobe's decode times up to the constant shift of ffmpeg's edit
// list. The video key-frame walk hands out exactly the packets that ffprobe
// flags as key frames.
void ExpectTrackMatches(const std::string& path, OpenedFile& f, uint32_t id,
                        const std::string& stream) {
  const box::Bytes file = ReadWholeFile(path);
  std::string theirs, ours, keys;
  int64_t first = INT64_MIN, n = 0;
  for (const std::string& line : Probe(
           "-select_streams " + Field(stream, "index") + " -show_entries packet=dts,size,pos,flags",
           path)) {
    if (line.rfind("packet|", 0) != 0) continue;
    const int64_t t = std::strtoll(Field(line, "dts").c_str(), nullptr, 10);  // N/A: 0
    first = first == INT64_MIN ? t : first;
    theirs +=
        Field(line, "size") + " " + Field(line, "pos") + " " + std::to_string(t - first) + "\n";
    if (Field(line, "flags").find('K') != std::string::npos)
      keys += "cursor is [" + std::to_string(n) + "]\n";
    ++n;
  }
  unsigned char* data = nullptr;
  uint32_t size = 0, time = 0;
  const std::string walked = CaptureStdout([&] {
    for (uint32_t i = 0; MP4GetNextSample(f.file, id, &data, &size, &time) == 1; ++i) {
      const uint32_t at = f.track(id)->sample_table[i].file_offset;
      ours += std::to_string(size) + " " + std::to_string(at) + " " + std::to_string(time) + "\n";
      if (!std::equal(data, data + size, file.begin() + at)) ours += "not the file's bytes\n";
      MP4freeData(&data);
    }
    GoToBeginOfKeyFrame(f.file, id);
    while (MP4NextKeyFrame(f.file, id, &data, &size) == 1) MP4freeData(&data);
  });
  EXPECT_EQ(ours, theirs);
  if (id != f.file->video_track_id) return;
  EXPECT_EQ(walked, "End of video track , frame num - video- [" + std::to_string(n) + "]\n" + keys +
                        "End of video track , key frame num - video- [" +
                        std::to_string(f.track(id)->key_count) + "]\n");
}

// The summary's words against ffprobe's for each track that ffprobe lists
// (width, height, sample count and frame rate; sample rate, channels,
// sample count, object type and MPEG-1/2 flag), and its samples; how many.
int ExpectFileMatches(const std::string& path) {
  SCOPED_TRACE(path);
  OpenedFile f(path, path);
  int32_t result = 0;
  const FileInfo i = Info(path, &result);
  EXPECT_EQ(result, f.result == 1 ? 1 : -21);
  if (f.result != 1) return 0;
  const uint32_t vid = f.file->video_track_id, aid = f.file->audio_track_id;
  const Values video = {i.video_width, i.video_height, i.video_sample_count, i.video_frame_rate};
  const Values audio = {i.audio_sample_rate, i.audio_channels, i.audio_sample_count,
                        i.audio_object_type, i.audio_is_mpeg1};
  const std::map<std::string, uint32_t> types = {
      {"Main", 1}, {"LC", 2}, {"HE-AAC", 5}, {"HE-AACv2", 29}};
  int compared = 0;
  for (const std::string& s : Probe("-show_entries "
                                    "stream=index,id,codec_name,codec_tag_string,profile,width,"
                                    "height,nb_frames,avg_frame_rate,sample_rate,channels",
                                    path)) {
    const uint32_t id = Number(s, "id");
    if (id == 0 || (id != vid && id != aid)) continue;
    ++compared;
    const std::string codec = Field(s, "codec_name"), profile = Field(s, "profile"),
                      tag = Field(s, "codec_tag_string");
    // ffprobe's sample count, or 0 when the library's tree holds no sample size table
    const uint32_t count =
        Number(s, "nb_frames") *
        !!FindAtomPath(f.track(id)->trak->first_child, {"mdia", "minf", "stbl", "stsz"});
    const std::string frame_rate = Field(s, "avg_frame_rate");  // "30000/1001", truncated
    char* slash = nullptr;
    const double rate = std::strtod(frame_rate.c_str(), &slash);
    const double per = *slash == '/' ? std::strtod(slash + 1, nullptr) : 0;
    const bool mpeg = codec == "aac" || codec == "mp3";
    Values theirs =
        id == vid ? Values{Number(s, "width"), Number(s, "height"), count,
                           per == 0 ? 0 : uint32_t(rate / per)}
                  : Values{Number(s, "sample_rate") * mpeg, Number(s, "channels") * mpeg, count,
                           types.count(profile) ? types.at(profile) : 0, codec == "mp3"};
    // not compared: the rate and object type of mp3on4 (see above), the
    // object type of AAC whose profile ffprobe does not know (no frames)
    if (codec == "mp3on4") theirs = {audio[0], Number(s, "channels"), count, audio[3], 0};
    if (codec == "aac" && profile == "unknown") theirs[3] = audio[3];
    if (tag != (id == vid ? "mp4v" : "mp4a")) theirs.assign(theirs.size(), 0);
    EXPECT_EQ(id == vid ? video : audio, theirs) << s;
    if (f.track(id)->sample_count > 0 && (tag == "mp4v" || tag == "mp4a"))
      ExpectTrackMatches(path, f, id, s);
  }
  return compared;
}

}  // namespace

TEST(FfprobeCompare, FfmpegAndCorpusFiles) {
  if (!HaveFfmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
  std::vector<std::string> files = FfmpegFiles();
  const std::string sine = "-f lavfi -i sine=sample_rate=";
  files.push_back(FfmpegMedia("mp3.mp4", sine + "44100 -t 1 -c:a libmp3lame -ac 1"));
  files.push_back(
      FfmpegMedia("mp3-stereo.mp4", sine + "24000 -t 1 -c:a libmp3lame -ac 2 -joint_stereo 0"));
  files.push_back(FfmpegMedia(
      "ntsc.mp4", "-f lavfi -i testsrc=size=176x144:rate=30000/1001 -frames:v 30 -c:v mpeg4"));
  for (const std::string& path : files) EXPECT_GT(ExpectFileMatches(path), 0) << path;
  int compared = 0;
  for (const std::string& path : CorpusFiles())
    if (path.find("/real/") != std::string::npos) compared += ExpectFileMatches(path);
  EXPECT_TRUE(CorpusFiles().empty() || compared > 20) << compared;
}

// An esds whose AudioSpecificConfig gives the rate explicitly (index 15):
// `extract` maps 44100 Hz to its ADTS index, and ffmpeg decodes the frames
// without a word; a rate ADTS has no index for, and a codec that is not
// AAC, are refused in one line.
TEST(FfprobeCompare, ExtractOfAnExplicitSamplingRate) {
  if (!HaveFfmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
  OpenedFile f(
      FfmpegMedia("aac-stereo.mp4", "-f lavfi -i sine=sample_rate=44100 -t 1 -c:a aac -ac 2"));
  TrackPlan audio = AudioPlan(1, 0);
  unsigned char* data = nullptr;
  uint32_t size = 0, time = 0;
  CaptureStdout([&] {
    while (MP4GetNextSample(f.file, f.file->audio_track_id, &data, &size, &time) == 1) {
      audio.data.emplace_back(data, data + size);
      MP4freeData(&data);
    }
  });
  audio.chunks = {uint32_t(audio.data.size())};
  const struct {
    uint8_t oti;
    box::Bytes dsi;
    const char* refusal;
  } rows[] = {{0x40, {0x17, 0x80, 0x56, 0x22, 0x10}, ""},  // AAC LC, 44100 Hz, stereo
              {0x40,
               {0x17, 0x80, 0x1F, 0x40, 0x90},
               "audio track 1: ADTS has no sampling frequency index for 16001 Hz"},
              {0xD1,
               {0x70, 0x70},
               "audio track 1 is not AAC (objectTypeIndication 0xD1); ADTS carries AAC only"}};
  for (const auto& row : rows) {
    audio.esds = box::Esds(row.oti, 0x15, row.dsi);
    const std::string path = WriteScratchFile("explicit.mp4", BuildMovie({audio}));
    const std::string aac = ScratchPath("explicit.aac");
    std::string out, errors;
    const int status = RunTool("extract '" + path + "' --audio '" + aac + "'", &out);
    if (*row.refusal != '\0') {
      EXPECT_EQ(status, 1);
      EXPECT_EQ(out, "ornivex: " + path + ": no audio written: " + row.refusal + "\n");
      // the summary names the codec too
      RunTool("info '" + path + "'", &out);
      if (row.oti == 0xD1) {
        EXPECT_EQ(out.rfind("audio: unsupported codec (objectTypeIndication 0xD1)\n", 0), 0u);
      }
      continue;
    }
    ASSERT_EQ(status, 0) << out;
    const box::Bytes adts = ReadWholeFile(aac);
    ASSERT_GT(adts.size(), 7u);  // AAC LC, frequency index 4, two channels
    EXPECT_EQ((Values{adts[0], adts[1], adts[2], adts[3] & 0xC0u}),
              (Values{0xFF, 0xF1, 0x50, 0x80}));
    EXPECT_EQ(RunCommand("ffmpeg -nostdin -v error -i '" + aac + "' -f null -", &errors), 0);
    EXPECT_EQ(errors, "");
  }
}
