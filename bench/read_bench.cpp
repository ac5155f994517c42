// The reading benchmark: opening an MP4 file and reading every sample,
// through the library's calls and through libavformat in the same process,
// against a plain read() of the whole file as the floor.
//
//   read_bench [FILE...]
//
// Without FILE it makes two files once with ffmpeg under bench-media/ in the
// current directory: long.mp4 (30 minutes, tiny frames: the per-sample cost)
// and real.mp4 (5 minutes of 640x360 video at 2 Mbit/s and 128 kbit/s AAC:
// the per-byte cost). Every timing is the best of several runs, with the
// file in the page cache (it is read once before anything is timed).
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <vector>

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/log.h>
}

#include "atom/records.h"
#include "ornivex.h"

namespace {

using Clock = std::chrono::steady_clock;

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

bool Exists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

// Makes `path` with the ffmpeg arguments once; empty when that fails.
std::string MakeMedia(const std::string& path, const std::string& args) {
  if (Exists(path)) return path;
  std::fprintf(stderr, "making %s with ffmpeg (once)...\n", path.c_str());
  const std::string part = path + ".part.mp4";
  if (!Run("mkdir -p bench-media") || !Run("ffmpeg -nostdin -v error -y " + args + " " + part) ||
      !Run("mv " + part + " " + path))
    return "";
  return path;
}

struct Totals {
  uint64_t samples = 0;
  uint64_t bytes = 0;
};

// The floor: the whole file through read() in 1 MiB pieces.
Totals ReadWhole(const char* path, std::vector<unsigned char>* piece) {
  Totals t;
  const int fd = open(path, O_RDONLY);
  if (fd < 0) return t;
  for (ssize_t n; (n = read(fd, piece->data(), piece->size())) > 0;) t.bytes += uint64_t(n);
  close(fd);
  return t;
}

void OrnivexOpenClose(const char* path) {
  MP4_input_file* file = nullptr;
  MP4FileOpen(&file, path);
  MP4FileClose(&file);
}

// One sample of a track through MP4GetNextSample; false at the end.
bool OrnivexNext(MP4_input_file* file, uint32_t id, Totals* t, uint32_t* time) {
  unsigned char* data = nullptr;
  uint32_t size = 0;
  if (id == 0 || MP4GetNextSample(file, id, &data, &size, time) != 1) return false;
  ++t->samples;
  t->bytes += size;
  MP4freeData(&data);
  return true;
}

// Every sample of the video track, then every sample of the audio track.
Totals OrnivexTrackAfterTrack(const char* path) {
  Totals t;
  MP4_input_file* file = nullptr;
  if (MP4FileOpen(&file, path) == 1) {
    uint32_t time = 0;
    while (OrnivexNext(file, file->video_track_id, &t, &time)) {
    }
    while (OrnivexNext(file, file->audio_track_id, &t, &time)) {
    }
  }
  MP4FileClose(&file);
  return t;
}

// As a player reads: always the next sample of the track whose last sample
// began earlier, time stamps compared across the two timescales.
Totals OrnivexInterleaved(const char* path) {
  Totals t;
  MP4_input_file* file = nullptr;
  if (MP4FileOpen(&file, path) == 1) {
    const uint32_t vid = file->video_track_id, aid = file->audio_track_id;
    const uint64_t vscale = file->video_info[kVideoTimescale];
    const uint64_t ascale = file->audio_info[kAudioTimescale];
    uint32_t vtime = 0, atime = 0;
    bool video = OrnivexNext(file, vid, &t, &vtime);
    bool audio = OrnivexNext(file, aid, &t, &atime);
    while (video || audio) {
      if (video && (!audio || uint64_t{vtime} * ascale <= uint64_t{atime} * vscale))
        video = OrnivexNext(file, vid, &t, &vtime);
      else
        audio = OrnivexNext(file, aid, &t, &atime);
    }
  }
  MP4FileClose(&file);
  return t;
}

void AvOpenClose(const char* path) {
  AVFormatContext* context = nullptr;
  if (avformat_open_input(&context, path, nullptr, nullptr) == 0) avformat_close_input(&context);
}

// Like for like: open, every packet in file order, each unreferenced, close.
Totals AvReadAll(const char* path) {
  Totals t;
  AVFormatContext* context = nullptr;
  if (avformat_open_input(&context, path, nullptr, nullptr) != 0) return t;
  AVPacket* packet = av_packet_alloc();
  while (av_read_frame(context, packet) >= 0) {
    ++t.samples;
    t.bytes += uint64_t(packet->size);
    av_packet_unref(packet);
  }
  av_packet_free(&packet);
  avformat_close_input(&context);
  return t;
}

// One thing timed: its times so far and what its last run counted. Wall
// time is what the goal is about; the process's CPU time beside it leaves
// out the waits of a machine shared with other work, and the median beside
// the best shows how much a lucky moment helped.
struct Timed {
  const char* name;
  std::function<Totals()> work;
  bool quiet;  // the library's runs, whose messages go nowhere
  int repeats;
  double best_wall;
  double best_cpu;
  Totals totals;
  std::vector<double> walls;
  double Median() const {
    std::vector<double> w = walls;
    std::nth_element(w.begin(), w.begin() + w.size() / 2, w.end());
    return w[w.size() / 2];
  }
};

Timed Make(const char* name, std::function<Totals()> work, bool quiet, int repeats) {
  return Timed{name, std::move(work), quiet, repeats, 1e30, 1e30, Totals{}, {}};
}

double CpuSeconds() {
  timespec ts;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

// Round after round, each thing once (open + close several times): a burst
// of load from elsewhere on the machine then slows every one of them alike,
// and the best of the rounds is what each costs.
void TimeInRounds(std::vector<Timed>* timed, double budget_seconds) {
  double round = 0;
  for (Timed& t : *timed) {
    std::unique_ptr<QuietStdout> quiet(t.quiet ? new QuietStdout : nullptr);
    const auto start = Clock::now();
    t.totals = t.work();
    round += std::chrono::duration<double>(Clock::now() - start).count() * t.repeats;
  }
  const int rounds = std::clamp(int(budget_seconds / std::max(round, 1e-6)), 9, 80);
  for (int r = 0; r < rounds; ++r) {
    for (Timed& t : *timed) {
      std::unique_ptr<QuietStdout> quiet(t.quiet ? new QuietStdout : nullptr);
      for (int i = 0; i < t.repeats; ++i) {
        const auto start = Clock::now();
        const double cpu = CpuSeconds();
        t.totals = t.work();
        t.best_cpu = std::min(t.best_cpu, CpuSeconds() - cpu);
        t.walls.push_back(std::chrono::duration<double>(Clock::now() - start).count());
        t.best_wall = std::min(t.best_wall, t.walls.back());
      }
    }
  }
}

void Measure(const std::string& path) {
  const char* p = path.c_str();
  struct stat st;
  if (stat(p, &st) != 0) {
    std::fprintf(stderr, "no file %s\n", p);
    return;
  }
  std::vector<unsigned char> piece(1 << 20);
  (void)ReadWhole(p, &piece);  // into the page cache

  std::vector<Timed> timed;
  timed.push_back(Make(
      "open + close: ornivex", [&] { return OrnivexOpenClose(p), Totals{}; }, true, 8));
  timed.push_back(Make(
      "open + close: libavformat", [&] { return AvOpenClose(p), Totals{}; }, false, 8));
  timed.push_back(Make(
      "every sample: ornivex, track after track", [&] { return OrnivexTrackAfterTrack(p); }, true,
      1));
  timed.push_back(Make(
      "every sample: ornivex, interleaved by time", [&] { return OrnivexInterleaved(p); }, true,
      1));
  timed.push_back(Make(
      "every sample: libavformat (av_read_frame)", [&] { return AvReadAll(p); }, false, 1));
  timed.push_back(Make(
      "read() in 1 MiB pieces (the floor)", [&] { return ReadWhole(p, &piece); }, false, 1));
  TimeInRounds(&timed, 6.0);
  const Timed &open = timed[0], &av_open = timed[1], &track = timed[2], &inter = timed[3],
              &av = timed[4], &floor = timed[5];

  std::printf("\nfile: %s, %.1f MB, %llu samples (%.1f MB of sample data)\n", p,
              double(st.st_size) / 1e6, (unsigned long long)track.totals.samples,
              double(track.totals.bytes) / 1e6);
  if (inter.totals.samples != track.totals.samples || av.totals.samples != track.totals.samples ||
      av.totals.bytes != track.totals.bytes || inter.totals.bytes != track.totals.bytes)
    std::printf("note: libavformat gave %llu packets, %llu bytes; interleaved %llu samples\n",
                (unsigned long long)av.totals.samples, (unsigned long long)av.totals.bytes,
                (unsigned long long)inter.totals.samples);
  std::printf("%-44s %9s %9s %9s %9s\n", "", "best ms", "median ms", "best cpu", "MB/s");
  for (const Timed& t : timed) {
    std::printf("%-44s %9.3f %9.3f %9.3f", t.name, t.best_wall * 1e3, t.Median() * 1e3,
                t.best_cpu * 1e3);
    if (t.totals.bytes > 0) std::printf(" %9.0f", double(t.totals.bytes) / 1e6 / t.best_wall);
    std::printf("\n");
  }
  auto best = [](const Timed& a, const Timed& b) { return a.best_wall / b.best_wall; };
  auto median = [](const Timed& a, const Timed& b) { return a.Median() / b.Median(); };
  std::printf(
      "libavformat / ornivex, best (median): open + close %.2fx (%.2fx), every sample "
      "%.2fx (%.2fx), interleaved %.2fx (%.2fx)\n",
      best(av_open, open), median(av_open, open), best(av, track), median(av, track),
      best(av, inter), median(av, inter));
  std::printf(
      "ornivex / read() floor, best (median): every sample %.2fx (%.2fx), interleaved "
      "%.2fx (%.2fx)\n",
      best(track, floor), median(track, floor), best(inter, floor), median(inter, floor));
}

}  // namespace

int main(int argc, char** argv) {
  av_log_set_level(AV_LOG_ERROR);
  std::vector<std::string> paths(argv + 1, argv + argc);
  if (paths.empty()) {
    paths.push_back(MakeMedia("bench-media/long.mp4",
                              "-f lavfi -i testsrc=size=64x48:rate=25 "
                              "-f lavfi -i sine=sample_rate=44100 -t 1800 -c:v mpeg4 -q:v 31 "
                              "-g 250 -c:a aac -b:a 8k"));
    // noise keeps the encoder at its bit rate: testsrc2 alone compresses to little
    paths.push_back(MakeMedia("bench-media/real.mp4",
                              "-f lavfi -i testsrc2=size=640x360:rate=30 "
                              "-f lavfi -i sine=frequency=440:sample_rate=44100 -t 300 "
                              "-vf noise=alls=20:allf=t -c:v mpeg4 -b:v 2M -c:a aac -b:a 128k"));
  }
  for (const std::string& path : paths) {
    if (path.empty()) {
      std::fprintf(stderr, "no media: ffmpeg is needed to make it\n");
      return 1;
    }
    Measure(path);
  }
  return 0;
}
