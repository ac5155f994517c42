// `ornivex samples` and `ornivex extract` on files written by ffmpeg.
#include <gtest/gtest.h>

#include <sstream>

#include "support/reader_support.h"
#include "support/test_support.h"

namespace {

long CountLines(const std::string& text, const std::string& prefix) {
  std::istringstream in(text);
  long n = 0;
  for (std::string line; std::getline(in, line);)
    if (line.rfind(prefix, 0) == 0) ++n;
  return n;
}

}  // namespace

TEST(ExtractTool, DecodesWithFfmpeg) {
  if (!HaveFfmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
  for (const FfmpegCase& c : FfmpegCases()) {
    SCOPED_TRACE(c.name);
    const std::string path = FfmpegMedia(c.name, c.arguments);
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
      RunCommand(
          "ffprobe -v error -count_frames -show_entries stream=codec_name,nb_read_frames "
          "-of compact '" +
              file + "'",
          &count);
      EXPECT_EQ(count, std::string("stream|codec_name=") + codec +
                           "|nb_read_frames=" + std::to_string(f.track(id)->sample_count) + "\n");
    }
  }
}

TEST(SamplesTool, OneLinePerSample) {
  if (!HaveFfmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
  const std::string path = FfmpegMedia(FfmpegCases()[0].name, FfmpegCases()[0].arguments);
  OpenedFile f(path);
  std::string out;
  ASSERT_EQ(RunCommand(ToolCommandLine("samples '" + path + "'"), &out), 0);
  EXPECT_EQ(CountLines(out, "video "), long(f.track(1)->sample_count));
  EXPECT_EQ(CountLines(out, "audio "), long(f.track(2)->sample_count));
  const SampleIndexEntry& e = f.track(1)->sample_table[1];
  EXPECT_NE(out.find("\nvideo 1 1 " + std::to_string(e.time_stamp) + " " +
                     std::to_string(e.file_offset) + " " + std::to_string(e.size) + " 0\n"),
            std::string::npos);
  EXPECT_NE(out.find("\nvideo 1 0 0 "), std::string::npos);
  EXPECT_EQ(RunCommand(ToolCommandLine("extract '" + path + "'"), &out), 2);  // no output named
}
