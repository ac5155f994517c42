// ADTS frame headers: what the merge needs to walk an ADTS AAC stream frame
// by frame.
#ifndef ORNIVEX_MERGE_ADTS_FRAME_H
#define ORNIVEX_MERGE_ADTS_FRAME_H

#include <cstdint>

constexpr uint32_t kAdtsHeaderLength = 7;
constexpr uint32_t kAdtsCrcLength = 2;  // after the header when protection_absent is 0

// Whether the bytes begin with the ADTS sync word (12 set bits).
bool HasAdtsSync(const unsigned char* header);

// The sampling rate of the header's sampling_frequency_index, false for
// the indexes 12 to 15, which have none.
bool AdtsSamplingRate(const unsigned char* header, uint32_t* rate);

// One frame as its header describes it.
struct AdtsFrame {
  uint32_t header_length;   // 7, or 9 with the CRC
  uint32_t frame_length;    // header, CRC and payload
  uint32_t payload_length;  // the raw AAC data: frame_length - header_length
};

// The frame whose 7-byte header is in `header` (of which `available` bytes
// could be read), with `remaining` bytes of the stream left from its first
// byte. False when the walk must stop there: a header cut off, no sync
// word, more than one raw data block, a frame_length shorter than its own
// header (CRC included), or a frame that runs past the end of the stream.
// The caller skips the CRC, when there is one, before the payload.
bool ReadAdtsFrame(const unsigned char* header, uint32_t available, uint64_t remaining,
                   AdtsFrame* frame);

#endif  // ORNIVEX_MERGE_ADTS_FRAME_H
