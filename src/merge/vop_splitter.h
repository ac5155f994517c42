// Splits a raw MPEG-4 Visual stream into frames at its VOP start codes
// (00 00 01 B6). The stream may arrive in pieces of any size; the frames are
// the same as for the whole stream at once, and only the frame being
// gathered is held.
#ifndef ORNIVEX_MERGE_VOP_SPLITTER_H
#define ORNIVEX_MERGE_VOP_SPLITTER_H

#include <cstddef>
#include <cstdint>

#include "atom/status.h"

// Looks for the next VOP start code in bytes [*from, size). `complete` says
// that the bytes run to the end of the stream; otherwise only positions
// whose four following bytes are there are examined. A start-code prefix
// that is no VOP is stepped over with the byte after it. True with the
// code's position and key mark (an intra VOP: coding type 0 in the top two
// bits of the byte after the code; a code at the very end has none, so no
// key mark); *from is where the next search goes on either way. Never reads
// at or past `size`.
bool FindNextVop(const unsigned char* data, size_t size, bool complete, size_t* from, size_t* at,
                 bool* key);

// One frame: from its VOP start code to the next one (the last, to the end
// of the stream). `index` counts from 0.
struct VideoFrame {
  const unsigned char* data;
  uint32_t size;
  uint32_t index;
  bool key;
};

// Receives each frame; anything but kOk ends the split with that status.
using VopSink = Status (*)(void* context, const VideoFrame& frame);

// The bytes before the first VOP start code (the stream's headers) belong
// to no frame.
struct VopSplitter {
  unsigned char* bytes = nullptr;  // owned: the frame being gathered, then what is not yet scanned
  size_t capacity = 0;
  size_t begin = 0;     // the frame's first byte (before the first VOP: the scan position)
  size_t end = 0;       // bytes held
  size_t scan = 0;      // next position to examine
  uint32_t frames = 0;  // VOP start codes found
  bool key = false;     // key mark of the frame being gathered
};

// Takes the next piece of the stream and hands on every frame it completes.
// kFailed when no memory can be had or a frame passes 32 bits; else kOk or
// the sink's status.
Status FeedVopSplitter(VopSplitter* splitter, const unsigned char* data, size_t size, VopSink sink,
                       void* context);
// The end of the stream: hands on the remaining frames, the last included.
// kNotFound when the stream had no VOP start code at all.
Status FinishVopSplitter(VopSplitter* splitter, VopSink sink, void* context);
void ReleaseVopSplitter(VopSplitter* splitter);

#endif  // ORNIVEX_MERGE_VOP_SPLITTER_H
