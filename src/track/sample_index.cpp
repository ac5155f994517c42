// The index of a track: every sample's decode time, file offset and size,
// and every sync sample's position, computed once at open.
//
// The tables of a file need not agree with each other. The index never
// reads or writes outside a table: it holds at most as many samples as the
// table was allocated for; samples that no chunk offset reaches are cut off;
// samples past the last time-to-sample run keep its delta; sync samples out
// of range or out of order are left out; a video track without a sync
// sample table has only sync samples; and the key-frame table grows when a
// track has more sync samples than it was first given room for. A track
// whose tables cannot be used offers no samples at all.
#include "track/sample_index.h"

#include "atom/atom_bodies.h"
#include "atom/atom_path.h"
#include "atom/atom_types.h"
#include "atom/field_offsets.h"
#include "atom/helpers.h"
#include "platform/report.h"

namespace {

// One entry table of an stbl child: its entries in file byte order.
struct Table {
  const AtomNode* atom = nullptr;
  const unsigned char* entries = nullptr;  // null when the atom has none
  uint32_t count = 0;
  // read here rather than through ReadUint32BE: this runs for every sample
  uint32_t u32(uint32_t entry, uint32_t field, uint32_t entry_size) const {
    const unsigned char* b = entries + uint64_t{entry} * entry_size + field * 4;
    return uint32_t{b[0]} << 24 | uint32_t{b[1]} << 16 | uint32_t{b[2]} << 8 | b[3];
  }
};

Table TableOf(const AtomNode* atom) {
  Table t;
  t.atom = atom;
  AtomTypeInfo info;
  (void)GetAtomPassInfo(atom, &info);  // only the table types reach here
  t.entries = static_cast<const unsigned char*>(GetTrailingBlock(atom->realStructure, info));
  t.count = RecordU32(atom->realStructure, info.count_offset);
  return t;
}

struct TrackTables {
  Table stsz, stss, stts, stco, stsc;
  uint32_t constant_size = 0;
};

// The first atom of each type in stbl, as everywhere in the reader.
void CollectTables(ReadTrackNode* node, const AtomNode* stbl, bool video, TrackTables* t) {
  const AtomNode* first = stbl->first_child;
  if (const AtomNode* stsz = FindSibling(first, "stsz")) {
    t->stsz = TableOf(stsz);
    t->constant_size = RecordU32(stsz->realStructure, kStszSampleSize);
    node->sample_count = t->stsz.count;
  }
  if (const AtomNode* stss = video ? FindSibling(first, "stss") : nullptr) {
    t->stss = TableOf(stss);
    node->key_count = t->stss.count;
  }
  if (const AtomNode* stts = FindSibling(first, "stts")) t->stts = TableOf(stts);
  if (const AtomNode* stco = FindSibling(first, "stco")) t->stco = TableOf(stco);
  if (const AtomNode* stsc = FindSibling(first, "stsc")) t->stsc = TableOf(stsc);
}

bool Usable(const Table& t) {
  return t.atom != nullptr && t.entries != nullptr;
}

void FillSizes(ReadTrackNode* node, const TrackTables& t) {
  for (uint32_t i = 0; i < node->sample_count; ++i)
    node->sample_table[i].size = t.constant_size != 0 ? t.constant_size : t.stsz.u32(i, 0, 4);
}

// Each time stamp is the sum of the deltas of all earlier samples.
void FillTimeStamps(ReadTrackNode* node, const Table& stts) {
  uint32_t run = 0;
  uint32_t left = stts.count > 0 ? stts.u32(0, 0, 8) : 0;
  uint32_t delta = 0;
  uint32_t time = 0;
  for (uint32_t i = 0; i < node->sample_count; ++i) {
    node->sample_table[i].time_stamp = time;
    while (left == 0 && run + 1 < stts.count) left = stts.u32(++run, 0, 8);
    if (left > 0) {
      delta = stts.u32(run, 1, 8);
      --left;
    }
    time += delta;
  }
}

// Walks the chunks run by run: the first run's first chunk is chunk offset 0
// and each run lasts until the next run's first chunk; the last run lasts
// as long as there are chunk offsets. Returns the samples that got an offset.
uint32_t FillOffsets(ReadTrackNode* node, const Table& stsc, const Table& stco) {
  uint32_t sample = 0;
  uint32_t chunk = 0;
  for (uint32_t run = 0; run < stsc.count && sample < node->sample_count; ++run) {
    const uint32_t per_chunk = stsc.u32(run, 1, 12);
    const bool last = run + 1 == stsc.count;
    const uint32_t first = stsc.u32(run, 0, 12);
    const uint32_t next_first = last ? 0 : stsc.u32(run + 1, 0, 12);
    const uint64_t chunks = last ? UINT64_MAX : (next_first > first ? next_first - first : 0);
    for (uint64_t c = 0; c < chunks && sample < node->sample_count; ++c, ++chunk) {
      if (chunk >= stco.count) return sample;
      uint32_t offset = stco.u32(chunk, 0, 4);
      for (uint32_t s = 0; s < per_chunk && sample < node->sample_count; ++s, ++sample) {
        node->sample_table[sample].file_offset = offset;
        offset += node->sample_table[sample].size;
      }
    }
  }
  return sample;
}

void FillKeyFrames(ReadTrackNode* node, const Table& stss) {
  uint32_t slots = node->table_capacity / 2;
  uint32_t count = 0;
  uint32_t previous = 0;
  for (uint32_t k = 0; k < stss.count; ++k) {
    const uint32_t number = stss.u32(k, 0, 4);  // 1-based
    if (number < 1 || number > node->sample_count || number <= previous) continue;
    if (count == slots) {
      const uint32_t room = stss.count < node->sample_count ? stss.count : node->sample_count;
      void* grown = ResizeBlock(node->key_table, size_t(room) * sizeof(KeyFrameEntry));
      if (grown == nullptr) break;
      node->key_table = static_cast<KeyFrameEntry*>(grown);
      slots = room;
    }
    node->key_table[count].sample_index = number - 1;
    node->key_table[count].time_stamp = node->sample_table[number - 1].time_stamp;
    ++count;
    previous = number;
  }
  node->key_count = count;
}

void FillAllKeyFrames(ReadTrackNode* node) {
  node->key_count = 0;
  if (node->sample_count > node->table_capacity / 2) {
    void* grown = ResizeBlock(node->key_table, size_t(node->sample_count) * sizeof(KeyFrameEntry));
    if (grown == nullptr) return;
    node->key_table = static_cast<KeyFrameEntry*>(grown);
  }
  for (uint32_t i = 0; i < node->sample_count; ++i)
    node->key_table[i] = {node->sample_table[i].time_stamp, i};
  node->key_count = node->sample_count;
}

Status BuildIndex(ReadTrackNode** slot, bool video) {
  ReadTrackNode* node = *slot;
  if (node == nullptr || node->trak == nullptr || !IsAtomType(node->trak->type, "trak")) {
    Report("This atom not a track atom\n");
    return Status::kFailed;
  }
  const AtomNode* stbl = WalkAtomPath(node->trak->first_child, {"mdia", "minf", "stbl"});
  if (stbl == nullptr) return Status::kFailed;

  TrackTables t;
  CollectTables(node, stbl, video, &t);
  // never more samples or key frames than the tables have room for
  if (node->sample_count > node->table_capacity) node->sample_count = node->table_capacity;
  if (node->key_count > node->table_capacity / 2) node->key_count = node->table_capacity / 2;
  const bool sizes = t.stsz.atom != nullptr && (t.constant_size != 0 || t.stsz.entries != nullptr);
  // A video track without stss has only sync samples.
  const bool all_sync = video && t.stss.atom == nullptr;
  if (!sizes || !Usable(t.stts) || !Usable(t.stco) || !Usable(t.stsc) ||
      (video && !all_sync && !Usable(t.stss))) {
    Report("Some thing wrong at BuildVideotrackIndex ... func \n");
    // a refused track offers no samples rather than empty ones
    node->sample_count = 0;
    node->key_count = 0;
    return Status::kFailed;
  }

  FillSizes(node, t);
  FillTimeStamps(node, t.stts);
  node->sample_count = FillOffsets(node, t.stsc, t.stco);
  if (all_sync) {
    FillAllKeyFrames(node);
  } else if (video) {
    FillKeyFrames(node, t.stss);
  }
  return Status::kOk;
}

}  // namespace

Status BuildVideotrackIndex(ReadTrackNode** slot) {
  return BuildIndex(slot, true);
}

Status BuildAudiotrackIndex(ReadTrackNode** slot) {
  return BuildIndex(slot, false);
}
