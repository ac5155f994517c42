// ornivex info FILE [--json]: the summary GetFileInfo gives of an MP4 file,
// or what GetM4vHeaderSize measures of a raw MPEG-4 Visual stream.
#include <cstdio>
#include <cstring>

#include "commands.h"
#include "ornivex.h"

namespace {

struct Field {
  const char* name;
  uint32_t FileInfo::*value;
};

const Field kFields[] = {
    {"file_size", &FileInfo::file_size},
    {"file_size_high", &FileInfo::file_size_high},
    {"video_avg_bitrate", &FileInfo::video_avg_bitrate},
    {"video_max_bitrate", &FileInfo::video_max_bitrate},
    {"video_profile_level", &FileInfo::video_profile_level},
    {"video_height", &FileInfo::video_height},
    {"video_width", &FileInfo::video_width},
    {"video_frame_rate", &FileInfo::video_frame_rate},
    {"video_sample_count", &FileInfo::video_sample_count},
    {"audio_sample_count", &FileInfo::audio_sample_count},
    {"audio_is_mpeg1", &FileInfo::audio_is_mpeg1},
    {"audio_channel_mode", &FileInfo::audio_channel_mode},
    {"audio_sample_rate", &FileInfo::audio_sample_rate},
    {"audio_avg_bitrate", &FileInfo::audio_avg_bitrate},
    {"audio_max_bitrate", &FileInfo::audio_max_bitrate},
    {"audio_profile", &FileInfo::audio_profile},
    {"audio_channels", &FileInfo::audio_channels},
    {"audio_object_type", &FileInfo::audio_object_type},
    {"audio_emphasis", &FileInfo::audio_emphasis},
};

// A raw MPEG-4 Visual stream starts with a start code; an MP4 file never does.
bool IsRawStream(const char* path) {
  unsigned char b[3] = {1, 1, 1};
  FILE* f = std::fopen(path, "rb");
  if (f == nullptr) return false;
  const size_t n = std::fread(b, 1, 3, f);
  std::fclose(f);
  return n == 3 && b[0] == 0 && b[1] == 0 && b[2] == 1;
}

void PrintPairs(const char* const names[], const uint32_t values[], int n, bool json) {
  if (json) std::printf("{");
  for (int i = 0; i < n; ++i) {
    if (json)
      std::printf("%s\"%s\": %u", i ? ", " : "", names[i], values[i]);
    else
      std::printf("%-20s %u\n", names[i], values[i]);
  }
  if (json) std::printf("}\n");
}

int RunInfo(int argc, char** argv) {
  const char* path = nullptr;
  bool json = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--json") == 0) {
      json = true;
    } else if (std::strcmp(argv[i], "--help") == 0 || path != nullptr) {
      path = nullptr;
      break;
    } else {
      path = argv[i];
    }
  }
  if (path == nullptr) {
    std::printf(
        "usage: ornivex info FILE [--json]\n"
        "\n"
        "Prints the summary that GetFileInfo gives of an MP4 file, one field a line\n"
        "(or one JSON object with --json), after the library's own messages. For a\n"
        "raw MPEG-4 Visual stream it prints what GetM4vHeaderSize measures: the\n"
        "picture size and the length of the configuration headers.\n");
    return argc == 2 && std::strcmp(argv[1], "--help") == 0 ? 0 : 2;
  }
  if (IsRawStream(path)) {
    uint32_t width = 0, height = 0;
    const int32_t length = GetM4vHeaderSize(path, &width, &height);
    if (length <= 0) {
      std::fprintf(stderr, "ornivex: %s: no MPEG-4 Visual header the library reads\n", path);
      return 1;
    }
    const char* names[] = {"width", "height", "header_length"};
    const uint32_t values[] = {width, height, static_cast<uint32_t>(length)};
    PrintPairs(names, values, 3, json);
    return 0;
  }
  FileInfo info;
  const int32_t result = GetFileInfo(path, &info);
  std::fflush(stdout);
  if (result != 1) {
    std::fprintf(stderr, "ornivex: %s: GetFileInfo failed with %d\n", path, result);
    return 1;
  }
  const int n = sizeof(kFields) / sizeof(kFields[0]);
  const char* names[n];
  uint32_t values[n];
  for (int i = 0; i < n; ++i) {
    names[i] = kFields[i].name;
    values[i] = info.*kFields[i].value;
  }
  PrintPairs(names, values, n, json);
  return 0;
}

}  // namespace

extern const ToolCommand kInfoCommand = {
    "info", "summarise an MP4 file or a raw MPEG-4 Visual stream", RunInfo};
