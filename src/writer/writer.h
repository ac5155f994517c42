// Writing a file: the record with its skeleton tree, its tracks, and the
// frames appended to them. The exports in src/exports call these.
#ifndef ORNIVEX_WRITER_WRITER_H
#define ORNIVEX_WRITER_WRITER_H

#include <cstdint>

#include "atom/records.h"
#include "atom/status.h"

// Creates the output file at `path` (truncating it) and a writer record with
// the skeleton ftyp, moov { mvhd, iods }, mdat. On failure *out stays null
// and nothing stays allocated; a file created here stays behind, empty.
Status NewWriterFile(const char* path, MP4_local_file** out);

// The arguments of one CreateTrack call.
struct TrackParams {
  int32_t track_type;
  uint16_t width;
  uint16_t height;
  uint16_t time_increment_resolution;
  uint32_t time_scale;
  uint32_t profile_level;
  uint32_t audio_profile;
  uint32_t channel_config;
  uint32_t sample_rate;
  uint32_t decoder_config_length;
  const unsigned char* decoder_config;
  const char* temp_file_name;
  uint32_t codec;
};

// Adds one track to the record: its first table block, its skeleton trak and,
// for video and audio, its temporary file. A track of a type that exists
// already replaces it. On failure the record is as it was, apart from a
// track ID taken.
Status CreateWriterTrack(MP4_local_file* file, const TrackParams& params);

// Records one frame and appends its bytes to the track's temporary file.
Status AppendVideoFrame(MP4_local_file* file, uint32_t size, const unsigned char* data,
                        uint32_t time_stamp, int32_t key_frame);
Status AppendAudioFrame(MP4_local_file* file, uint32_t size, const unsigned char* data,
                        uint32_t time_stamp);

#endif  // ORNIVEX_WRITER_WRITER_H
