#include "support/test_support.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "atom/helpers.h"

namespace fs = std::filesystem;

namespace {

// One scratch directory per test process, removed when the process ends.
struct ScratchDirectory {
  const fs::path path =
      fs::path(testing::TempDir()) / ("ornivex-tests-" + std::to_string(getpid()));
  ScratchDirectory() { fs::create_directories(path); }
  ~ScratchDirectory() {
    std::error_code ignored;
    fs::remove_all(path, ignored);
  }
};

}  // namespace

std::string ScratchPath(const std::string& name) {
  static const ScratchDirectory dir;
  static int counter = 0;
  return (dir.path / (std::to_string(++counter) + "-" + name)).string();
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

size_t Count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
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

std::vector<std::string> CorpusFiles() {
  std::vector<std::string> files;
  const fs::path dir = fs::path(ORNIVEX_SOURCE_DIR) / ".." / "shared" / "corpus";
  if (!fs::is_directory(dir)) return files;
  for (const char* sub : {"real", "malformed"})
    for (const auto& e : fs::directory_iterator(fs::canonical(dir) / sub))
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

std::vector<std::string> FfmpegFiles() {
  std::vector<std::string> paths;
  for (const auto& [name, arguments] : std::vector<std::pair<const char*, const char*>>{
           {"av.mp4",
            "-f lavfi -i testsrc=size=176x144:rate=25 -f lavfi -i sine=sample_rate=44100 -t 3 "
            "-c:v mpeg4 -g 12 -c:a aac"},
           {"av-bframes.mp4",
            "-f lavfi -i testsrc=size=320x240:rate=30 -f lavfi -i sine=sample_rate=48000 -t 3 "
            "-c:v mpeg4 -bf 2 -g 15 -c:a aac -ac 2"},
           {"av-faststart.mp4",
            "-f lavfi -i testsrc=size=176x144:rate=15 -f lavfi -i sine=sample_rate=22050 -t 3 "
            "-c:v mpeg4 -c:a aac -movflags +faststart"},
           {"audio-only.mp4", "-f lavfi -i sine=sample_rate=32000 -t 2 -c:a aac"},
           {"video-only.mp4", "-f lavfi -i testsrc=size=128x96:rate=10 -t 4 -c:v mpeg4 -g 5"}})
    paths.push_back(FfmpegMedia(name, arguments));
  return paths;
}

OpenedFile::OpenedFile(const std::string& path) {
  output = CaptureStdout([&] { result = MP4FileOpen(&file, path.c_str()); });
}

OpenedFile::OpenedFile(const box::Bytes& bytes) : OpenedFile(WriteScratchFile("open.mp4", bytes)) {}

OpenedFile::~OpenedFile() {
  MP4FileClose(&file);
  FreeBlock(file);
}

std::string ProbeField(const std::string& line, const std::string& key) {
  const std::string k = "|" + key + "=";
  const size_t at = line.find(k);
  if (at == std::string::npos) return "";
  const size_t from = at + k.size();
  return line.substr(from, line.find('|', from) - from);
}

std::string ProbeStream(const std::string& path, uint32_t track_id, const std::string& entries) {
  std::string out;
  RunCommand(
      "ffprobe -v error -show_entries stream=index,id," + entries + " -of compact '" + path + "'",
      &out);
  std::istringstream in(out);
  for (std::string line; std::getline(in, line);) {
    line += "|";
    const std::string id = ProbeField(line, "id");
    if (!id.empty() && std::stoul(id, nullptr, 0) == track_id) return line;
  }
  return "";
}

std::vector<ProbePacket> ProbePackets(const std::string& path, uint32_t track_id) {
  std::vector<ProbePacket> packets;
  const std::string index = ProbeField(ProbeStream(path, track_id, "codec_tag_string"), "index");
  if (index.empty()) return packets;
  std::string out;
  RunCommand("ffprobe -v error -select_streams " + index +
                 " -show_entries packet=dts,size,pos,flags,data_hash -show_data_hash CRC32"
                 " -of compact '" +
                 path + "'",
             &out);
  // A packet with side data goes on over lines that begin with '|'.
  for (size_t at; (at = out.find("\n|")) != std::string::npos;) out.erase(at, 1);
  std::istringstream in(out);
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("packet|", 0) != 0) continue;
    line += "|";
    ProbePacket p;
    const std::string dts = ProbeField(line, "dts");
    p.dts = dts == "N/A" || dts.empty() ? 0 : std::stoll(dts);
    p.size = uint32_t(std::stoul(ProbeField(line, "size")));
    p.pos = std::stoull(ProbeField(line, "pos"));
    p.key = ProbeField(line, "flags").find('K') != std::string::npos;
    p.hash = ProbeField(line, "data_hash");
    packets.push_back(p);
  }
  return packets;
}

std::string Crc32Hash(const uint8_t* data, size_t size) {
  uint32_t crc = 0xFFFFFFFF;
  for (size_t i = 0; i < size; ++i) {
    crc ^= data[i];
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
  }
  char hex[9];
  std::snprintf(hex, sizeof hex, "%08x", ~crc);
  return std::string("CRC32:") + hex;
}
