// The length of a raw MPEG-4 Visual stream's leading configuration headers,
// measured on its first 500 bytes.
#include <cstdio>

#include "atom/helpers.h"
#include "platform/report.h"
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

// The headers' length in the first `n` bytes of a stream.
Status MeasureHeaders(const unsigned char* buffer, uint32_t n, uint32_t* length, uint32_t* width,
                      uint32_t* height) {
  const bool sequence = StartCodeAt(buffer, n, 0) && buffer[3] == kSequenceStart;
  if (!sequence && !VideoObjectAt(buffer, n, 0)) return Status::kNotFound;
  // after a sequence header, the first video object start code; none: 0
  uint32_t offset = 0;
  if (sequence)
    for (uint32_t p = 0; p + 4 <= n; ++p)
      if (VideoObjectAt(buffer, n, p)) {
        offset = p;
        break;
      }
  uint32_t header = 0;
  if (!Ok(ParseVolHeader(buffer + offset, n - offset, width, height, &header)))
    return Status::kNotFound;
  *length = header + offset;
  return Status::kOk;
}

}  // namespace

Status MeasureM4vHeader(const char* path, uint32_t* length, uint32_t* width, uint32_t* height) {
  FILE* file = std::fopen(path, "rb");
  if (file == nullptr) return Status::kNotFound;
  unsigned char* buffer = static_cast<unsigned char*>(AllocZeroed(kReadSize));
  if (buffer == nullptr) {
    Report("Unable to new memory [bitstream]\n");
    std::fclose(file);
    return Status::kFailed;
  }
  const uint32_t n = static_cast<uint32_t>(std::fread(buffer, 1, kReadSize, file));
  std::fclose(file);
  const Status measured = MeasureHeaders(buffer, n, length, width, height);
  FreeBlock(buffer);
  return measured;
}
