// Finding atoms in a read tree by their types. Where a level holds two atoms
// of one type, the first (with a body record) is the one found, everywhere.
#ifndef ORNIVEX_ATOM_ATOM_PATH_H
#define ORNIVEX_ATOM_ATOM_PATH_H

#include <initializer_list>

#include "atom/records.h"

// The first sibling of that type from `first` on that has a body record,
// or null; prints nothing.
AtomNode* FindSibling(AtomNode* first, const char* code);
const AtomNode* FindSibling(const AtomNode* first, const char* code);

// Follows one code per level from `first`, descending into each found atom
// but the last. A missing code prints "Can't find [%s] atom" and gives null.
AtomNode* WalkAtomPath(AtomNode* first, std::initializer_list<const char*> codes);
// WalkAtomPath without the message.
const AtomNode* FindAtomPath(const AtomNode* first, std::initializer_list<const char*> codes);

#endif  // ORNIVEX_ATOM_ATOM_PATH_H
