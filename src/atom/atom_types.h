// The fixed table of atom types: where a container's children begin, how
// large each body record is, which children a container admits, and what
// hangs off a record (an entry table and where its count sits, a text, a
// track reference).
#ifndef ORNIVEX_ATOM_ATOM_TYPES_H
#define ORNIVEX_ATOM_ATOM_TYPES_H

#include <cstdint>

struct AtomNode;

constexpr uint32_t kRuleOne = 1;   // at most one child of this type
constexpr uint32_t kRuleMany = 2;  // any number
constexpr int kMaxChildRules = 19;

struct ChildRule {
  uint32_t max_count;
  uint8_t required;
  char child_type[4];
};

struct AtomTypeInfo {
  uint32_t child_offset;  // 0: a leaf
  uint32_t record_size;   // body record bytes, header included
  uint8_t is_table;
  uint8_t has_text;
  uint32_t entry_size;  // non-zero: the record ends in a trailing-block reference
  // Where an entry table's count sits in the record; 0 for everything else
  // (a track reference is a table without a count).
  uint32_t count_offset;
  // The length of the version-1 layout of a header whose 64-bit times move
  // its later fields (mvhd, tkhd, mdhd); 0 for every other type.
  uint32_t version1_size;
  uint32_t rule_count;
  ChildRule rules[kMaxChildRules];  // rule n is rules[n - 1]
};

// What hangs off a record: read from the file for tables and texts, left
// empty by the reader for track references.
inline bool HasEntryTable(const AtomTypeInfo& info) {
  return info.is_table != 0 && info.count_offset != 0;
}
inline bool IsTrackReference(const AtomTypeInfo& info) {
  return info.is_table != 0 && info.count_offset == 0 && info.entry_size != 0;
}
inline bool HasTextBlock(const AtomTypeInfo& info) {
  return info.has_text != 0 && info.entry_size != 0;
}

// Stores rule number `number` (1 to 19) and nothing else.
void SetChildRule(int number, uint32_t max_count, uint8_t required, const char* child_type,
                  AtomTypeInfo* info);

// The answer of the node lookup.
enum class AtomLookup {
  kKnown,    // a row of the table: header fields and rules written
  kRoot,     // the pseudo-type "root": only its rules written
  kUnknown,  // nothing written
};

AtomLookup GetAtomTypeInfo(const AtomNode* node, AtomTypeInfo* info);

// True for a code that may be read from a file (false also for null); only
// the header fields are written, and nothing for `free`.
bool GetAtomTypeInfoByCode(const char* code, AtomTypeInfo* info);

// The values that the passes over a tree use for a node. The record is
// zero-filled first, so nothing is left from an earlier atom; a node that the
// table does not know (only `free` reaches a tree read from a file) is a
// leaf with an 8-byte record, as `skip` is. Returns GetAtomTypeInfo's answer.
AtomLookup GetAtomPassInfo(const AtomNode* node, AtomTypeInfo* info);

#endif  // ORNIVEX_ATOM_ATOM_TYPES_H
