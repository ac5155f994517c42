#include "serialise/m4v_header.h"

namespace {

constexpr uint32_t kMask[9] = {0, 1, 3, 7, 15, 31, 63, 127, 255};

}  // namespace

uint32_t BitReader::CurrentByte() {
  if (current_ >= end_) {
    overrun_ = true;
    return 0;
  }
  return *current_ & kMask[bits_left_];
}

void BitReader::NextByte() {
  ++current_;
  ++consumed_;
  bits_left_ = 8;
}

uint32_t BitReader::Get(int n) {
  int d = n - bits_left_;
  if (d < 0) {
    const uint32_t value = CurrentByte() >> -d;
    bits_left_ = -d;
    return value;
  }
  if (d == 0) {
    const uint32_t value = CurrentByte();
    NextByte();
    return value;
  }
  uint32_t value = 0;
  while (d > 0) {
    // beyond 32 bits the value is meaningless; only the position counts
    if (d < 32)
      value |= CurrentByte() << d;
    else
      (void)CurrentByte();  // still marks an overrun
    NextByte();
    d -= 8;
  }
  value |= CurrentByte() >> -d;
  bits_left_ = -d;
  if (bits_left_ == 0) NextByte();
  return value;
}

uint32_t BitReader::Consumed(bool* partial) const {
  *partial = bits_left_ != 8;
  return consumed_;
}

bool BitReader::NextByteIs(unsigned char value) const {
  return bits_left_ == 8 && current_ < end_ && *current_ == value;
}
