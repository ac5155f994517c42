#include "track/track_records.h"

#include "atom/helpers.h"

namespace {

int AllocTables(ReadTrackNode* node, int32_t capacity, bool video) {
  if (capacity < 1) return -97;
  node->table_capacity = static_cast<uint32_t>(capacity);
  node->sample_table = static_cast<SampleIndexEntry*>(
      AllocZeroed(size_t(node->table_capacity) * sizeof(SampleIndexEntry)));
  if (node->sample_table == nullptr) return -96;
  if (video) {
    // Room for every other sample; the index builder grows it for a track
    // with more sync samples than that.
    node->key_table = static_cast<KeyFrameEntry*>(
        AllocZeroed(size_t(node->table_capacity / 2) * sizeof(KeyFrameEntry)));
    if (node->key_table == nullptr) {
      FreeBlock(node->sample_table);
      node->sample_table = nullptr;
      return -95;
    }
  }
  return 1;
}

}  // namespace

int AllocVideoTrackTables(ReadTrackNode** slot, int32_t capacity) {
  return AllocTables(*slot, capacity, true);
}

int AllocAudioTrackTables(ReadTrackNode** slot, int32_t capacity) {
  return AllocTables(*slot, capacity, false);
}

int FreeTrackNodeChain(ReadTrackNode** slot) {
  ReadTrackNode* node = *slot;
  while (node != nullptr) {
    ReadTrackNode* next = node->next;
    FreeBlock(node->key_table);
    FreeBlock(node->sample_table);
    FreeBlock(node);
    node = next;
  }
  *slot = nullptr;
  return 1;
}
