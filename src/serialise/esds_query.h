// Reading a track's decoder configuration out of its `esds` descriptors.
#ifndef ORNIVEX_SERIALISE_ESDS_QUERY_H
#define ORNIVEX_SERIALISE_ESDS_QUERY_H

#include <cstdint>

#include "atom/records.h"

// The `esds` of the video ("mp4v") or audio ("mp4a") track, its bytes from
// the size field on, as much of it as the tree holds: 1, or -99 after
// "mp4 file uncreated" or "Can't find [%s] atom" (silent when the track
// has no node).
int FindTrackEsds(const MP4_input_file* file, bool video, const unsigned char** esds,
                  uint32_t* length);

// Count bits, most significant first, from `bit_offset` bits into `bytes`
// (`size` of them); bits past the end read as 0. False when any did.
bool GetBitField(const unsigned char* bytes, uint32_t size, uint32_t* result, int count,
                 uint32_t bit_offset);

// The video esds body: the atom's bytes from its version byte on.
int GetVideoEsdsBody(const MP4_input_file* file, const unsigned char** body, uint32_t* length);
// Bit rates and profile_and_level_indication of a video esds body; 1 or -1.
int ParseVideoEsdsBody(const unsigned char* body, uint32_t length, uint32_t* max_bitrate,
                       uint32_t* avg_bitrate, uint32_t* profile_level);

// What ParseAudioEsds reads of an audio esds.
struct AudioConfig {
  uint32_t max_bitrate = 0;
  uint32_t avg_bitrate = 0;
  uint32_t object_type_indication = 0;
  uint32_t object_type = 0;  // audio object type of the AudioSpecificConfig
  uint32_t sample_rate = 0;
  uint32_t channels = 0;
  const unsigned char* dsi = nullptr;  // the DecoderSpecificInfo, inside the esds
  uint32_t dsi_length = 0;
};
// 1; -1 for MPEG-1 or MPEG-2 audio (parsed all the same); -2 when the
// descriptors end before their fields.
int ParseAudioEsds(const unsigned char* esds, uint32_t length, AudioConfig* config);

// The DecoderSpecificInfo of an esds atom (whole, from its size field), by
// walking its descriptors; false without one.
bool FindDecoderSpecificInfo(const unsigned char* esds, uint32_t length, const unsigned char** dsi,
                             uint32_t* dsi_length);

#endif  // ORNIVEX_SERIALISE_ESDS_QUERY_H
