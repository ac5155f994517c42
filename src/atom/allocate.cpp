// Allocation: every node gets a zero-filled body record.
#include <cstdio>
#include <cstring>

#include "atom/atom_bodies.h"
#include "atom/atom_tree.h"
#include "atom/atom_types.h"
#include "atom/helpers.h"

int AllocateRealStructure(uint32_t record_size, const char* type, void** out) {
  if (record_size == 0) return -99;
  unsigned char* record = static_cast<unsigned char*>(AllocZeroed(record_size));
  if (record == nullptr) return -99;
  if (record_size >= 8) std::memcpy(record + 4, type, 4);  // the size field stays 0
  *out = record;
  return 1;
}

namespace {

bool AllocateNodeRecord(AtomNode* node, uint32_t file_size) {
  AtomTypeInfo info;
  GetAtomPassInfo(node, &info);
  void* record = nullptr;
  if (AllocateRealStructure(RecordAllocSize(node, info, file_size), node->type, &record) != 1) {
    std::printf("atom[%s] allocate error\n", node->type);
    return false;
  }
  node->realStructure = record;
  return true;
}

}  // namespace

int AllocateSubtreeRecords(AtomNode* node, uint32_t file_size) {
  for (AtomNode* child = node->first_child; child != nullptr; child = child->next) {
    if (child->first_child != nullptr) AllocateSubtreeRecords(child, file_size);
    if (!AllocateNodeRecord(child, file_size)) return -1;
  }
  return 1;
}

int AllocateRealStructures(Root_atom* root) {
  for (AtomNode* atom = root->first_atom; atom != nullptr; atom = atom->next) {
    AllocateSubtreeRecords(atom, root->file_size);
    if (!AllocateNodeRecord(atom, root->file_size)) return -99;
  }
  return 1;
}
