// stsc and stco: how a track's samples are grouped into chunks, and where
// each chunk begins in the track's temporary file.
#include "atom/helpers.h"
#include "serialise/sample_tables.h"

namespace {

constexpr uint32_t kTableFixed = 16;
constexpr uint32_t kEntryCount = 12;
constexpr uint32_t kStscEntry = 12;  // first chunk, samples per chunk, description index
constexpr uint32_t kStcoEntry = 4;
constexpr uint32_t kStreamChunk = 30;  // samples per chunk of the non-video tracks

// A track's chunks. Video: one per key frame, and before them one for the
// samples ahead of the first key frame, so that every sample is reachable.
// The other tracks: runs of 30 samples.
struct ChunkPlan {
  const TrackNode* track;
  bool video;
  uint32_t samples;
  uint32_t lead;    // video: 1 when samples precede the first key frame
  uint32_t chunks;  // chunk count
};

Status PlanChunks(const TrackNode* track, const TrackTotals& totals, ChunkPlan* plan) {
  *plan = ChunkPlan{track, false, totals.samples, 0, 0};
  const uint32_t n = totals.samples;
  if (track->TrackType == kTrackAudio || track->TrackType == kTrackObjectDescriptor ||
      track->TrackType == kTrackScene) {
    plan->chunks = n / kStreamChunk + (n % kStreamChunk != 0 ? 1 : 0);
    return Status::kOk;
  }
  if (track->TrackType != kTrackVideo) return Status::kFailed;  // hint and the rest
  plan->video = true;
  // key frames must name samples of the track in rising order
  ChainCursor cursor = StartOfChain(track);
  uint64_t after_previous = 0;
  for (uint32_t k = 0; k < totals.key_frames; ++k) {
    const uint32_t index = KeyFrameAt(&cursor, k)->sample_index;
    if (index < after_previous || index >= n) return Status::kFailed;
    after_previous = uint64_t{index} + 1;
  }
  const bool lead = n > 0 && (totals.key_frames == 0 || KeyFrameAt(&cursor, 0)->sample_index > 0);
  plan->lead = lead ? 1 : 0;
  plan->chunks = plan->lead + totals.key_frames;
  return Status::kOk;
}

// The first sample of chunk c (below plan.chunks).
uint32_t ChunkStart(const ChunkPlan& plan, ChainCursor* keys, uint32_t c) {
  if (!plan.video) return c * kStreamChunk;
  if (c < plan.lead) return 0;
  return KeyFrameAt(keys, c - plan.lead)->sample_index;
}

void SetStscEntry(unsigned char* entries, uint32_t i, uint32_t first_chunk, uint32_t samples) {
  SetRecordU32(entries, size_t{i} * kStscEntry, first_chunk);
  SetRecordU32(entries, size_t{i} * kStscEntry + 4, samples);
  SetRecordU32(entries, size_t{i} * kStscEntry + 8, 1);
}

Status FinishTable(AtomNode* node, unsigned char* entries, uint32_t count, uint32_t atom_size,
                   uint32_t* size) {
  ReplaceEntryArray(node, entries);
  SetRecordU32(node->realStructure, kEntryCount, count);
  SetAtomSize(node, atom_size);
  *size = atom_size;
  return Status::kOk;
}

}  // namespace

Status SizeStscAtom(AtomNode* node, const TrackNode* track, const TrackTotals& totals,
                    uint32_t* size) {
  ChunkPlan plan;
  if (!Ok(PlanChunks(track, totals, &plan))) return Status::kFailed;
  const uint32_t n = plan.samples;
  // video: an entry per chunk; the others: one run of full chunks and a
  // shorter last one (a track of fewer than 30 samples is one short chunk)
  uint32_t count = plan.video ? plan.chunks : (n > kStreamChunk && n % kStreamChunk != 0 ? 2 : 1);
  uint32_t atom_size = 0;
  if (!TableAtomSize(kTableFixed, count, kStscEntry, &atom_size)) return Status::kFailed;
  unsigned char* entries = AllocEntryArray(count, kStscEntry);
  if (entries == nullptr) return Status::kFailed;
  if (plan.video) {
    ChainCursor keys = StartOfChain(track);
    uint32_t start = plan.chunks > 0 ? ChunkStart(plan, &keys, 0) : 0;
    for (uint32_t c = 0; c < plan.chunks; ++c) {
      const uint32_t end = c + 1 < plan.chunks ? ChunkStart(plan, &keys, c + 1) : n;
      SetStscEntry(entries, c, c + 1, end - start);
      start = end;
    }
  } else if (n < kStreamChunk) {
    SetStscEntry(entries, 0, 1, n);
  } else {
    SetStscEntry(entries, 0, 1, kStreamChunk);
    if (count == 2) SetStscEntry(entries, 1, n / kStreamChunk + 1, n % kStreamChunk);
  }
  return FinishTable(node, entries, count, atom_size, size);
}

Status SizeStcoAtom(AtomNode* node, const TrackNode* track, const TrackTotals& totals,
                    uint32_t* size) {
  ChunkPlan plan;
  if (!Ok(PlanChunks(track, totals, &plan))) return Status::kFailed;
  uint32_t atom_size = 0;
  if (!TableAtomSize(kTableFixed, plan.chunks, kStcoEntry, &atom_size)) return Status::kFailed;
  unsigned char* entries = AllocEntryArray(plan.chunks, kStcoEntry);
  if (entries == nullptr) return Status::kFailed;
  ChainCursor keys = StartOfChain(track), samples = StartOfChain(track);
  for (uint32_t c = 0; c < plan.chunks; ++c) {
    const uint32_t first = ChunkStart(plan, &keys, c);
    SetRecordU32(entries, size_t{c} * kStcoEntry, SampleAt(&samples, first)->temp_offset);
  }
  return FinishTable(node, entries, plan.chunks, atom_size, size);
}
