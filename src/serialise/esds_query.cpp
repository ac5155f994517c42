// GetM4vEsdsData and GetM4aEsdsData: the decoder configuration of an opened
// file's video and audio tracks.
#include "serialise/esds_query.h"

#include <cstdio>
#include <cstring>

#include "atom/atom_bodies.h"
#include "atom/helpers.h"
#include "ornivex.h"
#include "serialise/m4v_header.h"
#include "track/track_discovery.h"
#include "track/track_records.h"

int FindTrackEsds(const MP4_input_file* file, bool video, const unsigned char** esds,
                  uint32_t* length) {
  if (file == nullptr) {
    std::printf("mp4 file uncreated\n");
    return -99;
  }
  const uint32_t id = video ? file->video_track_id : file->audio_track_id;
  if (id >= kMaxTrackId || file->tracks[id] == nullptr || file->root == nullptr) return -99;
  const AtomNode* atom =
      WalkAtomPath(file->tracks[id]->trak->first_child,
                   {"mdia", "minf", "stbl", "stsd", video ? "mp4v" : "mp4a", "esds"});
  if (atom == nullptr) return -99;
  // the record holds the whole atom when it lies inside the file
  const uint32_t held = RecordLength(atom, file->root->file_size);
  *esds = static_cast<const unsigned char*>(atom->realStructure);
  *length = atom->size < held ? atom->size : held;
  return 1;
}

int GetVideoEsdsBody(const MP4_input_file* file, const unsigned char** body, uint32_t* length) {
  const unsigned char* esds = nullptr;
  uint32_t size = 0;
  const int found = FindTrackEsds(file, true, &esds, &size);
  if (found != 1) return found;
  *body = esds + 8;
  *length = size > 8 ? size - 8 : 0;
  return 1;
}

namespace {

// The video object start code inside the esds: 00 00 01 and a value below 0x20.
bool FindVideoObject(const unsigned char* esds, uint32_t size, uint32_t* at) {
  for (uint32_t p = 8; p + 5 <= size; ++p)
    if (esds[p] == 0 && esds[p + 1] == 0 && esds[p + 2] == 1 && esds[p + 3] < 0x20) {
      *at = p;
      return true;
    }
  return false;
}

}  // namespace

extern "C" ORNIVEX_API int32_t ORNIVEX_CALL GetM4vEsdsData(MP4_input_file* file, unsigned char* out,
                                                           uint32_t* width, uint32_t* height,
                                                           uint32_t* length) {
  if (out == nullptr) return 0;
  const unsigned char* esds = nullptr;
  uint32_t size = 0;
  const int found = FindTrackEsds(file, true, &esds, &size);
  if (found != 1) return found;
  uint32_t p = 0;
  if (!FindVideoObject(esds, size, &p)) return -99;
  uint32_t w = 0, h = 0, header = 0;
  if (ParseVolHeader(esds + p, size - p, &w, &h, &header) < 0) return -1;
  if (header > ORNIVEX_ESDS_DATA_MAX) return -2;
  if (width == nullptr || height == nullptr || length == nullptr) return -99;
  std::memcpy(out, esds + p, header);
  *width = w;
  *height = h;
  *length = header;
  return 1;
}

extern "C" ORNIVEX_API int32_t ORNIVEX_CALL GetM4aEsdsData(MP4_input_file* file, unsigned char* out,
                                                           uint32_t* length) {
  if (out == nullptr) return 0;
  const unsigned char* esds = nullptr;
  uint32_t held = 0;
  const int found = FindTrackEsds(file, false, &esds, &held);
  if (found != 1) return found;
  const uint32_t size = ReadUint32BE(esds);
  // an atom cut off by the end of the file cannot be handed out whole
  if (size > held || size > ORNIVEX_ESDS_DATA_MAX) return -2;
  if (length == nullptr) return -99;
  std::memcpy(out, esds, size);
  *length = size;
  return 1;
}
