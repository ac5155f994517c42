// GetFileInfo's summary against ffprobe's streams, on the files ffmpeg
// writes and on every file of the shared corpus's real/: sample counts,
// picture size, frame rate, sample rate, channels and audio object type.
//
// Deliberate differences, which the expectations below build in:
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
#include "atom/atom_path.h"
#include "support/ffprobe.h"

namespace {

// ffprobe's frame rate ("30000/1001") truncated, as the summary's is.
uint32_t TruncatedRate(const std::string& rate) {
  const size_t slash = rate.find('/');
  if (slash == std::string::npos || std::stod(rate.substr(slash + 1)) == 0) return 0;
  return uint32_t(std::stod(rate.substr(0, slash)) / std::stod(rate.substr(slash + 1)));
}

uint32_t AacObjectType(const std::string& profile) {
  if (profile == "Main") return 1;
  if (profile == "LC") return 2;
  if (profile == "HE-AAC") return 5;
  return profile == "HE-AACv2" ? 29 : 0;
}

// ffprobe's sample count, or 0 when the library's tree of the track holds
// no sample size table.
uint32_t SampleCount(const OpenedFile& f, uint32_t id, const std::string& stream) {
  const AtomNode* trak = f.track(id)->trak;
  return FindAtomPath(trak->first_child, {"mdia", "minf", "stbl", "stsz"}) != nullptr
             ? Number(stream, "nb_frames")
             : 0;
}

// The summary's video words (width, height, sample count, frame rate) and
// audio words (sample rate, channels, sample count, object type, MPEG-1/2
// flag) against what ffprobe says of the same tracks; the number of tracks
// compared.
int ExpectSummaryLikeFfprobe(const std::string& path) {
  SCOPED_TRACE(path);
  OpenedFile f(path, path);
  int32_t result = 0;
  const FileInfo i = Info(path, &result);
  if (f.result != 1) {
    EXPECT_EQ(result, -21);
    return 0;
  }
  EXPECT_EQ(result, 1);
  int compared = 0;
  const std::vector<std::string> streams =
      Streams(path,
              "codec_name,codec_tag_string,profile,width,height,nb_frames,avg_frame_rate,"
              "sample_rate,channels");
  const Values video = {i.video_width, i.video_height, i.video_sample_count, i.video_frame_rate};
  const std::string v = StreamOf(streams, f.file->video_track_id);
  if (f.file->video_track_id == 0) {
    EXPECT_EQ(video, Values(4, 0));
  } else if (!v.empty()) {
    ++compared;
    EXPECT_EQ(video, Field(v, "codec_tag_string") != "mp4v"
                         ? Values(4, 0)
                         : (Values{Number(v, "width"), Number(v, "height"),
                                   SampleCount(f, f.file->video_track_id, v),
                                   TruncatedRate(Field(v, "avg_frame_rate"))}))
        << v;
  }
  const Values audio = {i.audio_sample_rate, i.audio_channels, i.audio_sample_count,
                        i.audio_object_type, i.audio_is_mpeg1};
  const std::string a = StreamOf(streams, f.file->audio_track_id);
  if (f.file->audio_track_id == 0) {
    EXPECT_EQ(audio, Values(5, 0));
  } else if (!a.empty()) {
    ++compared;
    const std::string codec = Field(a, "codec_name"), profile = Field(a, "profile");
    const bool mpeg = codec == "aac" || codec == "mp3";
    Values expected = {
        mpeg ? Number(a, "sample_rate") : 0, mpeg || codec == "mp3on4" ? Number(a, "channels") : 0,
        SampleCount(f, f.file->audio_track_id, a), AacObjectType(profile), codec == "mp3"};
    // not compared: the rate and object type of mp3on4 (see above), the
    // object type of AAC whose profile ffprobe does not know (no frames)
    if (codec == "mp3on4") expected[0] = audio[0];
    if (codec == "mp3on4" || (codec == "aac" && profile == "unknown")) expected[3] = audio[3];
    EXPECT_EQ(audio, Field(a, "codec_tag_string") != "mp4a" ? Values(5, 0) : expected) << a;
  }
  return compared;
}

}  // namespace

TEST(FileInfoFfprobe, FilesWrittenByFfmpeg) {
  if (!HaveFfmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
  std::vector<std::string> files = FfmpegFiles();
  const std::string sine = "-f lavfi -i sine=sample_rate=";
  files.push_back(FfmpegMedia("mp3.mp4", sine + "44100 -t 1 -c:a libmp3lame -ac 1"));
  files.push_back(
      FfmpegMedia("mp3-stereo.mp4", sine + "24000 -t 1 -c:a libmp3lame -ac 2 -joint_stereo 0"));
  files.push_back(FfmpegMedia("ntsc.mp4",
                              "-f lavfi -i testsrc=size=176x144:rate=30000/1001 -frames:v 30 "
                              "-c:v mpeg4"));
  for (const std::string& path : files) {
    ASSERT_FALSE(path.empty());
    EXPECT_GT(ExpectSummaryLikeFfprobe(path), 0) << path;
  }
}

TEST(FileInfoFfprobe, EveryRealCorpusFile) {
  std::vector<std::string> files = CorpusFiles();
  files.erase(std::remove_if(files.begin(), files.end(),
                             [](const std::string& p) { return p.find("/real/") == p.npos; }),
              files.end());
  if (files.empty()) GTEST_SKIP() << "../shared/corpus is absent: corpus comparison skipped";
  if (!HaveFfmpeg()) GTEST_SKIP() << "ffprobe is not installed";
  int compared = 0;
  for (const std::string& path : files) compared += ExpectSummaryLikeFfprobe(path);
  std::printf("compared the summary of %d corpus tracks with ffprobe\n", compared);
  EXPECT_GT(compared, 20);
}
