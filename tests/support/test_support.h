// What every test uses: files, captured output, shared media, opened
// files and ffprobe's view of them, and the builders of MP4 files.
#ifndef ORNIVEX_TESTS_TEST_SUPPORT_H
#define ORNIVEX_TESTS_TEST_SUPPORT_H

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "atom/records.h"
#include "ornivex.h"
#include "support/box_builder.h"
#include "track/track_records.h"

// A fresh path in the test's scratch directory; `name` keeps it readable.
std::string ScratchPath(const std::string& name);
std::string WriteScratchFile(const std::string& name, const box::Bytes& bytes);
box::Bytes ReadWholeFile(const std::string& path);

// Related values compared at once, so that a failure shows them all.
using Values = std::vector<uint32_t>;

// What `f` printed on standard output.
std::string CaptureStdout(const std::function<void()>& f);

// How often `what` occurs in `text`.
size_t Count(const std::string& text, const std::string& what);

// Runs a shell command; returns its exit status and what it printed.
int RunCommand(const std::string& command, std::string* output);

// A command line running the ornivex tool with `args`. Sanitizer findings
// in the tool exit with 86, apart from its own 0, 1 and 2.
std::string ToolCommandLine(const std::string& args);

// The shared corpus of files written by others: real/ and malformed/,
// sorted; empty when the corpus is absent.
std::vector<std::string> CorpusFiles();

bool HaveFfmpeg();
// A file that ffmpeg writes once per test run from its test sources, with
// the arguments given; "" when ffmpeg is missing or fails.
std::string FfmpegMedia(const std::string& name, const std::string& arguments);

// A 176 x 144 MPEG-4 Visual configuration: the video object start code and
// the 18 bytes of a video object layer header, as the library writes it.
inline const box::Bytes kQcifVol = {0,    0,    1,    0,    0,    0,    1,    0x20, 0x01,
                                    0x88, 0x40, 0x07, 0xA8, 0x2C, 0x20, 0x90, 0xA3, 0x1F};

// MP4FileOpen on construction (what it printed in `output`), MP4FileClose
// and the release of the record that the close leaves on destruction.
struct OpenedFile {
  explicit OpenedFile(const std::string& path);
  explicit OpenedFile(const box::Bytes& bytes);  // written to a scratch file first
  ~OpenedFile();
  MP4_input_file* file = nullptr;
  int result = 0;
  std::string output;
  const ReadTrackNode* track(uint32_t id) const { return file->tracks[id]; }
};

// Lines of "key=value" fields: the value of `key` in `line`, or "".
std::string ProbeField(const std::string& line, const std::string& key);

// ffprobe's line, ending in '|', on the stream whose track ID is
// `track_id`, with its index and the stream fields `entries`; "" if none.
std::string ProbeStream(const std::string& path, uint32_t track_id, const std::string& entries);

struct ProbePacket {
  int64_t dts = 0;
  uint32_t size = 0;
  uint64_t pos = 0;
  bool key = false;
  std::string hash;  // as Crc32Hash gives it
};

// ffprobe's packets of the stream whose track ID is `track_id`, in file order.
std::vector<ProbePacket> ProbePackets(const std::string& path, uint32_t track_id);
// The CRC-32 of a byte run, written as ffprobe writes a packet's data hash.
std::string Crc32Hash(const uint8_t* data, size_t size);

// Files that ffmpeg writes from its test sources (as FfmpegMedia does):
// MPEG-4 Visual and AAC in the layouts a reader meets (B-frames,
// faststart, one medium only).
std::vector<std::string> FfmpegFiles();

#endif  // ORNIVEX_TESTS_TEST_SUPPORT_H
