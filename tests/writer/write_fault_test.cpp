// Writing that fails for real: a file-size limit met during the appends or
// the flush, a temporary file cut short before the flush, an output folder
// that cannot be written; the writing calls and the merges alike must report
// it and leave no temporary file (the merges no output either).
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include "writer/writer_support.h"

namespace fs = std::filesystem;
using box::Bytes;

namespace {

// Runs `work` in a forked child, as the user `nobody` when `unprivileged`
// (where the test runs as root) and with files limited to `size_limit`
// bytes (0: none); gives its exit status, what `work` returned.
constexpr int kCannotDropPrivileges = 255;
int InChild(const std::function<int()>& work, rlim_t size_limit = 0, bool unprivileged = false) {
  std::fflush(nullptr);
  const pid_t child = fork();
  if (child < 0) return -1;
  if (child == 0) {
    if (unprivileged && geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0))
      _exit(kCannotDropPrivileges);
    if (size_limit > 0) {
      signal(SIGXFSZ, SIG_IGN);  // a write past the limit fails with EFBIG instead
      const rlimit limit{size_limit, size_limit};
      if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(2);
    }
    _exit(work());
  }
  int status = 0;
  if (waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

// The result and both channels' text of a call.
struct Said {
  int32_t result = 0;
  std::string text;
};
Said Call(const std::function<int32_t()>& f) {
  Said s;
  s.text = CaptureDebug([&] { s.text = CaptureStdout([&] { s.result = f(); }); }) + s.text;
  return s;
}

// A folder that the user `nobody` may enter but not write to.
std::string ReadOnlyFolder() {
  const std::string dir = ScratchPath("read-only");
  fs::create_directories(dir);
  chmod(dir.c_str(), 0555);
  return dir;
}

// An ADTS stream of `n` frames of `payload` bytes at 44100 Hz.
Bytes AdtsStream(uint32_t n, uint32_t payload) {
  Bytes s;
  const uint32_t length = payload + 7;
  for (uint32_t i = 0; i < n; ++i) {
    const Bytes header = {0xFF,
                          0xF1,
                          0x50,
                          uint8_t(0x80 | length >> 11),
                          uint8_t(length >> 3),
                          uint8_t((length & 7) << 5 | 0x1F),
                          0xFC};
    s.insert(s.end(), header.begin(), header.end());
    s.resize(s.size() + payload, uint8_t(i));
  }
  return s;
}

// A raw MPEG-4 Visual stream: the 176 x 144 headers, then `n` VOPs of
// `payload` bytes after their start code, every tenth intra coded.
Bytes M4vStream(uint32_t n, uint32_t payload) {
  Bytes s = box::Cat({{0, 0, 1, 0xB0, 1, 0, 0, 1, 0xB5, 9}, kQcifVol});
  for (uint32_t i = 0; i < n; ++i) {
    const Bytes vop = {0, 0, 1, 0xB6, uint8_t(i % 10 == 0 ? 0x15 : 0x55)};
    s.insert(s.end(), vop.begin(), vop.end());
    s.resize(s.size() + payload - 1, uint8_t(0x40 + i % 64));
  }
  return s;
}

// The limit is set before the first frame: the temporary file meets it at
// the first write of the stream's buffer. That append and every one after it
// fail (their frames stay recorded), and the flush reports the shorter file.
TEST(WriteFault, FileSizeLimitDuringTheAppends) {
  const std::string temp = ScratchPath("limited.v");
  const int status = InChild(
      [&] {
        Writer w;
        TrackArgs video;
        video.temp = temp;
        if (w.Create(video) != 1) return 1;
        std::vector<int32_t> results;
        const std::string debug = CaptureDebug([&] {
          for (uint32_t i = 0; i < 400; ++i) results.push_back(w.Video(1000, 40 * i));
        });
        const auto first_failure = std::find(results.begin(), results.end(), -99);
        const size_t failed = size_t(results.end() - first_failure);
        const Said flush = Call([&] { return MP4FileFlush(w.file); });
        w.file = nullptr;  // released by the flush
        const bool appends =
            failed > 0 && size_t(std::count(first_failure, results.end(), -99)) == failed &&
            debug.size() ==
                failed *
                    std::string("the size of data written to temp video file is error!\n").size();
        return appends && flush.result == -99 &&
                       flush.text.find("error in video tempfile!\n") == 0 && !fs::exists(temp)
                   ? 0
                   : 1;
      },
      20000);
  EXPECT_EQ(status, 0);
}

// A temporary file cut short in place while its stream still holds frames
// in its buffer: what the flush closes in comes after the cut, so the file
// stays short of its frames and the flush reports it.
TEST(WriteFault, TemporaryFileTruncatedBeforeTheFlush) {
  Writer w;
  ASSERT_EQ(w.Media(1), 1);
  for (uint32_t i = 0; i < 600; ++i) ASSERT_EQ(w.Video(500, 40 * i, i % 10 == 0), 1);
  const std::string temp = w.file->video_temp_name;
  const uintmax_t written = fs::file_size(temp);
  ASSERT_TRUE(written > 100000 && written < 300000) << written;  // the rest is buffered
  ASSERT_EQ(truncate(temp.c_str(), 100000), 0);
  const Said flush = Call([&] { return MP4FileFlush(w.file); });
  w.file = nullptr;
  EXPECT_EQ(flush.result, -99);
  EXPECT_EQ(flush.text, "error in video tempfile!\n");
  EXPECT_FALSE(fs::exists(temp));
}

TEST(WriteFault, ReadOnlyOutputFolder) {
  const std::string dir = ReadOnlyFolder(), out = dir + "/out.mp4";
  const int status = InChild(
      [&] {
        MP4_local_file* file = reinterpret_cast<MP4_local_file*>(&file);
        const Said said = Call([&] { return MP4FileNew(&file, out.c_str()); });
        return said.result == -99 && file == nullptr &&
                       said.text == "Can not create new file in MP4FileNew(...) \n"
                   ? 0
                   : 1;
      },
      0, true);
  if (status == kCannotDropPrivileges) GTEST_SKIP() << "cannot run as the user nobody here";
  EXPECT_EQ(status, 0);
  EXPECT_FALSE(fs::exists(out));
}

// The builder's movie, with a video configuration that the merge can use.
Bytes Movie() {
  TrackPlan video = VideoPlan(1, 6, {1, 4});
  video.esds = box::Esds(0x20, 0x11, kQcifVol);
  return BuildMovie({video, AudioPlan(2, 9)});
}

// The merges in a working folder of their own, for tempv.v and tempa.a.
class MergeFault : public testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(cwd_);
    chmod(cwd_.c_str(), 0777);  // the user nobody writes the temporary files here too
    fs::current_path(cwd_);
  }
  void TearDown() override { fs::current_path(home_); }

  // Mp4AddVideo (`video`) or Mp4AddAudio of the builder's movie and a
  // stream of 3000 frames into `out`, in a child under `limit`: its result.
  // (Its messages go nowhere: a capture would meet the limit too.)
  int32_t Merge(bool video, const std::string& out, rlim_t limit, bool unprivileged = false) {
    const int status = InChild(
        [&] {
          if (std::freopen("/dev/null", "w", stdout) == nullptr) return 0;
          return 128 + (video ? Mp4AddVideo(movie_.c_str(), m4v_.c_str(), out.c_str(), 25)
                              : Mp4AddAudio(movie_.c_str(), adts_.c_str(), out.c_str()));
        },
        limit, unprivileged);
    return status == kCannotDropPrivileges ? kSkipped : status - 128;
  }
  static constexpr int32_t kSkipped = 1000;
  bool NothingLeft(const std::string& out) {
    return !fs::exists(out) && !fs::exists(cwd_ + "/tempv.v") && !fs::exists(cwd_ + "/tempa.a");
  }

  const std::string cwd_ = ScratchPath("merge-cwd");
  const std::string movie_ = WriteScratchFile("movie.mp4", Movie());
  // each stream's frames make the larger temporary file, of 300000 bytes
  const std::string adts_ = WriteScratchFile("in.adts", AdtsStream(3000, 100));
  const std::string m4v_ = WriteScratchFile("in.m4v", M4vStream(3000, 100));
  const fs::path home_ = fs::current_path();
};

// Without a limit each merge gives an output larger than either temporary
// file; a limit between the two is met only by the flush, and one below the
// stream's frames by the appends.
TEST_F(MergeFault, FileSizeLimitDuringTheAppendsAndTheFlush) {
  const std::string out = ScratchPath("merged.mp4");
  const uintmax_t frames = 3000 * 100;  // the larger temporary file
  for (bool video : {false, true}) {
    ASSERT_EQ(Merge(video, out, 0), 1);
    ASSERT_GT(fs::file_size(out), frames + 1000);
    fs::remove(out);
    for (rlim_t limit : {rlim_t(frames / 3), rlim_t(frames + 500)}) {
      EXPECT_EQ(Merge(video, out, limit), -41) << video << " " << limit;
      EXPECT_TRUE(NothingLeft(out)) << video << " " << limit;
    }
  }
}

TEST_F(MergeFault, ReadOnlyOutputFolder) {
  const std::string out = ReadOnlyFolder() + "/merged.mp4";
  for (bool video : {false, true}) {
    const int32_t r = Merge(video, out, 0, true);
    if (r == kSkipped) GTEST_SKIP() << "cannot run as the user nobody here";
    EXPECT_EQ(r, -41) << video;
    EXPECT_TRUE(NothingLeft(out)) << video;
  }
}

}  // namespace
