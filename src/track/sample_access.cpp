#include "track/sample_access.h"

#include <cstdio>
#include <cstring>

#include "atom/helpers.h"

ReadTrackNode* TrackNodeOf(const MP4_input_file* file, uint32_t trackId) {
  if (file == nullptr) {
    std::printf("mp4 file uncreated\n");
    return nullptr;
  }
  if (trackId >= kMaxTrackId || file->tracks[trackId] == nullptr) {
    std::printf("No such track id [%d]\n", static_cast<int>(trackId));
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

bool ReadSampleBytes(const MP4_input_file* file, uint32_t offset, uint32_t size, void* out) {
  if (file->root == nullptr || file->root->file == nullptr) return false;
  // files are under 2 GiB, so an offset inside the file fits a long
  if (uint64_t{offset} + size > file->root->file_size) return false;
  FILE* stream = file->root->file;
  if (std::fseek(stream, static_cast<long>(offset), SEEK_SET) != 0) return false;
  return std::fread(out, 1, size, stream) == size;
}

unsigned char* CopyForCaller(const SampleBuffer& buffer, uint32_t size) {
  unsigned char* block = static_cast<unsigned char*>(AllocZeroed(size));
  if (block != nullptr && size > 0) std::memcpy(block, buffer.Data(), size);
  return block;
}
