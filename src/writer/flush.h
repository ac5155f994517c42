// The flush: merges each media track's table blocks, has the serialiser size
// and fill every track, links the traks into moov, moves the chunk offsets to
// file positions, writes the tree and the media, deletes the temporary files
// and releases the writer record. It is the end of a record's life on every
// path.
#ifndef ORNIVEX_WRITER_FLUSH_H
#define ORNIVEX_WRITER_FLUSH_H

#include <cstdint>

#include "atom/records.h"
#include "atom/status.h"
#include "writer/track_node.h"

// MP4FileFlush's work on a non-null record, which is released whatever
// happens. kOk when the whole file was written; kFailed after the message
// of any step that failed (the file then stays as far as it was written).
Status FlushWriterFile(MP4_local_file* file);

// Makes one block of a track's chain, in append order; *track then refers to
// it. A single block stays as it is; so does a chain when no memory can be
// had for the merged tables (the serialiser reads chains too).
void MergeTrackBlocks(TrackNode** track);

// Sizes and fills the track's trak subtree (SizeTrackAtom).
Status FillTrackAtoms(TrackNode* track);

// Adds `base` to every chunk offset of the trak.
Status FixChunkOffsets(AtomNode* trak, uint32_t base);

// Sets the duration of the trak's tkhd and mdhd.
Status SetTrackDuration(AtomNode* trak, uint32_t duration);

// Links the traks into moov, sizes the file-level atoms, fixes the chunk
// offsets and durations, and sets mvhd from the main track.
Status FinaliseMovie(Root_atom* root, MP4_local_file* file);

// Writes the tree, the media data and the object descriptor and scene
// samples, deletes the temporary files and closes the output.
Status WriteMovieFile(MP4_local_file* file);

#endif  // ORNIVEX_WRITER_FLUSH_H
