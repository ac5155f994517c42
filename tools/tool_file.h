// What the tool's reading commands share: a file opened through the
// library's exports, and the decoder configuration of its tracks.
#ifndef ORNIVEX_TOOLS_TOOL_FILE_H
#define ORNIVEX_TOOLS_TOOL_FILE_H

#include <cstdint>
#include <vector>

#include "ornivex.h"

// MP4FileOpen on construction; MP4FileClose and the release of the record
// the close leaves behind on destruction.
class ToolFile {
 public:
  explicit ToolFile(const char* path);
  ~ToolFile();
  ToolFile(const ToolFile&) = delete;
  ToolFile& operator=(const ToolFile&) = delete;

  bool ok() const { return ok_; }
  MP4_input_file* get() const { return file_; }
  uint32_t video_track_id() const;
  uint32_t audio_track_id() const;

 private:
  MP4_input_file* file_ = nullptr;
  bool ok_ = false;
};

#endif  // ORNIVEX_TOOLS_TOOL_FILE_H
