// The serialiser on single atoms, sized from a track's table blocks and
// written out: the sample tables with the Duration, the esds bodies, and
// the messages of atoms that cannot be sized or written.
#include "atom/atom_bodies.h"
#include "serialise/atom_serialiser.h"
#include "serialise/esds_write.h"
#include "support/test_support.h"
#include "writer/table_blocks.h"
#include "writer/writer_tree.h"

using namespace box;
using Numbers = std::vector<uint32_t>;

namespace {

// A track's blocks of `capacity` samples, filled as the appends fill them.
struct Chain {
  TrackNode* first = static_cast<TrackNode*>(AllocZeroed(sizeof(TrackNode)));
  Chain(uint32_t type, const Numbers& times, const Numbers& sizes, const Numbers& keys = {},
        int32_t capacity = 2000) {
    first->TrackType = type;
    EXPECT_TRUE(Ok(CreateSampleAndKeyFrameTable(&first, capacity)));
    uint32_t offset = 0, key_count = 0;
    for (uint32_t i = 0; i < times.size(); offset += sizes[i++]) {
      TrackNode* b = LastBlock(first);
      if (b->SampleCount == uint32_t(capacity)) {
        EXPECT_TRUE(Ok(CreateSampleAndKeyFrameTable(&first, capacity)));
        b = LastBlock(first);
        b->FirstSample = i, b->FirstKeyFrame = key_count, b->TrackType = type;
      }
      b->SampleTable[b->SampleCount++] = {times[i], 0, offset, sizes[i], 0};
      if (std::count(keys.begin(), keys.end(), i) != 0)
        b->KeyFrameTable[b->KeyFrameCount++] = {times[i], i}, ++key_count;
    }
  }
  ~Chain() { FreeTrackBlocks(first); }
};

// A lone atom with its record.
struct Lone {
  AtomNode* node = static_cast<AtomNode*>(AllocZeroed(sizeof(AtomNode)));
  explicit Lone(const char* type) {
    CopyAtomType(node->type, type);
    EXPECT_TRUE(Ok(AllocateNodeRecord(node)));
  }
  ~Lone() { FreeAtomNode(node); }
};

// Writes `node` and its children; what the writer printed in `said`.
Bytes Written(const AtomNode* node, std::string* said = nullptr) {
  Root_atom root{};
  root.file = std::tmpfile();
  const std::string out = CaptureStdout([&] { (void)WriteAtomTree(node, &root); });
  if (said != nullptr) *said = out;
  Bytes bytes(root.file_size);
  std::rewind(root.file);
  EXPECT_EQ(std::fread(bytes.data(), 1, bytes.size(), root.file), bytes.size());
  std::fclose(root.file);
  return bytes;
}

// A lone atom sized for the track and written: its bytes, or none when the
// sizing fails, with the status and what was printed.
Bytes Built(const char* type, TrackNode* track, std::string* said = nullptr,
            Status* status = nullptr) {
  Lone atom(type);
  uint32_t size = 0;
  Status s = Status::kOk;
  const std::string out = CaptureStdout([&] { s = SizeTrackAtom(atom.node, track, &size); });
  if (said != nullptr) *said = out;
  if (status != nullptr) *status = s;
  return Ok(s) ? Written(atom.node) : Bytes{};
}
Bytes Built(const char* type, const Chain& chain, std::string* said = nullptr) {
  return Built(type, chain.first, said);
}

Numbers Steps(uint32_t n, uint32_t step) {
  Numbers v(n);
  for (uint32_t i = 0; i < n; ++i) v[i] = i * step;
  return v;
}

TEST(SttsWrite, RunsOfEqualDurationsAndTheirSumAsDuration) {
  const std::tuple<Numbers, std::vector<std::array<uint32_t, 2>>, uint32_t> cases[] = {
      {{0, 1000, 2000, 3000}, {{4, 1000}}, 4000},
      {{0, 10, 20, 25, 30}, {{2, 10}, {3, 5}}, 35},
      {{0, 10, 15, 25}, {{1, 10}, {1, 5}, {2, 10}}, 35},
      {{0, 40}, {{2, 40}}, 80},
      {{500}, {{1, 0}}, 0},  // a lone sample has no next time stamp: it lasts 0
      {{}, {}, 0}};
  for (const auto& [times, runs, duration] : cases) {
    Chain chain(kTrackAudio, times, Numbers(uint32_t(times.size()), 8));
    EXPECT_EQ(Built("stts", chain), Stts(runs)) << times.size();
    EXPECT_EQ(chain.first->Duration, duration);
  }
  // a block's last sample is an entry of its own, timed to the next block,
  // or with the delta before it when the next block starts earlier
  for (const Numbers& times : {Numbers{0, 10, 20, 30, 40}, Numbers{0, 10, 20, 5, 15}}) {
    Chain chain(kTrackAudio, times, Numbers(5, 8), {}, 3);
    EXPECT_EQ(Built("stts", chain), Stts({{2, 10}, {1, 10}, {2, 10}}));
  }
}

TEST(StszWrite, OneSizeForAllOrOneSizePerSample) {
  EXPECT_EQ(Built("stsz", Chain(kTrackAudio, Steps(4, 1), Numbers(4, 512))), Stsz(512, 4));
  EXPECT_EQ(Built("stsz", Chain(kTrackAudio, Steps(3, 1), {512, 512, 100})),
            Stsz(0, 3, {512, 512, 100}));
  EXPECT_EQ(Built("stsz", Chain(kTrackAudio, {}, {})), Stsz(0, 0));
  // a shared size of 0 would read as "a list follows": the list is written
  EXPECT_EQ(Built("stsz", Chain(kTrackVideo, Steps(2, 1), {0, 0}, {0})), Stsz(0, 2, {0, 0}));
}

TEST(ChunkWrite, StreamsGoInChunksOfThirtySamples) {
  const std::tuple<uint32_t, std::vector<std::array<uint32_t, 3>>, Numbers> cases[] = {
      {0, {{1, 0, 1}}, {}},         {29, {{1, 29, 1}}, {0}},
      {30, {{1, 30, 1}}, {0}},      {31, {{1, 30, 1}, {2, 1, 1}}, {0, 300}},
      {60, {{1, 30, 1}}, {0, 300}}, {95, {{1, 30, 1}, {4, 5, 1}}, {0, 300, 600, 900}}};
  for (uint32_t type : {kTrackAudio, kTrackObjectDescriptor, kTrackScene})
    for (const auto& [n, stsc, stco] : cases) {
      Chain chain(type, Steps(n, 1024), Numbers(n, 10), {}, 40);  // chunks across blocks
      EXPECT_EQ(Built("stsc", chain), Stsc(stsc)) << n;
      EXPECT_EQ(Built("stco", chain), Stco(stco)) << n;
    }
}

TEST(ChunkWrite, VideoChunksBeginAtKeyFramesAndEarlierSamplesFormTheirOwn) {
  const std::tuple<Numbers, std::vector<std::array<uint32_t, 3>>, Numbers, Numbers> cases[] = {
      {{0, 12, 24}, {{1, 12, 1}, {2, 12, 1}, {3, 6, 1}}, {0, 120, 240}, {1, 13, 25}},
      {{5, 20}, {{1, 5, 1}, {2, 15, 1}, {3, 10, 1}}, {0, 50, 200}, {6, 21}},
      {{}, {{1, 30, 1}}, {0}, {}},
      {{29}, {{1, 29, 1}, {2, 1, 1}}, {0, 290}, {30}}};
  for (const auto& [keys, stsc, stco, stss] : cases) {
    Chain chain(kTrackVideo, Steps(30, 40), Numbers(30, 10), keys);
    EXPECT_EQ(Built("stsc", chain), Stsc(stsc)) << keys.size();
    EXPECT_EQ(Built("stco", chain), Stco(stco)) << keys.size();
    EXPECT_EQ(Built("stss", chain), Stss(stss)) << keys.size();
  }
  Numbers keys = Steps(25, 100), offsets, numbers;  // 2500 samples in two blocks
  for (uint32_t k : keys) offsets.push_back(k * 10), numbers.push_back(k + 1);
  Chain chain(kTrackVideo, Steps(2500, 40), Numbers(2500, 10), keys);
  EXPECT_EQ(Built("stco", chain), Stco(offsets));
  EXPECT_EQ(Built("stss", chain), Stss(numbers));
}

TEST(SampleTableWrite, TracksThatCannotBeTabledFail) {
  std::string said;
  Chain hint(kTrackHint, {0}, {8});
  EXPECT_EQ((std::vector<Bytes>{Built("stsc", hint, &said), Built("stco", hint, &said)}),
            std::vector<Bytes>(2));
  EXPECT_EQ(said, "");  // the enclosing stbl names the table
  Chain gap(kTrackAudio, {0, 1, 2, 3}, Numbers(4, 8), {}, 2);
  gap.first->NextBlock->FirstSample = 3;
  EXPECT_EQ(Built("stsz", gap, &said), Bytes{});
  EXPECT_EQ(said, "Error value in the TrackNode's SampleCount;\n");
  Chain keys(kTrackVideo, {0, 1, 2, 3}, Numbers(4, 8), {0, 2}, 2);
  keys.first->NextBlock->FirstKeyFrame = 0;
  EXPECT_EQ(Built("stss", keys, &said), Bytes{});
  EXPECT_EQ(said, "Error value in the TrackNode's KeyFrameCount;\n");
  Chain past(kTrackVideo, {0, 1}, Numbers(2, 8), {0});
  past.first->KeyFrameTable[0].sample_index = 2;  // no such sample
  EXPECT_EQ(Built("stco", past), Bytes{});
  past.first->KeyFrameCount = 0x40000000;  // a table no 32-bit atom holds
  EXPECT_EQ(Built("stss", past), Bytes{});
}

TrackNode Video(const Bytes& config, uint32_t profile = 1, uint16_t width = 176) {
  TrackNode t{};
  t.TrackType = kTrackVideo, t.Width = width, t.Height = 144, t.TimeIncrementResolution = 30;
  t.ProfileLevel = profile, t.MaxBitRate = 200000, t.AvgBitRate = 100000;
  std::copy(config.begin(), config.end(), t.DecoderConfig);
  t.DecoderConfigLength = uint32_t(config.size());
  return t;
}
Bytes Prefix(uint8_t profile) {
  return {0, 0, 1, 0xB0, profile, 0, 0, 1, 0xB5, 0x09};
}

TEST(EsdsWrite, VideoConfigurationsAreCompletedOrMadeUp) {
  const Bytes long_vo = Cat({{0, 0, 1, 0}, Bytes(48, 0x44)});  // 62 bytes with the prefix
  const std::tuple<Bytes, uint8_t, Bytes, uint32_t> cases[] = {
      {{}, 1, Cat({Prefix(1), kQcifVol}), 0},  // made up
      {kQcifVol, 3, Cat({Prefix(3), kQcifVol}), 28},
      {Cat({{0, 0, 1, 0xB0, 0xF5}, Bytes(20, 3)}), 8, Cat({{0, 0, 1, 0xB0, 8}, Bytes(20, 3)}), 25},
      {long_vo, 2, Cat({Prefix(2), long_vo}), 62}};
  for (const auto& [config, profile, dsi, length_after] : cases) {
    TrackNode t = Video(config, profile);
    EXPECT_EQ(Built("esds", &t), box::Esds(0x20, 0x11, dsi))
        << dsi.size();  // lengths 57/46/28 for 28
    EXPECT_EQ(t.DecoderConfigLength, length_after);
  }
  // no header of its own, or a picture that 13 bits cannot hold: refused silently
  for (auto [config, width] : {std::pair{Bytes{0, 0, 1, 0xB6}, 176}, {Bytes{}, 8192}}) {
    TrackNode t = Video(config, 1, uint16_t(width));
    Status s = Status::kOk;
    std::string said;
    EXPECT_EQ(Built("esds", &t, &said, &s), Bytes{});
    EXPECT_EQ((std::pair{s, said}), (std::pair{Status::kNotFound, std::string()}));
  }
  TrackNode widest = Video({}, 1, 8191);
  EXPECT_EQ(ReadUint32BE(&Built("esds", &widest)[65]) >> 14 & 0x1FFF, 8191u);
}

TEST(EsdsWrite, AudioSpecificConfigFromParametersBytesOrAdtsHeader) {
  const std::tuple<uint32_t, uint32_t, uint32_t, Bytes, uint16_t> cases[] = {
      {1, 2, 44100, {}, 0x1210},
      {1, 2, 12000, {}, 0x1490},
      {0, 0, 0, {0xFF, 0xF1, 0x50, 0x80}, 0x1210},  // an ADTS header
      {0, 0, 0, {0x13, 0x88}, 0x1388},              // two bytes taken as they are
      {0, 2, 44100, {}, 0x0A10},                    // AAC Main by its parameters
      {1, 1, 7350, {}, 0x1608},
      {1, 2, 44000, {}, 0x1210},  // rates outside the table: the nearest one's index
      {1, 2, 9000, {}, 0x1590},
      {1, 2, 200000, {}, 0x1010},
      {1, 2, 1000, {}, 0x1590}};
  for (const auto& [profile, channels, rate, config, asc] : cases) {
    TrackNode t{};
    t.TrackType = kTrackAudio, t.AudioProfile = profile, t.ChannelConfig = channels;
    t.SampleRate = rate, t.DecoderConfigLength = uint32_t(config.size());
    std::copy(config.begin(), config.end(), t.DecoderConfig);
    EXPECT_EQ(BuildAudioSpecificConfig(t), asc) << rate << " " << profile;
  }
  TrackNode aac{};
  aac.TrackType = kTrackAudio, aac.AudioProfile = 1, aac.ChannelConfig = 2, aac.SampleRate = 44100;
  aac.MaxBitRate = 0x01020304, aac.AvgBitRate = 0x05060708;
  EXPECT_EQ(Built("esds", &aac),
            Atom("esds", {Full(0, 0), Hex("038080801F 0002 00 0480808014 40 15 "
                                          "0000F4 01020304 05060708 "
                                          "0580808002 1210 060102")}));
  aac.AudioProfile = aac.ChannelConfig = aac.SampleRate = 0;  // nothing: MPEG-1 audio
  EXPECT_EQ(Built("esds", &aac),
            Atom("esds", {Full(0, 0), Hex("0380808018 0002 00 048080800D 6B 15 "
                                          "0000F4 01020304 05060708 060102")}));
}

TEST(EsdsWrite, SystemStreamsHaveFixedBodiesAndOtherTypesNone) {
  TrackNode od{}, scene{}, hint{};
  od.TrackType = kTrackObjectDescriptor, scene.TrackType = kTrackScene, hint.TrackType = kTrackHint;
  EXPECT_EQ(
      Built("esds", &od),
      Atom("esds", {Full(0, 0), Hex("0315 0003 00 040D 01 05 000C2F 00006178 00000000 060102")}));
  EXPECT_EQ(Built("esds", &scene),
            Atom("esds", {Full(0, 0), Hex("031A 0004 00 0412 02 0D 000400 00000140 00000140 "
                                          "0503 000040 060102")}));
  std::string said;
  EXPECT_EQ(Built("esds", &hint, &said), Bytes{});
  EXPECT_EQ(said, "unsupport track type while writing esds atom\n");
}

TEST(AtomWrite, MissingOrUnknownChildrenAreNamed) {
  TrackNode track{};
  track.TrackType = kTrackVideo;
  std::string said;
  EXPECT_EQ(Built("mp4v", &track, &said), Bytes{});
  EXPECT_EQ(said, "the mp4v atom does not contain esds child atom\n");
  EXPECT_EQ(Built("stsd", &track, &said), Bytes{});
  EXPECT_EQ(said, "the Stsd atom does not contain mp4v or mp4a or mp4s child atom\n");
  Lone stbl("stbl"), ctts("ctts");
  stbl.node->first_child = ctts.node;
  uint32_t size = 0;
  said = CaptureStdout([&] { EXPECT_FALSE(Ok(SizeTrackAtom(stbl.node, &track, &size))); });
  EXPECT_EQ(said, "there is error in [stbl]'s child=>[ctts]\n");
  stbl.node->first_child = nullptr;
  Written(ctts.node, &said);  // a table whose entries the writer does not fill
  EXPECT_EQ(said, "error occuring in writing [ctts]atom\n");
}

TEST(AtomWrite, H263AndAmrConfigurations) {
  TrackNode t{};
  EXPECT_EQ(Built("d263", &t), Atom("d263", {Str("KWMB"), Bytes{0, 10, 0}}));
  // mode_set has the bit of the first frame's AMR mode, or all of them
  for (auto [header, modes] :
       {std::pair{0x3C, 0x80}, {0x04, 0x01}, {0x24, 0x10}, {0x00, 0xFF}, {0x44, 0xFF}}) {
    t.DecoderConfig[0] = uint8_t(header);
    EXPECT_EQ(Built("damr", &t), Atom("damr", {Str("ZQVX"), Bytes{0, 0x81, uint8_t(modes), 0, 1}}))
        << header;
  }
}

TEST(AtomWrite, FileTypeBrands) {
  Lone ftyp("ftyp");
  MP4_local_file file{};
  uint32_t size = 0;
  for (auto [selector, brand, minor, compatible] :
       {std::tuple{0u, "3gp4", 0x200u, "3gp4"}, {1u, "isom", 0u, "mp41"}}) {
    file.brand_selector = selector;
    ASSERT_TRUE(Ok(SizeMovieAtom(ftyp.node, &file, &size)));
    EXPECT_EQ(Written(ftyp.node), Atom("ftyp", {Str(brand), U32(minor), Str(compatible)}));
  }
}

}  // namespace
