#include "atom/helpers.h"

#include <cstdlib>
#include <cstring>

uint32_t ReadUint32BE(const void* bytes) {
  const unsigned char* b = static_cast<const unsigned char*>(bytes);
  return (uint32_t{b[0]} << 24) | (uint32_t{b[1]} << 16) | (uint32_t{b[2]} << 8) | b[3];
}

bool IsAtomType(const char* a, const char* b) {
  return std::strncmp(a, b, 4) == 0;
}

bool CopyAtomType(char* destination, const char* source) {
  if (destination == nullptr || source == nullptr) return false;
  std::strncpy(destination, source, 4);
  destination[4] = '\0';
  return true;
}

void* AllocZeroed(size_t count) {
  return std::calloc(count == 0 ? 1 : count, 1);
}

void* AllocBlock(size_t count) {
  return std::malloc(count == 0 ? 1 : count);
}

void* ResizeBlock(void* block, size_t count) {
  if (block == nullptr) return nullptr;
  return std::realloc(block, count < 1 ? 1 : count);
}

void FreeBlock(void* block) {
  std::free(block);
}

uint32_t RecordU32(const void* record, size_t offset) {
  return ReadUint32BE(static_cast<const unsigned char*>(record) + offset);
}

uint16_t RecordU16(const void* record, size_t offset) {
  const unsigned char* b = static_cast<const unsigned char*>(record) + offset;
  return static_cast<uint16_t>((b[0] << 8) | b[1]);
}

void SetRecordU32(void* record, size_t offset, uint32_t host_value) {
  unsigned char* b = static_cast<unsigned char*>(record) + offset;
  b[0] = static_cast<unsigned char>(host_value >> 24);
  b[1] = static_cast<unsigned char>(host_value >> 16);
  b[2] = static_cast<unsigned char>(host_value >> 8);
  b[3] = static_cast<unsigned char>(host_value);
}

void SetRecordU16(void* record, size_t offset, uint16_t host_value) {
  unsigned char* b = static_cast<unsigned char*>(record) + offset;
  b[0] = static_cast<unsigned char>(host_value >> 8);
  b[1] = static_cast<unsigned char>(host_value);
}
