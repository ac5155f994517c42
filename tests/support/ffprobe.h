// Asking ffprobe about a file: its compact output, one line per stream or
// packet, and the fields of a line.
#ifndef ORNIVEX_TESTS_FFPROBE_H
#define ORNIVEX_TESTS_FFPROBE_H

#include <sstream>
#include <string>
#include <vector>

#include "support/test_support.h"

// The value of `key` in one of ffprobe's compact lines ending in '|', or "".
inline std::string Field(const std::string& line, const std::string& key) {
  const std::string k = "|" + key + "=";
  const size_t at = line.find(k);
  if (at == std::string::npos) return "";
  const size_t from = at + k.size();
  return line.substr(from, line.find('|', from) - from);
}
inline uint32_t Number(const std::string& line, const char* key) {
  const std::string v = Field(line, key);
  return v.empty() || v == "N/A" ? 0u : uint32_t(std::stoul(v));
}

// ffprobe's compact lines on `path` with the arguments `args`, each ending in '|'.
inline std::vector<std::string> Probe(const std::string& args, const std::string& path) {
  std::string out;
  RunCommand("ffprobe -v error -of compact " + args + " '" + path + "'", &out);
  // A packet with side data goes on over lines that begin with '|'.
  for (size_t at; (at = out.find("\n|")) != std::string::npos;) out.erase(at, 1);
  std::vector<std::string> lines;
  std::istringstream in(out);
  for (std::string line; std::getline(in, line);) lines.push_back(line + "|");
  return lines;
}
// The lines of every stream, with their index, track ID and the stream
// fields `entries`.
inline std::vector<std::string> Streams(const std::string& path, const std::string& entries) {
  return Probe("-show_entries stream=index,id," + entries, path);
}
// Among `streams`, the line of the one whose track ID is `track_id`; "" if none.
inline std::string StreamOf(const std::vector<std::string>& streams, uint32_t track_id) {
  for (const std::string& line : streams) {
    const std::string id = Field(line, "id");
    if (!id.empty() && std::stoul(id, nullptr, 0) == track_id) return line;
  }
  return "";
}
inline std::string Stream(const std::string& path, uint32_t track_id, const std::string& entries) {
  return StreamOf(Streams(path, entries), track_id);
}

#endif  // ORNIVEX_TESTS_FFPROBE_H
