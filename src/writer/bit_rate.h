// The running bit-rate figures of a media track: a one-second window of
// bytes in the chain's last block, the rates in the track's first block.
#ifndef ORNIVEX_WRITER_BIT_RATE_H
#define ORNIVEX_WRITER_BIT_RATE_H

#include <cstdint>

#include "writer/track_node.h"

// A rate in floating point as a stored integer: truncated toward zero, 0 for
// a negative or undefined value, the largest integer for one beyond it.
uint32_t TruncateToU32(double value);

// The seconds of a time stamp as the window sees them: the quotient with
// the timescale taken as signed, rounded to single precision. The timescale
// must not be 0.
float WindowTime(uint32_t time_stamp, uint32_t time_scale);

// Counts a frame of `size` bytes at `seconds` into the block's window. The
// track's first frame starts the window afresh; a frame past the window
// closes it (keeping the largest closed window in PeakBytes) and moves it on
// by one second, however far ahead the frame is.
void CountIntoWindow(TrackNode* block, float seconds, uint32_t size, bool first_frame);

// After a frame, with `bytes` appended in all: the average over the time
// stamp's seconds (exact for video, whole seconds for audio) and the peak of
// the block's window, both in bits per second. Nothing changes at a time
// stamp of 0 (audio: below one second) or with a timescale of 0.
void UpdateVideoBitRates(TrackNode* first, const TrackNode* block, uint32_t time_stamp,
                         uint32_t bytes);
void UpdateAudioBitRates(TrackNode* first, const TrackNode* block, uint32_t time_stamp,
                         uint32_t bytes);

#endif  // ORNIVEX_WRITER_BIT_RATE_H
