#include "atom/atom_bodies.h"

#include <cstring>

#include "atom/helpers.h"

namespace {

// Where each table atom keeps its entry count.
struct TableKind {
  char code[5];
  uint32_t count_offset;
};
constexpr TableKind kTables[] = {{"stts", 12}, {"ctts", 12}, {"stsc", 12}, {"stco", 12},
                                 {"co64", 12}, {"stss", 12}, {"stsh", 12}, {"stdp", 12},
                                 {"elst", 12}, {"stsz", 16}};
constexpr const char* kTexts[] = {"url ", "urn ", "sdp "};
constexpr const char* kTrackReferences[] = {"dpnd", "hint", "ipir", "mpod", "sync"};

// Version-1 lengths of the headers whose 64-bit times move later fields.
struct LongHeader {
  char code[5];
  uint32_t version1_size;
};
constexpr LongHeader kLongHeaders[] = {{"mvhd", 120}, {"tkhd", 104}, {"mdhd", 44}};

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
  for (const LongHeader& h : kLongHeaders)
    if (IsAtomType(node->type, h.code))
      return node->size < h.version1_size ? node->size : h.version1_size;
  return info.record_size;
}

uint32_t RecordAllocSize(const AtomNode* node, const AtomTypeInfo& info, uint32_t file_size) {
  if (info.entry_size != 0) return info.record_size - 4 + sizeof(void*);
  return BodyReadSize(node, info, file_size);
}

uint32_t RecordLength(const AtomNode* node, uint32_t file_size) {
  if (node->realStructure == nullptr) return 0;
  AtomTypeInfo info;
  GetAtomPassInfo(node, &info);
  return BodyReadSize(node, info, file_size);
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
    std::printf("error to read atom[%s] data from file\n", node->type);
    return nullptr;
  }
  void* block = AllocZeroed(static_cast<size_t>(length));
  if (block == nullptr) return nullptr;
  if (length > 0 && std::fseek(file, static_cast<long>(node->offset + fixed), SEEK_SET) == 0)
    (void)std::fread(block, 1, static_cast<size_t>(length), file);  // a short read leaves zeros
  return block;
}

int ReadAtomTable(AtomNode* node, const AtomTypeInfo& info, FILE* file, uint32_t file_size) {
  void* record = node->realStructure;
  for (const TableKind& t : kTables) {
    if (!IsAtomType(node->type, t.code)) continue;
    SetTrailingBlock(record, info, nullptr);
    // a constant sample size means there is no list of sizes
    if (t.count_offset == 16 && RecordU32(record, 12) != 0) return 1;
    void* block = ReadEntryBlock(info, RecordU32(record, t.count_offset), node, file, file_size);
    SetTrailingBlock(record, info, block);
    return block == nullptr ? -99 : 1;
  }
  for (const char* code : kTexts) {
    if (!IsAtomType(node->type, code)) continue;
    SetTrailingBlock(record, info, nullptr);
    const uint32_t length = AtomTextLength(node, info);
    if (length == 0) return 1;
    if (!AtomInsideFile(node, file_size)) {
      std::printf("error to read atom[%s] data from file\n", node->type);
      return -99;
    }
    void* block = AllocZeroed(length);
    if (block == nullptr) return -99;
    SetTrailingBlock(record, info, block);
    if (std::fseek(file, static_cast<long>(node->offset + info.record_size - 4), SEEK_SET) == 0)
      (void)std::fread(block, 1, length, file);
    return 1;
  }
  for (const char* code : kTrackReferences)
    if (IsAtomType(node->type, code)) return 1;  // the reader leaves these empty
  return -1;
}

int FreeAtomTable(AtomNode* node) {
  if (node == nullptr || node->realStructure == nullptr) return 1;
  AtomTypeInfo info;
  if (GetAtomPassInfo(node, &info) == 1 && info.entry_size != 0) {
    FreeBlock(GetTrailingBlock(node->realStructure, info));
    SetTrailingBlock(node->realStructure, info, nullptr);
  }
  return 1;
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
