// The esds bodies of the four track kinds and the file's iods, built as the
// atom's bytes and then copied into its record.
#include "serialise/esds_write.h"

#include <cstring>
#include <initializer_list>

#include "atom/helpers.h"
#include "platform/report.h"
#include "serialise/atom_sizing.h"
#include "serialise/system_samples.h"

namespace {

constexpr uint32_t kEsdsRecordSize = 80;
constexpr uint32_t kIodsSize = 42;

// Descriptor tags
constexpr uint8_t kEsDescriptor = 0x03;
constexpr uint8_t kDecoderConfig = 0x04;
constexpr uint8_t kDecoderSpecificInfo = 0x05;
constexpr uint8_t kInitialObjectDescriptor = 0x10;
constexpr uint8_t kEsIdInc = 0x0E;
constexpr unsigned char kSlConfig[] = {0x06, 0x01, 0x02};  // predefined: MP4 files

// The atom's bytes as they are put together; version and flags stay 0.
struct AtomImage {
  unsigned char bytes[12 + 34 + kMaxVideoDsi];
  uint32_t length;
};

void Put8(AtomImage* a, uint32_t v) {
  a->bytes[a->length++] = static_cast<unsigned char>(v);
}
void Put16(AtomImage* a, uint32_t v) {
  Put8(a, v >> 8);
  Put8(a, v);
}
void Put24(AtomImage* a, uint32_t v) {
  Put8(a, v >> 16);
  Put16(a, v);
}
void Put32(AtomImage* a, uint32_t v) {
  Put16(a, v >> 16);
  Put16(a, v);
}
void PutBytes(AtomImage* a, const unsigned char* bytes, uint32_t n) {
  std::memcpy(a->bytes + a->length, bytes, n);
  a->length += n;
}
// A descriptor's tag and length: one byte, or the four-byte form 80 80 80 L.
void PutTag(AtomImage* a, uint8_t tag, uint32_t length, bool long_form) {
  Put8(a, tag);
  if (long_form) PutBytes(a, reinterpret_cast<const unsigned char*>("\x80\x80\x80"), 3);
  Put8(a, length);
}

AtomImage StartImage(const char* type) {
  AtomImage a{};
  std::memcpy(a.bytes + 4, type, 4);
  a.length = 12;
  return a;
}

// What the ES_Descriptor of a stream carries.
struct StreamDescription {
  uint16_t es_id;
  uint8_t object_type;
  uint8_t stream_type;  // with upStream 0 and the reserved bit set
  uint32_t buffer_size;
  uint32_t max_bitrate;
  uint32_t avg_bitrate;
  const unsigned char* dsi;  // null: no DecoderSpecificInfo
  uint32_t dsi_length;
  bool long_form;
};

void PutEsDescriptor(AtomImage* a, const StreamDescription& s) {
  const uint32_t header = s.long_form ? 5 : 2;
  const uint32_t dsi = s.dsi != nullptr ? header + s.dsi_length : 0;
  const uint32_t decoder_config = 13 + dsi;
  PutTag(a, kEsDescriptor, 3 + header + decoder_config + sizeof kSlConfig, s.long_form);
  Put16(a, s.es_id);
  Put8(a, 0);  // no dependence, no URL, no OCR stream, priority 0
  PutTag(a, kDecoderConfig, decoder_config, s.long_form);
  Put8(a, s.object_type);
  Put8(a, s.stream_type);
  Put24(a, s.buffer_size);
  Put32(a, s.max_bitrate);
  Put32(a, s.avg_bitrate);
  if (s.dsi != nullptr) {
    PutTag(a, kDecoderSpecificInfo, s.dsi_length, s.long_form);
    PutBytes(a, s.dsi, s.dsi_length);
  }
  PutBytes(a, kSlConfig, sizeof kSlConfig);
}

// Copies the image into the node's record, enlarged when a long decoder
// configuration makes the atom outgrow its 80 bytes.
Status StoreImage(AtomNode* node, AtomImage* a, uint32_t* size) {
  if (a->length > kEsdsRecordSize) {
    void* larger = ResizeBlock(node->realStructure, a->length);
    if (larger == nullptr) return Status::kFailed;  // the old record stays
    node->realStructure = larger;
  }
  std::memcpy(node->realStructure, a->bytes, a->length);
  SetAtomSize(node, a->length);
  *size = a->length;
  return Status::kOk;
}

Status VideoEsds(TrackNode* t, AtomImage* a) {
  unsigned char dsi[kMaxVideoDsi];
  uint32_t length = 0;
  const Status chosen = ChooseVideoDsi(t, dsi, &length);
  if (!Ok(chosen)) return chosen;
  PutEsDescriptor(a, {1, 0x20, 0x11, 0x0028FE, t->MaxBitRate, t->AvgBitRate, dsi, length, true});
  return Status::kOk;
}

void AudioEsds(const TrackNode& t, AtomImage* a) {
  if (IsUnconfiguredAudio(t)) {  // described as MPEG-1 audio, without a DSI
    PutEsDescriptor(a, {2, 0x6B, 0x15, 0x0000F4, t.MaxBitRate, t.AvgBitRate, nullptr, 0, true});
    return;
  }
  const uint16_t config = BuildAudioSpecificConfig(t);
  const unsigned char asc[] = {static_cast<unsigned char>(config >> 8),
                               static_cast<unsigned char>(config)};
  PutEsDescriptor(a, {2, 0x40, 0x15, 0x0000F4, t.MaxBitRate, t.AvgBitRate, asc, 2, true});
}

void ObjectDescriptorEsds(AtomImage* a) {
  PutEsDescriptor(a, {3, 0x01, 0x05, 0x000C2F, 0x6178, 0, nullptr, 0, false});
}

void SceneEsds(AtomImage* a) {
  static const unsigned char kSceneDsi[] = {0x00, 0x00, 0x40};
  PutEsDescriptor(a, {4, 0x02, 0x0D, 0x000400, 0x140, 0x140, kSceneDsi, 3, false});
}

}  // namespace

Status SizeEsdsAtom(AtomNode* node, TrackNode* track, uint32_t* size) {
  AtomImage a = StartImage("esds");
  switch (track->TrackType) {
    case kTrackVideo: {
      const Status made = VideoEsds(track, &a);
      if (!Ok(made)) return made;
      break;
    }
    case kTrackAudio:
      AudioEsds(*track, &a);
      break;
    case kTrackObjectDescriptor:
      ObjectDescriptorEsds(&a);
      break;
    case kTrackScene:
      SceneEsds(&a);
      break;
    default:
      Report("unsupport track type while writing esds atom\n");
      return Status::kFailed;
  }
  return StoreImage(node, &a, size);
}

Status SizeIodsAtom(AtomNode* node, const MP4_local_file* file, uint32_t* size) {
  // The object descriptor and scene tracks are the two streams listed. Made
  // after the media tracks, as they should be, they have the IDs that follow
  // them; made earlier, they are named by their own IDs.
  const bool both_media = file->VideoTrackNode != nullptr && file->AudioTrackNode != nullptr;
  const uint32_t od_id = SystemTrackIncluded(file, file->od_track) ? file->od_track->TrackID
                         : both_media                              ? 3
                                                                   : 2;
  const uint32_t scene_id = SystemTrackIncluded(file, file->scene_track)
                                ? file->scene_track->TrackID
                            : both_media ? 4
                                         : 3;
  AtomImage a = StartImage("iods");
  PutTag(&a, kInitialObjectDescriptor, 25, true);
  Put16(&a, 0x004F);  // ObjectDescriptorID 1, no URL, no inline profiles, reserved bits
  PutBytes(&a, reinterpret_cast<const unsigned char*>("\xFF\xFF\x0F\x01\xFF"), 5);  // profiles
  for (uint32_t id : {od_id, scene_id}) {
    PutTag(&a, kEsIdInc, 4, true);
    Put32(&a, id);
  }
  std::memcpy(node->realStructure, a.bytes, kIodsSize);
  SetAtomSize(node, kIodsSize);
  *size = kIodsSize;
  return Status::kOk;
}
