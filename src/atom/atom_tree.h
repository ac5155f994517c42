// Reading a file's atoms into a tree: extraction, validation, allocation of
// body records and body reading, always in this order.
#ifndef ORNIVEX_ATOM_ATOM_TREE_H
#define ORNIVEX_ATOM_ATOM_TREE_H

#include <cstdint>
#include <cstdio>
#include <vector>

#include "atom/records.h"
#include "atom/status.h"

// Containers nest this deep at most; deeper children are not read, so no
// file can drive the recursive passes into the stack's end.
constexpr int kMaxAtomDepth = 32;

// Why a level of the tree ended before its end.
enum class LevelStop { kUnknownCode, kShortHeader, kSizeBelowHeader, kTooDeep };

struct LevelStopRecord {
  const AtomNode* parent;  // null at the top level
  uint32_t offset;         // where the atom that stopped the level begins
  uint32_t size;           // its size field (0 when it could not be read)
  char type[5];
  LevelStop reason;
};

// Filled by extraction when the caller asks: the atom dump marks each stop.
struct ExtractLog {
  std::vector<LevelStopRecord> stops;
};

// Extraction: kOk at the end of a level, kNotFound at a code that is not
// accepted (the level ends there), kFailed at a header past the end of the
// file ("Read data from file error!"). ExtractAtomTree fails only when the
// top level does.
Status ExtractAtomTree(Root_atom* root, ExtractLog* log = nullptr);
Status ReadTopLevelAtoms(Root_atom* root, ExtractLog* log = nullptr);
Status ExtractChildAtoms(FILE* file, AtomNode* container, uint32_t start_offset, uint32_t file_size,
                         ExtractLog* log = nullptr, int depth = 1);

// Validation prints each violation of a child rule; nothing stops on one.
void ValidateAtomTree(Root_atom* root);
bool CheckChildRules(const AtomNode* node);

// Every node gets a zero-filled body record with its type in bytes 4 to 7;
// a failure prints "atom[%s] allocate error".
Status AllocateRealStructures(Root_atom* root);
Status AllocateSubtreeRecords(AtomNode* node, uint32_t file_size = 0);
Status AllocateRealStructure(uint32_t record_size, const char* type, void** out);

Status ExtractAtomBodies(Root_atom* root);
Status ExtractSubtreeBodies(AtomNode* node, FILE* file, uint32_t file_size);
// Reads `count` leading bytes of the atom into `record`; kFailed after
// "Read atom[%s] data from file error!".
Status ReadAtomBody(uint32_t count, const AtomNode* node, FILE* file, void* record);

// The four passes with the open sequence's messages: kFailed after the
// message of the pass that failed. The tree made so far stays linked.
Status ReadFileTree(Root_atom* root, ExtractLog* log = nullptr);

// Opens `path` for reading into a zero-filled root and measures it; kFailed
// after the open sequence's message (the root keeps what was opened).
Status OpenRootFile(Root_atom* root, const char* path);
// Closes the stream and releases the tree and the root.
void ReleaseRootAtom(Root_atom* root);

#endif  // ORNIVEX_ATOM_ATOM_TREE_H
