// The AudioSpecificConfig of an MPEG-4 audio track: from its parameters,
// from the two bytes it was given, or from the ADTS header it was given.
#include "serialise/esds_write.h"

namespace {

constexpr uint32_t kRates[] = {96000, 88200, 64000, 48000, 44100, 32000, 24000,
                               22050, 16000, 12000, 11025, 8000,  7350};

// Lower bounds of the ranges that decoders map to each rate's index, for a
// rate that is not in the table (7350 has no range of its own).
constexpr uint32_t kRangeStarts[] = {92017, 75132, 55426, 46009, 37566, 27713,
                                     23004, 18783, 13856, 11502, 9391};

uint16_t PackConfig(uint32_t object_type, uint32_t frequency_index, uint32_t channels) {
  return static_cast<uint16_t>(((object_type & 0x1F) << 11) | ((frequency_index & 0x0F) << 7) |
                               ((channels & 0x0F) << 3));
}

}  // namespace

uint32_t SamplingIndexForRate(uint32_t rate) {
  for (uint32_t i = 0; i < sizeof kRates / sizeof kRates[0]; ++i)
    if (kRates[i] == rate) return i;
  for (uint32_t i = 0; i < sizeof kRangeStarts / sizeof kRangeStarts[0]; ++i)
    if (rate >= kRangeStarts[i]) return i;
  return 11;  // 8000 Hz, the lowest range
}

bool IsUnconfiguredAudio(const TrackNode& track) {
  return track.AudioProfile == 0 && track.ChannelConfig == 0 && track.SampleRate == 0 &&
         track.DecoderConfig[0] == 0 && track.DecoderConfigLength == 0;
}

uint16_t BuildAudioSpecificConfig(const TrackNode& t) {
  // Profile 0 is AAC Main, a real choice: with a channel configuration and
  // a rate but no bytes given, the parameters are all there is.
  const bool parameters = t.ChannelConfig != 0 && t.SampleRate != 0 &&
                          (t.AudioProfile != 0 || t.DecoderConfigLength == 0);
  if (parameters)
    return PackConfig(t.AudioProfile + 1, SamplingIndexForRate(t.SampleRate), t.ChannelConfig);
  const unsigned char* d = t.DecoderConfig;
  if (d[2] == 0) return static_cast<uint16_t>((d[0] << 8) | d[1]);
  // the start of an ADTS header: profile, frequency index, channel configuration
  return PackConfig((d[2] >> 6) + 1u, (d[2] >> 2) & 0x0Fu, ((d[2] & 1u) << 2) | (d[3] >> 6));
}
