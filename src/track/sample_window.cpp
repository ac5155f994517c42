#include "track/sample_window.h"

#include <cstring>
#include <initializer_list>

#include "atom/helpers.h"
#include "platform/platform.h"
#include "track/track_records.h"

namespace {

constexpr uint32_t kMaxRunSamples = kSampleWindowSize / 16;

// The end of the bytes that one read brings in for sample `index`: the
// samples of the track that follow it further on in the file, as long as
// they are small, inside the file and within one window of its start, and
// make up at least a quarter of the bytes read. What lies between them (in
// an interleaved file, the other track's samples) comes in too, so that a
// reader going by time finds those in this window; a track whose samples
// are sparse in the file (a few hundred bytes of audio between kilobytes of
// video) reads them one by one instead.
uint64_t RunEnd(const Root_atom* root, const ReadTrackNode* node, uint32_t index) {
  const SampleIndexEntry* table = node->sample_table;
  const uint64_t start = table[index].file_offset;
  uint64_t end = start + table[index].size;
  uint64_t useful = table[index].size;
  // empty samples take no room: the walk is bounded by their number too
  const uint32_t last =
      node->sample_count - index > kMaxRunSamples ? index + kMaxRunSamples : node->sample_count;
  for (uint32_t j = index + 1; j < last; ++j) {
    const uint64_t offset = table[j].file_offset;
    const uint64_t next_end = offset + table[j].size;
    if (offset < end || table[j].size >= kDirectReadSize || next_end > root->file_size ||
        next_end - start > kSampleWindowSize || (useful + table[j].size) * 4 < next_end - start)
      break;
    end = next_end;
    useful += table[j].size;
  }
  return end;
}

bool Holds(const SampleWindow* w, const SampleIndexEntry& e) {
  return w != nullptr && e.file_offset >= w->start &&
         uint64_t{e.file_offset} + e.size <= uint64_t{w->start} + w->length;
}

// The window that holds the sample: the track's own, or the other read
// track's, which in an interleaved file often took it in along with its own.
const SampleWindow* WindowHolding(const MP4_input_file* file, const ReadTrackNode* node,
                                  const SampleIndexEntry& e) {
  if (Holds(node->window, e)) return node->window;
  for (uint32_t id : {file->video_track_id, file->audio_track_id}) {
    const ReadTrackNode* other = id < kMaxTrackId ? file->tracks[id] : nullptr;
    if (other != nullptr && other != node && Holds(other->window, e)) return other->window;
  }
  return nullptr;
}

// Refills the node's window with the run that begins at sample `index`;
// null when no window can be had or the run cannot be read.
const SampleWindow* Refill(const Root_atom* root, ReadTrackNode* node, uint32_t index) {
  if (node->window == nullptr)
    node->window = static_cast<SampleWindow*>(AllocZeroed(sizeof(SampleWindow)));
  SampleWindow* w = node->window;
  if (w == nullptr) return nullptr;
  const uint64_t end = RunEnd(root, node, index);
  w->start = node->sample_table[index].file_offset;
  w->length = 0;
  if (!ReadFileAt(root->file, w->start, w->bytes, static_cast<size_t>(end - w->start)))
    return nullptr;
  w->length = static_cast<uint32_t>(end - w->start);
  return w;
}

}  // namespace

bool ReadIndexedSample(const MP4_input_file* file, ReadTrackNode* node, uint32_t index, void* out) {
  const Root_atom* root = file->root;
  const SampleIndexEntry& e = node->sample_table[index];
  if (root == nullptr || root->file == nullptr ||
      uint64_t{e.file_offset} + e.size > root->file_size)
    return false;
  if (e.size == 0) return true;
  if (e.size >= kDirectReadSize) return ReadFileAt(root->file, e.file_offset, out, e.size);
  const SampleWindow* w = WindowHolding(file, node, e);
  if (w == nullptr) w = Refill(root, node, index);
  // without a window the sample is read on its own
  if (w == nullptr) return ReadFileAt(root->file, e.file_offset, out, e.size);
  std::memcpy(out, w->bytes + (e.file_offset - w->start), e.size);
  return true;
}

void FreeSampleWindow(SampleWindow** window) {
  FreeBlock(*window);
  *window = nullptr;
}
