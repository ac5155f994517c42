// The serialiser: sizes every atom of the writer's tree, fills the bodies
// from the track records and the file record, and writes the tree out.
#ifndef ORNIVEX_SERIALISE_ATOM_SERIALISER_H
#define ORNIVEX_SERIALISE_ATOM_SERIALISER_H

#include <cstdint>

#include "atom/records.h"
#include "atom/status.h"
#include "writer/track_node.h"

// Sizes `node`, an atom of a track's subtree (the flush passes the trak), and
// everything inside it from the track's first block. kOk with the atom's total
// size in *size (also stored in the node and in its record); kNotFound for a
// type that a track does not size (no message); kFailed after a message.
// Sizing changes the track (its Duration, and the decoder configuration of a
// video track), so each track is sized once per flush.
Status SizeTrackAtom(AtomNode* node, TrackNode* track, uint32_t* size);

// Sizes a file-level atom (ftyp, moov, mdat) or a child of moov (mvhd, iods,
// an already sized trak). *size is what the writing pass writes of it: the
// whole atom, except 8 for mdat, whose stored size also counts the media
// that follows its header. Results as SizeTrackAtom.
Status SizeMovieAtom(AtomNode* node, const MP4_local_file* file, uint32_t* size);

// Writes `first` and its siblings, each followed by its children, to the
// root's output file, adding every byte written to root->file_size. kFailed
// after a message when an atom cannot be written whole; the writing stops
// there.
Status WriteAtomTree(const AtomNode* first, Root_atom* root);

#endif  // ORNIVEX_SERIALISE_ATOM_SERIALISER_H
