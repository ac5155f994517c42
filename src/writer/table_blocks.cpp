#include "writer/table_blocks.h"

#include "atom/helpers.h"

namespace {

void ReleaseTables(TrackNode* block) {
  FreeBlock(block->SampleTable);
  FreeBlock(block->KeyFrameTable);
  block->SampleTable = nullptr;
  block->KeyFrameTable = nullptr;
  block->TableCapacity = 0;
}

}  // namespace

TrackNode* LastBlock(TrackNode* first) {
  TrackNode* block = first;
  while (block != nullptr && block->NextBlock != nullptr) block = block->NextBlock;
  return block;
}

Status CreateSampleAndKeyFrameTable(TrackNode** chain, int32_t capacity) {
  if (chain == nullptr || *chain == nullptr || capacity < 1) return Status::kFailed;
  const bool needs_new_block = (*chain)->TableCapacity != 0;
  TrackNode* target = *chain;
  if (needs_new_block) {
    target = static_cast<TrackNode*>(AllocZeroed(sizeof(TrackNode)));
    if (target == nullptr) return Status::kFailed;
  }
  const size_t slots = static_cast<size_t>(capacity);
  target->SampleTable =
      static_cast<SampleIndexEntry*>(AllocZeroed(slots * sizeof(SampleIndexEntry)));
  target->KeyFrameTable = static_cast<KeyFrameEntry*>(AllocZeroed(slots * sizeof(KeyFrameEntry)));
  if (target->SampleTable == nullptr || target->KeyFrameTable == nullptr) {
    ReleaseTables(target);
    if (needs_new_block) FreeBlock(target);
    return Status::kFailed;
  }
  target->TableCapacity = static_cast<uint32_t>(capacity);
  if (needs_new_block) LastBlock(*chain)->NextBlock = target;
  return Status::kOk;
}

void FreeTrackBlocks(TrackNode* first) {
  while (first != nullptr) {
    TrackNode* next = first->NextBlock;
    ReleaseTables(first);
    FreeBlock(first);
    first = next;
  }
}
