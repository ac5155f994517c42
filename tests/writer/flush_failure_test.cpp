// MP4FileFlush when the file cannot be written whole: -99 after the
// messages, with the record released and the temporary files deleted.
#include <signal.h>
#include <sys/resource.h>

#include "support/test_support.h"

using namespace box;

namespace {

// A record with a video track of `frames` frames of 1000 bytes, one key
// frame in ten; its temporary file, which stays valid after the flush.
struct VideoFile {
  std::string path, temp;
  MP4_local_file* file = nullptr;
  explicit VideoFile(uint32_t frames, const Bytes& config = {}, uint32_t width = 176,
                     const std::string& out = ScratchPath("out.mp4"),
                     const std::string& temp_name = ScratchPath("video.tmp"))
      : path(out), temp(temp_name) {
    EXPECT_EQ(MP4FileNew(&file, path.c_str()), 1);
    EXPECT_EQ(CreateTrack(file, 1, width, 144, 30, 1000, 1, 0, 0, 0, uint32_t(config.size()),
                          config.data(), temp.c_str(), 1),
              1);
    const Bytes frame(1000, 0x5A);
    for (uint32_t i = 0; i < frames; ++i)
      EXPECT_EQ(AddVideoFrame(file, 1000, frame.data(), 40 * i, i % 10 == 0), 1);
  }
  // The flush's result, with what it printed on both channels.
  std::pair<int32_t, std::string> Flush() {
    int32_t rc = 0;
    testing::internal::CaptureStderr();
    const std::string out = CaptureStdout([&] { rc = MP4FileFlush(file); });
    return {rc, out + testing::internal::GetCapturedStderr()};
  }
};

TEST(FlushFailure, ANullRecordIsReportedOnTheDebuggerChannel) {
  testing::internal::CaptureStderr();
  EXPECT_EQ(MP4FileFlush(nullptr), -99);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "the input localfile is empty!\n");
}

TEST(FlushFailure, AMissingOrShortTemporaryFileGivesMinus99) {
  VideoFile missing(20);
  std::filesystem::remove(missing.temp);
  EXPECT_EQ(missing.Flush(), std::make_pair(-99, std::string("error in video tempfile!\n")));

  // a shorter file under the same name: what there is is copied
  VideoFile shorter(20);
  std::filesystem::remove(shorter.temp);
  std::ofstream(shorter.temp, std::ios::binary) << std::string(500, 'x');
  EXPECT_EQ(shorter.Flush(), std::make_pair(-99, std::string("error in video tempfile!\n")));
  EXPECT_FALSE(std::filesystem::exists(shorter.temp));

  // frames whose temporary file could not be made are missing too; a track
  // without frames misses nothing
  VideoFile never(0);
  std::filesystem::remove(never.temp);
  EXPECT_EQ(never.Flush(), std::make_pair(1, std::string()));
}

TEST(FlushFailure, ATrackThatCannotBeDescribedFailsUpToTheMovie) {
  const std::string chain =
      "there is error in [stbl]'s child=>[stsd]\n"
      "there is error in [minf]'s child=>[stbl]\n"
      "there is error in [mdia]'s child=>[minf]\n"
      "there is error in [trak]'s child=>[mdia]\n"
      "there is error in [moov]'s child=>[trak]\n"
      "There is error in [moov] atom\n"
      "error occuring in writing [stts]atom\n";  // the tree is written as far as it is sized
  // a configuration that is no MPEG-4 Visual header, a picture too wide
  // for the default one
  VideoFile foreign(3, {0, 0, 1, 0xB6, 0x10});
  EXPECT_EQ(foreign.Flush(), std::make_pair(-99, chain));
  VideoFile wide(3, {}, 8192);
  EXPECT_EQ(wide.Flush(), std::make_pair(-99, chain));
  EXPECT_FALSE(std::filesystem::exists(wide.temp));
}

// The limit is set after the appends, so only the output file meets it:
// in the copy of the media, or only when the close writes what is buffered.
TEST(FlushFailure, AFileSizeLimitGivesMinus99AndLeavesNoTemporaryFile) {
  for (const auto& [frames, limit] : {std::pair{100u, 50000u}, {1u, 100u}}) {
    const std::string path = ScratchPath("limited.mp4"), temp = ScratchPath("limited.tmp");
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      VideoFile v(frames, {}, 176, path, temp);
      std::fflush(v.file->video_temp);
      signal(SIGXFSZ, SIG_IGN);
      const rlimit size_limit{limit, limit};
      setrlimit(RLIMIT_FSIZE, &size_limit);
      const auto [rc, said] = v.Flush();
      _exit(rc == -99 && said == "error occuring in writing [mdat]atom\n" ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status << " " << limit;
    EXPECT_FALSE(std::filesystem::exists(temp));
    EXPECT_EQ(std::filesystem::file_size(path), limit);
  }
}

}  // namespace
