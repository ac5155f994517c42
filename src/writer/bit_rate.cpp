#include "writer/bit_rate.h"

#include <cstdint>

namespace {

// The timescale as the rate arithmetic takes it: signed.
double SignedScale(uint32_t time_scale) {
  return static_cast<double>(static_cast<int32_t>(time_scale));
}

uint32_t BitsOf(uint32_t bytes) {
  return bytes * 8u;  // an unsigned 32-bit product, as stored
}

}  // namespace

uint32_t TruncateToU32(double value) {
  if (!(value > 0)) return 0;  // also NaN
  if (value >= 4294967296.0) return UINT32_MAX;
  return static_cast<uint32_t>(value);
}

float WindowTime(uint32_t time_stamp, uint32_t time_scale) {
  // at most 2^32 in magnitude: well inside float's range
  return static_cast<float>(static_cast<double>(time_stamp) / SignedScale(time_scale));
}

void CountIntoWindow(TrackNode* block, float seconds, uint32_t size, bool first_frame) {
  if (first_frame) block->WindowSecond = block->WindowBytes = block->PeakBytes = 0;
  const float start = static_cast<float>(block->WindowSecond);
  const float end = static_cast<float>(int64_t{block->WindowSecond} + 1);
  // byte counts wrap as 32-bit values do rather than overflow
  if (start <= seconds && seconds <= end) {
    block->WindowBytes = static_cast<int32_t>(static_cast<uint32_t>(block->WindowBytes) + size);
    return;
  }
  if (block->WindowSecond < INT32_MAX) ++block->WindowSecond;
  if (block->WindowBytes > block->PeakBytes) block->PeakBytes = block->WindowBytes;
  block->WindowBytes = static_cast<int32_t>(size);
}

void UpdateVideoBitRates(TrackNode* first, const TrackNode* block, uint32_t time_stamp,
                         uint32_t bytes) {
  if (block->TimeScale == 0) return;
  const double seconds = static_cast<double>(time_stamp) / SignedScale(block->TimeScale);
  if (seconds == 0) return;
  first->AvgBitRate = TruncateToU32(static_cast<double>(BitsOf(bytes)) / seconds);
  first->MaxBitRate = BitsOf(static_cast<uint32_t>(block->PeakBytes));
}

void UpdateAudioBitRates(TrackNode* first, const TrackNode* block, uint32_t time_stamp,
                         uint32_t bytes) {
  if (block->TimeScale == 0) return;
  const uint32_t seconds = time_stamp / block->TimeScale;
  if (seconds == 0) return;
  // both pass through single precision on their way to the record
  first->AvgBitRate = TruncateToU32(static_cast<float>(BitsOf(bytes) / seconds));
  first->MaxBitRate =
      TruncateToU32(static_cast<float>(BitsOf(static_cast<uint32_t>(block->PeakBytes))));
}
