// Mp4AddAudio's work: the existing file's video track and the frames of an
// ADTS AAC stream in a new file.
#include "merge/adts_frame.h"
#include "merge/existing_file.h"
#include "merge/library_calls.h"
#include "merge/merge.h"
#include "merge/merge_output.h"
#include "merge/raw_stream.h"
#include "platform/report.h"
#include "writer/track_node.h"

namespace {

constexpr uint32_t kAacFrameSamples = 1024;
constexpr uint32_t kMaxAdtsPayload = 8191;  // frame_length has 13 bits

Status Fail(MergeFault* fault, MergeFault why) {
  *fault = why;
  return Status::kFailed;
}

// Appends the ADTS file's frames, one at a time, with the time stamps
// index x 1024. The walk stops at a frame it cannot take whole, and one
// that stops before the end of the `length` bytes fails with kRawStream.
// On failure the output is given up, with the reason in *fault.
Status AppendAdtsFrames(const char* path, uint64_t length, MergeOutput* out, MergeFault* fault) {
  FILE* f = ReopenStream(path);
  if (f == nullptr) {
    AbandonMergeOutput(out);
    return Fail(fault, MergeFault::kArgument);
  }
  unsigned char payload[kMaxAdtsPayload];
  uint64_t consumed = 0, index = 0;
  Status result = Status::kOk;
  while (consumed < length) {
    unsigned char header[kAdtsHeaderLength];
    const size_t got = std::fread(header, 1, sizeof header, f);
    AdtsFrame frame;
    if (!ReadAdtsFrame(header, static_cast<uint32_t>(got), length - consumed, &frame)) break;
    // the CRC belongs to no AAC frame
    if (frame.header_length > kAdtsHeaderLength && std::fseek(f, kAdtsCrcLength, SEEK_CUR) != 0)
      break;
    if (std::fread(payload, 1, frame.payload_length, f) != frame.payload_length) break;
    const uint64_t stamp = index * kAacFrameSamples;
    if (stamp > UINT32_MAX) {
      Report("ADTS frame [%llu] has a time stamp past 32 bits\n",
             static_cast<unsigned long long>(index));
      result = Status::kFailed;
      break;
    }
    if (!Succeeded(AddAudioFrame(out->file, frame.payload_length, payload,
                                 static_cast<uint32_t>(stamp)))) {
      result = Status::kFailed;
      break;
    }
    consumed += frame.frame_length;
    ++index;
  }
  (void)std::fclose(f);  // only read from
  if (!Ok(result)) return FailMergeOutput(out, fault);
  if (consumed != length) {
    AbandonMergeOutput(out);
    return Fail(fault, MergeFault::kRawStream);
  }
  return Status::kOk;
}

}  // namespace

Status MergeAudio(const char* mp4_path, const char* adts_path, const char* out_path,
                  MergeFault* fault) {
  *fault = MergeFault::kNone;
  if (adts_path == nullptr || out_path == nullptr || OutputIsAnInput(out_path, mp4_path, adts_path))
    return Fail(fault, MergeFault::kArgument);
  unsigned char first[kAdtsHeaderLength];  // also the audio track's configuration
  size_t got = 0;
  uint64_t length = 0;
  if (!ReadStreamHead(adts_path, first, sizeof first, &got, &length))
    return Fail(fault, MergeFault::kArgument);
  uint32_t rate = 0;
  if (got < sizeof first || !HasAdtsSync(first) || !AdtsSamplingRate(first, &rate))
    return Fail(fault, MergeFault::kRawStream);

  MP4_input_file* in = nullptr;
  if (!Ok(OpenExistingFile(mp4_path, &in))) return Fail(fault, MergeFault::kExistingOpen);
  unsigned char config[ORNIVEX_ESDS_DATA_MAX];
  uint32_t width = 0, height = 0, config_length = 0;
  if (!Succeeded(GetM4vEsdsData(in, config, &width, &height, &config_length))) {
    CloseExistingFile(&in);
    return Fail(fault, MergeFault::kExistingConfig);
  }
  if (config_length > kDecoderConfigMax) {
    Report("the video configuration of [%u] bytes is longer than a track keeps\n", config_length);
    CloseExistingFile(&in);
    return Fail(fault, MergeFault::kExistingConfig);
  }

  const MediaSetup video{width,         height, in->video_info[kVideoTimescale], 0, 0, 0,
                         config_length, config};
  const MediaSetup audio{0, 0, rate, 0, 0, 0, kAdtsHeaderLength, first};
  MergeOutput out;
  if (!Ok(CreateMergeOutput(out_path, video, audio, &out, fault))) {
    CloseExistingFile(&in);
    return Status::kFailed;
  }
  const Status copied = CopyTrackSamples(in, out.file, true, fault);
  CloseExistingFile(&in);
  if (!Ok(copied)) {
    if (*fault == MergeFault::kOutput) return FailMergeOutput(&out, fault);
    AbandonMergeOutput(&out);
    return Status::kFailed;
  }
  if (!Ok(AppendAdtsFrames(adts_path, length, &out, fault))) return Status::kFailed;
  return FinishMergeOutput(&out, fault);
}
