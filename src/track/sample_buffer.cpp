#include "track/sample_buffer.h"

#include <cstring>

#include "atom/helpers.h"
#include "platform/report.h"

bool SampleBuffer::Alloc(uint32_t n) {
  Release();
  data_ = static_cast<unsigned char*>(AllocZeroed(size_t{n} + 10));
  if (data_ == nullptr) {
    DebugReport("alloc failed\n");
    return false;
  }
  capacity_ = n + 10;
  return true;
}

bool SampleBuffer::Realloc(uint32_t n) {
  void* resized = ResizeBlock(data_, size_t{n} + 10);
  if (resized == nullptr) {
    DebugReport("realloc failed\n");
    FreeBlock(data_);  // a failed resize keeps the old block, which nothing could reach
    data_ = nullptr;
    return false;
  }
  data_ = static_cast<unsigned char*>(resized);
  capacity_ = n + 10;
  return true;
}

bool SampleBuffer::Fit(uint32_t n) {
  Release();
  const size_t size = size_t{n} + kBufferSpare;
  data_ = static_cast<unsigned char*>(AllocBlock(size));
  if (data_ == nullptr) {
    DebugReport("realloc failed\n");
    return false;
  }
  std::memset(data_, 0, size < kFreshCapacity ? size : kFreshCapacity);
  capacity_ = n + kBufferSpare;
  return true;
}

void SampleBuffer::Release() {
  FreeBlock(data_);
  data_ = nullptr;
}

unsigned char* SampleBuffer::TakeData() {
  unsigned char* data = data_;
  data_ = nullptr;
  capacity_ = 0;
  return data;
}
