// Body records: an atom's leading bytes as stored in the file, and the
// trailing blocks (entry tables and texts) that hang off table and text atoms.
#ifndef ORNIVEX_ATOM_ATOM_BODIES_H
#define ORNIVEX_ATOM_ATOM_BODIES_H

#include <cstdint>
#include <cstdio>

#include "atom/atom_types.h"
#include "atom/records.h"
#include "atom/status.h"

// Where a table or text atom keeps its trailing-block reference: the last 4
// bytes of its record in the file layout. In memory the reference is
// pointer-sized, so such a record is record_size - 4 + sizeof(void*) bytes.
inline uint32_t TrailingBlockOffset(const AtomTypeInfo& info) {
  return info.record_size - 4;
}
void* GetTrailingBlock(const void* record, const AtomTypeInfo& info);
void SetTrailingBlock(void* record, const AtomTypeInfo& info, void* block);

// Bytes of the record that come from the file. Besides record_size this
// covers an `esds` whole when it lies inside the file (a decoder
// configuration is often larger than 80 bytes), and as much of the version-1
// layouts of `mvhd`, `tkhd` and `mdhd` as the atom's size claims, so that a
// header whose size reaches a version-1 field always has it in its record.
uint32_t BodyReadSize(const AtomNode* node, const AtomTypeInfo& info, uint32_t file_size);
// Bytes to allocate for the record.
uint32_t RecordAllocSize(const AtomNode* node, const AtomTypeInfo& info, uint32_t file_size);
// Bytes of the record of a node in a read tree (0 without one).
uint32_t RecordLength(const AtomNode* node, uint32_t file_size);

// Whether a header record holds its version-1 layout: version 1, and an
// atom long enough for it (mvhd, tkhd, mdhd; false for every other type).
bool IsVersion1Header(const AtomNode* node);

// Fills the node's trailing block: kOk when done or when the type has
// none to read, kFailed when a table or text could not be read (after
// "error to read atom[%s] data from file"), kNotFound for a type without one.
Status ReadAtomTable(AtomNode* node, const AtomTypeInfo& info, FILE* file, uint32_t file_size);
// A new block of count x entry_size bytes read from the file, or null.
void* ReadEntryBlock(const AtomTypeInfo& info, uint32_t count, AtomNode* node, FILE* file,
                     uint32_t file_size);
void FreeAtomTable(AtomNode* node);
void FreeAtomSubtree(AtomNode* node);
// Releases a node's trailing block, its record and the node itself.
void FreeAtomNode(AtomNode* node);
// Releases every top-level atom of the root and clears `first_atom`.
void FreeAtomTree(Root_atom* root);

// Length of an atom's text (`url `, `urn `, `sdp `): the bytes after its
// fixed part, kept without a terminator.
uint32_t AtomTextLength(const AtomNode* node, const AtomTypeInfo& info);

#endif  // ORNIVEX_ATOM_ATOM_BODIES_H
