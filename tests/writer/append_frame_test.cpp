// AddVideoFrame and AddAudioFrame: the blocks, the one-second
// windows and bit rates, the temporary files and every refusal.
#include "writer/table_blocks.h"  // FreeTrackBlocks
#include "writer/writer_support.h"

namespace {

// A new, empty block right after each 2000th sample carries on the counts;
// the window of that sample (at 80 s) moves on to 1 in it. An all-intra
// stream keeps every key frame. A full last block without a successor, as
// a failed allocation leaves it, gets one at the next frame.
TEST(AppendFrame, BlocksOf2000Samples) {
  Writer w;
  ASSERT_EQ(w.Create(1) + w.Create(2), 2);
  for (uint32_t i = 0; i < 4000; ++i) ASSERT_EQ(w.Video(1, i * 40, 1), 1);
  for (uint32_t i = 0; i < 2000; ++i) ASSERT_EQ(w.Audio(2, i * 1024), 1);
  for (TrackNode* first : {w.file->VideoTrackNode, w.file->AudioTrackNode}) {
    const uint32_t video = first == w.file->VideoTrackNode, last = video ? 2 : 1;
    uint32_t n = 0;
    const TrackNode* tail = nullptr;
    for (const TrackNode* b = first; b != nullptr; tail = b, b = b->NextBlock, ++n) {
      EXPECT_EQ(
          (Values{b->FirstSample, b->FirstKeyFrame, b->SampleCount, b->KeyFrameCount,
                  b->TableCapacity, b->TrackID, b->TimeScale, uint32_t(b->PeakBytes),
                  b->MaxBitRate}),
          (Values{2000 * n, 2000 * n * video, 2000u * (n < last), 2000 * video * (n < last), 2000,
                  first->TrackID, first->TimeScale, uint32_t(first->PeakBytes), first->MaxBitRate}))
          << video << n;
      for (uint32_t k = 0; k < b->KeyFrameCount; ++k)
        ASSERT_EQ(b->KeyFrameTable[k].sample_index, b->FirstSample + k);
    }
    EXPECT_EQ((Values{n, uint32_t(tail->WindowSecond), uint32_t(tail->WindowBytes)}),
              (Values{last + 1, 1, 2 - video}));
  }
  TrackNode* full = w.file->VideoTrackNode->NextBlock;
  FreeTrackBlocks(full->NextBlock);
  full->NextBlock = nullptr;
  w.file->video_block_index = w.file->video_block_key_index = 2000;
  ASSERT_EQ(w.Video(4, 160000, 1), 1);
  const TrackNode* b = full->NextBlock;
  ASSERT_NE(b, nullptr);
  EXPECT_EQ((Values{b->FirstSample, b->FirstKeyFrame, b->SampleCount, b->KeyFrameCount,
                    b->SampleTable[0].size, b->KeyFrameTable[0].sample_index}),
            (Values{4000, 4000, 1, 1, 4, 4000}));
}

// Video windows are [s, s + 1] in seconds: t = 1.0 is still in the first.
// Audio rates count whole seconds and pass through single precision: 2^27 + 8
// bits become 2^27, where video keeps them.
TEST(AppendFrame, WindowsAndBitRates) {
  Writer w;
  ASSERT_EQ(w.Create(1) + w.Create(2, 1, 44100), 2);
  const TrackNode *v = w.file->VideoTrackNode, *a = w.file->AudioTrackNode;
  ASSERT_EQ(w.Video(1000, 0), 1);
  EXPECT_EQ((Values{v->AvgBitRate, v->MaxBitRate}), (Values{0, 0}));  // time stamp 0
  for (uint32_t t = 40; t <= 1000; t += 40) ASSERT_EQ(w.Video(1000, t, 0), 1);
  EXPECT_EQ((Values{v->AvgBitRate, v->MaxBitRate, uint32_t(v->WindowBytes)}),
            (Values{208000, 0, 26000}));
  ASSERT_EQ(w.Video(1000, 1040, 0), 1);
  EXPECT_EQ((Values{v->AvgBitRate, v->MaxBitRate, uint32_t(v->PeakBytes), uint32_t(v->WindowBytes),
                    uint32_t(v->WindowSecond)}),
            (Values{207692, 208000, 26000, 1000, 1}));
  for (uint32_t t = 0; t < 44100; t += 1024) ASSERT_EQ(w.Audio(300, t), 1);
  EXPECT_EQ((Values{a->AvgBitRate, a->MaxBitRate}), (Values{0, 0}));  // the first second
  ASSERT_EQ(w.Audio(300, 44100), 1);
  EXPECT_EQ(a->AvgBitRate, 8 * w.file->audio_bytes);
  ASSERT_EQ(w.Audio(300, 2 * 44100 + 5), 1);  // 2 whole seconds; the first window closed
  EXPECT_EQ((Values{a->AvgBitRate, a->MaxBitRate}),
            (Values{8 * w.file->audio_bytes / 2, uint32_t(8 * a->PeakBytes)}));

  Writer r;
  ASSERT_EQ(r.Create(1) + r.Create(2), 2);
  r.file->audio_bytes = r.file->video_bytes = 16777216;
  ASSERT_EQ(r.Audio(1, 1000) + r.Video(1, 1000), 2);
  EXPECT_EQ((Values{r.file->AudioTrackNode->AvgBitRate, r.file->VideoTrackNode->AvgBitRate}),
            (Values{134217728, 134217736}));
  Writer z;  // timescale 0: frames kept, no seconds or rates made up
  ASSERT_EQ(z.Create(1, 1, 0) + z.Create(2, 1, 0), 2);
  for (uint32_t t : {0u, 1000u, 0xFFFFFFFFu}) ASSERT_EQ(z.Video(10, t) + z.Audio(10, t), 2);
  EXPECT_EQ(
      (Values{z.file->VideoTrackNode->AvgBitRate + z.file->AudioTrackNode->MaxBitRate,
              uint32_t(z.file->VideoTrackNode->WindowBytes + z.file->AudioTrackNode->WindowBytes)}),
      (Values{0, 0}));
}

// No record, no track, no temporary file (its directory is missing), no
// bytes for a size, a frame whose offsets would pass 32 bits: nothing is
// recorded. No bytes for size 0 is an empty frame.
TEST(AppendFrame, Refusals) {
  const Bytes bytes(0xFF, 1);
  for (int32_t type : {1, 2}) {
    const std::string kind = type == 1 ? "Video" : "Audio", temp = type == 1 ? "video" : "audio";
    Writer w;
    auto add = [&](MP4_local_file* f, uint32_t size, const unsigned char* data) {
      return Call([&] {
        return type == 1 ? AddVideoFrame(f, size, data, 0, 1) : AddAudioFrame(f, size, data, 0);
      });
    };
    const std::string short_write =
        "the size of data written to temp " + temp + " file is error!\n";
    EXPECT_EQ(add(nullptr, 1, bytes.data()),
              Said(-99, "the input parameter for MP4_local_file is empty\n"));
    EXPECT_EQ(add(w.file, 1, bytes.data()),
              Said(-99, "there is no " + kind + "TrackNode in the input MP4_local_file\n"));
    const std::string missing = ScratchPath("gone") + "/temp";  // no file: no frames
    ASSERT_EQ(CreateTrack(w.file, type, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, missing.c_str(), 1), 1);
    EXPECT_EQ(add(w.file, 1, bytes.data()), Said(-99, short_write));
    for (size_t n : {255u, 256u}) {  // a name of 255 characters is kept, 256 are none
      std::string name = ScratchPath("t");
      name.resize(n, 'n');
      ASSERT_EQ(CreateTrack(w.file, type, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, name.c_str(), 1), 1);
      EXPECT_EQ(type == 1 ? w.file->video_temp_name : w.file->audio_temp_name,
                n == 255 ? name : "");
    }
    ASSERT_EQ(w.Create(type), 1);
    EXPECT_EQ(add(w.file, type == 1 ? 5 : 0x80000000u, nullptr), Said(-99, short_write));
    (type == 1 ? w.file->video_bytes : w.file->audio_bytes) = 0xFFFFFF00u;
    EXPECT_EQ(add(w.file, 0xFF, bytes.data()), kDone);
    EXPECT_EQ(add(w.file, 1, bytes.data()), Said(-99, short_write));
    EXPECT_EQ(add(w.file, 0, nullptr), kDone);
    const MP4_local_file& f = *w.file;
    const Values video = {f.video_sample_count, f.video_key_count, f.video_bytes},
                 audio = {f.audio_sample_count, f.audio_key_count, f.audio_bytes};
    EXPECT_EQ(type == 1 ? video : audio, (Values{2, type == 1 ? 2u : 0u, 0xFFFFFFFF}));
  }
}

}  // namespace
