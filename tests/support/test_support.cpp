#include "support/test_support.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace fs = std::filesystem;

namespace {

// One scratch directory per test process, removed when the process ends.
struct ScratchDirectory {
  std::string path;
  ScratchDirectory() {
    fs::path p = fs::path(testing::TempDir()) / ("ornivex-tests-" + std::to_string(getpid()));
    fs::create_directories(p);
    path = p.string();
  }
  ~ScratchDirectory() {
    std::error_code ignored;
    fs::remove_all(path, ignored);
  }
};

const std::string& ScratchDir() {
  static const ScratchDirectory dir;
  return dir.path;
}

}  // namespace

std::string ScratchPath(const std::string& name) {
  static int counter = 0;
  return ScratchDir() + "/" + std::to_string(++counter) + "-" + name;
}

std::string WriteScratchFile(const std::string& name, const box::Bytes& bytes) {
  const std::string path = ScratchPath(name);
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  return path;
}

box::Bytes ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return box::Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string CaptureStdout(const std::function<void()>& f) {
  std::fflush(stdout);
  testing::internal::CaptureStdout();
  f();
  std::fflush(stdout);
  return testing::internal::GetCapturedStdout();
}

std::string CaptureStderr(const std::function<void()>& f) {
  std::fflush(stderr);
  testing::internal::CaptureStderr();
  f();
  std::fflush(stderr);
  return testing::internal::GetCapturedStderr();
}

int RunCommand(const std::string& command, std::string* output) {
  FILE* p = popen((command + " 2>&1").c_str(), "r");
  if (p == nullptr) return -1;
  std::string text;
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, p)) > 0) text.append(buffer, n);
  const int status = pclose(p);
  if (output != nullptr) *output = text;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string ToolCommandLine(const std::string& args) {
  return "ASAN_OPTIONS=exitcode=86:detect_leaks=1 UBSAN_OPTIONS=halt_on_error=1:exitcode=86 "
         "'" ORNIVEX_TOOL_PATH "' " +
         args;
}

std::string CorpusDir() {
  const fs::path p = fs::path(ORNIVEX_SOURCE_DIR) / ".." / "shared" / "corpus";
  return fs::is_directory(p) ? fs::canonical(p).string() : std::string();
}

std::vector<std::string> CorpusFiles() {
  std::vector<std::string> files;
  const std::string dir = CorpusDir();
  if (dir.empty()) return files;
  for (const char* sub : {"real", "malformed"})
    for (const auto& e : fs::directory_iterator(fs::path(dir) / sub))
      if (e.is_regular_file()) files.push_back(e.path().string());
  std::sort(files.begin(), files.end());
  return files;
}

bool HaveFfmpeg() {
  static const bool have = RunCommand("ffmpeg -version && ffprobe -version", nullptr) == 0;
  return have;
}

std::string FfmpegMedia(const std::string& name, const std::string& arguments) {
  if (!HaveFfmpeg()) return "";
  // Kept in the build tree across test processes; made under a temporary
  // name first, so that two processes never see half a file.
  fs::create_directories(ORNIVEX_MEDIA_DIR);
  const std::string path = std::string(ORNIVEX_MEDIA_DIR) + "/" + name;
  if (fs::exists(path)) return path;
  const fs::path ext = fs::path(name).extension();
  const std::string temp = path + ".part-" + std::to_string(getpid()) + ext.string();
  std::string out;
  const std::string command = "ffmpeg -nostdin -v error -y " + arguments + " '" + temp + "'";
  if (RunCommand(command, &out) != 0) {
    ADD_FAILURE() << "ffmpeg failed: " << command << "\n" << out;
    return "";
  }
  fs::rename(temp, path);
  return path;
}
