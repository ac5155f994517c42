#include "track/track_discovery.h"

#include <cstdio>

#include "atom/helpers.h"
#include "track/track_records.h"

namespace {

// Version 1 of tkhd and mdhd has 64-bit times, which move the later fields
// by 8 (track ID) or 8 and 12 (timescale, duration). The record holds the
// version-1 fields whenever the atom's size reaches them.
constexpr uint32_t kTkhdVersion1Size = 104;
constexpr uint32_t kMdhdVersion1Size = 44;

bool IsVersion1(const AtomNode* atom, uint32_t version1_size) {
  return RecordU32(atom->realStructure, 8) >> 24 == 1 && atom->size >= version1_size;
}

uint32_t TrackIdOf(const AtomNode* tkhd) {
  return RecordU32(tkhd->realStructure, IsVersion1(tkhd, kTkhdVersion1Size) ? 28 : 20);
}

}  // namespace

AtomNode* FindSibling(AtomNode* first, const char* code) {
  for (AtomNode* n = first; n != nullptr; n = n->next)
    if (IsAtomType(n->type, code) && n->realStructure != nullptr) return n;
  return nullptr;
}

namespace {

// The atom at the end of the path, or null with the code that is missing.
AtomNode* FollowPath(AtomNode* first, std::initializer_list<const char*> codes,
                     const char** missing) {
  AtomNode* level = first;
  AtomNode* found = nullptr;
  for (const char* code : codes) {
    found = FindSibling(level, code);
    if (found == nullptr) {
      *missing = code;
      return nullptr;
    }
    level = found->first_child;
  }
  return found;
}

}  // namespace

AtomNode* WalkAtomPath(AtomNode* first, std::initializer_list<const char*> codes) {
  const char* missing = nullptr;
  AtomNode* found = FollowPath(first, codes, &missing);
  if (found == nullptr) std::printf("Can't find [%s] atom\n", missing);
  return found;
}

const AtomNode* FindAtomPath(const AtomNode* first, std::initializer_list<const char*> codes) {
  const char* missing = nullptr;
  return FollowPath(const_cast<AtomNode*>(first), codes, &missing);
}

void ReadMediaHeader(const AtomNode* mdhd, uint32_t* timescale, uint32_t* duration) {
  if (IsVersion1(mdhd, kMdhdVersion1Size)) {
    *timescale = RecordU32(mdhd->realStructure, 28);
    *duration =
        RecordU32(mdhd->realStructure, 32) != 0 ? 0xFFFFFFFFu : RecordU32(mdhd->realStructure, 36);
  } else {
    *timescale = RecordU32(mdhd->realStructure, 20);
    *duration = RecordU32(mdhd->realStructure, 24);
  }
}

int FindTrackById(const Root_atom* root, uint32_t trackId, AtomNode** trakOut) {
  if (root == nullptr || root->first_atom == nullptr) {
    std::printf("This root atom is empty\n");
    return -99;
  }
  AtomNode* moov = FindSibling(root->first_atom, "moov");
  if (moov == nullptr) {
    std::printf("Can't find moov atom\n");
    return -99;
  }
  for (AtomNode* child = moov->first_child; child != nullptr; child = child->next) {
    if (!IsAtomType(child->type, "trak")) {
      if (child->next == nullptr) {
        std::printf("Can't find such track [%d] atom\n", static_cast<int>(trackId));
        return -99;
      }
      continue;
    }
    // A trak without tkhd ends the search, even with later tracks.
    AtomNode* tkhd = FindSibling(child->first_child, "tkhd");
    if (tkhd == nullptr) {
      std::printf("Can't find tkhd atom\n");
      return -99;
    }
    if (TrackIdOf(tkhd) == trackId) {
      *trakOut = child;
      std::printf("got track [%d]\n", static_cast<int>(trackId));
      return 1;
    }
  }
  std::printf("Can't find such track[%d] atom\n", static_cast<int>(trackId));
  return -99;
}

int GetTrackMediaType(const AtomNode* trak, int32_t* typeOut) {
  if (!IsAtomType(trak->type, "trak")) {
    std::printf("This atom not a track atom\n");
    return -99;
  }
  const AtomNode* hdlr = WalkAtomPath(trak->first_child, {"mdia", "hdlr"});
  if (hdlr == nullptr) return -99;
  const char* handler = static_cast<const char*>(hdlr->realStructure) + 16;
  static const char* const kHandlers[] = {"vide", "soun", "hint", "odsm", "sdsm"};
  for (int i = 0; i < 5; ++i) {
    if (IsAtomType(handler, kHandlers[i])) {
      *typeOut = i + 1;
      return 1;
    }
  }
  char text[5];
  for (int i = 0; i < 4; ++i) text[i] = handler[i];
  text[4] = '\0';
  std::printf("Unknown media type [%s]\n", text);
  *typeOut = kMediaUnknown;
  return -99;
}

namespace {

// The common part of the two info routines: the media header, the sample
// entry and the stsz next to its stsd. Gives the stsz, or null after the
// message of the missing atom.
const AtomNode* ReadTrackInfo(const AtomNode* trak, const char* entry_code, uint32_t* timescale,
                              uint32_t* duration, const AtomNode** entry) {
  if (!IsAtomType(trak->type, "trak")) {
    std::printf("This atom not a track atom\n");
    return nullptr;
  }
  const AtomNode* mdhd = WalkAtomPath(trak->first_child, {"mdia", "mdhd"});
  if (mdhd == nullptr) return nullptr;
  ReadMediaHeader(mdhd, timescale, duration);
  *entry = WalkAtomPath(trak->first_child, {"mdia", "minf", "stbl", "stsd", entry_code});
  if (*entry == nullptr) return nullptr;
  const AtomNode* stbl = (*entry)->parent->parent;
  const AtomNode* stsz = FindSibling(stbl->first_child, "stsz");
  if (stsz == nullptr) std::printf("Can't find [%s] atom\n", "stsz");
  return stsz;
}

}  // namespace

int GetVideoTrackInfo(const AtomNode* trak, uint32_t videoInfoOut[5]) {
  const AtomNode* entry = nullptr;
  const AtomNode* stsz = ReadTrackInfo(trak, "mp4v", &videoInfoOut[kVideoTimescale],
                                       &videoInfoOut[kVideoDuration], &entry);
  if (entry != nullptr) {
    videoInfoOut[kVideoWidth] = RecordU16(entry->realStructure, 32);
    videoInfoOut[kVideoHeight] = RecordU16(entry->realStructure, 34);
  }
  if (stsz == nullptr) return -99;
  videoInfoOut[kVideoSampleCount] = RecordU32(stsz->realStructure, 16);
  return 1;
}

int GetAudioTrackInfo(const AtomNode* trak, uint32_t audioInfoOut[5]) {
  const AtomNode* entry = nullptr;
  const AtomNode* stsz = ReadTrackInfo(trak, "mp4a", &audioInfoOut[kAudioTimescale],
                                       &audioInfoOut[kAudioDuration], &entry);
  if (entry != nullptr) audioInfoOut[kAudioDataRefIndex] = RecordU16(entry->realStructure, 14);
  if (stsz == nullptr) return -99;
  audioInfoOut[kAudioSampleCount] = RecordU32(stsz->realStructure, 16);
  audioInfoOut[kAudioConstantSize] = RecordU32(stsz->realStructure, 12);
  return 1;
}
