// The decoder-configuration queries and GetFileInfo on built files; files
// written by ffmpeg and others are compared with ffprobe in ffprobe_compare_test.
#include "serialise/asc_parse.h"
#include "serialise/esds_query.h"
#include "support/test_support.h"

using namespace box;

// The default configuration the library writes for a 176 x 144 track: a
// visual object sequence, a visual object and the video object layer.
const Bytes kVideoDsi = Cat({Bytes{0, 0, 1, 0xB0, 0x08, 0, 0, 1, 0xB5, 0x09}, kQcifVol});

// The esds of MPEG-1 audio, as the library writes it: no DecoderSpecificInfo.
static Bytes Mpeg1Esds(uint32_t avg_bitrate) {
  return Atom("esds", {Full(0, 0), Bytes{0x03, 0x80, 0x80, 0x80, 0x18, 0x00, 0x02, 0x00},
                       Bytes{0x04, 0x80, 0x80, 0x80, 0x0D, 0x6B, 0x15, 0x00, 0x00, 0xF4},
                       U32(128000), U32(avg_bitrate), Bytes{0x06, 0x01, 0x02}});
}

static FileInfo Info(const Bytes& file) {
  return Info(WriteScratchFile("info.mp4", file));
}
static TrackPlan WithEsds(TrackPlan t, const Bytes& esds) {
  t.esds = esds;
  return t;
}

TEST(EsdsQuery, AudioSpecificConfigs) {
  // each DecoderSpecificInfo with what the esds query reports (object type,
  // sample rate, channels) and what an ADTS header takes (frequency index,
  // core rate, core object type)
  const std::tuple<Bytes, Values, Values> cases[] = {
      {{0x12, 0x10}, {2, 44100, 2}, {4, 44100, 2}},
      {{0x14, 0x90}, {2, 12000, 2}, {9, 12000, 2}},
      {{0x16, 0x90}, {2, 0, 2}, {13, 0, 2}},  // reserved frequency index 13
      {{0x17, 0x80, 0x56, 0x22, 0x10}, {2, 44100, 2}, {15, 44100, 2}},  // explicit 44100 Hz
      {{0x17, 0x80, 0x1F, 0x40, 0x90}, {2, 16001, 2}, {15, 16001, 2}},  // explicit 16001 Hz
      {{0xF9, 0x48, 0x20}, {42, 44100, 1}, {4, 44100, 42}},             // an escaped object type
      // HE-AAC v2: a mono 22050 Hz AAC LC core plays as 44100 Hz stereo
      {{0xEB, 0x8A, 0x08, 0x00}, {29, 44100, 2}, {7, 22050, 2}},
      // SBR signalled explicitly over an AAC Main core at 16000 Hz
      {{0x2C, 0x12, 0x84}, {5, 32000, 2}, {8, 16000, 1}},
  };
  for (const auto& [dsi, reported, adts] : cases) {
    SCOPED_TRACE(testing::PrintToString(dsi));
    const Bytes esds = Esds(0x40, 0x15, dsi);
    AudioConfig c;
    EXPECT_EQ(ParseAudioEsds(esds.data(), uint32_t(esds.size()), &c), Status::kOk);
    EXPECT_EQ((Values{c.object_type, c.sample_rate, c.channels}), reported);
    EXPECT_EQ((Values{c.dsi_length, c.max_bitrate, c.avg_bitrate, c.mpeg12}),
              (Values{uint32_t(dsi.size()), 200000, 100000, 0}));
    AudioSpecificConfig asc;
    EXPECT_TRUE(ParseAudioSpecificConfig(dsi.data(), uint32_t(dsi.size()), &asc));
    EXPECT_EQ((Values{asc.frequency_index, asc.core_rate, asc.core_object_type}), adts);
  }
  AudioSpecificConfig asc;
  EXPECT_FALSE(ParseAudioSpecificConfig(Bytes{0x17, 0x80, 0x56}.data(), 3, &asc));
  uint32_t first = 99, last = 99, other = 99;
  EXPECT_TRUE(SamplingFrequencyIndex(96000, &first) && SamplingFrequencyIndex(7350, &last));
  EXPECT_FALSE(SamplingFrequencyIndex(16001, &other));
  EXPECT_EQ((Values{first, last, other}), (Values{0, 12, 99}));

  // MPEG-1 audio has no DecoderSpecificInfo
  const Bytes mp3 = Mpeg1Esds(128000);
  AudioConfig c;
  EXPECT_EQ(ParseAudioEsds(mp3.data(), uint32_t(mp3.size()), &c), Status::kOk);
  EXPECT_EQ((Values{c.object_type_indication, c.mpeg12, c.dsi_length}), (Values{0x6B, 1, 0}));
  // cut short: the descriptors end before their fields; a DecoderSpecificInfo
  // longer than what remains of the esds
  const Bytes aac = Esds(0x40, 0x15, {0x12, 0x10});
  Bytes long_dsi = aac;
  long_dsi[42] = 6;  // its length byte: 2 bytes claimed as 6
  for (const auto& [bytes, length] : {std::pair<Bytes, uint32_t>{aac, 30}, {long_dsi, 48}}) {
    c = AudioConfig();
    EXPECT_EQ(ParseAudioEsds(bytes.data(), length, &c), Status::kFailed) << length;
    EXPECT_EQ(c.sample_rate, 0u);
  }
  ASSERT_EQ(aac[41], 0x80);  // the length byte checked above is the DSI's
}

TEST(EsdsQuery, EsdsDataOfOpenedFiles) {
  OpenedFile f(
      BuildMovie({WithEsds(VideoPlan(1, 3), Esds(0x20, 0x11, kVideoDsi)), AudioPlan(2, 3)}));
  unsigned char out[ORNIVEX_ESDS_DATA_MAX];
  uint32_t w = 0, h = 0, length = 0;
  ASSERT_EQ(GetM4vEsdsData(f.file, out, &w, &h, &length), 1);
  ASSERT_EQ((Values{w, h, length}), (Values{176, 144, 18}));
  EXPECT_EQ(Bytes(out, out + 18), kQcifVol);

  ASSERT_EQ(GetM4aEsdsData(f.file, out, &length), 1);
  EXPECT_EQ(Bytes(out, out + length), Esds(0x40, 0x15, {0x12, 0x10}));  // the whole atom

  EXPECT_EQ(GetM4vEsdsData(f.file, nullptr, &w, &h, &length), 0);
  EXPECT_EQ(GetM4aEsdsData(f.file, nullptr, &length), 0);
  EXPECT_EQ(CaptureStdout([&] { EXPECT_EQ(GetM4aEsdsData(nullptr, out, &length), -99); }),
            "mp4 file uncreated\n");

  const unsigned char* body = nullptr;
  uint32_t body_length = 0, max = 0, avg = 0, profile = 0;
  ASSERT_EQ(GetVideoEsdsBody(f.file, &body, &body_length), Status::kOk);
  ASSERT_TRUE(ParseVideoEsdsBody(body, body_length, &max, &avg, &profile));
  EXPECT_EQ((Values{max, avg, profile}), (Values{200000, 100000, 8}));

  // configurations that cannot be handed out: no video object start code;
  // a header that does not parse
  Bytes unparsed = kVideoDsi;
  unparsed[19] |= 0x01;  // video_object_layer_shape: not rectangular
  const std::pair<Bytes, int32_t> cases[] = {{Bytes{0x12, 0x10}, -99}, {unparsed, -1}};
  for (const auto& [dsi, expected] : cases) {
    OpenedFile g(BuildMovie({WithEsds(VideoPlan(1, 2), Esds(0x20, 0x11, dsi))}));
    EXPECT_EQ(GetM4vEsdsData(g.file, out, &w, &h, &length), expected);
    // GetFileInfo then takes the picture size from the sample entry
    const FileInfo info = Info(g.file->root->file_name);
    EXPECT_EQ((Values{info.video_width, info.video_height}), (Values{176, 144}));
  }
  // audio esds that are not handed out: longer than the documented maximum;
  // running past the end of the file; with a DecoderSpecificInfo longer
  // than the esds (handed out, but GetFileInfo learns nothing of it)
  const Bytes esds = Esds(0x40, 0x15, {0x12, 0x10});
  Bytes past_end = BuildMovie({AudioPlan(2, 2)});
  const size_t at =
      std::search(past_end.begin(), past_end.end(), esds.begin(), esds.end()) - past_end.begin();
  // 200 bytes: within what may be handed out, but past the end of the file
  past_end[at + 3] = 200;
  ASSERT_GT(at + 200, past_end.size());
  Bytes long_dsi = esds;
  long_dsi[42] = 6;
  const std::tuple<Bytes, int32_t, uint32_t> cases2[] = {
      {BuildMovie({WithEsds(AudioPlan(2, 2), Atom("esds", {Bytes(esds.begin() + 8, esds.end()),
                                                           Zeros(ORNIVEX_ESDS_DATA_MAX)}))}),
       -2, 0},
      {past_end, -2, 0},
      {BuildMovie({WithEsds(AudioPlan(2, 2), long_dsi)}), 1, 0},
      {BuildMovie({AudioPlan(2, 2)}), 1, 100000}};
  for (const auto& [file, result, avg_bitrate] : cases2) {
    OpenedFile g(file);
    EXPECT_EQ(GetM4aEsdsData(g.file, out, &length), result);
    const FileInfo info = Info(g.file->root->file_name);
    EXPECT_EQ((Values{info.audio_sample_rate, info.audio_avg_bitrate, info.audio_sample_count}),
              (Values{avg_bitrate == 0 ? 0u : 44100u, avg_bitrate, 2}));
  }
}

TEST(FileInfoTest, SummaryOfBuiltFiles) {
  // only audio: the video words stay 0
  const FileInfo audio = Info(BuildMovie({AudioPlan(2, 5)}));
  EXPECT_EQ((Values{audio.audio_sample_count, audio.audio_sample_rate, audio.audio_channels,
                    audio.audio_channels_copy, audio.audio_object_type, audio.audio_profile,
                    audio.constant_one}),
            (Values{5, 44100, 2, 2, 2, 1, 1}));
  EXPECT_EQ((Values{audio.video_avg_bitrate, audio.video_max_bitrate, audio.video_profile_level,
                    audio.spare5, audio.video_height, audio.video_width, audio.video_frame_rate,
                    audio.video_sample_count, audio.spare21, audio.spare22, audio.file_size_high}),
            Values(11, 0));

  // MPEG-1 audio: the fields come from the first frame's header; the
  // reserved rate index 3 gives no rate
  for (const auto& [header, expected] :
       {std::pair<const char*, Values>{"\xFF\xFB\x90\xC4", {1, 3, 1, 0, 44100, 96000}},
        {"\xFF\xF3\x48\x41", {1, 1, 2, 1, 16000, 96000}},
        {"\xFF\xFB\x9C\xC4", {1, 3, 1, 0, 0, 96000}}}) {
    std::vector<std::vector<uint32_t>> offsets;
    Bytes file = BuildMovie({WithEsds(AudioPlan(2, 2), Mpeg1Esds(96000))}, &offsets);
    std::memcpy(&file[offsets[0][0]], header, 4);
    const FileInfo m = Info(file);
    EXPECT_EQ((Values{m.audio_is_mpeg1, m.audio_channel_mode, m.audio_channels, m.audio_emphasis,
                      m.audio_sample_rate, m.audio_avg_bitrate}),
              expected);
  }

  // The configuration is an AudioSpecificConfig for MPEG-4 audio and MPEG-2
  // AAC only. Another codec (EVRC, QCELP, an unknown one) reports 0 for what
  // is not known, and keeps its sample count and declared bit rates.
  for (const auto& [oti, known] : {std::pair<uint8_t, bool>{0x40, true},
                                   {0x66, true},
                                   {0x68, true},
                                   {0x65, false},
                                   {0x6A, false},
                                   {0xA0, false},
                                   {0xFE, false}}) {
    // 0x70 0x70 would read as object type 14, 96000 Hz, 14 channels
    const Bytes dsi = known ? Bytes{0x12, 0x10} : Bytes{0x70, 0x70};
    const FileInfo a = Info(BuildMovie({WithEsds(AudioPlan(2, 3), Esds(oti, 0x15, dsi))}));
    EXPECT_EQ((Values{a.audio_sample_rate, a.audio_channels, a.audio_channels_copy,
                      a.audio_object_type, a.audio_profile, a.audio_is_mpeg1}),
              (known ? Values{44100, 2, 2, 2, 1, 0} : Values(6, 0)))
        << int(oti);
    EXPECT_EQ(
        (Values{a.audio_sample_count, a.audio_max_bitrate, a.audio_avg_bitrate, a.constant_one}),
        (Values{3, 200000, 100000, 1}));
  }

  // only video: the frame rate from the media duration, no audio words
  const FileInfo video = Info(BuildMovie({WithEsds(VideoPlan(1, 4), Esds(0x20, 0x11, kVideoDsi))}));
  // frame rate 4 samples x 1000 / 400
  EXPECT_EQ((Values{video.video_frame_rate, video.video_profile_level, video.audio_sample_count,
                    video.constant_one}),
            (Values{10, 8, 0, 0}));
}

TEST(FileInfoTest, Failures) {
  int32_t r = 0;
  Info(ScratchPath("missing.mp4"), &r);
  EXPECT_EQ(r, -11);
  EXPECT_EQ(GetFileInfo(nullptr, nullptr), -11);
  const std::string path = WriteScratchFile("x.mp4", BuildMovie({AudioPlan(1, 1)}));
  EXPECT_EQ(GetFileInfo(path.c_str(), nullptr), -12);
  Info(WriteScratchFile("not.mp4", Str("this is no mp4 file")), &r);
  EXPECT_EQ(r, -21);
  // a directory opens for reading here, but cannot be read: as a missing file
  const std::string dir = ScratchPath("dir.mp4");
  std::filesystem::create_directory(dir);
  FileInfo info;
  EXPECT_EQ(CaptureStdout([&] { r = GetFileInfo(dir.c_str(), &info); }), "");
  EXPECT_EQ(r, -11);
}
