// The ornivex tool: dump, samples, extract, info and mux.
#include <array>
#include <regex>

#include "support/test_support.h"

namespace {

using box::Adts;
using box::Bytes;
using box::Vop;
using ToolRun = std::tuple<int, std::string, std::string>;  // status, standard output and error

// The tool with `args`, after `prefix` in the same shell. Sanitizer
// findings exit with 86, apart from its own 0, 1 and 2.
ToolRun Tool(const std::string& args, const std::string& prefix = "") {
  const std::string err = ScratchPath("stderr.txt"),
                    env = "ASAN_OPTIONS=exitcode=86 UBSAN_OPTIONS=halt_on_error=1:exitcode=86";
  std::string out;
  const int status = RunCommand(
      "(" + prefix + " " + env + " '" ORNIVEX_TOOL_PATH "' " + args + " 2>'" + err + "')", &out);
  const Bytes bytes = ReadWholeFile(err);
  return {status, out, std::string(bytes.begin(), bytes.end())};
}
std::string Out(const std::string& args) {
  return std::get<1>(Tool(args));
}

// What ffprobe gives of `path` with `options`, as CSV.
std::string Probe(const std::string& options, const std::string& path) {
  std::string out;
  RunCommand("ffprobe -v error -of csv=p=0 " + options + " " + path, &out);
  return out;
}

const Bytes kPayload = Bytes(20, 0x21);  // 27-byte ADTS frames

}  // namespace

TEST(Tool, EveryCommandTakesHelpAndVersion) {
  const std::string version = Out("--version");
  // each command, and "-v" for none
  for (const std::string c : {"dump", "samples", "extract", "info", "mux", "-v"}) {
    const std::string usage = "usage: ornivex " + (c == "-v" ? "[-v] COMMAND" : c);
    const auto [status, out, err] = Tool(c + " --help");
    EXPECT_EQ(std::make_tuple(status, out.substr(0, usage.size()), err, Out(c + " -h") == out,
                              Tool(c + " --version"), version.substr(0, 8)),
              std::make_tuple(0, usage, "", true, ToolRun{0, version, ""}, "ornivex "));
  }
}

// Each failure is one line on standard error; mux leaves an earlier OUT as
// it was, and nothing beside it.
TEST(Tool, FailuresAreOneLineThatSaysWhatIsWrong) {
  using namespace box;
  const auto file = [](const Bytes& bytes) { return WriteScratchFile("in", bytes); };
  const std::string dir = ScratchPath("dir"), out = dir + "/out.mp4", to = " -o " + out;
  std::filesystem::create_directories(dir);
  const std::string junk = file(Str("no atoms in here")), huge = file(Str("x"));
  std::filesystem::resize_file(huge, uint64_t{1} << 31);  // sparse
  const Bytes tables = Cat({Stts({{1, 100}}), Stsc({{1, 1, 1}}), Stsz(0, 1, {8})});
  const std::string co64 =
      file(Movie({SimpleTrak("vide", {tables, Atom("co64", {Full(0, 0), U32(1), Be(8, {24})})})}));
  const std::string amr = file(Movie({Trak(
      Tkhd(1), Mdhd(8000, 160), "soun", Stsd(Atom("samr", {Zeros(28)})), {tables, Stco({24})})}));
  // ftyp is 24 bytes; the mdat after it has a 64-bit size, the moov follows
  const std::string large =
      file(Cat({Ftyp(), U32(1), Str("mdat"), Be(8, {24}), Zeros(8),
                Atom("moov", {Mvhd(1000, 0), SimpleTrak("vide", {tables, Stco({40})})})}));
  // the second sample lies past the end of the file
  const std::string cut = file(Movie({SimpleTrak(
      "soun", {Stts({{2, 1024}}), Stsc({{1, 1, 1}}), Stsz(0, 2, {8, 8}), Stco({32, 1000000})})}));
  const std::string m4v = ScratchPath("out.m4v"), aac = ScratchPath("out.aac");
  const std::string vol = file(Cat({kQcifVol, Vop(1, 30), Vop(0, 20)}));
  const std::string adts = file(Cat({Adts(kPayload), Adts(kPayload)})), mux = "mux --audio " + adts;
  // 20 kB, past the limit of 8 blocks that every case runs under
  const std::string big_m4v = file(Cat({kQcifVol, Vop(1, 20000)})),
                    limit = "trap '' XFSZ; ulimit -f 8;";
  const std::string unread = "no track the library can read: ",
                    cut1 = "audio sample 1 of 2 could not be read",
                    cut_rows =
                        "medium\ttrack\tindex\ttime\toffset\tsize\tkey\naudio\t1\t0\t0\t32\t8\t-\n";
  // arguments, exit status, standard error after "ornivex: ", standard output
  using Row = std::tuple<std::string, int, std::string, std::string>;
  // a command line that makes no sense to `c` (none: "")
  const auto bad = [](const std::string& args, const std::string& c, const std::string& why) {
    const std::string own = c.empty() ? "" : c + " ", text = c.empty() ? why : c + ": " + why;
    return Row{args, 2, text + " (try 'ornivex " + own + "--help')", ""};
  };
  // `args` on `path`, whose failure line says `reason`
  const auto on = [](const std::string& args, const std::string& path, const std::string& reason,
                     const std::string& tail = "", const std::string& out = "") {
    return Row{args + " " + path + tail, 1, path + ": " + reason, out};
  };
  // mux with the input `option` of `bytes`
  const auto in = [&](const std::string& option, const Bytes& bytes, const std::string& reason) {
    return on("mux " + option, file(bytes), reason, to);
  };
  std::vector<Row> rows = {
      bad("", "", "missing command"),
      bad("-v frobnicate", "", "unknown command 'frobnicate'"),
      bad("info", "info", "missing FILE"),
      bad("samples --csv x", "samples", "unknown option '--csv'"),
      bad("dump a b", "dump", "unexpected argument 'b'"),
      bad("extract x", "extract", "nothing to extract: give --video OUT, --audio OUT or both"),
      bad("extract x --audio", "extract", "option '--audio' needs OUT after it"),
      bad("extract x --video o --audio o", "extract", "--video and --audio name the same file"),
      on("extract", junk, "cannot write: it is the file being read", " --audio " + junk),
      on("info", "/nonexistent/x.mp4", "No such file or directory"),
      on("extract", dir, "Is a directory", " --video " + m4v),
      on("info", file({}), "empty file"),
      on("info", "/dev/null", "not a regular file"),
      on("info", huge, "2 GiB or more, which the library does not read"),
      on("dump", dir + std::string(250, '/') + "out.mp4",
         "path longer than 255 characters, which the library does not take"),
      on("info --json", junk, "not an MP4 file the library can read", "",
         "{\"error\": \"not an MP4 file the library can read\"}\n"),
      on("samples", co64, unread + "video track 1 has 64-bit chunk offsets (co64)"),
      on("info", large, unread + "the box at offset 24 ('mdat') has a 64-bit size"),
      on("info", amr, unread + "audio track 1 has 'samr' samples"),
      on("info", file(AtomSized(0, "mdat", {Zeros(8)})),
         unread + "the box at offset 0 ('mdat') has size 0 (to the end of the file)"),
      on("samples", file(Cat({Ftyp(), Atom("free")})), unread + "no movie box (moov)"),
      on("info", file(Movie({})), unread + "no video or audio track"),
      // the audio is written all the same
      on("extract", file(BuildMovie({VideoPlan(1, 3), AudioPlan(2, 2)})),
         "no video written: video track 1 has no MPEG-4 Visual decoder configuration",
         " --video " + m4v + " --audio " + aac, "audio: 2 samples written to " + aac + "\n"),
      on("extract", file(BuildMovie({VideoPlan(1, 3)})), "no audio written: no audio track",
         " --audio " + aac),
      on("samples", cut, cut1, "", cut_rows),
      on("samples --json", cut, cut1, "",
         "{\"samples\": [\n{\"medium\": \"audio\", \"track\": 1, \"index\": 0, \"time\": 0, "
         "\"offset\": 32, \"size\": 8, \"key\": null}\n], \"error\": \"" +
             cut1 + "\"}\n"),
      on("extract " + cut + " --audio", "/nonexistent/o.aac",
         "cannot write: No such file or directory"),
      on("extract", cut, cut1 + "; " + aac + " holds the 1 before it", " --audio " + aac),
      bad("mux" + to, "mux", "nothing to mux: give --video IN, --audio IN or both"),
      bad(mux, "mux", "missing -o OUT"),
      bad(mux + " --fps 25" + to, "mux", "--fps is the video's frame rate: give --video IN too"),
      on(mux + " -o", adts, "cannot write: it is a file being read"),
      on(mux + " -o", dir, "cannot write: Is a directory"),
      on(mux + " -o", "/nonexistent/o.mp4", "cannot write: No such file or directory"),
      on(mux + " -o", dir + "/" + std::string(240 - dir.size(), 'o'),
         "path longer than 234 characters, which leaves no room for the names of the files "
         "written beside it"),
      on("mux --video", "/nonexistent/v.m4v", "No such file or directory", to),
      on("mux --video", junk,
         "not a raw MPEG-4 Visual stream whose configuration header the library reads (visual "
         "object sequence, video object, video object layer)",
         to),
      in("--video", Cat({{0, 0, 1, 0xB0, 1, 0, 0, 1, 0xB2}, Bytes(40, 'x'), kQcifVol, Vop(1, 30)}),
         "its configuration header is 67 bytes long; a track keeps at most 52"),
      in("--video", kQcifVol, "no VOP start code (00 00 01 B6) after its configuration header"),
      in("--audio", Str("no stream"), "not an ADTS AAC stream: no ADTS header at its start"),
      in("--audio", {0xFF, 0xFB, 0x90, 0x64, 0, 0},
         "not an ADTS AAC stream: no ADTS header at its start"),
      in("--audio", Adts(kPayload, 13), "bad ADTS header: sampling frequency index 13 has no rate"),
      in("--audio", Adts(kPayload, 4, 0),
         "channel configuration 0 (a layout given inside the stream), which a track's "
         "configuration does not describe"),
  };
  const Bytes frame = Adts(kPayload);
  for (const auto& [second, reason] : std::vector<std::pair<Bytes, std::string>>{
           {Adts(kPayload, 4, 2, false, 1, 5), "frame_length 5 is shorter than its 7-byte header"},
           {Adts(kPayload, 4, 2, true, 1, 8), "frame_length 8 is shorter than its 9-byte header"},
           {Bytes(frame.begin(), frame.end() - 17),
            "frame_length 27 runs past the end of the file (10 bytes left)"},
           {{0xFF, 0xF1, 0x50}, "the header is cut off by the end of the file"},
           {Str("ID3 tag, not a frame"), "no ADTS sync word"},
           {Adts(kPayload, 4, 2, false, 2), "2 raw data blocks in one frame; a sample holds one"},
           {Adts(kPayload, 3),
            "its header does not match the first frame's (MPEG version, "
            "profile, sampling rate or channels)"}})
    // the video is written first; it goes with the rest
    rows.push_back(
        in("--video " + vol + " --audio", Cat({frame, second}), "frame 1 at offset 27: " + reason));
  for (const std::string fps : {"0", "1001", "25/0", "2.5.1", "-5", "1e3", "0.0000001", ""})
    rows.push_back(bad("mux --video " + vol + " --fps '" + fps + "'" + to, "mux",
                       "option '--fps' takes a frame rate above 0 and at most 1000, such as 25, "
                       "29.97 or 30000/1001, not '" +
                           fps + "'"));
  // a write that fails: one line, more with -v
  rows.push_back(on("mux --video " + big_m4v + " -o", out, "cannot write: MP4FileFlush failed"));
  for (const auto& [args, status, err, stdout_text] : rows) {
    std::ofstream(out) << "kept";
    EXPECT_EQ(Tool(args, limit), std::make_tuple(status, stdout_text, "ornivex: " + err + "\n"));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 1) << args;
    EXPECT_TRUE(ReadWholeFile(out) == Str("kept")) << args;
  }
  EXPECT_FALSE(std::filesystem::exists(m4v));
  std::string both;  // with 2>&1 the lines come in the order they were made
  RunTool("samples " + cut, &both);
  EXPECT_EQ(both, cut_rows + "ornivex: " + cut + ": " + cut1 + "\n");
  EXPECT_GT(Count(std::get<2>(Tool("mux -v --video " + big_m4v + to, limit)), "\n"), 1u);
}

// Every read command on every file: standard output is the same with -v,
// which moves the library's messages to standard error; a failure is one
// line; --json gives one JSON document, also on failure, and that of samples
// holds the rows of its text.
TEST(Tool, StandardOutputHoldsOnlyTheToolsOwnText) {
  std::vector<std::string> files = CorpusFiles();
  for (const std::string& path : FfmpegFiles()) files.push_back(path);
  if (files.empty()) GTEST_SKIP() << "neither ffmpeg nor the shared corpus";
  std::string json, rows, want;
  for (const std::string& path : files)
    for (const std::string command : {"dump", "samples", "samples --json", "info", "info --json"}) {
      const auto [status, out, err] = Tool(command + " " + path);
      const auto [v_status, v_out, v_err] = Tool(command + " -v " + path);
      const std::string line = status == 0 ? "" : "ornivex: " + path + ": ";
      EXPECT_EQ(
          std::make_tuple(v_status, v_out, v_err.rfind("file is [" + path + "]\n", 0), status,
                          err.substr(0, line.size()), Count(err, "\n")),
          std::make_tuple(status, out, size_t{0}, status == 0 ? 0 : 1, line, size_t{status != 0}))
          << command << " " << path;
      if (command == "samples") want += out.substr(std::min(out.size(), out.find('\n') + 1));
      if (command.back() == 'n') json += " " + WriteScratchFile("j", box::Str(out)), want += "-\n";
    }
  RunCommand(
      "python3 -c 'import json, sys\nfor p in sys.argv[1:]:\n for r in "
      "json.load(open(p)).get(\"samples\", []): print(*[{True: 1, False: 0, None: \"-\"}.get(v, v) "
      "for v in r.values()], sep=\"\\t\")\n print(\"-\")'" +
          json,
      &rows);
  EXPECT_EQ(rows, want);
}

TEST(Tool, DumpFfmpegFileDownToTheSampleTables) {
  if (!HaveFfmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
  const std::string out = Out("dump " + FfmpegFiles()[1]);  // 320 x 240, 90 frames; 48000 Hz
  // each atom at its depth, two blanks a level, and fields of theirs
  for (const char* line :
       {"ftyp @0 size=", "\n  mvhd @", "\n              esds @", "width=320.00 height=240.00",
        "\n            [0] count=90 delta=", "! level stopped at @"})
    EXPECT_NE(out.find(line), std::string::npos) << line << out;
}

// A row per packet of ffprobe's, which is told to ignore the edit lists:
// the decode time, offset, size, key flag.
TEST(Tool, SamplesAreFfprobesPackets) {
  if (!HaveFfmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
  const std::string path = FfmpegFiles()[0];  // video: track 1, stream 0; audio: track 2
  std::istringstream packets(
      Probe("-ignore_editlist 1 -show_entries packet=stream_index,dts,size,pos,flags", path));
  std::string rows[2];
  unsigned n[2] = {0, 0}, s = 0, dts = 0, size = 0, pos = 0;
  char k = 0, row[128];
  for (std::string line; std::getline(packets, line);) {
    if (std::sscanf(line.c_str(), "%u,%u,%u,%u,%c", &s, &dts, &size, &pos, &k) != 5) continue;
    const char key = s == 1 ? '-' : k == 'K' ? '1' : '0';
    std::snprintf(row, sizeof row, "%s\t%u\t%u\t%u\t%u\t%u\t%c\n", s ? "audio" : "video", s + 1,
                  n[s]++, dts, pos, size, key);
    rows[s] += row;
  }
  EXPECT_EQ(Out("samples " + path),
            "medium\ttrack\tindex\ttime\toffset\tsize\tkey\n" + rows[0] + rows[1]);
}

// A raw stream's header; an MP4 file whose first box starts as a raw stream
// does (256 to 511 bytes) has a summary.
TEST(Tool, InfoTellsRawStreamsFromMp4Files) {
  using box::Cat;
  EXPECT_EQ(Out("info --json " + WriteScratchFile("raw.m4v", Cat({kQcifVol, {0, 0, 1, 0xB6}}))),
            "{\"header\": {\"width\": 176, \"height\": 144, \"header_length\": 18}}\n");
  const Bytes free = box::Atom("free", {box::Zeros(292)});
  EXPECT_EQ(Out("info " + WriteScratchFile("f.mp4", Cat({free, BuildMovie({AudioPlan(1, 2)})})))
                .rfind("# summary: ", 0),
            0u);
}

// What ffprobe sees of the file: each stream's timescale and duration, the
// input's key frames; extract gives the streams back; info's own figures.
TEST(Mux, FfmpegStreamsAtEveryFrameRate) {
  if (!HaveFfmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
  const std::string src = "-f lavfi -i testsrc=size=", sine = "-f lavfi -i sine=sample_rate=";
  const std::string qcif =
      FfmpegMedia("qcif25.m4v", src + "176x144:rate=25 -t 3 -c:v mpeg4 -g 12 -f m4v");
  const std::string ntsc =
      FfmpegMedia("ntsc.m4v", src + "320x240:rate=30000/1001 -t 2 -c:v mpeg4 -f m4v");
  const std::string mono = FfmpegMedia("mono44.aac", sine + "44100 -t 3 -c:a aac -f adts");
  const std::string stereo =
      FfmpegMedia("stereo48.aac", sine + "48000 -t 2 -c:a aac -ac 2 -f adts");
  // --video, --fps, --audio, the lines before " written to OUT", the streams as ffprobe sees them
  const std::vector<std::array<std::string, 5>> cases = {
      {qcif, "", mono,
       "video: 75 frames (176x144, 25 fps)\naudio: 131 frames (44100 Hz, 1 channel)\n",
       "video,1/1000,3000\naudio,1/44100,134144\n"},
      {ntsc, "30000/1001", "", "video: 60 frames (320x240, 29.97 fps)\n", "video,1/30000,60060\n"},
      {"", "", stereo, "audio: 95 frames (48000 Hz, 2 channels)\n", "audio,1/48000,97280\n"},
      {qcif, "23.976", "", "video: 75 frames (176x144, 23.976 fps)\n", "video,1/2997,9375\n"},
      {qcif, "0.5", "", "video: 75 frames (176x144, 0.5 fps)\n", "video,1/1000,150000\n"}};
  for (const auto& [video, fps, audio, lines, streams] : cases) {
    SCOPED_TRACE(video + " " + fps + " " + audio);
    const std::string out = ScratchPath("out.mp4"), v = ScratchPath("v"), a = ScratchPath("a");
    EXPECT_EQ(
        Tool("mux -o " + out + (video.empty() ? "" : " --video " + video) +
             (fps.empty() ? "" : " --fps " + fps) + (audio.empty() ? "" : " --audio " + audio)),
        std::make_tuple(0, std::regex_replace(lines, std::regex("\n"), " written to " + out + "\n"),
                        ""));
    EXPECT_EQ(Probe("-show_entries stream=codec_type,time_base,duration_ts", out), streams);
    if (fps == "30000/1001") {  // info's own figures: 60 frames at 30000/1001 a second
      EXPECT_NE(Out("info " + out).find("2.002\nvideo_frame_rate             29.97\n"),
                std::string::npos);
    }
    // the key frames are the input's; extract gives the streams back, the
    // video from its video object on
    EXPECT_EQ(Probe("-select_streams v -show_entries packet=flags", out),
              video.empty() ? "" : Probe("-show_entries packet=flags", video));
    Tool("extract " + out + " --video " + v + " --audio " + a);
    const Bytes in = ReadWholeFile(video), vo = {0, 0, 1, 0};
    EXPECT_TRUE(Bytes(std::search(in.begin(), in.end(), vo.begin(), vo.end()), in.end()) ==
                ReadWholeFile(v));
    EXPECT_TRUE(ReadWholeFile(a) == ReadWholeFile(audio));
  }
}

// On a terminal, a stream of more than a few seconds shows a line that
// counts up and is erased at the end; nothing elsewhere.
TEST(Mux, ProgressOnATerminalForLongInputs) {
  // script(1) gives the tool a terminal; it needs a standard input of its own
  if (RunCommand("script -qec true /dev/null </dev/null", nullptr) != 0)
    GTEST_SKIP() << "no script(1)";
  Bytes aac;
  // 64 s at 8000 Hz, in frames with a CRC, which is skipped
  for (int i = 0; i < 500; ++i) aac = box::Cat({aac, Adts(kPayload, 11, 2, true)});
  const std::string args =
      "mux --audio " + WriteScratchFile("long.aac", aac) + " -o " + ScratchPath("p.mp4");
  std::string screen;
  RunCommand("script -qec \"'" ORNIVEX_TOOL_PATH "' " + args + " >/dev/null\" /dev/null </dev/null",
             &screen);
  // from 5.1 s (frame 40, 8% of the bytes) on
  EXPECT_EQ(screen.rfind("\rornivex: mux: 8% (audio 5.1 s)\rornivex: mux: 9% (audio 5.8 s)", 0), 0u)
      << screen;
  const std::string last = "\rornivex: mux: 100% (audio 64.0 s)";
  EXPECT_EQ(screen.substr(std::min(screen.size(), screen.rfind(last))),
            last + "\r" + std::string(last.size() - 1, ' ') + "\r");
  EXPECT_EQ(std::get<2>(Tool(args)), "");
}
