// The MPEG-4 Visual header parse and GetM4vHeaderSize.
#include "serialise/m4v_header.h"

#include <atomic>
#include <memory>
#include <thread>

#include "support/test_support.h"

using box::Bytes;

namespace {

// Fields written most significant bit first, as (value, bits) in order.
struct BitWriter {
  Bytes bytes;
  size_t bits = 0;  // written so far
  void Put(std::initializer_list<std::pair<uint64_t, int>> fields) {
    for (const auto& [value, n] : fields)
      for (int i = n - 1; i >= 0; --i, ++bits) {
        if (bits % 8 == 0) bytes.push_back(0);
        const uint64_t bit = i < 64 ? (value >> i) & 1 : 0;  // wide fields: zeros on top
        bytes.back() |= uint8_t(bit << (7 - bits % 8));
      }
  }
};

// A video object layer header with the fields a test varies; the flags
// are 0 or 1, complexity 1 for a complexity estimation header.
struct Vol {
  uint32_t object_type = 3, verid = 0;  // verid 0: no is_object_layer_identifier
  uint32_t aspect = 2, shape = 0, resolution = 30, width = 176, height = 144, sprite = 0;
  uint32_t vbv = 0, fixed_rate = 0, not_8_bit = 0, quant_matrices = 0, quarter_sample = 0;
  uint32_t complexity = 0, newpred = 0, reduced = 0, scalability = 0;
};

Bytes Header(const Vol& v) {
  BitWriter w;
  // start codes, random_accessible_vol, type, is_object_layer_identifier
  w.Put({{0x100, 32}, {0x120, 32}, {0, 1}, {v.object_type, 8}, {v.verid != 0, 1}});
  if (v.verid != 0) w.Put({{(uint64_t(v.verid) << 3) | 1, 7}});  // and priority 1
  w.Put({{v.aspect, 4}});
  if (v.aspect == 15) w.Put({{0x0101, 16}});
  w.Put({{v.vbv, 1}});
  if (v.vbv) w.Put({{0b011, 3}, {1, 1}, {0x1234567, 79}});  // chroma, low delay, vbv fields
  // shape, marker, resolution, marker, fixed_vop_rate and its increment
  w.Put({{v.shape, 2}, {1, 1}, {v.resolution, 16}, {1, 1}, {v.fixed_rate, 1}});
  if (v.fixed_rate) w.Put({{1, TimeIncrementBits(v.resolution)}});
  // width and height between markers; marker, interlaced, obmc_disable
  w.Put({{1, 1}, {v.width, 13}, {1, 1}, {v.height, 13}, {0b101, 3}});
  w.Put({{v.sprite, v.verid > 1 ? 2 : 1}});
  w.Put({{v.not_8_bit, 1}, {v.quant_matrices, 1}});
  if (v.quant_matrices) {
    w.Put({{1, 1}});
    for (int i = 0; i < 64; ++i) w.Put({{i == 10 ? 0 : 16, 8}});  // a zero does not end the matrix
    w.Put({{0, 1}});
  }
  if (v.verid > 1) w.Put({{v.quarter_sample, 1}});
  w.Put({{!v.complexity, 1}, {1, 1}, {0, 1}});  // resync_marker_disable, data_partitioned
  if (v.verid > 1) w.Put({{v.newpred, 1}, {v.reduced, 1}});
  w.Put({{v.scalability, 1}, {0, 1}});  // next_start_code(): a 0, then 1s to the byte boundary
  while (w.bits % 8 != 0) w.Put({{1, 1}});
  return w.bytes;
}

using V64 = std::vector<int64_t>;

// ParseVolHeader's result (1 for kOk, 0 for kNotFound, -1 for kFailed),
// width, height and length; 7 for what it leaves.
V64 Parsed(const Bytes& b, VolFeature* unsupported = nullptr) {
  uint32_t w = 7, h = 7, length = 7;
  const Status s = ParseVolHeader(b.data(), uint32_t(b.size()), &w, &h, &length, unsupported);
  return {s == Status::kOk ? 1 : s == Status::kNotFound ? 0 : -1, w, h, length};
}

// GetM4vHeaderSize's result, width and height on `stream`; 5 for what it leaves.
V64 Measured(const Bytes& stream) {
  uint32_t w = 5, h = 5;
  return {GetM4vHeaderSize(WriteScratchFile("stream.m4v", stream).c_str(), &w, &h), w, h};
}

}  // namespace

TEST(M4vHeader, WorkedBytes) {
  EXPECT_EQ(Parsed(kQcifVol), (V64{1, 176, 144, 18}));
  EXPECT_EQ(Header(Vol{}), kQcifVol);  // the test's own header writer agrees with them
  EXPECT_EQ(Measured(kQcifVol), (V64{18, 176, 144}));
  EXPECT_EQ(Measured(box::Cat({Bytes{0, 0, 1, 0xB0, 0x03, 0, 0, 1, 0xB5, 0x09}, kQcifVol,
                               Bytes{0, 0, 1, 0xB6, 0x10}})),
            (V64{28, 176, 144}));
}

TEST(M4vHeader, FixedVopRateWidthsAndOptionalFields) {
  for (const auto& [resolution, bits] :
       {std::pair<uint32_t, int>{30, 5}, {16, 4}, {1, 1}, {0, 1}, {65535, 16}})
    EXPECT_EQ(TimeIncrementBits(resolution), bits) << resolution;
  for (uint32_t resolution : {30u, 16u, 1u, 25000u}) {  // a wrong skip shifts every later field
    Vol v;
    v.resolution = resolution, v.fixed_rate = 1, v.width = 352, v.height = 288;
    EXPECT_EQ(Parsed(Header(v)), (V64{1, 352, 288, int64_t(Header(v).size())})) << resolution;
  }
  Vol v;  // and every optional field
  v.verid = 2, v.aspect = 15, v.vbv = 1, v.quant_matrices = 1, v.width = 640, v.height = 480;
  EXPECT_EQ(Parsed(Header(v)), (V64{1, 640, 480, int64_t(Header(v).size())}));
}

TEST(M4vHeader, UnsupportedFeatures) {
  // each feature, its field set to 1, and the verid that has its field
  using F = VolFeature;
  const std::tuple<F, uint32_t Vol::*, uint32_t> cases[] = {
      {F::kShape, &Vol::shape, 0},
      {F::kSprite, &Vol::sprite, 0},
      {F::kNot8Bit, &Vol::not_8_bit, 0},
      {F::kQuarterSample, &Vol::quarter_sample, 2},
      {F::kComplexity, &Vol::complexity, 0},
      {F::kNewpred, &Vol::newpred, 2},
      {F::kReducedResolution, &Vol::reduced, 2},
      {F::kScalability, &Vol::scalability, 0}};
  for (const auto& [expected, feature, verid] : cases) {
    Vol vol;
    vol.*feature = 1, vol.verid = verid;
    VolFeature found = VolFeature::kNone;
    const V64 parsed = Parsed(Header(vol), &found);
    // the size is stored as soon as it is read: after the shape
    EXPECT_EQ((V64{parsed[0], parsed[1]}), (V64{0, expected == F::kShape ? 7 : 176}));
    EXPECT_EQ(found, expected);
    EXPECT_EQ(Measured(Header(vol))[0], -1);
  }
}

TEST(M4vHeader, NeverReadsPastItsInput) {
  // every cut of a header that needs all of its bytes
  Vol vol;
  vol.quant_matrices = 1;
  const Bytes full = Header(vol);
  for (size_t n = 0; n < full.size(); ++n) {
    uint32_t w = 0, h = 0, length = 0;
    // on the heap at its exact size, so a read past it would be caught
    std::unique_ptr<unsigned char[]> exact(new unsigned char[n + 1]);
    std::copy(full.begin(), full.begin() + long(n), exact.get());
    const Status s = ParseVolHeader(exact.get(), uint32_t(n), &w, &h, &length);
    EXPECT_TRUE(s == Status::kFailed || n + 1 == full.size()) << n;  // only the stuffing may go
  }
  EXPECT_EQ(Measured(Bytes(full.begin(), full.begin() + 20))[0], -1);
}

TEST(M4vHeader, StreamsThatAreNotConfigurations) {
  // a sequence header without a video object in the first 500 bytes is
  // parsed from its start: its bytes make no rectangular header here
  Bytes vos = {0, 0, 1, 0xB0, 0x03};
  vos.resize(600, 0xFF);
  for (const Bytes& b : {Bytes{0, 0, 1, 0xB6, 0x10, 0x20}, Bytes{}, Bytes{0, 0}, vos})
    EXPECT_EQ(Measured(b), (V64{-1, 5, 5}));
  uint32_t w = 5, h = 5;
  EXPECT_EQ(GetM4vHeaderSize(ScratchPath("missing.m4v").c_str(), &w, &h), -1);
  EXPECT_EQ((Values{w, h}), (Values{5, 5}));
}

TEST(M4vHeader, RawStreamsWrittenByFfmpeg) {
  if (!HaveFfmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
  // width, height and the rest of ffmpeg's arguments
  const std::tuple<uint32_t, uint32_t, const char*> cases[] = {
      {176, 144, "rate=25 -t 0.2 -c:v mpeg4"},
      {352, 288, "rate=30 -t 0.3 -c:v mpeg4 -bf 2"},
      {640, 480, "rate=24 -t 0.2 -c:v mpeg4 -mpeg_quant 1"},
      {202, 98, "rate=1000 -t 0.01 -c:v mpeg4"},
  };
  for (const auto& [width, height, args] : cases) {
    const std::string size = std::to_string(width) + "x" + std::to_string(height);
    const std::string path =
        FfmpegMedia(size + ".m4v", "-f lavfi -i testsrc=size=" + size + ":" + args + " -f m4v");
    ASSERT_FALSE(path.empty());
    uint32_t w = 0, h = 0;
    const int32_t length = GetM4vHeaderSize(path.c_str(), &w, &h);
    EXPECT_EQ((Values{w, h}), (Values{width, height}));
    // the headers end exactly where the stream's next start code begins
    const Bytes b = ReadWholeFile(path);
    ASSERT_GT(length, 0);
    ASSERT_LT(size_t(length) + 3, b.size());
    EXPECT_EQ(Bytes(b.begin() + length, b.begin() + length + 3), (Bytes{0, 0, 1})) << path;
  }
}

// Every header parse has its own bit reader: GetM4vHeaderSize, GetM4vEsdsData
// and GetFileInfo run on several threads at once, each on files of its own
// whose headers differ, and each gets its own picture size.
TEST(Concurrency, HeaderParsesOnSeveralThreads) {
  constexpr uint32_t kThreads = 4, kRounds = 40;
  std::vector<std::string> raw, mp4;
  for (uint32_t t = 0; t < kThreads; ++t) {
    Vol v;
    v.width = 176 + 16 * t, v.height = 144 + 16 * t, v.quant_matrices = t % 2;
    raw.push_back(WriteScratchFile("raw.m4v", Header(v)));
    TrackPlan video = VideoPlan(1, 3);
    video.esds = box::Esds(0x20, 0x11, Header(v));
    mp4.push_back(WriteScratchFile("av.mp4", BuildMovie({video, AudioPlan(2, 3)})));
  }
  std::atomic<int> wrong{0};
  CaptureStdout([&] {
    std::vector<std::thread> threads;
    for (uint32_t t = 0; t < kThreads; ++t)
      threads.emplace_back([&, t] {
        const Values size = {176 + 16 * t, 144 + 16 * t};
        for (uint32_t round = 0; round < kRounds; ++round) {
          uint32_t w = 0, h = 0, length = 0;
          if (GetM4vHeaderSize(raw[t].c_str(), &w, &h) <= 0 || Values{w, h} != size) ++wrong;
          MP4_input_file* file = nullptr;
          unsigned char out[ORNIVEX_ESDS_DATA_MAX];
          if (MP4FileOpen(&file, mp4[t].c_str()) != 1 ||
              GetM4vEsdsData(file, out, &w, &h, &length) != 1 || Values{w, h} != size)
            ++wrong;
          MP4FileClose(&file);
          FileInfo info;
          if (GetFileInfo(mp4[t].c_str(), &info) != 1 ||
              Values{info.video_width, info.video_height} != size)
            ++wrong;
        }
      });
    for (std::thread& thread : threads) thread.join();
  });
  EXPECT_EQ(wrong, 0);
}
