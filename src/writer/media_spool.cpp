#include "writer/media_spool.h"

#include <cstring>

#include "atom/helpers.h"
#include "platform/platform.h"
#include "writer/writer_release.h"

namespace {

constexpr size_t kSpoolBufferSize = size_t{256} << 10;

}  // namespace

MediaSpool VideoSpool(MP4_local_file* file) {
  return {&file->VideoTrackNode, &file->video_sample_count, &file->video_key_count,
          &file->video_bytes,    &file->video_block_index,  &file->video_block_key_index,
          &file->video_temp,     &file->video_temp_buffer,  file->video_temp_name};
}

MediaSpool AudioSpool(MP4_local_file* file) {
  return {&file->AudioTrackNode, &file->audio_sample_count, &file->audio_key_count,
          &file->audio_bytes,    &file->audio_block_index,  &file->audio_block_key_index,
          &file->audio_temp,     &file->audio_temp_buffer,  file->audio_temp_name};
}

void ReleaseSpoolTrack(const MediaSpool& spool) {
  if (*spool.temp != nullptr) {
    CloseSpoolFile(spool.temp, spool.temp_buffer);  // its frames are dropped with the track
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
  if (*spool.temp == nullptr) return;
  // The stream's own buffer is a few kilobytes: frames larger than that go
  // out in several writes that split pages, which costs more than the bytes.
  *spool.temp_buffer = static_cast<unsigned char*>(AllocZeroed(kSpoolBufferSize));
  if (*spool.temp_buffer != nullptr &&
      std::setvbuf(*spool.temp, reinterpret_cast<char*>(*spool.temp_buffer), _IOFBF,
                   kSpoolBufferSize) != 0) {
    FreeBlock(*spool.temp_buffer);  // the stream keeps its own buffer
    *spool.temp_buffer = nullptr;
  }
}

void CloseSpoolFile(FILE** temp, unsigned char** buffer) {
  // a close that fails leaves the file short, which the flush notices
  if (*temp != nullptr) (void)std::fclose(*temp);
  *temp = nullptr;
  FreeBlock(*buffer);  // only after the close, which writes what it holds
  *buffer = nullptr;
}
