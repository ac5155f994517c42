// The MPEG-4 Visual header parse and GetM4vHeaderSize. (GetM4vHeaderSize on
// ffmpeg's streams: merge_test and the mux tool's tests.)
#include "serialise/m4v_header.h"

#include <atomic>
#include <thread>

#include "support/test_support.h"

using box::Bytes;

namespace {

// A video object layer header with the fields a test varies; the flags are
// 0 or 1, complexity 1 for a complexity estimation header, verid 0 for no
// is_object_layer_identifier, increment_bits 0 for no fixed_vop_rate.
struct Vol {
  uint32_t verid = 0, aspect = 2, shape = 0, resolution = 30, increment_bits = 0, width = 176,
           height = 144, sprite = 0, vbv = 0, not_8_bit = 0, quant_matrices = 0, quarter_sample = 0,
           complexity = 0, newpred = 0, reduced = 0, scalability = 0;
};

// `value` as `n` bits, most significant first; zeros above the 64th.
std::string B(uint64_t value, uint32_t n) {
  std::string s;
  for (uint32_t i = n; i-- > 0;) s += i < 64 && (value >> i & 1) ? '1' : '0';
  return s;
}

Bytes Header(const Vol& v) {
  const bool id = v.verid != 0, two = v.verid > 1;
  std::string matrix = B(0x1010101010101010, 64) + B(0x1010001010101010, 64);  // its 0 ends nothing
  while (matrix.size() < 64 * 8) matrix += B(0x1010101010101010, 64);
  // start codes, random_accessible_vol, type 3, identifier with priority 1,
  // aspect, vbv (chroma, low delay, vbv fields), shape, markers around the
  // resolution, fixed rate, width and height, interlaced, obmc_disable,
  // sprite, not_8_bit, an intra matrix and no other, quarter_sample,
  // complexity, resync_marker_disable, data_partitioned, newpred, reduced
  // resolution, scalability, then next_start_code(): a 0 and 1s
  std::string s =
      B(0x100, 32) + B(0x120, 32) + "000000011" + B(id, 1) + (id ? B(v.verid, 4) + "001" : "") +
      B(v.aspect, 4) + (v.aspect == 15 ? B(0x0101, 16) : "") + B(v.vbv, 1) +
      (v.vbv ? "0111" + B(0x1234567, 79) : "") + B(v.shape, 2) + "1" + B(v.resolution, 16) + "1" +
      B(v.increment_bits != 0, 1) + B(1, v.increment_bits) + "1" + B(v.width, 13) + "1" +
      B(v.height, 13) + "101" + B(v.sprite, two ? 2 : 1) + B(v.not_8_bit, 1) +
      B(v.quant_matrices, 1) + (v.quant_matrices ? "1" + matrix + "0" : "") +
      (two ? B(v.quarter_sample, 1) : "") + B(!v.complexity, 1) + "10" +
      (two ? B(v.newpred, 1) + B(v.reduced, 1) : "") + B(v.scalability, 1) + "0";
  s.resize((s.size() + 7) / 8 * 8, '1');
  Bytes b(s.size() / 8);
  for (size_t i = 0; i < s.size(); ++i) b[i / 8] |= uint8_t((s[i] - '0') << (7 - i % 8));
  return b;
}

using V64 = std::vector<int64_t>;

// ParseVolHeader's result (1 for kOk, 0 for kNotFound, -1 for kFailed),
// width, height, length and the feature it stops at; 7 for what it leaves.
V64 Parsed(const Bytes& b) {
  uint32_t w = 7, h = 7, length = 7;
  VolFeature f = VolFeature::kNone;
  const Status s = ParseVolHeader(b.data(), uint32_t(b.size()), &w, &h, &length, &f);
  return {s == Status::kOk ? 1 : s == Status::kNotFound ? 0 : -1, w, h, length, int64_t(f)};
}

// GetM4vHeaderSize's result, width and height on `stream`; 5 for what it leaves.
V64 Measured(const Bytes& stream) {
  uint32_t w = 5, h = 5;
  return {GetM4vHeaderSize(WriteScratchFile("stream.m4v", stream).c_str(), &w, &h), w, h};
}

TEST(M4vHeader, FieldsOfEveryWidthAndTheOptionalOnes) {
  EXPECT_EQ(Header(Vol{}), kQcifVol);  // the test's own header writer agrees with the bytes
  EXPECT_EQ(Parsed(kQcifVol), (V64{1, 176, 144, 18, 0}));
  EXPECT_EQ(Measured(kQcifVol), (V64{18, 176, 144}));
  EXPECT_EQ(
      Measured(box::Cat({box::Hex("000001B003 000001B509"), kQcifVol, box::Hex("000001B610")})),
      (V64{28, 176, 144}));
  // fixed_vop_time_increment of as many bits as the resolution needs; every
  // optional field: a wrong skip shifts every later field
  for (const auto& [resolution, bits] :
       {std::pair{30u, 5u}, {16u, 4u}, {1u, 1u}, {0u, 1u}, {25000u, 15u}, {65535u, 16u}}) {
    Vol plain, all;
    all.verid = 2, all.aspect = 15, all.vbv = 1, all.quant_matrices = 1;
    for (Vol* v : {&plain, &all}) {
      v->resolution = resolution, v->increment_bits = bits, v->width = 352, v->height = 288;
      EXPECT_EQ(Parsed(Header(*v)), (V64{1, 352, 288, int64_t(Header(*v).size()), 0}))
          << resolution;
    }
  }
}

TEST(M4vHeader, UnsupportedFeatures) {
  // each feature's field set to 1, in the order of VolFeature; the 4th, 6th
  // and 7th exist from verid 2 only. The size is stored as soon as it is
  // read, after the shape.
  const std::array fields = {&Vol::shape,      &Vol::sprite,  &Vol::not_8_bit, &Vol::quarter_sample,
                             &Vol::complexity, &Vol::newpred, &Vol::reduced,   &Vol::scalability};
  for (uint32_t verid : {0u, 2u})
    for (int64_t f = 1; f <= 8; ++f) {
      Vol vol;
      vol.*fields[f - 1] = 1, vol.verid = verid;
      if (verid == 0 && (f == 4 || f == 6 || f == 7)) continue;
      EXPECT_EQ(Parsed(Header(vol)), (V64{0, f == 1 ? 7 : 176, f == 1 ? 7 : 144, 7, f})) << verid;
      EXPECT_EQ(Measured(Header(vol))[0], -1);
    }
}

TEST(M4vHeader, StreamsThatAreNoConfiguration) {
  // Every cut of a header, on the heap at its exact size (a read past it is
  // caught); only a last byte of stuffing may go. (Inputs of every other
  // kind: the fuzz replays.)
  Vol matrices;
  matrices.quant_matrices = 1;
  for (const Bytes& full : {kQcifVol, Header(matrices)})
    for (size_t n = 0; n + 1 < full.size(); ++n)
      EXPECT_EQ(Parsed(Bytes(full.begin(), full.begin() + long(n)))[0], -1) << n;
  // a sequence header without a video object in the first 500 bytes is
  // parsed from its start: its bytes make no rectangular header here
  Bytes vos = {0, 0, 1, 0xB0, 0x03};
  vos.resize(600, 0xFF);
  for (const Bytes& b : {box::Hex("000001B61020"), Bytes{}, vos})
    EXPECT_EQ(Measured(b), (V64{-1, 5, 5}));
}

// Every header parse has its own bit reader: GetM4vHeaderSize, GetM4vEsdsData
// and GetFileInfo run on several threads at once, each on files of its own
// whose headers differ, and each gets its own picture size. (CI runs this
// under ThreadSanitizer.)
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

}  // namespace
