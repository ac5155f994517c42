// The VOP splitter against the plain walk over a whole stream held at once:
// the same frames whatever the pieces the stream comes in, never a read
// past the bytes given.
#include "merge/vop_splitter.h"

#include <gtest/gtest.h>

#include <random>
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

Status Collect(void* context, const VideoFrame& f) {
  static_cast<std::vector<Frame>*>(context)->push_back(
      {Bytes(f.data, f.data + f.size), f.index, f.key});
  return Status::kOk;
}

// The splitter fed pieces of `piece` bytes; kNotFound for no VOP.
Status Split(const Bytes& stream, size_t piece, std::vector<Frame>* frames) {
  VopSplitter s;
  Status result = Status::kOk;
  for (size_t at = 0; at < stream.size() && Ok(result); at += piece)
    result = FeedVopSplitter(&s, stream.data() + at, std::min(piece, stream.size() - at), Collect,
                             frames);
  if (Ok(result)) result = FinishVopSplitter(&s, Collect, frames);
  ReleaseVopSplitter(&s);
  return result;
}

// Position by position: a start-code prefix is passed over with the byte
// after it; a VOP code ends the frame before it; a byte past the end is
// absent (a VOP code at the very end has no coding type, so no key mark).
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

TEST(VopSplitter, PiecesGiveTheFramesOfTheWholeStream) {
  std::mt19937 random(7);
  for (int round = 0; round < 60; ++round) {
    Bytes stream;
    const size_t n = random() % 2000;
    for (size_t i = 0; i < n; ++i) {
      const unsigned r = random() % 16;
      if (r == 0)  // start codes of every kind, VOPs most
        stream.insert(stream.end(), {0, 0, 1, uint8_t(random() % 2 ? 0xB6 : random())});
      else
        stream.push_back(r < 5 ? 0 : uint8_t(random()));
    }
    if (round % 3 == 0) stream.insert(stream.end(), {0, 0, 1, 0xB6});  // a code at the very end
    const std::vector<Frame> want = WalkWhole(stream);
    for (size_t piece : {size_t{1}, size_t{2}, size_t{3}, size_t{5}, size_t{64}, n + 5}) {
      std::vector<Frame> frames;
      EXPECT_EQ(Split(stream, piece, &frames), want.empty() ? Status::kNotFound : Status::kOk);
      ASSERT_EQ(frames, want) << "round " << round << ", pieces of " << piece;
    }
  }
}

}  // namespace
