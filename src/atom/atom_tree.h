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

int ExtractAtomTree(Root_atom* root, ExtractLog* log = nullptr);
int ReadTopLevelAtoms(Root_atom* root, ExtractLog* log = nullptr);
int ExtractChildAtoms(FILE* file, AtomNode* container, uint32_t start_offset, uint32_t file_size,
                      ExtractLog* log = nullptr, int depth = 1);

int ValidateAtomTree(Root_atom* root);
bool CheckChildRules(const AtomNode* node);

// Every node gets a zero-filled body record with its type in bytes 4 to 7;
// a failure prints "atom[%s] allocate error".
Status AllocateRealStructures(Root_atom* root);
Status AllocateSubtreeRecords(AtomNode* node, uint32_t file_size = 0);
Status AllocateRealStructure(uint32_t record_size, const char* type, void** out);

int ExtractAtomBodies(Root_atom* root);
int ExtractSubtreeBodies(AtomNode* node, FILE* file, uint32_t file_size);
int ReadAtomBody(uint32_t count, const AtomNode* node, FILE* file, void* record);

// The four passes with the open sequence's messages: 1, or -99 after the
// message of the pass that failed. The tree made so far stays linked.
int ReadFileTree(Root_atom* root, ExtractLog* log = nullptr);

// Opens `path` for reading into a zero-filled root and measures it: 1, or
// -99 with the open sequence's message (the root keeps what was opened).
int OpenRootFile(Root_atom* root, const char* path);
// Closes the stream and releases the tree and the root.
void ReleaseRootAtom(Root_atom* root);

#endif  // ORNIVEX_ATOM_ATOM_TREE_H
