// The writer's per-track record. The same record is also a table block: a
// track's sample and key-frame tables are a chain of TrackNodes linked by
// NextBlock, the first being the track's own record.
#ifndef ORNIVEX_WRITER_TRACK_NODE_H
#define ORNIVEX_WRITER_TRACK_NODE_H

#include <cstdint>

#include "atom/records.h"
#include "track/track_records.h"

constexpr uint32_t kDecoderConfigMax = 52;

// Sample slots of a track's first block; later media blocks hold as many.
constexpr int32_t kMediaBlockCapacity = 2000;
constexpr int32_t kStreamBlockCapacity = 100;  // object descriptor and scene tracks

// Track types of CreateTrack; 3 (hint) is rejected.
enum WriterTrackType : uint32_t {
  kTrackVideo = 1,
  kTrackAudio = 2,
  kTrackHint = 3,
  kTrackObjectDescriptor = 4,
  kTrackScene = 5,
};

struct TrackNode {
  uint32_t TrackID;
  uint32_t FirstSample;    // samples held by the blocks before this one
  uint32_t FirstKeyFrame;  // key-frame entries held by the blocks before this one
  uint32_t SampleCount;
  uint32_t KeyFrameCount;
  uint32_t TableCapacity;  // 0: no tables yet
  uint16_t Width;
  uint16_t Height;
  uint16_t TimeIncrementResolution;
  uint32_t TimeScale;
  uint32_t Duration;
  uint32_t TrackType;
  TrackNode* NextBlock;
  SampleIndexEntry* SampleTable;  // TableCapacity entries
  // TableCapacity entries: a block may hold nothing but key frames (an
  // all-intra stream), so it has a key-frame slot for every sample slot.
  KeyFrameEntry* KeyFrameTable;
  AtomNode* Trak;
  unsigned char DecoderConfig[kDecoderConfigMax];
  uint32_t DecoderConfigLength;
  uint32_t AudioProfile;  // audio object type minus 1
  uint32_t ChannelConfig;
  uint32_t SampleRate;
  uint32_t ProfileLevel;
  uint32_t VideoTrackID;
  uint32_t AudioTrackID;
  uint32_t AvgBitRate;
  uint32_t MaxBitRate;
  int32_t PeakBytes;
  int32_t WindowBytes;
  int32_t WindowSecond;
};

#endif  // ORNIVEX_WRITER_TRACK_NODE_H
