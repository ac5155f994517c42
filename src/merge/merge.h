// Merging: a new file from the video track of an existing MP4 file and an
// ADTS AAC stream (Mp4AddAudio), or from its audio track and a raw MPEG-4
// Visual stream (Mp4AddVideo). Both are clients of the library's own calls.
#ifndef ORNIVEX_MERGE_MERGE_H
#define ORNIVEX_MERGE_MERGE_H

#include "atom/status.h"

// Why a merge failed; the exports turn each into its result code.
enum class MergeFault {
  kNone,
  kArgument,        // a path is null, the raw stream cannot be read, or the
                    // frame rate cannot time the frames
  kExistingOpen,    // the existing file does not open
  kExistingConfig,  // its decoder configuration cannot be read or used
  kExistingSample,  // one of its samples cannot be read
  kRawStream,       // the raw stream is not acceptable
  kOutput,          // the new file could not be written
};

// kOk when the file at `out_path` was written; otherwise kFailed with the
// reason in *fault, and neither the new file nor the temporary files stay.
Status MergeAudio(const char* mp4_path, const char* adts_path, const char* out_path,
                  MergeFault* fault);
Status MergeVideo(const char* mp4_path, const char* m4v_path, const char* out_path,
                  float frame_rate, MergeFault* fault);

#endif  // ORNIVEX_MERGE_MERGE_H
