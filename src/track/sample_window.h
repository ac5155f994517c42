// A read-ahead window over one track's samples: the small samples that
// follow each other in the file come in with one read, and each is then
// copied to the caller; a large sample is read straight into its block.
#ifndef ORNIVEX_TRACK_SAMPLE_WINDOW_H
#define ORNIVEX_TRACK_SAMPLE_WINDOW_H

#include <cstdint>

#include "atom/records.h"

struct ReadTrackNode;

// Samples of at least this many bytes bypass the window; runs of smaller
// ones are read up to the window's size at once. Measured: a window that
// stays in the processor's second-level cache, and a read per sample only
// where the copy costs more than the call.
constexpr uint32_t kSampleWindowSize = 256 * 1024;
constexpr uint32_t kDirectReadSize = 64 * 1024;

struct SampleWindow {
  uint32_t start;   // file offset of bytes[0]
  uint32_t length;  // bytes held; 0 when empty
  unsigned char bytes[kSampleWindowSize];
};

// Reads sample `index` of the node's index into `out`; false when its bytes
// are not all inside the file or cannot be read. The node's window is made
// on its first small sample and released with the node.
bool ReadIndexedSample(const MP4_input_file* file, ReadTrackNode* node, uint32_t index, void* out);
void FreeSampleWindow(SampleWindow** window);

#endif  // ORNIVEX_TRACK_SAMPLE_WINDOW_H
