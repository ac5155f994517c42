// Body records for the skeleton trees that the writer builds in memory.
#ifndef ORNIVEX_WRITER_WRITER_TREE_H
#define ORNIVEX_WRITER_WRITER_TREE_H

#include "atom/records.h"
#include "atom/status.h"

// True when `first`, its siblings after it and all their descendants have a
// body record. The allocation passes go on past a subtree that failed, so
// this is how a caller learns of a failure deep down.
bool EveryNodeHasRecord(const AtomNode* first);

// Gives one node its zero-filled body record of its type's size, with its
// type in bytes 4 to 7.
Status AllocateNodeRecord(AtomNode* node);

#endif  // ORNIVEX_WRITER_WRITER_TREE_H
