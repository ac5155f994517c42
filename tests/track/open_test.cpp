// MP4FileOpen and MP4FileClose: discovery, messages and failures.
#include "support/test_support.h"

using namespace box;

TEST(Open, VideoAndAudioTracks) {
  const std::string path =
      WriteScratchFile("av.mp4", BuildMovie({VideoPlan(1, 10), AudioPlan(2, 20)}));
  OpenedFile f(path), again(path);
  // two opens of one file share nothing
  EXPECT_NE(f.file->root->file, again.file->root->file);
  EXPECT_NE(f.track(1)->sample_table, again.track(1)->sample_table);
  EXPECT_EQ((Values{f.file->video_track_id, f.file->audio_track_id}), (Values{1, 2}));
  for (uint32_t id = 0; id < 400; ++id) EXPECT_EQ(f.track(id) != nullptr, id == 1 || id == 2) << id;
  EXPECT_EQ(f.track(1)->media_type, 1);
  EXPECT_EQ(f.track(2)->media_type, 2);
  EXPECT_EQ(f.track(2)->key_table, nullptr);
  EXPECT_EQ(f.file->video_cursor + f.file->audio_cursor + f.file->key_cursor, 0);
  // width, sample count and timescale; data-reference index, sample rate and sample count
  EXPECT_EQ((Values{f.file->video_info[0], f.file->video_info[2], f.file->video_info[3]}),
            (Values{176, 10, 1000}));
  EXPECT_EQ((Values{f.file->audio_info[0], f.file->audio_info[1], f.file->audio_info[3]}),
            (Values{1, 44100, 20}));
  // every absent ID draws one not-found line; the last child of moov is a trak
  EXPECT_EQ(Count(f.output, "Can't find such track["), 398u);
  EXPECT_NE(f.output.find("got track [1]\n"), std::string::npos);
  EXPECT_EQ(f.output.rfind("file is [", 0), 0u);
}

TEST(Open, TwoVideoTracksAndHandlers) {
  TrackPlan text = AudioPlan(5, 2);
  text.handler = "text";
  OpenedFile f(BuildMovie({VideoPlan(1, 4), VideoPlan(3, 6), text}));
  EXPECT_EQ(f.file->video_track_id, 1u);
  EXPECT_EQ(f.file->video_info[2], 6u);  // the sample count of the last video track discovered
  EXPECT_EQ((Values{f.track(1)->sample_count, f.track(3)->sample_count}), (Values{4, 6}));
  EXPECT_EQ(f.track(5)->media_type, -99);
  EXPECT_EQ(f.track(5)->sample_table, nullptr);
  EXPECT_NE(f.output.find("Unknown media type [text]\n"), std::string::npos);
}

TEST(Open, DiscoveryEdgeCases) {
  // a trak without tkhd hides the tracks after it
  OpenedFile h(Movie({Atom("trak", {Atom("mdia")}), SimpleTrak("soun", {})}));
  EXPECT_EQ(h.track(1), nullptr);
  EXPECT_EQ(Count(h.output, "Can't find tkhd atom\n"), 400u);

  // ID 400 is out of reach; moov ends in udta: the other not-found line
  OpenedFile g(Cat({BuildMovie({AudioPlan(400, 3)}), Atom("free")}));
  EXPECT_EQ(g.file->audio_track_id, 0u);

  OpenedFile u(Movie({Atom("udta")}));
  EXPECT_EQ(Count(u.output, "Can't find such track [7] atom\n"), 1u);

  // no moov at all: the file opens, with no tracks
  OpenedFile m(Cat({Ftyp(), Atom("mdat", {Zeros(8)})}));
  EXPECT_EQ(Count(m.output, "Can't find moov atom\n"), 400u);

  // version-1 tkhd and mdhd: the fields where version 1 puts them
  OpenedFile v(Movie({Trak(Tkhd(9, 0, 0, 1), Mdhd(22050, 4410, 1), "soun",
                           Stsd(Mp4a(1, 22050, Esds(0x40, 0x15, {}))),
                           {Stts({{2, 1}}), Stsc({{1, 2, 1}}), Stsz(4, 2), Stco({20})})}));
  EXPECT_EQ((Values{v.file->audio_track_id, v.file->audio_info[1], v.file->audio_info[2]}),
            (Values{9, 22050, 4410}));
}

TEST(Open, FailuresLeaveAClosableRecord) {
  const std::string empty = WriteScratchFile("empty.mp4", {});
  // an atom type that is not known at the top level fails the file
  const std::string bad =
      WriteScratchFile("bad.mp4", Cat({Ftyp(), Atom("uuid", {Zeros(16)}), Atom("moov")}));
  const std::string missing = ScratchPath("missing.mp4");
  const std::string long_path = std::string(256, 'a');
  // a directory opens for reading here, but does not read
  const std::string dir = ScratchPath("dir.mp4");
  std::filesystem::create_directory(dir);
  const std::pair<std::string, std::string> cases[] = {
      // path, what the open prints
      {empty, "file is [" + empty + "]\nfile size be zero!!\n"},
      {missing, "file is [" + missing + "]\nCan't open the file - " + missing + " \n"},
      {bad, "file is [" + bad + "]\nfile size [56]\nfile parse error, may not a mp4 file\n"},
      {long_path, "file is [" + long_path + "]\nCan't open the file - " + long_path + " \n"},
      {dir, "file is [" + dir + "]\nCan't open the file - " + dir + " \n"},
  };
  for (const auto& [path, expected] : cases) {
    OpenedFile f(path, "failing");
    EXPECT_EQ(f.result, -99);
    EXPECT_EQ(f.output, expected);
    ASSERT_NE(f.file, nullptr);
    EXPECT_EQ(f.file->root, nullptr);
    EXPECT_EQ(MP4FileClose(&f.file), 1);  // releases the record
    EXPECT_EQ(f.file, nullptr);
  }
  EXPECT_EQ(MP4FileClose(nullptr), 1);
}

// The close releases the record and clears the handle; every call that
// takes a file then answers it as no file, closing again included.
TEST(Open, CloseClearsTheHandle) {
  OpenedFile f(BuildMovie({VideoPlan(1, 3), AudioPlan(2, 3)}));
  EXPECT_EQ(MP4FileClose(&f.file), 1);
  ASSERT_EQ(f.file, nullptr);
  unsigned char* data = nullptr;
  unsigned char out[ORNIVEX_ESDS_DATA_MAX];
  uint32_t size = 0, time = 0, w = 0, h = 0;
  const std::string output = CaptureStdout([&] {
    const std::vector<int32_t> results = {MP4GetNextSample(f.file, 1, &data, &size, &time),
                                          GetSample(f.file, 1, 0, &data, &size),
                                          SeekTrack(f.file, 1, 0, &data, &size),
                                          GoToBeginOfKeyFrame(f.file, 1),
                                          GoToEndOfKeyFrame(f.file, 1),
                                          MP4NextKeyFrame(f.file, 1, &data, &size),
                                          MP4PrevKeyFrame(f.file, 1, &data, &size),
                                          GetM4vEsdsData(f.file, out, &w, &h, &size),
                                          GetM4aEsdsData(f.file, out, &size),
                                          MP4FileClose(&f.file)};
    EXPECT_EQ(results, (std::vector<int32_t>{-1, -99, -99, -99, -99, -1, -1, -99, -99, 1}));
  });
  EXPECT_EQ(Count(output, "mp4 file uncreated\n"), 9u) << output;
  EXPECT_EQ(data, nullptr);
}

// The tree, the index and the reads the open makes; every call on the
// shared corpus and the fuzz seeds runs in the fuzz replays.
TEST(Open, DamagedFilesNeverCrash) {
  const Bytes good = BuildMovie({VideoPlan(1, 6), AudioPlan(2, 9)});
  for (size_t n = 1; n < good.size(); ++n)  // every prefix
    OpenedFile f(Bytes(good.begin(), good.begin() + long(n)), "prefix " + std::to_string(n));
  std::mt19937 rng(99);
  for (int round = 0; round < 300; ++round) {  // random bytes changed
    Bytes bad = good;
    for (int c = 0; c < 3; ++c) bad[rng() % bad.size()] = uint8_t(rng());
    OpenedFile f(bad, "round " + std::to_string(round));
  }
}
