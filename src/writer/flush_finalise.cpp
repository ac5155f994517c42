// Finishing the movie once every track is sized: the traks go into moov,
// the chunk offsets move from temporary-file positions to file positions,
// and the durations are set.
#include <initializer_list>

#include "atom/atom_bodies.h"
#include "atom/atom_types.h"
#include "atom/field_offsets.h"
#include "atom/helpers.h"
#include "platform/report.h"
#include "serialise/atom_serialiser.h"
#include "serialise/system_samples.h"
#include "writer/flush.h"

namespace {

AtomNode* FindChild(AtomNode* parent, const char* type) {
  for (AtomNode* child = parent->first_child; child != nullptr; child = child->next)
    if (IsAtomType(child->type, type)) return child;
  return nullptr;
}

bool IsTrak(const AtomNode* atom) {
  return atom != nullptr && IsAtomType(atom->type, "trak");
}

// Video, audio, object descriptor, scene description: each after the last
// child of moov so far. The two system tracks go in only beside a media track.
void LinkTracks(AtomNode* moov, const MP4_local_file* file) {
  AtomNode* last = moov->first_child;
  while (last != nullptr && last->next != nullptr) last = last->next;
  const TrackNode* media[] = {file->VideoTrackNode, file->AudioTrackNode};
  const TrackNode* system[] = {file->od_track, file->scene_track};
  auto link = [&](const TrackNode* track) {
    if (track == nullptr || track->Trak == nullptr) return;
    AtomNode* trak = track->Trak;
    trak->parent = moov;
    trak->next = nullptr;
    if (last == nullptr)
      moov->first_child = trak;
    else
      last->next = trak;
    last = trak;
  };
  for (const TrackNode* track : media) link(track);
  for (const TrackNode* track : system)
    if (SystemTrackIncluded(file, track)) link(track);
}

// Sizes the file-level atoms; their sum is where the media begins.
Status MediaStart(Root_atom* root, const MP4_local_file* file, uint64_t* start) {
  *start = 0;
  for (AtomNode* atom = root->first_atom; atom != nullptr; atom = atom->next) {
    uint32_t size = 0;
    if (!Ok(SizeMovieAtom(atom, file, &size))) {
      Report("There is error in [%s] atom\n", atom->type);
      return Status::kFailed;
    }
    *start += size;
  }
  return Status::kOk;
}

void Note(Status step, Status* result) {
  if (!Ok(step)) *result = Status::kFailed;
}

}  // namespace

Status FixChunkOffsets(AtomNode* trak, uint32_t base) {
  if (!IsTrak(trak)) {
    Report("This atom not a track atom\n");
    return Status::kFailed;
  }
  AtomNode* atom = trak;
  for (const char* type : {"mdia", "minf", "stbl", "stco"}) {
    atom = FindChild(atom, type);
    if (atom == nullptr) {
      Report("Can't find [%s] atom\n", type);
      return Status::kFailed;
    }
  }
  if (atom->realStructure == nullptr) return Status::kFailed;
  AtomTypeInfo info;
  (void)GetAtomPassInfo(atom, &info);  // stco: a known table type
  unsigned char* entries = static_cast<unsigned char*>(GetTrailingBlock(atom->realStructure, info));
  const uint32_t count = RecordU32(atom->realStructure, kTableEntryCount);
  if (count > 0 && entries == nullptr) return Status::kFailed;  // the sizing failed
  for (uint32_t i = 0; i < count; ++i)
    SetRecordU32(entries, size_t{i} * 4, RecordU32(entries, size_t{i} * 4) + base);
  return Status::kOk;
}

Status SetTrackDuration(AtomNode* trak, uint32_t duration) {
  if (!IsTrak(trak)) {
    Report("This atom not a track atom\n");
    return Status::kFailed;
  }
  AtomNode* tkhd = FindChild(trak, "tkhd");
  if (tkhd == nullptr || tkhd->realStructure == nullptr) {
    Report("no [tkhd] atom in input [trak] atom's child!!\n");
    return Status::kFailed;
  }
  SetRecordU32(tkhd->realStructure, kTkhdDuration, duration);
  AtomNode* mdia = FindChild(trak, "mdia");
  if (mdia == nullptr) {
    Report("no [mdia] atom in input [trak] atom's child!!\n");
    return Status::kFailed;
  }
  AtomNode* mdhd = FindChild(mdia, "mdhd");
  if (mdhd == nullptr || mdhd->realStructure == nullptr) {
    Report("no [mdhd] atom in input [trak] atom's child!!\n");
    return Status::kFailed;
  }
  SetRecordU32(mdhd->realStructure, kMdhdDuration, duration);
  return Status::kOk;
}

Status FinaliseMovie(Root_atom* root, MP4_local_file* file) {
  AtomNode* moov = nullptr;
  for (AtomNode* atom = root->first_atom; atom != nullptr && moov == nullptr; atom = atom->next)
    if (IsAtomType(atom->type, "moov")) moov = atom;
  if (moov == nullptr) {
    Report("Can't find [moov] atom from input Root_Atom!\n");
    return Status::kFailed;
  }
  LinkTracks(moov, file);
  uint64_t start = 0;
  if (!Ok(MediaStart(root, file, &start))) return Status::kFailed;
  const TrackNode* video = file->VideoTrackNode;
  const TrackNode* audio = file->AudioTrackNode;
  const uint32_t video_bytes = video != nullptr ? file->video_bytes : 0;
  const uint32_t audio_bytes = audio != nullptr ? file->audio_bytes : 0;
  // every offset is 32-bit, the last byte of the file included
  if (start + video_bytes + audio_bytes + SystemSampleBytes(file) > UINT32_MAX) {
    Report("There is error in [%s] atom\n", "mdat");
    return Status::kFailed;
  }
  const uint32_t base = static_cast<uint32_t>(start);
  Status result = Status::kOk;
  if (video != nullptr) {
    Note(FixChunkOffsets(video->Trak, base), &result);
    Note(SetTrackDuration(video->Trak, video->Duration), &result);
  }
  if (audio != nullptr) {
    Note(FixChunkOffsets(audio->Trak, base + video_bytes), &result);
    Note(SetTrackDuration(audio->Trak, audio->Duration), &result);
  }
  // the system samples follow the media, object descriptor first
  uint32_t od_length = 0;
  if (SystemTrackIncluded(file, file->od_track)) {
    Note(FixChunkOffsets(file->od_track->Trak, base + video_bytes + audio_bytes), &result);
    (void)ObjectDescriptorSample(file, &od_length);  // only its length places the scene
  }
  if (SystemTrackIncluded(file, file->scene_track))
    Note(FixChunkOffsets(file->scene_track->Trak, base + video_bytes + audio_bytes + od_length),
         &result);

  AtomNode* mvhd = FindChild(moov, "mvhd");
  if (mvhd == nullptr || mvhd->realStructure == nullptr) {
    Report("no [mvhd] atom in input [moov] atom's child!!\n");
    return Status::kFailed;
  }
  const TrackNode* main = video != nullptr ? video : audio;
  if (main != nullptr) {
    SetRecordU32(mvhd->realStructure, kMvhdTimescale, main->TimeScale);
    SetRecordU32(mvhd->realStructure, kMvhdDuration, main->Duration);
  }
  return result;
}
