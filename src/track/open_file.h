// Opening a file for reading: its atom tree and the index of every video
// and audio track; and releasing them again.
#ifndef ORNIVEX_TRACK_OPEN_FILE_H
#define ORNIVEX_TRACK_OPEN_FILE_H

#include "atom/records.h"
#include "atom/status.h"

// Fills a zero-filled record from the file at `path`; kFailed after the
// open sequence's messages, with nothing left open (file->root null).
Status OpenInputFile(MP4_input_file* file, const char* path);
// Releases the tracks, closes the stream and releases the tree; the record
// itself stays, so closing twice is harmless.
void CloseInputFile(MP4_input_file* file);

#endif  // ORNIVEX_TRACK_OPEN_FILE_H
