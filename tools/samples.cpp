// ornivex samples FILE [--json]: one row per sample of the video and audio
// tracks the library reads.
#include <cstdio>
#include <string>
#include <vector>

#include "commands.h"
#include "tool_file.h"
#include "tool_output.h"

namespace {

const ToolOption kOptions[] = {{"--json", nullptr}, {nullptr, nullptr}};

// Reads every sample of one track through MP4GetNextSample; the file offset
// and the key flag, which the calls do not hand out, come from the index.
// Empty, or why a sample could not be read.
std::string ListTrack(FILE* out, bool json, bool* first_row, const ToolFile& file,
                      MediaType medium) {
  const bool video = medium == kMediaVideo;
  const uint32_t id = video ? file.video_track_id() : file.audio_track_id();
  const ReadTrackNode* node = file.track(id);
  std::vector<bool> key(node->sample_count, false);
  for (uint32_t k = 0; k < node->key_count; ++k)
    if (node->key_table[k].sample_index < node->sample_count)
      key[node->key_table[k].sample_index] = true;
  for (uint32_t i = 0; i < node->sample_count; ++i) {
    unsigned char* data = nullptr;
    uint32_t size = 0, time = 0;
    if (MP4GetNextSample(file.get(), id, &data, &size, &time) != 1)
      return std::string(video ? "video" : "audio") + " sample " + std::to_string(i) + " of " +
             std::to_string(node->sample_count) + " could not be read";
    MP4freeData(&data);
    const uint32_t offset = node->sample_table[i].file_offset;
    // the library keeps sync samples for video only
    const char* flag = !video   ? (json ? "null" : "-")
                       : key[i] ? (json ? "true" : "1")
                                : (json ? "false" : "0");
    if (json)
      std::fprintf(out,
                   "%s{\"medium\": \"%s\", \"track\": %u, \"index\": %u, \"time\": %u, "
                   "\"offset\": %u, \"size\": %u, \"key\": %s}",
                   *first_row ? "\n" : ",\n", video ? "video" : "audio", id, i, time, offset, size,
                   flag);
    else
      std::fprintf(out, "%s\t%u\t%u\t%u\t%u\t%u\t%s\n", video ? "video" : "audio", id, i, time,
                   offset, size, flag);
    *first_row = false;
  }
  return "";
}

int RunSamples(FILE* out, const ToolArgs& args) {
  const char* path = args.operands[0];
  const bool json = args.Has("--json");
  ToolFile file;
  std::string why;
  if (!file.Open(path, &why)) return ToolFailDocument(out, json, path, why);
  std::fprintf(out, json ? "{\"samples\": [" : "medium\ttrack\tindex\ttime\toffset\tsize\tkey\n");
  bool first_row = true;
  for (const MediaType medium : {kMediaVideo, kMediaAudio})
    if (why.empty() && file.TrackProblem(medium).empty())
      why = ListTrack(out, json, &first_row, file, medium);
  if (json) {
    std::fprintf(out, "%s]", first_row ? "" : "\n");
    if (!why.empty()) std::fprintf(out, ", \"error\": %s", JsonString(why).c_str());
    std::fprintf(out, "}\n");
  }
  return why.empty() ? 0 : ToolFail(path, why);
}

}  // namespace

extern const ToolCommand kSamplesCommand = {
    "samples",
    "list every sample of the video and audio track",
    "usage: ornivex samples FILE [--json]\n"
    "\n"
    "Reads every sample of the first video and the first audio track of FILE that\n"
    "the library reads (MPEG-4 Visual and MPEG-4 audio) through MP4GetNextSample,\n"
    "and prints a header row and one tab-separated row per sample:\n"
    "  medium  'video' or 'audio'\n"
    "  track   the track ID\n"
    "  index   the sample's number in its track, from 0\n"
    "  time    the sample's decode time in the track's timescale (see 'ornivex\n"
    "          info'), as the sample table gives it: no edit list is applied\n"
    "  offset  the sample's position in the file, in bytes\n"
    "  size    its size in bytes\n"
    "  key     1 for a sync sample, 0 for another; '-' for audio, where the\n"
    "          library keeps no sync samples\n"
    "With --json: one JSON object, {\"samples\": [...]}, with one object per\n"
    "sample under the same names (key true, false or null), and \"error\" when a\n"
    "sample could not be read. A track the library does not read is left out.\n",
    kOptions,
    "FILE",
    RunSamples};
