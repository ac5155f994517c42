// What the tool's reading commands share: the checks a path gets before it
// goes to the library, and a file opened through the library's exports.
#ifndef ORNIVEX_TOOLS_TOOL_FILE_H
#define ORNIVEX_TOOLS_TOOL_FILE_H

#include <cstddef>
#include <cstdint>
#include <string>

#include "ornivex.h"
#include "track/track_records.h"

// Why the library cannot take the file at `path`, in words, for what it
// would answer with a bare status or a misleading message: no such file,
// no permission (the system's reason), a directory or other non-regular
// file, an empty file, 2 GiB or more, a path too long. Empty when none.
std::string InputFileProblem(const char* path);

// "cannot read: REASON" for the system's error number (EIO's text for 0).
std::string CannotRead(int error);

// MP4FileOpen on Open; MP4FileClose, which releases the record, on
// destruction.
class ToolFile {
 public:
  ToolFile() = default;
  ~ToolFile();
  ToolFile(const ToolFile&) = delete;
  ToolFile& operator=(const ToolFile&) = delete;

  // True when the file is open and its first video or first audio track
  // offers samples; else false with the reason in `why`.
  bool Open(const char* path, std::string* why);

  MP4_input_file* get() const { return file_; }
  const char* path() const { return path_.c_str(); }
  uint32_t video_track_id() const { return file_ != nullptr ? file_->video_track_id : 0; }
  uint32_t audio_track_id() const { return file_ != nullptr ? file_->audio_track_id : 0; }
  const ReadTrackNode* track(uint32_t id) const { return id != 0 ? file_->tracks[id] : nullptr; }

  // Why the first track of `medium` (kMediaVideo or kMediaAudio) offers no
  // samples ("no audio track", "video track 1 has 's263' samples"); empty
  // when it offers some.
  std::string TrackProblem(MediaType medium) const;

 private:
  std::string NoTrackReason() const;
  MP4_input_file* file_ = nullptr;
  std::string path_;
};

#endif  // ORNIVEX_TOOLS_TOOL_FILE_H
