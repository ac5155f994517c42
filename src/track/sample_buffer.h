// The growable byte buffer that the sample reads fill.
#ifndef ORNIVEX_TRACK_SAMPLE_BUFFER_H
#define ORNIVEX_TRACK_SAMPLE_BUFFER_H

#include <cstdint>

// The bytes every block keeps beyond the size asked for, and the capacity
// of a buffer made with Alloc(1), as the exports make theirs.
constexpr uint32_t kBufferSpare = 10;
constexpr uint32_t kFreshCapacity = 1 + kBufferSpare;

class SampleBuffer {
 public:
  SampleBuffer() = default;
  ~SampleBuffer() { Release(); }
  SampleBuffer(const SampleBuffer&) = delete;
  SampleBuffer& operator=(const SampleBuffer&) = delete;

  // Both keep 10 bytes beyond the size asked for: `capacity` is always the
  // last requested size plus 10. False, with no data, after "alloc failed"
  // or "realloc failed" on the debugger channel.
  bool Alloc(uint32_t n);
  bool Realloc(uint32_t n);
  // What Alloc(1) followed by Realloc(n) leaves, without the first block:
  // n + 10 bytes, whose content past the first 11 is not zero-filled (a read
  // is about to fill it). False after "realloc failed", as that Realloc.
  bool Fit(uint32_t n);
  void Release();
  // Hands the data block to the caller, who releases it with FreeBlock; the
  // buffer is left empty.
  unsigned char* TakeData();

  unsigned char* Data() const { return data_; }
  uint32_t Capacity() const { return capacity_; }
  uint32_t KeyFlag() const { return key_flag_; }
  void SetKeyFlag(uint32_t v) { key_flag_ = v; }

 private:
  uint32_t capacity_ = 0;
  uint32_t key_flag_ = 0;
  unsigned char* data_ = nullptr;
};

#endif  // ORNIVEX_TRACK_SAMPLE_BUFFER_H
