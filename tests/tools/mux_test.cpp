// ornivex mux: raw MPEG-4 Visual and ADTS AAC streams into an MP4 file.
#include "support/tool_run.h"

namespace {

using box::Bytes;

// One ADTS frame of AAC LC around `payload`; `crc` puts two bytes after the
// header, `blocks` raw data blocks are declared.
Bytes Adts(const Bytes& payload, uint32_t rate_index = 4, uint32_t channels = 2, bool crc = false,
           uint32_t blocks = 1, int length = -1) {
  const uint32_t n = length >= 0 ? uint32_t(length) : uint32_t(payload.size() + (crc ? 9 : 7));
  Bytes h = {0xFF,
             uint8_t(crc ? 0xF0 : 0xF1),
             uint8_t(1 << 6 | rate_index << 2 | channels >> 2),
             uint8_t((channels & 3) << 6 | n >> 11),
             uint8_t(n >> 3),
             uint8_t((n & 7) << 5 | 0x1F),
             uint8_t(0xFC | (blocks - 1))};
  if (crc) h.insert(h.end(), {0xAB, 0xCD});
  return box::Cat({h, payload});
}

// A VOP of `size` bytes: intra coded (a key frame) or predicted.
Bytes Vop(bool intra, size_t size) {
  Bytes v = {0, 0, 1, 0xB6, uint8_t(intra ? 0x10 : 0x50)};
  for (size_t i = v.size(); i < size; ++i) v.push_back(uint8_t(0x40 + i % 64));
  return v;
}

// The frames a stream splits into: ADTS payloads, or VOPs with what lies
// between the `headers` bytes and the first VOP in front of the first.
std::vector<Bytes> AdtsPayloads(const Bytes& s) {
  std::vector<Bytes> frames;
  for (size_t at = 0; at + 7 <= s.size();) {
    const size_t length = (s[at + 3] & 3u) << 11 | s[at + 4] << 3 | s[at + 5] >> 5;
    const size_t header = (s[at + 1] & 1) ? 7 : 9;
    frames.emplace_back(s.begin() + at + header, s.begin() + at + length);
    at += length;
  }
  return frames;
}
std::vector<Bytes> Vops(const Bytes& s, size_t headers) {
  std::vector<size_t> starts;
  for (size_t i = 0; i + 3 < s.size(); ++i)
    if (s[i] == 0 && s[i + 1] == 0 && s[i + 2] == 1 && s[i + 3] == 0xB6) starts.push_back(i);
  starts.push_back(s.size());
  starts[0] = headers;
  std::vector<Bytes> frames;
  for (size_t i = 0; i + 1 < starts.size(); ++i)
    frames.emplace_back(s.begin() + starts[i], s.begin() + starts[i + 1]);
  return frames;
}

// Whether the first VOP in `frame` is intra coded.
bool IntraVop(const Bytes& frame) {
  const Bytes code = {0, 0, 1, 0xB6};
  const auto at = std::search(frame.begin(), frame.end(), code.begin(), code.end());
  return frame.end() - at > 4 && at[4] >> 6 == 0;
}

// Every sample of the file's first track of `medium`, with its time.
std::vector<std::pair<Bytes, uint32_t>> Samples(const OpenedFile& f, bool video) {
  const uint32_t id = video ? f.file->video_track_id : f.file->audio_track_id;
  std::vector<std::pair<Bytes, uint32_t>> samples;
  for (uint32_t i = 0; id != 0 && i < f.track(id)->sample_count; ++i) {
    unsigned char* data = nullptr;
    uint32_t size = 0, time = 0;
    EXPECT_EQ(MP4GetNextSample(f.file, id, &data, &size, &time), 1) << i;
    samples.emplace_back(Bytes(data, data + size), time);
    MP4freeData(&data);
  }
  return samples;
}

// Reads the file back as our reader sees it: the samples are the frames of
// the streams, at the times the clock gives; and, for real media, as
// ffprobe and ffmpeg see it.
void CheckMovie(const std::string& path, const std::vector<Bytes>& vops, uint32_t timescale,
                uint32_t ticks, const std::vector<Bytes>& aac, bool media = false) {
  const OpenedFile f(path);
  const auto video = Samples(f, true), audio = Samples(f, false);
  ASSERT_EQ(Values({uint32_t(video.size()), uint32_t(audio.size())}),
            Values({uint32_t(vops.size()), uint32_t(aac.size())}));
  if (!vops.empty()) {
    EXPECT_EQ(f.file->video_info[3], timescale);
  }
  std::vector<uint32_t> keys, expected_keys;
  for (uint32_t k = 0; !vops.empty() && k < f.track(f.file->video_track_id)->key_count; ++k)
    keys.push_back(f.track(f.file->video_track_id)->key_table[k].sample_index);
  for (size_t i = 0; i < vops.size(); ++i) {
    EXPECT_EQ(video[i], std::make_pair(vops[i], uint32_t(i * ticks))) << "video " << i;
    if (IntraVop(vops[i])) expected_keys.push_back(uint32_t(i));
  }
  EXPECT_EQ(keys, expected_keys);
  for (size_t i = 0; i < aac.size(); ++i)
    EXPECT_EQ(audio[i], std::make_pair(aac[i], uint32_t(i * 1024))) << "audio " << i;
  if (!media) return;
  std::string said;
  EXPECT_EQ(RunCommand("ffprobe -v warning '" + path + "'", &said), 0);
  EXPECT_EQ(said, "");
  EXPECT_EQ(RunCommand("ffmpeg -nostdin -v error -i '" + path + "' -f null -", &said), 0);
  EXPECT_EQ(said, "");
}

// What is left in a case's own directory.
std::vector<std::string> Listing(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(dir))
    names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

const Bytes kPayload = Bytes(20, 0x21);  // 27-byte ADTS frames

}  // namespace

TEST(Mux, FfmpegStreamsReadBackFrameForFrame) {
  if (!HaveFfmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
  const std::string src = "-f lavfi -i testsrc=size=", sine = "-f lavfi -i sine=sample_rate=";
  struct Case {
    std::string video, fps, audio, lines;
    uint32_t timescale, ticks;
  };
  const std::vector<Case> cases = {
      {FfmpegMedia("qcif25.m4v", src + "176x144:rate=25 -t 3 -c:v mpeg4 -g 12 -f m4v"), "25",
       FfmpegMedia("mono44.aac", sine + "44100 -t 3 -c:a aac -f adts"),
       "video: 75 frames (176x144, 25 fps) written to OUT\n"
       "audio: 131 frames (44100 Hz, 1 channel) written to OUT\n",
       1000, 40},
      {FfmpegMedia("ntsc.m4v", src + "320x240:rate=30000/1001 -t 2 -c:v mpeg4 -f m4v"),
       "30000/1001", "", "video: 60 frames (320x240, 29.97 fps) written to OUT\n", 30000, 1001},
      {"", "", FfmpegMedia("stereo48.aac", sine + "48000 -t 2 -c:a aac -ac 2 -f adts"),
       "audio: 95 frames (48000 Hz, 2 channels) written to OUT\n", 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.video + " " + c.audio);
    const std::string out = ScratchPath("out.mp4");
    std::string args = "mux -o '" + out + "'";
    if (!c.video.empty()) args += " --video '" + c.video + "' --fps " + c.fps;
    if (!c.audio.empty()) args += " --audio '" + c.audio + "'";
    const ToolRun run = Tool(args);
    std::string lines = c.lines;
    for (size_t at; (at = lines.find("OUT")) != std::string::npos;) lines.replace(at, 3, out);
    ASSERT_EQ(std::make_tuple(run.status, run.out, run.err), std::make_tuple(0, lines, ""));
    uint32_t width = 0, height = 0;
    std::vector<Bytes> vops, aac;
    if (!c.video.empty())
      vops = Vops(ReadWholeFile(c.video), GetM4vHeaderSize(c.video.c_str(), &width, &height));
    if (!c.audio.empty()) aac = AdtsPayloads(ReadWholeFile(c.audio));
    CheckMovie(out, vops, c.timescale, c.ticks, aac, true);
  }
}

// The streams that extract writes come back as they were: the decoder
// configuration and every frame of the video, every ADTS frame.
TEST(Mux, ExtractMuxExtractGivesTheSameBytes) {
  std::vector<std::string> files = FfmpegFiles();
  // a synthetic stream of its own: a group of VOPs header before the first
  // VOP, a CRC in each ADTS frame
  const Bytes vol = box::Cat(
      {kQcifVol, {0, 0, 1, 0xB3, 0, 0x10, 0x07}, Vop(1, 300), Vop(0, 40), Vop(0, 50), Vop(1, 280)});
  const Bytes aac = box::Cat({Adts(kPayload, 4, 2, true), Adts(Bytes(30, 7), 4, 2, true)});
  const std::string made = ScratchPath("made.mp4");
  ASSERT_EQ(Tool("mux --video " + WriteScratchFile("s.m4v", vol) + " --audio " +
                 WriteScratchFile("s.aac", aac) + " -o " + made)
                .status,
            0);
  files.push_back(made);
  for (const std::string& file : files) {
    SCOPED_TRACE(file);
    const std::string v1 = ScratchPath("1.m4v"), a1 = ScratchPath("1.aac"),
                      v2 = ScratchPath("2.m4v"), a2 = ScratchPath("2.aac"),
                      out = ScratchPath("again.mp4");
    const bool video = Tool("extract '" + file + "' --video " + v1).status == 0;
    const bool audio = Tool("extract '" + file + "' --audio " + a1).status == 0;
    ASSERT_TRUE(video || audio);
    const ToolRun mux =
        Tool("mux -o " + out + (video ? " --video " + v1 : "") + (audio ? " --audio " + a1 : ""));
    ASSERT_EQ(std::make_pair(mux.status, mux.err), std::make_pair(0, std::string()));
    ASSERT_EQ(
        Tool("extract " + out + (video ? " --video " + v2 : "") + (audio ? " --audio " + a2 : ""))
            .status,
        0);
    EXPECT_TRUE(!video || ReadWholeFile(v1) == ReadWholeFile(v2));
    EXPECT_TRUE(!audio || ReadWholeFile(a1) == ReadWholeFile(a2));
  }
  // the CRC is dropped: the payloads are the samples, and the file is the
  // one the stream without CRC gives
  const std::string plain = ScratchPath("plain.mp4");
  const Bytes no_crc = box::Cat({Adts(kPayload), Adts(Bytes(30, 7))});
  ASSERT_EQ(Tool("mux --video " + WriteScratchFile("s.m4v", vol) + " --audio " +
                 WriteScratchFile("plain.aac", no_crc) + " -o " + plain)
                .status,
            0);
  EXPECT_TRUE(ReadWholeFile(plain) == ReadWholeFile(made));
  CheckMovie(made, Vops(vol, kQcifVol.size()), 1000, 40, {kPayload, Bytes(30, 7)});
}

TEST(Mux, FrameRateGivesATimescaleOfExactFrameTimes) {
  const std::string video =
      WriteScratchFile("v.m4v", box::Cat({kQcifVol, Vop(1, 30), Vop(0, 20), Vop(0, 20)}));
  // --fps, what the line says, timescale, ticks per frame
  const std::vector<std::tuple<std::string, std::string, uint32_t, uint32_t>> cases = {
      {"", "25", 1000, 40},
      {"24", "24", 3000, 125},
      {"30000/1001", "29.97", 30000, 1001},
      {"29.97", "29.97", 2997, 100},
      {"23.976", "23.976", 2997, 125},
      {"0.5", "0.5", 1000, 2000},
      {"1000", "1000", 1000, 1},
      {"3/1", "3", 3000, 1000},
  };
  for (const auto& [fps, shown, timescale, ticks] : cases) {
    const std::string out = ScratchPath("fps.mp4");
    const ToolRun run =
        Tool("mux --video " + video + " -o " + out + (fps.empty() ? "" : " --fps " + fps));
    EXPECT_EQ(run.out, "video: 3 frames (176x144, " + shown + " fps) written to " + out + "\n");
    CheckMovie(out, {Vop(1, 30), Vop(0, 20), Vop(0, 20)}, timescale, ticks, {});
  }
}

TEST(Mux, FailuresAreOneLineAndLeaveNothingBehind) {
  const std::string dir = ScratchPath("out");
  std::filesystem::create_directories(dir);
  const std::string out = dir + "/out.mp4";
  const std::string vol = WriteScratchFile("ok.m4v", box::Cat({kQcifVol, Vop(1, 30), Vop(0, 20)}));
  const std::string aac = WriteScratchFile("ok.aac", box::Cat({Adts(kPayload), Adts(kPayload)}));
  const std::string junk = WriteScratchFile("junk", box::Str("no stream in here"));
  const std::string long_header = WriteScratchFile(
      "long.m4v",
      box::Cat({{0, 0, 1, 0xB0, 1, 0, 0, 1, 0xB2}, Bytes(40, 'x'), kQcifVol, Vop(1, 30)}));
  const std::string no_vop = WriteScratchFile("novop.m4v", kQcifVol);
  const std::string mp3 = WriteScratchFile("mp3", {0xFF, 0xFB, 0x90, 0x64, 0, 0, 0, 0});
  const std::string rate13 = WriteScratchFile("r13.aac", Adts(kPayload, 13));
  const std::string chan0 = WriteScratchFile("c0.aac", Adts(kPayload, 4, 0));
  const auto second = [&](const Bytes& frame) {
    return WriteScratchFile("second.aac", box::Cat({Adts(kPayload), frame}));
  };
  const Bytes cut_frame = Adts(kPayload);
  const std::string long_out = dir + "/" + std::string(240 - dir.size(), 'o');
  const std::string usage = " (try 'ornivex mux --help')";

  // arguments, exit status, standard error after "ornivex: "
  std::vector<std::tuple<std::string, int, std::string>> cases = {
      {"-o " + out, 2, "mux: nothing to mux: give --video IN, --audio IN or both" + usage},
      {"--audio " + aac, 2, "mux: missing -o OUT" + usage},
      {"--audio " + aac + " --fps 25 -o " + out, 2,
       "mux: --fps is the video's frame rate: give --video IN too" + usage},
      {"--audio " + aac + " -o " + aac, 1, aac + ": cannot write: it is a file being read"},
      {"--audio " + aac + " -o " + dir, 1, dir + ": cannot write: Is a directory"},
      {"--audio " + aac + " -o /nonexistent/o.mp4", 1,
       "/nonexistent/o.mp4: cannot write: No such file or directory"},
      {"--audio " + aac + " -o " + long_out, 1,
       long_out + ": path longer than 234 characters, which leaves no room for the names of the "
                  "files written beside it"},
      {"--video /nonexistent/v.m4v -o " + out, 1, "/nonexistent/v.m4v: No such file or directory"},
      {"--video " + junk + " -o " + out, 1,
       junk + ": not a raw MPEG-4 Visual stream whose configuration header the library reads "
              "(visual object sequence, video object, video object layer)"},
      {"--video " + long_header + " -o " + out, 1,
       long_header + ": its configuration header is 67 bytes long; a track keeps at most 52"},
      {"--video " + no_vop + " -o " + out, 1,
       no_vop + ": no VOP start code (00 00 01 B6) after its configuration header"},
      {"--audio " + junk + " -o " + out, 1,
       junk + ": not an ADTS AAC stream: no ADTS header at its start"},
      {"--audio " + mp3 + " -o " + out, 1,
       mp3 + ": not an ADTS AAC stream: no ADTS header at its start"},
      {"--audio " + rate13 + " -o " + out, 1,
       rate13 + ": bad ADTS header: sampling frequency index 13 has no rate"},
      {"--audio " + chan0 + " -o " + out, 1,
       chan0 + ": channel configuration 0 (a layout given inside the stream), which a track's "
               "configuration does not describe"},
  };
  const std::vector<std::pair<Bytes, std::string>> bad_second = {
      {Adts(kPayload, 4, 2, false, 1, 5), "frame_length 5 is shorter than its 7-byte header"},
      {Adts(kPayload, 4, 2, true, 1, 8), "frame_length 8 is shorter than its 9-byte header"},
      {Bytes(cut_frame.begin(), cut_frame.end() - 17),
       "frame_length 27 runs past the end of the file (10 bytes left)"},
      {{0xFF, 0xF1, 0x50}, "the header is cut off by the end of the file"},
      {box::Str("ID3 tag, not a frame"), "no ADTS sync word"},
      {Adts(kPayload, 4, 2, false, 2), "2 raw data blocks in one frame; a sample holds one"},
      {Adts(kPayload, 3),
       "its header does not match the first frame's (MPEG version, profile, sampling rate or "
       "channels)"},
  };
  for (const auto& [frame, reason] : bad_second) {
    const std::string path = second(frame);
    // the video is written first; it goes with the rest
    cases.push_back({"--video " + vol + " --audio " + path + " -o " + out, 1,
                     path + ": frame 1 at offset 27: " + reason});
  }
  for (const std::string fps : {"0", "1001", "25/0", "2.5.1", "-5", "1e3", "0.0000001", ""})
    cases.push_back({"--video " + vol + " --fps '" + fps + "' -o " + out, 2,
                     "mux: option '--fps' takes a frame rate above 0 and at most 1000, such as "
                     "25, 29.97 or 30000/1001, not '" +
                         fps + "'" + usage});
  for (const auto& [args, status, err] : cases) {
    std::ofstream(out) << "kept";  // an earlier OUT stays as it was
    const ToolRun run = Tool("mux " + args);
    EXPECT_EQ(std::make_tuple(run.status, run.err, run.out),
              std::make_tuple(status, "ornivex: " + err + "\n", ""))
        << args;
    EXPECT_EQ(Listing(dir), std::vector<std::string>{"out.mp4"}) << args;
    EXPECT_TRUE(ReadWholeFile(out) == box::Str("kept")) << args;
  }
}

// A write that fails (a file size limit) is one line, without the library's
// messages unless -v asks for them; nothing is left.
TEST(Mux, WriterFailureLeavesNothing) {
  const std::string dir = ScratchPath("limit");
  std::filesystem::create_directories(dir);
  Bytes big = kQcifVol;
  for (int i = 0; i < 40; ++i) big = box::Cat({big, Vop(i % 10 == 0, 3000)});
  const std::string video = WriteScratchFile("big.m4v", big);
  // 8 blocks of 512 bytes
  const std::string limit = "trap '' XFSZ; ulimit -f 8;";
  const ToolRun quiet = Tool("mux --video " + video + " -o " + dir + "/o.mp4", limit);
  const ToolRun verbose = Tool("mux -v --video " + video + " -o " + dir + "/o.mp4", limit);
  EXPECT_EQ(quiet.status, 1);
  EXPECT_EQ(quiet.err.rfind("ornivex: " + dir + "/o.mp4: cannot write: ", 0), 0u) << quiet.err;
  EXPECT_EQ(Count(quiet.err, "\n"), 1u) << quiet.err;
  EXPECT_EQ(verbose.status, 1);
  EXPECT_GT(Count(verbose.err, "\n"), 1u) << verbose.err;
  EXPECT_EQ(Listing(dir), std::vector<std::string>{});
}

// On a terminal, a stream of more than a few seconds shows a line that
// counts up and is erased at the end; nothing elsewhere.
TEST(Mux, ProgressOnATerminalForLongInputs) {
  // script(1) gives the tool a terminal; it needs a standard input of its own
  if (RunCommand("script -qec true /dev/null </dev/null", nullptr) != 0)
    GTEST_SKIP() << "no script(1)";
  Bytes aac;
  for (int i = 0; i < 500; ++i) aac = box::Cat({aac, Adts(kPayload, 11)});  // 64 s at 8000 Hz
  const std::string long_aac = WriteScratchFile("long.aac", aac);
  const std::string short_aac =
      WriteScratchFile("short.aac", Bytes(aac.begin(), aac.begin() + 27 * 30));
  const auto on_terminal = [](const std::string& input) {
    std::string screen;
    EXPECT_EQ(RunCommand("script -qec \"'" ORNIVEX_TOOL_PATH "' mux --audio " + input + " -o " +
                             ScratchPath("p.mp4") + " >/dev/null\" /dev/null </dev/null",
                         &screen),
              0);
    return screen;
  };
  // shown from 5.1 s (frame 40, 8% of the bytes) on
  const std::string screen = on_terminal(long_aac);
  EXPECT_EQ(screen.rfind("\rornivex: mux: 8% (audio 5.1 s)\rornivex: mux: 9% (audio 5.8 s)", 0), 0u)
      << screen;
  const std::string last = "\rornivex: mux: 100% (audio 64.0 s)";
  EXPECT_EQ(Count(screen, "\rornivex: mux: "), 93u);
  const std::string erased = last + "\r" + std::string(last.size() - 1, ' ') + "\r";
  EXPECT_EQ(screen.substr(screen.size() - std::min(screen.size(), erased.size())), erased);
  EXPECT_EQ(on_terminal(short_aac), "");
  EXPECT_EQ(Tool("mux --audio " + long_aac + " -o " + ScratchPath("p.mp4")).err, "");
}
