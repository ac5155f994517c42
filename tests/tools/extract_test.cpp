// `ornivex samples` and `ornivex extract` on files written by ffmpeg.

#include "support/test_support.h"

TEST(ExtractTool, DecodesWithFfmpeg) {
  if (!HaveFfmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
  for (const std::string& path : FfmpegFiles()) {
    SCOPED_TRACE(path);
    ASSERT_FALSE(path.empty());
    OpenedFile f(path);
    ASSERT_EQ(f.result, 1);
    const uint32_t v = f.file->video_track_id, a = f.file->audio_track_id;
    const std::string m4v = ScratchPath("out.m4v"), aac = ScratchPath("out.aac");
    std::string args = "extract '" + path + "'";
    if (v != 0) args += " --video '" + m4v + "'";
    if (a != 0) args += " --audio '" + aac + "'";
    std::string out;
    ASSERT_EQ(RunCommand(ToolCommandLine(args), &out), 0) << out;
    for (const auto& [id, file, codec] :
         {std::make_tuple(v, m4v, "mpeg4"), std::make_tuple(a, aac, "aac")}) {
      if (id == 0) continue;
      std::string errors, count;
      EXPECT_EQ(RunCommand("ffmpeg -nostdin -v error -i '" + file + "' -f null -", &errors), 0);
      EXPECT_EQ(errors, "") << file;
      const std::string probe = "ffprobe -v error -count_frames -of compact -show_entries ";
      RunCommand(probe + "stream=codec_name,nb_read_frames '" + file + "'", &count);
      EXPECT_EQ(count, std::string("stream|codec_name=") + codec +
                           "|nb_read_frames=" + std::to_string(f.track(id)->sample_count) + "\n");
    }
  }
}

TEST(SamplesTool, OneLinePerSample) {
  if (!HaveFfmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
  const std::string path = FfmpegFiles()[0];
  OpenedFile f(path);
  std::string out;
  ASSERT_EQ(RunCommand(ToolCommandLine("samples '" + path + "'"), &out), 0);
  EXPECT_EQ(Count("\n" + out, "\nvideo "), size_t(f.track(1)->sample_count));
  EXPECT_EQ(Count("\n" + out, "\naudio "), size_t(f.track(2)->sample_count));
  const SampleIndexEntry& e = f.track(1)->sample_table[1];
  EXPECT_NE(out.find("\nvideo 1 1 " + std::to_string(e.time_stamp) + " " +
                     std::to_string(e.file_offset) + " " + std::to_string(e.size) + " 0\n"),
            std::string::npos);
  EXPECT_NE(out.find("\nvideo 1 0 0 "), std::string::npos);
  EXPECT_EQ(RunCommand(ToolCommandLine("extract '" + path + "'"), &out), 2);  // no output named
}
