// Stepping through the key frames of the video track with one cursor for
// both directions: a change of direction returns the neighbouring key frame.
#include <cstdio>

#include "atom/helpers.h"
#include "track/sample_access.h"

namespace {

// The three tests of every key-frame call: a file, a node, the video track.
ReadTrackNode* VideoNodeOf(MP4_input_file* file, uint32_t trackId) {
  ReadTrackNode* node = TrackNodeOf(file, trackId);
  if (node == nullptr || trackId != file->video_track_id) return nullptr;
  return node;
}

// Reads key frame `k` into the buffer, which grows only when it is too
// small. Returns the key frame's time stamp, or -99 after a message.
int64_t ReadKeyFrame(MP4_input_file* file, const ReadTrackNode* node, int32_t k,
                     SampleBuffer* buffer, uint32_t* sizeOut, const char* read_message) {
  const uint32_t index = node->key_table[k].sample_index;
  std::printf("cursor is [%d]\n", static_cast<int>(index));
  const SampleIndexEntry& e = node->sample_table[index];
  *sizeOut = e.size;
  if (SampleInsideFile(file, e) && buffer->Capacity() < e.size && buffer->Realloc(e.size) != 1) {
    std::printf("error to allocate a memory in Get Next key Sample at sample - video-[%d]", k);
    *sizeOut = 0;
    return -99;
  }
  if (!SampleInsideFile(file, e) || buffer->Data() == nullptr ||
      !ReadSampleBytes(file, e.file_offset, e.size, buffer->Data())) {
    std::printf(read_message, k);
    *sizeOut = 0;
    return -99;
  }
  return e.time_stamp;
}

// The two exports around the internal reads: a buffer, the read, a copy.
int32_t KeyFrameExport(MP4_input_file* file, uint32_t trackId, unsigned char** dataOut,
                       uint32_t* sizeOut,
                       int64_t (*read)(MP4_input_file*, uint32_t, SampleBuffer*, uint32_t*)) {
  if (dataOut == nullptr || sizeOut == nullptr) return -1;
  SampleBuffer buffer;
  buffer.Alloc(1);
  if (read(file, trackId, &buffer, sizeOut) < 0) return -1;
  unsigned char* block = HandToCaller(&buffer);
  if (block == nullptr) return -1;
  *dataOut = block;
  return 1;
}

}  // namespace

int64_t GetNextKeySample(MP4_input_file* file, uint32_t trackId, SampleBuffer* buffer,
                         uint32_t* sizeOut) {
  const ReadTrackNode* node = VideoNodeOf(file, trackId);
  if (node == nullptr) return -99;
  if (file->key_cursor < 1) file->key_cursor = 0;  // restart after the beginning
  if (static_cast<uint32_t>(file->key_cursor) >= node->key_count) {
    std::printf("End of video track , key frame num - video- [%d]\n", file->key_cursor);
    return -10;
  }
  const int32_t k = file->key_cursor++;
  return ReadKeyFrame(
      file, node, k, buffer, sizeOut,
      "error to read sample from file in Get Next key Sample at sample - video-[%d]");
}

int64_t GetPrevKeySample(MP4_input_file* file, uint32_t trackId, SampleBuffer* buffer,
                         uint32_t* sizeOut) {
  const ReadTrackNode* node = VideoNodeOf(file, trackId);
  if (node == nullptr) return -99;
  if (int64_t{file->key_cursor} >= int64_t{node->key_count})
    file->key_cursor = static_cast<int32_t>(node->key_count) - 1;
  if (file->key_cursor < 0) {
    std::printf("Begin of video track ,key frame num - video- [%d]\n", file->key_cursor);
    return -11;
  }
  const int32_t k = file->key_cursor--;
  return ReadKeyFrame(
      file, node, k, buffer, sizeOut,
      "error to read sample from file in Get Prev key Sample at sample - video-[%d]");
}

extern "C" ORNIVEX_API int32_t ORNIVEX_CALL GoToBeginOfKeyFrame(MP4_input_file* file,
                                                                uint32_t trackId) {
  if (VideoNodeOf(file, trackId) == nullptr) return -99;
  file->key_cursor = 0;
  return 1;
}

extern "C" ORNIVEX_API int32_t ORNIVEX_CALL GoToEndOfKeyFrame(MP4_input_file* file,
                                                              uint32_t trackId) {
  const ReadTrackNode* node = VideoNodeOf(file, trackId);
  if (node == nullptr) return -99;
  file->key_cursor = static_cast<int32_t>(node->key_count) - 1;
  return 1;
}

extern "C" ORNIVEX_API int32_t ORNIVEX_CALL MP4NextKeyFrame(MP4_input_file* file, uint32_t trackId,
                                                            unsigned char** dataOut,
                                                            uint32_t* sizeOut) {
  return KeyFrameExport(file, trackId, dataOut, sizeOut, GetNextKeySample);
}

extern "C" ORNIVEX_API int32_t ORNIVEX_CALL MP4PrevKeyFrame(MP4_input_file* file, uint32_t trackId,
                                                            unsigned char** dataOut,
                                                            uint32_t* sizeOut) {
  return KeyFrameExport(file, trackId, dataOut, sizeOut, GetPrevKeySample);
}
