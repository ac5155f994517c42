// The decoder-configuration queries and GetFileInfo on built files; files
// written by ffmpeg and others are compared with ffprobe in file_info_ffprobe_test.
#include "serialise/asc_parse.h"
#include "serialise/esds_query.h"
#include "support/test_support.h"

using namespace box;

namespace {

// The 176 x 144 configuration the library writes: sequence, object, layer.
const Bytes kVideoDsi = Cat({Hex("000001B008 000001B509"), kQcifVol}), kAac = Hex("1210");

// What the esds query reports of an AudioSpecificConfig (object type,
// sample rate, channels), and what an ADTS header takes of it (frequency
// index, core rate, core object type).
std::string Asc(const char* hex) {
  const Bytes dsi = Hex(hex), esds = Esds(0x40, 0x15, dsi);
  AudioConfig c;
  AudioSpecificConfig a;
  EXPECT_TRUE(Ok(ParseAudioEsds(esds.data(), uint32_t(esds.size()), &c)) &&
              ParseAudioSpecificConfig(dsi.data(), uint32_t(dsi.size()), &a));
  std::ostringstream text;
  text << c.object_type << " " << c.sample_rate << " " << c.channels << " | " << a.frequency_index
       << " " << a.core_rate << " " << a.core_object_type;
  return text.str();
}

// GetFileInfo's words of `file` (word 0 is its size) but the spares (1, 5,
// 21, 22): video 2 to 9, audio 10 to 23, each group "0" when all 0; then
// what GetM4vEsdsData and GetM4aEsdsData return on it.
std::string Described(const Bytes& file) {
  OpenedFile f(file);
  const FileInfo info = Info(f.file->root->file_name);
  uint32_t w[24], h = 0, length = 0;
  static_assert(sizeof info == sizeof w);
  std::memcpy(w, &info, sizeof info);
  EXPECT_EQ(Values({w[0], w[1], w[5], w[21], w[22]}), Values({uint32_t(file.size()), 0, 0, 0, 0}));
  std::string v, a;
  for (int i : {2, 3, 4, 6, 7, 8, 9}) v += " " + std::to_string(w[i]);
  for (int i : {10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 23}) a += " " + std::to_string(w[i]);
  for (std::string* s : {&v, &a}) *s = s->find_first_not_of(" 0") == s->npos ? "0" : s->substr(1);
  unsigned char out[ORNIVEX_ESDS_DATA_MAX];
  const std::string m4v = std::to_string(GetM4vEsdsData(f.file, out, &w[0], &h, &length));
  return v + " | " + a + " | " + m4v + " " + std::to_string(GetM4aEsdsData(f.file, out, &length));
}
TrackPlan With(TrackPlan t, const Bytes& esds, const std::vector<Bytes>& data = {}) {
  t.esds = esds, t.data = data;
  return t;
}

TEST(EsdsQuery, AudioSpecificConfigs) {
  EXPECT_EQ(Asc("1210"), "2 44100 2 | 4 44100 2");
  EXPECT_EQ(Asc("1490"), "2 12000 2 | 9 12000 2");
  EXPECT_EQ(Asc("1690"), "2 0 2 | 13 0 2");                // a reserved frequency index
  EXPECT_EQ(Asc("17801F4090"), "2 16001 2 | 15 16001 2");  // an explicit rate
  EXPECT_EQ(Asc("F94820"), "42 44100 1 | 4 44100 42");     // an escaped object type
  EXPECT_EQ(Asc("EB8A0800"), "29 44100 2 | 7 22050 2");    // HE-AAC v2: a mono AAC LC core
  EXPECT_EQ(Asc("2C1284"), "5 32000 2 | 8 16000 1");       // SBR over AAC Main, signalled
  AudioSpecificConfig asc;
  EXPECT_FALSE(ParseAudioSpecificConfig(Hex("178056").data(), 3, &asc));  // cut short
}

TEST(FileInfoTest, EveryWordOfBuiltFiles) {
  // Word 1 file_size_high; video: 2 avg and 3 max bit rate, 4 profile and
  // level, 5 a spare, 6 height, 7 width, 8 frame rate (samples x 1000 / 400
  // here), 9 sample count; audio: 10 sample count, 11 MPEG-1, 12 channel mode,
  // 13 rate, 14 avg and 15 max bit rate, 16 profile, 17 channels, 18 the 1,
  // 19 object type, 20 channels, 21 and 22 spares, 23 emphasis.
  // Video configurations not handed out (no video object start code, a
  // header that does not parse) leave the sample entry's picture size.
  // Audio esds not handed out: longer than may be, running past the end of
  // the file; one with a DecoderSpecificInfo longer than the esds is handed
  // out, but says nothing to GetFileInfo. MPEG-1 audio takes its fields
  // from the first frame's header, whose rate index 3 gives no rate. The
  // configuration is an AudioSpecificConfig for MPEG-4 audio and MPEG-2 AAC
  // (0x66 to 0x68) only: another codec (EVRC 0x65 or 0x6A here) reports 0
  // for what is not known, though 70 70 would read as object type 14,
  // 96000 Hz, 14 channels.
  const Bytes esds = Esds(0x40, 0x15, kAac), mp3 = Esds(0x6B, 0x15, {});
  Bytes unparsed = kVideoDsi, past_end = BuildMovie({AudioPlan(2, 2)}), long_dsi = esds;
  unparsed[19] |= 0x01;  // video_object_layer_shape: not rectangular
  std::search(past_end.begin(), past_end.end(), esds.begin(), esds.end())[3] = 200;
  long_dsi[42] = 6;  // its length byte: 2 bytes claimed as 6
  const Bytes too_long =
      Atom("esds", {Bytes(esds.begin() + 8, esds.end()), Zeros(ORNIVEX_ESDS_DATA_MAX)});
  const auto video = [](const Bytes& dsi) {
    return BuildMovie({With(VideoPlan(1, 4), Esds(0x20, 0x11, dsi))});
  };
  const auto audio = [](const Bytes& esds, const std::vector<Bytes>& data = {}) {
    return BuildMovie({With(AudioPlan(2, 2), esds, data)});
  };
  const std::pair<Bytes, const char*> cases[] = {
      {BuildMovie({AudioPlan(2, 5)}), "0 | 5 0 0 44100 100000 200000 1 2 1 2 2 0 | -99 1"},
      {video(kVideoDsi), "100000 200000 8 144 176 10 4 | 0 | 1 -99"},
      {video(kAac), "100000 200000 0 144 176 10 4 | 0 | -99 -99"},
      {video(unparsed), "100000 200000 8 144 176 10 4 | 0 | -1 -99"},
      {audio(too_long), "0 | 2 0 0 0 0 0 0 0 1 0 0 0 | -99 -2"},
      {past_end, "0 | 2 0 0 0 0 0 0 0 1 0 0 0 | -99 -2"},
      {audio(long_dsi), "0 | 2 0 0 0 0 0 0 0 1 0 0 0 | -99 1"},
      {audio(mp3, {Hex("FFFB90C4"), {}}), "0 | 2 1 3 44100 100000 200000 0 1 1 0 1 0 | -99 1"},
      {audio(mp3, {Hex("FFF34841"), {}}), "0 | 2 1 1 16000 100000 200000 0 2 1 0 2 1 | -99 1"},
      {audio(mp3, {Hex("FFFB9CC4"), {}}), "0 | 2 1 3 0 100000 200000 0 1 1 0 1 0 | -99 1"},
      {audio(mp3, {Hex("FF9B90C4"), {}}),
       "0 | 2 1 3 0 100000 200000 0 1 1 0 1 0 | -99 1"},  // no sync
      {audio(Esds(0x66, 0x15, kAac)), "0 | 2 0 0 44100 100000 200000 1 2 1 2 2 0 | -99 1"},
      {audio(Esds(0x68, 0x15, kAac)), "0 | 2 0 0 44100 100000 200000 1 2 1 2 2 0 | -99 1"},
      {audio(Esds(0x65, 0x15, Hex("7070"))), "0 | 2 0 0 0 100000 200000 0 0 1 0 0 0 | -99 1"},
      {audio(Esds(0x6A, 0x15, Hex("7070"))), "0 | 2 0 0 0 100000 200000 0 0 1 0 0 0 | -99 1"}};
  for (const auto& [file, words] : cases) EXPECT_EQ(Described(file), words);
}

TEST(FileInfoTest, ExactBytesAndFailures) {
  OpenedFile f(BuildMovie({With(VideoPlan(1, 3), Esds(0x20, 0x11, kVideoDsi)), AudioPlan(2, 3)}));
  unsigned char v[ORNIVEX_ESDS_DATA_MAX], a[ORNIVEX_ESDS_DATA_MAX];
  uint32_t w = 0, h = 0, n = 0, m = 0;
  EXPECT_EQ((std::vector<int32_t>{
                GetM4vEsdsData(f.file, v, &w, &h, &n), GetM4aEsdsData(f.file, a, &m),
                GetM4vEsdsData(f.file, nullptr, &w, &h, &n), GetM4aEsdsData(f.file, nullptr, &m)}),
            (std::vector<int32_t>{1, 1, 0, 0}));
  // the video object layer header, the whole audio esds
  EXPECT_EQ(Cat({Be(4, {w, h}), Bytes(v, v + n), Bytes(a, a + m)}),
            Cat({Be(4, {176, 144}), kQcifVol, Esds(0x40, 0x15, kAac)}));
  EXPECT_EQ(CaptureStdout([&] { EXPECT_EQ(GetM4aEsdsData(nullptr, a, &m), -99); }),
            "mp4 file uncreated\n");
  // GetFileInfo: a directory opens for reading here, but cannot be read: as
  // a missing file, silently; no record; no MP4 file
  const std::string dir = ScratchPath("dir.mp4");
  std::filesystem::create_directory(dir);
  FileInfo info;
  std::vector<int32_t> r(5);
  EXPECT_EQ(CaptureStdout([&] {
              r = {GetFileInfo(dir.c_str(), &info), GetFileInfo(ScratchPath("none").c_str(), &info),
                   GetFileInfo(nullptr, nullptr), GetFileInfo(f.file->root->file_name, nullptr)};
            }),
            "");
  Info(WriteScratchFile("not.mp4", Str("this is no mp4 file")), &r.emplace_back());
  EXPECT_EQ(r, (std::vector<int32_t>{-11, -11, -11, -12, -21}));
}

}  // namespace
