// The per-sample index: worked examples and tables that disagree.

#include "support/test_support.h"

using namespace box;

using V = std::vector<uint32_t>;

// A file with one track of the given tables; the mdat makes room
// for the offsets the tables name.
static Bytes OneTrack(const char* handler, const std::vector<Bytes>& tables) {
  const Bytes entry = std::string(handler) == "vide"
                          ? Mp4v(176, 144, Esds(0x20, 0x11, {}))
                          : Mp4a(2, 44100, Esds(0x40, 0x15, Str("\x12\x10")));
  return Cat(
      {Ftyp(), Atom("mdat", {Zeros(2000)}),
       Atom("moov", {Mvhd(1000, 0), Iods(),
                     Trak(Tkhd(1, 176, 144), Mdhd(1000, 0), handler, Stsd(entry), tables)})});
}

static V Field(const ReadTrackNode* t, uint32_t SampleIndexEntry::*field) {
  V v;
  for (uint32_t i = 0; i < t->sample_count; ++i) v.push_back(t->sample_table[i].*field);
  return v;
}

constexpr auto kTime = &SampleIndexEntry::time_stamp;
constexpr auto kOffset = &SampleIndexEntry::file_offset;

// One field of every sample of the track that OneTrack makes.
static V Index(uint32_t SampleIndexEntry::*field, const char* handler,
               const std::vector<Bytes>& tables) {
  OpenedFile f(OneTrack(handler, tables));
  EXPECT_EQ(f.result, 1);
  return f.track(1) == nullptr ? V{} : Field(f.track(1), field);
}

static V KeySamples(const ReadTrackNode* t) {
  V v;
  for (uint32_t k = 0; k < t->key_count; ++k) v.push_back(t->key_table[k].sample_index);
  return v;
}

TEST(SampleIndex, WorkedExamples) {
  // time stamps over two runs, in both builders
  for (const char* handler : {"vide", "soun"}) {
    EXPECT_EQ(Index(kTime, handler,
                    {Stts({{2, 10}, {3, 20}}), Stss({1}), Stsc({{1, 5, 1}}),
                     Stsz(0, 5, {1, 1, 1, 1, 1}), Stco({100})}),
              (V{0, 10, 20, 40, 60}))
        << handler;
  }
  // two stsc runs
  EXPECT_EQ(Index(kOffset, "vide",
                  {Stts({{6, 1}}), Stss({1}), Stsc({{1, 2, 1}, {3, 1, 1}}), Stsz(10, 6),
                   Stco({100, 200, 300, 400})}),
            (V{100, 110, 200, 210, 300, 400}));
  // one run of three samples per chunk
  OpenedFile f(OneTrack("vide", {Stts({{5, 1}}), Stss({1, 4}), Stsc({{1, 3, 1}}),
                                 Stsz(0, 5, {10, 20, 30, 40, 50}), Stco({100, 500})}));
  ASSERT_EQ(f.result, 1);
  const ReadTrackNode* t = f.track(1);
  EXPECT_EQ(Field(t, kOffset), (V{100, 110, 130, 500, 540}));
  EXPECT_EQ(Field(t, &SampleIndexEntry::size), (V{10, 20, 30, 40, 50}));
  EXPECT_EQ(KeySamples(t), (V{0, 3}));
  EXPECT_EQ(t->key_table[1].time_stamp, 3u);
}

TEST(SampleIndex, ConstantSizesAndAllIntraVideo) {
  // an all-intra track lists every sample as a sync sample: more than the
  // half-size key table first holds
  TrackPlan v = VideoPlan(1, 7);
  v.sizes = V(7, 40);
  v.constant_size = true;
  v.stss = {1, 2, 3, 4, 5, 6, 7};
  std::vector<std::vector<uint32_t>> offsets;
  OpenedFile f(BuildMovie({v}, &offsets));
  ASSERT_EQ(f.result, 1);
  const ReadTrackNode* t = f.track(1);
  ASSERT_EQ(t->sample_count, 7u);
  EXPECT_EQ(Field(t, &SampleIndexEntry::size), V(7, 40));
  EXPECT_EQ(Field(t, kOffset), offsets[0]);
  ASSERT_EQ(KeySamples(t), (V{0, 1, 2, 3, 4, 5, 6}));
  for (uint32_t k = 0; k < 7; ++k) EXPECT_EQ(t->key_table[k].time_stamp, k * 100);
}

TEST(SampleIndex, TablesThatDisagree) {
  // stts covers 2 of 5 samples: the rest keep the last delta
  EXPECT_EQ(Index(kTime, "soun", {Stts({{2, 7}}), Stsc({{1, 5, 1}}), Stsz(4, 5), Stco({100})}),
            (V{0, 7, 14, 21, 28}));
  // chunk offsets for only 2 of 3 chunks: the samples no chunk reaches are cut
  EXPECT_EQ(
      Index(kOffset, "soun", {Stts({{6, 1}}), Stsc({{1, 2, 1}}), Stsz(4, 6), Stco({100, 200})}),
      (V{100, 104, 200, 204}));
  // a run of 0 samples per chunk is stepped over, not divided by
  EXPECT_EQ(Index(kOffset, "soun",
                  {Stts({{3, 1}}), Stsc({{1, 0, 1}, {2, 3, 1}}), Stsz(4, 3), Stco({100, 200})}),
            (V{200, 204, 208}));
  // sync samples outside 1..count or out of order are left out
  OpenedFile keys(OneTrack("vide", {Stts({{4, 1}}), Stss({0, 2, 2, 9, 1, 4, 0xFFFFFFFF}),
                                    Stsc({{1, 4, 1}}), Stsz(4, 4), Stco({100})}));
  EXPECT_EQ(KeySamples(keys.track(1)), (V{1, 3}));

  // a sample count that the file cannot hold gets no tables at all
  OpenedFile huge(
      OneTrack("soun", {Stts({{1, 1}}), Stsc({{1, 1, 1}}), Stsz(1000, 0x7FFFFFF0), Stco({100})}));
  ASSERT_EQ(huge.result, 1);
  EXPECT_EQ(huge.track(1)->sample_table, nullptr);
  EXPECT_EQ(huge.track(1)->sample_count, 0u);

  // two stsz: the index takes the later one but never more than the table holds
  OpenedFile twice(
      OneTrack("soun", {Stts({{9, 1}}), Stsc({{1, 9, 1}}), Stsz(4, 2), Stsz(4, 9), Stco({100})}));
  EXPECT_EQ((V{twice.track(1)->sample_count, twice.track(1)->table_capacity}), (V{2, 2}));
}

TEST(SampleIndex, MissingTables) {
  // a video track without stss: every sample is a sync sample
  OpenedFile f(OneTrack("vide", {Stts({{2, 1}}), Stsc({{1, 2, 1}}), Stsz(4, 2), Stco({100})}));
  ASSERT_EQ(f.result, 1);
  EXPECT_EQ(f.output.find("Some thing wrong"), std::string::npos);
  EXPECT_EQ(KeySamples(f.track(1)), (V{0, 1}));

  // co64 instead of stco: the track is refused and offers no samples
  OpenedFile g(OneTrack("soun", {Stts({{2, 1}}), Stsc({{1, 2, 1}}), Stsz(4, 2),
                                 Atom("co64", {Full(0, 0), U32(1), U64(100)})}));
  EXPECT_NE(g.output.find("Some thing wrong at BuildVideotrackIndex ... func \n"),
            std::string::npos);
  EXPECT_EQ(g.track(1)->sample_count, 0u);

  // a stts whose size does not match its count is as good as missing
  Bytes bad_stts = Stts({{2, 1}});
  bad_stts[15] = 5;  // claims 5 runs
  OpenedFile h(OneTrack("soun", {bad_stts, Stsc({{1, 2, 1}}), Stsz(4, 2), Stco({100})}));
  EXPECT_NE(h.output.find("error to read atom[stts] data from file\n"), std::string::npos);
  EXPECT_NE(h.output.find("Some thing wrong at BuildVideotrackIndex ... func \n"),
            std::string::npos);
}
