// Extraction: the atom headers of a file become a tree of nodes.
#include <cstring>

#include "atom/atom_tree.h"
#include "atom/atom_types.h"
#include "atom/field_offsets.h"
#include "atom/helpers.h"
#include "platform/report.h"

namespace {

constexpr uint32_t kHeaderSize = kAtomHeaderSize;

void LogStop(ExtractLog* log, const AtomNode* parent, uint64_t offset, uint32_t size,
             const unsigned char* type, LevelStop reason) {
  if (log == nullptr) return;
  LevelStopRecord r{parent, static_cast<uint32_t>(offset), size, {}, reason};
  if (type != nullptr) CopyAtomType(r.type, reinterpret_cast<const char*>(type));
  log->stops.push_back(r);
}

// Reads the 8-byte header at `position`; false after printing the short-read
// message. A header that does not lie inside the file is a short read.
bool ReadHeader(FILE* file, uint64_t position, uint32_t file_size, unsigned char header[8]) {
  if (position + kHeaderSize > file_size ||
      std::fseek(file, static_cast<long>(position), SEEK_SET) != 0 ||
      std::fread(header, 1, kHeaderSize, file) != kHeaderSize) {
    Report("Read data from file error!\n");
    return false;
  }
  return true;
}

// One level: the atoms from `position` up to `end`, linked after `*last`.
// kOk at the end of the level, kNotFound at an unaccepted code, kFailed at
// a short read. An atom of fewer than 8 bytes (0 and 1 included) cannot be
// stepped over, so it ends the level like the level's end does.
Status ReadLevel(FILE* file, uint64_t position, uint64_t end, uint32_t file_size, AtomNode* parent,
                 AtomNode** first, ExtractLog* log, int depth) {
  AtomNode* last = nullptr;
  while (position < end) {
    unsigned char header[kHeaderSize];
    if (!ReadHeader(file, position, file_size, header)) {
      LogStop(log, parent, position, 0, nullptr, LevelStop::kShortHeader);
      return Status::kFailed;
    }
    const char* code = reinterpret_cast<const char*>(header + 4);
    AtomTypeInfo info;
    const uint32_t size = ReadUint32BE(header);
    if (!GetAtomTypeInfoByCode(code, &info)) {
      LogStop(log, parent, position, size, header + 4, LevelStop::kUnknownCode);
      return Status::kNotFound;
    }
    if (size < kHeaderSize) {
      LogStop(log, parent, position, size, header + 4, LevelStop::kSizeBelowHeader);
      return Status::kOk;
    }
    AtomNode* node = static_cast<AtomNode*>(AllocZeroed(sizeof(AtomNode)));
    if (node == nullptr) return Status::kFailed;
    node->size = size;
    CopyAtomType(node->type, code);
    node->offset = static_cast<uint32_t>(position);
    node->parent = parent;
    if (last == nullptr) {
      *first = node;
    } else {
      last->next = node;
    }
    last = node;
    position += size;

    if (parent != nullptr && GetAtomTypeInfo(node, &info) == AtomLookup::kKnown &&
        info.child_offset > 0) {
      if (depth >= kMaxAtomDepth) {
        LogStop(log, node, node->offset, size, header + 4, LevelStop::kTooDeep);
      } else {
        // whatever ends the children's level, this level goes on after the container
        (void)ExtractChildAtoms(file, node, info.child_offset, file_size, log, depth + 1);
      }
    }
  }
  return Status::kOk;
}

}  // namespace

Status ReadTopLevelAtoms(Root_atom* root, ExtractLog* log) {
  root->first_atom = nullptr;
  return ReadLevel(root->file, 0, root->file_size, root->file_size, nullptr, &root->first_atom, log,
                   0);
}

Status ExtractChildAtoms(FILE* file, AtomNode* container, uint32_t start_offset, uint32_t file_size,
                         ExtractLog* log, int depth) {
  const uint64_t start = uint64_t{container->offset} + start_offset;
  const uint64_t end = uint64_t{container->offset} + container->size;
  return ReadLevel(file, start, end, file_size, container, &container->first_child, log, depth);
}

Status ExtractAtomTree(Root_atom* root, ExtractLog* log) {
  if (!Ok(ReadTopLevelAtoms(root, log))) return Status::kFailed;
  for (AtomNode* atom = root->first_atom; atom != nullptr; atom = atom->next) {
    AtomTypeInfo info;
    // a container whose children stop early keeps those read before the stop
    if (GetAtomTypeInfo(atom, &info) == AtomLookup::kKnown && info.child_offset > 0)
      (void)ExtractChildAtoms(root->file, atom, info.child_offset, root->file_size, log, 1);
  }
  return Status::kOk;
}
