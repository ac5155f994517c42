// stsz and stss: the sizes and the sync samples of a track.
#include "serialise/sample_tables.h"

#include "atom/helpers.h"

namespace {

constexpr uint32_t kStszFixed = 20;
constexpr uint32_t kStszSampleSize = 12;
constexpr uint32_t kStszSampleCount = 16;
constexpr uint32_t kStssFixed = 16;
constexpr uint32_t kEntryCount = 12;
constexpr uint32_t kWord = 4;

// The size shared by every sample, or 0 when they differ. A size of 0 is
// never shared: in the file it means that a list of sizes follows.
uint32_t ConstantSampleSize(const TrackNode* track, uint32_t samples) {
  if (samples == 0) return 0;
  ChainCursor cursor = StartOfChain(track);
  const uint32_t first = SampleAt(&cursor, 0)->size;
  for (uint32_t i = 1; i < samples; ++i)
    if (SampleAt(&cursor, i)->size != first) return 0;
  return first;
}

}  // namespace

Status SizeStszAtom(AtomNode* node, const TrackNode* track, const TrackTotals& totals,
                    uint32_t* size) {
  const uint32_t n = totals.samples;
  const uint32_t constant = ConstantSampleSize(track, n);
  unsigned char* entries = nullptr;
  uint32_t atom_size = kStszFixed;
  if (constant == 0) {
    if (!TableAtomSize(kStszFixed, n, kWord, &atom_size)) return Status::kFailed;
    entries = AllocEntryArray(n, kWord);
    if (entries == nullptr) return Status::kFailed;
    ChainCursor cursor = StartOfChain(track);
    for (uint32_t i = 0; i < n; ++i)
      SetRecordU32(entries, size_t{i} * kWord, SampleAt(&cursor, i)->size);
  }
  ReplaceEntryArray(node, entries);
  SetRecordU32(node->realStructure, kStszSampleSize, constant);
  SetRecordU32(node->realStructure, kStszSampleCount, n);
  SetAtomSize(node, atom_size);
  *size = atom_size;
  return Status::kOk;
}

Status SizeStssAtom(AtomNode* node, const TrackNode* track, const TrackTotals& totals,
                    uint32_t* size) {
  const uint32_t k = totals.key_frames;
  uint32_t atom_size = 0;
  if (!TableAtomSize(kStssFixed, k, kWord, &atom_size)) return Status::kFailed;
  unsigned char* entries = AllocEntryArray(k, kWord);
  if (entries == nullptr) return Status::kFailed;
  ChainCursor cursor = StartOfChain(track);
  for (uint32_t i = 0; i < k; ++i)
    SetRecordU32(entries, size_t{i} * kWord, KeyFrameAt(&cursor, i)->sample_index + 1);
  ReplaceEntryArray(node, entries);
  SetRecordU32(node->realStructure, kEntryCount, k);
  SetAtomSize(node, atom_size);
  *size = atom_size;
  return Status::kOk;
}
