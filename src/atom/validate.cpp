// Validation: each container's children against its child rules. Only the
// diagnostics matter; nothing stops on a violation.
#include <cstdio>

#include "atom/atom_tree.h"
#include "atom/atom_types.h"
#include "atom/helpers.h"
#include "platform/report.h"

bool CheckChildRules(const AtomNode* node) {
  AtomTypeInfo info;
  if (node->first_child == nullptr) {
    (void)GetAtomPassInfo(node, &info);  // an unknown node has no rules
    if (info.rule_count == 0) return true;
    Report("\n Without required child atom at [%s] \n", node->type);
    return false;
  }

  uint32_t children = 0;
  for (const AtomNode* child = node->first_child; child != nullptr; child = child->next) {
    // a violation below is reported there; this node is checked all the same
    if (child->first_child != nullptr) (void)CheckChildRules(child);
    ++children;
  }

  uint32_t counters[kMaxChildRules + 1] = {};
  (void)GetAtomPassInfo(node, &info);  // as above
  if (info.rule_count == 0) {
    Report("\n This Atom[%s] is not a container atom \n", node->type);
    return false;
  }
  uint32_t matched = 0;
  for (uint32_t i = 0; i < info.rule_count; ++i) {
    for (const AtomNode* child = node->first_child; child != nullptr; child = child->next)
      if (IsAtomType(child->type, info.rules[i].child_type)) ++counters[i];
    matched += counters[i];
  }
  if (matched != children) {
    Report("\n There exist at lest one atom not belong to this atom[%s] \n", node->type);
    return false;
  }
  for (uint32_t i = 0; i < info.rule_count; ++i) {
    const ChildRule& rule = info.rules[i];
    char child_type[5];
    CopyAtomType(child_type, rule.child_type);
    if (rule.required == 1 && counters[i] < 1) {
      Report("\n This atom[%s] must have such type of atom[%s] \n", node->type, child_type);
      return false;
    }
    if (rule.max_count == kRuleOne && counters[i] > 1) {
      Report("\n This atom[%s] must only have one such type of atom[%s] \n", node->type,
             child_type);
      return false;
    }
  }
  return true;
}

void ValidateAtomTree(Root_atom* root) {
  // only the diagnostics matter: a tree that breaks a rule is read all the same
  for (const AtomNode* atom = root->first_atom; atom != nullptr; atom = atom->next)
    (void)CheckChildRules(atom);
}
