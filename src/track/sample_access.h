// Reading samples: the internals behind the sample and key-frame exports,
// and what they share (choosing the track, reading a sample's bytes,
// searching time stamps).
#ifndef ORNIVEX_TRACK_SAMPLE_ACCESS_H
#define ORNIVEX_TRACK_SAMPLE_ACCESS_H

#include <cstdint>

#include "atom/records.h"
#include "atom/status.h"
#include "track/sample_buffer.h"
#include "track/track_records.h"

// The sequential read: the sample at the track's cursor into `buffer`,
// whose key flag it sets for video; the cursor moves on, also when the read
// fails. kNotFound for no file or a track that is neither the video nor the
// audio track, kEnd past the last sample, kFailed when the sample cannot be
// read; each after its message.
Status GetNextSample(MP4_input_file* file, uint32_t trackId, SampleBuffer* buffer,
                     uint32_t* sizeOut, uint32_t* timeOut);
// The same read, as MP4GetNextSample makes it with a fresh buffer of its
// own: the sample in a new caller-owned block (the buffer's, 10 bytes
// beyond the sample), with the same messages and results; no key flag.
Status GetNextSampleBlock(MP4_input_file* file, uint32_t trackId, unsigned char** blockOut,
                          uint32_t* sizeOut, uint32_t* timeOut);

// GetSample and SeekTrack: the sample at `time` (SeekTrack: on the video
// track the key frame at or before it) into a new caller-owned block, its
// time stamp in *stampOut; the cursor moves behind it. kNotFound without
// the track or a sample to read, kFailed when it cannot be read.
Status ReadSampleAtTime(MP4_input_file* file, uint32_t trackId, int32_t time,
                        unsigned char** dataOut, uint32_t* sizeOut, uint32_t* stampOut);
Status ReadKeyFrameAtTime(MP4_input_file* file, uint32_t trackId, int32_t time,
                          unsigned char** dataOut, uint32_t* sizeOut, uint32_t* stampOut);

// The key-frame cursor at either end: kNotFound unless `trackId` is the
// video track.
Status SetKeyCursorToBegin(MP4_input_file* file, uint32_t trackId);
Status SetKeyCursorToEnd(MP4_input_file* file, uint32_t trackId);
// The key frame at the key-frame cursor into `buffer`; the cursor moves
// forward (Next) or back (Prev). kNotFound unless `trackId` is the video
// track, kEnd past the last (Next) or before the first (Prev) key frame,
// kFailed when the sample cannot be read.
Status GetNextKeySample(MP4_input_file* file, uint32_t trackId, SampleBuffer* buffer,
                        uint32_t* sizeOut);
Status GetPrevKeySample(MP4_input_file* file, uint32_t trackId, SampleBuffer* buffer,
                        uint32_t* sizeOut);

enum class TrackBranch { kVideo, kAudio };

// The node of `trackId`, or null after "mp4 file uncreated" (null file) or
// "No such track id [%d]" (no node; IDs of 400 and above have none).
ReadTrackNode* TrackNodeOf(const MP4_input_file* file, uint32_t trackId);
// Which reading cursor a track ID uses: the video track's is tested first.
bool BranchOf(const MP4_input_file* file, uint32_t trackId, TrackBranch* branch);

// Reads the bytes of the node's sample `index` into `out`, which has room
// for its size; false when they are not all there. Nothing is read for a
// sample that ends past the file. Reads go by offset, not through the
// stream, so the reads of different tracks interleave freely.
bool ReadSampleBytes(const MP4_input_file* file, ReadTrackNode* node, uint32_t index, void* out);
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

// Whether `sampleIndex` is a sync sample, with its key-frame position in
// *hintRef. The key-frame table ascends, so a binary search finds what a
// walk from the hint would, wherever the hint points.
bool FindKeyFrameIndex(uint32_t sampleIndex, const ReadTrackNode* node, int32_t* hintRef);

#endif  // ORNIVEX_TRACK_SAMPLE_ACCESS_H
