// The five sample tables of a track, built in one go from its TrackNode
// chain: each step fills the table atom's record, hangs a fresh entry array
// (big-endian entries) off it and hands out the atom size. A step that
// cannot have its entry array fails without a message of its own; the
// enclosing stbl names it.
#ifndef ORNIVEX_SERIALISE_SAMPLE_TABLES_H
#define ORNIVEX_SERIALISE_SAMPLE_TABLES_H

#include <cstdint>

#include "atom/records.h"
#include "atom/status.h"
#include "serialise/atom_sizing.h"
#include "writer/track_node.h"

// Decode times to sample durations; also sets the track's Duration.
Status SizeSttsAtom(AtomNode* node, TrackNode* track, uint32_t* size);
// One constant size, or one size per sample.
Status SizeStszAtom(AtomNode* node, const TrackNode* track, const TrackTotals& totals,
                    uint32_t* size);
// Chunks: one per key frame for video (samples before the first key frame
// form a chunk of their own), 30 samples for the other streams. kFailed for
// a hint or unknown track type.
Status SizeStscAtom(AtomNode* node, const TrackNode* track, const TrackTotals& totals,
                    uint32_t* size);
// The temporary-file offset of each chunk's first sample.
Status SizeStcoAtom(AtomNode* node, const TrackNode* track, const TrackTotals& totals,
                    uint32_t* size);
// Sync samples, numbered from 1.
Status SizeStssAtom(AtomNode* node, const TrackNode* track, const TrackTotals& totals,
                    uint32_t* size);

#endif  // ORNIVEX_SERIALISE_SAMPLE_TABLES_H
