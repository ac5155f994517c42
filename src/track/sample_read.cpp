// Reading samples: in sequence, at a time, and at the key frame before a
// time, with one reading cursor per medium.
#include <algorithm>
#include <cstring>

#include "atom/helpers.h"
#include "platform/report.h"
#include "track/sample_access.h"

namespace {

int32_t& CursorOf(MP4_input_file* file, TrackBranch b) {
  return b == TrackBranch::kVideo ? file->video_cursor : file->audio_cursor;
}

uint32_t TimescaleOf(const MP4_input_file* file, TrackBranch b) {
  return b == TrackBranch::kVideo ? file->video_info[kVideoTimescale]
                                  : file->audio_info[kAudioTimescale];
}

void ReportAllocFailure(TrackBranch b, uint32_t index) {
  if (b == TrackBranch::kVideo)
    Report("error to allocate a memory in Get Next Sample at sample - video-[%d]",
           static_cast<int>(index));
  else
    Report("error to allocate a memory in Get Next Sample at sample - audio-[%d]",
           static_cast<int>(index));
}

void ReportReadFailure(TrackBranch b, uint32_t index) {
  if (b == TrackBranch::kVideo)
    Report("error to read sample from file in Get Next Sample at sample - video-[%d]",
           static_cast<int>(index));
  else
    Report("error to read sample from file in Get Next Sample at sample - audio-[%d]",
           static_cast<int>(index));
}

// Without a sync sample table to go by, an MPEG-4 Visual sample that begins
// with a VOP start code (00 00 01 B6) carries its coding type in the top two
// bits of byte 4; 0 is an intra-coded VOP. Anything else is no key frame.
uint32_t KeyFlagOf(const ReadTrackNode* node, uint32_t index, const unsigned char* data,
                   uint32_t size) {
  if (node->key_count != 0) {
    int32_t hint = 0;
    return FindKeyFrameIndex(index, node, &hint) ? 1 : 0;
  }
  static constexpr unsigned char kVopStart[4] = {0, 0, 1, 0xB6};
  return size >= 5 && std::memcmp(data, kVopStart, 4) == 0 && (data[4] & 0xC0) == 0 ? 1 : 0;
}

// What GetSample and SeekTrack share once they chose a sample: sample
// `index` of the medium into a new caller-owned block, the cursor behind it.
Status ReadSampleAt(MP4_input_file* file, ReadTrackNode* node, TrackBranch b, uint32_t index,
                    unsigned char** dataOut, uint32_t* sizeOut, uint32_t* stampOut) {
  int32_t& cursor = CursorOf(file, b);
  cursor = static_cast<int32_t>(index);
  Report("cursor is [%d]\n", cursor);
  const SampleIndexEntry& e = node->sample_table[index];
  *sizeOut = e.size;
  ++cursor;
  // a sample that ends past the file gets no block: it cannot be read
  const bool inside = SampleInsideFile(file, e);
  unsigned char* block = inside ? static_cast<unsigned char*>(AllocZeroed(e.size)) : nullptr;
  if (block == nullptr && inside) {
    ReportAllocFailure(b, index);
    *sizeOut = 0;
    *dataOut = nullptr;
    return Status::kFailed;
  }
  if (!ReadSampleBytes(file, node, index, block)) {
    ReportReadFailure(b, index);
    FreeBlock(block);
    *sizeOut = 0;
    *dataOut = nullptr;
    return Status::kFailed;
  }
  *dataOut = block;
  *stampOut = e.time_stamp;
  return Status::kOk;
}

// At or past the end of the media, whatever its last time stamp: the number
// of samples times the timescale, in 64 bits so that long tracks do not wrap.
bool AtOrPastEnd(int32_t time, const ReadTrackNode* node, uint32_t timescale) {
  return int64_t{time} >= int64_t{node->sample_count} * timescale;
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

// The track of a timed read, with samples to hand out; null after a message.
ReadTrackNode* TimedTrack(MP4_input_file* file, uint32_t trackId, TrackBranch* b) {
  ReadTrackNode* node = TrackNodeOf(file, trackId);
  if (node == nullptr || !BranchOf(file, trackId, b)) return nullptr;
  if (node->sample_count > 0 && node->sample_table != nullptr) return node;
  Report("No sample in track\n");
  return nullptr;
}

}  // namespace

bool FindKeyFrameIndex(uint32_t sampleIndex, const ReadTrackNode* node, int32_t* hintRef) {
  const KeyFrameEntry* first = node->key_table;
  const KeyFrameEntry* last = first + node->key_count;
  const KeyFrameEntry* at = std::lower_bound(
      first, last, sampleIndex,
      [](const KeyFrameEntry& e, uint32_t index) { return e.sample_index < index; });
  if (at == last || at->sample_index != sampleIndex) return false;
  *hintRef = static_cast<int32_t>(at - first);
  return true;
}

namespace {

// What every sequential read begins with: the track, the end test, and the
// sample at the medium's cursor, whose time and size are reported and which
// counts as consumed from here on, whatever follows.
Status TakeNextSample(MP4_input_file* file, uint32_t trackId, ReadTrackNode** nodeOut,
                      TrackBranch* b, uint32_t* indexOut, uint32_t* sizeOut, uint32_t* timeOut) {
  ReadTrackNode* node = TrackNodeOf(file, trackId);
  if (node == nullptr || !BranchOf(file, trackId, b)) return Status::kNotFound;
  int32_t& cursor = CursorOf(file, *b);
  if (cursor < 0 || static_cast<uint32_t>(cursor) >= node->sample_count) {
    if (*b == TrackBranch::kVideo)
      Report("End of video track , frame num - video- [%d]\n", cursor);
    else
      Report("End of audio track , frame num - audio-[%d]", cursor);
    return Status::kEnd;
  }
  const uint32_t index = static_cast<uint32_t>(cursor);
  const SampleIndexEntry& e = node->sample_table[index];
  *timeOut = e.time_stamp;
  *sizeOut = e.size;
  ++cursor;
  *nodeOut = node;
  *indexOut = index;
  return Status::kOk;
}

}  // namespace

Status GetNextSample(MP4_input_file* file, uint32_t trackId, SampleBuffer* buffer,
                     uint32_t* sizeOut, uint32_t* timeOut) {
  ReadTrackNode* node = nullptr;
  TrackBranch b;
  uint32_t index = 0;
  const Status taken = TakeNextSample(file, trackId, &node, &b, &index, sizeOut, timeOut);
  if (!Ok(taken)) return taken;
  const SampleIndexEntry& e = node->sample_table[index];
  const bool video = b == TrackBranch::kVideo;

  // Video always resizes, to exactly the sample plus 10; audio only grows.
  // A sample that ends past the file gets no buffer: it cannot be read.
  if (SampleInsideFile(file, e) && (video || buffer->Capacity() < e.size) &&
      !buffer->Realloc(e.size)) {
    ReportAllocFailure(b, index);
    *sizeOut = 0;
    return Status::kFailed;
  }
  if (!SampleInsideFile(file, e) || buffer->Data() == nullptr ||
      !ReadSampleBytes(file, node, index, buffer->Data())) {
    ReportReadFailure(b, index);
    *sizeOut = 0;
    return Status::kFailed;
  }
  if (video) buffer->SetKeyFlag(KeyFlagOf(node, index, buffer->Data(), e.size));
  return Status::kOk;
}

Status GetNextSampleBlock(MP4_input_file* file, uint32_t trackId, unsigned char** blockOut,
                          uint32_t* sizeOut, uint32_t* timeOut) {
  ReadTrackNode* node = nullptr;
  TrackBranch b;
  uint32_t index = 0;
  const Status taken = TakeNextSample(file, trackId, &node, &b, &index, sizeOut, timeOut);
  if (!Ok(taken)) return taken;
  const SampleIndexEntry& e = node->sample_table[index];

  // The block that a fresh buffer (Alloc(1): 11 bytes) would end with: one
  // resized to the sample plus 10 for video and for audio past 11 bytes,
  // else its own 11. Made at that size at once, and not zero-filled where
  // the sample is about to land.
  SampleBuffer buffer;
  const bool resized = b == TrackBranch::kVideo || e.size > kFreshCapacity;
  if (SampleInsideFile(file, e) &&
      !(resized ? buffer.Fit(e.size) : buffer.Alloc(kFreshCapacity - kBufferSpare))) {
    ReportAllocFailure(b, index);
    *sizeOut = 0;
    return Status::kFailed;
  }
  if (!SampleInsideFile(file, e) || !ReadSampleBytes(file, node, index, buffer.Data())) {
    ReportReadFailure(b, index);
    *sizeOut = 0;
    return Status::kFailed;
  }
  *blockOut = buffer.TakeData();
  return Status::kOk;
}

Status ReadSampleAtTime(MP4_input_file* file, uint32_t trackId, int32_t time,
                        unsigned char** dataOut, uint32_t* sizeOut, uint32_t* stampOut) {
  TrackBranch b;
  ReadTrackNode* node = TimedTrack(file, trackId, &b);
  if (node == nullptr) return Status::kNotFound;
  const uint32_t index = SampleAtTime(node, time, TimescaleOf(file, b));
  return ReadSampleAt(file, node, b, index, dataOut, sizeOut, stampOut);
}

Status ReadKeyFrameAtTime(MP4_input_file* file, uint32_t trackId, int32_t time,
                          unsigned char** dataOut, uint32_t* sizeOut, uint32_t* stampOut) {
  TrackBranch b;
  ReadTrackNode* node = TimedTrack(file, trackId, &b);
  if (node == nullptr) return Status::kNotFound;
  if (b == TrackBranch::kAudio) {  // every audio sample is a sync sample
    const uint32_t index = SampleAtTime(node, time, TimescaleOf(file, b));
    return ReadSampleAt(file, node, b, index, dataOut, sizeOut, stampOut);
  }
  if (node->key_count == 0) {
    Report("No key frame in track\n");
    return Status::kNotFound;
  }
  const uint32_t index = node->key_table[KeyFrameAtTime(file, node, time)].sample_index;
  return ReadSampleAt(file, node, b, index, dataOut, sizeOut, stampOut);
}
