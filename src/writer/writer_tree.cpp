#include "writer/writer_tree.h"

#include "atom/atom_bodies.h"
#include "atom/atom_tree.h"
#include "atom/atom_types.h"

bool EveryNodeHasRecord(const AtomNode* first) {
  for (const AtomNode* node = first; node != nullptr; node = node->next) {
    if (node->realStructure == nullptr) return false;
    if (!EveryNodeHasRecord(node->first_child)) return false;
  }
  return true;
}

Status AllocateNodeRecord(AtomNode* node) {
  AtomTypeInfo info;
  // the record is zero-filled first, so an unknown type gets the values of a leaf
  (void)GetAtomPassInfo(node, &info);
  // a node built in memory has size 0: the record is its type's record size
  return AllocateRealStructure(RecordAllocSize(node, info, 0), node->type, &node->realStructure);
}
