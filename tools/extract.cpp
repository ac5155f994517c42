// ornivex extract FILE --video OUT --audio OUT: the elementary streams in
// forms a player opens: raw MPEG-4 Visual, and AAC in ADTS frames.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "commands.h"
#include "serialise/esds_query.h"
#include "tool_file.h"

namespace {

const uint32_t kSampleRates[] = {96000, 88200, 64000, 48000, 44100, 32000, 24000,
                                 22050, 16000, 12000, 11025, 8000,  7350};

// What an ADTS header needs of an AudioSpecificConfig.
struct AdtsParameters {
  uint32_t object_type = 0;
  uint32_t frequency_index = 0;
  uint32_t channels = 0;
};

bool ParseAudioSpecificConfig(const std::vector<uint8_t>& asc, AdtsParameters* p) {
  if (asc.size() < 2) return false;
  uint32_t bits = (uint32_t{asc[0]} << 24) | (uint32_t{asc[1]} << 16) |
                  (asc.size() > 2 ? uint32_t{asc[2]} << 8 : 0) | (asc.size() > 3 ? asc[3] : 0);
  p->object_type = bits >> 27;
  p->frequency_index = (bits >> 23) & 0xF;
  uint32_t rest = bits << 9;
  if (p->frequency_index == 15) {  // an explicit rate: find its index
    if (asc.size() < 5) return false;
    const uint32_t rate = ((bits >> 3) & 0xFFFFF) << 4 | (asc[4] >> 4);  // 24 bits
    p->frequency_index = 13;
    for (uint32_t i = 0; i < 13; ++i)
      if (kSampleRates[i] == rate) p->frequency_index = i;
    rest = uint32_t{asc[4]} << 28;
  }
  p->channels = rest >> 28;
  // SBR and parametric stereo ride on an AAC LC core, which ADTS carries
  if (p->object_type == 5 || p->object_type == 29) p->object_type = 2;
  return p->object_type >= 1 && p->object_type <= 4 && p->frequency_index < 13;
}

void WriteAdtsHeader(const AdtsParameters& p, uint32_t payload, FILE* out) {
  const uint32_t length = payload + 7;
  const uint8_t h[7] = {
      0xFF,
      0xF1,  // MPEG-4, no CRC
      uint8_t(((p.object_type - 1) << 6) | (p.frequency_index << 2) | ((p.channels >> 2) & 1)),
      uint8_t(((p.channels & 3) << 6) | ((length >> 11) & 3)),
      uint8_t(length >> 3),
      uint8_t(((length & 7) << 5) | 0x1F),
      0xFC};
  std::fwrite(h, 1, sizeof h, out);
}

// Every sample of the track through MP4GetNextSample; `before` writes what
// goes in front of each one. Returns the number of samples written.
template <class Before>
long WriteSamples(const ToolFile& file, uint32_t id, FILE* out, Before before) {
  long n = 0;
  unsigned char* data = nullptr;
  uint32_t size = 0, time = 0;
  while (MP4GetNextSample(file.get(), id, &data, &size, &time) == 1) {
    before(size);
    std::fwrite(data, 1, size, out);
    MP4freeData(&data);
    ++n;
  }
  return n;
}

FILE* OpenOutput(const char* path) {
  FILE* out = std::fopen(path, "wb");
  if (out == nullptr) std::fprintf(stderr, "ornivex: cannot write %s\n", path);
  return out;
}

int ExtractVideo(const ToolFile& file, const char* path) {
  const uint32_t id = file.video_track_id();
  unsigned char header[ORNIVEX_ESDS_DATA_MAX];
  uint32_t width = 0, height = 0, length = 0;
  if (id == 0 || GetM4vEsdsData(file.get(), header, &width, &height, &length) != 1) {
    std::fprintf(stderr, "ornivex: no MPEG-4 Visual track with a decoder configuration\n");
    return 1;
  }
  FILE* out = OpenOutput(path);
  if (out == nullptr) return 1;
  std::fwrite(header, 1, length, out);
  const long n = WriteSamples(file, id, out, [](uint32_t) {});
  std::fclose(out);
  std::fprintf(stderr, "ornivex: %ld video samples (%ux%u) written to %s\n", n, width, height,
               path);
  return 0;
}

int ExtractAudio(const ToolFile& file, const char* path) {
  const uint32_t id = file.audio_track_id();
  unsigned char esds[ORNIVEX_ESDS_DATA_MAX];
  uint32_t length = 0;
  const unsigned char* asc = nullptr;
  uint32_t asc_length = 0;
  AdtsParameters p;
  if (id == 0 || GetM4aEsdsData(file.get(), esds, &length) != 1 ||
      !FindDecoderSpecificInfo(esds, length, &asc, &asc_length) ||
      !ParseAudioSpecificConfig(std::vector<uint8_t>(asc, asc + asc_length), &p)) {
    std::fprintf(stderr, "ornivex: no AAC track with an AudioSpecificConfig\n");
    return 1;
  }
  FILE* out = OpenOutput(path);
  if (out == nullptr) return 1;
  const long n = WriteSamples(file, id, out, [&](uint32_t size) { WriteAdtsHeader(p, size, out); });
  std::fclose(out);
  std::fprintf(stderr, "ornivex: %ld audio samples written to %s\n", n, path);
  return 0;
}

int Usage(int status) {
  std::printf(
      "usage: ornivex extract FILE [--video OUT] [--audio OUT]\n"
      "\n"
      "Writes the first video track of FILE as a raw MPEG-4 Visual stream (.m4v),\n"
      "its configuration header (GetM4vEsdsData) in front, and the first audio\n"
      "track as AAC in ADTS frames (.aac), each frame with a header made from the\n"
      "AudioSpecificConfig in the track's esds (GetM4aEsdsData). Samples are read\n"
      "through MP4GetNextSample.\n");
  return status;
}

int RunExtract(int argc, char** argv) {
  const char* video = nullptr;
  const char* audio = nullptr;
  const char* input = nullptr;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0) return Usage(0);
    if (std::strcmp(argv[i], "--video") == 0 && i + 1 < argc) {
      video = argv[++i];
    } else if (std::strcmp(argv[i], "--audio") == 0 && i + 1 < argc) {
      audio = argv[++i];
    } else if (input == nullptr && argv[i][0] != '-') {
      input = argv[i];
    } else {
      return Usage(2);
    }
  }
  if (input == nullptr || (video == nullptr && audio == nullptr)) return Usage(2);
  ToolFile file(input);
  if (!file.ok()) return 1;
  int status = 0;
  if (video != nullptr) status |= ExtractVideo(file, video);
  if (audio != nullptr) status |= ExtractAudio(file, audio);
  return status;
}

}  // namespace

extern const ToolCommand kExtractCommand = {
    "extract", "write the video as raw MPEG-4 Visual, the audio as ADTS AAC", RunExtract};
