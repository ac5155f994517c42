#include "track/track_records.h"

#include "atom/helpers.h"
#include "track/sample_window.h"

namespace {

Status AllocTables(ReadTrackNode* node, int32_t capacity, bool video) {
  if (capacity < 1) return Status::kNotFound;
  const uint32_t n = static_cast<uint32_t>(capacity);
  node->sample_table =
      static_cast<SampleIndexEntry*>(AllocZeroed(size_t(n) * sizeof(SampleIndexEntry)));
  if (node->sample_table == nullptr) return Status::kFailed;
  if (video) {
    // Room for every other sample; the index builder grows it for a track
    // with more sync samples than that.
    node->key_table =
        static_cast<KeyFrameEntry*>(AllocZeroed(size_t(n / 2) * sizeof(KeyFrameEntry)));
    if (node->key_table == nullptr) {
      FreeBlock(node->sample_table);
      node->sample_table = nullptr;
      return Status::kFailed;
    }
  }
  // the index never holds more samples than this: a table that could not be
  // had leaves it 0
  node->table_capacity = n;
  return Status::kOk;
}

}  // namespace

Status AllocVideoTrackTables(ReadTrackNode** slot, int32_t capacity) {
  return AllocTables(*slot, capacity, true);
}

Status AllocAudioTrackTables(ReadTrackNode** slot, int32_t capacity) {
  return AllocTables(*slot, capacity, false);
}

void FreeTrackNodeChain(ReadTrackNode** slot) {
  ReadTrackNode* node = *slot;
  while (node != nullptr) {
    ReadTrackNode* next = node->next;
    FreeBlock(node->key_table);
    FreeBlock(node->sample_table);
    FreeSampleWindow(&node->window);
    FreeBlock(node);
    node = next;
  }
  *slot = nullptr;
}

const AtomNode* OpenedTrak(const MP4_input_file* file, uint32_t trackId) {
  if (trackId >= kMaxTrackId || file->tracks[trackId] == nullptr) return nullptr;
  return file->tracks[trackId]->trak;
}
