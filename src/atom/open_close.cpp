// MP4FileOpen and MP4FileClose: a path becomes a read tree with the index
// of every video and audio track, and is released again.
#include <cstdio>

#include "atom/atom_bodies.h"
#include "atom/atom_tree.h"
#include "atom/helpers.h"
#include "track/sample_index.h"
#include "track/track_discovery.h"
#include "track/track_records.h"

namespace {

// A sample count that the file cannot hold is refused before anything is
// allocated for it: every sample listed in stsz takes 4 bytes of the file,
// and samples of a constant size take that size each.
int32_t PlausibleCapacity(const AtomNode* trak, uint32_t count, uint32_t file_size) {
  const AtomNode* stsz = FindAtomPath(trak->first_child, {"mdia", "minf", "stbl", "stsz"});
  const uint32_t constant = stsz != nullptr ? RecordU32(stsz->realStructure, 12) : 0;
  const uint64_t bytes = uint64_t{count} * (constant != 0 ? constant : 4);
  if (bytes > file_size || count > 0x7FFFFFFF) return 0;
  return static_cast<int32_t>(count);
}

// A node for a track that the open found, and its index when it is a video
// or an audio track. False only when no node can be had.
bool OpenTrack(MP4_input_file* file, uint32_t id, AtomNode* trak) {
  ReadTrackNode** slot = &file->tracks[id];
  *slot = static_cast<ReadTrackNode*>(AllocZeroed(sizeof(ReadTrackNode)));
  if (*slot == nullptr) {
    std::printf("Can't create track node in track [%d]\n", static_cast<int>(id));
    return false;
  }
  GetTrackMediaType(trak, &(*slot)->media_type);
  (*slot)->trak = trak;
  const uint32_t file_size = file->root->file_size;
  if ((*slot)->media_type == kMediaVideo) {
    GetVideoTrackInfo(trak, file->video_info);
    AllocVideoTrackTables(slot,
                          PlausibleCapacity(trak, file->video_info[kVideoSampleCount], file_size));
    BuildVideotrackIndex(slot);
    if (file->video_track_id == 0) file->video_track_id = id;
  } else if ((*slot)->media_type == kMediaAudio) {
    GetAudioTrackInfo(trak, file->audio_info);
    AllocAudioTrackTables(slot,
                          PlausibleCapacity(trak, file->audio_info[kAudioSampleCount], file_size));
    BuildAudiotrackIndex(slot);
    if (file->audio_track_id == 0) file->audio_track_id = id;
  }
  return true;
}

void FreeTracks(MP4_input_file* file) {
  for (ReadTrackNode*& slot : file->tracks)
    if (slot != nullptr) FreeTrackNodeChain(&slot);
}

int FailOpen(MP4_input_file* file, Root_atom* root) {
  FreeTracks(file);
  ReleaseRootAtom(root);
  file->root = nullptr;
  return -99;
}

}  // namespace

extern "C" ORNIVEX_API int32_t ORNIVEX_CALL MP4FileOpen(MP4_input_file** handle, const char* path) {
  if (handle == nullptr) return -99;
  MP4_input_file* file = static_cast<MP4_input_file*>(AllocZeroed(sizeof(MP4_input_file)));
  *handle = file;
  if (file == nullptr) return -99;
  Root_atom* root = static_cast<Root_atom*>(AllocZeroed(sizeof(Root_atom)));
  if (root == nullptr) {
    std::printf("Can't allocate memory for Root_atom in mp4fileopen(...) \n");
    return -99;
  }
  if (path == nullptr || OpenRootFile(root, path) != 1 || ReadFileTree(root) != 1)
    return FailOpen(file, root);

  file->root = root;  // discovery reads the file size through it
  for (uint32_t id = 0; id < kMaxTrackId; ++id) {
    AtomNode* trak = nullptr;
    if (FindTrackById(root, id, &trak) >= 1 && !OpenTrack(file, id, trak))
      return FailOpen(file, root);
  }
  file->audio_cursor = 0;
  file->video_cursor = 0;
  file->key_cursor = 0;
  return 1;
}

extern "C" ORNIVEX_API int32_t ORNIVEX_CALL MP4FileClose(MP4_input_file** handle) {
  if (handle == nullptr || *handle == nullptr) return 1;
  MP4_input_file* file = *handle;
  FreeTracks(file);
  ReleaseRootAtom(file->root);
  file->root = nullptr;
  return 1;
}
