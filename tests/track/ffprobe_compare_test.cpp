// Files written by ffmpeg and by other tools, against ffprobe's packets:
// the index (count, size, position, time stamp), every sample's bytes and
// the key-frame walk.

#include "support/test_support.h"

// The hash of a block handed out by the library, which is released.
static std::string HashOf(unsigned char* data, uint32_t size) {
  const std::string hash = Crc32Hash(data, size);
  MP4freeData(&data);
  return hash;
}

// The index's time stamps equal ffprobe's decode times up to the constant
// shift of ffmpeg's edit list; the video key-frame walk hands out exactly
// the packets that ffprobe flags as key frames.
static void ExpectTrackMatches(const std::string& path, OpenedFile& f, uint32_t id) {
  SCOPED_TRACE(path + " track " + std::to_string(id));
  const std::vector<ProbePacket> packets = ProbePackets(path, id);
  const ReadTrackNode* track = f.track(id);
  ASSERT_EQ(track->sample_count, packets.size());
  std::vector<std::string> keys, ours, walked;
  for (uint32_t i = 0; i < track->sample_count; ++i) {
    const SampleIndexEntry& e = track->sample_table[i];
    ASSERT_EQ(e.size, packets[i].size) << i;
    ASSERT_EQ(e.file_offset, packets[i].pos) << i;
    ASSERT_EQ(int64_t(e.time_stamp), packets[i].dts - packets[0].dts) << i;
    if (packets[i].key) keys.push_back(packets[i].hash);
  }
  unsigned char* data = nullptr;
  uint32_t size = 0, time = 0;
  CaptureStdout([&] {
    while (MP4GetNextSample(f.file, id, &data, &size, &time) == 1)
      ours.push_back(HashOf(data, size));
    GoToBeginOfKeyFrame(f.file, id);
    while (MP4NextKeyFrame(f.file, id, &data, &size) == 1) walked.push_back(HashOf(data, size));
  });
  ASSERT_EQ(ours.size(), packets.size());
  for (size_t i = 0; i < ours.size(); ++i) ASSERT_EQ(ours[i], packets[i].hash) << i;
  if (id == f.file->video_track_id) {
    EXPECT_EQ(walked, keys);
  }
}

TEST(FfprobeCompare, FilesWrittenByFfmpeg) {
  if (!HaveFfmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
  for (const std::string& path : FfmpegFiles()) {
    ASSERT_FALSE(path.empty());
    OpenedFile f(path);
    ASSERT_EQ(f.result, 1) << path;
    EXPECT_TRUE(f.file->video_track_id != 0 || f.file->audio_track_id != 0) << path;
    for (uint32_t id : {f.file->video_track_id, f.file->audio_track_id})
      if (id != 0) ExpectTrackMatches(path, f, id);
  }
}

// Every corpus file opens or fails with -99; the mp4v and mp4a tracks that
// the library indexes (stco, 32-bit sizes) match ffprobe; every sample of
// every track is read through and the key frames walked both ways.
TEST(FfprobeCompare, CorpusFiles) {
  const std::vector<std::string> files = CorpusFiles();
  if (files.empty()) GTEST_SKIP() << "../shared/corpus is absent: corpus cases skipped";
  int compared = 0;
  for (const std::string& path : files) {
    OpenedFile f(path);
    EXPECT_TRUE(f.result == 1 || f.result == -99) << path;
    if (f.result != 1) continue;
    for (uint32_t id : {f.file->video_track_id, f.file->audio_track_id}) {
      if (id == 0) continue;
      if (path.find("/real/") != std::string::npos && HaveFfmpeg() &&
          f.track(id)->sample_count > 0) {
        const std::string tag = ProbeStream(path, id, "codec_tag_string");
        if (ProbeField(tag, "codec_tag_string") == "mp4v" ||
            ProbeField(tag, "codec_tag_string") == "mp4a") {
          ExpectTrackMatches(path, f, id);
          ++compared;
        }
      }
      unsigned char* data = nullptr;
      uint32_t size = 0, time = 0;
      CaptureStdout([&] {
        while (MP4GetNextSample(f.file, id, &data, &size, &time) == 1) MP4freeData(&data);
        for (int32_t t : {-1, 0, 1000, 0x7FFFFFFF}) {
          if (GetSample(f.file, id, t, &data, &size) >= 0) MP4freeData(&data);
          if (SeekTrack(f.file, id, t, &data, &size) >= 0) MP4freeData(&data);
        }
        GoToEndOfKeyFrame(f.file, id);
        while (MP4PrevKeyFrame(f.file, id, &data, &size) == 1) MP4freeData(&data);
      });
    }
  }
  std::printf("compared %d corpus tracks with ffprobe\n", compared);
  if (HaveFfmpeg()) {
    EXPECT_GT(compared, 20);
  }
}
