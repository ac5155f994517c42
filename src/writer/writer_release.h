// Releasing what the writer built: atom subtrees, track chains and a whole
// writer record that is not flushed.
#ifndef ORNIVEX_WRITER_WRITER_RELEASE_H
#define ORNIVEX_WRITER_WRITER_RELEASE_H

#include "atom/records.h"
#include "atom/status.h"
#include "writer/track_node.h"

// Releases every descendant of `atom`: their tables and texts, their bodies
// and the nodes. The atom itself is left to the caller, with no children.
Status FreeWriterSubTree(AtomNode* atom);

// Releases a track's block chain with its tables and, when it is not linked
// into a tree (no parent), the track's `trak` subtree. A linked `trak`
// belongs to its tree and is left alone.
void ReleaseTrackChain(TrackNode* first);

// Releases a writer record that was never flushed: closes the temporary
// files (which stay on disk with the frames appended) and the output file,
// releases the tree, the four tracks, the root and the record. Null is
// ignored.
void ReleaseWriterFile(MP4_local_file* file);

#endif  // ORNIVEX_WRITER_WRITER_RELEASE_H
