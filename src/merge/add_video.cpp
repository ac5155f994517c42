// Mp4AddVideo's work: the existing file's audio track and the frames of a
// raw MPEG-4 Visual stream in a new file.
#include <cmath>

#include "merge/existing_file.h"
#include "merge/library_calls.h"
#include "merge/merge.h"
#include "merge/merge_output.h"
#include "merge/raw_stream.h"
#include "merge/vop_splitter.h"
#include "platform/platform.h"
#include "platform/report.h"
#include "serialise/esds_query.h"
#include "writer/track_node.h"

namespace {

constexpr uint32_t kVideoTimeScale = 1000;  // the frames are timed in milliseconds
constexpr size_t kStreamPiece = 16384;

Status Fail(MergeFault* fault, MergeFault why) {
  *fault = why;
  return Status::kFailed;
}

struct FrameTarget {
  MP4_local_file* file;
  double frame_rate;
  MergeFault fault;
};

// Frame i is shown at i x 1000 / frame rate milliseconds, truncated.
Status AddSplitFrame(void* context, const VideoFrame& frame) {
  FrameTarget* target = static_cast<FrameTarget*>(context);
  const double stamp = static_cast<double>(frame.index) * 1000.0 / target->frame_rate;
  if (!(stamp < 4294967296.0)) {
    Report("video frame [%u] has a time stamp past 32 bits\n", frame.index);
    target->fault = MergeFault::kArgument;
    return Status::kFailed;
  }
  if (!Succeeded(AddVideoFrame(target->file, frame.size, frame.data, static_cast<uint32_t>(stamp),
                               frame.key ? 1 : 0))) {
    target->fault = MergeFault::kOutput;
    return Status::kFailed;
  }
  return Status::kOk;
}

// Reads the stream in pieces and appends its frames. On failure the
// output is given up, with the reason in *fault.
Status AppendVopFrames(const char* path, float frame_rate, MergeOutput* out, MergeFault* fault) {
  FILE* f = ReopenStream(path);
  if (f == nullptr) {
    AbandonMergeOutput(out);
    return Fail(fault, MergeFault::kArgument);
  }
  FrameTarget target{out->file, frame_rate, MergeFault::kOutput};
  VopSplitter splitter;
  unsigned char piece[kStreamPiece];
  Status split = Status::kOk;
  size_t got = 0;
  while (Ok(split) && (got = std::fread(piece, 1, sizeof piece, f)) > 0)
    split = FeedVopSplitter(&splitter, piece, got, AddSplitFrame, &target);
  const bool unread = std::ferror(f) != 0;
  (void)std::fclose(f);  // only read from
  if (Ok(split) && unread) {
    Report("Can't read the stream file [%s]\n", path);
    split = Status::kFailed;
    target.fault = MergeFault::kArgument;
  }
  if (Ok(split)) split = FinishVopSplitter(&splitter, AddSplitFrame, &target);
  ReleaseVopSplitter(&splitter);
  if (split == Status::kNotFound) {
    Report("no VOP start code in [%s]\n", path);
    AbandonMergeOutput(out);
    return Fail(fault, MergeFault::kRawStream);
  }
  if (Ok(split)) return Status::kOk;
  // the splitter's own failures (no memory, a frame past 32 bits) leave kOutput
  if (target.fault == MergeFault::kOutput) return FailMergeOutput(out, fault);
  AbandonMergeOutput(out);
  return Fail(fault, target.fault);
}

// The existing file's audio configuration, which must be one of AAC.
bool ReadAudioConfig(MP4_input_file* in, AudioConfig* config) {
  unsigned char esds[ORNIVEX_ESDS_DATA_MAX];
  uint32_t length = 0;
  if (!Succeeded(GetM4aEsdsData(in, esds, &length))) return false;
  if (!Ok(ParseAudioEsds(esds, length, config)) || config->mpeg12 || config->object_type == 0 ||
      config->sample_rate == 0) {
    Report("the audio track has no AAC configuration\n");
    return false;
  }
  return true;
}

}  // namespace

Status MergeVideo(const char* mp4_path, const char* m4v_path, const char* out_path,
                  float frame_rate, MergeFault* fault) {
  *fault = MergeFault::kNone;
  // without a finite, positive rate no frame has a time
  if (!std::isfinite(frame_rate) || !(frame_rate > 0)) return Fail(fault, MergeFault::kArgument);
  if (mp4_path == nullptr || m4v_path == nullptr || out_path == nullptr ||
      OutputIsAnInput(out_path, mp4_path, m4v_path))
    return Fail(fault, MergeFault::kArgument);
  if (!CanReadFile(m4v_path)) return Fail(fault, MergeFault::kArgument);

  uint32_t width = 0, height = 0;
  const int32_t measured = GetM4vHeaderSize(m4v_path, &width, &height);
  if (measured < 0) return Fail(fault, MergeFault::kRawStream);
  const uint32_t header_length = static_cast<uint32_t>(measured);
  if (header_length > kDecoderConfigMax) {
    Report("the stream header of [%u] bytes is longer than a track keeps\n", header_length);
    return Fail(fault, MergeFault::kRawStream);
  }
  unsigned char header[kDecoderConfigMax];
  size_t got = 0;
  uint64_t length = 0;
  if (!ReadStreamHead(m4v_path, header, header_length, &got, &length))
    return Fail(fault, MergeFault::kArgument);
  if (got != header_length || header_length < 3 || header[0] != 0 || header[1] != 0 ||
      header[2] != 1)
    return Fail(fault, MergeFault::kRawStream);

  MP4_input_file* in = nullptr;
  if (!Ok(OpenExistingFile(mp4_path, &in))) return Fail(fault, MergeFault::kExistingOpen);
  AudioConfig audio_config;
  if (!ReadAudioConfig(in, &audio_config)) {
    CloseExistingFile(&in);
    return Fail(fault, MergeFault::kExistingConfig);
  }

  const MediaSetup video{width, height, kVideoTimeScale, 0, 0, 0, header_length, header};
  const MediaSetup audio{0,
                         0,
                         in->audio_info[kAudioTimescale],
                         audio_config.object_type - 1,
                         audio_config.channels,
                         audio_config.sample_rate,
                         0,
                         nullptr};
  MergeOutput out;
  if (!Ok(CreateMergeOutput(out_path, video, audio, &out, fault))) {
    CloseExistingFile(&in);
    return Status::kFailed;
  }
  const Status copied = CopyTrackSamples(in, out.file, false, fault);
  CloseExistingFile(&in);
  if (!Ok(copied)) {
    if (*fault == MergeFault::kOutput) return FailMergeOutput(&out, fault);
    AbandonMergeOutput(&out);
    return Status::kFailed;
  }
  if (!Ok(AppendVopFrames(m4v_path, frame_rate, &out, fault))) return Status::kFailed;
  return FinishMergeOutput(&out, fault);
}
