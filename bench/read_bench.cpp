// The reading benchmark: opening a long MPEG-4 Visual and AAC file and
// reading every sample, against ffmpeg's stream copy and a plain cat.
//
//   read_bench [FILE]
//
// Without FILE it makes bench-media/long.mp4 in the current directory once,
// with ffmpeg: 30 minutes of 25 fps video and 44.1 kHz AAC, tiny per frame.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "atom/helpers.h"
#include "atom/records.h"
#include "ornivex.h"

namespace {

using Clock = std::chrono::steady_clock;

// The best of `runs` timings, in seconds.
double Best(int runs, const std::function<void()>& work) {
  double best = 1e30;
  for (int i = 0; i < runs; ++i) {
    const auto start = Clock::now();
    work();
    best = std::min(best, std::chrono::duration<double>(Clock::now() - start).count());
  }
  return best;
}

// The library reports on standard output; while timing, that goes nowhere.
struct QuietStdout {
  int saved;
  QuietStdout() {
    std::fflush(stdout);
    saved = dup(1);
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    close(null);
  }
  ~QuietStdout() {
    std::fflush(stdout);
    dup2(saved, 1);
    close(saved);
  }
};

bool Run(const std::string& command) {
  return std::system(command.c_str()) == 0;
}

std::string MakeMedia() {
  const std::string path = "bench-media/long.mp4";
  struct stat st;
  if (stat(path.c_str(), &st) == 0) return path;
  std::fprintf(stderr, "making %s with ffmpeg (once)...\n", path.c_str());
  Run("mkdir -p bench-media");
  if (!Run("ffmpeg -nostdin -v error -y -f lavfi -i testsrc=size=64x48:rate=25 "
           "-f lavfi -i sine=sample_rate=44100 -t 1800 -c:v mpeg4 -q:v 31 -g 250 "
           "-c:a aac -b:a 8k " +
           path + ".part.mp4") ||
      !Run("mv " + path + ".part.mp4 " + path))
    return "";
  return path;
}

struct ReadTotals {
  uint64_t samples = 0;
  uint64_t bytes = 0;
};

ReadTotals OpenAndReadAll(const char* path) {
  ReadTotals t;
  MP4_input_file* file = nullptr;
  if (MP4FileOpen(&file, path) == 1) {
    for (uint32_t id : {file->video_track_id, file->audio_track_id}) {
      if (id == 0) continue;
      unsigned char* data = nullptr;
      uint32_t size = 0, time = 0;
      while (MP4GetNextSample(file, id, &data, &size, &time) == 1) {
        ++t.samples;
        t.bytes += size;
        MP4freeData(&data);
      }
    }
  }
  MP4FileClose(&file);
  FreeBlock(file);
  return t;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string path = argc > 1 ? argv[1] : MakeMedia();
  if (path.empty()) {
    std::fprintf(stderr, "no media: ffmpeg is needed to make it\n");
    return 1;
  }
  struct stat st;
  stat(path.c_str(), &st);
  const double mb = double(st.st_size) / 1e6;

  ReadTotals totals;
  double open_close, read_all;
  {
    QuietStdout quiet;
    open_close = Best(5, [&] {
      MP4_input_file* file = nullptr;
      MP4FileOpen(&file, path.c_str());
      MP4FileClose(&file);
      FreeBlock(file);
    });
    read_all = Best(3, [&] { totals = OpenAndReadAll(path.c_str()); });
  }
  const double ffmpeg = Best(3, [&] {
    Run("ffmpeg -nostdin -v error -i '" + path + "' -map 0 -c copy -f null - >/dev/null 2>&1");
  });
  const double cat = Best(3, [&] { Run("cat '" + path + "' > /dev/null"); });

  std::printf("file: %s, %.1f MB, %llu samples (%.1f MB of sample data)\n", path.c_str(), mb,
              (unsigned long long)totals.samples, double(totals.bytes) / 1e6);
  std::printf("MP4FileOpen + MP4FileClose:         %8.2f ms\n", open_close * 1e3);
  std::printf("open + every sample + close:        %8.2f ms  %10.0f samples/s  %7.1f MB/s\n",
              read_all * 1e3, totals.samples / read_all, double(totals.bytes) / 1e6 / read_all);
  std::printf("ffmpeg -c copy -f null:             %8.2f ms\n", ffmpeg * 1e3);
  std::printf("cat > /dev/null:                    %8.2f ms\n", cat * 1e3);
  std::printf("ratio ffmpeg / ornivex (read all):  %8.2f  (above 1: ornivex is faster)\n",
              ffmpeg / read_all);
  std::printf("ratio cat / ornivex (read all):     %8.2f\n", cat / read_all);
  return 0;
}
