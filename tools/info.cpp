// ornivex info FILE [--json]: the summary GetFileInfo gives of an MP4 file
// with what the tool computes of its tracks, or what GetM4vHeaderSize
// measures of a raw MPEG-4 Visual stream.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <string>
#include <vector>

#include "atom/atom_path.h"
#include "commands.h"
#include "serialise/esds_query.h"
#include "tool_file.h"
#include "tool_output.h"
#include "track/track_discovery.h"

namespace {

const ToolOption kOptions[] = {{"--json", nullptr}, {nullptr, nullptr}};

// One block of the output: a heading in text, an object in JSON. Values
// are JSON numbers, or empty for one that is not known.
struct Section {
  const char* key;
  const char* heading;
  std::vector<std::pair<std::string, std::string>> fields;
  void Add(const std::string& name, uint32_t value) {
    fields.emplace_back(name, std::to_string(value));
  }
};

struct SummaryField {
  const char* name;
  uint32_t FileInfo::*value;
};

// The bit rates are the esds's avgBitrate and maxBitrate: what the file
// declares, which the names say.
const SummaryField kSummaryFields[] = {
    {"file_size", &FileInfo::file_size},
    {"file_size_high", &FileInfo::file_size_high},
    {"video_avg_bitrate_declared", &FileInfo::video_avg_bitrate},
    {"video_max_bitrate_declared", &FileInfo::video_max_bitrate},
    {"video_profile_level", &FileInfo::video_profile_level},
    {"video_height", &FileInfo::video_height},
    {"video_width", &FileInfo::video_width},
    {"video_frame_rate", &FileInfo::video_frame_rate},
    {"video_sample_count", &FileInfo::video_sample_count},
    {"audio_sample_count", &FileInfo::audio_sample_count},
    {"audio_is_mpeg1", &FileInfo::audio_is_mpeg1},
    {"audio_channel_mode", &FileInfo::audio_channel_mode},
    {"audio_sample_rate", &FileInfo::audio_sample_rate},
    {"audio_avg_bitrate_declared", &FileInfo::audio_avg_bitrate},
    {"audio_max_bitrate_declared", &FileInfo::audio_max_bitrate},
    {"audio_profile", &FileInfo::audio_profile},
    {"audio_channels", &FileInfo::audio_channels},
    {"audio_object_type", &FileInfo::audio_object_type},
    {"audio_emphasis", &FileInfo::audio_emphasis},
};

// `value` with at most `places` decimals and no trailing zeros: 29.97, 4.
std::string Decimal(double value, int places) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", places, value);
  std::string s = text;
  if (s.find('.') != std::string::npos) {
    s.erase(s.find_last_not_of('0') + 1);
    if (s.back() == '.') s.pop_back();
  }
  return s;
}

// The tool's own figures for the first track of a medium, from its media
// header: the duration in seconds and, for video, the frame rate as a
// decimal (the summary's is truncated to an integer).
void AddTrackFigures(const ToolFile& file, MediaType medium, Section* computed) {
  const bool video = medium == kMediaVideo;
  const std::string prefix = video ? "video_" : "audio_";
  const uint32_t id = video ? file.video_track_id() : file.audio_track_id();
  if (id == 0) return;
  computed->Add(prefix + "track_id", id);
  const ReadTrackNode* node = file.track(id);
  const AtomNode* mdhd = FindAtomPath(node->trak->first_child, {"mdia", "mdhd"});
  uint32_t timescale = 0, duration = 0;
  if (mdhd != nullptr) ReadMediaHeader(mdhd, &timescale, &duration);
  computed->Add(prefix + "timescale", timescale);
  computed->Add(prefix + "duration", duration);
  computed->fields.emplace_back(prefix + "seconds",
                                timescale != 0 ? Decimal(double(duration) / timescale, 6) : "");
  if (video)
    computed->fields.emplace_back(
        "video_frame_rate", duration != 0 && node->sample_count != 0
                                ? Decimal(double(node->sample_count) * timescale / duration, 3)
                                : "");
}

// The audio track's objectTypeIndication and whether the summary decodes
// its configuration (AAC, MPEG-1/2 audio); false without an esds to read.
bool AudioCodec(const ToolFile& file, uint32_t* indication, bool* supported) {
  unsigned char esds[ORNIVEX_ESDS_DATA_MAX];
  uint32_t length = 0;
  AudioConfig c;
  if (file.audio_track_id() == 0 || GetM4aEsdsData(file.get(), esds, &length) != 1 ||
      !Ok(ParseAudioEsds(esds, length, &c)))
    return false;
  *indication = c.object_type_indication;
  *supported = c.audio_specific_config || c.mpeg12;
  return true;
}

void PrintSections(FILE* out, const std::vector<Section>& sections, bool json) {
  const char* separator = "{";
  for (const Section& section : sections) {
    if (json) {
      std::fprintf(out, "%s\"%s\": {", separator, section.key);
      separator = ", ";
    } else {
      std::fprintf(out, "# %s\n", section.heading);
    }
    const char* comma = "";
    for (const auto& [name, value] : section.fields) {
      if (json) {
        std::fprintf(out, "%s\"%s\": %s", comma, name.c_str(),
                     value.empty() ? "null" : value.c_str());
        comma = ", ";
      } else {
        std::fprintf(out, "%-28s %s\n", name.c_str(), value.empty() ? "unknown" : value.c_str());
      }
    }
    if (json) std::fprintf(out, "}");
  }
  if (json) std::fprintf(out, "}\n");
}

// A raw MPEG-4 Visual stream starts with a start code. An MP4 file of a
// first box of 256 to 511 bytes does too, but has its type after it.
bool IsRawStream(const char* path) {
  unsigned char b[8] = {1, 1, 1, 1, 1, 1, 1, 1};
  FILE* f = std::fopen(path, "rb");
  if (f == nullptr) return false;
  const size_t n = std::fread(b, 1, sizeof b, f);
  std::fclose(f);
  const bool box_type = n == 8 && std::all_of(b + 4, b + 8, [](unsigned char c) {
                          return std::isalnum(c) || c == ' ';
                        });
  return n >= 4 && b[0] == 0 && b[1] == 0 && b[2] == 1 && !box_type;
}

int RawStreamInfo(FILE* out, const char* path, bool json) {
  uint32_t width = 0, height = 0;
  const int32_t length = GetM4vHeaderSize(path, &width, &height);
  if (length <= 0)
    return ToolFailDocument(out, json, path,
                            "a raw MPEG-4 Visual stream whose headers the library does not read");
  Section header{
      "header", "header: what GetM4vHeaderSize measures of the raw MPEG-4 Visual stream", {}};
  header.Add("width", width);
  header.Add("height", height);
  header.Add("header_length", static_cast<uint32_t>(length));
  PrintSections(out, {header}, json);
  return 0;
}

int RunInfo(FILE* out, const ToolArgs& args) {
  const char* path = args.operands[0];
  const bool json = args.Has("--json");
  std::string why = InputFileProblem(path);
  if (why.empty() && IsRawStream(path)) return RawStreamInfo(out, path, json);
  ToolFile file;
  if (!why.empty() || !file.Open(path, &why)) return ToolFailDocument(out, json, path, why);
  FileInfo info;
  const int32_t result = GetFileInfo(path, &info);
  if (result != 1)
    return ToolFailDocument(
        out, json, path,
        "the library gives no summary (GetFileInfo returned " + std::to_string(result) + ")");
  Section summary{"summary",
                  "summary: GetFileInfo's fields; the *_declared bit rates are those the file "
                  "declares",
                  {}};
  for (const SummaryField& f : kSummaryFields) summary.Add(f.name, info.*f.value);
  Section computed{"computed",
                   "computed by ornivex, not by the library: from each track's media header and "
                   "the samples the library reads",
                   {}};
  AddTrackFigures(file, kMediaVideo, &computed);
  AddTrackFigures(file, kMediaAudio, &computed);
  uint32_t indication = 0;
  bool supported = true;
  if (AudioCodec(file, &indication, &supported)) {
    computed.Add("audio_object_type_indication", indication);
    computed.fields.emplace_back("audio_codec_supported", supported ? "true" : "false");
  }
  // the summary's zeros for such a track mean "not known"
  if (!supported && !json)
    std::fprintf(out, "audio: unsupported codec (objectTypeIndication 0x%02X)\n", indication);
  PrintSections(out, {summary, computed}, json);
  return 0;
}

}  // namespace

extern const ToolCommand kInfoCommand = {
    "info",
    "summarise an MP4 file or a raw MPEG-4 Visual stream",
    "usage: ornivex info FILE [--json]\n"
    "\n"
    "Prints, for an MP4 file, one field a line under two headings (or one JSON\n"
    "object with --json, {\"summary\": {...}, \"computed\": {...}}):\n"
    "  summary   the fields of the summary GetFileInfo gives. Its bit rates\n"
    "            (*_declared) are the ones the file declares in its esds, not\n"
    "            measured; its frame rate is truncated to an integer.\n"
    "  computed  the tool's own figures for the first video and the first audio\n"
    "            track: track ID, the media header's timescale and duration\n"
    "            (in timescale units) and the duration in seconds; for video the\n"
    "            frame rate, samples x timescale / duration, as a decimal\n"
    "            (29.97); for audio the esds's objectTypeIndication and whether\n"
    "            the summary decodes that codec (AAC, MPEG-1/2 audio). For another\n"
    "            one the summary's rate, channels and object type are 0, and the\n"
    "            text begins \"audio: unsupported codec (objectTypeIndication 0xA0)\".\n"
    "            A value that cannot be known is 'unknown' (null).\n"
    "For a raw MPEG-4 Visual stream it prints what GetM4vHeaderSize measures: the\n"
    "picture size and the length of the configuration headers (\"header\").\n"
    "With --json a failure is the object {\"error\": REASON}.\n",
    kOptions,
    "FILE",
    RunInfo};
