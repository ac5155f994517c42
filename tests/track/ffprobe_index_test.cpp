// The index of files written by ffmpeg and by other tools, against
// ffprobe's packet list.
#include <gtest/gtest.h>

#include "support/reader_support.h"
#include "support/test_support.h"

namespace {

// Count, size and position of every sample; time stamps up to the constant
// shift of ffmpeg's edit list; sync samples where ffprobe flags key frames.
void ExpectIndexMatches(const std::string& path, const ReadTrackNode* track, uint32_t id,
                        bool video) {
  SCOPED_TRACE(path + " track " + std::to_string(id));
  const std::vector<ProbePacket> packets = ProbePackets(path, id);
  ASSERT_EQ(track->sample_count, packets.size());
  uint32_t keys = 0;
  for (uint32_t i = 0; i < track->sample_count; ++i) {
    const SampleIndexEntry& e = track->sample_table[i];
    ASSERT_EQ(e.size, packets[i].size) << i;
    ASSERT_EQ(e.file_offset, packets[i].pos) << i;
    ASSERT_EQ(int64_t(e.time_stamp), packets[i].dts - packets[0].dts) << i;
    if (video && packets[i].key) {
      ASSERT_LT(keys, track->key_count);
      EXPECT_EQ(track->key_table[keys++].sample_index, i);
    }
  }
  if (video) {
    EXPECT_EQ(keys, track->key_count);
  }
}

}  // namespace

TEST(FfprobeIndex, FilesWrittenByFfmpeg) {
  if (!HaveFfmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
  for (const FfmpegCase& c : FfmpegCases()) {
    const std::string path = FfmpegMedia(c.name, c.arguments);
    ASSERT_FALSE(path.empty());
    OpenedFile f(path);
    ASSERT_EQ(f.result, 1) << c.name;
    const uint32_t v = f.file->video_track_id, a = f.file->audio_track_id;
    EXPECT_TRUE(v != 0 || a != 0) << c.name;
    if (v != 0) ExpectIndexMatches(path, f.track(v), v, true);
    if (a != 0) ExpectIndexMatches(path, f.track(a), a, false);
  }
}

TEST(FfprobeIndex, CorpusFiles) {
  const std::vector<std::string> files = CorpusFiles();
  if (files.empty()) GTEST_SKIP() << "../shared/corpus is absent: corpus cases skipped";
  if (!HaveFfmpeg()) GTEST_SKIP() << "ffprobe is not installed";
  int compared = 0;
  for (const std::string& path : files) {
    OpenedFile f(path);
    EXPECT_TRUE(f.result == 1 || f.result == -99) << path;
    if (f.result != 1 || path.find("/real/") == std::string::npos) continue;
    for (uint32_t id : {f.file->video_track_id, f.file->audio_track_id}) {
      if (id == 0) continue;
      if (f.track(id)->sample_count == 0) {  // refused: co64, or tables missing
        std::printf("not indexed: %s track %u\n", path.c_str(), id);
        continue;
      }
      std::string tag;
      ProbePackets(path, id, &tag);
      if (tag != "mp4v" && tag != "mp4a") continue;
      ExpectIndexMatches(path, f.track(id), id, id == f.file->video_track_id);
      ++compared;
    }
  }
  std::printf("compared %d corpus tracks with ffprobe\n", compared);
  EXPECT_GT(compared, 0);
}
