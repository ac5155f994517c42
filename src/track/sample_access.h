// What the sample reads share: choosing the track, reading a sample's bytes
// and searching time stamps.
#ifndef ORNIVEX_TRACK_SAMPLE_ACCESS_H
#define ORNIVEX_TRACK_SAMPLE_ACCESS_H

#include <cstdint>

#include "atom/records.h"
#include "track/sample_buffer.h"
#include "track/track_records.h"

enum class TrackBranch { kVideo, kAudio };

// The node of `trackId`, or null after "mp4 file uncreated" (null file) or
// "No such track id [%d]" (no node; IDs of 400 and above have none).
ReadTrackNode* TrackNodeOf(const MP4_input_file* file, uint32_t trackId);
// Which reading cursor a track ID uses: the video track's is tested first.
bool BranchOf(const MP4_input_file* file, uint32_t trackId, TrackBranch* branch);

// Reads `size` bytes at `offset` of the file into `out`; false when they
// are not all there. Nothing is read for a sample that ends past the file.
bool ReadSampleBytes(const MP4_input_file* file, uint32_t offset, uint32_t size, void* out);
// Whether a sample lies inside the file, so that a buffer may be sized for it.
bool SampleInsideFile(const MP4_input_file* file, const SampleIndexEntry& e);

// The last of `count` entries whose time stamp is not above `time`, -1
// when the first is already above it. `stamp(i)` gives entry i's stamp.
template <class Stamp>
int32_t TimeSearch(int32_t time, uint32_t count, Stamp stamp) {
  int64_t low = 0, high = int64_t{count} - 1;
  while (low <= high) {
    const int64_t mid = (low + high) / 2;
    const int64_t at = stamp(static_cast<uint32_t>(mid));
    if (time < at) {
      high = mid - 1;
    } else if (time > at) {
      low = mid + 1;
    } else {
      return static_cast<int32_t>(mid);
    }
  }
  return static_cast<int32_t>(high);
}

int32_t GetNextSample(MP4_input_file* file, uint32_t trackId, SampleBuffer* buffer,
                      uint32_t* sizeOut, uint32_t* timeOut);
// 1 when `sampleIndex` is a sync sample, with its key-frame position in
// *hintRef; 0 otherwise. The key-frame table ascends, so a binary search
// finds what a walk from the hint would, wherever the hint points.
int FindKeyFrameIndex(uint32_t sampleIndex, const ReadTrackNode* node, int32_t* hintRef);

// The key-frame reads behind MP4NextKeyFrame and MP4PrevKeyFrame: the key
// frame's time stamp (0 or more), or -99, -10 (past the last key frame) or
// -11 (before the first). 64 bits, so that no time stamp reads as a failure.
int64_t GetNextKeySample(MP4_input_file* file, uint32_t trackId, SampleBuffer* buffer,
                         uint32_t* sizeOut);
int64_t GetPrevKeySample(MP4_input_file* file, uint32_t trackId, SampleBuffer* buffer,
                         uint32_t* sizeOut);

// The block for the caller after a successful read into `buffer`: the
// buffer's own block, which holds the sample and 10 bytes more, so no copy
// is made. MP4freeData releases it. Null when the buffer has none.
inline unsigned char* HandToCaller(SampleBuffer* buffer) {
  return buffer->TakeData();
}

#endif  // ORNIVEX_TRACK_SAMPLE_ACCESS_H
