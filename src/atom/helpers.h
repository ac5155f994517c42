// Byte-order, four-character-code and memory helpers.
#ifndef ORNIVEX_ATOM_HELPERS_H
#define ORNIVEX_ATOM_HELPERS_H

#include <cstddef>
#include <cstdint>

uint32_t ReadUint32BE(const void* bytes);

// Counted comparison of 4: a NUL in `a` ends the comparison there.
bool IsAtomType(const char* a, const char* b);
// Copies 4 characters (a NUL pads the rest) and terminates at position 4.
bool CopyAtomType(char* destination, const char* source);

void* AllocZeroed(size_t count);
// A block whose content is left as it is, for one about to be filled.
void* AllocBlock(size_t count);
void* ResizeBlock(void* block, size_t count);
void FreeBlock(void* block);

// Field access on body records, which keep the file's byte order. Records
// are byte arrays with no alignment promise, hence memcpy.
uint32_t RecordU32(const void* record, size_t offset);
uint16_t RecordU16(const void* record, size_t offset);
void SetRecordU32(void* record, size_t offset, uint32_t host_value);
void SetRecordU16(void* record, size_t offset, uint16_t host_value);

#endif  // ORNIVEX_ATOM_HELPERS_H
