#include "atom/atom_bodies.h"

#include <cstring>

#include "atom/field_offsets.h"
#include "atom/helpers.h"
#include "platform/report.h"

namespace {

bool AtomInsideFile(const AtomNode* node, uint32_t file_size) {
  return uint64_t{node->offset} + node->size <= file_size;
}

}  // namespace

void* GetTrailingBlock(const void* record, const AtomTypeInfo& info) {
  void* block;
  std::memcpy(&block, static_cast<const unsigned char*>(record) + TrailingBlockOffset(info),
              sizeof block);
  return block;
}

void SetTrailingBlock(void* record, const AtomTypeInfo& info, void* block) {
  std::memcpy(static_cast<unsigned char*>(record) + TrailingBlockOffset(info), &block,
              sizeof block);
}

uint32_t BodyReadSize(const AtomNode* node, const AtomTypeInfo& info, uint32_t file_size) {
  if (info.entry_size != 0) return info.record_size - 4;
  if (node->size <= info.record_size) return info.record_size;
  if (IsAtomType(node->type, "esds"))
    return AtomInsideFile(node, file_size) ? node->size : info.record_size;
  if (info.version1_size != 0)
    return node->size < info.version1_size ? node->size : info.version1_size;
  return info.record_size;
}

uint32_t RecordAllocSize(const AtomNode* node, const AtomTypeInfo& info, uint32_t file_size) {
  if (info.entry_size != 0) return info.record_size - 4 + sizeof(void*);
  return BodyReadSize(node, info, file_size);
}

uint32_t RecordLength(const AtomNode* node, uint32_t file_size) {
  if (node->realStructure == nullptr) return 0;
  AtomTypeInfo info;
  (void)GetAtomPassInfo(node, &info);  // an unknown node has the values of skip
  return BodyReadSize(node, info, file_size);
}

bool IsVersion1Header(const AtomNode* node) {
  AtomTypeInfo info;
  (void)GetAtomPassInfo(node, &info);  // an unknown node has no version-1 layout
  return info.version1_size != 0 && node->realStructure != nullptr &&
         static_cast<const unsigned char*>(node->realStructure)[kVersionFlags] == 1 &&
         node->size >= info.version1_size;
}

uint32_t AtomTextLength(const AtomNode* node, const AtomTypeInfo& info) {
  const uint32_t fixed = info.record_size - 4;
  return node->size > fixed ? node->size - fixed : 0;
}

void* ReadEntryBlock(const AtomTypeInfo& info, uint32_t count, AtomNode* node, FILE* file,
                     uint32_t file_size) {
  // In 64 bits: a count read from a file is a claim, and nothing is
  // allocated for a table that the atom, or the file, cannot hold.
  const uint64_t length = uint64_t{count} * info.entry_size;
  const uint64_t fixed = info.record_size - 4;
  if (length + fixed != node->size || !AtomInsideFile(node, file_size)) {
    Report("error to read atom[%s] data from file\n", node->type);
    return nullptr;
  }
  void* block = AllocZeroed(static_cast<size_t>(length));
  if (block == nullptr) return nullptr;
  if (length > 0 && std::fseek(file, static_cast<long>(node->offset + fixed), SEEK_SET) == 0)
    (void)std::fread(block, 1, static_cast<size_t>(length), file);  // a short read leaves zeros
  return block;
}

namespace {

Status ReadText(AtomNode* node, const AtomTypeInfo& info, FILE* file, uint32_t file_size) {
  const uint32_t length = AtomTextLength(node, info);
  if (length == 0) return Status::kOk;
  if (!AtomInsideFile(node, file_size)) {
    Report("error to read atom[%s] data from file\n", node->type);
    return Status::kFailed;
  }
  void* block = AllocZeroed(length);
  if (block == nullptr) return Status::kFailed;
  SetTrailingBlock(node->realStructure, info, block);
  if (std::fseek(file, static_cast<long>(node->offset + info.record_size - 4), SEEK_SET) == 0)
    (void)std::fread(block, 1, length, file);  // inside the file: a short read leaves zeros
  return Status::kOk;
}

}  // namespace

Status ReadAtomTable(AtomNode* node, const AtomTypeInfo& info, FILE* file, uint32_t file_size) {
  void* record = node->realStructure;
  if (HasEntryTable(info)) {
    SetTrailingBlock(record, info, nullptr);
    // a constant sample size means there is no list of sizes
    if (IsAtomType(node->type, "stsz") && RecordU32(record, kStszSampleSize) != 0)
      return Status::kOk;
    void* block = ReadEntryBlock(info, RecordU32(record, info.count_offset), node, file, file_size);
    SetTrailingBlock(record, info, block);
    return block == nullptr ? Status::kFailed : Status::kOk;
  }
  if (HasTextBlock(info)) {
    SetTrailingBlock(record, info, nullptr);
    return ReadText(node, info, file, file_size);
  }
  if (IsTrackReference(info)) return Status::kOk;  // the reader leaves these empty
  return Status::kNotFound;
}

void FreeAtomTable(AtomNode* node) {
  if (node == nullptr || node->realStructure == nullptr) return;
  AtomTypeInfo info;
  if (GetAtomPassInfo(node, &info) == AtomLookup::kKnown && info.entry_size != 0) {
    FreeBlock(GetTrailingBlock(node->realStructure, info));
    SetTrailingBlock(node->realStructure, info, nullptr);
  }
}

void FreeAtomNode(AtomNode* node) {
  if (node == nullptr) return;
  if (node->realStructure != nullptr) {
    FreeAtomTable(node);
    FreeBlock(node->realStructure);
  }
  FreeBlock(node);
}

void FreeAtomSubtree(AtomNode* node) {
  if (node == nullptr) return;
  AtomNode* child = node->first_child;
  while (child != nullptr) {
    if (child->first_child != nullptr) FreeAtomSubtree(child);
    AtomNode* next = child->next;
    FreeAtomNode(child);
    child = next;
  }
  node->first_child = nullptr;
}

void FreeAtomTree(Root_atom* root) {
  if (root == nullptr) return;
  while (root->first_atom != nullptr) {
    AtomNode* atom = root->first_atom;
    root->first_atom = atom->next;
    FreeAtomSubtree(atom);
    FreeAtomNode(atom);
  }
}
