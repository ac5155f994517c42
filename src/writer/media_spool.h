// One medium's share of the writer record: its track, its appending
// counters and its temporary file, so that video and audio share the code.
#ifndef ORNIVEX_WRITER_MEDIA_SPOOL_H
#define ORNIVEX_WRITER_MEDIA_SPOOL_H

#include <cstdint>
#include <cstdio>

#include "atom/records.h"
#include "writer/track_node.h"

struct MediaSpool {
  TrackNode** track;
  uint32_t* sample_count;
  uint32_t* key_count;
  uint32_t* bytes;
  uint32_t* block_index;
  uint32_t* block_key_index;
  FILE** temp;
  unsigned char** temp_buffer;
  char* temp_name;  // kMaxPathLength + 1 characters
};

MediaSpool VideoSpool(MP4_local_file* file);
MediaSpool AudioSpool(MP4_local_file* file);

// Releases the medium's track, if there is one, with its blocks and its
// unlinked trak; closes and deletes its temporary file, and sets the
// counters back to 0.
void ReleaseSpoolTrack(const MediaSpool& spool);

// Copies `name` into the spool and creates the temporary file for writing,
// with a buffer large enough that frames reach it in few, large writes. A
// null name, or one too long to copy, creates nothing; so does a failed
// open. The appends then fail on the missing file.
void OpenSpoolFile(const MediaSpool& spool, const char* name);

// Closes a temporary file's stream, if there is one, and releases its buffer.
void CloseSpoolFile(FILE** temp, unsigned char** buffer);

#endif  // ORNIVEX_WRITER_MEDIA_SPOOL_H
