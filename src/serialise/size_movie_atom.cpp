// The sizing pass over the file-level atoms: ftyp, moov with mvhd, iods and
// the already sized traks, and the mdat header.
#include <cstring>

#include "atom/helpers.h"
#include "platform/report.h"
#include "serialise/atom_serialiser.h"
#include "serialise/atom_sizing.h"
#include "serialise/esds_write.h"
#include "serialise/header_fields.h"
#include "serialise/system_samples.h"

namespace {

constexpr uint32_t kFtypSize = 20;
constexpr uint32_t kMvhdSize = 108;
constexpr uint32_t kMdatHeader = 8;

Status Fixed(AtomNode* node, uint32_t atom_size, uint32_t* size) {
  SetAtomSize(node, atom_size);
  *size = atom_size;
  return Status::kOk;
}

// The 3GPP brands, unless the file asks for the ISO ones.
Status SizeFileType(AtomNode* node, const MP4_local_file* file, uint32_t* size) {
  unsigned char* r = static_cast<unsigned char*>(node->realStructure);
  const bool iso = file->brand_selector == 1;
  std::memcpy(r + kFtypMajorBrand, iso ? "isom" : "3gp4", 4);
  SetRecordU32(r, kFtypMinorVersion, iso ? 0 : 0x00000200);
  std::memcpy(r + kFtypCompatibleBrand, iso ? "mp41" : "3gp4", 4);
  return Fixed(node, kFtypSize, size);
}

// Timescale and duration are the file's defaults here; the flush sets the
// main track's values once the tracks are sized.
Status SizeMovieHeader(AtomNode* node, const MP4_local_file* file, uint32_t* size) {
  void* r = node->realStructure;
  SetRecordU32(r, kCreationTime, kFixedTime);
  SetRecordU32(r, kModificationTime, kFixedTime);
  SetRecordU32(r, kMvhdTimescale, file->movie_timescale);
  SetRecordU32(r, kMvhdDuration, file->movie_duration);
  SetRecordU32(r, kMvhdRate, 0x00010000);
  SetRecordU16(r, kMvhdVolume, 0x0100);
  SetMatrix(r, kMvhdMatrix);
  SetRecordU32(r, kMvhdNextTrackId, file->next_track_id);
  return Fixed(node, kMvhdSize, size);
}

Status SizeMovie(AtomNode* node, const MP4_local_file* file, uint32_t* size) {
  uint64_t total = 8;
  for (AtomNode* child = node->first_child; child != nullptr; child = child->next) {
    uint32_t child_size = 0;
    if (!Ok(SizeMovieAtom(child, file, &child_size))) {
      Report("there is error in [%s]'s child=>[%s]\n", node->type, child->type);
      return Status::kFailed;
    }
    total += child_size;
  }
  if (total > UINT32_MAX) return Status::kFailed;
  return Fixed(node, static_cast<uint32_t>(total), size);
}

// The stored size covers the header, the media and the object descriptor
// and scene samples behind them; the writing pass writes the header only.
Status SizeMediaData(AtomNode* node, const MP4_local_file* file, uint32_t* size) {
  const uint64_t stored =
      uint64_t{kMdatHeader} + file->video_bytes + file->audio_bytes + SystemSampleBytes(file);
  if (stored > UINT32_MAX) return Status::kFailed;  // offsets are 32-bit
  SetAtomSize(node, static_cast<uint32_t>(stored));
  *size = kMdatHeader;
  return Status::kOk;
}

}  // namespace

Status SizeMovieAtom(AtomNode* node, const MP4_local_file* file, uint32_t* size) {
  if (node == nullptr || file == nullptr) return Status::kFailed;
  if (node->realStructure == nullptr) {
    Report("the [%s] atom doesn't have a realStructure\n", node->type);
    return Status::kFailed;
  }
  const char* type = node->type;
  if (IsAtomType(type, "ftyp")) return SizeFileType(node, file, size);
  if (IsAtomType(type, "iods")) return SizeIodsAtom(node, file, size);
  if (IsAtomType(type, "mvhd")) return SizeMovieHeader(node, file, size);
  if (IsAtomType(type, "moov")) return SizeMovie(node, file, size);
  if (IsAtomType(type, "mdat")) return SizeMediaData(node, file, size);
  if (IsAtomType(type, "trak")) {
    // sized with its track before; a trak that was not is no atom to write
    *size = RecordU32(node->realStructure, 0);
    return *size >= 8 ? Status::kOk : Status::kFailed;
  }
  return Status::kNotFound;
}
