// The input as a raw ADTS or MPEG-4 Visual stream, and perhaps an existing
// MP4 file too, for Mp4AddAudio or Mp4AddVideo. Byte 0 chooses: bit 0 the
// call (0 Mp4AddAudio, 1 Mp4AddVideo), bit 1 whether the existing file
// comes from the input (its length in bytes 1 and 2, big-endian, then its
// bytes) or is a small movie the writer made, bits 2 to 4 the frame rate.
// The rest is the raw stream. A merge that succeeds must give a file that
// opens; one that fails must leave neither it nor a temporary file.
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fuzz_input.h"
#include "ornivex.h"

namespace {

const unsigned char kConfig[] = {0,    0,    1,    0,    0,    0,    1,    0x20, 0x01,
                                 0x88, 0x40, 0x07, 0xA8, 0x2C, 0x20, 0x90, 0xA3, 0x1F};
const float kRates[8] = {25, 30, 7.5f, 0.001f, 0, NAN, 1.0f / (1 << 22), 1000};

bool Exists(const std::string& path) {
  return access(path.c_str(), F_OK) == 0;
}

// A working directory of this process's own, for the temporary files, with
// a movie of a 176 x 144 MPEG-4 Visual track and an AAC track in it; both
// go when the process ends.
struct WorkDir {
  std::string dir, movie;
  WorkDir() {
    const char* tmp = std::getenv("TMPDIR");
    dir = std::string(tmp != nullptr ? tmp : "/tmp") + "/ornivex-fuzz-merge-" +
          std::to_string(getpid());
    if ((mkdir(dir.c_str(), 0700) != 0 && !Exists(dir)) || chdir(dir.c_str()) != 0) std::abort();
    movie = dir + "/movie.mp4";
    MP4_local_file* file = nullptr;
    const unsigned char frame[] = {0, 0, 1, 0xB6, 0x10, 0x20, 0x30, 0x40};
    if (MP4FileNew(&file, movie.c_str()) != 1 ||
        CreateTrack(file, 1, 176, 144, 30, 1000, 3, 0, 0, 0, sizeof kConfig, kConfig, "mv.v", 1) !=
            1 ||
        CreateTrack(file, 2, 0, 0, 0, 44100, 0, 1, 2, 44100, 0, nullptr, "ma.a", 1) != 1 ||
        AddVideoFrame(file, sizeof frame, frame, 0, 1) != 1 ||
        AddVideoFrame(file, sizeof frame, frame, 40, 0) != 1 ||
        AddAudioFrame(file, 6, frame + 2, 0) != 1 || AddAudioFrame(file, 6, frame + 2, 1024) != 1 ||
        MP4FileFlush(file) != 1)
      std::abort();
  }
  ~WorkDir() {
    std::remove(movie.c_str());
    rmdir(dir.c_str());
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  SilenceStdout();
  if (size < 1) return 0;
  static const WorkDir work;
  std::string movie = work.movie;
  const uint8_t choice = data[0];
  size_t at = 1;
  if (choice & 2) {
    if (size < 3) return 0;
    const size_t length = size_t{data[1]} << 8 | data[2];
    at = 3 + (length < size - 3 ? length : size - 3);
    movie = InputFile(data + 3, at - 3, ".mp4");
  }
  const std::string stream = InputFile(data + at, size - at, ".stream");
  const std::string out = movie + ".merged.mp4";
  const int32_t result = (choice & 1) ? Mp4AddVideo(movie.c_str(), stream.c_str(), out.c_str(),
                                                    kRates[(choice >> 2) & 7])
                                      : Mp4AddAudio(movie.c_str(), stream.c_str(), out.c_str());
  if (Exists("tempv.v") || Exists("tempa.a")) std::abort();  // left behind
  if (result != 1) {
    if (Exists(out)) std::abort();
    return 0;
  }
  MP4_input_file* file = nullptr;
  const int32_t opened = MP4FileOpen(&file, out.c_str());
  MP4FileClose(&file);
  std::remove(out.c_str());
  if (opened != 1) std::abort();  // a merge that does not open again
  return 0;
}
