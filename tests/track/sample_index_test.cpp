// The per-sample index: worked examples and tables that disagree.
#include "support/test_support.h"

using namespace box;
using V = Values;

namespace {

// A file with one track of the given tables, opened; the mdat makes room
// for the offsets the tables name.
OpenedFile OneTrack(const char* handler, const std::vector<Bytes>& tables) {
  return OpenedFile(Movie({SimpleTrak(handler, tables)}, 2000));
}

// One field of every sample of track 1.
V Field(const OpenedFile& f, uint32_t SampleIndexEntry::*field) {
  V v;
  for (uint32_t i = 0; f.track(1) != nullptr && i < f.track(1)->sample_count; ++i)
    v.push_back(f.track(1)->sample_table[i].*field);
  return v;
}
constexpr auto kTime = &SampleIndexEntry::time_stamp;
constexpr auto kOffset = &SampleIndexEntry::file_offset;
constexpr auto kSize = &SampleIndexEntry::size;

// The sample and the time stamp of every key frame of track 1.
V Keys(const OpenedFile& f, uint32_t KeyFrameEntry::*field = &KeyFrameEntry::sample_index) {
  V v;
  for (uint32_t k = 0; k < f.track(1)->key_count; ++k) v.push_back(f.track(1)->key_table[k].*field);
  return v;
}

}  // namespace

TEST(SampleIndex, WorkedExamples) {
  // time stamps over two runs, in both builders
  for (const char* handler : {"vide", "soun"}) {
    EXPECT_EQ(Field(OneTrack(handler, {Stts({{2, 10}, {3, 20}}), Stss({1}), Stsc({{1, 5, 1}}),
                                       Stsz(0, 5, {1, 1, 1, 1, 1}), Stco({100})}),
                    kTime),
              (V{0, 10, 20, 40, 60}))
        << handler;
  }
  // two stsc runs
  EXPECT_EQ(Field(OneTrack("vide", {Stts({{6, 1}}), Stss({1}), Stsc({{1, 2, 1}, {3, 1, 1}}),
                                    Stsz(10, 6), Stco({100, 200, 300, 400})}),
                  kOffset),
            (V{100, 110, 200, 210, 300, 400}));
  // one run of three samples per chunk
  OpenedFile f = OneTrack("vide", {Stts({{5, 1}}), Stss({1, 4}), Stsc({{1, 3, 1}}),
                                   Stsz(0, 5, {10, 20, 30, 40, 50}), Stco({100, 500})});
  EXPECT_EQ(Field(f, kOffset), (V{100, 110, 130, 500, 540}));
  EXPECT_EQ(Field(f, kSize), (V{10, 20, 30, 40, 50}));
  EXPECT_EQ(Keys(f), (V{0, 3}));
  EXPECT_EQ(Keys(f, &KeyFrameEntry::time_stamp), (V{0, 3}));
}

TEST(SampleIndex, ConstantSizesAndAllIntraVideo) {
  // an all-intra track lists every sample as a sync sample: more than the
  // half-size key table first holds
  TrackPlan v = VideoPlan(1, 7, {1, 2, 3, 4, 5, 6, 7});
  v.sizes = V(7, 40), v.constant_size = true;
  std::vector<std::vector<uint32_t>> offsets;
  OpenedFile f(BuildMovie({v}, &offsets));
  EXPECT_EQ(Field(f, kSize), V(7, 40));
  EXPECT_EQ(Field(f, kOffset), offsets[0]);
  EXPECT_EQ(Keys(f), (V{0, 1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(Keys(f, &KeyFrameEntry::time_stamp), (V{0, 100, 200, 300, 400, 500, 600}));
}

TEST(SampleIndex, TablesThatDisagree) {
  // stts covers 2 of 5 samples: the rest keep the last delta
  EXPECT_EQ(
      Field(OneTrack("soun", {Stts({{2, 7}}), Stsc({{1, 5, 1}}), Stsz(4, 5), Stco({100})}), kTime),
      (V{0, 7, 14, 21, 28}));
  // chunk offsets for only 2 of 3 chunks: the samples no chunk reaches are cut
  EXPECT_EQ(
      Field(OneTrack("soun", {Stts({{6, 1}}), Stsc({{1, 2, 1}}), Stsz(4, 6), Stco({100, 200})}),
            kOffset),
      (V{100, 104, 200, 204}));
  // a run of 0 samples per chunk is stepped over, not divided by
  EXPECT_EQ(Field(OneTrack("soun", {Stts({{3, 1}}), Stsc({{1, 0, 1}, {2, 3, 1}}), Stsz(4, 3),
                                    Stco({100, 200})}),
                  kOffset),
            (V{200, 204, 208}));
  // sync samples outside 1..count or out of order are left out
  EXPECT_EQ(Keys(OneTrack("vide", {Stts({{4, 1}}), Stss({0, 2, 2, 9, 1, 4, 0xFFFFFFFF}),
                                   Stsc({{1, 4, 1}}), Stsz(4, 4), Stco({100})})),
            (V{1, 3}));
  // a sample count that the file cannot hold gets no tables at all
  OpenedFile huge =
      OneTrack("soun", {Stts({{1, 1}}), Stsc({{1, 1, 1}}), Stsz(1000, 0x7FFFFFF0), Stco({100})});
  EXPECT_EQ(huge.track(1)->sample_table, nullptr);
  EXPECT_EQ(huge.track(1)->sample_count, 0u);
  // two stsz: the first one counts, for the tables' size and the index alike
  OpenedFile twice =
      OneTrack("soun", {Stts({{9, 1}}), Stsc({{1, 9, 1}}), Stsz(4, 9), Stsz(4, 2), Stco({100})});
  EXPECT_EQ((V{twice.track(1)->sample_count, twice.track(1)->table_capacity}), (V{9, 9}));
}

TEST(SampleIndex, MissingTables) {
  const std::string refused = "Some thing wrong at BuildVideotrackIndex ... func \n";
  // a video track without stss: every sample is a sync sample
  OpenedFile f = OneTrack("vide", {Stts({{2, 1}}), Stsc({{1, 2, 1}}), Stsz(4, 2), Stco({100})});
  EXPECT_EQ(Count(f.output, "Some thing wrong"), 0u);
  EXPECT_EQ(Keys(f), (V{0, 1}));
  // co64 instead of stco: the track is refused and offers no samples
  OpenedFile g = OneTrack("soun", {Stts({{2, 1}}), Stsc({{1, 2, 1}}), Stsz(4, 2),
                                   Atom("co64", {Full(0, 0), U32(1), Be(8, {100})})});
  EXPECT_EQ(Count(g.output, refused), 1u);
  EXPECT_EQ(g.track(1)->sample_count, 0u);
  // a stts whose size does not match its count is as good as missing
  Bytes bad_stts = Stts({{2, 1}});
  bad_stts[15] = 5;  // claims 5 runs
  OpenedFile h = OneTrack("soun", {bad_stts, Stsc({{1, 2, 1}}), Stsz(4, 2), Stco({100})});
  EXPECT_EQ(Count(h.output, "error to read atom[stts] data from file\n"), 1u);
  EXPECT_EQ(Count(h.output, refused), 1u);
}
