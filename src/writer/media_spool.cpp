#include "writer/media_spool.h"

#include <cstring>

#include "platform/platform.h"
#include "writer/writer_release.h"

MediaSpool VideoSpool(MP4_local_file* file) {
  return {&file->VideoTrackNode, &file->video_sample_count, &file->video_key_count,
          &file->video_bytes,    &file->video_block_index,  &file->video_block_key_index,
          &file->video_temp,     file->video_temp_name};
}

MediaSpool AudioSpool(MP4_local_file* file) {
  return {&file->AudioTrackNode, &file->audio_sample_count, &file->audio_key_count,
          &file->audio_bytes,    &file->audio_block_index,  &file->audio_block_key_index,
          &file->audio_temp,     file->audio_temp_name};
}

void ReleaseSpoolTrack(const MediaSpool& spool) {
  if (*spool.temp != nullptr) {
    (void)std::fclose(*spool.temp);  // its frames are dropped with the track
    *spool.temp = nullptr;
    // nobody else knows the file any more: the flush deletes only the current one
    (void)DeleteFileByName(spool.temp_name);
  }
  spool.temp_name[0] = '\0';
  ReleaseTrackChain(*spool.track);
  *spool.track = nullptr;
  *spool.sample_count = *spool.key_count = *spool.bytes = 0;
  *spool.block_index = *spool.block_key_index = 0;
}

void OpenSpoolFile(const MediaSpool& spool, const char* name) {
  spool.temp_name[0] = '\0';
  *spool.temp = nullptr;
  if (name == nullptr || std::strlen(name) > static_cast<size_t>(kMaxPathLength)) return;
  std::strcpy(spool.temp_name, name);  // fits: measured above
  // Created empty, then only appended to: whatever cuts the file short in
  // the meantime (another writer of the same name, a clean-up) leaves it
  // shorter than its frames, which the flush reports, rather than a hole
  // that reads as zeros.
  FILE* created = std::fopen(name, "wb");
  if (created == nullptr) return;
  (void)std::fclose(created);  // nothing was written to it
  *spool.temp = std::fopen(name, "ab");
}
