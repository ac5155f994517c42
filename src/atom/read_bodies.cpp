// Body reading: each record is filled from the atom's leading bytes, and
// table and text atoms get their trailing blocks.
#include <cstdio>

#include "atom/atom_bodies.h"
#include "atom/atom_tree.h"
#include "atom/atom_types.h"
#include "platform/report.h"

Status ReadAtomBody(uint32_t count, const AtomNode* node, FILE* file, void* record) {
  if (std::fseek(file, static_cast<long>(node->offset), SEEK_SET) != 0 ||
      std::fread(record, 1, count, file) != count) {
    Report("Read atom[%s] data from file error!\n", node->type);
    return Status::kFailed;
  }
  return Status::kOk;
}

namespace {

bool ReadNodeBody(AtomNode* node, FILE* file, uint32_t file_size) {
  if (node->realStructure == nullptr) return true;  // allocation stopped before it
  AtomTypeInfo info;
  (void)GetAtomPassInfo(node, &info);  // an unknown node reads as skip does
  if (!Ok(ReadAtomBody(BodyReadSize(node, info, file_size), node, file, node->realStructure))) {
    Report("atom[%s] extract from file error\n", node->type);
    return false;
  }
  // a table that cannot be read leaves the atom without a block, which the
  // index finds; the tree is read on
  if (info.entry_size != 0) (void)ReadAtomTable(node, info, file, file_size);
  return true;
}

}  // namespace

Status ExtractSubtreeBodies(AtomNode* node, FILE* file, uint32_t file_size) {
  for (AtomNode* child = node->first_child; child != nullptr; child = child->next) {
    // a failure deep down ends that subtree only; its siblings are still read
    if (child->first_child != nullptr) (void)ExtractSubtreeBodies(child, file, file_size);
    if (!ReadNodeBody(child, file, file_size)) return Status::kFailed;
  }
  return Status::kOk;
}

Status ExtractAtomBodies(Root_atom* root) {
  for (AtomNode* atom = root->first_atom; atom != nullptr; atom = atom->next) {
    (void)ExtractSubtreeBodies(atom, root->file, root->file_size);  // as above
    if (!ReadNodeBody(atom, root->file, root->file_size)) return Status::kFailed;
  }
  return Status::kOk;
}
