// The files that cmake/compare_hosts.cmake has the host read on Linux and
// under Wine: ffmpeg's test files, the sample, two sparse files past 2 and
// 4 GiB (past what a 32-bit long measures) and the shared corpus.
#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "support/test_support.h"

namespace fs = std::filesystem;

TEST(ReadHostFiles, ListedForTheComparison) {
  if (!HaveFfmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
  std::vector<std::string> files = FfmpegFiles();
  files.push_back(
      FfmpegMedia("mp3.mp4", "-f lavfi -i sine=sample_rate=44100 -t 1 -c:a libmp3lame -ac 1"));
  files.push_back(FfmpegMedia(
      "qcif25.m4v", "-f lavfi -i testsrc=size=176x144:rate=25 -t 3 -c:v mpeg4 -g 12 -f m4v"));
  const std::string sample = ORNIVEX_SOURCE_DIR "/samples/testsrc-mpeg4-aac.mp4";
  files.push_back(sample);
  for (const auto& [name, size] :
       {std::pair{"sparse-3g.mp4", uintmax_t{3000000000}},
        std::pair{"sparse-4g.mp4", (uintmax_t{1} << 32) + fs::file_size(sample)}}) {
    // the sample at the start of a sparse file, where the file system makes one
    const fs::path path = fs::path(ORNIVEX_MEDIA_DIR) / name,
                   temp = path.string() + ".part-" + std::to_string(getpid());
    if (!fs::exists(path)) {
      fs::copy_file(sample, temp, fs::copy_options::overwrite_existing);
      fs::resize_file(temp, size);
      struct stat s;
      if (stat(temp.c_str(), &s) == 0 && uintmax_t(s.st_blocks) * 512 < (uintmax_t{1} << 26))
        fs::rename(temp, path);
      else {
        fs::remove(temp);
        std::printf("%s left out: no sparse files here\n", name);
      }
    }
    if (fs::exists(path)) files.push_back(path.string());
  }
  for (const std::string& corpus : CorpusFiles()) files.push_back(corpus);

  const std::string list = std::string(ORNIVEX_MEDIA_DIR) + "/read-host-files.txt";
  const std::string temp = list + ".part-" + std::to_string(getpid());
  {
    std::ofstream out(temp);
    for (const std::string& f : files) {
      ASSERT_TRUE(fs::is_regular_file(f)) << f;
      out << f << "\n";
    }
  }
  fs::rename(temp, list);  // whole, for a comparison running now
  std::printf("read host files: %s\n", list.c_str());
}
