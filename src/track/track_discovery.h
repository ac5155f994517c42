// Finding tracks in a read tree and reading the few properties the reader
// needs of them.
#ifndef ORNIVEX_TRACK_TRACK_DISCOVERY_H
#define ORNIVEX_TRACK_TRACK_DISCOVERY_H

#include <cstdint>
#include <initializer_list>

#include "atom/records.h"

// Follows one code per level from `first`, descending into each found atom
// but the last. A missing code prints "Can't find [%s] atom" and gives null.
AtomNode* WalkAtomPath(AtomNode* first, std::initializer_list<const char*> codes);
// WalkAtomPath without the message.
const AtomNode* FindAtomPath(const AtomNode* first, std::initializer_list<const char*> codes);
// The first sibling of that type from `first` on, or null; prints nothing.
AtomNode* FindSibling(AtomNode* first, const char* code);

int FindTrackById(const Root_atom* root, uint32_t trackId, AtomNode** trakOut);
int GetTrackMediaType(const AtomNode* trak, int32_t* typeOut);
int GetVideoTrackInfo(const AtomNode* trak, uint32_t videoInfoOut[5]);
int GetAudioTrackInfo(const AtomNode* trak, uint32_t audioInfoOut[5]);

// The media timescale and duration of a track's `mdhd`, from wherever its
// version puts them; a 64-bit duration beyond 32 bits reads as 0xFFFFFFFF.
void ReadMediaHeader(const AtomNode* mdhd, uint32_t* timescale, uint32_t* duration);

#endif  // ORNIVEX_TRACK_TRACK_DISCOVERY_H
