// ornivex samples FILE: one line per sample of the video and audio tracks.
#include <cstdio>
#include <cstring>
#include <vector>

#include "atom/records.h"
#include "commands.h"
#include "tool_file.h"
#include "track/track_records.h"

namespace {

// Reads every sample of one track through MP4GetNextSample; the file offset
// and the key flag, which the calls do not hand out, come from the index.
int ListTrack(const ToolFile& file, const char* medium, uint32_t id) {
  const ReadTrackNode* node = file.get()->tracks[id];
  std::vector<bool> key(node->sample_count, false);
  for (uint32_t k = 0; k < node->key_count; ++k) key[node->key_table[k].sample_index] = true;
  for (uint32_t i = 0;; ++i) {
    unsigned char* data = nullptr;
    uint32_t size = 0, time = 0;
    if (MP4GetNextSample(file.get(), id, &data, &size, &time) != 1) break;
    MP4freeData(&data);
    std::printf("%s %u %u %u %u %u %d\n", medium, id, i, time, node->sample_table[i].file_offset,
                size, i < key.size() && key[i] ? 1 : 0);
  }
  return 0;
}

int RunSamples(int argc, char** argv) {
  if (argc != 2 || std::strcmp(argv[1], "--help") == 0) {
    std::printf(
        "usage: ornivex samples FILE\n"
        "\n"
        "Reads every sample of the first video and the first audio track of FILE\n"
        "through the library's calls and prints, after the library's own messages,\n"
        "one line per sample:\n"
        "  MEDIUM TRACK INDEX TIME OFFSET SIZE KEY\n"
        "with MEDIUM 'video' or 'audio', TIME in the track's timescale, OFFSET the\n"
        "sample's position in the file and KEY 1 for a sync sample (video only).\n");
    return argc == 2 ? 0 : 2;
  }
  ToolFile file(argv[1]);
  if (!file.ok()) return 1;
  std::printf("# medium track index time offset size key\n");
  if (file.video_track_id() != 0) ListTrack(file, "video", file.video_track_id());
  if (file.audio_track_id() != 0) ListTrack(file, "audio", file.audio_track_id());
  return 0;
}

}  // namespace

extern const ToolCommand kSamplesCommand = {
    "samples", "list every sample of the video and audio track", RunSamples};
