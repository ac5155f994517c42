#include "track/sample_access.h"

#include <algorithm>
#include <cstdio>

#include "platform/report.h"

ReadTrackNode* TrackNodeOf(const MP4_input_file* file, uint32_t trackId) {
  if (file == nullptr) {
    Report("mp4 file uncreated\n");
    return nullptr;
  }
  if (trackId >= kMaxTrackId || file->tracks[trackId] == nullptr) {
    Report("No such track id [%d]\n", static_cast<int>(trackId));
    return nullptr;
  }
  return file->tracks[trackId];
}

bool BranchOf(const MP4_input_file* file, uint32_t trackId, TrackBranch* branch) {
  if (trackId == file->video_track_id) {
    *branch = TrackBranch::kVideo;
  } else if (trackId == file->audio_track_id) {
    *branch = TrackBranch::kAudio;
  } else {
    return false;
  }
  return true;
}

bool SampleInsideFile(const MP4_input_file* file, const SampleIndexEntry& e) {
  return file->root != nullptr && uint64_t{e.file_offset} + e.size <= file->root->file_size;
}

namespace {

// A seek costs a system call, even one that goes nowhere, and the samples
// of interleaved tracks sit a few hundred bytes apart: a short step forward
// is read through the stream's buffer instead, a longer jump is a seek.
constexpr long kSkipByReading = 8192;

bool PositionStream(FILE* stream, uint32_t offset) {
  const long target = static_cast<long>(offset);
  long at = std::ftell(stream);
  if (at == target) return true;
  if (at >= 0 && target > at && target - at <= kSkipByReading) {
    unsigned char discard[1024];
    while (at < target) {
      const size_t step = static_cast<size_t>(std::min<long>(target - at, sizeof discard));
      if (std::fread(discard, 1, step, stream) != step) return false;
      at += static_cast<long>(step);
    }
    return true;
  }
  return std::fseek(stream, target, SEEK_SET) == 0;
}

}  // namespace

bool ReadSampleBytes(const MP4_input_file* file, uint32_t offset, uint32_t size, void* out) {
  if (file->root == nullptr || file->root->file == nullptr) return false;
  // files are under 2 GiB, so an offset inside the file fits a long
  if (uint64_t{offset} + size > file->root->file_size) return false;
  if (!PositionStream(file->root->file, offset)) return false;
  FILE* stream = file->root->file;
  return std::fread(out, 1, size, stream) == size;
}
