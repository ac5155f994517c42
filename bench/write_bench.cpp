// The writing benchmark: the packets of a real MP4 file written again as a
// new file through the library's calls (MP4FileNew, CreateTrack, one
// AddVideoFrame or AddAudioFrame per packet in file order, MP4FileFlush) and
// through libavformat's mp4 muxer in the same process, against `cp` of a
// file of the same size (the floor); once as they are and once repeated to
// 1 GiB of sample data.
//
//   write_bench [FILE [ornivex|libavformat [GiB]]]
//
// With a writer named, it only runs that one, once, in this process, for a
// profiler: the whole file, or with GiB the 1 GiB case.
//
// Without FILE it makes bench-media/real.mp4 once with ffmpeg, the reading
// benchmark's file of real bit rate (5 minutes of 640x360 MPEG-4 Visual at
// 2 Mbit/s and 128 kbit/s AAC). Every write runs in a child process of its
// own, which first demuxes what it writes into memory (not timed), so that
// its peak resident size (getrusage) is its own; times are the best of
// several rounds, peaks the largest.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/log.h>
}

#include "ornivex.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr uint64_t kGiB = uint64_t{1} << 30;
constexpr double kRepeatedSeconds = 10;  // the start of the file that the 1 GiB case repeats

bool Run(const std::string& command) {
  return std::system(command.c_str()) == 0;
}

uint64_t FileSize(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 ? uint64_t(st.st_size) : 0;
}

// The reading benchmark's file of real bit rate, made the same way, once.
std::string MakeRealFile() {
  const std::string path = "bench-media/real.mp4";
  if (FileSize(path) > 0) return path;
  std::fprintf(stderr, "making %s with ffmpeg (once)...\n", path.c_str());
  const std::string part = path + ".part.mp4";
  // noise keeps the encoder at its bit rate: testsrc2 alone compresses to little
  if (!Run("mkdir -p bench-media") ||
      !Run("ffmpeg -nostdin -v error -y -f lavfi -i testsrc2=size=640x360:rate=30 "
           "-f lavfi -i sine=frequency=440:sample_rate=44100 -t 300 "
           "-vf noise=alls=20:allf=t -c:v mpeg4 -b:v 2M -c:a aac -b:a 128k " +
           part) ||
      !Run("mv " + part + " " + path))
    return "";
  return path;
}

struct Packet {
  int stream;   // 0 video, 1 audio
  int64_t dts;  // in the stream's time base, from 0
  int64_t duration;
  bool key;
  size_t offset;  // of its bytes in Source::bytes
  int size;
};

// What is written: the input's two streams and their packets, in file order.
struct Source {
  AVFormatContext* input = nullptr;
  int index[2] = {-1, -1};  // the input's stream of each kind
  std::vector<Packet> packets;
  std::vector<unsigned char> bytes;
  int repeats = 1;       // the packets are written this many times over
  int64_t span[2] = {};  // what each repetition adds to a stream's time stamps
  uint64_t total = 0;    // bytes of sample data written
  const AVStream* stream(int s) const { return input->streams[index[s]]; }
};

// Demuxes the first video and audio streams of `path`, all of them or only
// their first seconds, and repeats those until `target` bytes when given.
bool Load(const std::string& path, double seconds, uint64_t target, Source* src) {
  if (avformat_open_input(&src->input, path.c_str(), nullptr, nullptr) != 0 ||
      avformat_find_stream_info(src->input, nullptr) < 0)
    return false;
  src->index[0] = av_find_best_stream(src->input, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
  src->index[1] = av_find_best_stream(src->input, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
  if (src->index[0] < 0 || src->index[1] < 0) return false;
  int64_t first[2] = {AV_NOPTS_VALUE, AV_NOPTS_VALUE}, end[2] = {0, 0};
  AVPacket* pkt = av_packet_alloc();
  while (av_read_frame(src->input, pkt) >= 0) {
    const int s = pkt->stream_index == src->index[0]   ? 0
                  : pkt->stream_index == src->index[1] ? 1
                                                       : -1;
    if (s >= 0 && pkt->dts != AV_NOPTS_VALUE) {
      if (first[s] == AV_NOPTS_VALUE) first[s] = pkt->dts;
      const int64_t dts = pkt->dts - first[s];
      if (av_q2d(src->stream(s)->time_base) * dts < seconds) {
        src->packets.push_back({s, dts, pkt->duration, (pkt->flags & AV_PKT_FLAG_KEY) != 0,
                                src->bytes.size(), pkt->size});
        src->bytes.insert(src->bytes.end(), pkt->data, pkt->data + pkt->size);
        end[s] = std::max(end[s], dts + pkt->duration);
      }
    }
    av_packet_unref(pkt);
  }
  av_packet_free(&pkt);
  src->span[0] = end[0];
  src->span[1] = end[1];
  src->repeats = target == 0 ? 1 : int((target + src->bytes.size() - 1) / src->bytes.size());
  src->total = uint64_t(src->bytes.size()) * uint64_t(src->repeats);
  return !src->packets.empty();
}

// Every packet of every repetition, with its time stamp moved on.
void ForEachPacket(const Source& src, const std::function<void(const Packet&, int64_t)>& f) {
  for (int r = 0; r < src.repeats; ++r)
    for (const Packet& p : src.packets) f(p, p.dts + r * src.span[p.stream]);
}

// The library's calls. Time stamps go in each stream's own time base, so
// they come back as they were; the video's configuration header is the
// input's when it fits.
bool OrnivexWrite(const Source& src, const std::string& out) {
  const AVCodecParameters* v = src.stream(0)->codecpar;
  const AVCodecParameters* a = src.stream(1)->codecpar;
  const AVRational vtb = src.stream(0)->time_base, atb = src.stream(1)->time_base;
  if (vtb.num != 1 || atb.num != 1) return false;
  const uint32_t vconfig = v->extradata_size <= 52 ? uint32_t(v->extradata_size) : 0;
  const uint32_t aconfig = a->extradata_size <= 52 ? uint32_t(a->extradata_size) : 0;
  const std::string vtemp = out + ".v", atemp = out + ".a";
  MP4_local_file* file = nullptr;
  if (MP4FileNew(&file, out.c_str()) != 1) return false;
  bool ok =
      CreateTrack(file, 1, uint32_t(v->width), uint32_t(v->height), 0, uint32_t(vtb.den),
                  uint32_t(v->level), 0, 0, 0, vconfig, v->extradata, vtemp.c_str(), 1) == 1 &&
      CreateTrack(file, 2, 0, 0, 0, uint32_t(atb.den), 0, uint32_t(a->profile),
                  uint32_t(a->ch_layout.nb_channels), uint32_t(a->sample_rate), aconfig,
                  a->extradata, atemp.c_str(), 1) == 1 &&
      CreateTrack(file, 4, 0, 0, 0, 1000, 0, 0, 0, 0, 0, nullptr, nullptr, 1) == 1 &&
      CreateTrack(file, 5, 0, 0, 0, 1000, 0, 0, 0, 0, 0, nullptr, nullptr, 1) == 1;
  ForEachPacket(src, [&](const Packet& p, int64_t dts) {
    const unsigned char* data = src.bytes.data() + p.offset;
    const uint32_t size = uint32_t(p.size), time = uint32_t(dts);
    ok = ok && (p.stream == 0 ? AddVideoFrame(file, size, data, time, p.key ? 1 : 0)
                              : AddAudioFrame(file, size, data, time)) == 1;
  });
  return MP4FileFlush(file) == 1 && ok;
}

// libavformat's mp4 muxer on the same packets: the streams' parameters
// copied from the input, one av_write_frame per packet.
bool AvWrite(const Source& src, const std::string& out) {
  AVFormatContext* oc = nullptr;
  if (avformat_alloc_output_context2(&oc, nullptr, "mp4", out.c_str()) < 0) return false;
  AVStream* os[2];
  for (int s = 0; s < 2; ++s) {
    os[s] = avformat_new_stream(oc, nullptr);
    avcodec_parameters_copy(os[s]->codecpar, src.stream(s)->codecpar);
    os[s]->codecpar->codec_tag = 0;
    os[s]->time_base = src.stream(s)->time_base;
  }
  bool ok = avio_open(&oc->pb, out.c_str(), AVIO_FLAG_WRITE) >= 0 &&
            avformat_write_header(oc, nullptr) >= 0;
  AVPacket* pkt = av_packet_alloc();
  ForEachPacket(src, [&](const Packet& p, int64_t dts) {
    if (!ok) return;
    const AVRational from = src.stream(p.stream)->time_base, to = os[p.stream]->time_base;
    pkt->data = const_cast<uint8_t*>(src.bytes.data() + p.offset);
    pkt->size = p.size;
    pkt->stream_index = p.stream;
    pkt->dts = pkt->pts = av_rescale_q(dts, from, to);
    pkt->duration = av_rescale_q(p.duration, from, to);
    pkt->flags = p.key ? AV_PKT_FLAG_KEY : 0;
    ok = av_write_frame(oc, pkt) >= 0;
  });
  av_packet_free(&pkt);
  ok = ok && av_write_trailer(oc) >= 0;
  avio_closep(&oc->pb);
  avformat_free_context(oc);
  return ok;
}

// The floor: coreutils' cp of a file of the same size.
bool Copy(const std::string& from, const std::string& to) {
  return Run("cp '" + from + "' '" + to + "'");
}

double CpuSeconds() {
  timespec ts;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

struct Measured {
  bool ok = false;
  double wall = 0, cpu = 0;
  double peak_mib = 0;    // the child's largest resident size
  double loaded_mib = 0;  // the same before the write: the packets and the libraries
  uint64_t total = 0;     // sample data written
};

// One write in a child of its own: it loads its packets, then is timed;
// its measures come back through a pipe.
Measured InChild(const std::string& input, double seconds, uint64_t target,
                 const std::function<bool(const Source&)>& write) {
  Measured m;
  int fds[2];
  if (pipe(fds) != 0) return m;
  std::fflush(nullptr);
  const pid_t child = fork();
  if (child == 0) {
    close(fds[0]);
    Source src;
    Measured r;
    if (Load(input, seconds, target, &src)) {
      // the library reports on standard output; while timing, that goes nowhere
      const int null = open("/dev/null", O_WRONLY);
      dup2(null, 1);
      rusage loaded;
      getrusage(RUSAGE_SELF, &loaded);
      r.loaded_mib = double(loaded.ru_maxrss) / 1024;
      const auto start = Clock::now();
      const double cpu = CpuSeconds();
      r.ok = write(src);
      r.cpu = CpuSeconds() - cpu;
      r.wall = std::chrono::duration<double>(Clock::now() - start).count();
      r.total = src.total;
    }
    rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    r.peak_mib = double(usage.ru_maxrss) / 1024;
    avformat_close_input(&src.input);
    const ssize_t written = ::write(fds[1], &r, sizeof r);
    _exit(written == ssize_t(sizeof r) ? 0 : 1);
  }
  close(fds[1]);
  if (child > 0) {
    if (read(fds[0], &m, sizeof m) != ssize_t(sizeof m)) m = Measured{};
    waitpid(child, nullptr, 0);
  }
  close(fds[0]);
  return m;
}

struct Row {
  explicit Row(const char* n) : name(n) {}
  const char* name;
  std::vector<double> walls;
  double cpu = 1e30, peak_mib = 0, loaded_mib = 0;
  bool ok = true;
  void Add(const Measured& m) {
    ok = ok && m.ok;
    walls.push_back(m.wall);
    cpu = std::min(cpu, m.cpu);
    peak_mib = std::max(peak_mib, m.peak_mib);
    loaded_mib = std::max(loaded_mib, m.loaded_mib);
  }
  double Best() const { return *std::min_element(walls.begin(), walls.end()); }
  double Median() const {
    std::vector<double> w = walls;
    std::sort(w.begin(), w.end());
    return w[w.size() / 2];
  }
};

void Case(const std::string& input, const char* title, double seconds, uint64_t target,
          int rounds) {
  const std::string out = "bench-media/written.mp4", floor = "bench-media/copied.mp4";
  Row ornivex{"ornivex: append + flush"}, av{"libavformat: mp4 muxer"}, cp{"cp of that size"};
  uint64_t total = 0, ornivex_size = 0, av_size = 0;
  for (int r = 0; r < rounds; ++r) {
    // each measurement starts with nothing dirty in the page cache, so that
    // none pays for the writeback of another's pages
    sync();
    const Measured o =
        InChild(input, seconds, target, [&](const Source& s) { return OrnivexWrite(s, out); });
    ornivex.Add(o);
    total = o.total;
    ornivex_size = FileSize(out);
    // the floor copies the file just written, from the page cache
    sync();
    const auto start = Clock::now();
    Measured c;
    c.ok = Copy(out, floor);
    c.wall = std::chrono::duration<double>(Clock::now() - start).count();
    cp.Add(c);
    std::remove(floor.c_str());
    std::remove(out.c_str());
    sync();
    av.Add(InChild(input, seconds, target, [&](const Source& s) { return AvWrite(s, out); }));
    av_size = FileSize(out);
    std::remove(out.c_str());
  }
  std::printf("\n%s: %.1f MB of sample data; files of %.1f MB (ornivex), %.1f MB (libavformat)\n",
              title, double(total) / 1e6, double(ornivex_size) / 1e6, double(av_size) / 1e6);
  std::printf("%-26s %8s %9s %8s %7s %9s %10s\n", "", "best ms", "median ms", "best cpu", "MB/s",
              "peak MiB", "(before)");
  for (const Row* row : {&ornivex, &av, &cp}) {
    std::printf("%-26s %8.1f %9.1f", row->name, row->Best() * 1e3, row->Median() * 1e3);
    if (row == &cp)
      std::printf(" %8s %7.0f %9s %10s", "-", double(total) / 1e6 / row->Best(), "-", "-");
    else
      std::printf(" %8.1f %7.0f %9.1f %10.1f", row->cpu * 1e3, double(total) / 1e6 / row->Best(),
                  row->peak_mib, row->loaded_mib);
    std::printf("%s\n", row->ok ? "" : "  (FAILED)");
  }
  std::printf("ornivex / cp, best (median): %.2fx (%.2fx); libavformat / ornivex: %.2fx (%.2fx)\n",
              ornivex.Best() / cp.Best(), ornivex.Median() / cp.Median(),
              av.Best() / ornivex.Best(), av.Median() / ornivex.Median());
}

}  // namespace

int main(int argc, char** argv) {
  av_log_set_level(AV_LOG_ERROR);
  const std::string input = argc > 1 ? argv[1] : MakeRealFile();
  if (input.empty() || FileSize(input) == 0) {
    std::fprintf(stderr, "no media: ffmpeg is needed to make it\n");
    return 1;
  }
  if (!Run("mkdir -p bench-media")) return 1;
  if (argc > 2) {
    const bool gib = argc > 3;
    Source src;
    if (!Load(input, gib ? kRepeatedSeconds : 1e30, gib ? kGiB : 0, &src)) return 1;
    const std::string out = "bench-media/written.mp4";
    const bool ok = std::string(argv[2]) == "ornivex" ? OrnivexWrite(src, out) : AvWrite(src, out);
    std::remove(out.c_str());
    avformat_close_input(&src.input);
    return ok ? 0 : 1;
  }
  Case(input, "the whole file", 1e30, 0, 7);
  Case(input, "its first 10 s repeated to 1 GiB", kRepeatedSeconds, kGiB, 3);
  return 0;
}
