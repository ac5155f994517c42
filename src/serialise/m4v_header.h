// The configuration headers at the start of a raw MPEG-4 Visual stream, read
// far enough for the picture size and the headers' length in bytes.
#ifndef ORNIVEX_SERIALISE_M4V_HEADER_H
#define ORNIVEX_SERIALISE_M4V_HEADER_H

#include <cstdint>

#include "atom/status.h"

// Bits of a bounded byte range, most significant first. Each parse has its
// own, so parses may run on several threads at once. It never reads past
// the bytes it was given: a read beyond them yields zero bits and marks the
// reader as overrun.
class BitReader {
 public:
  BitReader(const unsigned char* bytes, uint32_t size) : current_(bytes), end_(bytes + size) {}
  uint32_t Get(int n);
  bool Overrun() const { return overrun_; }
  // Whole bytes consumed, and whether the current one is partly used.
  uint32_t Consumed(bool* partial) const;
  // Whether the reader is on a byte boundary before a byte of this value.
  bool NextByteIs(unsigned char value) const;

 private:
  uint32_t CurrentByte();
  void NextByte();

  const unsigned char* current_;
  const unsigned char* end_;
  uint32_t consumed_ = 0;
  int bits_left_ = 8;  // unread bits of the current byte
  bool overrun_ = false;
};

// The features of a video object layer that the parse does not support.
enum class VolFeature {
  kNone,
  kShape,  // not rectangular
  kSprite,
  kNot8Bit,
  kQuarterSample,
  kComplexity,  // a complexity estimation header
  kNewpred,
  kReducedResolution,
  kScalability,
};

// `bytes` points at a video object start code, with `size` bytes readable.
// Width and height are stored as soon as they are read. kOk with the
// headers' length; kNotFound for a feature that is not supported (named in
// *unsupported when given); kFailed when the header does not end inside the
// bytes given.
Status ParseVolHeader(const unsigned char* bytes, uint32_t size, uint32_t* width, uint32_t* height,
                      uint32_t* length, VolFeature* unsupported = nullptr);

// Bits of fixed_vop_time_increment for a vop_time_increment_resolution:
// enough for the values 0 to R - 1, at least 1.
int TimeIncrementBits(uint32_t resolution);

// GetM4vHeaderSize: the length of the configuration headers at the start of
// the raw stream in the file at `path`, measured on its first 500 bytes,
// with the picture size. kNotFound when the file cannot be read or its
// headers are not supported, kFailed when no memory can be had.
Status MeasureM4vHeader(const char* path, uint32_t* length, uint32_t* width, uint32_t* height);

#endif  // ORNIVEX_SERIALISE_M4V_HEADER_H
