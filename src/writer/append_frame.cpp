// AddVideoFrame's and AddAudioFrame's work: record a frame in the track's
// last table block, keep the bit rates and spool its bytes.
#include <cstdio>

#include "platform/report.h"
#include "writer/bit_rate.h"
#include "writer/media_spool.h"
#include "writer/table_blocks.h"
#include "writer/writer.h"

namespace {

enum class Medium { kVideo, kAudio };

void ReportNoTrack(Medium medium) {
  if (medium == Medium::kVideo)
    DebugReport("there is no VideoTrackNode in the input MP4_local_file\n");
  else
    DebugReport("there is no AudioTrackNode in the input MP4_local_file\n");
}

void ReportNoBlock(Medium medium) {
  if (medium == Medium::kVideo)
    DebugReport(
        "Can't create Sample and KeyFrame table for VideoTrackNode in AddVideoFrame(...) \n");
  else
    DebugReport(
        "Can't create Sample and KeyFrame table for AudiTrackNode in AddAudioFrame(...) \n");
}

void ReportShortWrite(Medium medium) {
  if (medium == Medium::kVideo)
    DebugReport("the size of data written to temp video file is error!\n");
  else
    DebugReport("the size of data written to temp audio file is error!\n");
}

// Links a new block after `last`, the chain's full last block, carrying over
// what every block keeps; false when no memory could be had.
bool StartNewBlock(const MediaSpool& spool, TrackNode* last) {
  TrackNode* first = *spool.track;
  if (!Ok(CreateSampleAndKeyFrameTable(&first, kMediaBlockCapacity))) return false;
  TrackNode* block = last->NextBlock;
  block->Trak = last->Trak;
  block->TrackID = last->TrackID;
  block->Width = last->Width;
  block->Height = last->Height;
  block->TrackType = last->TrackType;
  block->TimeScale = last->TimeScale;
  block->MaxBitRate = last->MaxBitRate;
  block->PeakBytes = last->PeakBytes;
  block->FirstSample = *spool.sample_count;
  block->FirstKeyFrame = *spool.key_count;
  *spool.block_index = *spool.block_key_index = 0;
  return true;
}

// Where a frame went in the tables, so that it can be taken back.
struct Recorded {
  TrackNode* block;
  uint32_t index;
  bool keyed;
};

Recorded Record(const MediaSpool& spool, TrackNode* block, uint32_t size, uint32_t time_stamp,
                bool keyed) {
  const Recorded at{block, *spool.block_index, keyed};
  block->SampleTable[at.index] = SampleIndexEntry{time_stamp, 0, *spool.bytes, size, 0};
  if (keyed) {
    // a block has a key-frame slot per sample slot, so this one is free
    block->KeyFrameTable[*spool.block_key_index] = KeyFrameEntry{time_stamp, *spool.sample_count};
    ++*spool.key_count;
    block->KeyFrameCount = ++*spool.block_key_index;
  }
  ++*spool.sample_count;
  block->SampleCount = ++*spool.block_index;
  *spool.bytes += size;
  return at;
}

void TakeBack(const MediaSpool& spool, const Recorded& at, uint32_t size) {
  *spool.bytes -= size;
  --*spool.sample_count;
  at.block->SampleCount = --*spool.block_index;
  at.block->SampleTable[at.index] = SampleIndexEntry{};
  if (at.keyed) {
    --*spool.key_count;
    at.block->KeyFrameCount = --*spool.block_key_index;
    at.block->KeyFrameTable[*spool.block_key_index] = KeyFrameEntry{};
  }
}

Status AppendFrame(MP4_local_file* file, Medium medium, uint32_t size, const unsigned char* data,
                   uint32_t time_stamp, bool keyed) {
  if (file == nullptr) {
    DebugReport("the input parameter for MP4_local_file is empty\n");
    return Status::kFailed;
  }
  const MediaSpool spool = medium == Medium::kVideo ? VideoSpool(file) : AudioSpool(file);
  TrackNode* first = *spool.track;
  if (first == nullptr) {
    ReportNoTrack(medium);
    return Status::kFailed;
  }
  // Frames that cannot reach the temporary file, or whose offsets would pass
  // 32 bits, are not recorded at all.
  if (*spool.temp == nullptr || (size > 0 && data == nullptr) ||
      uint64_t{*spool.bytes} + size > UINT32_MAX) {
    ReportShortWrite(medium);
    return Status::kFailed;
  }
  TrackNode* block = LastBlock(first);
  // a full last block: starting its successor failed before, so try again
  if (*spool.block_index >= block->TableCapacity) {
    if (!StartNewBlock(spool, block)) {
      ReportNoBlock(medium);
      return Status::kFailed;
    }
    block = block->NextBlock;
  }

  const Recorded at = Record(spool, block, size, time_stamp, keyed);
  // The next block starts right after a block fills up. Without memory for it
  // the frame is taken back, so that the tables never count bytes that the
  // temporary file lacks; a later append tries again.
  if (*spool.block_index == block->TableCapacity) {
    if (!StartNewBlock(spool, block)) {
      TakeBack(spool, at, size);
      ReportNoBlock(medium);
      return Status::kFailed;
    }
    block = block->NextBlock;
  }

  if (block->TimeScale != 0) {  // no seconds without a timescale
    CountIntoWindow(block, WindowTime(time_stamp, block->TimeScale), size,
                    *spool.sample_count == 1);
    if (medium == Medium::kVideo)
      UpdateVideoBitRates(first, block, time_stamp, *spool.bytes);
    else
      UpdateAudioBitRates(first, block, time_stamp, *spool.bytes);
  }

  // A short write leaves the frame recorded; the flush notices the shorter
  // file. A stream that failed once has dropped what it held in its buffer,
  // so every later frame fails too, even one that only reached the buffer.
  if ((size > 0 && std::fwrite(data, 1, size, *spool.temp) < size) || std::ferror(*spool.temp)) {
    ReportShortWrite(medium);
    return Status::kFailed;
  }
  return Status::kOk;
}

}  // namespace

Status AppendVideoFrame(MP4_local_file* file, uint32_t size, const unsigned char* data,
                        uint32_t time_stamp, int32_t key_frame) {
  return AppendFrame(file, Medium::kVideo, size, data, time_stamp, key_frame == 1);
}

Status AppendAudioFrame(MP4_local_file* file, uint32_t size, const unsigned char* data,
                        uint32_t time_stamp) {
  return AppendFrame(file, Medium::kAudio, size, data, time_stamp, false);
}
