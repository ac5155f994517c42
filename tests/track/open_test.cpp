// MP4FileOpen and MP4FileClose: discovery, messages and failures.
#include "support/test_support.h"

using namespace box;

TEST(Open, TracksAndHandlers) {
  TrackPlan text = AudioPlan(5, 2);
  text.handler = "text";
  OpenedFile f(
      BuildMovie({VideoPlan(1, 10), AudioPlan(2, 20), VideoPlan(3, 6), AudioPlan(4, 7), text}));
  // the first video and audio tracks are read; the info is the last discovered's
  EXPECT_EQ((Values{f.file->video_track_id, f.file->audio_track_id}), (Values{1, 2}));
  std::string present;  // ID:media type:sample count, and whether it has tables
  for (uint32_t id = 0; id < 400; ++id)
    if (const ReadTrackNode* t = f.track(id))
      present += std::to_string(id) + ":" + std::to_string(t->media_type) + ":" +
                 std::to_string(t->sample_count) + (t->key_table ? "k " : " ");
  EXPECT_EQ(present, "1:1:10k 2:2:20 3:1:6k 4:2:7 5:-99:0 ");
  // width, sample count and timescale; data-reference index, sample rate and
  // sample count; the cursors
  EXPECT_EQ((Values{f.file->video_info[0], f.file->video_info[2], f.file->video_info[3],
                    f.file->audio_info[0], f.file->audio_info[1], f.file->audio_info[3],
                    uint32_t(f.file->video_cursor + f.file->audio_cursor + f.file->key_cursor)}),
            (Values{176, 6, 1000, 1, 44100, 7, 0}));
  // every absent ID draws one not-found line; the last child of moov is a trak
  EXPECT_EQ((std::vector<size_t>{Count(f.output, "Can't find such track["),
                                 Count(f.output, "got track ["),
                                 Count(f.output, "Unknown media type [text]\n")}),
            (std::vector<size_t>{395, 5, 1}));
}

TEST(Open, DiscoveryEdgeCases) {
  // a trak without tkhd hides the tracks after it; ID 400 is out of reach;
  // moov ends in udta: the other not-found line; no moov: no tracks
  OpenedFile h(Movie({Atom("trak", {Atom("mdia")}), SimpleTrak("soun", {})}));
  OpenedFile g(BuildMovie({AudioPlan(400, 3)}));
  OpenedFile u(Movie({Atom("udta")}));
  OpenedFile m(Cat({Ftyp(), Atom("mdat", {Zeros(8)})}));
  EXPECT_EQ((std::vector<size_t>{h.track(1) == nullptr, Count(h.output, "Can't find tkhd atom\n"),
                                 g.file->audio_track_id,
                                 Count(u.output, "Can't find such track [7] atom\n"),
                                 Count(m.output, "Can't find moov atom\n")}),
            (std::vector<size_t>{1, 400, 0, 1, 400}));
  // version-1 tkhd and mdhd: the fields where version 1 puts them
  OpenedFile v(Movie({Trak(Tkhd(9, 0, 0, 1), Mdhd(22050, 4410, 1), "soun",
                           Stsd(Mp4a(1, 22050, Esds(0x40, 0x15, {}))),
                           {Stts({{2, 1}}), Stsc({{1, 2, 1}}), Stsz(4, 2), Stco({20})})}));
  EXPECT_EQ((Values{v.file->audio_track_id, v.file->audio_info[1], v.file->audio_info[2]}),
            (Values{9, 22050, 4410}));
}

TEST(Open, FailuresLeaveAClosableRecord) {
  const std::string empty = WriteScratchFile("empty.mp4", {}), missing = ScratchPath("none.mp4"),
                    long_path(256, 'a'), dir = ScratchPath("dir.mp4"),
                    bad = WriteScratchFile("bad.mp4", Cat({Ftyp(), Atom("uuid", {Zeros(16)})}));
  std::filesystem::create_directory(dir);  // opens for reading here, but does not read
  const std::pair<std::string, std::string> cases[] = {
      {empty, "file size be zero!!\n"},
      {missing, "Can't open the file - " + missing + " \n"},
      {bad, "file size [48]\nfile parse error, may not a mp4 file\n"},  // unknown at the top level
      {long_path, "Can't open the file - " + long_path + " \n"},
      {dir, "Can't open the file - " + dir + " \n"}};
  for (const auto& [path, expected] : cases) {
    OpenedFile f(path, "failing");
    EXPECT_EQ(std::make_tuple(f.result, f.output, f.file->root),
              std::make_tuple(-99, "file is [" + path + "]\n" + expected, nullptr));
  }
  // the close releases the record and clears the handle; every call then
  // answers it as no file
  OpenedFile f(BuildMovie({VideoPlan(1, 3)}));
  EXPECT_EQ(MP4FileClose(&f.file) + MP4FileClose(&f.file), 2);
  EXPECT_EQ(CaptureStdout([&] { EXPECT_EQ(GoToEndOfKeyFrame(f.file, 1), -99); }),
            "mp4 file uncreated\n");
  EXPECT_EQ(MP4FileClose(nullptr), 1);
}
