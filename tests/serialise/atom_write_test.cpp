// The sizing pass and the writing pass on single atoms and on the track
// subtrees that CreateTrack builds: esds and iods bodies, header and sample
// entry fields, the failure messages of containers and of the writer.
#include "atom/atom_bodies.h"
#include "serialise/atom_serialiser.h"
#include "serialise/esds_write.h"
#include "support/test_support.h"
#include "writer/writer_release.h"
#include "writer/writer_tree.h"

using namespace box;

namespace {

// Writes `node` with its children, not its siblings; hands out the bytes.
Bytes Written(AtomNode* node, std::string* said = nullptr) {
  Root_atom root{};
  root.file = std::tmpfile();
  AtomNode* next = node->next;
  node->next = nullptr;
  std::string out = CaptureStdout([&] { (void)WriteAtomTree(node, &root); });
  node->next = next;
  if (said != nullptr) *said = out;
  Bytes bytes(root.file_size);
  std::rewind(root.file);
  EXPECT_EQ(std::fread(bytes.data(), 1, bytes.size(), root.file), bytes.size());
  std::fclose(root.file);
  return bytes;
}

// A lone esds sized for `track`: its bytes, or nothing with the status.
Bytes Esds(TrackNode* track, Status* status = nullptr, std::string* said = nullptr) {
  AtomNode* node = static_cast<AtomNode*>(AllocZeroed(sizeof(AtomNode)));
  CopyAtomType(node->type, "esds");
  EXPECT_TRUE(Ok(AllocateNodeRecord(node)));
  uint32_t size = 0;
  Status s = Status::kOk;
  const std::string out = CaptureStdout([&] { s = SizeTrackAtom(node, track, &size); });
  if (status != nullptr) *status = s;
  if (said != nullptr) *said = out;
  const Bytes bytes = Ok(s) ? Written(node) : Bytes{};
  FreeAtomNode(node);
  return bytes;
}

TrackNode VideoTrack(const Bytes& config, uint32_t profile = 1, uint16_t width = 176) {
  TrackNode t{};
  t.TrackType = kTrackVideo;
  t.Width = width;
  t.Height = 144;
  t.TimeIncrementResolution = 30;
  t.ProfileLevel = profile;
  t.MaxBitRate = 200000;
  t.AvgBitRate = 100000;
  std::copy(config.begin(), config.end(), t.DecoderConfig);
  t.DecoderConfigLength = uint32_t(config.size());
  return t;
}

Bytes Prefix(uint8_t profile) {
  return {0, 0, 1, 0xB0, profile, 0, 0, 1, 0xB5, 0x09};
}

TEST(EsdsWrite, VideoConfigurationsAreCompletedOrMadeUp) {
  const Bytes vol_start = {0, 0, 1, 0, 0, 0, 1, 0x20};
  const Bytes default_vol = {0x01, 0x88, 0x40, 0x07, 0xA8, 0x2C, 0x20, 0x90, 0xA3, 0x1F};
  Bytes sequence = Cat({{0, 0, 1, 0xB0, 0xF5}, Bytes(20, 0x33)});
  Bytes long_vo = Cat({{0, 0, 1, 0}, Bytes(48, 0x44)});  // 62 bytes with the prefix
  struct Case {
    Bytes config;
    uint8_t profile;
    Bytes dsi;
    uint32_t length_after;
  };
  const Case cases[] = {
      {{}, 1, Cat({Prefix(1), vol_start, default_vol}), 0},
      {kQcifVol, 3, Cat({Prefix(3), kQcifVol}), 28},
      {sequence, 8, Cat({{0, 0, 1, 0xB0, 8}, Bytes(20, 0x33)}), 25},
      {long_vo, 2, Cat({Prefix(2), long_vo}), 62},
  };
  for (const Case& c : cases) {
    TrackNode t = VideoTrack(c.config, c.profile);
    EXPECT_EQ(Esds(&t), box::Esds(0x20, 0x11, c.dsi)) << c.dsi.size();
    EXPECT_EQ(t.DecoderConfigLength, c.length_after);
  }
  TrackNode t = VideoTrack({});
  const Bytes made = Esds(&t);
  EXPECT_EQ(Bytes(made.begin() + 12, made.begin() + 25),
            (Bytes{3, 0x80, 0x80, 0x80, 57, 0, 1, 0, 4, 0x80, 0x80, 0x80, 46}));
}

TEST(EsdsWrite, VideoThatCannotBeDescribedIsNotAcceptedSilently) {
  for (auto [config, width] :
       {std::pair{Bytes{0, 0, 1, 0xB6, 0x10}, 176}, {Bytes{}, 8192}, {Bytes{0, 0, 1}, 176}}) {
    TrackNode t = VideoTrack(config, 1, uint16_t(width));
    Status s = Status::kOk;
    std::string said;
    EXPECT_EQ(Esds(&t, &s, &said), Bytes{});
    EXPECT_EQ(s, Status::kNotFound);
    EXPECT_EQ(said, "");
  }
  TrackNode widest = VideoTrack({}, 1, 8191);
  const Bytes made = Esds(&widest);
  ASSERT_EQ(made.size(), 74u);
  EXPECT_EQ(ReadUint32BE(&made[65]) >> 14 & 0x1FFF, 8191u);  // the 13-bit width
}

TEST(EsdsWrite, AudioSpecificConfigFromParametersBytesOrAdtsHeader) {
  struct Case {
    uint32_t profile, channels, rate;
    Bytes config;
    uint16_t asc;
  };
  const Case cases[] = {
      {1, 2, 44100, {}, 0x1210},
      {1, 2, 12000, {}, 0x1490},
      {0, 0, 0, {0xFF, 0xF1, 0x50, 0x80}, 0x1210},  // an ADTS header
      {0, 0, 0, {0x13, 0x88}, 0x1388},              // two bytes taken as they are
      {0, 2, 44100, {}, 0x0A10},                    // AAC Main by its parameters, not 0x0000
      {1, 1, 7350, {}, 0x1608},
      {1, 2, 44000, {}, 0x1210},  // rates outside the table: the nearest one's index
      {1, 2, 9000, {}, 0x1590},
      {1, 2, 200000, {}, 0x1010},
      {1, 2, 1000, {}, 0x1590},
  };
  for (const Case& c : cases) {
    TrackNode t{};
    t.TrackType = kTrackAudio;
    t.AudioProfile = c.profile;
    t.ChannelConfig = c.channels;
    t.SampleRate = c.rate;
    std::copy(c.config.begin(), c.config.end(), t.DecoderConfig);
    t.DecoderConfigLength = uint32_t(c.config.size());
    EXPECT_EQ(BuildAudioSpecificConfig(t), c.asc) << c.rate << " " << c.profile;
  }
  TrackNode aac{};
  aac.TrackType = kTrackAudio;
  aac.AudioProfile = 1, aac.ChannelConfig = 2, aac.SampleRate = 44100;
  aac.MaxBitRate = 0x01020304, aac.AvgBitRate = 0x05060708;
  const Bytes rates = {1, 2, 3, 4, 5, 6, 7, 8};
  EXPECT_EQ(Esds(&aac), Atom("esds", {Full(0, 0),
                                      Bytes{3, 0x80, 0x80, 0x80, 0x1F, 0, 2, 0, 4, 0x80, 0x80, 0x80,
                                            0x14, 0x40, 0x15, 0, 0, 0xF4},
                                      rates, Bytes{5, 0x80, 0x80, 0x80, 2, 0x12, 0x10, 6, 1, 2}}));
  aac.AudioProfile = aac.ChannelConfig = aac.SampleRate = 0;  // nothing: MPEG-1 audio
  EXPECT_EQ(Esds(&aac), Atom("esds", {Full(0, 0),
                                      Bytes{3, 0x80, 0x80, 0x80, 0x18, 0, 2, 0, 4, 0x80, 0x80, 0x80,
                                            0x0D, 0x6B, 0x15, 0, 0, 0xF4},
                                      rates, Bytes{6, 1, 2}}));
}

TEST(EsdsWrite, SystemStreamsHaveFixedBodiesAndOtherTypesNone) {
  TrackNode od{}, scene{}, hint{};
  od.TrackType = kTrackObjectDescriptor;
  scene.TrackType = kTrackScene;
  hint.TrackType = kTrackHint;
  EXPECT_EQ(Esds(&od),
            Atom("esds", {Full(0, 0), Bytes{3, 0x15, 0,    3,    0, 4, 0x0D, 1, 5, 0, 0x0C, 0x2F,
                                            0, 0,    0x61, 0x78, 0, 0, 0,    0, 6, 1, 2}}));
  EXPECT_EQ(
      Esds(&scene),
      Atom("esds", {Full(0, 0), Bytes{3, 0x1A, 0, 4, 0, 4,    0x12, 2, 0x0D, 0, 4,    0, 0, 0,
                                      1, 0x40, 0, 0, 1, 0x40, 5,    3, 0,    0, 0x40, 6, 1, 2}}));
  Status s = Status::kOk;
  std::string said;
  EXPECT_EQ(Esds(&hint, &s, &said), Bytes{});
  EXPECT_EQ(said, "unsupport track type while writing esds atom\n");
}

// A writer record with tracks made by CreateTrack, released at the end.
struct Tracks {
  MP4_local_file* file = nullptr;
  Tracks() { EXPECT_EQ(MP4FileNew(&file, ScratchPath("tracks.mp4").c_str()), 1); }
  ~Tracks() { ReleaseWriterFile(file); }
  TrackNode* Add(int32_t type, uint32_t codec = 1, const Bytes& config = {}) {
    EXPECT_EQ(CreateTrack(file, type, 176, 144, 30, 8000, 1, 1, 2, 8000, uint32_t(config.size()),
                          config.data(), ScratchPath("t").c_str(), codec),
              1);
    TrackNode* const all[] = {nullptr, file->VideoTrackNode, file->AudioTrackNode,
                              nullptr, file->od_track,       file->scene_track};
    return all[type];
  }
};

AtomNode* Child(AtomNode* node, const std::string& path) {
  for (size_t at = 0; node != nullptr && at < path.size(); at += 5) {
    node = node->first_child;
    while (node != nullptr && !IsAtomType(node->type, path.c_str() + at)) node = node->next;
  }
  return node;
}
// Sizes the track's trak and writes the atom at `path` under it.
Bytes SizedAtom(TrackNode* track, const std::string& path) {
  uint32_t size = 0;
  EXPECT_TRUE(Ok(SizeTrackAtom(track->Trak, track, &size)));
  return Written(Child(track->Trak, path));
}

TEST(TrackAtomWrite, HeadersAndEntriesTakeTheTracksValues) {
  Tracks t;
  TrackNode* video = t.Add(1);
  TrackNode* audio = t.Add(2);
  TrackNode* od = t.Add(4);
  od->VideoTrackID = video->TrackID, od->AudioTrackID = audio->TrackID;
  const auto volume = [](const Bytes& tkhd) { return ReadUint32BE(&tkhd[44]) >> 16; };
  EXPECT_EQ((Values{volume(SizedAtom(video, "tkhd")), volume(SizedAtom(audio, "tkhd")),
                    volume(SizedAtom(od, "tkhd"))}),
            (Values{0, 0x100, 0}));
  EXPECT_EQ(Written(Child(od->Trak, "tref/mpod")), Atom("mpod", {U32(1), U32(2)}));
  EXPECT_EQ(Written(Child(audio->Trak, "mdia/hdlr")),
            Atom("hdlr", {Full(0, 0), U32(0), Str("soun"), Zeros(16)}));
  EXPECT_EQ(Written(Child(od->Trak, "mdia/hdlr"))[19], 'm');  // odsm
  const Bytes mp4a = Written(Child(audio->Trak, "mdia/minf/stbl/stsd/mp4a"));
  EXPECT_EQ(Bytes(mp4a.begin(), mp4a.begin() + 36),
            Cat({U32(36 + 48), Str("mp4a"), Zeros(6), Be(2, {1}), Zeros(8), Be(2, {2, 16}),
                 Be(4, {0, 8000 << 16})}));
  // one media track, or none, listed by the object descriptor track
  Tracks lone;
  TrackNode* alone = lone.Add(4);
  EXPECT_EQ(SizedAtom(alone, "tref/mpod"), Atom("mpod", {U32(0)}));
  alone->AudioTrackID = 7;
  EXPECT_EQ(SizedAtom(alone, "tref/mpod"), Atom("mpod", {U32(7)}));
}

TEST(TrackAtomWrite, H263AndAmrConfigurations) {
  struct Case {
    uint8_t header;
    uint8_t modes;
  };
  for (const Case c : {Case{0x3C, 0x80}, {0x04, 0x01}, {0x24, 0x10}, {0x00, 0xFF}, {0x44, 0xFF}}) {
    Tracks t;
    TrackNode* amr = t.Add(2, 2, {c.header});
    EXPECT_EQ(SizedAtom(amr, "mdia/minf/stbl/stsd/samr/damr"),
              Atom("damr", {Str("ZQVX"), Bytes{0, 0x81, c.modes, 0, 1}}))
        << int(c.header);
  }
  Tracks t;
  EXPECT_EQ(SizedAtom(t.Add(1, 2), "mdia/minf/stbl/stsd/s263/d263"),
            Atom("d263", {Str("KWMB"), Bytes{0, 10, 0}}));
}

TEST(TrackAtomWrite, AFailingChildIsNamedByItsContainer) {
  Tracks t;
  TrackNode* video = t.Add(1);
  AtomNode* stbl = Child(video->Trak, "mdia/minf/stbl");
  AtomNode* ctts = static_cast<AtomNode*>(AllocZeroed(sizeof(AtomNode)));
  CopyAtomType(ctts->type, "ctts");
  ASSERT_TRUE(Ok(AllocateNodeRecord(ctts)));
  ctts->parent = stbl;
  Child(stbl, "stss")->next = ctts;
  uint32_t size = 0;
  std::string said = CaptureStdout([&] { EXPECT_FALSE(Ok(SizeTrackAtom(stbl, video, &size))); });
  EXPECT_EQ(said, "there is error in [stbl]'s child=>[ctts]\n");
  // a table type that the writer does not fill stops the writing
  Written(stbl, &said);
  EXPECT_EQ(said, "error occuring in writing [ctts]atom\n");

  AtomNode* mp4v = Child(stbl, "stsd/mp4v");
  AtomNode* esds = mp4v->first_child;
  mp4v->first_child = nullptr;
  said = CaptureStdout([&] { EXPECT_FALSE(Ok(SizeTrackAtom(mp4v, video, &size))); });
  mp4v->first_child = esds;
  EXPECT_EQ(said, "the mp4v atom does not contain esds child atom\n");
}

TEST(MovieAtomWrite, FileTypeBrandsAndMediaDataHeader) {
  Tracks t;
  AtomNode* ftyp = t.file->root->first_atom;
  AtomNode* mdat = ftyp->next->next;
  uint32_t size = 0;
  ASSERT_TRUE(Ok(SizeMovieAtom(ftyp, t.file, &size)));
  EXPECT_EQ(Written(ftyp), Atom("ftyp", {Str("3gp4"), U32(0x200), Str("3gp4")}));
  t.file->brand_selector = 1;
  ASSERT_TRUE(Ok(SizeMovieAtom(ftyp, t.file, &size)));
  EXPECT_EQ(Written(ftyp), Atom("ftyp", {Str("isom"), U32(0), Str("mp41")}));
  t.file->video_bytes = 1000, t.file->audio_bytes = 24;
  ASSERT_TRUE(Ok(SizeMovieAtom(mdat, t.file, &size)));
  EXPECT_EQ((Values{size, mdat->size}), (Values{8, 1032}));
  EXPECT_EQ(Written(mdat), Cat({U32(1032), Str("mdat")}));
}

}  // namespace
