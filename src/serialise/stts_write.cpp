// stts: sample durations from the differences of consecutive decode times,
// run-length coded, and the track's Duration as their sum.
#include "atom/helpers.h"
#include "serialise/sample_tables.h"

namespace {

constexpr uint32_t kSttsFixed = 16;
constexpr uint32_t kEntryCount = 12;
constexpr uint32_t kSttsEntry = 8;  // sample count, sample delta

// Collects the entries; without an array it only counts them, so that the
// array can be obtained at its exact size.
struct SttsRuns {
  unsigned char* entries;
  uint32_t count;
  uint32_t duration;
  uint32_t last_delta;  // of the entry emitted last; 0 before the first
  uint32_t run_count;
  uint32_t run_delta;
};

void Emit(SttsRuns* r, uint32_t count, uint32_t delta) {
  if (r->entries != nullptr) {
    SetRecordU32(r->entries, size_t{r->count} * kSttsEntry, count);
    SetRecordU32(r->entries, size_t{r->count} * kSttsEntry + 4, delta);
  }
  ++r->count;
  r->duration += count * delta;  // unsigned 32-bit, as the file's field
  r->last_delta = delta;
}

void EndRun(SttsRuns* r) {
  if (r->run_count > 0) Emit(r, r->run_count, r->run_delta);
  r->run_count = 0;
}

void AddDuration(SttsRuns* r, uint32_t delta) {
  if (r->run_count > 0 && delta == r->run_delta) {
    ++r->run_count;
    return;
  }
  EndRun(r);
  r->run_count = 1;
  r->run_delta = delta;
}

const TrackNode* NextFilledBlock(const TrackNode* block) {
  const TrackNode* next = block->NextBlock;
  while (next != nullptr && next->SampleCount == 0) next = next->NextBlock;
  return next;
}

// Runs stay within a block; the last sample of a block that others follow
// is an entry of its own, timed to the next block's first sample.
void WalkDurations(const TrackNode* first, SttsRuns* r) {
  uint32_t previous = 0;  // duration of the sample before; a lone sample gets 0
  for (const TrackNode* b = first; b != nullptr; b = b->NextBlock) {
    const uint32_t n = b->SampleCount;
    if (n == 0) continue;
    const SampleIndexEntry* s = b->SampleTable;
    for (uint32_t j = 0; j + 1 < n; ++j) {
      previous = s[j + 1].time_stamp - s[j].time_stamp;
      AddDuration(r, previous);
    }
    const TrackNode* next = NextFilledBlock(b);
    if (next == nullptr) {
      AddDuration(r, previous);  // the last sample lasts as long as the one before
      EndRun(r);
      return;
    }
    EndRun(r);
    const uint32_t gap = next->SampleTable[0].time_stamp - s[n - 1].time_stamp;
    previous = static_cast<int32_t>(gap) >= 0 ? gap : r->last_delta;
    Emit(r, 1, previous);
  }
}

}  // namespace

Status SizeSttsAtom(AtomNode* node, TrackNode* track, uint32_t* size) {
  SttsRuns counted{};
  WalkDurations(track, &counted);
  uint32_t atom_size = 0;
  if (!TableAtomSize(kSttsFixed, counted.count, kSttsEntry, &atom_size)) return Status::kFailed;
  SttsRuns runs{};
  runs.entries = AllocEntryArray(counted.count, kSttsEntry);
  if (runs.entries == nullptr) return Status::kFailed;
  WalkDurations(track, &runs);
  ReplaceEntryArray(node, runs.entries);
  SetRecordU32(node->realStructure, kEntryCount, runs.count);
  SetAtomSize(node, atom_size);
  track->Duration = runs.duration;
  *size = atom_size;
  return Status::kOk;
}
