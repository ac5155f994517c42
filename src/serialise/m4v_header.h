// The configuration headers at the start of a raw MPEG-4 Visual stream, read
// far enough for the picture size and the headers' length in bytes.
#ifndef ORNIVEX_SERIALISE_M4V_HEADER_H
#define ORNIVEX_SERIALISE_M4V_HEADER_H

#include <cstdint>

// The bit reader. Its position is the one state the library keeps between
// calls, so header parses must not run concurrently. It never reads past
// the bytes it was given: a read beyond them yields zero bits and marks the
// parse as overrun.
void StartBits(const unsigned char* bytes, uint32_t size);
uint32_t GetBits(int n);
bool BitsOverrun();
// Whole bytes consumed, and whether the current one is partly used.
uint32_t BitsConsumed(bool* partial);
// Whether the reader is on a byte boundary before a byte of this value.
bool NextBytesAre(unsigned char value);

// Codes of the features the parse does not support.
enum VolHeaderResult : int {
  kVolOk = 1,
  kVolShape = -1,  // not rectangular
  kVolSprite = -2,
  kVolNot8Bit = -3,
  kVolQuarterSample = -4,
  kVolComplexity = -5,  // a complexity estimation header
  kVolNewpred = -6,
  kVolReducedResolution = -7,
  kVolScalability = -8,
  kVolCutShort = -9,  // the header does not end inside the bytes given
};

// `bytes` points at a video object start code, with `size` bytes readable.
// Width and height are stored as soon as they are read.
int ParseVolHeader(const unsigned char* bytes, uint32_t size, uint32_t* width, uint32_t* height,
                   uint32_t* length);

// Bits of fixed_vop_time_increment for a vop_time_increment_resolution:
// enough for the values 0 to R - 1, at least 1.
int TimeIncrementBits(uint32_t resolution);

#endif  // ORNIVEX_SERIALISE_M4V_HEADER_H
