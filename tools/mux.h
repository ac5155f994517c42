// ornivex mux: an MP4 file made from a raw MPEG-4 Visual stream and an ADTS
// AAC stream through the library's writing calls. The streams are split as
// the merging operations split them: video at its VOP start codes, audio at
// its ADTS frames.
#ifndef ORNIVEX_TOOLS_MUX_H
#define ORNIVEX_TOOLS_MUX_H

#include <cstdint>
#include <string>

#include "ornivex.h"

// A track keeps at most this many bytes of decoder configuration.
constexpr uint32_t kTrackConfigMax = 52;

// Why the mux stopped: the failure line's two halves.
struct MuxFailure {
  std::string subject;  // the file concerned
  std::string reason;
};

// A frame rate as an exact fraction, 30000/1001 for 29.97...
struct FrameRate {
  uint64_t num = 25;
  uint64_t den = 1;
};

// "25", "29.97" or "30000/1001": above 0 and at most kMaxFrameRate.
constexpr uint64_t kMaxFrameRate = 1000;
bool ParseFrameRate(const char* text, FrameRate* rate);

// The video track's timescale and the ticks between two frames, so that
// every frame time is exact.
struct VideoClock {
  uint32_t timescale;
  uint32_t frame_ticks;
};
VideoClock ChooseVideoClock(const FrameRate& rate);

// What the head of a raw MPEG-4 Visual stream says: its configuration
// headers (visual object sequence to video object layer) and picture size.
struct VideoStream {
  const char* path = nullptr;
  uint64_t size = 0;
  unsigned char header[kTrackConfigMax] = {};
  uint32_t header_length = 0;
  uint32_t width = 0, height = 0;
  uint32_t profile_level = 0;  // for the track's sequence header
};

// What the first ADTS header says; every later frame must agree with it.
struct AudioStream {
  const char* path = nullptr;
  uint64_t size = 0;
  unsigned char first_header[7] = {};
  uint32_t object_type = 0;  // 1 AAC Main, 2 AAC LC, ...
  uint32_t sampling_rate = 0;
  uint32_t channels = 0;
};

// Read before anything is written; false with the reason.
bool ProbeVideoStream(const char* path, VideoStream* stream, MuxFailure* failure);
bool ProbeAudioStream(const char* path, AudioStream* stream, MuxFailure* failure);

// The progress line on standard error (`fd`, -1 for none): shown once the
// media written pass a few seconds, updated in place, erased at the end.
class MuxProgress {
 public:
  MuxProgress(int fd, uint64_t total_bytes) : fd_(fd), total_(total_bytes) {}
  ~MuxProgress() { Erase(); }
  MuxProgress(const MuxProgress&) = delete;
  MuxProgress& operator=(const MuxProgress&) = delete;

  // `done` bytes of all inputs are read; `seconds` of `medium` are written.
  void Update(uint64_t done, const char* medium, double seconds);
  void Erase();

 private:
  int fd_;
  uint64_t total_;
  int percent_ = -1;
  size_t width_ = 0;  // of the line on screen, 0 when there is none
};

// Where the reading of a stream stands, for the progress line.
struct MuxPass {
  MuxProgress* progress;
  uint64_t done_before;  // bytes of the inputs read before this stream
  const char* output;    // the subject of a failed writing call
};

// Appends every frame of the stream; the number appended in `frames`.
bool AddVideoFrames(MP4_local_file* file, const VideoStream& stream, const VideoClock& clock,
                    const MuxPass& pass, uint32_t* frames, MuxFailure* failure);
bool AddAudioFrames(MP4_local_file* file, const AudioStream& stream, const MuxPass& pass,
                    uint32_t* frames, MuxFailure* failure);

#endif  // ORNIVEX_TOOLS_MUX_H
