#include "merge/merge_output.h"

#include <cstring>
#include <initializer_list>

#include "merge/library_calls.h"
#include "platform/platform.h"
#include "platform/report.h"
#include "writer/track_node.h"
#include "writer/writer_release.h"

namespace {

constexpr uint32_t kMpeg4Codec = 1;
constexpr uint32_t kStreamTimeScale = 1000;

int32_t CreateMedia(MP4_local_file* file, WriterTrackType type, const MediaSetup& m,
                    const char* temp) {
  return CreateTrack(file, type, m.width, m.height, 0, m.time_scale, 0, m.audio_profile,
                     m.channel_config, m.sample_rate, m.config_length, m.config, temp, kMpeg4Codec);
}

int32_t CreateStream(MP4_local_file* file, WriterTrackType type) {
  return CreateTrack(file, type, 0, 0, 0, kStreamTimeScale, 0, 0, 0, 0, 0, nullptr, nullptr,
                     kMpeg4Codec);
}

}  // namespace

bool OutputIsAnInput(const char* out, const char* mp4, const char* raw) {
  for (const char* input : {mp4, raw})
    if (input != nullptr && std::strcmp(out, input) == 0) {
      Report("the merged file [%s] would overwrite an input\n", out);
      return true;
    }
  return false;
}

Status CreateMergeOutput(const char* path, const MediaSetup& video, const MediaSetup& audio,
                         MergeOutput* out, MergeFault* fault) {
  out->path = path;
  // A file that was there before and could not be opened for writing (read
  // only, a folder) is not ours to delete.
  const bool existed = CanReadFile(path);
  if (!Succeeded(MP4FileNew(&out->file, path))) {
    out->file = nullptr;
    if (!existed) (void)DeleteFileByName(path);  // an empty file may have been made
    Report("the merged file [%s] could not be written\n", path);
    *fault = MergeFault::kOutput;
    return Status::kFailed;
  }
  out->made = true;
  if (!Succeeded(CreateMedia(out->file, kTrackVideo, video, kVideoTempName)) ||
      !Succeeded(CreateMedia(out->file, kTrackAudio, audio, kAudioTempName)) ||
      !Succeeded(CreateStream(out->file, kTrackObjectDescriptor)) ||
      !Succeeded(CreateStream(out->file, kTrackScene)))
    return FailMergeOutput(out, fault);
  return Status::kOk;
}

void AbandonMergeOutput(MergeOutput* out) {
  ReleaseWriterFile(out->file);
  out->file = nullptr;
  if (!out->made) return;
  out->made = false;
  // Nothing to do about a file that cannot be deleted, or was never made.
  (void)DeleteFileByName(out->path);
  (void)DeleteFileByName(kVideoTempName);
  (void)DeleteFileByName(kAudioTempName);
}

Status FailMergeOutput(MergeOutput* out, MergeFault* fault) {
  Report("the merged file [%s] could not be written\n", out->path);
  AbandonMergeOutput(out);
  *fault = MergeFault::kOutput;
  return Status::kFailed;
}

Status FinishMergeOutput(MergeOutput* out, MergeFault* fault) {
  const int32_t flushed = MP4FileFlush(out->file);
  out->file = nullptr;  // released by the flush on every path
  if (Succeeded(flushed)) return Status::kOk;
  return FailMergeOutput(out, fault);
}
