// What the writer's tests share: a writer record that is released at the
// end, track creation with typical arguments, the debugger channel's text
// and a tree as text.
#ifndef ORNIVEX_TESTS_WRITER_WRITER_SUPPORT_H
#define ORNIVEX_TESTS_WRITER_WRITER_SUPPORT_H

#include <functional>
#include <string>

#include "support/test_support.h"
#include "writer/track_node.h"
#include "writer/writer_release.h"

// What `f` wrote to the debugger channel (standard error here).
inline std::string CaptureDebug(const std::function<void()>& f) {
  std::fflush(stderr);
  testing::internal::CaptureStderr();
  f();
  std::fflush(stderr);
  return testing::internal::GetCapturedStderr();
}

// "type{child,child{...}}" for a node and its descendants.
inline std::string TreeText(const AtomNode* node) {
  std::string text = node->type;
  if (node->first_child == nullptr) return text;
  text += "{";
  for (const AtomNode* c = node->first_child; c != nullptr; c = c->next) {
    if (c != node->first_child) text += ",";
    text += TreeText(c);
  }
  return text + "}";
}
// CreateTrack's 14 arguments, with the values a caller typically passes.
struct TrackArgs {
  // implicit, so that Create({5}) makes a scene description track
  TrackArgs(int32_t track_type = 1) : type(track_type) {}
  int32_t type;
  uint32_t width = 176, height = 144, tir = 30, time_scale = 1000;
  uint32_t profile_level = 3, audio_profile = 1, channels = 2, sample_rate = 44100;
  uint32_t config_length = 0;
  const unsigned char* config = nullptr;
  std::string temp;  // "" passes null
  uint32_t codec = 1;
};

// A writer record on a scratch output file, released (never flushed) at the end.
struct Writer {
  Writer() : path(ScratchPath("out.mp4")) {
    debug = CaptureDebug([&] { result = MP4FileNew(&file, path.c_str()); });
    EXPECT_EQ(result, 1) << debug;
  }
  ~Writer() { ReleaseWriterFile(file); }
  Writer(const Writer&) = delete;
  Writer& operator=(const Writer&) = delete;

  int32_t Create(const TrackArgs& a) {
    return CreateTrack(file, a.type, a.width, a.height, a.tir, a.time_scale, a.profile_level,
                       a.audio_profile, a.channels, a.sample_rate, a.config_length, a.config,
                       a.temp.empty() ? nullptr : a.temp.c_str(), a.codec);
  }
  // A media track of `type` with its temporary file in the scratch directory.
  int32_t Media(int32_t type, uint32_t codec = 1, uint32_t time_scale = 1000) {
    TrackArgs a;
    a.type = type;
    a.codec = codec;
    a.time_scale = time_scale;
    a.temp = ScratchPath(type == 1 ? "temp.v" : "temp.a");
    return Create(a);
  }
  int32_t Video(uint32_t size, uint32_t time, int32_t key = 1) {
    const std::vector<unsigned char> data(size, static_cast<unsigned char>(size));
    return AddVideoFrame(file, size, data.data(), time, key);
  }
  int32_t Audio(uint32_t size, uint32_t time) {
    const std::vector<unsigned char> data(size, static_cast<unsigned char>(size + 1));
    return AddAudioFrame(file, size, data.data(), time);
  }
  // What the temporary file holds so far.
  box::Bytes TempBytes(bool video) {
    std::fflush(video ? file->video_temp : file->audio_temp);
    return ReadWholeFile(video ? file->video_temp_name : file->audio_temp_name);
  }

  std::string path, debug;
  MP4_local_file* file = nullptr;
  int32_t result = 0;
};

// The blocks of a track's chain in order.
inline std::vector<const TrackNode*> Blocks(const TrackNode* first) {
  std::vector<const TrackNode*> blocks;
  for (; first != nullptr; first = first->NextBlock) blocks.push_back(first);
  return blocks;
}

#endif  // ORNIVEX_TESTS_WRITER_WRITER_SUPPORT_H
