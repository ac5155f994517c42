// The sizing pass over a track's subtree: containers add up their
// children, sample entries and leaf atoms get their fixed values and the
// track's fields, and the esds and sample tables come from their builders.
#include <cstring>
#include <initializer_list>

#include "atom/helpers.h"
#include "platform/report.h"
#include "serialise/atom_serialiser.h"
#include "serialise/atom_sizing.h"
#include "serialise/esds_write.h"
#include "serialise/header_fields.h"
#include "serialise/sample_tables.h"

namespace {

struct TrackSizing {
  TrackNode* track;
  TrackTotals totals;
};

Status SizeNode(AtomNode* node, TrackSizing* s, uint32_t* size);

bool IsOneOf(const char* type, std::initializer_list<const char*> codes) {
  for (const char* code : codes)
    if (IsAtomType(type, code)) return true;
  return false;
}

// `header` bytes before the children, then each child in sibling order; a
// child that cannot be sized fails the container, which names it.
Status SizeContainer(AtomNode* node, TrackSizing* s, uint32_t header, uint32_t* size) {
  uint64_t total = header;
  uint32_t children = 0;
  for (AtomNode* child = node->first_child; child != nullptr; child = child->next) {
    uint32_t child_size = 0;
    if (!Ok(SizeNode(child, s, &child_size))) {
      Report("there is error in [%s]'s child=>[%s]\n", node->type, child->type);
      return Status::kFailed;
    }
    total += child_size;
    ++children;
  }
  if (total > UINT32_MAX) return Status::kFailed;
  if (IsAtomType(node->type, "dref")) SetRecordU32(node->realStructure, kEntryCount, children);
  SetAtomSize(node, static_cast<uint32_t>(total));
  *size = static_cast<uint32_t>(total);
  return Status::kOk;
}

struct EntryKind {
  char type[5];
  uint32_t fixed;  // bytes before the child
  char child[5];   // the child it requires
};

void ReportMissingChild(const char* entry) {
  if (IsAtomType(entry, "mp4v")) Report("the mp4v atom does not contain esds child atom\n");
  if (IsAtomType(entry, "s263")) Report("the s263 atom does not contain d263 child atom\n");
  if (IsAtomType(entry, "mp4a")) Report("the mp4a atom does not contain esds child atom\n");
  if (IsAtomType(entry, "samr")) Report("the samr atom does not contain damr child atom\n");
  if (IsAtomType(entry, "mp4s")) Report("the mp4s atom does not contain esds child atom\n");
}

void SetEntryFields(AtomNode* node, const TrackNode& t) {
  void* r = node->realStructure;
  SetRecordU16(r, kSampleEntryDataRefIndex, 1);
  if (IsOneOf(node->type, {"mp4v", "s263"})) {
    SetRecordU16(r, kVisualWidth, t.Width);
    SetRecordU16(r, kVisualHeight, t.Height);
    SetRecordU32(r, kVisualHorizontalResolution, kDpi72);
    SetRecordU32(r, kVisualVerticalResolution, kDpi72);
    SetRecordU16(r, kVisualFrameCount, 1);
    SetRecordU16(r, kVisualDepth, 0x0018);
    SetRecordU16(r, kVisualPreDefined, 0xFFFF);
  } else if (IsOneOf(node->type, {"mp4a", "samr"})) {
    SetRecordU16(r, kAudioEntryChannels, 2);
    SetRecordU16(r, kAudioEntrySampleSize, 16);
    SetRecordU32(r, kAudioEntrySampleRate, (t.TimeScale & 0xFFFF) << 16);
  }
}

// A sample entry: its fixed part, its one required child, its fields.
Status SizeSampleEntry(AtomNode* node, TrackSizing* s, uint32_t* size) {
  static const EntryKind kEntries[] = {{"mp4v", 86, "esds"},
                                       {"s263", 86, "d263"},
                                       {"mp4a", 36, "esds"},
                                       {"samr", 36, "damr"},
                                       {"mp4s", 16, "esds"}};
  for (const EntryKind& e : kEntries) {
    if (!IsAtomType(node->type, e.type)) continue;
    AtomNode* child = node->first_child;
    if (child == nullptr || !IsAtomType(child->type, e.child)) {
      ReportMissingChild(e.type);
      return Status::kFailed;
    }
    uint32_t child_size = 0;
    if (!Ok(SizeNode(child, s, &child_size))) return Status::kFailed;
    SetEntryFields(node, *s->track);
    *size = e.fixed + child_size;
    SetAtomSize(node, *size);
    return Status::kOk;
  }
  return Status::kNotFound;
}

Status SizeSampleDescription(AtomNode* node, TrackSizing* s, uint32_t* size) {
  AtomNode* entry = node->first_child;
  if (entry == nullptr || !IsOneOf(entry->type, {"s263", "samr", "mp4v", "mp4a", "mp4s"})) {
    Report("the Stsd atom does not contain mp4v or mp4a or mp4s child atom\n");
    return Status::kFailed;
  }
  uint32_t entry_size = 0;
  if (!Ok(SizeNode(entry, s, &entry_size))) return Status::kFailed;
  SetRecordU32(node->realStructure, kEntryCount, 1);
  *size = 16 + entry_size;
  SetAtomSize(node, *size);
  return Status::kOk;
}

Status Fixed(AtomNode* node, uint32_t atom_size, uint32_t* size) {
  SetAtomSize(node, atom_size);
  *size = atom_size;
  return Status::kOk;
}

Status SizeTrackHeader(AtomNode* node, const TrackNode& t, uint32_t* size) {
  void* r = node->realStructure;
  SetFlagsOne(r);
  SetRecordU32(r, kCreationTime, kFixedTime);
  SetRecordU32(r, kModificationTime, kFixedTime);
  SetRecordU32(r, kTkhdTrackId, t.TrackID);
  SetRecordU32(r, kTkhdDuration, t.Duration);
  SetRecordU16(r, kTkhdVolume, t.AudioTrackID == t.TrackID ? 0x0100 : 0);
  SetMatrix(r, kTkhdMatrix);
  SetRecordU32(r, kTkhdWidth, uint32_t{t.Width} << 16);
  SetRecordU32(r, kTkhdHeight, uint32_t{t.Height} << 16);
  return Fixed(node, 92, size);
}

Status SizeMediaHeader(AtomNode* node, const TrackNode& t, uint32_t* size) {
  void* r = node->realStructure;
  SetRecordU32(r, kCreationTime, kFixedTime);
  SetRecordU32(r, kModificationTime, kFixedTime);
  SetRecordU32(r, kMdhdTimescale, t.TimeScale);
  SetRecordU32(r, kMdhdDuration, t.Duration);
  return Fixed(node, 32, size);
}

Status SizeHandler(AtomNode* node, const TrackNode& t, uint32_t* size) {
  static const char* const kHandlers[] = {"vide", "soun", "hint", "odsm", "sdsm"};
  if (t.TrackType >= kTrackVideo && t.TrackType <= kTrackScene)
    std::memcpy(static_cast<unsigned char*>(node->realStructure) + kHdlrHandlerType,
                kHandlers[t.TrackType - 1], 4);
  return Fixed(node, 36, size);
}

// The track reference of the object descriptor track: the media tracks.
Status SizeTrackReference(AtomNode* node, const TrackNode& t, uint32_t* size) {
  uint32_t ids[2] = {t.VideoTrackID, t.AudioTrackID};
  uint32_t n = 2;
  if (ids[0] == 0 || ids[1] == 0) {
    ids[0] = ids[0] != 0 ? ids[0] : ids[1];  // the one that is set, or a single 0
    n = 1;
  }
  unsigned char* entries = AllocEntryArray(n, 4);
  if (entries == nullptr) return Status::kFailed;
  for (uint32_t i = 0; i < n; ++i) SetRecordU32(entries, 4 * i, ids[i]);
  ReplaceEntryArray(node, entries);
  return Fixed(node, 8 + 4 * n, size);
}

Status SizeEditList(AtomNode* node, uint32_t* size) {
  unsigned char* entries = AllocEntryArray(1, 12);  // one empty edit
  if (entries == nullptr) return Status::kFailed;
  ReplaceEntryArray(node, entries);
  SetRecordU32(node->realStructure, kEntryCount, 1);
  return Fixed(node, 28, size);
}

Status SizeH263Config(AtomNode* node, uint32_t* size) {
  unsigned char* r = static_cast<unsigned char*>(node->realStructure);
  std::memcpy(r + 8, "KWMB", 4);
  r[12] = 0;   // decoder_version
  r[13] = 10;  // H263_Level
  r[14] = 0;   // H263_Profile
  return Fixed(node, 15, size);
}

// The low byte of mode_set: the AMR mode of the first frame header, when
// the byte is one (4 + 8 x mode).
Status SizeAmrConfig(AtomNode* node, const TrackNode& t, uint32_t* size) {
  unsigned char* r = static_cast<unsigned char*>(node->realStructure);
  const unsigned char header = t.DecoderConfig[0];
  std::memcpy(r + 8, "ZQVX", 4);
  r[12] = 0;     // decoder_version
  r[13] = 0x81;  // mode_set, high byte
  r[14] = (header & 0xC7) == 4 ? static_cast<unsigned char>(1u << (header >> 3)) : 0xFF;
  r[15] = 0;  // mode_change_period
  r[16] = 1;  // frames_per_sample
  return Fixed(node, 17, size);
}

Status SizeLeaf(AtomNode* node, TrackSizing* s, uint32_t* size) {
  TrackNode* t = s->track;
  const char* type = node->type;
  if (IsAtomType(type, "tkhd")) return SizeTrackHeader(node, *t, size);
  if (IsAtomType(type, "mdhd")) return SizeMediaHeader(node, *t, size);
  if (IsAtomType(type, "hdlr")) return SizeHandler(node, *t, size);
  if (IsAtomType(type, "vmhd")) {
    SetFlagsOne(node->realStructure);
    return Fixed(node, 20, size);
  }
  if (IsAtomType(type, "smhd")) return Fixed(node, 16, size);
  if (IsAtomType(type, "hmhd")) return Fixed(node, 28, size);
  if (IsAtomType(type, "nmhd")) return Fixed(node, 12, size);
  if (IsAtomType(type, "url ")) {
    SetFlagsOne(node->realStructure);  // the media data are in this file
    return Fixed(node, 12, size);
  }
  if (IsAtomType(type, "elst")) return SizeEditList(node, size);
  if (IsAtomType(type, "mpod")) return SizeTrackReference(node, *t, size);
  if (IsAtomType(type, "d263")) return SizeH263Config(node, size);
  if (IsAtomType(type, "damr")) return SizeAmrConfig(node, *t, size);
  if (IsAtomType(type, "esds")) return SizeEsdsAtom(node, t, size);
  if (IsAtomType(type, "stts")) return SizeSttsAtom(node, t, size);
  if (IsAtomType(type, "stsz")) return SizeStszAtom(node, t, s->totals, size);
  if (IsAtomType(type, "stsc")) return SizeStscAtom(node, t, s->totals, size);
  if (IsAtomType(type, "stco")) return SizeStcoAtom(node, t, s->totals, size);
  if (IsAtomType(type, "stss")) return SizeStssAtom(node, t, s->totals, size);
  return Status::kNotFound;
}

Status SizeNode(AtomNode* node, TrackSizing* s, uint32_t* size) {
  if (node->realStructure == nullptr) {
    Report("the [%s] atom doesn't have a realStructure\n", node->type);
    return Status::kFailed;
  }
  if (IsOneOf(node->type, {"trak", "mdia", "minf", "stbl", "dinf", "edts", "tref"}))
    return SizeContainer(node, s, 8, size);
  if (IsAtomType(node->type, "dref")) return SizeContainer(node, s, 16, size);
  if (IsAtomType(node->type, "stsd")) return SizeSampleDescription(node, s, size);
  const Status entry = SizeSampleEntry(node, s, size);
  if (entry != Status::kNotFound) return entry;
  return SizeLeaf(node, s, size);
}

}  // namespace

Status SizeTrackAtom(AtomNode* node, TrackNode* track, uint32_t* size) {
  if (node == nullptr || track == nullptr) return Status::kFailed;
  TrackSizing s{track, {}};
  const Status checked = CheckTrackBlocks(track, &s.totals);
  if (!Ok(checked)) return checked;
  return SizeNode(node, &s, size);
}
