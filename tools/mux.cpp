// ornivex mux --video IN.m4v [--fps N] --audio IN.aac -o OUT.mp4: the
// command, and the writing run through MP4FileNew, CreateTrack,
// AddVideoFrame, AddAudioFrame and MP4FileFlush.
#include "mux.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "commands.h"
#include "tool_output.h"
#include "tool_platform.h"

namespace {

constexpr uint32_t kMaxPath = 255;  // the longest path MP4FileNew and CreateTrack take
constexpr uint32_t kVideoTrack = 1, kAudioTrack = 2;
constexpr uint32_t kMpeg4Codec = 1;  // mp4v and mp4a sample entries

// The movie is written under a name of its own beside OUT and renamed to
// OUT when it is whole: a failure leaves neither half a file nor an OUT
// that existed before destroyed. The frames wait in two more files there.
struct MuxFiles {
  std::string movie, video, audio;
  bool flushed = false, renamed = false;
  MP4_local_file* file = nullptr;

  ~MuxFiles() {
    if (file != nullptr) (void)MP4FileFlush(file);  // the one call that releases a record
    for (const std::string* name : {&video, &audio})
      if (!name->empty()) (void)std::remove(name->c_str());  // the flush deletes them too
    if (!renamed && !movie.empty()) (void)std::remove(movie.c_str());
  }
};

bool Fail(MuxFailure* failure, const std::string& subject, const std::string& reason) {
  *failure = MuxFailure{subject, reason};
  return false;
}

// Creates `name`, which must not exist yet; the library opens it again.
bool CreateNew(const std::string& name, const char* output, MuxFailure* failure) {
  const int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0666);
  if (fd < 0 && errno == EEXIST)
    return Fail(failure, output, "cannot write: " + name + " is in the way");
  if (fd < 0) return Fail(failure, output, std::string("cannot write: ") + std::strerror(errno));
  close(fd);
  return true;
}

// Everything between MP4FileNew and the rename; false with the failure.
bool WriteMovie(const char* output, const VideoStream* video, const VideoClock& clock,
                const AudioStream* audio, MuxProgress* progress, uint32_t* frames,
                MuxFailure* failure) {
  MuxFiles files;
  files.movie = std::string(output) + ".mux-" + std::to_string(getpid());
  if (!CreateNew(files.movie, output, failure)) {
    files.movie.clear();  // not ours
    return false;
  }
  if (MP4FileNew(&files.file, files.movie.c_str()) != 1) {
    files.file = nullptr;
    return Fail(failure, output, "cannot write: MP4FileNew failed");
  }
  if (video != nullptr) {
    files.video = files.movie + "-video";
    if (!CreateNew(files.video, output, failure)) {
      files.video.clear();
      return false;
    }
    if (CreateTrack(files.file, kVideoTrack, video->width, video->height, 0, clock.timescale,
                    video->profile_level, 0, 0, 0, video->header_length, video->header,
                    files.video.c_str(), kMpeg4Codec) != 1)
      return Fail(failure, output, "cannot write: CreateTrack refused the video track");
  }
  if (audio != nullptr) {
    files.audio = files.movie + "-audio";
    if (!CreateNew(files.audio, output, failure)) {
      files.audio.clear();
      return false;
    }
    // Both the parameters and the first ADTS header describe the stream;
    // the library builds the AudioSpecificConfig from them.
    if (CreateTrack(files.file, kAudioTrack, 0, 0, 0, audio->sampling_rate, 0,
                    audio->object_type - 1, audio->channels, audio->sampling_rate,
                    sizeof audio->first_header, audio->first_header, files.audio.c_str(),
                    kMpeg4Codec) != 1)
      return Fail(failure, output, "cannot write: CreateTrack refused the audio track");
  }
  if (video != nullptr &&
      !AddVideoFrames(files.file, *video, clock, MuxPass{progress, 0, output}, &frames[0], failure))
    return false;
  if (audio != nullptr &&
      !AddAudioFrames(files.file, *audio, MuxPass{progress, video ? video->size : 0, output},
                      &frames[1], failure))
    return false;
  MP4_local_file* file = files.file;
  files.file = nullptr;  // released by the flush whatever it returns
  if (MP4FileFlush(file) != 1) return Fail(failure, output, "cannot write: MP4FileFlush failed");
  if (!MoveReplacing(files.movie.c_str(), output))
    return Fail(failure, output, std::string("cannot write: ") + std::strerror(errno));
  files.renamed = true;
  return true;
}

// Why OUT cannot be written, before anything is read; empty when it can.
std::string OutputProblem(const char* output, const char* video, const char* audio) {
  for (const char* input : {video, audio})
    if (input != nullptr && IsSameFile(output, input))
      return "cannot write: it is a file being read";
  struct stat st;
  if (stat(output, &st) == 0 && S_ISDIR(st.st_mode))
    return std::string("cannot write: ") + std::strerror(EISDIR);
  // OUT.mux-PID-video, the longest name made from it, must be a path the
  // library takes
  const size_t longest = kMaxPath - std::strlen(".mux-") - 10 - std::strlen("-video");
  if (std::strlen(output) > longest)
    return "path longer than " + std::to_string(longest) +
           " characters, which leaves no room for the names of the files written beside it";
  return "";
}

std::string RateText(const FrameRate& rate) {
  if (rate.den == 1) return std::to_string(rate.num);
  char text[32];
  std::snprintf(text, sizeof text, "%.3f", double(rate.num) / double(rate.den));
  std::string s = text;
  s.erase(s.find_last_not_of('0') + 1);
  return s;
}

int RunMux(FILE* out, const ToolArgs& args) {
  const char* video_path = args.Value("--video");
  const char* audio_path = args.Value("--audio");
  const char* output = args.Value("-o") != nullptr ? args.Value("-o") : args.Value("--output");
  const char* fps = args.Value("--fps");
  if (video_path == nullptr && audio_path == nullptr)
    return ToolUsageError("mux", "nothing to mux: give --video IN, --audio IN or both");
  if (output == nullptr) return ToolUsageError("mux", "missing -o OUT");
  if (fps != nullptr && video_path == nullptr)
    return ToolUsageError("mux", "--fps is the video's frame rate: give --video IN too");
  FrameRate rate;
  if (fps != nullptr && !ParseFrameRate(fps, &rate))
    return ToolUsageError("mux",
                          "option '--fps' takes a frame rate above 0 and at most 1000, such as "
                          "25, 29.97 or 30000/1001, not '" +
                              std::string(fps) + "'");
  const std::string problem = OutputProblem(output, video_path, audio_path);
  if (!problem.empty()) return ToolFail(output, problem);

  VideoStream video;
  AudioStream audio;
  MuxFailure failure;
  if (video_path != nullptr && !ProbeVideoStream(video_path, &video, &failure))
    return ToolFail(failure.subject, failure.reason);
  if (audio_path != nullptr && !ProbeAudioStream(audio_path, &audio, &failure))
    return ToolFail(failure.subject, failure.reason);
  const VideoClock clock = ChooseVideoClock(rate);

  ToolDebugChannel channel;
  if (!channel.Take(args.verbose)) return ToolFail("standard error", std::strerror(errno));
  uint32_t frames[2] = {0, 0};
  bool written;
  {
    MuxProgress progress(isatty(channel.stderr_fd()) ? channel.stderr_fd() : -1,
                         video.size + audio.size);
    written = WriteMovie(output, video_path != nullptr ? &video : nullptr, clock,
                         audio_path != nullptr ? &audio : nullptr, &progress, frames, &failure);
  }
  channel.Restore();
  if (!written) return ToolFail(failure.subject, failure.reason);
  if (video_path != nullptr)
    std::fprintf(out, "video: %u frames (%ux%u, %s fps) written to %s\n", frames[0], video.width,
                 video.height, RateText(rate).c_str(), output);
  if (audio_path != nullptr)
    std::fprintf(out, "audio: %u frames (%u Hz, %u channel%s) written to %s\n", frames[1],
                 audio.sampling_rate, audio.channels, audio.channels == 1 ? "" : "s", output);
  return 0;
}

const ToolOption kOptions[] = {{"--video", "IN"},   {"--audio", "IN"}, {"--fps", "N"},
                               {"--output", "OUT"}, {"-o", "OUT"},     {nullptr, nullptr}};

}  // namespace

extern const ToolCommand kMuxCommand = {
    "mux",
    "make an MP4 file from a raw MPEG-4 Visual and an ADTS AAC stream",
    "usage: ornivex mux [--video IN.m4v [--fps N]] [--audio IN.aac] -o OUT.mp4\n"
    "\n"
    "Writes OUT.mp4 with the library's writing calls (MP4FileNew, CreateTrack,\n"
    "AddVideoFrame, AddAudioFrame, MP4FileFlush) from one or both of:\n"
    "  --video IN  a raw MPEG-4 Visual stream (.m4v): its configuration headers,\n"
    "              as GetM4vHeaderSize measures them (at most 52 bytes), become\n"
    "              the track's decoder configuration; each VOP (start code\n"
    "              00 00 01 B6) is a frame, a key frame when it is intra coded.\n"
    "              Bytes between the headers and the first VOP lead the first\n"
    "              frame.\n"
    "  --fps N     the video's frame rate: 25 (the default), 29.97, 30000/1001.\n"
    "              The track's timescale makes every frame time exact: 1000\n"
    "              for 25 fps, 3000 for 24, 30000 for 30000/1001.\n"
    "  --audio IN  an ADTS AAC stream (.aac): each frame's raw data is a sample\n"
    "              of 1024 PCM samples (a CRC is dropped), in a track whose\n"
    "              timescale is the sampling rate.\n"
    "  -o, --output OUT  the file to write. It is written under another name\n"
    "              beside it first and takes its place when whole, so a failure\n"
    "              leaves an earlier OUT as it was.\n"
    "Prints one line per track written. A stream that cannot be split (not\n"
    "ADTS, a bad frame, no VOP) is a failure that says where. B-VOPs stay in\n"
    "decode order: the library writes no composition times.\n"
    "On a terminal, inputs of more than a few seconds show their progress on\n"
    "standard error.\n",
    kOptions,
    nullptr,
    RunMux};
