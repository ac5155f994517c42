// `ornivex info` on an MP4 file and on a raw MPEG-4 Visual stream.

#include "support/test_support.h"

TEST(InfoTool, Mp4FileAndRawStream) {
  const std::string sample = std::string(ORNIVEX_SOURCE_DIR) + "/samples/testsrc-mpeg4-aac.mp4";
  std::string out;
  ASSERT_EQ(RunCommand(ToolCommandLine("info '" + sample + "'"), &out), 0) << out;
  for (const char* line : {"\nvideo_width          176\n", "\nvideo_height         144\n",
                           "\nvideo_sample_count   100\n", "\naudio_sample_rate    44100\n",
                           "\naudio_object_type    2\n", "\nfile_size            64621\n"})
    EXPECT_NE(out.find(line), std::string::npos) << line << out;
  ASSERT_EQ(RunCommand(ToolCommandLine("info --json '" + sample + "'"), &out), 0);
  EXPECT_NE(out.find("{\"file_size\": 64621, \"file_size_high\": 0, "), std::string::npos) << out;

  const std::string raw = WriteScratchFile("raw.m4v", box::Cat({kQcifVol, {0, 0, 1, 0xB6}}));
  ASSERT_EQ(RunCommand(ToolCommandLine("info --json '" + raw + "'"), &out), 0);
  EXPECT_EQ(out, "{\"width\": 176, \"height\": 144, \"header_length\": 18}\n");

  const std::string junk = WriteScratchFile("junk.bin", box::Str("junk"));
  EXPECT_EQ(RunCommand(ToolCommandLine("info '" + junk + "'"), &out), 1);
  EXPECT_NE(out.find("GetFileInfo failed with -21"), std::string::npos);
  EXPECT_EQ(RunCommand(ToolCommandLine("info"), &out), 2);
}
