#include "writer/writer_release.h"

#include <cstdio>
#include <initializer_list>

#include "atom/atom_bodies.h"
#include "atom/helpers.h"
#include "platform/report.h"
#include "writer/media_spool.h"
#include "writer/table_blocks.h"

Status FreeWriterSubTree(AtomNode* atom) {
  if (atom == nullptr) return Status::kOk;
  AtomNode* child = atom->first_child;
  while (child != nullptr) {
    if (child->first_child != nullptr && !Ok(FreeWriterSubTree(child)))
      Report("there is error in free[%s] atom's child\n", child->type);
    AtomNode* next = child->next;
    FreeAtomNode(child);  // its table or text, its body, the node
    child = next;
  }
  atom->first_child = nullptr;
  return Status::kOk;
}

void ReleaseTrackChain(TrackNode* first) {
  if (first == nullptr) return;
  AtomNode* trak = first->Trak;
  if (trak != nullptr && trak->parent == nullptr) {
    (void)FreeWriterSubTree(trak);  // always succeeds
    FreeAtomNode(trak);
  }
  FreeTrackBlocks(first);
}

void ReleaseWriterFile(MP4_local_file* file) {
  if (file == nullptr) return;
  CloseSpoolFile(&file->video_temp, &file->video_temp_buffer);
  CloseSpoolFile(&file->audio_temp, &file->audio_temp_buffer);
  for (TrackNode** track :
       {&file->VideoTrackNode, &file->AudioTrackNode, &file->od_track, &file->scene_track}) {
    ReleaseTrackChain(*track);
    *track = nullptr;
  }
  Root_atom* root = file->root;
  if (root != nullptr) {
    if (root->file != nullptr) (void)std::fclose(root->file);  // as above
    root->file = nullptr;
    while (root->first_atom != nullptr) {
      AtomNode* atom = root->first_atom;
      root->first_atom = atom->next;
      (void)FreeWriterSubTree(atom);  // always succeeds
      FreeAtomNode(atom);
    }
    FreeBlock(root);
  }
  FreeBlock(file);
}
