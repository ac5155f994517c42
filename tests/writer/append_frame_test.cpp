// AddVideoFrame and AddAudioFrame: the entries, the blocks, the one-second
// windows and bit rates, the temporary files and every refusal.
#include <cmath>

#include "writer/bit_rate.h"
#include "writer/table_blocks.h"  // FreeTrackBlocks
#include "writer/writer_support.h"

TEST(AppendFrame, OffsetsKeyFramesAndTheTemporaryFile) {
  Writer w;
  ASSERT_EQ(w.Media(1) + w.Media(2), 2);
  // key marks: only 1 makes a key frame
  const struct {
    uint32_t size, time;
    int32_t key;
  } frames[] = {{100, 0, 1}, {200, 40, 2}, {300, 80, 0}, {7, 120, 1}};
  for (const auto& f : frames) ASSERT_EQ(w.Video(f.size, f.time, f.key), 1);
  const TrackNode* v = w.file->VideoTrackNode;
  for (int i = 0; i < 4; ++i) {
    const SampleIndexEntry& e = v->SampleTable[i];
    EXPECT_EQ((Values{e.time_stamp, e.file_offset, e.temp_offset, e.size, e.spare}),
              (Values{frames[i].time, 0, Values{0, 100, 300, 600}[i], frames[i].size, 0}));
  }
  EXPECT_EQ((Values{v->KeyFrameTable[0].sample_index, v->KeyFrameTable[1].sample_index,
                    v->KeyFrameTable[1].time_stamp, v->KeyFrameCount, v->SampleCount}),
            (Values{0, 3, 120, 2, 4}));
  EXPECT_EQ((Values{w.file->video_sample_count, w.file->video_key_count, w.file->video_bytes,
                    w.file->video_block_index, w.file->video_block_key_index}),
            (Values{4, 2, 607, 4, 2}));

  ASSERT_EQ(w.Audio(5, 0), 1);
  ASSERT_EQ(w.Audio(6, 1024), 1);
  const TrackNode* a = w.file->AudioTrackNode;
  EXPECT_EQ((Values{a->SampleTable[1].temp_offset, a->KeyFrameCount, w.file->audio_key_count,
                    w.file->audio_bytes}),
            (Values{5, 0, 0, 11}));

  // each temporary file is its frames in call order; the output stays empty
  box::Bytes video;
  for (const auto& f : frames) video.insert(video.end(), f.size, uint8_t(f.size));
  EXPECT_EQ(w.TempBytes(true), video);
  EXPECT_EQ(w.TempBytes(false), box::Cat({box::Bytes(5, 6), box::Bytes(6, 7)}));
  std::fflush(w.file->root->file);
  EXPECT_EQ(ReadWholeFile(w.path).size(), 0u);
}

TEST(AppendFrame, BlocksOf2000Samples) {
  Writer w;
  ASSERT_EQ(w.Media(1) + w.Media(2), 2);
  for (uint32_t i = 0; i < 2000; ++i) {
    ASSERT_EQ(w.Video(1, i * 40, i % 10 == 0), 1);
    ASSERT_EQ(w.Audio(2, i * 1024), 1);
  }
  // a new, empty block right after the 2000th sample, whose window that
  // sample (at 80 s) moves on from 0 to 1
  for (const TrackNode* first : {w.file->VideoTrackNode, w.file->AudioTrackNode}) {
    const auto blocks = Blocks(first);
    ASSERT_EQ(blocks.size(), 2u);
    const TrackNode* b = blocks[1];
    const bool video = first == w.file->VideoTrackNode;
    EXPECT_EQ((Values{b->FirstSample, b->FirstKeyFrame, b->SampleCount, b->KeyFrameCount,
                      b->TableCapacity, b->TrackID, b->TrackType, b->TimeScale, b->Width,
                      b->Trak == first->Trak, uint32_t(b->PeakBytes), b->MaxBitRate,
                      uint32_t(b->WindowSecond), uint32_t(b->WindowBytes)}),
              (Values{2000, video ? 200u : 0u, 0, 0, 2000, first->TrackID, first->TrackType,
                      first->TimeScale, first->Width, 1, uint32_t(first->PeakBytes),
                      first->MaxBitRate, 1, video ? 1u : 2u}));
    EXPECT_EQ(first->SampleCount, 2000u);
  }
  EXPECT_EQ((Values{w.file->video_block_index, w.file->video_block_key_index}), (Values{0, 0}));
  // the 2001st frame goes to index 0 of the second block
  ASSERT_EQ(w.Video(9, 80000, 1), 1);
  const TrackNode* second = w.file->VideoTrackNode->NextBlock;
  EXPECT_EQ((Values{second->SampleTable[0].size, second->SampleTable[0].temp_offset,
                    second->SampleCount, second->KeyFrameTable[0].sample_index,
                    second->KeyFrameCount, w.file->video_sample_count}),
            (Values{9, 2000, 1, 2000, 1, 2001}));
}

TEST(AppendFrame, AllIntraStreamKeepsEveryKeyFrame) {
  Writer w;
  ASSERT_EQ(w.Media(1), 1);
  for (uint32_t i = 0; i < 5000; ++i) ASSERT_EQ(w.Video(1, i * 40, 1), 1);
  EXPECT_EQ(w.file->video_key_count, 5000u);
  // the block invariants hold, and every key frame names its own sample
  uint32_t samples = 0, keys = 0;
  for (const TrackNode* b : Blocks(w.file->VideoTrackNode)) {
    EXPECT_EQ((Values{b->FirstSample, b->FirstKeyFrame}), (Values{samples, keys}));
    for (uint32_t k = 0; k < b->KeyFrameCount; ++k)
      ASSERT_EQ(b->KeyFrameTable[k].sample_index, b->FirstSample + k);
    samples += b->SampleCount;
    keys += b->KeyFrameCount;
  }
  EXPECT_EQ((Values{samples, keys, uint32_t(Blocks(w.file->VideoTrackNode).size())}),
            (Values{5000, 5000, 3}));
}

TEST(AppendFrame, VideoBitRatesOfTheExample) {
  Writer w;
  ASSERT_EQ(w.Media(1), 1);
  const TrackNode* v = w.file->VideoTrackNode;
  ASSERT_EQ(w.Video(1000, 0), 1);
  EXPECT_EQ((Values{v->AvgBitRate, v->MaxBitRate}), (Values{0, 0}));  // time stamp 0
  for (uint32_t t = 40; t <= 1000; t += 40) ASSERT_EQ(w.Video(1000, t, 0), 1);
  // t = 1.0 is still inside the window [0, 1]
  EXPECT_EQ((Values{v->AvgBitRate, v->MaxBitRate, uint32_t(v->WindowBytes)}),
            (Values{208000, 0, 26000}));
  ASSERT_EQ(w.Video(1000, 1040, 0), 1);
  EXPECT_EQ((Values{v->AvgBitRate, v->MaxBitRate, uint32_t(v->PeakBytes), uint32_t(v->WindowBytes),
                    uint32_t(v->WindowSecond)}),
            (Values{207692, 208000, 26000, 1000, 1}));
}

TEST(AppendFrame, WindowsInSinglePrecision) {
  // 100000001 / 10^8 rounds to 1.0f: still the first window
  Writer w;
  ASSERT_EQ(w.Media(1, 1, 100000000), 1);
  const TrackNode* v = w.file->VideoTrackNode;
  ASSERT_EQ(w.Video(10, 0), 1);
  ASSERT_EQ(w.Video(20, 100000001), 1);
  EXPECT_EQ((Values{uint32_t(v->WindowSecond), uint32_t(v->WindowBytes)}), (Values{0, 30}));
  ASSERT_EQ(w.Video(40, 100000100), 1);  // 1.000001 is past it
  EXPECT_EQ((Values{uint32_t(v->WindowSecond), uint32_t(v->WindowBytes), uint32_t(v->PeakBytes)}),
            (Values{1, 40, 30}));

  // a gap of seconds: one window per frame until the window catches up
  Writer g;
  ASSERT_EQ(g.Media(2), 1);
  const TrackNode* a = g.file->AudioTrackNode;
  for (uint32_t t : {0u, 500u, 5000u, 5100u, 5200u}) ASSERT_EQ(g.Audio(100 + t / 100, t), 1);
  EXPECT_EQ((Values{uint32_t(a->WindowSecond), uint32_t(a->WindowBytes), uint32_t(a->PeakBytes)}),
            (Values{3, 152, 205}));
}

TEST(AppendFrame, AudioBitRatesInWholeSeconds) {
  Writer w;
  ASSERT_EQ(w.Media(2, 1, 44100), 1);
  const TrackNode* a = w.file->AudioTrackNode;
  for (uint32_t t = 0; t < 44100; t += 1024) ASSERT_EQ(w.Audio(300, t), 1);
  EXPECT_EQ((Values{a->AvgBitRate, a->MaxBitRate}), (Values{0, 0}));  // the first second
  ASSERT_EQ(w.Audio(300, 44100), 1);
  EXPECT_EQ(a->AvgBitRate, 8 * w.file->audio_bytes);
  ASSERT_EQ(w.Audio(300, 2 * 44100 + 5), 1);  // 2 whole seconds; the first window closed
  EXPECT_EQ((Values{a->AvgBitRate, a->MaxBitRate}),
            (Values{8 * w.file->audio_bytes / 2, uint32_t(8 * a->PeakBytes)}));

  // through single precision: 2^27 + 8 bits become 2^27; video keeps them
  Writer r;
  ASSERT_EQ(r.Media(1) + r.Media(2), 2);
  r.file->audio_bytes = r.file->video_bytes = 16777216;
  ASSERT_EQ(r.Audio(1, 1000), 1);
  ASSERT_EQ(r.Video(1, 1000), 1);
  EXPECT_EQ((Values{r.file->AudioTrackNode->AvgBitRate, r.file->VideoTrackNode->AvgBitRate}),
            (Values{134217728, 134217736}));
}

TEST(AppendFrame, OddTimescalesAndLargeValues) {
  // timescale 0: frames are kept, no seconds or rates are made up
  Writer z;
  ASSERT_EQ(z.Media(1, 1, 0) + z.Media(2, 1, 0), 2);
  for (uint32_t t : {0u, 1000u, 0xFFFFFFFFu}) {
    ASSERT_EQ(z.Video(10, t), 1);
    ASSERT_EQ(z.Audio(10, t), 1);
  }
  for (const TrackNode* t : {z.file->VideoTrackNode, z.file->AudioTrackNode})
    EXPECT_EQ((Values{t->AvgBitRate, t->MaxBitRate, uint32_t(t->WindowBytes), t->SampleCount}),
              (Values{0, 0, 0, 3}));

  // a timescale with its top bit set counts as negative; time stamps near 2^32
  Writer n;
  ASSERT_EQ(n.Media(1, 1, 0x80000000u) + n.Media(2, 1, 1), 2);
  for (uint32_t t : {0u, 0xFFFFFFF0u, 0xFFFFFFFFu}) {
    ASSERT_EQ(n.Video(10, t), 1);
    ASSERT_EQ(n.Audio(10, t), 1);
  }
  EXPECT_EQ(n.file->VideoTrackNode->AvgBitRate, 0u);  // a negative rate is none
  EXPECT_EQ(n.file->AudioTrackNode->AvgBitRate, 0u);  // 240 bits over 2^32 - 1 seconds

  EXPECT_EQ((Values{TruncateToU32(-1.5), TruncateToU32(std::nan("")), TruncateToU32(5e9),
                    TruncateToU32(4294967295.9)}),
            (Values{0, 0, UINT32_MAX, UINT32_MAX}));

  // offsets stay within 32 bits: the frame that would pass them is refused
  Writer b;
  ASSERT_EQ(b.Media(1), 1);
  b.file->video_bytes = 0xFFFFFF00u;
  ASSERT_EQ(b.Video(0xFF, 0), 1);
  int32_t result = 0;
  EXPECT_EQ(CaptureDebug([&] { result = b.Video(1, 40); }),
            "the size of data written to temp video file is error!\n");
  EXPECT_EQ((Values{uint32_t(result), b.file->video_sample_count, b.file->video_bytes}),
            (Values{uint32_t(-99), 1, 0xFFFFFFFF}));
}

TEST(AppendFrame, Refusals) {
  Writer w;
  const unsigned char byte = 1;
  struct Case {
    std::function<int32_t()> call;
    std::string debug;
  } cases[] = {
      {[&] { return AddVideoFrame(nullptr, 1, &byte, 0, 1); },
       "the input parameter for MP4_local_file is empty\n"},
      {[&] { return AddAudioFrame(nullptr, 1, &byte, 0); },
       "the input parameter for MP4_local_file is empty\n"},
      {[&] { return AddVideoFrame(w.file, 1, &byte, 0, 1); },
       "there is no VideoTrackNode in the input MP4_local_file\n"},
      {[&] { return AddAudioFrame(w.file, 1, &byte, 0); },
       "there is no AudioTrackNode in the input MP4_local_file\n"},
  };
  for (const Case& c : cases) {
    int32_t result = 0;
    EXPECT_EQ(CaptureDebug([&] { result = c.call(); }), c.debug);
    EXPECT_EQ(result, -99);
  }
  // no bytes for a size: nothing recorded; no bytes for size 0 is an empty frame
  ASSERT_EQ(w.Media(1) + w.Media(2), 2);
  EXPECT_EQ(CaptureDebug([&] { EXPECT_EQ(AddVideoFrame(w.file, 5, nullptr, 0, 1), -99); }),
            "the size of data written to temp video file is error!\n");
  EXPECT_EQ(CaptureDebug([&] { EXPECT_EQ(AddAudioFrame(w.file, 0x80000000u, nullptr, 0), -99); }),
            "the size of data written to temp audio file is error!\n");
  EXPECT_EQ(w.file->video_sample_count + w.file->audio_sample_count, 0u);
  EXPECT_EQ(AddVideoFrame(w.file, 0, nullptr, 0, 1), 1);
  EXPECT_EQ(AddAudioFrame(w.file, 0, nullptr, 0), 1);
  EXPECT_EQ((Values{w.file->video_sample_count, w.file->video_key_count, w.file->audio_sample_count,
                    w.file->video_bytes}),
            (Values{1, 1, 1, 0}));
}

TEST(AppendFrame, FullLastBlockGetsItsSuccessorLater) {
  // the state a failed block allocation leaves: 2000 samples, no next block
  Writer w;
  ASSERT_EQ(w.Media(1), 1);
  for (uint32_t i = 0; i < 2000; ++i) ASSERT_EQ(w.Video(1, i, 1), 1);
  TrackNode* first = w.file->VideoTrackNode;
  FreeTrackBlocks(first->NextBlock);
  first->NextBlock = nullptr;
  w.file->video_block_index = w.file->video_block_key_index = 2000;

  ASSERT_EQ(w.Video(4, 2000, 1), 1);
  ASSERT_NE(first->NextBlock, nullptr);
  const TrackNode* b = first->NextBlock;
  EXPECT_EQ((Values{first->SampleCount, b->FirstSample, b->FirstKeyFrame, b->SampleCount,
                    b->KeyFrameCount, b->SampleTable[0].size, b->KeyFrameTable[0].sample_index}),
            (Values{2000, 2000, 2000, 1, 1, 4, 2000}));
}
