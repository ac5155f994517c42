// The esds bodies of every track kind and the file's iods: MPEG-4 Systems
// descriptors (ES_Descriptor, DecoderConfigDescriptor, DecoderSpecificInfo,
// SLConfigDescriptor; the initial object descriptor with its ES_ID_Incs).
#ifndef ORNIVEX_SERIALISE_ESDS_WRITE_H
#define ORNIVEX_SERIALISE_ESDS_WRITE_H

#include <cstdint>

#include "atom/records.h"
#include "atom/status.h"
#include "writer/track_node.h"

// Fills the esds record of a track and hands out its size. kNotFound, with
// no message, for a video configuration that is neither a visual object
// sequence nor a video object, or a picture too large for the default
// header; kFailed after a message for a track type without an esds, or
// without a message when the record cannot be enlarged for a long
// configuration. A video track's configuration is changed in place (its
// profile byte, or its length by the prefix put before it).
Status SizeEsdsAtom(AtomNode* node, TrackNode* track, uint32_t* size);

// Fills the 42-byte iods record of the file.
Status SizeIodsAtom(AtomNode* node, const MP4_local_file* file, uint32_t* size);

// The longest decoder-specific info of a video esds: a 52-byte configuration
// behind the 10-byte visual object sequence and visual object headers.
constexpr uint32_t kMaxVideoDsi = 62;

// The video decoder-specific info, chosen from the track's configuration
// (see SizeEsdsAtom), in dsi[0 .. *length).
Status ChooseVideoDsi(TrackNode* track, unsigned char dsi[kMaxVideoDsi], uint32_t* length);

// The two-byte AudioSpecificConfig of an MPEG-4 audio track.
uint16_t BuildAudioSpecificConfig(const TrackNode& track);

// The samplingFrequencyIndex of a rate: its own for the 13 rates of the
// table, otherwise that of the nearest rate, as decoders map them.
uint32_t SamplingIndexForRate(uint32_t rate);

// True when an audio track carries no configuration at all: it is then
// described as MPEG-1 audio.
bool IsUnconfiguredAudio(const TrackNode& track);

#endif  // ORNIVEX_SERIALISE_ESDS_WRITE_H
