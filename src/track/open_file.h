// Opening a file for reading: its atom tree and the index of every video
// and audio track; and releasing them again.
#ifndef ORNIVEX_TRACK_OPEN_FILE_H
#define ORNIVEX_TRACK_OPEN_FILE_H

#include "atom/records.h"
#include "atom/status.h"

// Fills a zero-filled record from the file at `path`; kFailed after the
// open sequence's messages, with nothing left open (file->root null).
Status OpenInputFile(MP4_input_file* file, const char* path);
// Releases the tracks, closes the stream, releases the tree and then the
// record itself, and sets *file to null: closing twice through the same
// handle is harmless. A null *file is left alone.
void CloseInputFile(MP4_input_file** file);

#endif  // ORNIVEX_TRACK_OPEN_FILE_H
