// The per-sample index: worked examples and tables that disagree.
#include "support/test_support.h"

using namespace box;

TEST(SampleIndex, TablesToIndex) {
  Bytes bad_stts = Stts({{2, 1}});
  bad_stts[15] = 5;  // claims 5 runs: as good as missing
  const Bytes co64 = Atom("co64", {Full(0, 0), U32(1), Be(8, {100})});
  // the tables and the index: time stamps|offsets|sizes|key frames
  // (sample@time), and whether the track is refused; a track with key
  // frames is video, one without audio
  const std::pair<std::vector<Bytes>, std::string> cases[] = {
      {{Stts({{2, 10}, {3, 20}}), Stss({1, 4}), Stsc({{1, 3, 1}}), Stsz(0, 5, {10, 20, 30, 40, 50}),
        Stco({100, 500})},
       "0 10 20 40 60|100 110 130 500 540|10 20 30 40 50|0@0 3@40"},
      {{Stts({{6, 1}}), Stsc({{1, 2, 1}, {3, 1, 1}}), Stsz(10, 6), Stco({1, 2, 3, 4})},
       "0 1 2 3 4 5|1 11 2 12 3 4|10 10 10 10 10 10|0@0 1@1 2@2 3@3 4@4 5@5"},  // no stss: all sync
      // an all-intra track: more sync samples than the half-size key table first holds
      {{Stts({{5, 100}}), Stss({1, 2, 3, 4, 5}), Stsc({{1, 5, 1}}), Stsz(40, 5), Stco({100})},
       "0 100 200 300 400|100 140 180 220 260|40 40 40 40 40|0@0 1@100 2@200 3@300 4@400"},
      // stts covers 2 of 5 samples: the rest keep the last delta
      {{Stts({{2, 7}}), Stsc({{1, 5, 1}}), Stsz(4, 5), Stco({100})},
       "0 7 14 21 28|100 104 108 112 116|4 4 4 4 4|"},
      // offsets for 2 of 3 chunks: the samples no chunk reaches are cut
      {{Stts({{6, 1}}), Stsc({{1, 2, 1}}), Stsz(4, 6), Stco({100, 200})},
       "0 1 2 3|100 104 200 204|4 4 4 4|"},
      // a run of 0 samples per chunk is stepped over, not divided by
      {{Stts({{3, 1}}), Stsc({{1, 0, 1}, {2, 3, 1}}), Stsz(4, 3), Stco({100, 200})},
       "0 1 2|200 204 208|4 4 4|"},
      // sync samples outside 1..count or out of order are left out
      {{Stts({{4, 1}}), Stss({0, 2, 2, 9, 1, 4, 0xFFFFFFFF}), Stsc({{1, 4, 1}}), Stsz(4, 4),
        Stco({100})},
       "0 1 2 3|100 104 108 112|4 4 4 4|1@1 3@3"},
      {{Stts({{2, 1}}), Stsc({{1, 2, 1}}), Stsz(4, 2), co64}, "||| refused"},
      {{bad_stts, Stsc({{1, 2, 1}}), Stsz(4, 2), Stco({100})}, "||| refused"},
      // a sample count that the file cannot hold gets no tables at all
      {{Stts({{1, 1}}), Stsc({{1, 1, 1}}), Stsz(1000, 0x7FFFFFF0), Stco({100})}, "|||"}};
  for (const auto& [tables, index] : cases) {
    OpenedFile f(Movie(
        {SimpleTrak(index.back() == '|' || index[0] == '|' ? "soun" : "vide", tables)}, 2000));
    const ReadTrackNode* t = f.track(1);
    std::string s[4];
    for (uint32_t i = 0; i < t->sample_count; ++i) {
      const SampleIndexEntry& e = t->sample_table[i];
      for (auto [k, v] : {std::pair{0, e.time_stamp}, {1, e.file_offset}, {2, e.size}})
        s[k] += (i ? " " : "") + std::to_string(v);
    }
    for (uint32_t k = 0; k < t->key_count; ++k)
      s[3] += (k ? " " : "") + std::to_string(t->key_table[k].sample_index) + "@" +
              std::to_string(t->key_table[k].time_stamp);
    const bool refused =
        Count(f.output, "Some thing wrong at BuildVideotrackIndex ... func \n") == 1;
    EXPECT_EQ(s[0] + "|" + s[1] + "|" + s[2] + "|" + s[3] + (refused ? " refused" : ""), index);
  }
}
