#include "merge/existing_file.h"

#include "merge/library_calls.h"
#include "track/sample_access.h"
#include "track/sample_buffer.h"

Status OpenExistingFile(const char* path, MP4_input_file** file) {
  *file = nullptr;
  if (Succeeded(MP4FileOpen(file, path))) return Status::kOk;
  CloseExistingFile(file);
  return Status::kFailed;
}

void CloseExistingFile(MP4_input_file** file) {
  (void)MP4FileClose(file);  // always 1; releases the record and clears *file
}

Status CopyTrackSamples(MP4_input_file* in, MP4_local_file* out, bool video, MergeFault* fault) {
  const uint32_t track = video ? in->video_track_id : in->audio_track_id;
  const uint32_t count =
      video ? in->video_info[kVideoSampleCount] : in->audio_info[kAudioSampleCount];
  SampleBuffer buffer;
  (void)buffer.Alloc(1);  // without it the first read fails, with its message
  for (uint32_t i = 0; i < count; ++i) {
    uint32_t size = 0, time = 0;
    if (!Ok(GetNextSample(in, track, &buffer, &size, &time))) {
      *fault = MergeFault::kExistingSample;
      return Status::kFailed;
    }
    const int32_t added = video ? AddVideoFrame(out, size, buffer.Data(), time,
                                                static_cast<int32_t>(buffer.KeyFlag()))
                                : AddAudioFrame(out, size, buffer.Data(), time);
    if (!Succeeded(added)) {
      *fault = MergeFault::kOutput;
      return Status::kFailed;
    }
  }
  return Status::kOk;
}
