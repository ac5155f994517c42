// The ornivex tool: dump, samples, extract and info.
#include "support/tool_run.h"

namespace {

std::string Quoted(const std::string& path) {
  return "'" + path + "'";
}

}  // namespace

TEST(Tool, EveryCommandTakesHelpAndVersion) {
  const ToolRun version = Tool("--version");
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out.rfind("ornivex ", 0), 0u) << version.out;
  EXPECT_NE(Tool("--help").out.find("\n  mux        make an MP4 file from a raw MPEG-4 Visual "
                                    "and an ADTS AAC stream\n"),
            std::string::npos);
  for (const std::string command : {"", "dump", "samples", "extract", "info", "mux"}) {
    const std::string usage = "usage: ornivex " + (command.empty() ? "[-v] COMMAND" : command);
    for (const std::string flag : {" --help", " -h", " -v --help"}) {
      const ToolRun help = Tool(command + flag);
      EXPECT_EQ(std::make_tuple(help.status, help.out.substr(0, usage.size()), help.err),
                std::make_tuple(0, usage, std::string()))
          << command << flag;
    }
    const ToolRun own = Tool(command + " --version");
    EXPECT_EQ(std::make_tuple(own.status, own.out, own.err),
              std::make_tuple(0, version.out, std::string()))
        << command;
  }
}

TEST(Tool, FailuresAreOneLineThatSaysWhatIsWrong) {
  using namespace box;
  const std::string dir = ScratchPath("dir");
  std::filesystem::create_directories(dir);
  const std::string empty = WriteScratchFile("empty.mp4", {});
  const std::string junk = WriteScratchFile("junk.bin", Str("no atoms in here"));
  const Bytes tables = Cat({Stts({{1, 100}}), Stsc({{1, 1, 1}}), Stsz(0, 1, {8})});
  const std::string co64 = WriteScratchFile(
      "co64.mp4",
      Movie({SimpleTrak("vide", {tables, Atom("co64", {Full(0, 0), U32(1), Be(8, {24})})})}));
  const std::string amr = WriteScratchFile(
      "amr.mp4", Movie({Trak(Tkhd(1), Mdhd(8000, 160), "soun", Stsd(Atom("samr", {Zeros(28)})),
                             {tables, Stco({24})})}));
  // ftyp is 24 bytes; the mdat after it has a 64-bit size, the moov follows
  const std::string large = WriteScratchFile(
      "large.mp4", Cat({Ftyp(), U32(1), Str("mdat"), Be(8, {24}), Zeros(8),
                        Atom("moov", {Mvhd(1000, 0), SimpleTrak("vide", {tables, Stco({40})})})}));
  const std::string size0 =
      WriteScratchFile("size0.mp4", AtomSized(0, "mdat", {Zeros(8)}));  // the only box
  const std::string no_moov = WriteScratchFile("no-moov.mp4", Cat({Ftyp(), Atom("free")}));
  const std::string no_tracks = WriteScratchFile("no-tracks.mp4", Movie({}));
  const std::string no_config = WriteScratchFile("no-config.mp4", BuildMovie({VideoPlan(1, 3)}));
  const std::string huge = WriteScratchFile("huge.mp4", Str("x"));
  std::filesystem::resize_file(huge, uint64_t{1} << 31);  // sparse
  std::string deep = ScratchPath("deep");
  for (int i = 0; i < 3; ++i) deep += "/" + std::string(90, 'd');
  std::filesystem::create_directories(deep);
  const std::string long_path = deep + "/f.mp4";
  std::ofstream(long_path) << "x";
  // the second sample lies past the end of the file
  const std::string cut = WriteScratchFile(
      "cut.mp4", Movie({SimpleTrak("soun", {Stts({{2, 1024}}), Stsc({{1, 1, 1}}),
                                            Stsz(0, 2, {8, 8}), Stco({32, 1000000})})}));
  const std::string out = ScratchPath("out.m4v"), aac = ScratchPath("out.aac");

  // arguments, exit status, standard error (after "ornivex: "), standard output
  std::vector<std::tuple<std::string, int, std::string, std::string>> cases = {
      {"", 2, "missing command (try 'ornivex --help')", ""},
      {"-v frobnicate", 2, "unknown command 'frobnicate' (try 'ornivex --help')", ""},
      {"info", 2, "info: missing FILE (try 'ornivex info --help')", ""},
      {"samples --csv x", 2, "samples: unknown option '--csv' (try 'ornivex samples --help')", ""},
      {"dump a b", 2, "dump: unexpected argument 'b' (try 'ornivex dump --help')", ""},
      {"extract x", 2,
       "extract: nothing to extract: give --video OUT, --audio OUT or both (try 'ornivex extract "
       "--help')",
       ""},
      {"extract x --audio", 2,
       "extract: option '--audio' needs OUT after it (try 'ornivex extract --help')", ""},
      {"extract x --video o --audio o", 2,
       "extract: --video and --audio name the same file (try 'ornivex extract --help')", ""},
      {"extract " + junk + " --audio " + junk, 1,
       junk + ": cannot write: it is the file being read", ""},
      {"info /nonexistent/x.mp4", 1, "/nonexistent/x.mp4: No such file or directory", ""},
      {"samples " + dir, 1, dir + ": Is a directory", ""},
      {"dump " + dir, 1, dir + ": Is a directory", ""},
      {"extract " + dir + " --video " + out, 1, dir + ": Is a directory", ""},
      {"info " + empty, 1, empty + ": empty file", ""},
      {"info /dev/null", 1, "/dev/null: not a regular file", ""},
      {"info " + huge, 1, huge + ": 2 GiB or more, which the library does not read", ""},
      {"dump " + long_path, 1,
       long_path + ": path longer than 255 characters, which the library does not take", ""},
      {"samples " + junk, 1, junk + ": not an MP4 file the library can read", ""},
      {"info --json " + junk, 1, junk + ": not an MP4 file the library can read",
       "{\"error\": \"not an MP4 file the library can read\"}\n"},
      {"samples " + co64, 1,
       co64 + ": no track the library can read: video track 1 has 64-bit chunk offsets (co64)", ""},
      {"extract " + co64 + " --video " + out, 1,
       co64 + ": no track the library can read: video track 1 has 64-bit chunk offsets (co64)", ""},
      {"info " + large, 1,
       large + ": no track the library can read: the box at offset 24 ('mdat') has a 64-bit size",
       ""},
      {"info " + amr, 1, amr + ": no track the library can read: audio track 1 has 'samr' samples",
       ""},
      {"info " + size0, 1,
       size0 + ": no track the library can read: the box at offset 0 ('mdat') has size 0 (to the "
               "end of the file)",
       ""},
      {"samples " + no_moov, 1, no_moov + ": no track the library can read: no movie box (moov)",
       ""},
      {"info " + no_tracks, 1,
       no_tracks + ": no track the library can read: no video or audio track", ""},
      {"extract " + no_config + " --video " + out, 1,
       no_config + ": no video written: video track 1 has no MPEG-4 Visual decoder configuration",
       ""},
      {"extract " + no_config + " --audio " + out, 1,
       no_config + ": no audio written: no audio track", ""},
      {"samples " + cut, 1, cut + ": audio sample 1 of 2 could not be read",
       "medium\ttrack\tindex\ttime\toffset\tsize\tkey\naudio\t1\t0\t0\t32\t8\t-\n"},
      {"samples --json " + cut, 1, cut + ": audio sample 1 of 2 could not be read",
       "{\"samples\": [\n{\"medium\": \"audio\", \"track\": 1, \"index\": 0, \"time\": 0, "
       "\"offset\": 32, \"size\": 8, \"key\": null}\n], \"error\": \"audio sample 1 of 2 could "
       "not be read\"}\n"},
      {"extract " + cut + " --audio /nonexistent/o.aac", 1,
       "/nonexistent/o.aac: cannot write: No such file or directory", ""},
      {"extract " + cut + " --audio " + aac, 1,
       cut + ": audio sample 1 of 2 could not be read; " + aac + " holds the 1 before it", ""},
  };
  if (geteuid() != 0) {  // root reads every file
    const std::string locked = WriteScratchFile("locked.mp4", Str("x"));
    std::filesystem::permissions(locked, std::filesystem::perms::none);
    cases.push_back({"info " + locked, 1, locked + ": Permission denied", ""});
  }
  for (const auto& [args, status, err, stdout_text] : cases) {
    const ToolRun run = Tool(args);
    EXPECT_EQ(std::make_tuple(run.status, run.err, run.out),
              std::make_tuple(status, "ornivex: " + err + "\n", stdout_text))
        << args;
  }
  EXPECT_FALSE(std::filesystem::exists(out));
}

// Every command's standard output holds its own text only: the same with
// and without -v, which moves the library's messages to standard error;
// --json gives one JSON document, also on failure. A failure is one line.
TEST(Tool, StandardOutputHoldsOnlyTheToolsOwnText) {
  std::vector<std::string> files = FfmpegFiles();
  const size_t ffmpeg_count = files.size();
  for (const std::string& path : CorpusFiles()) files.push_back(path);
  if (files.empty()) GTEST_SKIP() << "neither ffmpeg nor the shared corpus";
  std::string json_files;
  for (size_t i = 0; i < files.size(); ++i) {
    const std::string& path = files[i];
    for (const char* command : {"dump", "samples", "samples --json", "info", "info --json"}) {
      SCOPED_TRACE(std::string(command) + " " + path);
      const ToolRun plain = Tool(std::string(command) + " " + Quoted(path));
      const ToolRun verbose = Tool(std::string(command) + " -v " + Quoted(path));
      EXPECT_EQ(std::make_tuple(plain.status, plain.out),
                std::make_tuple(verbose.status, verbose.out));
      EXPECT_EQ(verbose.err.rfind("file is [" + path + "]\n", 0), 0u) << verbose.err;
      if (plain.status == 0) {
        EXPECT_EQ(plain.err, "");
      } else {
        EXPECT_EQ(plain.status, 1);
        EXPECT_EQ(plain.err.rfind("ornivex: " + path + ": ", 0), 0u) << plain.err;
        EXPECT_EQ(Count(plain.err, "\n"), 1u) << plain.err;
      }
      EXPECT_TRUE(i >= ffmpeg_count || plain.status == 0) << plain.err;
      if (std::strstr(command, "--json") != nullptr)
        json_files += " " + Quoted(WriteScratchFile("out.json", box::Str(plain.out)));
    }
  }
  // the python3 -m json.tool test, for all of them at once
  std::string errors;
  EXPECT_EQ(RunCommand("python3 -c 'import json, sys\nfor p in sys.argv[1:]: json.load(open(p))'" +
                           json_files,
                       &errors),
            0)
      << errors;
}

TEST(Tool, DumpFfmpegFileDownToTheSampleTables) {
  if (!HaveFfmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
  const std::string file = FfmpegFiles()[1];  // 320 x 240 video, 90 samples; 48000 Hz audio
  const ToolRun run = Tool("dump " + Quoted(file));
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out.rfind("ftyp @0 size=", 0), 0u);
  // atoms at their depth (two blanks a level), and fields of theirs
  const std::pair<int, const char*> kAtoms[] = {{0, "moov"}, {1, "mvhd"}, {1, "trak"}, {2, "tkhd"},
                                                {6, "mp4v"}, {7, "esds"}, {6, "mp4a"}, {5, "stts"},
                                                {5, "stss"}, {5, "stsc"}, {5, "stsz"}, {5, "stco"}};
  for (const auto& [depth, type] : kAtoms) {
    const std::string line = "\n" + std::string(2 * depth, ' ') + type + " @";
    EXPECT_NE(run.out.find(line), std::string::npos) << line << run.out;
  }
  for (const char* field :
       {"timescale=1000", "track_id=1", "width=320.00 height=240.00", "handler=vide",
        "handler=soun", "timescale=48000", "width=320 height=240", "sample_rate=48000",
        "sample_count=90", "\n            [0] count=90 delta=", "! level stopped at @"})
    EXPECT_NE(run.out.find(field), std::string::npos) << field << run.out;
}

TEST(Tool, SamplesHeaderRowAndColumns) {
  if (!HaveFfmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
  const std::string path = FfmpegFiles()[0];  // video: track 1, stream 0; audio: track 2
  // Each stream's rows as ffprobe's packets give them: the time from the
  // stream's first decode time (no edit list), offset, size, key flag.
  std::string probe, rows[2];
  std::vector<std::string> first_video;  // dts, size, pos, flags
  RunCommand("ffprobe -v error -of csv -show_entries packet=stream_index,dts,size,pos,flags " +
                 Quoted(path),
             &probe);
  std::istringstream lines(probe);
  long long start[2] = {0, 0};
  uint32_t index[2] = {0, 0};
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("packet,", 0) != 0) continue;
    std::vector<std::string> f;  // packet, stream_index, dts, size, pos, flags
    std::istringstream fields(line);
    for (std::string field; std::getline(fields, field, ',');) f.push_back(field);
    const int s = std::stoi(f[1]);
    if (index[s] == 0) start[s] = std::stoll(f[2]);
    if (s == 0 && first_video.empty()) first_video = {f[2], f[3], f[4], f[5]};
    rows[s] += std::string(s == 0 ? "video\t1\t" : "audio\t2\t") + std::to_string(index[s]++) +
               "\t" + std::to_string(std::stoll(f[2]) - start[s]) + "\t" + f[4] + "\t" + f[3] +
               "\t" +
               (s == 1           ? "-"
                : f[5][0] == 'K' ? "1"
                                 : "0") +
               "\n";
  }
  ASSERT_GT(index[0] * index[1], 0u);
  const ToolRun text = Tool("samples " + Quoted(path));
  ASSERT_EQ(text.status, 0) << text.err;
  EXPECT_EQ(text.out, "medium\ttrack\tindex\ttime\toffset\tsize\tkey\n" + rows[0] + rows[1]);
  const ToolRun json = Tool("samples --json " + Quoted(path));
  EXPECT_EQ(
      json.out.rfind("{\"samples\": [\n{\"medium\": \"video\", \"track\": 1, \"index\": 0, "
                     "\"time\": 0, \"offset\": " +
                         first_video[2] + ", \"size\": " + first_video[1] + ", \"key\": true},\n",
                     0),
      0u)
      << json.out.substr(0, 200);
  EXPECT_EQ(Count(json.out, "\"key\": false}"), Count(rows[0], "\t0\n"));
  EXPECT_EQ(json.out.substr(json.out.size() - 16), "\"key\": null}\n]}\n");
}

TEST(Tool, ExtractDecodesWithFfmpeg) {
  if (!HaveFfmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
  for (const std::string& path : FfmpegFiles()) {
    SCOPED_TRACE(path);
    OpenedFile f(path);
    const uint32_t v = f.file->video_track_id, a = f.file->audio_track_id;
    const std::string m4v = ScratchPath("out.m4v"), aac = ScratchPath("out.aac");
    // a medium the file does not have is asked for too: the other is written
    const ToolRun run =
        Tool("extract " + Quoted(path) + " --video=" + Quoted(m4v) + " --audio " + Quoted(aac));
    const std::string missing = v == 0 ? "video" : a == 0 ? "audio" : "";
    EXPECT_EQ(run.status, missing.empty() ? 0 : 1);
    EXPECT_EQ(run.err, missing.empty() ? ""
                                       : "ornivex: " + path + ": no " + missing + " written: no " +
                                             missing + " track\n");
    std::string written;
    if (v != 0)
      written += "video: " + std::to_string(f.track(v)->sample_count) + " samples (" +
                 std::to_string(f.file->video_info[kVideoWidth]) + "x" +
                 std::to_string(f.file->video_info[kVideoHeight]) + ") written to " + m4v + "\n";
    if (a != 0)
      written += "audio: " + std::to_string(f.track(a)->sample_count) + " samples written to " +
                 aac + "\n";
    EXPECT_EQ(run.out, written);
    std::string errors, count;
    for (const auto& [id, file, codec] :
         {std::make_tuple(v, m4v, "mpeg4"), std::make_tuple(a, aac, "aac")}) {
      EXPECT_EQ(std::filesystem::exists(file), id != 0) << file;
      if (id == 0) continue;
      EXPECT_EQ(RunCommand("ffmpeg -nostdin -v error -i '" + file + "' -f null -", &errors), 0);
      EXPECT_EQ(errors, "") << file;
      const std::string entries = "stream=codec_name,nb_read_frames '" + file + "'";
      RunCommand("ffprobe -v error -count_frames -of compact -show_entries " + entries, &count);
      EXPECT_EQ(count, std::string("stream|codec_name=") + codec +
                           "|nb_read_frames=" + std::to_string(f.track(id)->sample_count) + "\n");
    }
  }
  // with 2>&1 the lines come in the order they were made
  const std::string video_only = FfmpegFiles()[4], m4v = ScratchPath("video.m4v");
  std::string both;
  EXPECT_EQ(RunTool("extract '" + video_only + "' --video '" + m4v + "' --audio x.aac", &both), 1);
  EXPECT_EQ(both, "video: 40 samples (128x96) written to " + m4v + "\nornivex: " + video_only +
                      ": no audio written: no audio track\n");
}

TEST(Tool, InfoSummaryAndTheToolsOwnFigures) {
  const std::string raw = WriteScratchFile("raw.m4v", box::Cat({kQcifVol, {0, 0, 1, 0xB6}}));
  const ToolRun header = Tool("info --json " + Quoted(raw));
  EXPECT_EQ(header.out, "{\"header\": {\"width\": 176, \"height\": 144, \"header_length\": 18}}\n");
  // a first box of 256 to 511 bytes starts as a start code does
  const std::string boxed = WriteScratchFile(
      "free-first.mp4",
      box::Cat({box::Atom("free", {box::Zeros(292)}), BuildMovie({AudioPlan(1, 2)})}));
  EXPECT_EQ(Tool("info --json " + Quoted(boxed)).out.rfind("{\"summary\": ", 0), 0u);
  // audio of a codec the summary does not decode (EVRC) is said to be so
  TrackPlan evrc = AudioPlan(1, 2);
  evrc.esds = box::Esds(0xA0, 0x15, {0x70, 0x70});
  const std::string other = WriteScratchFile("evrc.mp4", BuildMovie({evrc}));
  EXPECT_EQ(Tool("info " + Quoted(other))
                .out.rfind("audio: unsupported codec (objectTypeIndication 0xA0)\n# summary: ", 0),
            0u);
  const ToolRun evrc_json = Tool("info --json " + Quoted(other));
  EXPECT_NE(evrc_json.out.find(", \"audio_sample_rate\": 0, "), std::string::npos);
  EXPECT_NE(evrc_json.out.find(
                "\"audio_object_type_indication\": 160, \"audio_codec_supported\": false}}\n"),
            std::string::npos)
      << evrc_json.out;
  if (!HaveFfmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
  // 30 frames at 30000/1001 a second: 1.001 s
  const std::string path =
      FfmpegMedia("ntsc.mp4",
                  "-f lavfi -i testsrc=size=176x144:rate=30000/1001 -frames:v 30 "
                  "-c:v mpeg4");
  const ToolRun text = Tool("info " + Quoted(path));
  ASSERT_EQ(text.status, 0) << text.err;
  for (const char* line :
       {"# summary: ", "\nvideo_width                  176\n",
        "\nvideo_frame_rate             29\n", "\nvideo_avg_bitrate_declared   ",
        "\n# computed by ornivex, not by the library",
        "\nvideo_track_id               1\nvideo_timescale              30000\n"
        "video_duration               30030\nvideo_seconds                1.001\n"
        "video_frame_rate             29.97\n"})
    EXPECT_NE(text.out.find(line), std::string::npos) << line << text.out;
  EXPECT_EQ(text.out.find("audio_track_id"), std::string::npos);
  const ToolRun json = Tool("info --json " + Quoted(path));
  EXPECT_EQ(json.out.rfind("{\"summary\": {\"file_size\": ", 0), 0u) << json.out;
  EXPECT_NE(json.out.find(", \"video_frame_rate\": 29, "), std::string::npos) << json.out;
  EXPECT_NE(json.out.find("}, \"computed\": {\"video_track_id\": 1, \"video_timescale\": 30000, "
                          "\"video_duration\": 30030, \"video_seconds\": 1.001, "
                          "\"video_frame_rate\": 29.97}}\n"),
            std::string::npos)
      << json.out;
}
