// Writing that fails for real, under a file-size limit met during the
// appends or the flush: the writing calls and the merges alike must report
// it and leave no temporary file (the merges no output either).
#include <signal.h>
#include <sys/resource.h>

#include "writer/writer_support.h"

namespace fs = std::filesystem;

namespace {

void LimitFiles(rlim_t bytes) {
  signal(SIGXFSZ, SIG_IGN);  // a write past the limit fails with EFBIG instead
  const rlimit limit{bytes, bytes};
  if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(2);
}
// The exit status of `work`, run in a forked child.
int InChild(const std::function<int()>& work) {
  std::fflush(nullptr);
  const pid_t child = fork();
  if (child == 0) _exit(work());
  int status = 0;
  return child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status) ? WEXITSTATUS(status)
                                                                               : -1;
}

// A limit set before the appends is met by the temporary file at the first
// write of the stream's buffer: that append and every one after it fail
// (their frames stay recorded) and the flush reports the shorter file. Set
// after them, only the output meets it: in the copy of the media, or only
// when the close writes what is buffered.
TEST(WriteFault, FileSizeLimitDuringTheAppendsOrTheFlush) {
  const std::tuple<bool, uint32_t, rlim_t, std::string> cases[] = {
      {true, 400, 20000, "error in video tempfile!\n"},
      {false, 100, 50000, "error occuring in writing [mdat]atom\n"},
      {false, 1, 100, "error occuring in writing [mdat]atom\n"}};
  for (const auto& [before, frames, limit, flushed] : cases) {
    const std::string out = ScratchPath("limited.mp4");
    const int status =
        InChild([&, before = before, frames = frames, limit = limit, flushed = flushed] {
          Writer w(out);
          const std::string temp = (w.Create(1), w.file->video_temp_name);
          if (before) LimitFiles(limit);
          std::string results, expected;  // each append's result: '+' for 1, '-' for -99
          const Said appends = Call([&] {
            for (uint32_t i = 0; i < frames; ++i) results += w.Video(1000, 40 * i) == 1 ? '+' : '-';
            return std::fflush(w.file->video_temp);
          });
          if (!before) LimitFiles(limit);
          for (char r : results)
            expected += r == '-' ? "the size of data written to temp video file is error!\n" : "";
          const bool failed = results.back() == '-',
                     ordered = results.find("-+") == std::string::npos;
          if (!ordered || failed != before || appends.second != expected) return 1;
          return w.Flush() == Said(-99, flushed) && !fs::exists(temp) ? 0 : 1;
        });
    EXPECT_EQ(status, 0) << limit;
    EXPECT_EQ(fs::file_size(out), limit);
  }
}

// An ADTS stream or a raw MPEG-4 Visual stream (the 176 x 144 headers,
// every tenth VOP intra coded) of 3000 frames of 100 bytes.
Bytes Stream(bool video) {
  Bytes s = video ? box::Cat({{0, 0, 1, 0xB0, 1, 0, 0, 1, 0xB5, 9}, kQcifVol}) : Bytes{};
  for (uint32_t i = 0; i < 3000; ++i) {
    const Bytes header = video ? Bytes{0, 0, 1, 0xB6, uint8_t(i % 10 == 0 ? 0x15 : 0x55)}
                               : Bytes{0xFF, 0xF1, 0x50, 0x80, 0x0D, 0x7F, 0xFC};
    s.insert(s.end(), header.begin(), header.end());
    s.resize(s.size() + 100 - video, uint8_t(0x40 + i % 64));
  }
  return s;
}

// Mp4AddAudio and Mp4AddVideo of the builder's movie and a stream, in a
// working folder of their own for tempa.a and tempv.v: the output is larger
// than either temporary file (300000 bytes, the stream's frames), so a limit
// between the two is met only by the flush, one below them by the appends.
// Their messages go nowhere: a capture would meet the limit too.
TEST(MergeFault, FileSizeLimitDuringTheAppendsAndTheFlush) {
  TrackPlan video = VideoPlan(1, 6, {1, 4});
  video.esds = box::Esds(0x20, 0x11, kQcifVol);
  const std::string movie = WriteScratchFile("movie.mp4", BuildMovie({video, AudioPlan(2, 9)}));
  const std::string streams[] = {WriteScratchFile("in.adts", Stream(false)),
                                 WriteScratchFile("in.m4v", Stream(true))};
  const std::string cwd = ScratchPath("merge-cwd"), out = ScratchPath("merged.mp4");
  fs::create_directories(cwd);
  const fs::path home = fs::current_path();
  fs::current_path(cwd);
  for (bool video_merge : {false, true}) {
    for (rlim_t limit : {100000, 300500}) {
      const int status = InChild([&] {
        LimitFiles(limit);
        if (std::freopen("/dev/null", "w", stdout) == nullptr) return 0;
        const char* raw = streams[video_merge].c_str();
        return 128 + (video_merge ? Mp4AddVideo(movie.c_str(), raw, out.c_str(), 25)
                                  : Mp4AddAudio(movie.c_str(), raw, out.c_str()));
      });
      EXPECT_EQ(status - 128, -41) << video_merge << " " << limit;
      EXPECT_FALSE(fs::exists(out) || fs::exists("tempv.v") || fs::exists("tempa.a"));
    }
  }
  fs::current_path(home);
}

}  // namespace
