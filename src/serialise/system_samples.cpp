#include "serialise/system_samples.h"

namespace {

// An object descriptor update: two descriptors (IDs 20 and 10) for the two
// tracks of the mpod reference, or one (ID 3 video, 4 audio) for one track.
constexpr unsigned char kOdBoth[] = {0x01, 0x80, 0x80, 0x80, 0x1C, 0x11, 0x80, 0x80, 0x80,
                                     0x09, 0x05, 0x1F, 0x0F, 0x80, 0x80, 0x80, 0x02, 0x00,
                                     0x01, 0x11, 0x80, 0x80, 0x80, 0x09, 0x02, 0x9F, 0x0F,
                                     0x80, 0x80, 0x80, 0x02, 0x00, 0x02};
constexpr unsigned char kOdVideo[] = {0x01, 0x08, 0x01, 0x06, 0x00, 0xDF, 0x0F, 0x02, 0x00, 0x01};
constexpr unsigned char kOdAudio[] = {0x01, 0x08, 0x01, 0x06, 0x01, 0x1F, 0x0F, 0x02, 0x00, 0x01};

// Scene descriptions for the same three cases.
constexpr unsigned char kSceneBoth[] = {0xC0, 0x10, 0x12, 0x81, 0x30, 0x2A, 0x05, 0x72,
                                        0x61, 0x04, 0x88, 0x50, 0x45, 0x05, 0x3F, 0x00};
constexpr unsigned char kSceneVideo[] = {0xC0, 0x10, 0x13, 0x01, 0x40, 0x00, 0x00, 0x00, 0x00, 0x00,
                                         0x00, 0x00, 0x01, 0x2E, 0x08, 0x50, 0x3B, 0xFF, 0x00, 0x00,
                                         0x00, 0x00, 0x00, 0x00, 0x04, 0x50, 0x0F, 0xA0, 0x83, 0xF8,
                                         0x00, 0x00, 0x03, 0xF8, 0x00, 0x00, 0x0F, 0xC0};
constexpr unsigned char kSceneAudio[] = {0xC0, 0x10, 0x12, 0x81, 0x30, 0x2A, 0x02, 0x56, 0xFF,
                                         0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x03, 0xC0};

template <size_t N>
const unsigned char* Choose(const unsigned char (&bytes)[N], uint32_t* length) {
  *length = static_cast<uint32_t>(N);
  return bytes;
}

}  // namespace

bool SystemTrackIncluded(const MP4_local_file* file, const TrackNode* track) {
  return track != nullptr && (file->VideoTrackNode != nullptr || file->AudioTrackNode != nullptr);
}

const unsigned char* ObjectDescriptorSample(const MP4_local_file* file, uint32_t* length) {
  const bool video = file->VideoTrackNode != nullptr, audio = file->AudioTrackNode != nullptr;
  if (video && audio) return Choose(kOdBoth, length);
  if (video) return Choose(kOdVideo, length);
  if (audio) return Choose(kOdAudio, length);
  *length = 0;
  return nullptr;
}

const unsigned char* SceneSample(const MP4_local_file* file, uint32_t* length) {
  const bool video = file->VideoTrackNode != nullptr, audio = file->AudioTrackNode != nullptr;
  if (video && audio) return Choose(kSceneBoth, length);
  if (video) return Choose(kSceneVideo, length);
  if (audio) return Choose(kSceneAudio, length);
  *length = 0;
  return nullptr;
}

uint32_t SystemSampleBytes(const MP4_local_file* file) {
  uint32_t total = 0, length = 0;
  if (SystemTrackIncluded(file, file->od_track)) {
    (void)ObjectDescriptorSample(file, &length);  // only the length counts here
    total += length;
  }
  if (SystemTrackIncluded(file, file->scene_track)) {
    (void)SceneSample(file, &length);  // as above
    total += length;
  }
  return total;
}

static_assert(sizeof kOdBoth == 33 && sizeof kOdVideo == 10 && sizeof kOdAudio == 10,
              "object descriptor sample lengths");
static_assert(sizeof kSceneBoth == 16 && sizeof kSceneVideo == 38 && sizeof kSceneAudio == 17,
              "scene description sample lengths");
