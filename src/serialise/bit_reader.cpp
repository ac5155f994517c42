// The bit reader of the header parses, most significant bit first.
#include "serialise/m4v_header.h"

namespace {

// The reader's position: the current byte, the bytes consumed, the bits
// still unread in the current byte (8 on a byte boundary), and the end of
// the input with whether a read went past it.
struct BitPosition {
  const unsigned char* current = nullptr;
  const unsigned char* end = nullptr;
  uint32_t consumed = 0;
  int bits_left = 8;
  bool overrun = false;
};
BitPosition g_bits;

constexpr uint32_t kMask[9] = {0, 1, 3, 7, 15, 31, 63, 127, 255};

uint32_t CurrentByte() {
  if (g_bits.current >= g_bits.end) {
    g_bits.overrun = true;
    return 0;
  }
  return *g_bits.current & kMask[g_bits.bits_left];
}

void NextByte() {
  ++g_bits.current;
  ++g_bits.consumed;
  g_bits.bits_left = 8;
}

}  // namespace

void StartBits(const unsigned char* bytes, uint32_t size) {
  g_bits = BitPosition{bytes, bytes + size, 0, 8, false};
}

bool BitsOverrun() {
  return g_bits.overrun;
}

uint32_t GetBits(int n) {
  int d = n - g_bits.bits_left;
  if (d < 0) {
    const uint32_t value = CurrentByte() >> -d;
    g_bits.bits_left = -d;
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
      CurrentByte();
    NextByte();
    d -= 8;
  }
  value |= CurrentByte() >> -d;
  g_bits.bits_left = -d;
  if (g_bits.bits_left == 0) NextByte();
  return value;
}

uint32_t BitsConsumed(bool* partial) {
  *partial = g_bits.bits_left != 8;
  return g_bits.consumed;
}

bool NextBytesAre(unsigned char value) {
  return g_bits.bits_left == 8 && g_bits.current < g_bits.end && *g_bits.current == value;
}
