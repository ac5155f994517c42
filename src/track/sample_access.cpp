#include "track/sample_access.h"

#include "platform/report.h"
#include "track/sample_window.h"

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

bool ReadSampleBytes(const MP4_input_file* file, ReadTrackNode* node, uint32_t index, void* out) {
  return ReadIndexedSample(file, node, index, out);
}
