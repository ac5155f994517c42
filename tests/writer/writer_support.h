// What the writer's tests share: a writer record on a scratch output with
// its tracks and frames, the text of both channels, and the flush, after
// which every written file must read back in our reader and in ffprobe.
#ifndef ORNIVEX_TESTS_WRITER_WRITER_SUPPORT_H
#define ORNIVEX_TESTS_WRITER_WRITER_SUPPORT_H

#include <functional>
#include <string>

#include "support/test_support.h"
#include "writer/track_node.h"
#include "writer/writer_release.h"

using box::Bytes;
using Said = std::pair<int32_t, std::string>;
inline const Said kDone = {1, ""};

// The result of `f` and what it printed on both channels (the debugger
// channel is standard error here).
inline Said Call(const std::function<int32_t()>& f) {
  int32_t r = 0;
  std::fflush(stderr);
  testing::internal::CaptureStderr();
  const std::string out = CaptureStdout([&] { r = f(); });
  std::fflush(stderr);
  return {r, out + testing::internal::GetCapturedStderr()};
}

// A writer record on a scratch output, released at the end unless flushed;
// the frames appended are kept to be read back.
struct Writer {
  explicit Writer(const std::string& out = ScratchPath("out.mp4")) : path(out) {
    EXPECT_EQ(MP4FileNew(&file, path.c_str()), 1);
  }
  ~Writer() { ReleaseWriterFile(file); }

  // CreateTrack with the values a caller typically passes and a temporary
  // file in the scratch directory; audio from an ADTS header in `config`
  // when one is given; `length` 0 stands for the configuration's.
  int32_t Create(int32_t type, uint32_t codec = 1, uint32_t time_scale = 1000,
                 const Bytes& config = {}, uint32_t length = 0, uint32_t width = 176) {
    const uint32_t p = config.empty() || type != 2;
    return CreateTrack(file, type, width, 144, 30, time_scale, 3, p, 2 * p, 44100 * p,
                       length ? length : uint32_t(config.size()),
                       config.empty() ? nullptr : config.data(), ScratchPath("temp").c_str(),
                       codec);
  }
  // Frames of `size` bytes made up, or `frame` as it is.
  int32_t Video(uint32_t size, uint32_t time, int32_t key = 1, const Bytes& frame = {}) {
    return Add(&video, size, time, key, frame);
  }
  int32_t Audio(uint32_t size, uint32_t time, const Bytes& frame = {}) {
    return Add(&audio, size, time, -1, frame);
  }
  int32_t Add(std::vector<Bytes>* kept, uint32_t size, uint32_t time, int32_t key, Bytes frame) {
    if (frame.empty()) frame = SampleBytes(key < 0 ? 2 : 1, uint32_t(kept->size()), size);
    const int32_t r = key < 0 ? AddAudioFrame(file, size, frame.data(), time)
                              : AddVideoFrame(file, size, frame.data(), time, key);
    if (r == 1) kept->push_back(frame);
    return r;
  }
  // The flush's result and text. No temporary file outlives it; a written
  // file gives back every frame in our reader, and ffprobe finds them too
  // without a word (but its decoders' on made-up frames).
  Said Flush() {
    const std::string temps[] = {file->video_temp_name, file->audio_temp_name};
    const Said said = Call([&] { return MP4FileFlush(file); });
    file = nullptr;  // released by the flush
    for (const std::string& temp : temps) EXPECT_FALSE(std::filesystem::exists(temp)) << temp;
    if (said.first != 1) return said;
    OpenedFile f(path);
    for (auto [id, frames, kind] : {std::tuple{f.file->video_track_id, &video, "v"},
                                    std::tuple{f.file->audio_track_id, &audio, "a"}}) {
      std::vector<Bytes> got;
      std::string sizes, probed, line;
      unsigned char* data = nullptr;
      uint32_t size = 0, time = 0;
      CaptureStdout([&] {
        for (; MP4GetNextSample(f.file, id, &data, &size, &time) == 1; MP4freeData(&data))
          got.emplace_back(data, data + size);
      });
      EXPECT_EQ(got, *frames) << kind;
      for (const Bytes& frame : *frames) sizes += std::to_string(frame.size()) + "\n";
      if (frames->empty() || !HaveFfmpeg()) continue;
      RunCommand(std::string("ffprobe -v repeat+error -select_streams ") + kind +
                     ":0 -show_entries packet=size -of csv=p=0 '" + path + "'",
                 &probed);
      std::istringstream in(probed);
      for (probed.clear(); std::getline(in, line);)
        if (line.find(" @ ") == std::string::npos || line.rfind("[mov", 0) == 0)
          probed += line + "\n";
      EXPECT_EQ(probed, sizes) << kind << " " << path;
    }
    return said;
  }

  std::string path;
  MP4_local_file* file = nullptr;
  std::vector<Bytes> video, audio;  // the frames appended
};

#endif  // ORNIVEX_TESTS_WRITER_WRITER_SUPPORT_H
