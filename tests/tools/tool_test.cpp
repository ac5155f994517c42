// The ornivex tool: dump, samples, extract and info.
#include "support/test_support.h"

TEST(Tool, HelpAndFailures) {
  const std::string junk = WriteScratchFile("junk.bin", box::Str("junk"));
  // arguments, exit status, part of the output
  const std::tuple<std::string, int, std::string> cases[] = {
      {"--help", 0, "dump "},
      {"dump --help", 0, "usage: ornivex dump FILE"},
      {"dump", 2, ""},
      {"info", 2, ""},
      {"info '" + junk + "'", 1, "GetFileInfo failed with -21"},
      {"extract '" + junk + "'", 2, ""},  // no output named
  };
  std::string out;
  for (const auto& [args, status, part] : cases) {
    EXPECT_EQ(RunTool(args, &out), status) << args;
    EXPECT_NE(out.find(part), std::string::npos) << args << "\n" << out;
  }
  EXPECT_EQ(RunTool("dump /nonexistent/x.mp4", &out), 1);
  EXPECT_EQ(out, "file is [/nonexistent/x.mp4]\nCan't open the file - /nonexistent/x.mp4 \n");
}

TEST(Tool, DumpFfmpegFileDownToTheSampleTables) {
  if (!HaveFfmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
  const std::string file = FfmpegFiles()[1];  // 320 x 240 video, 90 samples; 48000 Hz audio
  std::string out;
  ASSERT_EQ(RunTool("dump '" + file + "'", &out), 0) << out;
  // atoms at their depth (two blanks a level), and fields of theirs
  const std::pair<int, const char*> kAtoms[] = {{0, "moov"}, {1, "mvhd"}, {1, "trak"}, {2, "tkhd"},
                                                {6, "mp4v"}, {7, "esds"}, {6, "mp4a"}, {5, "stts"},
                                                {5, "stss"}, {5, "stsc"}, {5, "stsz"}, {5, "stco"}};
  for (const auto& [depth, type] : kAtoms) {
    const std::string line = "\n" + std::string(2 * depth, ' ') + type + " @";
    EXPECT_NE(out.find(line), std::string::npos) << line << out;
  }
  for (const char* field :
       {"\nftyp @0 size=", "timescale=1000", "track_id=1", "width=320.00 height=240.00",
        "handler=vide", "handler=soun", "timescale=48000", "width=320 height=240",
        "sample_rate=48000", "sample_count=90",
        "\n            [0] count=90 delta=", "! level stopped at @"})
    EXPECT_NE(out.find(field), std::string::npos) << field << out;
}

TEST(Tool, DumpEveryCorpusFile) {
  for (const std::string& path : CorpusFiles()) {
    std::string out;
    const int rc = RunTool("dump '" + path + "'", &out);
    EXPECT_TRUE(rc == 0 || rc == 1) << path << " exited " << rc << "\n" << out;
  }
}

TEST(Tool, SamplesOneLinePerSample) {
  if (!HaveFfmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
  const std::string path = FfmpegFiles()[0];
  OpenedFile f(path);
  std::string out;
  ASSERT_EQ(RunTool("samples '" + path + "'", &out), 0);
  EXPECT_EQ(Count("\n" + out, "\nvideo "), size_t(f.track(1)->sample_count));
  EXPECT_EQ(Count("\n" + out, "\naudio "), size_t(f.track(2)->sample_count));
  const SampleIndexEntry& e = f.track(1)->sample_table[1];
  EXPECT_NE(out.find("\nvideo 1 1 " + std::to_string(e.time_stamp) + " " +
                     std::to_string(e.file_offset) + " " + std::to_string(e.size) + " 0\n"),
            std::string::npos);
  EXPECT_NE(out.find("\nvideo 1 0 0 "), std::string::npos);
}

TEST(Tool, ExtractDecodesWithFfmpeg) {
  if (!HaveFfmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
  for (const std::string& path : FfmpegFiles()) {
    SCOPED_TRACE(path);
    OpenedFile f(path);
    const uint32_t v = f.file->video_track_id, a = f.file->audio_track_id;
    const std::string m4v = ScratchPath("out.m4v"), aac = ScratchPath("out.aac");
    std::string out, errors, count;
    const std::string args = std::string(v != 0 ? " --video '" + m4v + "'" : "") +
                             (a != 0 ? " --audio '" + aac + "'" : "");
    ASSERT_EQ(RunTool("extract '" + path + "'" + args, &out), 0) << out;
    for (const auto& [id, file, codec] :
         {std::make_tuple(v, m4v, "mpeg4"), std::make_tuple(a, aac, "aac")}) {
      if (id == 0) continue;
      EXPECT_EQ(RunCommand("ffmpeg -nostdin -v error -i '" + file + "' -f null -", &errors), 0);
      EXPECT_EQ(errors, "") << file;
      const std::string entries = "stream=codec_name,nb_read_frames '" + file + "'";
      RunCommand("ffprobe -v error -count_frames -of compact -show_entries " + entries, &count);
      EXPECT_EQ(count, std::string("stream|codec_name=") + codec +
                           "|nb_read_frames=" + std::to_string(f.track(id)->sample_count) + "\n");
    }
  }
}

TEST(Tool, InfoOnAnMp4FileAndARawStream) {
  const std::string sample = std::string(ORNIVEX_SOURCE_DIR) + "/samples/testsrc-mpeg4-aac.mp4";
  std::string out;
  ASSERT_EQ(RunTool("info '" + sample + "'", &out), 0) << out;
  for (const char* line : {"\nvideo_width          176\n", "\nvideo_height         144\n",
                           "\nvideo_sample_count   100\n", "\naudio_sample_rate    44100\n",
                           "\naudio_object_type    2\n", "\nfile_size            64621\n"})
    EXPECT_NE(out.find(line), std::string::npos) << line << out;
  ASSERT_EQ(RunTool("info --json '" + sample + "'", &out), 0);
  EXPECT_NE(out.find("{\"file_size\": 64621, \"file_size_high\": 0, "), std::string::npos) << out;
  const std::string raw = WriteScratchFile("raw.m4v", box::Cat({kQcifVol, {0, 0, 1, 0xB6}}));
  ASSERT_EQ(RunTool("info --json '" + raw + "'", &out), 0);
  EXPECT_EQ(out, "{\"width\": 176, \"height\": 144, \"header_length\": 18}\n");
}
