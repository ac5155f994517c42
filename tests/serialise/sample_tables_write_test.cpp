// The sample tables that the serialiser builds from a track's blocks, as
// written: stts with the track's Duration, stsz, stsc, stco and stss.
#include "atom/atom_bodies.h"
#include "serialise/atom_serialiser.h"
#include "support/test_support.h"
#include "writer/table_blocks.h"
#include "writer/writer_tree.h"

using namespace box;

namespace {

// A track's blocks of `capacity` samples filled as the appends fill them:
// times, sizes (temporary-file offsets follow from them) and key frames.
struct Chain {
  TrackNode* first = static_cast<TrackNode*>(AllocZeroed(sizeof(TrackNode)));
  Chain(uint32_t type, const std::vector<uint32_t>& times, const std::vector<uint32_t>& sizes,
        const std::vector<uint32_t>& keys = {}, int32_t capacity = 2000) {
    first->TrackType = type;
    EXPECT_TRUE(Ok(CreateSampleAndKeyFrameTable(&first, capacity)));
    uint32_t offset = 0, key_count = 0;
    for (uint32_t i = 0; i < times.size(); ++i) {
      TrackNode* b = LastBlock(first);
      if (b->SampleCount == uint32_t(capacity)) {
        EXPECT_TRUE(Ok(CreateSampleAndKeyFrameTable(&first, capacity)));
        b = LastBlock(first);
        b->FirstSample = i;
        b->FirstKeyFrame = key_count;
        b->TrackType = type;
      }
      b->SampleTable[b->SampleCount++] = {times[i], 0, offset, sizes[i], 0};
      if (std::find(keys.begin(), keys.end(), i) != keys.end()) {
        b->KeyFrameTable[b->KeyFrameCount++] = {times[i], i};
        ++key_count;
      }
      offset += sizes[i];
    }
  }
  ~Chain() { FreeTrackBlocks(first); }
};

// A lone table atom with its record.
struct Table {
  AtomNode* node = static_cast<AtomNode*>(AllocZeroed(sizeof(AtomNode)));
  explicit Table(const char* type) {
    CopyAtomType(node->type, type);
    EXPECT_TRUE(Ok(AllocateNodeRecord(node)));
  }
  ~Table() { FreeAtomNode(node); }
};

// The table atom sized from the chain and written out: its bytes, or the
// status and what was printed when the sizing failed.
Bytes Built(const char* type, const Chain& chain, std::string* said = nullptr) {
  Table t(type);
  uint32_t size = 0;
  Status s = Status::kOk;
  const std::string out = CaptureStdout([&] { s = SizeTrackAtom(t.node, chain.first, &size); });
  if (said != nullptr) *said = out;
  if (!Ok(s)) return {};
  EXPECT_EQ(size, t.node->size);
  Root_atom root{};
  root.file = std::tmpfile();
  EXPECT_TRUE(Ok(WriteAtomTree(t.node, &root)));
  Bytes bytes(root.file_size);
  std::rewind(root.file);
  EXPECT_EQ(std::fread(bytes.data(), 1, bytes.size(), root.file), bytes.size());
  std::fclose(root.file);
  return bytes;
}

std::vector<uint32_t> Repeat(uint32_t n, uint32_t value) {
  return std::vector<uint32_t>(n, value);
}
std::vector<uint32_t> Steps(uint32_t n, uint32_t step) {
  std::vector<uint32_t> v(n);
  for (uint32_t i = 0; i < n; ++i) v[i] = i * step;
  return v;
}

TEST(SttsWrite, RunsOfEqualDurationsAndTheirSumAsDuration) {
  struct Case {
    std::vector<uint32_t> times;
    std::vector<std::array<uint32_t, 2>> runs;
    uint32_t duration;
  };
  const Case cases[] = {
      {{0, 1000, 2000, 3000}, {{4, 1000}}, 4000},
      {{0, 10, 20, 25, 30}, {{2, 10}, {3, 5}}, 35},
      {{0, 10, 15, 25}, {{1, 10}, {1, 5}, {2, 10}}, 35},
      {{0, 40}, {{2, 40}}, 80},
      {{500}, {{1, 0}}, 0},  // a lone sample has no next time stamp: it lasts 0
      {{}, {}, 0},
  };
  for (const Case& c : cases) {
    Chain chain(kTrackAudio, c.times, Repeat(uint32_t(c.times.size()), 8));
    EXPECT_EQ(Built("stts", chain), Stts(c.runs)) << c.times.size();
    EXPECT_EQ(chain.first->Duration, c.duration);
  }
}

TEST(SttsWrite, TheLastSampleOfABlockIsAnEntryOfItsOwnTimedToTheNextBlock) {
  Chain forward(kTrackAudio, {0, 10, 20, 30, 40}, Repeat(5, 8), {}, 3);
  EXPECT_EQ(Built("stts", forward), Stts({{2, 10}, {1, 10}, {2, 10}}));
  EXPECT_EQ(forward.first->Duration, 50u);
  // a next block that starts earlier: the delta of the entry before
  Chain backward(kTrackAudio, {0, 10, 20, 5, 15}, Repeat(5, 8), {}, 3);
  EXPECT_EQ(Built("stts", backward), Stts({{2, 10}, {1, 10}, {2, 10}}));
  // an empty last block, as after exactly 2000 samples, changes nothing
  Chain full(kTrackAudio, {0, 10, 20}, Repeat(3, 8), {}, 3);
  EXPECT_TRUE(Ok(CreateSampleAndKeyFrameTable(&full.first, 3)));
  LastBlock(full.first)->FirstSample = 3;
  EXPECT_EQ(Built("stts", full), Stts({{3, 10}}));
}

TEST(StszWrite, OneSizeForAllOrOneSizePerSample) {
  EXPECT_EQ(Built("stsz", Chain(kTrackAudio, Steps(4, 1), Repeat(4, 512))), Stsz(512, 4));
  EXPECT_EQ(Built("stsz", Chain(kTrackAudio, Steps(3, 1), {512, 512, 100})),
            Stsz(0, 3, {512, 512, 100}));
  EXPECT_EQ(Built("stsz", Chain(kTrackAudio, {}, {})), Stsz(0, 0));
  // a shared size of 0 would read as "a list follows": the list is written
  EXPECT_EQ(Built("stsz", Chain(kTrackVideo, Steps(2, 1), {0, 0}, {0})), Stsz(0, 2, {0, 0}));
}

TEST(ChunkWrite, StreamsGoInChunksOfThirtySamples) {
  struct Case {
    uint32_t n;
    std::vector<std::array<uint32_t, 3>> stsc;
    std::vector<uint32_t> stco;
  };
  const Case cases[] = {
      {0, {{1, 0, 1}}, {}},         {29, {{1, 29, 1}}, {0}},
      {30, {{1, 30, 1}}, {0}},      {31, {{1, 30, 1}, {2, 1, 1}}, {0, 300}},
      {60, {{1, 30, 1}}, {0, 300}}, {95, {{1, 30, 1}, {4, 5, 1}}, {0, 300, 600, 900}}};
  for (uint32_t type : {kTrackAudio, kTrackObjectDescriptor, kTrackScene})
    for (const Case& c : cases) {
      // blocks of 40 samples: the walk to sample 30 x j crosses them
      Chain chain(type, Steps(c.n, 1024), Repeat(c.n, 10), {}, 40);
      EXPECT_EQ(Built("stsc", chain), Stsc(c.stsc)) << c.n;
      EXPECT_EQ(Built("stco", chain), Stco(c.stco)) << c.n;
    }
}

TEST(ChunkWrite, VideoChunksBeginAtKeyFramesAndEarlierSamplesFormTheirOwn) {
  struct Case {
    std::vector<uint32_t> keys;
    std::vector<std::array<uint32_t, 3>> stsc;
    std::vector<uint32_t> stco, stss;
  };
  const Case cases[] = {
      {{0, 12, 24}, {{1, 12, 1}, {2, 12, 1}, {3, 6, 1}}, {0, 120, 240}, {1, 13, 25}},
      {{5, 20}, {{1, 5, 1}, {2, 15, 1}, {3, 10, 1}}, {0, 50, 200}, {6, 21}},
      {{}, {{1, 30, 1}}, {0}, {}},
      {{29}, {{1, 29, 1}, {2, 1, 1}}, {0, 290}, {30}},
  };
  for (const Case& c : cases) {
    Chain chain(kTrackVideo, Steps(30, 40), Repeat(30, 10), c.keys);
    EXPECT_EQ(Built("stsc", chain), Stsc(c.stsc)) << c.keys.size();
    EXPECT_EQ(Built("stco", chain), Stco(c.stco)) << c.keys.size();
    EXPECT_EQ(Built("stss", chain), Stss(c.stss)) << c.keys.size();
  }
  // a track of 2500 samples in two blocks reads as one
  std::vector<uint32_t> keys = Steps(25, 100), offsets, numbers;
  for (uint32_t k : keys) offsets.push_back(k * 10), numbers.push_back(k + 1);
  Chain chain(kTrackVideo, Steps(2500, 40), Repeat(2500, 10), keys);
  EXPECT_EQ(Built("stco", chain), Stco(offsets));
  EXPECT_EQ(Built("stss", chain), Stss(numbers));
}

TEST(SampleTableWrite, BadTracksFailWithTheirMessages) {
  std::string said;
  Chain hint(kTrackHint, {0}, {8});
  for (const char* table : {"stsc", "stco"}) {
    EXPECT_EQ(Built(table, hint, &said), Bytes{}) << table;
    EXPECT_EQ(said, "");  // the enclosing stbl names the table
  }
  Chain gap(kTrackAudio, {0, 1, 2, 3}, Repeat(4, 8), {}, 2);
  gap.first->NextBlock->FirstSample = 3;
  EXPECT_EQ(Built("stsz", gap, &said), Bytes{});
  EXPECT_EQ(said, "Error value in the TrackNode's SampleCount;\n");
  Chain keys(kTrackVideo, {0, 1, 2, 3}, Repeat(4, 8), {0, 2}, 2);
  keys.first->NextBlock->FirstKeyFrame = 0;
  EXPECT_EQ(Built("stss", keys, &said), Bytes{});
  EXPECT_EQ(said, "Error value in the TrackNode's KeyFrameCount;\n");
  // a key frame past the last sample names no chunk
  Chain past(kTrackVideo, {0, 1}, Repeat(2, 8), {0});
  past.first->KeyFrameTable[0].sample_index = 2;
  EXPECT_EQ(Built("stco", past, &said), Bytes{});
}

}  // namespace
