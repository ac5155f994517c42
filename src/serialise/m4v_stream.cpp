// GetM4vHeaderSize: the length of a raw MPEG-4 Visual stream's leading
// configuration headers, measured on its first 500 bytes.
#include <cstdio>

#include "atom/helpers.h"
#include "ornivex.h"
#include "serialise/m4v_header.h"

namespace {

constexpr uint32_t kReadSize = 500;
constexpr unsigned char kSequenceStart = 0xB0;  // visual_object_sequence_start_code

bool StartCodeAt(const unsigned char* b, uint32_t n, uint32_t p) {
  return uint64_t{p} + 4 <= n && b[p] == 0 && b[p + 1] == 0 && b[p + 2] == 1;
}

bool VideoObjectAt(const unsigned char* b, uint32_t n, uint32_t p) {
  return StartCodeAt(b, n, p) && b[p + 3] < 0x20;
}

}  // namespace

extern "C" ORNIVEX_API int32_t ORNIVEX_CALL GetM4vHeaderSize(const char* path, uint32_t* width,
                                                             uint32_t* height) {
  if (path == nullptr || width == nullptr || height == nullptr) return -1;
  FILE* file = std::fopen(path, "rb");
  if (file == nullptr) return -1;
  unsigned char* buffer = static_cast<unsigned char*>(AllocZeroed(kReadSize));
  if (buffer == nullptr) {
    std::printf("Unable to new memory [bitstream]\n");
    std::fclose(file);
    return 0;
  }
  const uint32_t n = static_cast<uint32_t>(std::fread(buffer, 1, kReadSize, file));
  std::fclose(file);

  int32_t result = -1;
  if (VideoObjectAt(buffer, n, 0) || (StartCodeAt(buffer, n, 0) && buffer[3] == kSequenceStart)) {
    // after a sequence header, the first video object start code; none: 0
    uint32_t offset = 0;
    if (buffer[3] == kSequenceStart)
      for (uint32_t p = 0; p + 4 <= n; ++p)
        if (VideoObjectAt(buffer, n, p)) {
          offset = p;
          break;
        }
    uint32_t length = 0;
    if (ParseVolHeader(buffer + offset, n - offset, width, height, &length) > 0)
      result = static_cast<int32_t>(length + offset);
  }
  FreeBlock(buffer);
  return result;
}
