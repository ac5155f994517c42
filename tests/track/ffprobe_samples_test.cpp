// Sample bytes and key frames of files written by others, against ffprobe.
#include <gtest/gtest.h>

#include "ornivex.h"
#include "support/md5.h"
#include "support/reader_support.h"
#include "support/test_support.h"

namespace {

// Every sample through MP4GetNextSample; their MD5s in order.
std::vector<std::string> ReadAll(MP4_input_file* f, uint32_t id) {
  std::vector<std::string> hashes;
  unsigned char* data = nullptr;
  uint32_t size = 0, time = 0;
  CaptureStdout([&] {
    while (MP4GetNextSample(f, id, &data, &size, &time) == 1) {
      hashes.push_back(Md5Hex(data, size));
      MP4freeData(&data);
    }
  });
  return hashes;
}

// The key frames from the first on, through MP4NextKeyFrame.
std::vector<std::string> WalkKeyFrames(MP4_input_file* f, uint32_t id) {
  std::vector<std::string> hashes;
  unsigned char* data = nullptr;
  uint32_t size = 0;
  CaptureStdout([&] {
    GoToBeginOfKeyFrame(f, id);
    while (MP4NextKeyFrame(f, id, &data, &size) == 1) {
      hashes.push_back(Md5Hex(data, size));
      MP4freeData(&data);
    }
  });
  return hashes;
}

void ExpectSamplesMatch(const std::string& path, MP4_input_file* f, uint32_t id, bool video) {
  SCOPED_TRACE(path + " track " + std::to_string(id));
  const std::vector<ProbePacket> packets = ProbePackets(path, id, nullptr, true);
  const std::vector<std::string> ours = ReadAll(f, id);
  ASSERT_EQ(ours.size(), packets.size());
  std::vector<std::string> keys;
  for (size_t i = 0; i < ours.size(); ++i) {
    ASSERT_EQ("MD5:" + ours[i], packets[i].hash) << i;
    if (packets[i].key) keys.push_back(packets[i].hash.substr(4));
  }
  if (video) {
    EXPECT_EQ(WalkKeyFrames(f, id), keys);
  }
}

}  // namespace

TEST(FfprobeSamples, FilesWrittenByFfmpeg) {
  if (!HaveFfmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
  for (const FfmpegCase& c : FfmpegCases()) {
    const std::string path = FfmpegMedia(c.name, c.arguments);
    ASSERT_FALSE(path.empty());
    OpenedFile f(path);
    ASSERT_EQ(f.result, 1);
    if (f.file->video_track_id != 0) ExpectSamplesMatch(path, f.file, f.file->video_track_id, true);
    if (f.file->audio_track_id != 0)
      ExpectSamplesMatch(path, f.file, f.file->audio_track_id, false);
  }
}

// Every sample of every corpus file that opens is read through, and the
// key frames are walked both ways; the sanitizers watch.
TEST(FfprobeSamples, CorpusReadThrough) {
  const std::vector<std::string> files = CorpusFiles();
  if (files.empty()) GTEST_SKIP() << "../shared/corpus is absent: corpus cases skipped";
  for (const std::string& path : files) {
    OpenedFile f(path);
    if (f.result != 1) continue;
    for (uint32_t id : {f.file->video_track_id, f.file->audio_track_id}) {
      if (id == 0) continue;
      ReadAll(f.file, id);
      unsigned char* data = nullptr;
      uint32_t size = 0;
      CaptureStdout([&] {
        for (int32_t t : {-1, 0, 1000, 0x7FFFFFFF}) {
          if (GetSample(f.file, id, t, &data, &size) >= 0) MP4freeData(&data);
          if (SeekTrack(f.file, id, t, &data, &size) >= 0) MP4freeData(&data);
        }
        GoToEndOfKeyFrame(f.file, id);
        while (MP4PrevKeyFrame(f.file, id, &data, &size) == 1) MP4freeData(&data);
      });
      WalkKeyFrames(f.file, id);
    }
  }
}
