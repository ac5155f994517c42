// The writing pass: a depth-first image of the sized tree, each atom's
// leading record bytes (and a table's entries) before its children.
#include <cstdio>
#include <initializer_list>

#include "atom/atom_bodies.h"
#include "atom/atom_types.h"
#include "atom/helpers.h"
#include "platform/report.h"
#include "serialise/atom_serialiser.h"

namespace {

// The table types whose entry arrays the writer fills.
bool HasWrittenEntries(const char* type) {
  for (const char* code : {"stts", "stsc", "stco", "stss", "elst", "stsz", "mpod"})
    if (IsAtomType(type, code)) return true;
  return false;
}

bool Put(const void* bytes, uint32_t n, Root_atom* root) {
  const size_t written = n > 0 ? std::fwrite(bytes, 1, n, root->file) : 0;
  root->file_size += static_cast<uint32_t>(written);
  return written == n;
}

bool WriteNode(const AtomNode* node, Root_atom* root) {
  AtomTypeInfo info;
  (void)GetAtomPassInfo(node, &info);  // an unknown type counts as a leaf record of 8
  const void* record = node->realStructure;
  if (record == nullptr) return false;
  const uint32_t count = info.child_offset != 0 ? info.child_offset : node->size;
  if (info.is_table) {
    const uint32_t fixed = info.record_size - 4;
    const void* entries = GetTrailingBlock(record, info);
    if (!HasWrittenEntries(node->type) || count < fixed || (count > fixed && entries == nullptr))
      return false;
    return Put(record, fixed, root) && Put(entries, count - fixed, root);
  }
  if (IsAtomType(node->type, "mdat")) return Put(record, 8, root);
  // an esds record grows with its configuration; the rest are their type's size
  if (count > info.record_size && !IsAtomType(node->type, "esds")) return false;
  return Put(record, count, root);
}

}  // namespace

Status WriteAtomTree(const AtomNode* first, Root_atom* root) {
  if (root == nullptr || root->file == nullptr) return Status::kFailed;
  for (const AtomNode* node = first; node != nullptr; node = node->next) {
    if (!WriteNode(node, root)) {
      Report("error occuring in writing [%s]atom\n", node->type);
      return Status::kFailed;
    }
    if (node->first_child != nullptr && !Ok(WriteAtomTree(node->first_child, root)))
      return Status::kFailed;
  }
  return Status::kOk;
}
