// What the sizing steps share: storing a size, hanging a fresh entry array
// off a table record, and walking a track's chain of table blocks.
#ifndef ORNIVEX_SERIALISE_ATOM_SIZING_H
#define ORNIVEX_SERIALISE_ATOM_SIZING_H

#include <cstdint>

#include "atom/records.h"
#include "atom/status.h"
#include "writer/track_node.h"

// Stores a size in the node (host order) and in record bytes 0 to 3.
void SetAtomSize(AtomNode* node, uint32_t size);

// The atom size of a fixed part plus `count` entries, when it fits 32 bits.
bool TableAtomSize(uint32_t fixed, uint64_t count, uint32_t entry_size, uint32_t* size);

// A zero-filled array of count x entry_size bytes (never null for a count of
// 0), or null when it cannot be had.
unsigned char* AllocEntryArray(uint64_t count, uint32_t entry_size);

// Releases the table record's current entry array and hangs `block` there.
void ReplaceEntryArray(AtomNode* node, void* block);

// Samples and key frames of a whole chain, after the block check.
struct TrackTotals {
  uint32_t samples;
  uint32_t key_frames;
};

// Checks that each block's first sample and key frame continue the blocks
// before it, and that its tables hold its entries; prints the count message
// and fails otherwise.
Status CheckTrackBlocks(const TrackNode* first, TrackTotals* totals);

// Entry access by track-wide number on a chain that passed the block check.
// The cursor remembers its block, so walking forward costs nothing extra.
struct ChainCursor {
  const TrackNode* first;
  const TrackNode* block;
};
ChainCursor StartOfChain(const TrackNode* first);
const SampleIndexEntry* SampleAt(ChainCursor* cursor, uint32_t sample);
const KeyFrameEntry* KeyFrameAt(ChainCursor* cursor, uint32_t key_frame);

#endif  // ORNIVEX_SERIALISE_ATOM_SIZING_H
