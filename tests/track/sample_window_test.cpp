// The sample reads' read-ahead: whatever the layout of the samples in the
// file and the order of the reads, every sample handed out holds the file's
// bytes at its offset.
#include "track/sample_window.h"

#include <malloc.h>

#include "support/test_support.h"

using namespace box;

namespace {

// Reads every sample of tracks 1 and 2 with MP4GetNextSample in `order`
// (0: video first, 1: audio first, 2: by position in each track, as a
// reader going by time does); the first sample whose result or bytes are
// not the file's at its offset, or "". A sample past the end must fail.
// Every block is the sample and 10 bytes more (audio of up to 11 bytes
// keeps a fresh buffer's 11), read through the window or straight.
std::string ReadAllIn(int order, const std::string& path) {
  const Bytes file = ReadWholeFile(path);
  OpenedFile f(path);
  const uint32_t n[2] = {f.track(1)->sample_count, f.track(2)->sample_count};
  uint32_t next[2] = {0, 0};
  std::string wrong;
  CaptureStdout([&] {
    while (wrong.empty() && (next[0] < n[0] || next[1] < n[1])) {
      const int t = order < 2 ? (next[order] < n[order] ? order : 1 - order)
                    : next[1] >= n[1] || (next[0] < n[0] && next[0] * n[1] <= next[1] * n[0]) ? 0
                                                                                              : 1;
      const SampleIndexEntry& e = f.track(t + 1)->sample_table[next[t]++];
      unsigned char* data = nullptr;
      uint32_t size = 0, time = 0;
      const int32_t rc = MP4GetNextSample(f.file, t + 1, &data, &size, &time);
      const bool inside = uint64_t{e.file_offset} + e.size <= file.size();
      const size_t block = t == 1 && size <= 11 ? 11 : size + 10;
      if (rc != (inside ? 1 : -1) ||
          (inside && (malloc_usable_size(data) < block ||
                      !std::equal(data, data + size, file.begin() + e.file_offset))))
        wrong = "track " + std::to_string(t + 1) + " sample " + std::to_string(next[t] - 1);
      MP4freeData(&data);
    }
  });
  return wrong;
}

// Video 1 and audio 2 of these sample sizes, `v` and `a` samples a chunk.
Bytes Layout(const std::vector<uint32_t>& video, uint32_t v, const std::vector<uint32_t>& audio,
             uint32_t a) {
  TrackPlan p[2] = {VideoPlan(1, 0), AudioPlan(2, 0)};
  p[0].sizes = video, p[1].sizes = audio;
  for (uint32_t k : {0, 1})
    p[k].chunks.assign((p[k].sizes.size() + (k ? a : v) - 1) / (k ? a : v), k ? a : v);
  return BuildMovie({p[0], p[1]});
}
std::vector<uint32_t> Sizes(uint32_t n, uint32_t base, uint32_t spread) {
  std::vector<uint32_t> s;
  for (uint32_t i = 0; i < n; ++i) s.push_back(base + (i * 37) % spread);
  return s;
}

}  // namespace

TEST(SampleWindow, EverySampleInEveryOrder) {
  const uint32_t d = kDirectReadSize, w = kSampleWindowSize;
  // Samples that the tables place anywhere: inside the one before,
  // overlapping each other and the other track's, going backwards,
  // straddling where a window ends, the first bytes of the file, past its
  // end (in a run of readable ones).
  Bytes media(3000);
  for (size_t i = 0; i < media.size(); ++i) media[i] = uint8_t(i * 7 + i / 256);
  const uint32_t m = uint32_t(Ftyp().size() + 8);  // where the media begin
  const Bytes one_each = Stsc({{1, 1, 1}});
  const Bytes anywhere =
      Cat({Ftyp(), Atom("mdat", {media}),
           Atom("moov",
                {Mvhd(1000, 0), Iods(),
                 SimpleTrak("vide", {Stts({{10, 10}}), one_each,
                                     Stsz(0, 10, {100, 50, 30, 60, 120, 10, 900, 2500, 20000, 8}),
                                     Stco({m, m + 20, 0, m + 150, m + 50, m + 2000, m + 2010,
                                           m + 10, m + 2990, m + 2998})}),
                 SimpleTrak("soun",
                            {Stts({{6, 10}}), one_each, Stsz(0, 6, {30, 20, 40, 10, 100, 3000}),
                             Stco({m + 140, m + 205, m + 90, m + 2005, m + 2900, m})},
                            2)})});
  // several windows' worth of each layout: one sample a chunk, chunks of
  // several, large samples among small ones
  const Bytes layouts[] = {
      anywhere, Layout(Sizes(200, 1000, 8000), 1, Sizes(300, 10, 50), 1),
      Layout(Sizes(150, 2000, 9000), 7, Sizes(300, 1, 300), 11),
      Layout({d - 1, 300, d, d + 1, 5, w, 1, w - 1, w + 1, 100, d - 1, d - 1, d - 1, d - 1}, 1,
             Sizes(30, 10, 30), 2)};
  for (const Bytes& bytes : layouts) {
    const std::string path = WriteScratchFile("window.mp4", bytes);
    for (int order : {0, 1, 2}) EXPECT_EQ(ReadAllIn(order, path), "") << &bytes - layouts << order;
  }
}
