// MP4FileNew's work: the output file and the writer record's skeleton tree.
#include <cstdio>
#include <cstring>

#include "atom/atom_bodies.h"
#include "atom/atom_tree.h"
#include "atom/helpers.h"
#include "platform/report.h"
#include "writer/atom_template.h"
#include "writer/writer.h"
#include "writer/writer_release.h"
#include "writer/writer_tree.h"

namespace {

// The placeholder's children become the top level; the placeholder goes.
void AdoptTopLevel(Root_atom* root, AtomNode* placeholder) {
  root->first_atom = placeholder->first_child;
  for (AtomNode* atom = root->first_atom; atom != nullptr; atom = atom->next)
    atom->parent = nullptr;
  placeholder->first_child = nullptr;
  FreeAtomNode(placeholder);
}

Status Fail(MP4_local_file* file) {
  ReleaseWriterFile(file);
  return Status::kFailed;
}

}  // namespace

Status NewWriterFile(const char* path, MP4_local_file** out) {
  *out = nullptr;
  // a path that does not fit file_name is refused before anything is created
  if (path == nullptr || std::strlen(path) > static_cast<size_t>(kMaxPathLength)) {
    DebugReport("Can not create new file in MP4FileNew(...) \n");
    return Status::kFailed;
  }
  MP4_local_file* file = static_cast<MP4_local_file*>(AllocZeroed(sizeof(MP4_local_file)));
  if (file == nullptr) {
    DebugReport("Can't allocate memory for MP4_local_file in MP4FileNew(...) \n");
    return Status::kFailed;
  }
  file->root = static_cast<Root_atom*>(AllocZeroed(sizeof(Root_atom)));
  if (file->root == nullptr) {
    DebugReport("Can't allocate memory for Root_atom in MP4FileNew(...) \n");
    return Fail(file);
  }
  std::strcpy(file->root->file_name, path);  // fits: measured above
  file->root->file = std::fopen(path, "wb");
  if (file->root->file == nullptr) {
    DebugReport("Can not create new file in MP4FileNew(...) \n");
    return Fail(file);
  }
  AtomNode* placeholder = nullptr;
  if (!Ok(BuildAtomSubTree(&placeholder, FileTemplate()))) {
    DebugReport("Error occur for create atom subtree in MP4FileNew(...) \n");
    return Fail(file);
  }
  AdoptTopLevel(file->root, placeholder);
  if (!Ok(AllocateRealStructures(file->root)) || !EveryNodeHasRecord(file->root->first_atom)) {
    DebugReport("Error occur for create atom subtree in MP4FileNew(...) \n");
    return Fail(file);
  }
  file->next_track_id = 1;
  *out = file;
  return Status::kOk;
}
