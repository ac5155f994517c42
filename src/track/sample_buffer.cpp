#include "track/sample_buffer.h"

#include "atom/helpers.h"
#include "platform/platform.h"

int SampleBuffer::Alloc(uint32_t n) {
  Release();
  data_ = static_cast<unsigned char*>(AllocZeroed(size_t{n} + 10));
  if (data_ == nullptr) {
    DebugOutput("alloc failed\n");
    return -92;
  }
  capacity_ = n + 10;
  return 1;
}

int SampleBuffer::Realloc(uint32_t n) {
  void* resized = ResizeBlock(data_, size_t{n} + 10);
  if (resized == nullptr) {
    DebugOutput("realloc failed\n");
    FreeBlock(data_);  // a failed resize keeps the old block, which nothing could reach
    data_ = nullptr;
    return -91;
  }
  data_ = static_cast<unsigned char*>(resized);
  capacity_ = n + 10;
  return 1;
}

int SampleBuffer::Release() {
  FreeBlock(data_);
  data_ = nullptr;
  return 1;
}

unsigned char* SampleBuffer::TakeData() {
  unsigned char* data = data_;
  data_ = nullptr;
  capacity_ = 0;
  return data;
}
