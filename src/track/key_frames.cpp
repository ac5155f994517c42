// Stepping through the key frames of the video track with one cursor for
// both directions: a change of direction returns the neighbouring key frame.
#include "atom/helpers.h"
#include "platform/report.h"
#include "track/sample_access.h"

namespace {

// The three tests of every key-frame call: a file, a node, the video track.
ReadTrackNode* VideoNodeOf(MP4_input_file* file, uint32_t trackId) {
  ReadTrackNode* node = TrackNodeOf(file, trackId);
  if (node == nullptr || trackId != file->video_track_id) return nullptr;
  return node;
}

enum class Direction { kNext, kPrev };

// Reads key frame `k` into the buffer, which grows only when it is too
// small; kFailed after a message.
Status ReadKeyFrame(MP4_input_file* file, ReadTrackNode* node, int32_t k, SampleBuffer* buffer,
                    uint32_t* sizeOut, Direction direction) {
  const uint32_t index = node->key_table[k].sample_index;
  Report("cursor is [%d]\n", static_cast<int>(index));
  const SampleIndexEntry& e = node->sample_table[index];
  *sizeOut = e.size;
  if (SampleInsideFile(file, e) && buffer->Capacity() < e.size && !buffer->Realloc(e.size)) {
    Report("error to allocate a memory in Get Next key Sample at sample - video-[%d]", k);
    *sizeOut = 0;
    return Status::kFailed;
  }
  if (!SampleInsideFile(file, e) || buffer->Data() == nullptr ||
      !ReadSampleBytes(file, node, index, buffer->Data())) {
    if (direction == Direction::kNext)
      Report("error to read sample from file in Get Next key Sample at sample - video-[%d]", k);
    else
      Report("error to read sample from file in Get Prev key Sample at sample - video-[%d]", k);
    *sizeOut = 0;
    return Status::kFailed;
  }
  return Status::kOk;
}

}  // namespace

Status GetNextKeySample(MP4_input_file* file, uint32_t trackId, SampleBuffer* buffer,
                        uint32_t* sizeOut) {
  ReadTrackNode* node = VideoNodeOf(file, trackId);
  if (node == nullptr) return Status::kNotFound;
  // a cursor left before the first key frame by a backward walk starts
  // again at the first
  if (file->key_cursor < 0) file->key_cursor = 0;
  if (static_cast<uint32_t>(file->key_cursor) >= node->key_count) {
    Report("End of video track , key frame num - video- [%d]\n", file->key_cursor);
    return Status::kEnd;
  }
  const int32_t k = file->key_cursor++;
  return ReadKeyFrame(file, node, k, buffer, sizeOut, Direction::kNext);
}

Status GetPrevKeySample(MP4_input_file* file, uint32_t trackId, SampleBuffer* buffer,
                        uint32_t* sizeOut) {
  ReadTrackNode* node = VideoNodeOf(file, trackId);
  if (node == nullptr) return Status::kNotFound;
  if (int64_t{file->key_cursor} >= int64_t{node->key_count})
    file->key_cursor = static_cast<int32_t>(node->key_count) - 1;
  if (file->key_cursor < 0) {
    Report("Begin of video track ,key frame num - video- [%d]\n", file->key_cursor);
    return Status::kEnd;
  }
  const int32_t k = file->key_cursor--;
  return ReadKeyFrame(file, node, k, buffer, sizeOut, Direction::kPrev);
}

Status SetKeyCursorToBegin(MP4_input_file* file, uint32_t trackId) {
  if (VideoNodeOf(file, trackId) == nullptr) return Status::kNotFound;
  file->key_cursor = 0;
  return Status::kOk;
}

Status SetKeyCursorToEnd(MP4_input_file* file, uint32_t trackId) {
  const ReadTrackNode* node = VideoNodeOf(file, trackId);
  if (node == nullptr) return Status::kNotFound;
  file->key_cursor = static_cast<int32_t>(node->key_count) - 1;
  return Status::kOk;
}
