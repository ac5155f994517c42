// The serialiser on single atoms, sized from a track's table blocks and
// written out: their exact bytes, the Duration, and the messages of atoms
// that cannot be sized or written.
#include "atom/atom_bodies.h"
#include "serialise/atom_serialiser.h"
#include "serialise/esds_write.h"
#include "support/test_support.h"
#include "writer/table_blocks.h"
#include "writer/writer_tree.h"

using namespace box;
using Numbers = std::vector<uint32_t>;
using Sizer = std::function<Status(AtomNode*, uint32_t*)>;
using Spoil = std::function<void(TrackNode*)>;

namespace {

AtomNode* NewAtom(const char* type) {
  AtomNode* node = static_cast<AtomNode*>(AllocZeroed(sizeof(AtomNode)));
  CopyAtomType(node->type, type);
  EXPECT_TRUE(Ok(AllocateNodeRecord(node)));
  return node;
}

// An atom of `type` sized by `size` and, when that succeeds, written: its
// bytes, and what both printed.
std::pair<Bytes, std::string> Built(const char* type, const Sizer& size) {
  AtomNode* node = NewAtom(type);
  Root_atom root{};
  root.file = std::tmpfile();
  uint32_t n = 0;
  const std::string said = CaptureStdout([&] {
    if (Ok(size(node, &n))) (void)WriteAtomTree(node, &root);
  });
  Bytes bytes(root.file_size);
  std::rewind(root.file);
  EXPECT_EQ(std::fread(bytes.data(), 1, bytes.size(), root.file), bytes.size());
  std::fclose(root.file);
  FreeAtomSubtree(node);
  FreeAtomNode(node);
  return {bytes, said};
}
std::pair<Bytes, std::string> Built(const char* type, TrackNode* track) {
  return Built(type, [&](AtomNode* a, uint32_t* n) { return SizeTrackAtom(a, track, n); });
}

TEST(SampleTableWrite, TablesOfTableBlocks) {
  // A track's samples of 10 bytes at `times` in blocks of `capacity`, filled
  // as the appends fill them, key frames at `keys`, then spoiled; the atom's
  // bytes, or none and a message. A block's last sample is an entry of its
  // own, timed to the next block, or with the delta before it when the next
  // block starts earlier; the sum of the durations is the track's. Video
  // chunks begin at key frames, and the samples before the first form their
  // own. (Whole files' tables: the writer's flush tests.)
  const Spoil none = nullptr;
  const Spoil gap = [](TrackNode* t) { t->NextBlock->FirstSample = 3; };
  const Spoil key_gap = [](TrackNode* t) { t->NextBlock->FirstKeyFrame = 0; };
  const Spoil past = [](TrackNode* t) { t->KeyFrameTable[0].sample_index = 30; };  // no such sample
  const Spoil huge = [](TrackNode* t) { t->KeyFrameCount = 0x40000000; };  // past a 32-bit atom
  const std::string samples = "Error value in the TrackNode's SampleCount;\n",
                    keyframes = "Error value in the TrackNode's KeyFrameCount;\n";
  const Numbers four = {0, 1, 2, 3}, thirty(30);
  const uint32_t A = kTrackAudio, V = kTrackVideo;
  const std::tuple<const char*, uint32_t, Numbers, Numbers, int32_t, Spoil, Bytes, std::string,
                   uint32_t>
      rows[] = {
          {"stts", A, {0, 10, 15, 25}, {}, 9, none, Stts({{1, 10}, {1, 5}, {2, 10}}), "", 35},
          {"stts", A, {0, 10, 20, 5, 15}, {}, 3, none, Stts({{2, 10}, {1, 10}, {2, 10}}), "", 50},
          {"stsc", V, thirty, {5, 20}, 20, none, Stsc({{1, 5, 1}, {2, 15, 1}, {3, 10, 1}}), "", 0},
          {"stsc", kTrackHint, {0}, {}, 9, none, {}, "", 0},  // the enclosing stbl names it
          {"stsz", A, four, {}, 2, gap, {}, samples, 0},
          {"stss", V, four, {0, 2}, 2, key_gap, {}, keyframes, 0},
          {"stco", V, thirty, {0}, 40, past, {}, "", 0},
          {"stss", V, thirty, {0}, 40, huge, {}, "", 0}};
  for (const auto& [atom, type, times, keys, capacity, spoil, bytes, said, duration] : rows) {
    TrackNode* first = static_cast<TrackNode*>(AllocZeroed(sizeof(TrackNode)));
    first->TrackType = type;
    EXPECT_TRUE(Ok(CreateSampleAndKeyFrameTable(&first, capacity)));
    for (uint32_t i = 0, key_count = 0; i < times.size(); ++i) {
      TrackNode* b = LastBlock(first);
      if (b->SampleCount == uint32_t(capacity)) {
        EXPECT_TRUE(Ok(CreateSampleAndKeyFrameTable(&first, capacity)));
        b = LastBlock(first);
        b->FirstSample = i, b->FirstKeyFrame = key_count, b->TrackType = type;
      }
      b->SampleTable[b->SampleCount++] = {times[i], 0, i * 10, 10, 0};
      if (std::count(keys.begin(), keys.end(), i) != 0)
        b->KeyFrameTable[b->KeyFrameCount++] = {times[i], i}, ++key_count;
    }
    if (spoil) spoil(first);
    EXPECT_EQ(Built(atom, first), (std::pair{bytes, said})) << atom << times.size();
    EXPECT_EQ(first->Duration, duration);
    FreeTrackBlocks(first);
  }
}

// A track of `type` with the configuration bytes `config`; video of profile
// `a` and width `b` (176 x 144, 30 ticks a second), audio of profile `a`,
// `b` channels at `c` Hz.
TrackNode Track(uint32_t type, const Bytes& config = {}, uint32_t a = 0, uint32_t b = 0,
                uint32_t c = 0) {
  TrackNode t{};
  t.TrackType = type, t.ProfileLevel = t.AudioProfile = a, t.ChannelConfig = b, t.SampleRate = c;
  t.Width = uint16_t(b), t.Height = 144, t.TimeIncrementResolution = 30;
  t.MaxBitRate = 0x01020304, t.AvgBitRate = 0x05060708;
  std::copy(config.begin(), config.end(), t.DecoderConfig);
  t.DecoderConfigLength = uint32_t(config.size());
  return t;
}

TEST(EsdsWrite, VideoConfigurationsAreCompletedOrMadeUp) {
  const Bytes long_vo = Cat({{0, 0, 1, 0}, Bytes(48, 0x44)});  // 62 bytes with the prefix
  // given, profile, width, the esds's configuration (made up when none is
  // given), length after; no header of its own, or a picture that 13 bits
  // cannot hold: refused silently
  const std::tuple<Bytes, uint8_t, uint16_t, Bytes, uint32_t> cases[] = {
      {{}, 1, 176, Cat({Hex("000001B001 000001B509"), kQcifVol}), 0},
      {kQcifVol, 3, 176, Cat({Hex("000001B003 000001B509"), kQcifVol}), 28},
      {Cat({Hex("000001B0F5"), Bytes(20, 3)}), 8, 176, Cat({Hex("000001B008"), Bytes(20, 3)}), 25},
      {long_vo, 2, 176, Cat({Hex("000001B002 000001B509"), long_vo}), 62},
      {Hex("000001B6"), 1, 176, {}, 4},
      {{}, 1, 8192, {}, 0}};
  for (const auto& [given, profile, width, dsi, length_after] : cases) {
    TrackNode t = Track(kTrackVideo, given, profile, width);
    Status s = Status::kOk;
    EXPECT_EQ(Built("esds", [&](AtomNode* a, uint32_t* n) { return s = SizeTrackAtom(a, &t, n); }),
              (std::pair{dsi.empty() ? Bytes{} : Esds(0x20, 0x11, dsi, 0x01020304, 0x05060708),
                         std::string()}));
    EXPECT_EQ((std::pair{s, t.DecoderConfigLength}),
              (std::pair{dsi.empty() ? Status::kNotFound : Status::kOk, length_after}));
  }
  TrackNode widest = Track(kTrackVideo, {}, 1, 8191);
  EXPECT_EQ(ReadUint32BE(&Built("esds", &widest).first[65]) >> 14 & 0x1FFF, 8191u);
}

TEST(EsdsWrite, AudioAndSystemStreams) {
  // The AudioSpecificConfig from the profile, channels and rate, or from the
  // bytes given: an ADTS header, two bytes as they are; AAC Main by its
  // parameters; rates outside the table take the nearest one's index.
  const std::tuple<TrackNode, uint16_t> configs[] = {
      {Track(kTrackAudio, {}, 1, 2, 12000), 0x1490}, {Track(kTrackAudio, Hex("FFF15080")), 0x1210},
      {Track(kTrackAudio, Hex("1388")), 0x1388},     {Track(kTrackAudio, {}, 0, 2, 44100), 0x0A10},
      {Track(kTrackAudio, {}, 1, 2, 44000), 0x1210}, {Track(kTrackAudio, {}, 1, 2, 1000), 0x1590}};
  for (const auto& [track, asc] : configs) EXPECT_EQ(BuildAudioSpecificConfig(track), asc) << asc;
  // the bodies of AAC, of audio given nothing (described as MPEG-1 audio),
  // of the object descriptor and of the scene streams
  const std::pair<TrackNode, const char*> bodies[] = {
      {Track(kTrackAudio, {}, 1, 2, 44100),
       "038080801F 0002 00 0480808014 40 15 0000F4 01020304 05060708 0580808002 1210 060102"},
      {Track(kTrackAudio), "0380808018 0002 00 048080800D 6B 15 0000F4 01020304 05060708 060102"},
      {Track(kTrackObjectDescriptor), "0315 0003 00 040D 01 05 000C2F 00006178 00000000 060102"},
      {Track(kTrackScene), "031A 0004 00 0412 02 0D 000400 00000140 00000140 0503 000040 060102"}};
  for (auto [track, hex] : bodies)
    EXPECT_EQ(Built("esds", &track).first, Atom("esds", {Full(0, 0), Hex(hex)})) << hex;
  TrackNode hint = Track(kTrackHint);
  EXPECT_EQ(Built("esds", &hint),
            (std::pair{Bytes{}, std::string("unsupport track type while writing esds atom\n")}));
}

TEST(AtomWrite, H263AndAmrConfigurationsAndBrands) {
  TrackNode t{};
  EXPECT_EQ(Built("d263", &t).first, Atom("d263", {Str("KWMB"), Bytes{0, 10, 0}}));
  // mode_set has the bit of the first frame's AMR mode, or all of them
  for (auto [header, modes] :
       {std::pair{0x3C, 0x80}, {0x04, 0x01}, {0x24, 0x10}, {0x00, 0xFF}, {0x44, 0xFF}}) {
    t.DecoderConfig[0] = uint8_t(header);
    EXPECT_EQ(Built("damr", &t).first,
              Atom("damr", {Str("ZQVX"), Bytes{0, 0x81, uint8_t(modes), 0, 1}}))
        << header;
  }
  MP4_local_file file{};
  file.brand_selector = 1;
  EXPECT_EQ(
      Built("ftyp", [&](AtomNode* a, uint32_t* n) { return SizeMovieAtom(a, &file, n); }).first,
      Atom("ftyp", {Str("isom"), U32(0), Str("mp41")}));
}

TEST(AtomWrite, MissingOrUnknownChildrenAreNamed) {
  TrackNode track = Track(kTrackVideo);
  const auto nothing = [](const char* said) { return std::pair{Bytes{}, std::string(said)}; };
  EXPECT_EQ(Built("mp4v", &track), nothing("the mp4v atom does not contain esds child atom\n"));
  EXPECT_EQ(Built("stsd", &track),
            nothing("the Stsd atom does not contain mp4v or mp4a or mp4s child atom\n"));
  EXPECT_EQ(Built("stbl",
                  [&](AtomNode* stbl, uint32_t* n) {
                    stbl->first_child = NewAtom("ctts");
                    return SizeTrackAtom(stbl, &track, n);
                  }),
            nothing("there is error in [stbl]'s child=>[ctts]\n"));
  // a table whose entries the writer does not fill, written unsized
  EXPECT_EQ(Built("ctts", [](AtomNode*, uint32_t*) { return Status::kOk; }).second,
            "error occuring in writing [ctts]atom\n");
}

}  // namespace
