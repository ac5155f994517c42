// The fixed values that the writer stores in the header atoms, and the
// field positions it needs beyond those the reader names.
#ifndef ORNIVEX_SERIALISE_HEADER_FIELDS_H
#define ORNIVEX_SERIALISE_HEADER_FIELDS_H

#include <cstdint>

#include "atom/field_offsets.h"
#include "atom/helpers.h"

constexpr uint32_t kVisualPreDefined = 84;  // 16-bit, after the depth
constexpr uint32_t kMvhdRate = 28;
constexpr uint32_t kMvhdVolume = 32;  // 16-bit
constexpr uint32_t kMvhdMatrix = 44;
constexpr uint32_t kTkhdVolume = 44;  // 16-bit
constexpr uint32_t kTkhdMatrix = 48;

constexpr uint32_t kFixedTime = 0x12345678;  // creation and modification times
constexpr uint32_t kDpi72 = 0x00480000;      // 16.16

// Flags 1 (the version byte is left as it is): a track that is enabled, a
// data reference in the same file, the video media header's usual value.
inline void SetFlagsOne(void* record) {
  unsigned char* r = static_cast<unsigned char*>(record);
  r[kVersionFlags + 1] = 0;
  r[kVersionFlags + 2] = 0;
  r[kVersionFlags + 3] = 1;
}

// The identity transformation.
inline void SetMatrix(void* record, uint32_t offset) {
  static const uint32_t kIdentity[9] = {0x00010000, 0, 0, 0, 0x00010000, 0, 0, 0, 0x40000000};
  for (uint32_t i = 0; i < 9; ++i) SetRecordU32(record, offset + 4 * i, kIdentity[i]);
}

#endif  // ORNIVEX_SERIALISE_HEADER_FIELDS_H
