// The MPEG-4 Visual header parse and GetM4vHeaderSize.
#include "serialise/m4v_header.h"

#include <memory>
#include <tuple>

#include "support/test_support.h"

using box::Bytes;

namespace {

struct BitWriter {
  Bytes bytes;
  size_t bits = 0;  // written so far
  void Put(uint64_t value, int n) {
    for (int i = n - 1; i >= 0; --i, ++bits) {
      if (bits % 8 == 0) bytes.push_back(0);
      const uint64_t bit = i < 64 ? (value >> i) & 1 : 0;  // wide fields: zeros on top
      bytes.back() |= uint8_t(bit << (7 - bits % 8));
    }
  }
  void Put(std::initializer_list<std::pair<uint64_t, int>> fields) {  // (value, bits) in order
    for (const auto& [value, n] : fields) Put(value, n);
  }
};

// A video object layer header with the fields a test varies.
struct Vol {
  uint32_t object_type = 3, verid = 0;  // verid 0: no is_object_layer_identifier
  uint32_t aspect = 2, shape = 0, resolution = 30, width = 176, height = 144, sprite = 0;
  bool vbv = false, fixed_rate = false, not_8_bit = false, quant_matrices = false;
  bool quarter_sample = false, complexity_disable = true;
  bool newpred = false, reduced = false, scalability = false;
};

template <typename F>
Vol With(F set) {
  Vol v;
  set(v);
  return v;
}

Bytes Header(const Vol& v) {
  BitWriter w;
  // start codes, random_accessible_vol, type, is_object_layer_identifier
  w.Put({{0x100, 32}, {0x120, 32}, {0, 1}, {v.object_type, 8}, {v.verid != 0, 1}});
  if (v.verid != 0) w.Put((uint64_t(v.verid) << 3) | 1, 7);  // and priority 1
  w.Put(v.aspect, 4);
  if (v.aspect == 15) w.Put(0x0101, 16);
  w.Put(v.vbv, 1);
  if (v.vbv) w.Put({{0b011, 3}, {1, 1}, {0x1234567, 79}});  // chroma, low delay, vbv fields
  // shape, marker, resolution, marker, fixed_vop_rate and its increment
  w.Put({{v.shape, 2}, {1, 1}, {v.resolution, 16}, {1, 1}, {v.fixed_rate, 1}});
  if (v.fixed_rate) w.Put(1, TimeIncrementBits(v.resolution));
  // width and height between markers; marker, interlaced, obmc_disable
  w.Put({{1, 1}, {v.width, 13}, {1, 1}, {v.height, 13}, {0b101, 3}});
  w.Put(v.sprite, v.verid > 1 ? 2 : 1);
  w.Put({{v.not_8_bit, 1}, {v.quant_matrices, 1}});
  if (v.quant_matrices) {
    w.Put(1, 1);
    for (int i = 0; i < 64; ++i) w.Put(i == 10 ? 0 : 16, 8);  // a zero does not end the matrix
    w.Put(0, 1);
  }
  if (v.verid > 1) w.Put(v.quarter_sample, 1);
  w.Put({{v.complexity_disable, 1}, {1, 1}, {0, 1}});  // resync_marker_disable, data_partitioned
  if (v.verid > 1) w.Put({{v.newpred, 1}, {v.reduced, 1}});
  w.Put(v.scalability, 1);
  w.Put(0, 1);  // next_start_code(): a 0, then 1s to the byte boundary
  while (w.bits % 8 != 0) w.Put(1, 1);
  return w.bytes;
}

// ParseVolHeader's result, width, height and length; 7 for what it leaves.
std::vector<int64_t> Parsed(const Bytes& b) {
  uint32_t w = 7, h = 7, length = 7;
  const int r = ParseVolHeader(b.data(), uint32_t(b.size()), &w, &h, &length);
  return {r, w, h, length};
}

int32_t HeaderSize(const Bytes& stream, uint32_t* width, uint32_t* height) {
  return GetM4vHeaderSize(WriteScratchFile("stream.m4v", stream).c_str(), width, height);
}

}  // namespace

TEST(M4vHeader, WorkedBytes) {
  EXPECT_EQ(Parsed(kQcifVol), (std::vector<int64_t>{1, 176, 144, 18}));

  const Bytes stream = box::Cat(
      {Bytes{0, 0, 1, 0xB0, 0x03, 0, 0, 1, 0xB5, 0x09}, kQcifVol, Bytes{0, 0, 1, 0xB6, 0x10}});
  uint32_t w = 0, h = 0;
  EXPECT_EQ(HeaderSize(stream, &w, &h), 28);
  EXPECT_EQ(w, 176u);
  EXPECT_EQ(HeaderSize(kQcifVol, &w, &h), 18);
  // the test's own header writer agrees with the worked bytes
  EXPECT_EQ(Header(Vol{}), kQcifVol);
}

TEST(M4vHeader, FixedVopRateWidthsAndOptionalFields) {
  for (const auto& [resolution, bits] :
       {std::pair<uint32_t, int>{30, 5}, {16, 4}, {1, 1}, {0, 1}, {65535, 16}})
    EXPECT_EQ(TimeIncrementBits(resolution), bits) << resolution;
  // a wrong skip shifts every later field
  std::vector<Vol> vols;
  for (uint32_t resolution : {30u, 16u, 1u, 25000u}) {
    vols.push_back(With([&](Vol& v) {
      v.resolution = resolution, v.fixed_rate = true, v.width = 352, v.height = 288;
    }));
  }
  // and every optional field
  vols.push_back(With([](Vol& v) {
    v.verid = 2, v.aspect = 15, v.vbv = true, v.quant_matrices = true, v.width = 640,
    v.height = 480;
  }));
  for (const Vol& v : vols) {
    EXPECT_EQ(Parsed(Header(v)),
              (std::vector<int64_t>{1, v.width, v.height, int64_t(Header(v).size())}))
        << v.resolution;
  }
}

TEST(M4vHeader, UnsupportedFeatures) {
  const std::pair<int, Vol> cases[] = {
      {-1, With([](Vol& v) { v.shape = 1; })},
      {-2, With([](Vol& v) { v.sprite = 1; })},
      {-3, With([](Vol& v) { v.not_8_bit = true; })},
      {-4, With([](Vol& v) { v.verid = 2, v.quarter_sample = true; })},
      {-5, With([](Vol& v) { v.complexity_disable = false; })},
      {-6, With([](Vol& v) { v.verid = 2, v.newpred = true; })},
      {-7, With([](Vol& v) { v.verid = 2, v.reduced = true; })},
      {-8, With([](Vol& v) { v.scalability = true; })},
  };
  for (const auto& [code, vol] : cases) {
    SCOPED_TRACE(code);
    const std::vector<int64_t> parsed = Parsed(Header(vol));
    EXPECT_EQ(parsed[0], code);
    // the size is stored as soon as it is read: after the shape
    EXPECT_EQ(parsed[1], code == -1 ? 7 : 176);
    uint32_t w = 7, h = 7;
    EXPECT_EQ(HeaderSize(Header(vol), &w, &h), -1);
  }
}

TEST(M4vHeader, NeverReadsPastItsInput) {
  // every cut of a header that needs all of its bytes
  const Bytes full = Header(With([](Vol& v) { v.quant_matrices = true; }));
  for (size_t n = 0; n < full.size(); ++n) {
    uint32_t w = 0, h = 0, length = 0;
    // on the heap at its exact size, so a read past it would be caught
    std::unique_ptr<unsigned char[]> exact(new unsigned char[n + 1]);
    std::copy(full.begin(), full.begin() + long(n), exact.get());
    const int r = ParseVolHeader(exact.get(), uint32_t(n), &w, &h, &length);
    if (n + 1 < full.size()) {
      EXPECT_EQ(r, kVolCutShort) << n;  // only the stuffing byte may go
    }
  }
  uint32_t w = 0, h = 0;
  EXPECT_EQ(HeaderSize(Bytes(full.begin(), full.begin() + 20), &w, &h), -1);
}

TEST(M4vHeader, StreamsThatAreNotConfigurations) {
  uint32_t w = 5, h = 5;
  for (const Bytes& b : {Bytes{0, 0, 1, 0xB6, 0x10, 0x20}, Bytes{}, Bytes{0, 0}})
    EXPECT_EQ(HeaderSize(b, &w, &h), -1);
  EXPECT_EQ(GetM4vHeaderSize(ScratchPath("missing.m4v").c_str(), &w, &h), -1);
  EXPECT_EQ(w, 5u);
  // a sequence header without a video object in the first 500 bytes is
  // parsed from its start: its bytes make no rectangular header here
  Bytes vos = {0, 0, 1, 0xB0, 0x03};
  vos.resize(600, 0xFF);
  EXPECT_EQ(HeaderSize(vos, &w, &h), -1);
}

TEST(M4vHeader, RawStreamsWrittenByFfmpeg) {
  if (!HaveFfmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
  const std::tuple<const char*, const char*, uint32_t, uint32_t> cases[] = {
      {"qcif.m4v", "-f lavfi -i testsrc=size=176x144:rate=25 -t 0.2 -c:v mpeg4 -f m4v", 176, 144},
      {"cif-bf.m4v", "-f lavfi -i testsrc=size=352x288:rate=30 -t 0.3 -c:v mpeg4 -bf 2 -f m4v", 352,
       288},
      {"vga-mpegquant.m4v",
       "-f lavfi -i testsrc=size=640x480:rate=24 -t 0.2 -c:v mpeg4 -mpeg_quant 1 -f m4v", 640, 480},
      {"odd.m4v", "-f lavfi -i testsrc=size=202x98:rate=1000 -t 0.01 -c:v mpeg4 -f m4v", 202, 98},
  };
  for (const auto& [name, args, width, height] : cases) {
    SCOPED_TRACE(name);
    const std::string path = FfmpegMedia(name, args);
    ASSERT_FALSE(path.empty());
    uint32_t w = 0, h = 0;
    const int32_t length = GetM4vHeaderSize(path.c_str(), &w, &h);
    EXPECT_EQ((Values{w, h}), (Values{width, height}));
    // the headers end exactly where the stream's next start code begins
    const Bytes b = ReadWholeFile(path);
    ASSERT_GT(length, 0);
    ASSERT_LT(size_t(length) + 3, b.size());
    EXPECT_EQ(Bytes(b.begin() + length, b.begin() + length + 3), (Bytes{0, 0, 1}));
  }
}
