// The files over which the reading host compares its Linux and Windows
// builds: ffmpeg's test files (made here, as every test makes them), the
// bundled sample, two sparse files past 2 and 4 GiB, and the shared
// corpus. The comparison runs this test and reads the list it writes.
#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "support/test_support.h"

namespace {

// The sample movie at the start of a sparse file of `size` bytes, past
// what a 32-bit long holds: where a length is measured in a long, the one
// of 4 GiB and a few bytes looks like the movie alone. "" (and no file)
// where the file system would store every byte.
std::string SparseCopy(const std::string& movie, const std::string& name, uintmax_t size) {
  namespace fs = std::filesystem;
  const fs::path path = fs::path(ORNIVEX_MEDIA_DIR) / name;
  if (fs::exists(path)) return path.string();
  const fs::path temp = path.string() + ".part-" + std::to_string(getpid());
  fs::copy_file(movie, temp, fs::copy_options::overwrite_existing);
  fs::resize_file(temp, size);
  struct stat s;
  if (stat(temp.c_str(), &s) != 0 || uintmax_t(s.st_blocks) * 512 > (uintmax_t{1} << 26)) {
    fs::remove(temp);
    std::printf("%s left out: no sparse files here\n", name.c_str());
    return "";
  }
  fs::rename(temp, path);
  return path.string();
}

}  // namespace

TEST(ReadHostFiles, ListedForTheComparison) {
  if (!HaveFfmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
  std::vector<std::string> files = FfmpegFiles();
  const std::string sine = "-f lavfi -i sine=sample_rate=";
  files.push_back(FfmpegMedia("mp3.mp4", sine + "44100 -t 1 -c:a libmp3lame -ac 1"));
  files.push_back(FfmpegMedia("qcif25.m4v",
                              "-f lavfi -i testsrc=size=176x144:rate=25 -t 3 "
                              "-c:v mpeg4 -g 12 -f m4v"));
  const std::string sample = ORNIVEX_SOURCE_DIR "/samples/testsrc-mpeg4-aac.mp4";
  files.push_back(sample);
  const uintmax_t sample_size = std::filesystem::file_size(sample);
  for (const auto& [name, size] : {std::pair{"sparse-3g.mp4", uintmax_t{3000000000}},
                                   std::pair{"sparse-4g.mp4", (uintmax_t{1} << 32) + sample_size}})
    if (const std::string sparse = SparseCopy(sample, name, size); !sparse.empty())
      files.push_back(sparse);
  for (const std::string& corpus : CorpusFiles()) files.push_back(corpus);

  const std::string list = std::string(ORNIVEX_MEDIA_DIR) + "/read-host-files.txt";
  const std::string temp = list + ".part-" + std::to_string(getpid());
  {
    std::ofstream out(temp);
    for (const std::string& f : files) {
      ASSERT_TRUE(std::filesystem::is_regular_file(f)) << f;
      out << f << "\n";
    }
  }
  std::filesystem::rename(temp, list);  // whole, for a comparison running now
  std::printf("read host files: %s\n", list.c_str());
}
