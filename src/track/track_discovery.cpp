#include "track/track_discovery.h"

#include "atom/atom_bodies.h"
#include "atom/atom_path.h"
#include "atom/field_offsets.h"
#include "atom/helpers.h"
#include "platform/report.h"
#include "track/track_records.h"

namespace {

uint32_t TrackIdOf(const AtomNode* tkhd) {
  return RecordU32(tkhd->realStructure, IsVersion1Header(tkhd) ? kTkhdTrackIdV1 : kTkhdTrackId);
}

}  // namespace

void ReadMediaHeader(const AtomNode* mdhd, uint32_t* timescale, uint32_t* duration) {
  const void* r = mdhd->realStructure;
  if (IsVersion1Header(mdhd)) {
    *timescale = RecordU32(r, kMdhdTimescaleV1);
    *duration =
        RecordU32(r, kMdhdDurationV1) != 0 ? 0xFFFFFFFFu : RecordU32(r, kMdhdDurationV1 + 4);
  } else {
    *timescale = RecordU32(r, kMdhdTimescale);
    *duration = RecordU32(r, kMdhdDuration);
  }
}

Status FindTrackById(const Root_atom* root, uint32_t trackId, AtomNode** trakOut) {
  if (root == nullptr || root->first_atom == nullptr) {
    Report("This root atom is empty\n");
    return Status::kNotFound;
  }
  AtomNode* moov = FindSibling(root->first_atom, "moov");
  if (moov == nullptr) {
    Report("Can't find moov atom\n");
    return Status::kNotFound;
  }
  for (AtomNode* child = moov->first_child; child != nullptr; child = child->next) {
    if (!IsAtomType(child->type, "trak")) {
      if (child->next == nullptr) {
        Report("Can't find such track [%d] atom\n", static_cast<int>(trackId));
        return Status::kNotFound;
      }
      continue;
    }
    // A trak without tkhd ends the search, even with later tracks.
    const AtomNode* tkhd = FindSibling(child->first_child, "tkhd");
    if (tkhd == nullptr) {
      Report("Can't find tkhd atom\n");
      return Status::kNotFound;
    }
    if (TrackIdOf(tkhd) == trackId) {
      *trakOut = child;
      Report("got track [%d]\n", static_cast<int>(trackId));
      return Status::kOk;
    }
  }
  Report("Can't find such track[%d] atom\n", static_cast<int>(trackId));
  return Status::kNotFound;
}

Status GetTrackMediaType(const AtomNode* trak, int32_t* typeOut) {
  if (!IsAtomType(trak->type, "trak")) {
    Report("This atom not a track atom\n");
    return Status::kNotFound;
  }
  const AtomNode* hdlr = WalkAtomPath(trak->first_child, {"mdia", "hdlr"});
  if (hdlr == nullptr) return Status::kNotFound;
  const char* handler = static_cast<const char*>(hdlr->realStructure) + kHdlrHandlerType;
  static constexpr char kHandlers[][5] = {"vide", "soun", "hint", "odsm", "sdsm"};
  for (int i = 0; i < 5; ++i) {
    if (IsAtomType(handler, kHandlers[i])) {
      *typeOut = i + 1;
      return Status::kOk;
    }
  }
  char text[5];
  for (int i = 0; i < 4; ++i) text[i] = handler[i];
  text[4] = '\0';
  Report("Unknown media type [%s]\n", text);
  *typeOut = kMediaUnknown;
  return Status::kNotFound;
}

namespace {

// The common part of the two info routines: the media header, the sample
// entry and the stsz next to its stsd. Gives the stsz, or null after the
// message of the missing atom.
const AtomNode* ReadTrackInfo(const AtomNode* trak, const char* entry_code, uint32_t* timescale,
                              uint32_t* duration, const AtomNode** entry) {
  if (!IsAtomType(trak->type, "trak")) {
    Report("This atom not a track atom\n");
    return nullptr;
  }
  AtomNode* first = trak->first_child;
  const AtomNode* mdhd = WalkAtomPath(first, {"mdia", "mdhd"});
  if (mdhd == nullptr) return nullptr;
  ReadMediaHeader(mdhd, timescale, duration);
  *entry = WalkAtomPath(first, {"mdia", "minf", "stbl", "stsd", entry_code});
  if (*entry == nullptr) return nullptr;
  const AtomNode* stbl = (*entry)->parent->parent;
  const AtomNode* stsz = FindSibling(stbl->first_child, "stsz");
  if (stsz == nullptr) Report("Can't find [%s] atom\n", "stsz");
  return stsz;
}

}  // namespace

Status GetVideoTrackInfo(const AtomNode* trak, uint32_t videoInfoOut[5]) {
  const AtomNode* entry = nullptr;
  const AtomNode* stsz = ReadTrackInfo(trak, "mp4v", &videoInfoOut[kVideoTimescale],
                                       &videoInfoOut[kVideoDuration], &entry);
  if (entry != nullptr) {
    videoInfoOut[kVideoWidth] = RecordU16(entry->realStructure, kVisualWidth);
    videoInfoOut[kVideoHeight] = RecordU16(entry->realStructure, kVisualHeight);
  }
  if (stsz == nullptr) return Status::kNotFound;
  videoInfoOut[kVideoSampleCount] = RecordU32(stsz->realStructure, kStszSampleCount);
  return Status::kOk;
}

Status GetAudioTrackInfo(const AtomNode* trak, uint32_t audioInfoOut[5]) {
  const AtomNode* entry = nullptr;
  const AtomNode* stsz = ReadTrackInfo(trak, "mp4a", &audioInfoOut[kAudioTimescale],
                                       &audioInfoOut[kAudioDuration], &entry);
  if (entry != nullptr)
    audioInfoOut[kAudioDataRefIndex] = RecordU16(entry->realStructure, kSampleEntryDataRefIndex);
  if (stsz == nullptr) return Status::kNotFound;
  audioInfoOut[kAudioSampleCount] = RecordU32(stsz->realStructure, kStszSampleCount);
  audioInfoOut[kAudioConstantSize] = RecordU32(stsz->realStructure, kStszSampleSize);
  return Status::kOk;
}
