// The sample reads' read-ahead: whatever the layout of the samples in the
// file and the order of the reads, every sample handed out holds the file's
// bytes at its offset.
#include "track/sample_window.h"

#include <malloc.h>

#include "support/test_support.h"

using namespace box;

namespace {

// Where each sample of the video (1) and audio (2) track lies.
struct Layout {
  std::vector<uint32_t> offsets[2];
  std::vector<uint32_t> sizes[2];
};

enum class Order { kVideoThenAudio, kAudioThenVideo, kAlternating };

// Reads every sample of both tracks in `order` through MP4GetNextSample and
// returns the first sample whose bytes or result differ, or what the reads
// printed; "" when all is well.
std::string ReadAllIn(Order order, const std::string& path, const Layout& layout) {
  const Bytes file = ReadWholeFile(path);
  OpenedFile f(path);
  size_t next[2] = {0, 0};
  std::string wrong;
  auto read = [&](int t) {
    const size_t i = next[t]++;
    unsigned char* data = nullptr;
    uint32_t size = 0, time = 0;
    const int32_t rc = MP4GetNextSample(f.file, uint32_t(t + 1), &data, &size, &time);
    const uint32_t at = layout.offsets[t][i];
    const Bytes want(file.begin() + at, file.begin() + at + layout.sizes[t][i]);
    if (wrong.empty() && (rc != 1 || data == nullptr || Bytes(data, data + size) != want))
      wrong = "track " + std::to_string(t + 1) + " sample " + std::to_string(i);
    MP4freeData(&data);
  };
  const std::string out = CaptureStdout([&] {
    const size_t n[2] = {layout.offsets[0].size(), layout.offsets[1].size()};
    if (order == Order::kVideoThenAudio || order == Order::kAudioThenVideo) {
      const int first = order == Order::kVideoThenAudio ? 0 : 1;
      while (next[first] < n[first]) read(first);
      while (next[1 - first] < n[1 - first]) read(1 - first);
    } else {
      // by position in each track, as a reader going by time takes them
      while (next[0] < n[0] || next[1] < n[1]) {
        const bool video = next[1] >= n[1] || (next[0] < n[0] && next[0] * n[1] <= next[1] * n[0]);
        read(video ? 0 : 1);
      }
    }
  });
  return wrong.empty() ? out : wrong;
}

// A movie from two plans (each chunk list interleaved with the other's).
std::pair<std::string, Layout> Built(const char* name, TrackPlan video, TrackPlan audio) {
  std::vector<std::vector<uint32_t>> offsets;
  const std::string path = WriteScratchFile(name, BuildMovie({video, audio}, &offsets));
  Layout l;
  l.offsets[0] = offsets[0];
  l.offsets[1] = offsets[1];
  l.sizes[0] = video.sizes;
  l.sizes[1] = audio.sizes;
  return {path, l};
}

TrackPlan Plan(uint32_t id, const char* handler, std::vector<uint32_t> sizes, uint32_t per_chunk) {
  TrackPlan p = id == 1 ? VideoPlan(1, 0) : AudioPlan(2, 0);
  p.handler = handler;
  p.sizes = std::move(sizes);
  p.chunks.assign((p.sizes.size() + per_chunk - 1) / per_chunk, per_chunk);
  return p;
}

std::vector<uint32_t> Sizes(uint32_t n, uint32_t base, uint32_t spread) {
  std::vector<uint32_t> s;
  for (uint32_t i = 0; i < n; ++i) s.push_back(base + (i * 37) % spread);
  return s;
}

}  // namespace

TEST(SampleWindow, EverySampleInEveryOrder) {
  // several windows' worth of each layout
  const uint32_t direct = kDirectReadSize, window = kSampleWindowSize;
  std::vector<std::pair<std::string, std::pair<std::string, Layout>>> layouts = {
      {"one sample a chunk, small", Built("w1.mp4", Plan(1, "vide", Sizes(200, 1000, 8000), 1),
                                          Plan(2, "soun", Sizes(300, 10, 50), 1))},
      {"chunks of several", Built("w2.mp4", Plan(1, "vide", Sizes(150, 2000, 9000), 7),
                                  Plan(2, "soun", Sizes(300, 5, 300), 11))},
      {"large samples among small ones",
       Built("w3.mp4",
             Plan(1, "vide",
                  {direct - 1, 300, direct, direct + 1, 5, window, 1, 2, 3, window - 1, window + 1,
                   100, 200, 300, direct - 1, direct - 1, direct - 1, direct - 1, direct - 1},
                  1),
             Plan(2, "soun", Sizes(30, 10, 30), 2))},
      {"sparse audio between video", Built("w4.mp4", Plan(1, "vide", Sizes(100, 5000, 300), 1),
                                           Plan(2, "soun", Sizes(100, 20, 9), 1))},
      {"one track after the other", Built("w5.mp4", Plan(1, "vide", Sizes(200, 2000, 300), 200),
                                          Plan(2, "soun", Sizes(300, 100, 80), 300))},
  };
  for (const auto& [what, built] : layouts)
    for (Order order : {Order::kVideoThenAudio, Order::kAudioThenVideo, Order::kAlternating})
      EXPECT_EQ(ReadAllIn(order, built.first, built.second), "")
          << what << ", order " << static_cast<int>(order);
}

TEST(SampleWindow, OverlappingAndBackwardSamples) {
  // Samples that the tables place anywhere: overlapping each other and the
  // other track's, going backwards, straddling where a window ends, and the
  // first bytes of the file. The media bytes all differ.
  Bytes media(3000);
  for (size_t i = 0; i < media.size(); ++i) media[i] = uint8_t(i * 7 + i / 256);
  const uint32_t m = uint32_t(Ftyp().size() + 8);  // where the media begins
  const std::vector<uint32_t> video = {m, m + 100, m + 150, m + 50, m + 2000, m + 2010, 0, m + 10};
  const std::vector<uint32_t> vsize = {100, 50, 60, 120, 10, 900, 30, 2500};
  const std::vector<uint32_t> audio = {m + 140, m + 205, m + 90, m + 2005, m + 2900, m};
  const std::vector<uint32_t> asize = {30, 20, 40, 10, 100, 3000};
  const Bytes chunk_each = Stsc({{1, 1, 1}});  // a chunk per sample
  const Bytes file =
      Cat({Ftyp(), Atom("mdat", {media}),
           Atom("moov",
                {Mvhd(1000, 0), Iods(),
                 SimpleTrak("vide", {Stts({{8, 10}}), chunk_each, Stsz(0, 8, vsize), Stco(video)}),
                 SimpleTrak("soun", {Stts({{6, 10}}), chunk_each, Stsz(0, 6, asize), Stco(audio)},
                            2)})});
  Layout l;
  l.offsets[0] = video;
  l.offsets[1] = audio;
  l.sizes[0] = vsize;
  l.sizes[1] = asize;
  const std::string path = WriteScratchFile("overlap.mp4", file);
  for (Order order : {Order::kVideoThenAudio, Order::kAudioThenVideo, Order::kAlternating})
    EXPECT_EQ(ReadAllIn(order, path, l), "") << static_cast<int>(order);
}

TEST(SampleWindow, RunsStopAtTheEndOfTheFile) {
  // Three samples in one chunk, the last running past the end of the file:
  // the first two read, the third fails with its message, and a sample
  // after it (in a chunk of its own) reads again.
  const uint32_t m = uint32_t(Ftyp().size() + 8);
  Bytes media(64);
  for (size_t i = 0; i < media.size(); ++i) media[i] = uint8_t(200 - i);
  const Bytes file = Cat(
      {Ftyp(), Atom("mdat", {media}),
       Atom("moov", {Mvhd(1000, 0), Iods(),
                     SimpleTrak("vide", {Stts({{4, 10}}), Stsc({{1, 3, 1}, {2, 1, 1}}),
                                         Stsz(0, 4, {16, 16, 20000, 8}), Stco({m, m + 40})})})});
  const std::string path = WriteScratchFile("past_end.mp4", file);
  OpenedFile f(path);
  const Bytes& bytes = file;
  std::vector<std::string> said;
  for (int i = 0; i < 4; ++i) {
    unsigned char* data = nullptr;
    uint32_t size = 0, time = 0;
    int32_t rc = 0;
    const std::string out =
        CaptureStdout([&] { rc = MP4GetNextSample(f.file, 1, &data, &size, &time); });
    said.push_back(std::to_string(rc) + " " + out);
    if (rc == 1) {
      const uint32_t at = i < 2 ? m + 16 * i : m + 40;
      EXPECT_EQ(Bytes(data, data + size), Bytes(bytes.begin() + at, bytes.begin() + at + size));
    }
    MP4freeData(&data);
  }
  EXPECT_EQ(said, (std::vector<std::string>{
                      "1 ", "1 ",
                      "-1 error to read sample from file in Get Next Sample at sample - video-[2]",
                      "1 "}));
}

TEST(SampleWindow, BlocksKeepTenBytesBeyondTheSample) {
  // MP4GetNextSample's blocks are the read buffer's: the sample and 10
  // bytes more, for samples read through the window and straight alike
  // (audio of up to 11 bytes keeps the fresh buffer's 11).
  const auto built = Built("spare.mp4", Plan(1, "vide", {3, 500, kDirectReadSize + 7, 40}, 1),
                           Plan(2, "soun", {1, 11, 12, 300}, 1));
  OpenedFile f(built.first);
  for (uint32_t id : {1u, 2u})
    for (int i = 0; i < 4; ++i) {
      unsigned char* data = nullptr;
      uint32_t size = 0, time = 0;
      ASSERT_EQ(MP4GetNextSample(f.file, id, &data, &size, &time), 1);
      const size_t block = id == 2 && size <= 11 ? 11 : size + 10;
      EXPECT_GE(malloc_usable_size(data), block) << id << " " << i;
      MP4freeData(&data);
    }
}
