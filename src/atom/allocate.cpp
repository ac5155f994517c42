// Allocation: every node gets a zero-filled body record.
#include <cstring>

#include "atom/atom_bodies.h"
#include "atom/atom_tree.h"
#include "atom/atom_types.h"
#include "atom/helpers.h"
#include "platform/report.h"

Status AllocateRealStructure(uint32_t record_size, const char* type, void** out) {
  if (record_size == 0) return Status::kFailed;
  unsigned char* record = static_cast<unsigned char*>(AllocZeroed(record_size));
  if (record == nullptr) return Status::kFailed;
  if (record_size >= 8) std::memcpy(record + 4, type, 4);  // the size field stays 0
  *out = record;
  return Status::kOk;
}

namespace {

bool AllocateNodeRecord(AtomNode* node, uint32_t file_size) {
  AtomTypeInfo info;
  (void)GetAtomPassInfo(node, &info);  // an unknown node gets the 8 bytes of skip
  void* record = nullptr;
  if (!Ok(AllocateRealStructure(RecordAllocSize(node, info, file_size), node->type, &record))) {
    Report("atom[%s] allocate error\n", node->type);
    return false;
  }
  node->realStructure = record;
  return true;
}

}  // namespace

Status AllocateSubtreeRecords(AtomNode* node, uint32_t file_size) {
  for (AtomNode* child = node->first_child; child != nullptr; child = child->next) {
    // a failure deep down ends that subtree only; its siblings still get records
    if (child->first_child != nullptr) (void)AllocateSubtreeRecords(child, file_size);
    if (!AllocateNodeRecord(child, file_size)) return Status::kFailed;
  }
  return Status::kOk;
}

Status AllocateRealStructures(Root_atom* root) {
  for (AtomNode* atom = root->first_atom; atom != nullptr; atom = atom->next) {
    (void)AllocateSubtreeRecords(atom, root->file_size);  // as above
    if (!AllocateNodeRecord(atom, root->file_size)) return Status::kFailed;
  }
  return Status::kOk;
}
