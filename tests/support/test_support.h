// What every test uses: scratch files, captured output, commands, shared
// media, opened files, and the builders of MP4 files.
#ifndef ORNIVEX_TESTS_TEST_SUPPORT_H
#define ORNIVEX_TESTS_TEST_SUPPORT_H

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <random>
#include <sstream>
#include <tuple>

#include "atom/helpers.h"
#include "atom/records.h"
#include "ornivex.h"
#include "support/box_builder.h"
#include "track/track_records.h"

// Related values compared at once, so that a failure shows them all.
using Values = std::vector<uint32_t>;

// A fresh path in the test process's scratch directory, which goes when the
// process ends; `name` keeps it readable.
inline std::string ScratchPath(const std::string& name) {
  namespace fs = std::filesystem;
  struct Directory {
    const fs::path path =
        fs::path(testing::TempDir()) / ("ornivex-tests-" + std::to_string(getpid()));
    Directory() { fs::create_directories(path); }
    ~Directory() {
      std::error_code ignored;
      fs::remove_all(path, ignored);
    }
  };
  static const Directory dir;
  static int counter = 0;
  return (dir.path / (std::to_string(++counter) + "-" + name)).string();
}
inline std::string WriteScratchFile(const std::string& name, const box::Bytes& bytes) {
  const std::string path = ScratchPath(name);
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  return path;
}
inline box::Bytes ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return box::Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// What `f` printed on standard output.
inline std::string CaptureStdout(const std::function<void()>& f) {
  std::fflush(stdout);
  testing::internal::CaptureStdout();
  f();
  std::fflush(stdout);
  return testing::internal::GetCapturedStdout();
}

// How often `what` occurs in `text`.
inline size_t Count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

// Runs a shell command; returns its exit status and what it printed.
inline int RunCommand(const std::string& command, std::string* output) {
  FILE* p = popen((command + " 2>&1").c_str(), "r");
  if (p == nullptr) return -1;
  std::string text;
  char buffer[4096];
  for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, p)) > 0;) text.append(buffer, n);
  const int status = pclose(p);
  if (output != nullptr) *output = text;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Runs the ornivex tool with `args`. Sanitizer findings in the tool exit
// with 86, apart from its own 0, 1 and 2.
inline int RunTool(const std::string& args, std::string* output) {
  const std::string env =
      "ASAN_OPTIONS=exitcode=86:detect_leaks=1 "
      "UBSAN_OPTIONS=halt_on_error=1:exitcode=86 ";
  return RunCommand(env + "'" ORNIVEX_TOOL_PATH "' " + args, output);
}

// The shared corpus of files written by others: real/ and malformed/,
// sorted; empty when the corpus is absent.
inline std::vector<std::string> CorpusFiles() {
  namespace fs = std::filesystem;
  std::vector<std::string> files;
  const fs::path dir = fs::path(ORNIVEX_SOURCE_DIR) / ".." / "shared" / "corpus";
  if (!fs::is_directory(dir)) return files;
  for (const char* sub : {"real", "malformed"})
    for (const auto& e : fs::directory_iterator(fs::canonical(dir) / sub))
      if (e.is_regular_file()) files.push_back(e.path().string());
  std::sort(files.begin(), files.end());
  return files;
}

inline bool HaveFfmpeg() {
  static const bool have = RunCommand("ffmpeg -version && ffprobe -version", nullptr) == 0;
  return have;
}

// A file that ffmpeg writes once per build tree from its test sources, with
// the arguments given; "" when ffmpeg is missing or fails. It is made under
// a temporary name first, so that two test processes never see half a file.
inline std::string FfmpegMedia(const std::string& name, const std::string& arguments) {
  namespace fs = std::filesystem;
  if (!HaveFfmpeg()) return "";
  fs::create_directories(ORNIVEX_MEDIA_DIR);
  const std::string path = std::string(ORNIVEX_MEDIA_DIR) + "/" + name;
  if (fs::exists(path)) return path;
  const std::string temp =
      path + ".part-" + std::to_string(getpid()) + fs::path(name).extension().string();
  std::string out;
  const std::string command = "ffmpeg -nostdin -v error -y " + arguments + " '" + temp + "'";
  if (RunCommand(command, &out) != 0) {
    ADD_FAILURE() << "ffmpeg failed: " << command << "\n" << out;
    return "";
  }
  fs::rename(temp, path);
  return path;
}

// MPEG-4 Visual and AAC files from ffmpeg, in the layouts a reader meets
// (B-frames, faststart, one medium only).
inline std::vector<std::string> FfmpegFiles() {
  const std::string video = "-f lavfi -i testsrc=size=", audio = "-f lavfi -i sine=sample_rate=";
  return {
      FfmpegMedia("av.mp4",
                  video + "176x144:rate=25 " + audio + "44100 -t 3 -c:v mpeg4 -g 12 -c:a aac"),
      FfmpegMedia("av-bframes.mp4", video + "320x240:rate=30 " + audio +
                                        "48000 -t 3 -c:v mpeg4 -bf 2 -g 15 -c:a aac -ac 2"),
      FfmpegMedia("av-faststart.mp4", video + "176x144:rate=15 " + audio +
                                          "22050 -t 3 -c:v mpeg4 -c:a aac -movflags +faststart"),
      FfmpegMedia("audio-only.mp4", audio + "32000 -t 2 -c:a aac"),
      FfmpegMedia("video-only.mp4", video + "128x96:rate=10 -t 4 -c:v mpeg4 -g 5")};
}

// A 176 x 144 MPEG-4 Visual configuration: the video object start code and
// the 18 bytes of a video object layer header, as the library writes it.
inline const box::Bytes kQcifVol = {0,    0,    1,    0,    0,    0,    1,    0x20, 0x01,
                                    0x88, 0x40, 0x07, 0xA8, 0x2C, 0x20, 0x90, 0xA3, 0x1F};

// GetFileInfo's summary of `path`, in a record first filled with 0xAB so
// that words it leaves alone show; its result in `result`.
inline FileInfo Info(const std::string& path, int32_t* result = nullptr) {
  FileInfo info;
  std::memset(&info, 0xAB, sizeof info);
  int32_t r = 0;
  CaptureStdout([&] { r = GetFileInfo(path.c_str(), &info); });
  if (result != nullptr) *result = r;
  return info;
}

// MP4FileOpen on construction (what it printed in `output`), which must
// succeed, or fail with -99 when the file is `damaged` (which names it);
// MP4FileClose on destruction.
struct OpenedFile {
  explicit OpenedFile(const std::string& path, const std::string& damaged = "") {
    output = CaptureStdout([&] { result = MP4FileOpen(&file, path.c_str()); });
    EXPECT_TRUE(result == 1 || (!damaged.empty() && result == -99)) << result << " " << path;
  }
  explicit OpenedFile(const box::Bytes& bytes, const std::string& damaged = "")
      : OpenedFile(WriteScratchFile("open.mp4", bytes), damaged) {}
  ~OpenedFile() { MP4FileClose(&file); }
  MP4_input_file* file = nullptr;
  int result = 0;
  std::string output;
  const ReadTrackNode* track(uint32_t id) const { return file->tracks[id]; }
};

#endif  // ORNIVEX_TESTS_TEST_SUPPORT_H
