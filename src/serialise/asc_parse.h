// The AudioSpecificConfig of an AAC track: what the esds query reports and
// what an ADTS header is made from.
#ifndef ORNIVEX_SERIALISE_ASC_PARSE_H
#define ORNIVEX_SERIALISE_ASC_PARSE_H

#include <cstdint>

struct AudioSpecificConfig {
  uint32_t object_type = 0;      // audioObjectType, its escape (31) resolved
  uint32_t frequency_index = 0;  // samplingFrequencyIndex; 15: an explicit rate
  uint32_t core_rate = 0;        // the coded rate: from the index, or explicit; 0 when reserved
  uint32_t channels = 0;         // channelConfiguration
  // SBR (5) and SBR with parametric stereo (29) signalled explicitly: the
  // object type of the core they ride on, and the rate the stream plays at
  // (0 when not given); for other types the object type and the core rate.
  uint32_t core_object_type = 0;
  uint32_t output_rate = 0;
};

// The number of a rate among the 13 sampling frequencies of the table;
// false for any other rate.
bool SamplingFrequencyIndex(uint32_t rate, uint32_t* index);

// Parses `size` bytes; bits past them read as 0. False when the bytes end
// before the channel configuration (the fields read so far are kept).
bool ParseAudioSpecificConfig(const unsigned char* bytes, uint32_t size,
                              AudioSpecificConfig* config);

// Count bits, most significant first, from `bit_offset` bits into `bytes`
// (`size` of them); bits past the end read as 0. False when any did.
bool GetBitField(const unsigned char* bytes, uint32_t size, uint32_t* result, int count,
                 uint32_t bit_offset);

#endif  // ORNIVEX_SERIALISE_ASC_PARSE_H
