// Finding tracks in a read tree and reading the few properties the reader
// needs of them.
#ifndef ORNIVEX_TRACK_TRACK_DISCOVERY_H
#define ORNIVEX_TRACK_TRACK_DISCOVERY_H

#include <cstdint>

#include "atom/records.h"
#include "atom/status.h"

// The trak whose tkhd carries `trackId`: kOk, or kNotFound after the
// message of what is missing.
Status FindTrackById(const Root_atom* root, uint32_t trackId, AtomNode** trakOut);
// The media type from the handler type of hdlr; kNotFound after a message
// for a trak without one, or with one the reader does not know (the type is
// then kMediaUnknown).
Status GetTrackMediaType(const AtomNode* trak, int32_t* typeOut);
// The video and audio summaries of MP4_input_file: kNotFound after the
// message of a missing atom, with what could be read stored.
Status GetVideoTrackInfo(const AtomNode* trak, uint32_t videoInfoOut[5]);
Status GetAudioTrackInfo(const AtomNode* trak, uint32_t audioInfoOut[5]);

// The media timescale and duration of a track's `mdhd`, from wherever its
// version puts them; a 64-bit duration beyond 32 bits reads as 0xFFFFFFFF.
void ReadMediaHeader(const AtomNode* mdhd, uint32_t* timescale, uint32_t* duration);

#endif  // ORNIVEX_TRACK_TRACK_DISCOVERY_H
