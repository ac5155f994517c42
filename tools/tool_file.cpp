#include "tool_file.h"

#include "atom/atom_bodies.h"
#include "atom/helpers.h"
#include "atom/records.h"
#include "track/track_discovery.h"
#include "track/track_records.h"

ToolFile::ToolFile(const char* path) {
  ok_ = MP4FileOpen(&file_, path) == 1;
}

ToolFile::~ToolFile() {
  MP4FileClose(&file_);
  FreeBlock(file_);
}

uint32_t ToolFile::video_track_id() const {
  return ok_ ? file_->video_track_id : 0;
}
uint32_t ToolFile::audio_track_id() const {
  return ok_ ? file_->audio_track_id : 0;
}

std::vector<uint8_t> EsdsOf(const ToolFile& file, uint32_t trackId, const char* entry) {
  if (!file.ok() || trackId >= kMaxTrackId || file.get()->tracks[trackId] == nullptr) return {};
  const AtomNode* trak = file.get()->tracks[trackId]->trak;
  const AtomNode* esds =
      WalkAtomPath(trak->first_child, {"mdia", "minf", "stbl", "stsd", entry, "esds"});
  if (esds == nullptr) return {};
  const uint32_t record = RecordLength(esds, file.get()->root->file_size);
  const uint32_t length = esds->size < record ? esds->size : record;
  const uint8_t* bytes = static_cast<const uint8_t*>(esds->realStructure);
  return std::vector<uint8_t>(bytes, bytes + length);
}

namespace {

// A descriptor's tag and length at `*at`; advances past them.
bool ReadDescriptorHeader(const uint8_t* b, uint32_t end, uint32_t* at, uint8_t* tag,
                          uint32_t* length) {
  if (*at >= end) return false;
  *tag = b[(*at)++];
  *length = 0;
  for (int i = 0; i < 4; ++i) {
    if (*at >= end) return false;
    const uint8_t byte = b[(*at)++];
    *length = (*length << 7) | (byte & 0x7F);
    if ((byte & 0x80) == 0) return true;
  }
  return true;
}

}  // namespace

std::vector<uint8_t> DecoderSpecificInfo(const uint8_t* esds, uint32_t length) {
  uint32_t at = 12;  // after the header, version and flags
  uint8_t tag;
  uint32_t size;
  if (!ReadDescriptorHeader(esds, length, &at, &tag, &size) || tag != 0x03) return {};
  if (at + 3 > length) return {};
  const uint8_t flags = esds[at + 2];
  at += 3;                    // ES_ID, flags
  if (flags & 0x80) at += 2;  // dependsOn_ES_ID
  if (flags & 0x40) {         // URL
    if (at >= length) return {};
    at += 1 + esds[at];
  }
  if (flags & 0x20) at += 2;  // OCR_ES_Id
  if (!ReadDescriptorHeader(esds, length, &at, &tag, &size) || tag != 0x04) return {};
  at += 13;  // objectType, streamType, buffer, bit rates
  if (!ReadDescriptorHeader(esds, length, &at, &tag, &size) || tag != 0x05) return {};
  if (uint64_t{at} + size > length) return {};
  return std::vector<uint8_t>(esds + at, esds + at + size);
}
