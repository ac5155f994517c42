// Reading a track's decoder configuration out of its `esds` descriptors.
#ifndef ORNIVEX_SERIALISE_ESDS_QUERY_H
#define ORNIVEX_SERIALISE_ESDS_QUERY_H

#include <cstdint>

#include "atom/records.h"
#include "atom/status.h"

// The `esds` of the video ("mp4v") or audio ("mp4a") track, its bytes from
// the size field on, as much of it as the tree holds: kOk, or kNotFound
// after "mp4 file uncreated" or "Can't find [%s] atom" (silent when the
// track has no node).
Status FindTrackEsds(const MP4_input_file* file, bool video, const unsigned char** esds,
                     uint32_t* length);

// The video track's MPEG-4 Visual configuration header inside its esds,
// from the video object start code to the end of the video object layer
// header, with the picture size (nothing is stored on a failure). kNotFound
// without a file, video track or start code; kFailed when the header does
// not parse.
Status FindVideoConfig(const MP4_input_file* file, const unsigned char** header, uint32_t* length,
                       uint32_t* width, uint32_t* height);
// The audio track's whole esds atom: kNotFound without a file or audio
// track, kFailed when the end of the file cuts it off.
Status FindAudioEsds(const MP4_input_file* file, const unsigned char** esds, uint32_t* size);

// The video esds body: the atom's bytes from its version byte on.
Status GetVideoEsdsBody(const MP4_input_file* file, const unsigned char** body, uint32_t* length);
// Bit rates and profile_and_level_indication of a video esds body; false
// when the descriptors end before the bit rates.
bool ParseVideoEsdsBody(const unsigned char* body, uint32_t length, uint32_t* max_bitrate,
                        uint32_t* avg_bitrate, uint32_t* profile_level);

// What ParseAudioEsds reads of an audio esds.
struct AudioConfig {
  uint32_t max_bitrate = 0;
  uint32_t avg_bitrate = 0;
  uint32_t object_type_indication = 0;
  bool mpeg12 = false;  // MPEG-1 or MPEG-2 audio: no AudioSpecificConfig
  // MPEG-4 audio or MPEG-2 AAC: the DecoderSpecificInfo is an
  // AudioSpecificConfig, which gives the three fields below. Any other
  // codec (neither this nor mpeg12) leaves them 0.
  bool audio_specific_config = false;
  uint32_t object_type = 0;            // audio object type of the AudioSpecificConfig
  uint32_t sample_rate = 0;            // the rate the stream plays at
  uint32_t channels = 0;               // parametric stereo makes two of one
  const unsigned char* dsi = nullptr;  // the DecoderSpecificInfo, inside the esds
  uint32_t dsi_length = 0;
};
// kOk (MPEG-1 and MPEG-2 audio included); kFailed when the descriptors end
// before their fields, or the DecoderSpecificInfo runs past the esds.
Status ParseAudioEsds(const unsigned char* esds, uint32_t length, AudioConfig* config);

// The DecoderSpecificInfo of an esds atom (whole, from its size field), by
// walking its descriptors; false without one.
bool FindDecoderSpecificInfo(const unsigned char* esds, uint32_t length, const unsigned char** dsi,
                             uint32_t* dsi_length);

#endif  // ORNIVEX_SERIALISE_ESDS_QUERY_H
