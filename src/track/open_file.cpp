#include "track/open_file.h"

#include "atom/atom_path.h"
#include "atom/atom_tree.h"
#include "atom/field_offsets.h"
#include "atom/helpers.h"
#include "platform/report.h"
#include "track/sample_index.h"
#include "track/track_discovery.h"
#include "track/track_records.h"

namespace {

// A sample count that the file cannot hold is refused before anything is
// allocated for it: every sample listed in stsz takes 4 bytes of the file,
// and samples of a constant size take that size each.
int32_t PlausibleCapacity(const AtomNode* trak, uint32_t count, uint32_t file_size) {
  const AtomNode* stsz = FindAtomPath(trak->first_child, {"mdia", "minf", "stbl", "stsz"});
  const uint32_t constant = stsz != nullptr ? RecordU32(stsz->realStructure, kStszSampleSize) : 0;
  const uint64_t bytes = uint64_t{count} * (constant != 0 ? constant : 4);
  if (bytes > file_size || count > 0x7FFFFFFF) return 0;
  return static_cast<int32_t>(count);
}

// A node for a track that the open found, and its index when it is a video
// or an audio track. A track that cannot be indexed stays, with no samples
// (each step said why). False only when no node can be had.
bool OpenTrack(MP4_input_file* file, uint32_t id, AtomNode* trak) {
  ReadTrackNode** slot = &file->tracks[id];
  *slot = static_cast<ReadTrackNode*>(AllocZeroed(sizeof(ReadTrackNode)));
  if (*slot == nullptr) {
    Report("Can't create track node in track [%d]\n", static_cast<int>(id));
    return false;
  }
  (void)GetTrackMediaType(trak, &(*slot)->media_type);  // unknown: neither branch below
  (*slot)->trak = trak;
  const uint32_t file_size = file->root->file_size;
  if ((*slot)->media_type == kMediaVideo) {
    (void)GetVideoTrackInfo(trak, file->video_info);
    (void)AllocVideoTrackTables(
        slot, PlausibleCapacity(trak, file->video_info[kVideoSampleCount], file_size));
    (void)BuildVideotrackIndex(slot);
    if (file->video_track_id == 0) file->video_track_id = id;
  } else if ((*slot)->media_type == kMediaAudio) {
    (void)GetAudioTrackInfo(trak, file->audio_info);
    (void)AllocAudioTrackTables(
        slot, PlausibleCapacity(trak, file->audio_info[kAudioSampleCount], file_size));
    (void)BuildAudiotrackIndex(slot);
    if (file->audio_track_id == 0) file->audio_track_id = id;
  }
  return true;
}

void FreeTracks(MP4_input_file* file) {
  for (ReadTrackNode*& slot : file->tracks)
    if (slot != nullptr) FreeTrackNodeChain(&slot);
}

Status FailOpen(MP4_input_file* file, Root_atom* root) {
  FreeTracks(file);
  ReleaseRootAtom(root);
  file->root = nullptr;
  return Status::kFailed;
}

}  // namespace

Status OpenInputFile(MP4_input_file* file, const char* path) {
  Root_atom* root = static_cast<Root_atom*>(AllocZeroed(sizeof(Root_atom)));
  if (root == nullptr) {
    Report("Can't allocate memory for Root_atom in mp4fileopen(...) \n");
    return Status::kFailed;
  }
  if (path == nullptr || !Ok(OpenRootFile(root, path)) || !Ok(ReadFileTree(root)))
    return FailOpen(file, root);

  file->root = root;  // discovery reads the file size through it
  for (uint32_t id = 0; id < kMaxTrackId; ++id) {
    AtomNode* trak = nullptr;
    if (Ok(FindTrackById(root, id, &trak)) && !OpenTrack(file, id, trak))
      return FailOpen(file, root);
  }
  file->audio_cursor = 0;
  file->video_cursor = 0;
  file->key_cursor = 0;
  return Status::kOk;
}

void CloseInputFile(MP4_input_file** file) {
  if (*file == nullptr) return;
  FreeTracks(*file);
  ReleaseRootAtom((*file)->root);
  FreeBlock(*file);
  *file = nullptr;
}
