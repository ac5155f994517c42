// The decoder configuration of an opened file's video and audio tracks.
#include "serialise/esds_query.h"

#include "atom/atom_bodies.h"
#include "atom/atom_path.h"
#include "atom/field_offsets.h"
#include "atom/helpers.h"
#include "platform/report.h"
#include "serialise/m4v_header.h"
#include "track/track_records.h"

Status FindTrackEsds(const MP4_input_file* file, bool video, const unsigned char** esds,
                     uint32_t* length) {
  if (file == nullptr) {
    Report("mp4 file uncreated\n");
    return Status::kNotFound;
  }
  const AtomNode* trak = OpenedTrak(file, video ? file->video_track_id : file->audio_track_id);
  if (trak == nullptr || file->root == nullptr) return Status::kNotFound;
  const AtomNode* atom = WalkAtomPath(
      trak->first_child, {"mdia", "minf", "stbl", "stsd", video ? "mp4v" : "mp4a", "esds"});
  if (atom == nullptr) return Status::kNotFound;
  // the record holds the whole atom when it lies inside the file
  const uint32_t held = RecordLength(atom, file->root->file_size);
  *esds = static_cast<const unsigned char*>(atom->realStructure);
  *length = atom->size < held ? atom->size : held;
  return Status::kOk;
}

Status GetVideoEsdsBody(const MP4_input_file* file, const unsigned char** body, uint32_t* length) {
  const unsigned char* esds = nullptr;
  uint32_t size = 0;
  const Status found = FindTrackEsds(file, true, &esds, &size);
  if (!Ok(found)) return found;
  *body = esds + kAtomHeaderSize;
  *length = size > kAtomHeaderSize ? size - kAtomHeaderSize : 0;
  return Status::kOk;
}

namespace {

// The video object start code inside the esds: 00 00 01 and a value below 0x20.
bool FindVideoObject(const unsigned char* esds, uint32_t size, uint32_t* at) {
  for (uint32_t p = kAtomHeaderSize; p + 5 <= size; ++p)
    if (esds[p] == 0 && esds[p + 1] == 0 && esds[p + 2] == 1 && esds[p + 3] < 0x20) {
      *at = p;
      return true;
    }
  return false;
}

}  // namespace

Status FindVideoConfig(const MP4_input_file* file, const unsigned char** header, uint32_t* length,
                       uint32_t* width, uint32_t* height) {
  const unsigned char* esds = nullptr;
  uint32_t size = 0;
  const Status found = FindTrackEsds(file, true, &esds, &size);
  if (!Ok(found)) return found;
  uint32_t p = 0;
  if (!FindVideoObject(esds, size, &p)) return Status::kNotFound;
  uint32_t w = 0, h = 0, n = 0;
  if (!Ok(ParseVolHeader(esds + p, size - p, &w, &h, &n))) return Status::kFailed;
  *header = esds + p;
  *length = n;
  *width = w;
  *height = h;
  return Status::kOk;
}

Status FindAudioEsds(const MP4_input_file* file, const unsigned char** esds, uint32_t* size) {
  uint32_t held = 0;
  const Status found = FindTrackEsds(file, false, esds, &held);
  if (!Ok(found)) return found;
  *size = ReadUint32BE(*esds);
  // an atom cut off by the end of the file cannot be handed out whole
  return *size > held ? Status::kFailed : Status::kOk;
}
