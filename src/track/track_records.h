// The reader's per-track record and the sample and key-frame index entries.
#ifndef ORNIVEX_TRACK_TRACK_RECORDS_H
#define ORNIVEX_TRACK_TRACK_RECORDS_H

#include <cstdint>

#include "atom/records.h"
#include "atom/status.h"

struct SampleIndexEntry {
  uint32_t time_stamp;   // decode time, media timescale units
  uint32_t file_offset;  // absolute offset of the sample's first byte
  uint32_t temp_offset;  // offset in the writer's temporary file
  uint32_t size;
  uint32_t spare;
};

struct KeyFrameEntry {
  uint32_t time_stamp;
  uint32_t sample_index;  // 0-based
};

// Media types, from the handler type of `hdlr`.
enum MediaType : int32_t {
  kMediaNone = 0,
  kMediaVideo = 1,
  kMediaAudio = 2,
  kMediaHint = 3,
  kMediaObjectDescriptor = 4,
  kMediaScene = 5,
  kMediaUnknown = -99,
};

struct SampleWindow;

struct ReadTrackNode {
  uint32_t spare;
  int32_t media_type;
  uint32_t sample_count;
  uint32_t key_count;
  uint32_t table_capacity;
  SampleIndexEntry* sample_table;
  KeyFrameEntry* key_table;  // video only
  AtomNode* trak;            // borrowed from the tree
  ReadTrackNode* next;
  SampleWindow* window;  // the sample reads' read-ahead, made on first use
};

// The sample table (and for video the key-frame table, half as large) for
// `capacity` samples: kNotFound for a capacity below 1, kFailed when a
// block cannot be had (nothing is kept then).
Status AllocVideoTrackTables(ReadTrackNode** slot, int32_t capacity);
Status AllocAudioTrackTables(ReadTrackNode** slot, int32_t capacity);
void FreeTrackNodeChain(ReadTrackNode** slot);

// The trak of an opened track, or null when `trackId` has no node.
const AtomNode* OpenedTrak(const MP4_input_file* file, uint32_t trackId);

#endif  // ORNIVEX_TRACK_TRACK_RECORDS_H
