// ornivex extract FILE --video OUT --audio OUT: the elementary streams in
// forms a player opens: raw MPEG-4 Visual, and AAC in ADTS frames.
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "commands.h"
#include "serialise/asc_parse.h"
#include "serialise/esds_query.h"
#include "tool_file.h"
#include "tool_output.h"
#include "tool_platform.h"

namespace {

// What an ADTS header needs of an AudioSpecificConfig.
struct AdtsParameters {
  uint32_t object_type = 0;
  uint32_t frequency_index = 0;
  uint32_t channels = 0;
};

// The ADTS parameters of a track's AudioSpecificConfig, read by the
// library's parser: "", or why its frames cannot go into ADTS.
std::string AdtsParametersOf(const unsigned char* asc, uint32_t length, AdtsParameters* p) {
  AudioSpecificConfig c;
  if (!ParseAudioSpecificConfig(asc, length, &c)) return "its AudioSpecificConfig is cut short";
  // SBR and parametric stereo ride on a core (AAC LC), which ADTS carries
  p->object_type = c.core_object_type;
  p->channels = c.channels;
  if (p->object_type < 1 || p->object_type > 4)
    return "audio object type " + std::to_string(p->object_type) + " has no ADTS profile";
  // ADTS has no explicit rate: a rate of the table goes by its index
  if (!SamplingFrequencyIndex(c.core_rate, &p->frequency_index))
    return c.core_rate == 0
               ? "its sampling frequency index is reserved"
               : "ADTS has no sampling frequency index for " + std::to_string(c.core_rate) + " Hz";
  return "";
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

// Every sample of the track through MP4GetNextSample, each after what
// `before` writes. Returns the number written, which stops at a sample
// that cannot be read.
template <class Before>
uint32_t WriteSamples(const ToolFile& file, uint32_t id, FILE* out, Before before) {
  const uint32_t count = file.track(id)->sample_count;
  uint32_t n = 0;
  for (; n < count; ++n) {
    unsigned char* data = nullptr;
    uint32_t size = 0, time = 0;
    if (MP4GetNextSample(file.get(), id, &data, &size, &time) != 1) break;
    before(size);
    std::fwrite(data, 1, size, out);
    MP4freeData(&data);
  }
  return n;
}

// The stream of one track; null after the failure line.
FILE* OpenOutput(const char* path) {
  FILE* out = std::fopen(path, "wb");
  if (out == nullptr) ToolFail(path, std::string("cannot write: ") + std::strerror(errno));
  return out;
}

// Closes the stream of a track after `written` of its samples: 0 after the
// line that says what was written (on the tool's output, `report`), or 1
// after the failure line.
int CloseOutput(FILE* out, const char* path, uint32_t written, const ToolFile& file,
                MediaType medium, const std::string& detail, FILE* report) {
  const bool failed = std::ferror(out) != 0;
  if (std::fclose(out) != 0 || failed)
    return ToolFail(path, std::string("cannot write: ") + std::strerror(errno != 0 ? errno : EIO));
  const char* name = medium == kMediaVideo ? "video" : "audio";
  const uint32_t id = medium == kMediaVideo ? file.video_track_id() : file.audio_track_id();
  const uint32_t count = file.track(id)->sample_count;
  if (written < count)
    return ToolFailf(file.path(), "%s sample %u of %u could not be read; %s holds the %u before it",
                     name, written, count, path, written);
  std::fprintf(report, "%s: %u samples%s written to %s\n", name, written, detail.c_str(), path);
  return 0;
}

int ExtractVideo(const ToolFile& file, const char* path, FILE* report) {
  const std::string problem = file.TrackProblem(kMediaVideo);
  if (!problem.empty()) return ToolFail(file.path(), "no video written: " + problem);
  const uint32_t id = file.video_track_id();
  unsigned char header[ORNIVEX_ESDS_DATA_MAX];
  uint32_t width = 0, height = 0, length = 0;
  if (id == 0 || GetM4vEsdsData(file.get(), header, &width, &height, &length) != 1) {
    return ToolFailf(file.path(),
                     "no video written: video track %u has no MPEG-4 Visual decoder configuration",
                     id);
  }
  FILE* out = OpenOutput(path);
  if (out == nullptr) return 1;
  std::fwrite(header, 1, length, out);
  const uint32_t n = WriteSamples(file, id, out, [](uint32_t) {});
  return CloseOutput(out, path, n, file, kMediaVideo,
                     " (" + std::to_string(width) + "x" + std::to_string(height) + ")", report);
}

int ExtractAudio(const ToolFile& file, const char* path, FILE* report) {
  const std::string problem = file.TrackProblem(kMediaAudio);
  if (!problem.empty()) return ToolFail(file.path(), "no audio written: " + problem);
  const uint32_t id = file.audio_track_id();
  unsigned char esds[ORNIVEX_ESDS_DATA_MAX];
  uint32_t length = 0;
  const unsigned char* asc = nullptr;
  uint32_t asc_length = 0;
  AdtsParameters p;
  const bool have_esds = id != 0 && GetM4aEsdsData(file.get(), esds, &length) == 1;
  // name another codec (MPEG-1/2 audio, EVRC, ...) rather than misread its
  // configuration as an AudioSpecificConfig
  AudioConfig codec;
  if (have_esds && Ok(ParseAudioEsds(esds, length, &codec)) && !codec.audio_specific_config) {
    return ToolFailf(file.path(),
                     "no audio written: audio track %u is not AAC (objectTypeIndication 0x%02X); "
                     "ADTS carries AAC only",
                     id, codec.object_type_indication);
  }
  if (!have_esds || !FindDecoderSpecificInfo(esds, length, &asc, &asc_length)) {
    return ToolFailf(file.path(), "no audio written: audio track %u has no AAC AudioSpecificConfig",
                     id);
  }
  const std::string unfit = AdtsParametersOf(asc, asc_length, &p);
  if (!unfit.empty())
    return ToolFailf(file.path(), "no audio written: audio track %u: %s", id, unfit.c_str());
  FILE* out = OpenOutput(path);
  if (out == nullptr) return 1;
  const uint32_t n =
      WriteSamples(file, id, out, [&](uint32_t size) { WriteAdtsHeader(p, size, out); });
  return CloseOutput(out, path, n, file, kMediaAudio, "", report);
}

int RunExtract(FILE* out, const ToolArgs& args) {
  const char* video = args.Value("--video");
  const char* audio = args.Value("--audio");
  if (video == nullptr && audio == nullptr)
    return ToolUsageError("extract", "nothing to extract: give --video OUT, --audio OUT or both");
  if (video != nullptr && audio != nullptr && std::strcmp(video, audio) == 0)
    return ToolUsageError("extract", "--video and --audio name the same file");
  // writing an output over the input would destroy what is being read
  for (const char* output : {video, audio})
    if (output != nullptr && IsSameFile(output, args.operands[0]))
      return ToolFail(output, "cannot write: it is the file being read");
  ToolFile file;
  std::string why;
  if (!file.Open(args.operands[0], &why)) return ToolFail(args.operands[0], why);
  // A track that is missing leaves the other one to be written.
  int status = 0;
  if (video != nullptr) status |= ExtractVideo(file, video, out);
  if (audio != nullptr) status |= ExtractAudio(file, audio, out);
  return status;
}

}  // namespace

const ToolOption kOptions[] = {{"--video", "OUT"}, {"--audio", "OUT"}, {nullptr, nullptr}};

extern const ToolCommand kExtractCommand = {
    "extract",
    "write the video as raw MPEG-4 Visual, the audio as ADTS AAC",
    "usage: ornivex extract FILE [--video OUT] [--audio OUT]\n"
    "\n"
    "Writes the first video track of FILE as a raw MPEG-4 Visual stream (.m4v),\n"
    "its configuration header (GetM4vEsdsData) in front, and the first audio\n"
    "track as AAC in ADTS frames (.aac), each frame with a header made from the\n"
    "AudioSpecificConfig in the track's esds (GetM4aEsdsData). Samples are read\n"
    "through MP4GetNextSample. Prints one line per stream written.\n"
    "A requested track that is missing, or that the library does not read, is\n"
    "not written (nor is its OUT created); the other one still is, and the exit\n"
    "status is 1.\n",
    kOptions,
    "FILE",
    RunExtract};
