// The single samples of the object descriptor and scene description tracks:
// fixed bytes chosen by the media tracks that the file has.
#ifndef ORNIVEX_SERIALISE_SYSTEM_SAMPLES_H
#define ORNIVEX_SERIALISE_SYSTEM_SAMPLES_H

#include <cstdint>

#include "atom/records.h"
#include "writer/track_node.h"

// Whether an object descriptor or scene description track goes into the
// file: it exists, and there is a media track for it to describe.
bool SystemTrackIncluded(const MP4_local_file* file, const TrackNode* track);

// The sample's bytes for the media tracks that exist; *length 0 when there is
// no media track.
const unsigned char* ObjectDescriptorSample(const MP4_local_file* file, uint32_t* length);
const unsigned char* SceneSample(const MP4_local_file* file, uint32_t* length);

// The bytes that follow the media in mdat: the samples of the included
// object descriptor and scene description tracks.
uint32_t SystemSampleBytes(const MP4_local_file* file);

#endif  // ORNIVEX_SERIALISE_SYSTEM_SAMPLES_H
