// Where the fields of a body record sit: byte offsets from the atom's first
// byte (its size field), as the file lays them out. The reader, the dump and
// the writer name every field they touch from here.
#ifndef ORNIVEX_ATOM_FIELD_OFFSETS_H
#define ORNIVEX_ATOM_FIELD_OFFSETS_H

#include <cstdint>

// Every atom
constexpr uint32_t kAtomSize = 0;
constexpr uint32_t kAtomType = 4;
constexpr uint32_t kAtomHeaderSize = 8;
// Full atoms: the version byte, then 24 bits of flags
constexpr uint32_t kVersionFlags = 8;

// Tables with an entry count after version and flags (stts, ctts, stsc,
// stco, co64, stss, stsh, stdp, elst); stsz has a constant size first.
constexpr uint32_t kTableEntryCount = 12;
constexpr uint32_t kStszSampleSize = 12;  // non-zero: every sample has this size
constexpr uint32_t kStszSampleCount = 16;

// ftyp
constexpr uint32_t kFtypMajorBrand = 8;
constexpr uint32_t kFtypMinorVersion = 12;
constexpr uint32_t kFtypCompatibleBrand = 16;

// mvhd, tkhd and mdhd begin with their creation and modification times,
// 32-bit in version 0 and 64-bit in version 1, which moves every later field.
constexpr uint32_t kCreationTime = 12;
constexpr uint32_t kModificationTime = 16;
constexpr uint32_t kModificationTimeV1 = 20;

constexpr uint32_t kMvhdTimescale = 20;
constexpr uint32_t kMvhdDuration = 24;
constexpr uint32_t kMvhdNextTrackId = 104;
constexpr uint32_t kMvhdTimescaleV1 = 28;
constexpr uint32_t kMvhdDurationV1 = 32;  // 64-bit
constexpr uint32_t kMvhdNextTrackIdV1 = 116;

constexpr uint32_t kTkhdTrackId = 20;
constexpr uint32_t kTkhdDuration = 28;
constexpr uint32_t kTkhdWidth = 84;  // 16.16
constexpr uint32_t kTkhdHeight = 88;
constexpr uint32_t kTkhdTrackIdV1 = 28;
constexpr uint32_t kTkhdDurationV1 = 36;  // 64-bit
constexpr uint32_t kTkhdWidthV1 = 96;
constexpr uint32_t kTkhdHeightV1 = 100;

constexpr uint32_t kMdhdTimescale = 20;
constexpr uint32_t kMdhdDuration = 24;
constexpr uint32_t kMdhdLanguage = 28;  // 16-bit
constexpr uint32_t kMdhdTimescaleV1 = 28;
constexpr uint32_t kMdhdDurationV1 = 32;  // 64-bit
constexpr uint32_t kMdhdLanguageV1 = 40;

// hdlr
constexpr uint32_t kHdlrHandlerType = 16;
constexpr uint32_t kHdlrName = 32;

// vmhd and smhd
constexpr uint32_t kVmhdGraphicsMode = 12;  // 16-bit
constexpr uint32_t kSmhdBalance = 12;       // 16-bit

// stsd and dref
constexpr uint32_t kEntryCount = 12;

// Sample entries: mp4v and s263 (visual), mp4a and samr (audio), mp4s
constexpr uint32_t kSampleEntryDataRefIndex = 14;  // 16-bit
constexpr uint32_t kVisualWidth = 32;              // 16-bit
constexpr uint32_t kVisualHeight = 34;             // 16-bit
constexpr uint32_t kVisualHorizontalResolution = 36;
constexpr uint32_t kVisualVerticalResolution = 40;
constexpr uint32_t kVisualFrameCount = 48;      // 16-bit
constexpr uint32_t kVisualDepth = 82;           // 16-bit
constexpr uint32_t kAudioEntryChannels = 24;    // 16-bit
constexpr uint32_t kAudioEntrySampleSize = 26;  // 16-bit
constexpr uint32_t kAudioEntrySampleRate = 32;  // 16.16

// esds and iods: the descriptors after version and flags
constexpr uint32_t kDescriptors = 12;

#endif  // ORNIVEX_ATOM_FIELD_OFFSETS_H
