#include "atom/atom_path.h"

#include "atom/helpers.h"
#include "platform/report.h"

AtomNode* FindSibling(AtomNode* first, const char* code) {
  for (AtomNode* n = first; n != nullptr; n = n->next)
    if (IsAtomType(n->type, code) && n->realStructure != nullptr) return n;
  return nullptr;
}

const AtomNode* FindSibling(const AtomNode* first, const char* code) {
  return FindSibling(const_cast<AtomNode*>(first), code);
}

namespace {

// The atom at the end of the path, or null with the code that is missing.
AtomNode* FollowPath(AtomNode* first, std::initializer_list<const char*> codes,
                     const char** missing) {
  AtomNode* level = first;
  AtomNode* found = nullptr;
  for (const char* code : codes) {
    found = FindSibling(level, code);
    if (found == nullptr) {
      *missing = code;
      return nullptr;
    }
    level = found->first_child;
  }
  return found;
}

}  // namespace

AtomNode* WalkAtomPath(AtomNode* first, std::initializer_list<const char*> codes) {
  const char* missing = nullptr;
  AtomNode* found = FollowPath(first, codes, &missing);
  if (found == nullptr) Report("Can't find [%s] atom\n", missing);
  return found;
}

const AtomNode* FindAtomPath(const AtomNode* first, std::initializer_list<const char*> codes) {
  const char* missing = nullptr;
  return FollowPath(const_cast<AtomNode*>(first), codes, &missing);
}
