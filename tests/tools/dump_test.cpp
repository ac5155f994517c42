// `ornivex dump` on files written by ffmpeg and by others.

#include "support/test_support.h"

TEST(DumpTool, FfmpegFileDownToTheSampleTables) {
  const std::string file = FfmpegMedia(
      "dump-mpeg4-aac.mp4",
      "-f lavfi -i testsrc=size=320x240:rate=25 -f lavfi -i sine=sample_rate=48000 -t 2 "
      "-c:v mpeg4 -c:a aac");
  if (file.empty()) GTEST_SKIP() << "ffmpeg is not installed";
  std::string out;
  ASSERT_EQ(RunCommand(ToolCommandLine("dump '" + file + "'"), &out), 0) << out;
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
        "sample_rate=48000", "sample_count=50",
        "\n            [0] count=50 delta=", "! level stopped at @"})
    EXPECT_NE(out.find(field), std::string::npos) << field << out;
}

TEST(DumpTool, HelpAndFailures) {
  std::string out;
  EXPECT_EQ(RunCommand(ToolCommandLine("dump --help"), &out), 0);
  EXPECT_NE(out.find("usage: ornivex dump FILE"), std::string::npos);
  EXPECT_EQ(RunCommand(ToolCommandLine("dump"), &out), 2);
  EXPECT_EQ(RunCommand(ToolCommandLine("dump /nonexistent/x.mp4"), &out), 1);
  EXPECT_EQ(out, "file is [/nonexistent/x.mp4]\nCan't open the file - /nonexistent/x.mp4 \n");
  EXPECT_EQ(RunCommand(ToolCommandLine("--help"), &out), 0);
  EXPECT_NE(out.find("dump "), std::string::npos);
}

TEST(DumpTool, EveryCorpusFile) {
  const std::vector<std::string> files = CorpusFiles();
  if (files.empty()) GTEST_SKIP() << "../shared/corpus is absent: corpus cases skipped";
  for (const std::string& path : files) {
    std::string out;
    const int rc = RunCommand(ToolCommandLine("dump '" + path + "'"), &out);
    EXPECT_TRUE(rc == 0 || rc == 1) << path << " exited " << rc << "\n" << out;
  }
}
