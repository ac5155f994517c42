#include "merge/adts_frame.h"

namespace {

constexpr uint32_t kSamplingRates[12] = {96000, 88200, 64000, 48000, 44100, 32000,
                                         24000, 22050, 16000, 12000, 11025, 8000};

}  // namespace

bool HasAdtsSync(const unsigned char* header) {
  return header[0] == 0xFF && (header[1] & 0xF0) == 0xF0;
}

bool AdtsSamplingRate(const unsigned char* header, uint32_t* rate) {
  const uint32_t index = (header[2] & 0x3C) >> 2;
  if (index >= 12) return false;
  *rate = kSamplingRates[index];
  return true;
}

bool ReadAdtsFrame(const unsigned char* header, uint32_t available, uint64_t remaining,
                   AdtsFrame* frame) {
  if (available < kAdtsHeaderLength || !HasAdtsSync(header)) return false;
  const bool crc = (header[1] & 0x01) == 0;  // protection_absent 0
  const uint32_t header_length = kAdtsHeaderLength + (crc ? kAdtsCrcLength : 0);
  // Several raw data blocks in one frame would make one sample of several
  // AAC frames, each of which needs its own time stamp.
  if ((header[6] & 0x03) != 0) return false;
  const uint32_t frame_length =
      (uint32_t{header[3] & 0x03u} << 11) | (uint32_t{header[4]} << 3) | (header[5] >> 5);
  if (frame_length < header_length || frame_length > remaining) return false;
  *frame = AdtsFrame{header_length, frame_length, frame_length - header_length};
  return true;
}
