// Body reading: each record is filled from the atom's leading bytes, and
// table and text atoms get their trailing blocks.
#include <cstdio>

#include "atom/atom_bodies.h"
#include "atom/atom_tree.h"
#include "atom/atom_types.h"

int ReadAtomBody(uint32_t count, const AtomNode* node, FILE* file, void* record) {
  if (std::fseek(file, static_cast<long>(node->offset), SEEK_SET) != 0 ||
      std::fread(record, 1, count, file) != count) {
    std::printf("Read atom[%s] data from file error!\n", node->type);
    return -99;
  }
  return 1;
}

namespace {

bool ReadNodeBody(AtomNode* node, FILE* file, uint32_t file_size) {
  if (node->realStructure == nullptr) return true;  // allocation stopped before it
  AtomTypeInfo info;
  GetAtomPassInfo(node, &info);
  if (ReadAtomBody(BodyReadSize(node, info, file_size), node, file, node->realStructure) != 1) {
    std::printf("atom[%s] extract from file error\n", node->type);
    return false;
  }
  if (info.entry_size != 0) ReadAtomTable(node, info, file, file_size);
  return true;
}

}  // namespace

int ExtractSubtreeBodies(AtomNode* node, FILE* file, uint32_t file_size) {
  for (AtomNode* child = node->first_child; child != nullptr; child = child->next) {
    if (child->first_child != nullptr) ExtractSubtreeBodies(child, file, file_size);
    if (!ReadNodeBody(child, file, file_size)) return -1;
  }
  return 1;
}

int ExtractAtomBodies(Root_atom* root) {
  for (AtomNode* atom = root->first_atom; atom != nullptr; atom = atom->next) {
    ExtractSubtreeBodies(atom, root->file, root->file_size);
    if (!ReadNodeBody(atom, root->file, root->file_size)) return -99;
  }
  return 1;
}
