// A track's sample and key-frame tables: a chain of TrackNode blocks.
#ifndef ORNIVEX_WRITER_TABLE_BLOCKS_H
#define ORNIVEX_WRITER_TABLE_BLOCKS_H

#include <cstdint>

#include "atom/status.h"
#include "writer/track_node.h"

// Gives the chain in *chain a block of `capacity` sample slots and as many
// key-frame slots: the block itself when it has no tables yet, else a new
// block linked after the last one. On failure the chain is as it was and
// whatever this call obtained is released.
Status CreateSampleAndKeyFrameTable(TrackNode** chain, int32_t capacity);

// The last block of a chain.
TrackNode* LastBlock(TrackNode* first);

// Releases every block of the chain with its two tables; the blocks' `Trak`
// is left alone.
void FreeTrackBlocks(TrackNode* first);

#endif  // ORNIVEX_WRITER_TABLE_BLOCKS_H
