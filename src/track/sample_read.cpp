// Reading samples: in sequence, at a time, and at the key frame before a
// time, with one reading cursor per medium.
#include <algorithm>
#include <cstdio>

#include "atom/helpers.h"
#include "track/sample_access.h"

namespace {

const char* const kAllocMessage[] = {
    "error to allocate a memory in Get Next Sample at sample - video-[%d]",
    "error to allocate a memory in Get Next Sample at sample - audio-[%d]"};
const char* const kReadMessage[] = {
    "error to read sample from file in Get Next Sample at sample - video-[%d]",
    "error to read sample from file in Get Next Sample at sample - audio-[%d]"};

int Medium(TrackBranch b) {
  return b == TrackBranch::kVideo ? 0 : 1;
}

int32_t& CursorOf(MP4_input_file* file, TrackBranch b) {
  return b == TrackBranch::kVideo ? file->video_cursor : file->audio_cursor;
}

uint32_t TimescaleOf(const MP4_input_file* file, TrackBranch b) {
  return b == TrackBranch::kVideo ? file->video_info[kVideoTimescale]
                                  : file->audio_info[kAudioTimescale];
}

// An MPEG-4 Visual sample that begins with a VOP start code carries its
// coding type in the top two bits of byte 4; 0 is an intra-coded VOP.
uint32_t KeyFlagOf(const ReadTrackNode* node, uint32_t index, const SampleBuffer& buffer) {
  if (node->key_count == 0) return (buffer.Data()[4] & 0xC0) == 0 ? 1 : 0;
  int32_t hint = 0;
  return static_cast<uint32_t>(FindKeyFrameIndex(index, node, &hint));
}

// What GetSample and SeekTrack share once they chose a sample: sample
// `index` of the medium into a new caller-owned block, the cursor behind it.
int32_t ReadSampleAt(MP4_input_file* file, const ReadTrackNode* node, TrackBranch b, uint32_t index,
                     unsigned char** dataOut, uint32_t* sizeOut) {
  int32_t& cursor = CursorOf(file, b);
  cursor = static_cast<int32_t>(index);
  std::printf("cursor is [%d]\n", cursor);
  const SampleIndexEntry& e = node->sample_table[index];
  *sizeOut = e.size;
  ++cursor;
  unsigned char* block =
      SampleInsideFile(file, e) ? static_cast<unsigned char*>(AllocZeroed(e.size)) : nullptr;
  if (block == nullptr && SampleInsideFile(file, e)) {
    std::printf(kAllocMessage[Medium(b)], static_cast<int>(index));
    *sizeOut = 0;
    *dataOut = nullptr;
    return -99;
  }
  if (!ReadSampleBytes(file, e.file_offset, e.size, block)) {
    std::printf(kReadMessage[Medium(b)], static_cast<int>(index));
    FreeBlock(block);
    *sizeOut = 0;
    *dataOut = nullptr;
    return -99;
  }
  *dataOut = block;
  // The result carries the time stamp, and a result of 0 or more tells the
  // caller that the block is theirs: a later stamp reads as the latest one
  // the result can carry.
  return e.time_stamp > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int32_t>(e.time_stamp);
}

// At or past the end of the media, whatever its last time stamp: the number
// of samples times the timescale, in 64 bits so that long tracks do not wrap.
bool AtOrPastEnd(int32_t time, const ReadTrackNode* node, uint32_t timescale) {
  return int64_t{time} >= int64_t{node->sample_count} * timescale;
}

}  // namespace

int FindKeyFrameIndex(uint32_t sampleIndex, const ReadTrackNode* node, int32_t* hintRef) {
  const KeyFrameEntry* first = node->key_table;
  const KeyFrameEntry* last = first + node->key_count;
  const KeyFrameEntry* at = std::lower_bound(
      first, last, sampleIndex,
      [](const KeyFrameEntry& e, uint32_t index) { return e.sample_index < index; });
  if (at == last || at->sample_index != sampleIndex) return 0;
  *hintRef = static_cast<int32_t>(at - first);
  return 1;
}

int32_t GetNextSample(MP4_input_file* file, uint32_t trackId, SampleBuffer* buffer,
                      uint32_t* sizeOut, uint32_t* timeOut) {
  if (file == nullptr) {
    std::printf("mp4 file uncreated\n");
    return -99;
  }
  const ReadTrackNode* node = TrackNodeOf(file, trackId);
  TrackBranch b;
  if (node == nullptr || !BranchOf(file, trackId, &b)) return -100;
  int32_t& cursor = CursorOf(file, b);
  const bool video = b == TrackBranch::kVideo;
  if (cursor < 0 || static_cast<uint32_t>(cursor) >= node->sample_count) {
    if (video)
      std::printf("End of video track , frame num - video- [%d]\n", cursor);
    else
      std::printf("End of audio track , frame num - audio-[%d]", cursor);
    return video ? -84 : -83;
  }
  const uint32_t index = static_cast<uint32_t>(cursor);
  const SampleIndexEntry& e = node->sample_table[index];
  *timeOut = e.time_stamp;
  *sizeOut = e.size;
  ++cursor;  // the sample counts as consumed, whatever follows

  const int32_t failed = video ? -85 : -86;
  // Video always resizes, to exactly the sample plus 10; audio only grows.
  // A sample that ends past the file gets no buffer: it cannot be read.
  if (SampleInsideFile(file, e) && (video || buffer->Capacity() < e.size) &&
      buffer->Realloc(e.size) != 1) {
    std::printf(kAllocMessage[Medium(b)], static_cast<int>(index));
    *sizeOut = 0;
    return failed;
  }
  if (!SampleInsideFile(file, e) || buffer->Data() == nullptr ||
      !ReadSampleBytes(file, e.file_offset, e.size, buffer->Data())) {
    std::printf(kReadMessage[Medium(b)], static_cast<int>(index));
    *sizeOut = 0;
    return failed;
  }
  if (video) buffer->SetKeyFlag(KeyFlagOf(node, index, *buffer));
  return 1;
}

extern "C" ORNIVEX_API int32_t ORNIVEX_CALL MP4GetNextSample(MP4_input_file* file, uint32_t trackId,
                                                             unsigned char** dataOut,
                                                             uint32_t* sizeOut, uint32_t* timeOut) {
  if (dataOut == nullptr || sizeOut == nullptr || timeOut == nullptr) return -1;
  SampleBuffer buffer;
  buffer.Alloc(1);
  if (GetNextSample(file, trackId, &buffer, sizeOut, timeOut) != 1) return -1;
  unsigned char* block = HandToCaller(&buffer);
  if (block == nullptr) return -1;
  *dataOut = block;
  return 1;
}

namespace {

// GetSample and SeekTrack: the track, then the sample that `pick` chooses.
template <class Pick>
int32_t ReadAtTime(MP4_input_file* file, uint32_t trackId, unsigned char** dataOut,
                   uint32_t* sizeOut, Pick pick) {
  if (dataOut == nullptr || sizeOut == nullptr) return -99;
  ReadTrackNode* node = TrackNodeOf(file, trackId);
  TrackBranch b;
  if (node == nullptr || !BranchOf(file, trackId, &b)) return -99;
  int64_t index = -1;
  if (!pick(node, b, &index)) return -99;
  return ReadSampleAt(file, node, b, static_cast<uint32_t>(index), dataOut, sizeOut);
}

// The sample at `time`: the first for 0 and less, the last at or past the
// end, else the last one that starts at or before `time`.
uint32_t SampleAtTime(const ReadTrackNode* node, int32_t time, uint32_t timescale) {
  if (time <= 0) return 0;
  if (AtOrPastEnd(time, node, timescale)) return node->sample_count - 1;
  return static_cast<uint32_t>(TimeSearch(
      time, node->sample_count, [&](uint32_t i) { return node->sample_table[i].time_stamp; }));
}

// The key frame for SeekTrack on the video track. Only a search by time
// moves the key-frame cursor, to the key frame after the one found; a time
// before the first key frame finds the first.
uint32_t KeyFrameAtTime(MP4_input_file* file, const ReadTrackNode* node, int32_t time) {
  if (time <= 0) return 0;
  if (AtOrPastEnd(time, node, file->video_info[kVideoTimescale])) return node->key_count - 1;
  const int32_t found =
      TimeSearch(time, node->key_count, [&](uint32_t i) { return node->key_table[i].time_stamp; });
  const uint32_t k = found < 0 ? 0 : static_cast<uint32_t>(found);
  file->key_cursor = static_cast<int32_t>(k + 1);
  return k;
}

// A track with no samples has nothing to hand out.
bool HasSamples(const ReadTrackNode* node) {
  if (node->sample_count > 0 && node->sample_table != nullptr) return true;
  std::printf("No sample in track\n");
  return false;
}

}  // namespace

extern "C" ORNIVEX_API int32_t ORNIVEX_CALL GetSample(MP4_input_file* file, uint32_t trackId,
                                                      int32_t time, unsigned char** dataOut,
                                                      uint32_t* sizeOut) {
  return ReadAtTime(file, trackId, dataOut, sizeOut,
                    [&](const ReadTrackNode* node, TrackBranch b, int64_t* index) {
                      if (!HasSamples(node)) return false;
                      *index = SampleAtTime(node, time, TimescaleOf(file, b));
                      return true;
                    });
}

extern "C" ORNIVEX_API int32_t ORNIVEX_CALL SeekTrack(MP4_input_file* file, uint32_t trackId,
                                                      int32_t time, unsigned char** dataOut,
                                                      uint32_t* sizeOut) {
  return ReadAtTime(file, trackId, dataOut, sizeOut,
                    [&](const ReadTrackNode* node, TrackBranch b, int64_t* index) {
                      if (!HasSamples(node)) return false;
                      if (b == TrackBranch::kAudio) {
                        *index = SampleAtTime(node, time, TimescaleOf(file, b));
                        return true;
                      }
                      if (node->key_count == 0) {
                        std::printf("No key frame in track\n");
                        return false;
                      }
                      *index = node->key_table[KeyFrameAtTime(file, node, time)].sample_index;
                      return true;
                    });
}

extern "C" ORNIVEX_API int32_t ORNIVEX_CALL MP4freeData(unsigned char** dataRef) {
  if (dataRef == nullptr) return 1;
  FreeBlock(*dataRef);
  *dataRef = nullptr;
  return 1;
}
