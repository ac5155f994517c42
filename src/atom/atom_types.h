// The fixed table of atom types: where a container's children begin, how
// large each body record is, and which children a container admits.
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
  uint32_t rule_count;
  ChildRule rules[kMaxChildRules];  // rule n is rules[n - 1]
};

// Stores rule number `number` (1 to 19) and nothing else.
void SetChildRule(int number, uint32_t max_count, uint8_t required, const char* child_type,
                  AtomTypeInfo* info);

// 1 for a known type, 0 for the pseudo-type "root", -1 otherwise. An
// unknown type leaves the record as it was.
int GetAtomTypeInfo(const AtomNode* node, AtomTypeInfo* info);

// 1 for a code that may be read from a file, -1 otherwise (also for null).
int GetAtomTypeInfoByCode(const char* code, AtomTypeInfo* info);

// The values that the passes over a tree use for a node. The record is
// zero-filled first, so nothing is left from an earlier atom; a node that the
// table does not know (only `free` reaches a tree read from a file) is a
// leaf with an 8-byte record, as `skip` is. Returns GetAtomTypeInfo's answer.
int GetAtomPassInfo(const AtomNode* node, AtomTypeInfo* info);

#endif  // ORNIVEX_ATOM_ATOM_TYPES_H
