// Turning a track's sample tables into its flat per-sample index.
#ifndef ORNIVEX_TRACK_SAMPLE_INDEX_H
#define ORNIVEX_TRACK_SAMPLE_INDEX_H

#include "atom/status.h"
#include "track/track_records.h"

// kFailed after a message for a track whose tables cannot be used: it then
// offers no samples.
Status BuildVideotrackIndex(ReadTrackNode** slot);
Status BuildAudiotrackIndex(ReadTrackNode** slot);

#endif  // ORNIVEX_TRACK_SAMPLE_INDEX_H
