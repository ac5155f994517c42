// The existing file of a merge: opened and closed through MP4FileOpen and
// MP4FileClose, and one of its tracks copied sample by sample.
#ifndef ORNIVEX_MERGE_EXISTING_FILE_H
#define ORNIVEX_MERGE_EXISTING_FILE_H

#include "atom/records.h"
#include "atom/status.h"
#include "merge/merge.h"

// MP4FileOpen; on failure the record is already closed and released.
Status OpenExistingFile(const char* path, MP4_input_file** file);
// MP4FileClose, which releases the record; *file becomes null.
void CloseExistingFile(MP4_input_file** file);

// Every sample of the video (or audio) track, through GetNextSample, to
// AddVideoFrame (AddAudioFrame) with its size, time stamp and key flag.
// kFailed with kExistingSample or kOutput in *fault.
Status CopyTrackSamples(MP4_input_file* in, MP4_local_file* out, bool video, MergeFault* fault);

#endif  // ORNIVEX_MERGE_EXISTING_FILE_H
