// Picking fields out of elementary stream descriptors. Every read is
// bounded by the descriptor bytes given; descriptors are tag, length, body.
#include <cstring>

#include "atom/field_offsets.h"
#include "serialise/asc_parse.h"
#include "serialise/esds_query.h"

namespace {

constexpr uint8_t kESDescriptor = 0x03;
constexpr uint8_t kDecoderConfig = 0x04;
constexpr uint8_t kDecoderSpecificInfo = 0x05;
constexpr uint8_t kMpeg1Audio = 0x6B;
constexpr uint8_t kMpeg2Audio = 0x69;
constexpr uint8_t kMpeg4Audio = 0x40;
constexpr uint8_t kMpeg2AacFirst = 0x66;  // Main, LC and SSR: 0x66 to 0x68
constexpr uint8_t kMpeg2AacLast = 0x68;
constexpr unsigned char kSequenceStart[4] = {0, 0, 1, 0xB0};

// Bounded byte access: past the end reads 0 and is remembered.
struct Bytes {
  const unsigned char* b;
  uint32_t n;
  mutable bool short_read = false;
  uint32_t operator[](uint64_t i) const {
    if (i >= n) {
      short_read = true;
      return 0;
    }
    return b[i];
  }
  uint32_t u32(uint64_t i) const {
    return ((*this)[i] << 24) | ((*this)[i + 1] << 16) | ((*this)[i + 2] << 8) | (*this)[i + 3];
  }
};

// Steps over length bytes of 0x80 (the padded length form); gives the
// position of the last length byte.
uint64_t LastLengthByte(const Bytes& b, uint64_t first) {
  uint64_t at = first;
  while (at < b.n && b[at] == 0x80) ++at;
  return at;
}

// One descriptor header at `*at`: tag and length; advances past them.
bool ReadDescriptor(const Bytes& b, uint64_t* at, uint8_t* tag, uint32_t* length) {
  *tag = static_cast<uint8_t>(b[(*at)++]);
  *length = 0;
  for (int i = 0; i < 4; ++i) {
    const uint32_t byte = b[(*at)++];
    *length = (*length << 7) | (byte & 0x7F);
    if ((byte & 0x80) == 0) break;
  }
  return !b.short_read;
}

}  // namespace

bool FindDecoderSpecificInfo(const unsigned char* esds, uint32_t length, const unsigned char** dsi,
                             uint32_t* dsi_length) {
  const Bytes b{esds, length};
  uint64_t at = kDescriptors;
  uint8_t tag;
  uint32_t size;
  if (!ReadDescriptor(b, &at, &tag, &size) || tag != kESDescriptor) return false;
  const uint32_t flags = b[at + 2];
  at += 3;                            // ES_ID, flags
  if (flags & 0x80) at += 2;          // dependsOn_ES_ID
  if (flags & 0x40) at += 1 + b[at];  // URL
  if (flags & 0x20) at += 2;          // OCR_ES_Id
  if (!ReadDescriptor(b, &at, &tag, &size) || tag != kDecoderConfig) return false;
  at += 13;  // objectTypeIndication, streamType, bufferSizeDB, bit rates
  if (!ReadDescriptor(b, &at, &tag, &size) || tag != kDecoderSpecificInfo) return false;
  if (at + size > length) return false;
  *dsi = esds + at;
  *dsi_length = size;
  return true;
}

bool ParseVideoEsdsBody(const unsigned char* body, uint32_t length, uint32_t* max_bitrate,
                        uint32_t* avg_bitrate, uint32_t* profile_level) {
  const Bytes b{body, length};
  if (b[4] != kESDescriptor) return false;
  // ES_ID and a flag byte follow the ES_Descriptor's length
  const uint64_t config = LastLengthByte(b, 5) + 4;
  if (b[config] != kDecoderConfig) return false;
  const uint64_t last = LastLengthByte(b, config + 1);
  const uint32_t max = b.u32(last + 6), avg = b.u32(last + 10);
  if (b.short_read) return false;
  *max_bitrate = max;
  *avg_bitrate = avg;
  // profile_and_level_indication is byte 4 of a visual object sequence
  // header; a configuration that does not begin with one carries none
  *profile_level = 0;
  const uint64_t tag = last + 14;
  if (b[tag] == kDecoderSpecificInfo) {
    const uint64_t start = LastLengthByte(b, tag + 1) + 1;
    if (start + 5 <= length && std::memcmp(body + start, kSequenceStart, 4) == 0)
      *profile_level = body[start + 4];
  }
  return true;
}

Status ParseAudioEsds(const unsigned char* esds, uint32_t length, AudioConfig* config) {
  const Bytes b{esds, length};
  AudioConfig c;
  // ES_Descriptor length at 13: four bytes (80 80 80 L) or one
  const bool long_form = b[13] == 0x80 && b[14] == 0x80 && b[15] == 0x80;
  const uint64_t config_length = long_form ? 21 : 18;
  const uint64_t oti = config_length + (b[config_length] == 0x80 && b[config_length + 1] == 0x80 &&
                                                b[config_length + 2] == 0x80
                                            ? 4
                                            : 1);
  c.object_type_indication = b[oti];
  c.mpeg12 = c.object_type_indication == kMpeg1Audio || c.object_type_indication == kMpeg2Audio;
  c.audio_specific_config =
      c.object_type_indication == kMpeg4Audio ||
      (c.object_type_indication >= kMpeg2AacFirst && c.object_type_indication <= kMpeg2AacLast);
  c.max_bitrate = b.u32(oti + 5);
  c.avg_bitrate = b.u32(oti + 9);
  if (b.short_read) return Status::kFailed;
  // Without a DecoderSpecificInfo (MPEG-1 and MPEG-2 audio have none) there
  // is no AudioSpecificConfig to read.
  const uint64_t tag = oti + 13;
  if (b[tag] == kDecoderSpecificInfo && !b.short_read) {
    const uint64_t length_byte =
        b[tag + 1] == 0x80 && b[tag + 2] == 0x80 && b[tag + 3] == 0x80 ? tag + 4 : tag + 1;
    c.dsi_length = b[length_byte];
    if (b.short_read || length_byte + 1 + c.dsi_length > length) return Status::kFailed;
    c.dsi = esds + length_byte + 1;
  }
  // another codec's configuration (EVRC, say) read as an AudioSpecificConfig
  // would give a rate, channels and an object type it never declared
  if (c.dsi != nullptr && c.audio_specific_config) {
    AudioSpecificConfig asc;
    // a config cut short reports what its bits give, as zeros past the end
    (void)ParseAudioSpecificConfig(c.dsi, c.dsi_length, &asc);
    c.object_type = asc.object_type;
    c.sample_rate = asc.output_rate;
    c.channels = asc.object_type == 29 && asc.channels == 1 ? 2 : asc.channels;
  }
  *config = c;
  return Status::kOk;
}
