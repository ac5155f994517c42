// The per-sample index: worked examples and tables that disagree.
#include <gtest/gtest.h>

#include "support/movie_builder.h"
#include "support/reader_support.h"
#include "support/test_support.h"

using namespace box;

namespace {

using Runs = std::vector<std::pair<uint32_t, uint32_t>>;

// A file with one track of the given tables; `padding` bytes of mdat make
// room for the offsets the tables name.
Bytes OneTrack(const char* handler, const std::vector<Bytes>& tables, uint32_t padding = 2000) {
  const Bytes entry = std::string(handler) == "vide"
                          ? Mp4v(176, 144, Esds(0x20, 0x11, {}))
                          : Mp4a(2, 44100, Esds(0x40, 0x15, Str("\x12\x10")));
  return Cat(
      {Ftyp(), Atom("mdat", {Zeros(padding)}),
       Atom("moov", {Mvhd(1000, 0), Iods(),
                     Trak(Tkhd(1, 176, 144), Mdhd(1000, 0), handler, Stsd(entry), tables)})});
}

std::vector<uint32_t> Field(const ReadTrackNode* t, uint32_t SampleIndexEntry::*field) {
  std::vector<uint32_t> v;
  for (uint32_t i = 0; i < t->sample_count; ++i) v.push_back(t->sample_table[i].*field);
  return v;
}

using V = std::vector<uint32_t>;

}  // namespace

TEST(SampleIndex, WorkedExamples) {
  // time stamps over two runs, in both builders
  for (const char* handler : {"vide", "soun"}) {
    SCOPED_TRACE(handler);
    OpenedFile f(WriteScratchFile(
        "ts.mp4", OneTrack(handler, {Stts({{2, 10}, {3, 20}}), Stss({1}), Stsc({{1, 5, 1}}),
                                     Stsz(0, 5, {1, 1, 1, 1, 1}), Stco({100})})));
    ASSERT_EQ(f.result, 1);
    EXPECT_EQ(Field(f.track(1), &SampleIndexEntry::time_stamp), (V{0, 10, 20, 40, 60}));
  }
  // two stsc runs
  OpenedFile runs(WriteScratchFile(
      "runs.mp4", OneTrack("vide", {Stts({{6, 1}}), Stss({1}), Stsc({{1, 2, 1}, {3, 1, 1}}),
                                    Stsz(10, 6), Stco({100, 200, 300, 400})})));
  ASSERT_EQ(runs.result, 1);
  EXPECT_EQ(Field(runs.track(1), &SampleIndexEntry::file_offset),
            (V{100, 110, 200, 210, 300, 400}));
  // one run of three samples per chunk
  OpenedFile single(WriteScratchFile(
      "single.mp4", OneTrack("vide", {Stts({{5, 1}}), Stss({1, 4}), Stsc({{1, 3, 1}}),
                                      Stsz(0, 5, {10, 20, 30, 40, 50}), Stco({100, 500})})));
  ASSERT_EQ(single.result, 1);
  const ReadTrackNode* t = single.track(1);
  EXPECT_EQ(Field(t, &SampleIndexEntry::file_offset), (V{100, 110, 130, 500, 540}));
  EXPECT_EQ(Field(t, &SampleIndexEntry::size), (V{10, 20, 30, 40, 50}));
  ASSERT_EQ(t->key_count, 2u);
  EXPECT_EQ(t->key_table[0].sample_index, 0u);
  EXPECT_EQ(t->key_table[1].sample_index, 3u);
  EXPECT_EQ(t->key_table[1].time_stamp, 3u);
}

TEST(SampleIndex, ConstantSizesAndAllIntraVideo) {
  // an all-intra track lists every sample as a sync sample: more than the
  // half-size key table first holds
  TrackSpec v = VideoSpec(1, 7);
  v.sizes = V(7, 40);
  v.constant_size = true;
  v.stss = {1, 2, 3, 4, 5, 6, 7};
  std::vector<std::vector<uint32_t>> offsets;
  OpenedFile f(WriteScratchFile("intra.mp4", BuildMovie({v}, &offsets)));
  ASSERT_EQ(f.result, 1);
  const ReadTrackNode* t = f.track(1);
  ASSERT_EQ(t->sample_count, 7u);
  EXPECT_EQ(Field(t, &SampleIndexEntry::size), V(7, v.sizes[0]));
  EXPECT_EQ(Field(t, &SampleIndexEntry::file_offset), offsets[0]);
  ASSERT_EQ(t->key_count, 7u);
  for (uint32_t k = 0; k < 7; ++k) {
    EXPECT_EQ(t->key_table[k].sample_index, k);
    EXPECT_EQ(t->key_table[k].time_stamp, k * 100);
  }
}

TEST(SampleIndex, TablesThatDisagree) {
  // stts covers 2 of 5 samples: the rest keep the last delta
  OpenedFile short_stts(WriteScratchFile(
      "stts.mp4", OneTrack("soun", {Stts({{2, 7}}), Stsc({{1, 5, 1}}), Stsz(4, 5), Stco({100})})));
  EXPECT_EQ(Field(short_stts.track(1), &SampleIndexEntry::time_stamp), (V{0, 7, 14, 21, 28}));

  // chunk offsets for only 2 of 3 chunks: the samples no chunk reaches are cut
  OpenedFile few_chunks(WriteScratchFile(
      "stco.mp4",
      OneTrack("soun", {Stts({{6, 1}}), Stsc({{1, 2, 1}}), Stsz(4, 6), Stco({100, 200})})));
  EXPECT_EQ(Field(few_chunks.track(1), &SampleIndexEntry::file_offset), (V{100, 104, 200, 204}));

  // a run of 0 samples per chunk is stepped over, not divided by
  OpenedFile zero(
      WriteScratchFile("zero.mp4", OneTrack("soun", {Stts({{3, 1}}), Stsc({{1, 0, 1}, {2, 3, 1}}),
                                                     Stsz(4, 3), Stco({100, 200})})));
  EXPECT_EQ(Field(zero.track(1), &SampleIndexEntry::file_offset), (V{200, 204, 208}));

  // sync samples outside 1..count or out of order are left out
  OpenedFile keys(WriteScratchFile(
      "stss.mp4", OneTrack("vide", {Stts({{4, 1}}), Stss({0, 2, 2, 9, 1, 4, 0xFFFFFFFF}),
                                    Stsc({{1, 4, 1}}), Stsz(4, 4), Stco({100})})));
  const ReadTrackNode* k = keys.track(1);
  ASSERT_EQ(k->key_count, 2u);
  EXPECT_EQ(k->key_table[0].sample_index, 1u);
  EXPECT_EQ(k->key_table[1].sample_index, 3u);

  // a sample count that the file cannot hold gets no tables at all
  OpenedFile huge(WriteScratchFile(
      "huge.mp4",
      OneTrack("soun", {Stts({{1, 1}}), Stsc({{1, 1, 1}}), Stsz(1000, 0x7FFFFFF0), Stco({100})})));
  ASSERT_EQ(huge.result, 1);
  EXPECT_EQ(huge.track(1)->sample_table, nullptr);
  EXPECT_EQ(huge.track(1)->sample_count, 0u);

  // two stsz: the index takes the later one but never more than the table holds
  OpenedFile twice(WriteScratchFile(
      "twice.mp4",
      OneTrack("soun", {Stts({{9, 1}}), Stsc({{1, 9, 1}}), Stsz(4, 2), Stsz(4, 9), Stco({100})})));
  EXPECT_EQ(twice.track(1)->sample_count, 2u);
  EXPECT_EQ(twice.track(1)->table_capacity, 2u);
}

TEST(SampleIndex, MissingTables) {
  // a video track without stss: every sample is a sync sample
  const Bytes no_stss =
      OneTrack("vide", {Stts({{2, 1}}), Stsc({{1, 2, 1}}), Stsz(4, 2), Stco({100})});
  OpenedFile f(WriteScratchFile("nostss.mp4", no_stss));
  ASSERT_EQ(f.result, 1);
  EXPECT_EQ(f.output.find("Some thing wrong"), std::string::npos);
  ASSERT_EQ(f.track(1)->key_count, 2u);
  EXPECT_EQ(f.track(1)->key_table[1].sample_index, 1u);

  // co64 instead of stco: the track is refused and offers no samples

  const Bytes co64 = OneTrack("soun", {Stts({{2, 1}}), Stsc({{1, 2, 1}}), Stsz(4, 2),
                                       Atom("co64", {Full(0, 0), U32(1), U64(100)})});
  OpenedFile g(WriteScratchFile("co64.mp4", co64));
  EXPECT_NE(g.output.find("Some thing wrong at BuildVideotrackIndex ... func \n"),
            std::string::npos);
  EXPECT_EQ(g.track(1)->sample_count, 0u);

  // a stts whose size does not match its count is as good as missing
  Bytes bad_stts = Stts({{2, 1}});
  bad_stts[15] = 5;  // claims 5 runs
  OpenedFile h(WriteScratchFile(
      "badstts.mp4", OneTrack("soun", {bad_stts, Stsc({{1, 2, 1}}), Stsz(4, 2), Stco({100})})));
  EXPECT_NE(h.output.find("error to read atom[stts] data from file\n"), std::string::npos);
  EXPECT_NE(h.output.find("Some thing wrong at BuildVideotrackIndex ... func \n"),
            std::string::npos);
}
