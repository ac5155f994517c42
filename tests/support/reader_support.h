// Opening files through the library in tests, and ffprobe's view of them.
#ifndef ORNIVEX_TESTS_READER_SUPPORT_H
#define ORNIVEX_TESTS_READER_SUPPORT_H

#include <cstdint>
#include <string>
#include <vector>

#include "atom/records.h"
#include "track/track_records.h"

// MP4FileOpen on construction (what it printed in `output`), MP4FileClose
// and the release of the record that the close leaves on destruction.
struct OpenedFile {
  explicit OpenedFile(const std::string& path);
  ~OpenedFile();
  MP4_input_file* file = nullptr;
  int result = 0;
  std::string output;
  const ReadTrackNode* track(uint32_t id) const { return file->tracks[id]; }
};

struct ProbePacket {
  int64_t dts = 0;
  uint32_t size = 0;
  uint64_t pos = 0;
  bool key = false;
  std::string hash;  // MD5 of the data, when asked for
};

// ffprobe's packets of the stream whose track ID is `track_id`, in file
// order; `codec_tag` receives the stream's sample-entry code.
std::vector<ProbePacket> ProbePackets(const std::string& path, uint32_t track_id,
                                      std::string* codec_tag = nullptr, bool hashes = false);

// Files that ffmpeg writes from its test sources: MPEG-4 Visual and AAC in
// the layouts a reader meets (B-frames, faststart, one medium only).
struct FfmpegCase {
  const char* name;
  const char* arguments;
};
const std::vector<FfmpegCase>& FfmpegCases();

// Lines of "key=value" fields: the value of `key` in `line`, or "".
std::string ProbeField(const std::string& line, const std::string& key);

#endif  // ORNIVEX_TESTS_READER_SUPPORT_H
