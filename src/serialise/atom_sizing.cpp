#include "serialise/atom_sizing.h"

#include <cstddef>

#include "atom/atom_bodies.h"
#include "atom/atom_types.h"
#include "atom/helpers.h"
#include "platform/report.h"

void SetAtomSize(AtomNode* node, uint32_t size) {
  node->size = size;
  SetRecordU32(node->realStructure, 0, size);
}

bool TableAtomSize(uint32_t fixed, uint64_t count, uint32_t entry_size, uint32_t* size) {
  const uint64_t total = fixed + count * entry_size;
  if (total > UINT32_MAX) return false;
  *size = static_cast<uint32_t>(total);
  return true;
}

unsigned char* AllocEntryArray(uint64_t count, uint32_t entry_size) {
  const uint64_t bytes = count * entry_size;  // count < 2^32, so no overflow
  if (bytes > SIZE_MAX) return nullptr;
  return static_cast<unsigned char*>(AllocZeroed(static_cast<size_t>(bytes)));
}

void ReplaceEntryArray(AtomNode* node, void* block) {
  AtomTypeInfo info;
  (void)GetAtomPassInfo(node, &info);  // only table types reach here
  FreeBlock(GetTrailingBlock(node->realStructure, info));
  SetTrailingBlock(node->realStructure, info, block);
}

Status CheckTrackBlocks(const TrackNode* first, TrackTotals* totals) {
  uint64_t samples = 0, key_frames = 0;
  for (const TrackNode* b = first; b != nullptr; b = b->NextBlock) {
    samples += b->SampleCount;
    key_frames += b->KeyFrameCount;
    // a block's count beyond its own slots would send the tables past them
    if (uint64_t{b->FirstSample} + b->SampleCount != samples || samples > UINT32_MAX ||
        b->SampleCount > b->TableCapacity || (b->SampleCount > 0 && b->SampleTable == nullptr)) {
      Report("Error value in the TrackNode's SampleCount;\n");
      return Status::kFailed;
    }
    if (uint64_t{b->FirstKeyFrame} + b->KeyFrameCount != key_frames ||
        (b->KeyFrameCount > 0 && b->KeyFrameTable == nullptr)) {
      Report("Error value in the TrackNode's KeyFrameCount;\n");
      return Status::kFailed;
    }
  }
  totals->samples = static_cast<uint32_t>(samples);
  totals->key_frames = static_cast<uint32_t>(key_frames);
  return Status::kOk;
}

ChainCursor StartOfChain(const TrackNode* first) {
  return ChainCursor{first, first};
}

const SampleIndexEntry* SampleAt(ChainCursor* cursor, uint32_t sample) {
  const TrackNode* b = cursor->block;
  if (b == nullptr || sample < b->FirstSample) b = cursor->first;
  while (b != nullptr && sample - b->FirstSample >= b->SampleCount) {
    if (sample < b->FirstSample) return nullptr;
    b = b->NextBlock;
  }
  if (b == nullptr) return nullptr;
  cursor->block = b;
  return &b->SampleTable[sample - b->FirstSample];
}

const KeyFrameEntry* KeyFrameAt(ChainCursor* cursor, uint32_t key_frame) {
  const TrackNode* b = cursor->block;
  if (b == nullptr || key_frame < b->FirstKeyFrame) b = cursor->first;
  while (b != nullptr && key_frame - b->FirstKeyFrame >= b->KeyFrameCount) {
    if (key_frame < b->FirstKeyFrame) return nullptr;
    b = b->NextBlock;
  }
  if (b == nullptr) return nullptr;
  cursor->block = b;
  return &b->KeyFrameTable[key_frame - b->FirstKeyFrame];
}
