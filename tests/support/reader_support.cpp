#include "support/reader_support.h"

#include <sstream>

#include "atom/helpers.h"
#include "ornivex.h"
#include "support/test_support.h"

OpenedFile::OpenedFile(const std::string& path) {
  output = CaptureStdout([&] { result = MP4FileOpen(&file, path.c_str()); });
}

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

std::vector<ProbePacket> ProbePackets(const std::string& path, uint32_t track_id,
                                      std::string* codec_tag, bool hashes) {
  std::vector<ProbePacket> packets;
  std::string streams;
  RunCommand(
      "ffprobe -v error -show_entries stream=index,id,codec_tag_string -of compact '" + path + "'",
      &streams);
  std::istringstream in(streams);
  std::string line, index;
  for (std::string l; std::getline(in, l);) {
    const std::string id = ProbeField(l + "|", "id");
    if (!id.empty() && std::stoul(id, nullptr, 0) == track_id) {
      index = ProbeField(l + "|", "index");
      if (codec_tag != nullptr) *codec_tag = ProbeField(l + "|", "codec_tag_string");
    }
  }
  if (index.empty()) return packets;
  std::string out;
  RunCommand("ffprobe -v error -select_streams " + index +
                 " -show_entries packet=dts,size,pos,flags" + (hashes ? ",data_hash" : "") +
                 (hashes ? " -show_data_hash MD5" : "") + " -of compact '" + path + "'",
             &out);
  // A packet with side data goes on over several lines.
  std::vector<std::string> lines;
  std::istringstream packets_in(out);
  while (std::getline(packets_in, line)) {
    if (line.rfind("packet|", 0) == 0) {
      lines.push_back(line);
    } else if (!lines.empty()) {
      lines.back() += "|" + line;
    }
  }
  for (std::string& line : lines) {
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

const std::vector<FfmpegCase>& FfmpegCases() {
  static const std::vector<FfmpegCase> cases = {
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
      {"video-only.mp4", "-f lavfi -i testsrc=size=128x96:rate=10 -t 4 -c:v mpeg4 -g 5"},
  };
  return cases;
}
