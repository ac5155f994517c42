// The MPEG-4 Visual header parse and GetM4vHeaderSize.
#include "serialise/m4v_header.h"

#include <gtest/gtest.h>

#include "ornivex.h"
#include "support/test_support.h"

using box::Bytes;

namespace {

struct BitWriter {
  Bytes bytes;
  int used = 8;  // bits used in the last byte
  void Put(uint64_t value, int n) {
    for (int i = n - 1; i >= 0; --i) {
      if (used == 8) {
        bytes.push_back(0);
        used = 0;
      }
      const uint64_t bit = i < 64 ? (value >> i) & 1 : 0;  // wide fields: zeros on top
      bytes.back() |= uint8_t(bit << (7 - used));
      ++used;
    }
  }
  void Stuff() {  // next_start_code(): a 0, then 1s to the byte boundary
    Put(0, 1);
    while (used != 8) Put(1, 1);
  }
};

// A video object layer header with the fields a test varies.
struct Vol {
  uint32_t object_type = 3;
  uint32_t verid = 0;  // 0: no is_object_layer_identifier
  uint32_t aspect = 2;
  bool vbv = false;
  uint32_t shape = 0;
  uint32_t resolution = 30;
  bool fixed_rate = false;
  uint32_t width = 176, height = 144;
  uint32_t sprite = 0;
  bool not_8_bit = false;
  bool quant_matrices = false;
  bool quarter_sample = false;
  bool complexity_disable = true;
  bool newpred = false, reduced = false, scalability = false;
};

Bytes Header(const Vol& v) {
  BitWriter w;
  w.Put(0x00000100, 32);
  w.Put(0x00000120, 32);
  w.Put(0, 1);
  w.Put(v.object_type, 8);
  w.Put(v.verid != 0, 1);
  if (v.verid != 0) w.Put((uint64_t(v.verid) << 3) | 1, 7);
  w.Put(v.aspect, 4);
  if (v.aspect == 15) w.Put(0x0101, 16);
  w.Put(v.vbv, 1);
  if (v.vbv) {
    w.Put(0b011, 3);
    w.Put(1, 1);
    w.Put(0x1234567, 79);
  }
  w.Put(v.shape, 2);
  w.Put(1, 1);
  w.Put(v.resolution, 16);
  w.Put(1, 1);
  w.Put(v.fixed_rate, 1);
  if (v.fixed_rate) w.Put(1, TimeIncrementBits(v.resolution));
  w.Put(1, 1);
  w.Put(v.width, 13);
  w.Put(1, 1);
  w.Put(v.height, 13);
  w.Put(0b101, 3);  // marker, interlaced, obmc_disable
  w.Put(v.sprite, v.verid > 1 ? 2 : 1);
  w.Put(v.not_8_bit, 1);
  w.Put(v.quant_matrices, 1);
  if (v.quant_matrices) {
    w.Put(1, 1);
    for (int i = 0; i < 64; ++i) w.Put(i == 10 ? 0 : 16, 8);  // a zero does not end the matrix
    w.Put(0, 1);
  }
  if (v.verid > 1) w.Put(v.quarter_sample, 1);
  w.Put(v.complexity_disable, 1);
  w.Put(1, 1);  // resync_marker_disable
  w.Put(0, 1);  // data_partitioned
  if (v.verid > 1) {
    w.Put(v.newpred, 1);
    w.Put(v.reduced, 1);
  }
  w.Put(v.scalability, 1);
  w.Stuff();
  return w.bytes;
}

int Parse(const Bytes& b, uint32_t* width, uint32_t* height, uint32_t* length) {
  return ParseVolHeader(b.data(), uint32_t(b.size()), width, height, length);
}

const Bytes kQcif = {0,    0,    1,    0,    0,    0,    1,    0x20, 0x01,
                     0x88, 0x40, 0x07, 0xA8, 0x2C, 0x20, 0x90, 0xA3, 0x1F};

}  // namespace

TEST(M4vHeader, WorkedBytes) {
  uint32_t w = 0, h = 0, length = 0;
  ASSERT_EQ(Parse(kQcif, &w, &h, &length), 1);
  EXPECT_EQ(w, 176u);
  EXPECT_EQ(h, 144u);
  EXPECT_EQ(length, 18u);

  const Bytes stream = box::Cat(
      {Bytes{0, 0, 1, 0xB0, 0x03, 0, 0, 1, 0xB5, 0x09}, kQcif, Bytes{0, 0, 1, 0xB6, 0x10}});
  w = h = 0;
  EXPECT_EQ(GetM4vHeaderSize(WriteScratchFile("vos.m4v", stream).c_str(), &w, &h), 28);
  EXPECT_EQ(w, 176u);
  EXPECT_EQ(GetM4vHeaderSize(WriteScratchFile("vo.m4v", kQcif).c_str(), &w, &h), 18);
  // the test's own header writer agrees with the worked bytes
  EXPECT_EQ(Header(Vol{}), kQcif);
}

TEST(M4vHeader, FixedVopRateWidths) {
  EXPECT_EQ(TimeIncrementBits(30), 5);
  EXPECT_EQ(TimeIncrementBits(16), 4);
  EXPECT_EQ(TimeIncrementBits(1), 1);
  EXPECT_EQ(TimeIncrementBits(0), 1);
  EXPECT_EQ(TimeIncrementBits(65535), 16);
  for (uint32_t resolution : {30u, 16u, 1u, 25000u}) {
    Vol v;
    v.resolution = resolution;
    v.fixed_rate = true;
    v.width = 352;
    v.height = 288;
    uint32_t w = 0, h = 0, length = 0;
    ASSERT_EQ(Parse(Header(v), &w, &h, &length), 1) << resolution;
    EXPECT_EQ(w, 352u) << resolution;  // a wrong skip shifts every later field
    EXPECT_EQ(h, 288u) << resolution;
    EXPECT_EQ(length, Header(v).size()) << resolution;
  }
}

TEST(M4vHeader, OptionalFieldsAreSkipped) {
  Vol v;
  v.verid = 2;
  v.aspect = 15;
  v.vbv = true;
  v.quant_matrices = true;
  v.width = 640;
  v.height = 480;
  uint32_t w = 0, h = 0, length = 0;
  ASSERT_EQ(Parse(Header(v), &w, &h, &length), 1);
  EXPECT_EQ(w, 640u);
  EXPECT_EQ(h, 480u);
  EXPECT_EQ(length, Header(v).size());
}

TEST(M4vHeader, UnsupportedFeatures) {
  struct Case {
    int code;
    Vol vol;
  };
  std::vector<Case> cases;
  Vol v;
  v.shape = 1;
  cases.push_back({-1, v});
  v = Vol{};
  v.sprite = 1;
  cases.push_back({-2, v});
  v = Vol{};
  v.not_8_bit = true;
  cases.push_back({-3, v});
  v = Vol{};
  v.verid = 2;
  v.quarter_sample = true;
  cases.push_back({-4, v});
  v = Vol{};
  v.complexity_disable = false;
  cases.push_back({-5, v});
  v = Vol{};
  v.verid = 2;
  v.newpred = true;
  cases.push_back({-6, v});
  v = Vol{};
  v.verid = 2;
  v.reduced = true;
  cases.push_back({-7, v});
  v = Vol{};
  v.scalability = true;
  cases.push_back({-8, v});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code);
    uint32_t w = 7, h = 7, length = 0;
    EXPECT_EQ(Parse(Header(c.vol), &w, &h, &length), c.code);
    // the size is stored as soon as it is read: after the shape
    EXPECT_EQ(w, c.code == -1 ? 7u : 176u);
    const std::string path = WriteScratchFile("bad.m4v", Header(c.vol));
    w = h = 7;
    EXPECT_EQ(GetM4vHeaderSize(path.c_str(), &w, &h), -1);
  }
}

TEST(M4vHeader, NeverReadsPastItsInput) {
  // every cut of a header that needs all of its bytes
  Vol v;
  v.quant_matrices = true;
  const Bytes full = Header(v);
  for (size_t n = 0; n < full.size(); ++n) {
    const Bytes cut(full.begin(), full.begin() + long(n));
    uint32_t w = 0, h = 0, length = 0;
    // on the heap at its exact size, so a read past it would be caught
    std::unique_ptr<unsigned char[]> exact(new unsigned char[n + 1]);
    std::copy(cut.begin(), cut.end(), exact.get());
    const int r = ParseVolHeader(exact.get(), uint32_t(n), &w, &h, &length);
    if (n + 1 < full.size()) {
      EXPECT_EQ(r, kVolCutShort) << n;  // only the stuffing byte may go
    }
  }
  uint32_t w = 0, h = 0;
  EXPECT_EQ(
      GetM4vHeaderSize(WriteScratchFile("cut.m4v", Bytes(full.begin(), full.begin() + 20)).c_str(),
                       &w, &h),
      -1);
}

TEST(M4vHeader, StreamsThatAreNotConfigurations) {
  uint32_t w = 5, h = 5;
  EXPECT_EQ(
      GetM4vHeaderSize(WriteScratchFile("vop.m4v", {0, 0, 1, 0xB6, 0x10, 0x20}).c_str(), &w, &h),
      -1);
  EXPECT_EQ(GetM4vHeaderSize(WriteScratchFile("empty.m4v", {}).c_str(), &w, &h), -1);
  EXPECT_EQ(GetM4vHeaderSize(WriteScratchFile("short.m4v", {0, 0}).c_str(), &w, &h), -1);
  EXPECT_EQ(GetM4vHeaderSize(ScratchPath("missing.m4v").c_str(), &w, &h), -1);
  EXPECT_EQ(w, 5u);
  // a sequence header without a video object in the first 500 bytes is
  // parsed from its start: its bytes make no rectangular header here
  Bytes vos = {0, 0, 1, 0xB0, 0x03};
  vos.resize(600, 0xFF);
  EXPECT_EQ(GetM4vHeaderSize(WriteScratchFile("novo.m4v", vos).c_str(), &w, &h), -1);
}

TEST(M4vHeader, RawStreamsWrittenByFfmpeg) {
  if (!HaveFfmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
  struct Case {
    const char* name;
    const char* args;
    uint32_t width, height;
  };
  const Case cases[] = {
      {"qcif.m4v", "-f lavfi -i testsrc=size=176x144:rate=25 -t 0.2 -c:v mpeg4 -f m4v", 176, 144},
      {"cif-bf.m4v", "-f lavfi -i testsrc=size=352x288:rate=30 -t 0.3 -c:v mpeg4 -bf 2 -f m4v", 352,
       288},
      {"vga-mpegquant.m4v",
       "-f lavfi -i testsrc=size=640x480:rate=24 -t 0.2 -c:v mpeg4 -mpeg_quant 1 -f m4v", 640, 480},
      {"odd.m4v", "-f lavfi -i testsrc=size=202x98:rate=1000 -t 0.01 -c:v mpeg4 -f m4v", 202, 98},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = FfmpegMedia(c.name, c.args);
    ASSERT_FALSE(path.empty());
    uint32_t w = 0, h = 0;
    const int32_t length = GetM4vHeaderSize(path.c_str(), &w, &h);
    EXPECT_EQ(w, c.width);
    EXPECT_EQ(h, c.height);
    // the headers end exactly where the stream's next start code begins
    const Bytes b = ReadWholeFile(path);
    ASSERT_GT(length, 0);
    ASSERT_LT(size_t(length) + 3, b.size());
    EXPECT_EQ(b[length], 0);
    EXPECT_EQ(b[length + 1], 0);
    EXPECT_EQ(b[length + 2], 1);
  }
}
