#include "serialise/file_info.h"

#include <cstring>

#include "atom/helpers.h"
#include "serialise/esds_query.h"
#include "track/open_file.h"
#include "track/sample_access.h"

namespace {

void FillVideo(const MP4_input_file* file, FileInfo* info) {
  const unsigned char* header = nullptr;
  uint32_t width = 0, height = 0, length = 0;
  // a header that GetM4vEsdsData hands out gives the picture size
  if (Ok(FindVideoConfig(file, &header, &length, &width, &height)) &&
      length <= ORNIVEX_ESDS_DATA_MAX) {
    info->video_width = width;
    info->video_height = height;
  } else {
    // no header that parses: the picture size of the sample entry
    info->video_width = file->video_info[kVideoWidth];
    info->video_height = file->video_info[kVideoHeight];
  }
  info->video_sample_count = file->video_info[kVideoSampleCount];
  const uint32_t duration = file->video_info[kVideoDuration];
  if (duration != 0) {
    const double rate =
        double(info->video_sample_count) * file->video_info[kVideoTimescale] / duration;
    info->video_frame_rate = rate < 4294967295.0 ? static_cast<uint32_t>(rate) : 0xFFFFFFFFu;
  }
  const unsigned char* body = nullptr;
  uint32_t body_length = 0;
  // without bit rates that can be read the words stay 0
  if (Ok(GetVideoEsdsBody(file, &body, &body_length)))
    (void)ParseVideoEsdsBody(body, body_length, &info->video_max_bitrate, &info->video_avg_bitrate,
                             &info->video_profile_level);
}

// MPEG-1 and MPEG-2 audio carry no AudioSpecificConfig: what the summary
// needs comes from the header of the first frame.
void FillFromFirstFrame(MP4_input_file* file, FileInfo* info) {
  static const uint32_t kRates[4][3] = {{11025, 12000, 8000},  // MPEG-2.5
                                        {0, 0, 0},
                                        {22050, 24000, 16000},   // MPEG-2
                                        {44100, 48000, 32000}};  // MPEG-1
  info->audio_is_mpeg1 = 1;
  info->audio_profile = 0;
  info->audio_object_type = 0;
  SampleBuffer buffer;
  (void)buffer.Alloc(1);  // without it the read below fails and nothing is filled
  uint32_t size = 0, time = 0;
  if (!Ok(GetNextSample(file, file->audio_track_id, &buffer, &size, &time)) || size < 4) return;
  const unsigned char* h = buffer.Data();
  const uint32_t mode = h[3] >> 6;
  info->audio_channel_mode = mode;
  // stereo, joint stereo and dual channel carry two channels
  info->audio_channels = mode == 3 ? 1 : 2;
  info->audio_channels_copy = info->audio_channels;
  info->audio_emphasis = h[3] & 3;
  const uint32_t version = (h[1] >> 3) & 3, rate = (h[2] >> 2) & 3;
  if (h[0] == 0xFF && (h[1] & 0xE0) == 0xE0 && rate < 3)
    info->audio_sample_rate = kRates[version][rate];
}

void FillAudio(MP4_input_file* file, FileInfo* info) {
  info->audio_sample_count = file->audio_info[kAudioSampleCount];
  info->constant_one = 1;
  const unsigned char* esds = nullptr;
  uint32_t length = 0;
  // an esds that GetM4aEsdsData does not hand out says nothing
  if (!Ok(FindAudioEsds(file, &esds, &length)) || length > ORNIVEX_ESDS_DATA_MAX) return;
  AudioConfig c;
  if (!Ok(ParseAudioEsds(esds, length, &c))) return;
  info->audio_max_bitrate = c.max_bitrate;
  info->audio_avg_bitrate = c.avg_bitrate;
  if (c.mpeg12) {
    FillFromFirstFrame(file, info);
    return;
  }
  // 0 for another codec, whose configuration says nothing the summary knows
  info->audio_sample_rate = c.sample_rate;
  info->audio_channels = c.channels;
  info->audio_channels_copy = c.channels;
  info->audio_object_type = c.object_type;
  info->audio_profile = c.object_type > 0 ? c.object_type - 1 : 0;
}

}  // namespace

Status DescribeFile(const char* path, FileInfo* info) {
  std::memset(info, 0, sizeof(*info));
  MP4_input_file* file = static_cast<MP4_input_file*>(AllocZeroed(sizeof(MP4_input_file)));
  if (file == nullptr) return Status::kFailed;
  const Status opened = OpenInputFile(file, path);
  if (Ok(opened)) {
    info->file_size = file->root->file_size;
    if (file->video_track_id != 0) FillVideo(file, info);
    if (file->audio_track_id != 0) FillAudio(file, info);
  }
  CloseInputFile(&file);
  return opened;
}
