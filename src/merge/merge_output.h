// The new file of a merge: MP4FileNew with its four tracks (video, audio,
// object descriptor, scene description), the flush, and the clean-up when
// it cannot be finished.
#ifndef ORNIVEX_MERGE_MERGE_OUTPUT_H
#define ORNIVEX_MERGE_MERGE_OUTPUT_H

#include <cstdint>

#include "atom/records.h"
#include "atom/status.h"
#include "merge/merge.h"

// The temporary files of the two media tracks, in the current directory.
constexpr char kVideoTempName[] = "tempv.v";
constexpr char kAudioTempName[] = "tempa.a";

// CreateTrack's arguments for one media track that vary between merges.
struct MediaSetup {
  uint32_t width, height;
  uint32_t time_scale;
  uint32_t audio_profile, channel_config, sample_rate;
  uint32_t config_length;
  const unsigned char* config;
};

struct MergeOutput {
  const char* path = nullptr;
  MP4_local_file* file = nullptr;
  bool made = false;  // the output (and perhaps the temporary files) were created
};

// Whether `out` names one of the inputs as well: creating the output
// would destroy that input. Reports it.
bool OutputIsAnInput(const char* out, const char* mp4, const char* raw);

// MP4FileNew and the four tracks. kFailed with kOutput, and nothing left
// behind, when any of the calls fails.
Status CreateMergeOutput(const char* path, const MediaSetup& video, const MediaSetup& audio,
                         MergeOutput* out, MergeFault* fault);

// Gives the output up: releases the record unflushed and deletes the file
// and the temporary files.
void AbandonMergeOutput(MergeOutput* out);
// The same after a failed write: reports it and sets kOutput in *fault.
Status FailMergeOutput(MergeOutput* out, MergeFault* fault);

// MP4FileFlush, which releases the record; on failure the output goes as
// with FailMergeOutput.
Status FinishMergeOutput(MergeOutput* out, MergeFault* fault);

#endif  // ORNIVEX_MERGE_MERGE_OUTPUT_H
