#include "serialise/asc_parse.h"

namespace {

constexpr uint32_t kSampleRates[13] = {96000, 88200, 64000, 48000, 44100, 32000, 24000,
                                       22050, 16000, 12000, 11025, 8000,  7350};
constexpr uint32_t kExplicitRate = 15;
constexpr uint32_t kSbr = 5;
constexpr uint32_t kParametricStereo = 29;
constexpr uint32_t kAacLc = 2;

// The fields of the config in order, each read where the last one ended.
struct Bits {
  const unsigned char* bytes;
  uint32_t size;
  uint32_t at = 0;
  bool inside = true;
  uint32_t Read(int count) {
    uint32_t v = 0;
    if (!GetBitField(bytes, size, &v, count, at)) inside = false;
    at += count;
    return v;
  }
  bool Left(uint32_t count) const { return uint64_t{at} + count <= uint64_t{size} * 8; }
};

uint32_t ReadObjectType(Bits& bits) {
  const uint32_t type = bits.Read(5);
  return type == 31 ? 32 + bits.Read(6) : type;
}

// samplingFrequencyIndex, or with index 15 the explicit 24-bit rate that
// follows; the reserved indexes 13 and 14 give 0.
uint32_t ReadRate(Bits& bits, uint32_t* index) {
  *index = bits.Read(4);
  if (*index == kExplicitRate) return bits.Read(24);
  return *index < 13 ? kSampleRates[*index] : 0;
}

}  // namespace

bool SamplingFrequencyIndex(uint32_t rate, uint32_t* index) {
  for (uint32_t i = 0; i < 13; ++i)
    if (kSampleRates[i] == rate) {
      *index = i;
      return true;
    }
  return false;
}

bool GetBitField(const unsigned char* bytes, uint32_t size, uint32_t* result, int count,
                 uint32_t bit_offset) {
  uint32_t value = 0;
  bool inside = true;
  for (int i = 0; i < count; ++i) {
    const uint64_t bit = uint64_t{bit_offset} + i;
    uint32_t v = 0;
    if (bit / 8 < size) {
      v = (bytes[bit / 8] >> (7 - bit % 8)) & 1;
    } else {
      inside = false;
    }
    value = (value << 1) | v;
  }
  *result = value;
  return inside;
}

bool ParseAudioSpecificConfig(const unsigned char* bytes, uint32_t size,
                              AudioSpecificConfig* config) {
  Bits bits{bytes, size};
  AudioSpecificConfig c;
  c.object_type = ReadObjectType(bits);
  c.core_rate = ReadRate(bits, &c.frequency_index);
  c.channels = bits.Read(4);
  const bool complete = bits.inside;
  c.core_object_type = c.object_type;
  c.output_rate = c.core_rate;
  if (c.object_type == kSbr || c.object_type == kParametricStereo) {
    // the extension rate, then the core's own object type
    c.core_object_type = kAacLc;
    if (bits.Left(4)) {
      uint32_t index = 0;
      const uint32_t extension = ReadRate(bits, &index);
      if (extension != 0) c.output_rate = extension;
      const uint32_t core = bits.Left(5) ? ReadObjectType(bits) : 0;
      if (core != 0) c.core_object_type = core;
    }
  }
  *config = c;
  return complete;
}
