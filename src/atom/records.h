// The records every pass works on: the open file with its atom tree, the
// reader's and writer's per-file records, and the atom node.
#ifndef ORNIVEX_ATOM_RECORDS_H
#define ORNIVEX_ATOM_RECORDS_H

#include <cstdint>
#include <cstdio>

#include "ornivex.h"

struct ReadTrackNode;
struct TrackNode;

// One atom of a file's tree. `size` and `offset` are host order; the body
// record in `realStructure` keeps the file's byte order.
struct AtomNode {
  uint32_t size;
  char type[5];
  uint32_t offset;
  AtomNode* next;
  AtomNode* parent;
  AtomNode* first_child;
  void* realStructure;
};

constexpr int kMaxPathLength = 255;

struct Root_atom {
  char file_name[kMaxPathLength + 1];
  uint32_t file_size;  // reading: length at open; writing: bytes written
  FILE* file;
  AtomNode* first_atom;
};

constexpr uint32_t kMaxTrackId = 400;  // reading side: track IDs 0 to 399

struct MP4_input_file {
  Root_atom* root;
  uint32_t audio_track_id;
  uint32_t video_track_id;
  int32_t audio_cursor;
  int32_t video_cursor;
  int32_t key_cursor;
  ReadTrackNode* tracks[kMaxTrackId];
  uint32_t video_info[5];  // width, height, sample count, timescale, duration
  uint32_t audio_info[5];  // data-reference index, timescale, duration, sample count,
                           // constant sample size
};

// The writer's per-file record: the output file with its skeleton tree, the
// four tracks and, per medium, the appending counters and the temporary file.
struct MP4_local_file {
  Root_atom* root;
  TrackNode* VideoTrackNode;
  TrackNode* AudioTrackNode;
  TrackNode* od_track;
  TrackNode* scene_track;
  uint32_t next_track_id;
  uint32_t movie_timescale;
  uint32_t movie_duration;
  uint32_t video_sample_count;
  uint32_t video_key_count;
  uint32_t video_bytes;
  uint32_t video_block_index;
  uint32_t video_block_key_index;
  FILE* video_temp;                          // null when the temporary file could not be created
  unsigned char* video_temp_buffer;          // the stream's buffer, released once it is closed
  char video_temp_name[kMaxPathLength + 1];  // a copy; empty when there is none
  uint32_t audio_sample_count;
  uint32_t audio_key_count;
  uint32_t audio_bytes;
  uint32_t audio_block_index;
  uint32_t audio_block_key_index;
  FILE* audio_temp;
  unsigned char* audio_temp_buffer;
  char audio_temp_name[kMaxPathLength + 1];
  uint32_t brand_selector;
};

// video_info and audio_info positions, named where they are read.
enum VideoInfoField {
  kVideoWidth,
  kVideoHeight,
  kVideoSampleCount,
  kVideoTimescale,
  kVideoDuration
};
enum AudioInfoField {
  kAudioDataRefIndex,
  kAudioTimescale,
  kAudioDuration,
  kAudioSampleCount,
  kAudioConstantSize
};

#endif  // ORNIVEX_ATOM_RECORDS_H
