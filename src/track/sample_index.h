// Turning a track's sample tables into its flat per-sample index.
#ifndef ORNIVEX_TRACK_SAMPLE_INDEX_H
#define ORNIVEX_TRACK_SAMPLE_INDEX_H

#include "track/track_records.h"

int BuildVideotrackIndex(ReadTrackNode** slot);
int BuildAudiotrackIndex(ReadTrackNode** slot);

#endif  // ORNIVEX_TRACK_SAMPLE_INDEX_H
