// The video of ornivex mux: a raw MPEG-4 Visual stream, its configuration
// headers for the track and every VOP a frame.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "merge/raw_stream.h"
#include "merge/vop_splitter.h"
#include "mux.h"
#include "tool_file.h"

namespace {

constexpr size_t kPieceSize = 1 << 20;  // read at a time
constexpr unsigned char kSequenceStartCode = 0xB0;
// profile_and_level_indication for a stream without a sequence header: the
// Simple profile at level 1, which the file's iods names as well
constexpr uint32_t kDefaultProfileLevel = 0x01;

struct VideoPass {
  MP4_local_file* file;
  const VideoStream* stream;
  const VideoClock* clock;
  const MuxPass* mux;
  // What lies between the configuration headers and the first VOP (user
  // data, a group of VOPs header): it leads the first frame, so that no
  // byte of the stream is lost.
  std::vector<unsigned char> lead;
  uint64_t read = 0;  // bytes of the stream read
  uint32_t frames = 0;
  MuxFailure failure;
  bool failed = false;
};

Status Fail(VideoPass* pass, const std::string& subject, const std::string& reason) {
  pass->failure = MuxFailure{subject, reason};
  pass->failed = true;
  return Status::kFailed;
}
bool Stop(VideoPass* pass, const std::string& reason) {
  (void)Fail(pass, pass->stream->path, reason);  // the status ends the split; here it is done
  return false;
}

Status TakeFrame(void* context, const VideoFrame& frame) {
  VideoPass* pass = static_cast<VideoPass*>(context);
  const std::string name = "video frame " + std::to_string(frame.index);
  const uint64_t time = uint64_t{frame.index} * pass->clock->frame_ticks;
  if (time > UINT32_MAX)
    return Fail(pass, pass->stream->path,
                name + ": its time stamp passes 32 bits at timescale " +
                    std::to_string(pass->clock->timescale));
  const unsigned char* data = frame.data;
  uint32_t size = frame.size;
  std::vector<unsigned char> joined;
  if (frame.index == 0 && !pass->lead.empty()) {
    if (size > UINT32_MAX - pass->lead.size())
      return Fail(pass, pass->stream->path, name + ": larger than 4 GiB");
    joined = pass->lead;
    joined.insert(joined.end(), frame.data, frame.data + frame.size);
    data = joined.data();
    size = static_cast<uint32_t>(joined.size());
  }
  if (AddVideoFrame(pass->file, size, data, static_cast<uint32_t>(time), frame.key ? 1 : 0) != 1)
    return Fail(
        pass, pass->mux->output,
        "cannot write: AddVideoFrame refused " + name + " (" + std::to_string(size) + " bytes)");
  pass->frames = frame.index + 1;
  pass->mux->progress->Update(pass->mux->done_before + pass->read, "video",
                              double(time) / pass->clock->timescale);
  return Status::kOk;
}

// Hands the splitter the bytes from the first VOP on.
bool Feed(VideoPass* pass, VopSplitter* splitter, const unsigned char* data, size_t size) {
  const Status fed = FeedVopSplitter(splitter, data, size, TakeFrame, pass);
  if (Ok(fed) || pass->failed) return Ok(fed);
  return Stop(pass, "video frame " + std::to_string(pass->frames) +
                        ": no memory for it, or larger than 4 GiB");
}

// Before the first VOP: gathers the head of the stream until a VOP start
// code shows, then hands on what follows it. `complete` at the end.
bool FindFirstVop(VideoPass* pass, VopSplitter* splitter, std::vector<unsigned char>* head,
                  size_t* from, bool complete, bool* found) {
  size_t at = 0;
  bool key = false;
  if (!FindNextVop(head->data(), head->size(), complete, from, &at, &key)) return true;
  *found = true;
  const uint32_t headers = pass->stream->header_length;
  if (at < headers)
    return Stop(pass, "its configuration header runs into a VOP start code at offset " +
                          std::to_string(at));
  pass->lead.assign(head->begin() + headers, head->begin() + static_cast<ptrdiff_t>(at));
  const bool fed = Feed(pass, splitter, head->data() + at, head->size() - at);
  head->clear();
  return fed;
}

bool SplitStream(VideoPass* pass, FILE* in, VopSplitter* splitter) {
  std::vector<unsigned char> piece(kPieceSize), head;
  size_t from = 0;
  bool found = false;
  for (size_t n; (n = std::fread(piece.data(), 1, piece.size(), in)) > 0;) {
    pass->read += n;
    if (found) {
      if (!Feed(pass, splitter, piece.data(), n)) return false;
      continue;
    }
    head.insert(head.end(), piece.begin(), piece.begin() + static_cast<ptrdiff_t>(n));
    if (!FindFirstVop(pass, splitter, &head, &from, false, &found)) return false;
  }
  if (std::ferror(in)) return Stop(pass, CannotRead(errno));
  if (!found && !FindFirstVop(pass, splitter, &head, &from, true, &found)) return false;
  if (!found) return Stop(pass, "no VOP start code (00 00 01 B6) after its configuration header");
  const Status finished = FinishVopSplitter(splitter, TakeFrame, pass);
  if (!Ok(finished) && !pass->failed)
    return Stop(pass, "video frame " + std::to_string(pass->frames) + ": larger than 4 GiB");
  return Ok(finished);
}

}  // namespace

bool ProbeVideoStream(const char* path, VideoStream* stream, MuxFailure* failure) {
  *failure = MuxFailure{path, InputFileProblem(path)};
  if (!failure->reason.empty()) return false;
  stream->path = path;
  uint32_t width = 0, height = 0;
  const int32_t length = GetM4vHeaderSize(path, &width, &height);
  if (length <= 0) {
    failure->reason =
        "not a raw MPEG-4 Visual stream whose configuration header the library reads (visual "
        "object sequence, video object, video object layer)";
    return false;
  }
  if (static_cast<uint32_t>(length) > kTrackConfigMax) {
    failure->reason = "its configuration header is " + std::to_string(length) +
                      " bytes long; a track keeps at most " + std::to_string(kTrackConfigMax);
    return false;
  }
  size_t got = 0;
  errno = 0;
  // a shorter read: the file shrank since the library measured its header
  if (!ReadStreamHead(path, stream->header, size_t(length), &got, &stream->size) ||
      got != size_t(length)) {
    failure->reason = CannotRead(errno);
    return false;
  }
  stream->header_length = static_cast<uint32_t>(length);
  stream->width = width;
  stream->height = height;
  // the library puts the track's profile into a sequence header it is given
  stream->profile_level = stream->header[3] == kSequenceStartCode && length > 4
                              ? stream->header[4]
                              : kDefaultProfileLevel;
  return true;
}

bool AddVideoFrames(MP4_local_file* file, const VideoStream& stream, const VideoClock& clock,
                    const MuxPass& mux, uint32_t* frames, MuxFailure* failure) {
  VideoPass pass{file, &stream, &clock, &mux, {}, 0, 0, {}, false};
  FILE* in = std::fopen(stream.path, "rb");
  if (in == nullptr) {
    *failure = MuxFailure{stream.path, CannotRead(errno)};
    return false;
  }
  VopSplitter splitter;
  const bool split = SplitStream(&pass, in, &splitter);
  ReleaseVopSplitter(&splitter);
  std::fclose(in);
  *frames = pass.frames;
  if (!split) *failure = pass.failure;
  return split;
}
