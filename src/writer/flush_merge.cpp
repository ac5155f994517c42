// Merging a track's chain of table blocks into one block before the flush
// builds its sample tables.
#include "atom/helpers.h"
#include "writer/flush.h"

namespace {

// The chain's entry totals, when every block continues the ones before it
// (the serialiser's block check reports a chain that does not).
bool ChainTotals(const TrackNode* first, uint32_t* samples, uint32_t* key_frames) {
  uint64_t s = 0, k = 0;
  for (const TrackNode* b = first; b != nullptr; b = b->NextBlock) {
    if (b->FirstSample != s || b->FirstKeyFrame != k || b->SampleCount > b->TableCapacity)
      return false;
    s += b->SampleCount;
    k += b->KeyFrameCount;
    if (s > UINT32_MAX || k > UINT32_MAX) return false;
  }
  *samples = static_cast<uint32_t>(s);
  *key_frames = static_cast<uint32_t>(k);
  return true;
}

}  // namespace

void MergeTrackBlocks(TrackNode** track) {
  TrackNode* first = *track;
  if (first == nullptr || first->NextBlock == nullptr) return;
  uint32_t samples = 0, key_frames = 0;
  if (!ChainTotals(first, &samples, &key_frames)) return;
  TrackNode* merged = static_cast<TrackNode*>(AllocZeroed(sizeof(TrackNode)));
  if (merged == nullptr) return;
  *merged = *first;
  merged->NextBlock = nullptr;
  merged->SampleCount = samples;
  merged->TableCapacity = samples;
  merged->KeyFrameCount = key_frames;
  merged->SampleTable =
      static_cast<SampleIndexEntry*>(AllocZeroed(size_t{samples} * sizeof(SampleIndexEntry)));
  merged->KeyFrameTable =
      static_cast<KeyFrameEntry*>(AllocZeroed(size_t{key_frames} * sizeof(KeyFrameEntry)));
  if (merged->SampleTable == nullptr || merged->KeyFrameTable == nullptr) {
    FreeBlock(merged->SampleTable);
    FreeBlock(merged->KeyFrameTable);
    FreeBlock(merged);
    return;
  }
  // each old block goes as soon as it is copied, so the tables are held
  // about once, not twice
  for (TrackNode* b = first; b != nullptr;) {
    for (uint32_t i = 0; i < b->SampleCount; ++i)
      merged->SampleTable[b->FirstSample + i] = b->SampleTable[i];
    for (uint32_t j = 0; j < b->KeyFrameCount; ++j)
      merged->KeyFrameTable[b->FirstKeyFrame + j] = b->KeyFrameTable[j];
    TrackNode* next = b->NextBlock;
    FreeBlock(b->SampleTable);
    FreeBlock(b->KeyFrameTable);
    FreeBlock(b);
    b = next;
  }
  *track = merged;
}
