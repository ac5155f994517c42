// Splitting a raw MPEG-4 Visual stream at its VOP start codes, whole and in
// pieces.
#include "merge/vop_splitter.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

struct Frame {
  Bytes bytes;
  uint32_t index;
  bool key;
  bool operator==(const Frame& o) const {
    return bytes == o.bytes && index == o.index && key == o.key;
  }
};

struct Split {
  Status result = Status::kOk;
  std::vector<Frame> frames;
};

Status Collect(void* context, const VideoFrame& f) {
  static_cast<std::vector<Frame>*>(context)->push_back(
      Frame{Bytes(f.data, f.data + f.size), f.index, f.key});
  return Status::kOk;
}

// The stream fed in pieces of `piece` bytes (0: whole).
Split SplitStream(const Bytes& stream, size_t piece = 0) {
  Split out;
  VopSplitter s;
  if (piece == 0) piece = stream.size() + 1;
  for (size_t at = 0; at < stream.size() && Ok(out.result); at += piece) {
    const size_t n = std::min(piece, stream.size() - at);
    out.result = FeedVopSplitter(&s, stream.data() + at, n, Collect, &out.frames);
  }
  if (Ok(out.result)) out.result = FinishVopSplitter(&s, Collect, &out.frames);
  ReleaseVopSplitter(&s);
  return out;
}

Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}
// A VOP of coding type `type` (0 intra) with `n` bytes of data.
Bytes Vop(unsigned type, size_t n) {
  Bytes b = {0, 0, 1, 0xB6, static_cast<unsigned char>(type << 6 | 0x15)};
  b.resize(5 + n, 0x5A);
  return b;
}
const Bytes kHeader = {0, 0, 1, 0xB0, 1, 0, 0, 1, 0xB5, 9, 0, 0, 1, 0, 0, 0, 1, 0x20, 0x44};

TEST(VopSplitter, ThreeVopsAfterTheHeaders) {
  const Bytes a = Vop(0, 10), b = Vop(1, 3), c = Vop(2, 7);
  const Split s = SplitStream(Cat({kHeader, a, b, c}));
  ASSERT_EQ(s.result, Status::kOk);
  const std::vector<Frame> want = {{a, 0, true}, {b, 1, false}, {c, 2, false}};
  EXPECT_EQ(s.frames, want);
}

TEST(VopSplitter, EdgesOfTheScan) {
  const Bytes gov = {0, 0, 1, 0xB3, 0x11, 0x22}, user = {0, 0, 1, 0xB2, 'x'};
  struct Case {
    const char* what;
    Bytes stream;
    Status result;
    std::vector<Frame> frames;
  };
  const Bytes vop = Vop(0, 4);
  const Case cases[] = {
      // other start codes stay in the frame before them
      {"GOV and user data",
       Cat({vop, gov, user, Vop(1, 2)}),
       Status::kOk,
       {{Cat({vop, gov, user}), 0, true}, {Vop(1, 2), 1, false}}},
      // a prefix is stepped over with the byte after it: a VOP code that
      // starts inside those four bytes is not seen
      {"overlapping prefixes",
       Cat({vop, {0, 0, 1, 0, 0, 1, 0xB6, 0}}),
       Status::kOk,
       {{Cat({vop, {0, 0, 1, 0, 0, 1, 0xB6, 0}}), 0, true}}},
      {"a VOP code as the last four bytes",
       Cat({vop, {0, 0, 1, 0xB6}}),
       Status::kOk,
       {{vop, 0, true}, {{0, 0, 1, 0xB6}, 1, false}}},
      {"a prefix as the last three bytes",
       Cat({vop, {0, 0, 1}}),
       Status::kOk,
       {{Cat({vop, {0, 0, 1}}), 0, true}}},
      {"a bare VOP code", {0, 0, 1, 0xB6}, Status::kOk, {{{0, 0, 1, 0xB6}, 0, false}}},
      {"no VOP", Cat({kHeader, gov}), Status::kNotFound, {}},
      {"empty", {}, Status::kNotFound, {}},
      {"two bytes", {0, 0}, Status::kNotFound, {}},
  };
  for (const Case& c : cases) {
    for (size_t piece : {0, 1, 3}) {
      const Split s = SplitStream(c.stream, piece);
      EXPECT_EQ(s.result, c.result) << c.what << " in pieces of " << piece;
      EXPECT_EQ(s.frames, c.frames) << c.what << " in pieces of " << piece;
    }
  }
}

// The walk over the whole stream held at once, position by position, with
// the bytes past the end taken as absent.
std::vector<Frame> WalkWhole(const Bytes& b) {
  std::vector<Frame> frames;
  size_t start = 0, count = 0;
  bool key = false;
  for (size_t p = 0; p + 2 < b.size(); ++p) {
    if (b[p] != 0 || b[p + 1] != 0 || b[p + 2] != 1) continue;
    if (p + 3 < b.size() && b[p + 3] == 0xB6) {
      if (count > 0) frames.push_back({Bytes(&b[start], &b[p]), uint32_t(count - 1), key});
      key = p + 4 < b.size() && (b[p + 4] >> 6) == 0;
      start = p;
      ++count;
    }
    p += 3;
  }
  if (count > 0) frames.push_back({Bytes(b.begin() + start, b.end()), uint32_t(count - 1), key});
  return frames;
}

// Whatever the pieces, the frames are those of the whole stream.
TEST(VopSplitter, PiecesGiveTheFramesOfTheWhole) {
  std::mt19937 random(7);
  for (int round = 0; round < 40; ++round) {
    Bytes stream;
    const size_t n = random() % 3000;
    for (size_t i = 0; i < n; ++i) {
      const unsigned r = random() % 16;
      if (r == 0) {  // start codes of every kind, now and then
        const unsigned char code = (random() % 2) ? 0xB6 : static_cast<unsigned char>(random());
        stream.insert(stream.end(), {0, 0, 1, code});
      } else {
        stream.push_back(r < 4 ? 0 : static_cast<unsigned char>(random()));
      }
    }
    const Split whole = SplitStream(stream);
    EXPECT_EQ(whole.frames, WalkWhole(stream)) << round;
    for (size_t piece : {1, 2, 4, 5, 17, 1024}) {
      const Split pieces = SplitStream(stream, piece);
      EXPECT_EQ(pieces.result, whole.result) << round << " " << piece;
      ASSERT_EQ(pieces.frames, whole.frames) << round << " " << piece;
    }
  }
}

TEST(VopSplitter, TheSinkEndsTheSplit) {
  int calls = 0;
  auto refuse = [](void* context, const VideoFrame&) {
    ++*static_cast<int*>(context);
    return Status::kFailed;
  };
  VopSplitter s;
  const Bytes stream = Cat({Vop(0, 3), Vop(1, 3), Vop(1, 3)});
  EXPECT_EQ(FeedVopSplitter(&s, stream.data(), stream.size(), refuse, &calls), Status::kFailed);
  EXPECT_EQ(calls, 1);
  ReleaseVopSplitter(&s);
}

}  // namespace
