#include "tool_file.h"

#include "atom/helpers.h"
#include "atom/records.h"

ToolFile::ToolFile(const char* path) {
  ok_ = MP4FileOpen(&file_, path) == 1;
}

ToolFile::~ToolFile() {
  MP4FileClose(&file_);
  FreeBlock(file_);
}

uint32_t ToolFile::video_track_id() const {
  return ok_ ? file_->video_track_id : 0;
}
uint32_t ToolFile::audio_track_id() const {
  return ok_ ? file_->audio_track_id : 0;
}
