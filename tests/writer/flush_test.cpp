// MP4FileFlush: the exact bytes of small files, the layout of larger ones,
// the failures, and streams from ffmpeg.
#include "merge/adts_frame.h"
#include "merge/vop_splitter.h"
#include "writer/writer_support.h"

using namespace box;

namespace {

constexpr uint32_t kTime = 0x12345678;
const Bytes kMatrix = Be(4, {0x10000, 0, 0, 0, 0x10000, 0, 0, 0, 0x40000000});

// The nth atom (from 0) of `type` in a written file; the frames are made so
// that no type shows among them.
Bytes Find(const Bytes& file, const char* type, int nth = 0) {
  for (auto at = file.begin() + 4; (at = std::search(at, file.end(), type, type + 4)) != file.end();
       ++at)
    if (nth-- == 0) return Bytes(at - 4, at - 4 + ReadUint32BE(&at[-4]));
  ADD_FAILURE() << "no " << type;
  return {};
}
const Bytes kFtyp = Atom("ftyp", {Str("3gp4"), U32(0x200), Str("3gp4")});
Bytes MovieHeader(uint32_t timescale, uint32_t duration, uint32_t next_id) {
  return Atom("mvhd", {Full(0, 0), Be(4, {kTime, kTime, timescale, duration, 0x10000}),
                       Be(2, {0x100}), Zeros(10), kMatrix, Zeros(24), U32(next_id)});
}
Bytes Iods(uint32_t a, uint32_t b) {
  return Atom("iods", {Full(0, 0), Hex("1080808019 004FFFFF0F01FF 0E80808004"), U32(a),
                       Hex("0E80808004"), U32(b)});
}

TEST(Flush, EmptyRecordsGiveFtypMoovWithMvhdAndIodsAndAnEmptyMdat) {
  for (uint32_t systems : {0, 1}) {  // without a media track they describe nothing
    Writer w;
    if (systems) w.Create(4), w.Create(5);
    EXPECT_EQ(w.Flush(), kDone);
    EXPECT_EQ(
        ReadWholeFile(w.path),
        Cat({kFtyp, Atom("moov", {MovieHeader(0, 0, 1 + 2 * systems), Iods(2, 3)}), Atom("mdat")}));
  }
}

// Three key frames of 100, 200 and 300 bytes half a second apart, with the
// default decoder configuration: the whole file, byte for byte.
TEST(Flush, ThreeFramesGiveTheWholeFileByteForByte) {
  Writer w;
  w.Create(1);
  for (uint32_t i = 1; i <= 3; ++i) w.Video(100 * i, 500 * (i - 1));
  EXPECT_EQ(w.Flush(), kDone);
  const Bytes dsi = Hex("000001B003 000001B509 00000100 0000012001 884007A82C2090A31F");
  auto moov = [&](uint32_t b) {
    const Bytes stbl =
        Atom("stbl", {Stsd(Mp4v(176, 144, Esds(0x20, 0x11, dsi, 0, 4800))), Stts({{3, 500}}),
                      Stsz(0, 3, {100, 200, 300}), Stsc({{1, 1, 1}, {2, 1, 1}, {3, 1, 1}}),
                      Stco({b, b + 100, b + 300}), Stss({1, 2, 3})});
    const Bytes minf =
        Atom("minf", {Atom("vmhd", {Full(0, 1), Zeros(8)}),
                      Nest("dinf/dref", {Full(0, 0), U32(1), Atom("url ", {Full(0, 1)})}), stbl});
    const Bytes mdia =
        Atom("mdia", {Atom("mdhd", {Full(0, 0), Be(4, {kTime, kTime, 1000, 1500}), Zeros(4)}),
                      Atom("hdlr", {Full(0, 0), U32(0), Str("vide"), Zeros(16)}), minf});
    const Bytes tkhd = Atom("tkhd", {Full(0, 1), Be(4, {kTime, kTime, 1, 0, 1500}), Zeros(16),
                                     kMatrix, Be(4, {176u << 16, 144u << 16})});
    return Atom("moov", {MovieHeader(1000, 1500, 2), Iods(2, 3), Atom("trak", {tkhd, mdia})});
  };
  const uint32_t b = uint32_t(kFtyp.size() + moov(0).size() + 8);  // the first media byte
  EXPECT_EQ(ReadWholeFile(w.path), Cat({kFtyp, moov(b), Atom("mdat", {Cat(w.video)})}));
}

// Both media tracks and both system tracks, made in this order or the
// system tracks first: mdat covers the media and the two system samples,
// each track's chunk offsets point at its bytes, and the system samples'
// sizes and the iods follow the tracks that exist at flush.
TEST(Flush, AllFourTracksLayOutMediaThenTheSystemSamplesInsideMdat) {
  for (uint32_t systems_first : {0, 1}) {
    Writer w;
    if (systems_first) w.Create(4), w.Create(5);
    w.Create(1), w.Create(2, 1, 44100);
    if (!systems_first) w.Create(4), w.Create(5);
    for (uint32_t i = 0; i < 40; ++i) w.Video(50 + i, 40 * i, i % 12 == 0 ? 1 : i % 2 * 2);
    for (uint32_t i = 0; i < 31; ++i) w.Audio(20 + i % 7, 1024 * i);
    EXPECT_EQ(w.Flush(), kDone);
    const Bytes f = ReadWholeFile(w.path);
    const uint32_t video = uint32_t(Cat(w.video).size()), audio = uint32_t(Cat(w.audio).size());
    const uint32_t b = uint32_t(f.size()) - video - audio - 33 - 16;  // the first media byte
    EXPECT_EQ(Bytes(f.begin() + b - 8, f.begin() + b), Cat({U32(video + audio + 57), Str("mdat")}));
    EXPECT_EQ(Bytes(f.end() - 49, f.end() - 44), (Bytes{1, 0x80, 0x80, 0x80, 0x1C}));
    EXPECT_EQ(Bytes(f.end() - 16, f.end() - 14), (Bytes{0xC0, 0x10}));
    // in the traks' order, video, audio, object descriptor, scene, whatever their IDs;
    // a chunk per key frame, and only the key mark 1 makes one
    EXPECT_EQ(Find(f, "stsc"), Stsc({{1, 12, 1}, {2, 12, 1}, {3, 12, 1}, {4, 4, 1}}));
    EXPECT_EQ(Cat({Find(f, "stco", 2), Find(f, "stsz", 2), Find(f, "stts", 2), Find(f, "stco", 3),
                   Find(f, "stsz", 3)}),
              Cat({Stco({b + video + audio}), Stsz(33, 1), Stts({{1, 0}}),
                   Stco({b + video + audio + 33}), Stsz(16, 1)}));
    EXPECT_EQ(Find(f, "mpod"),
              Atom("mpod", {U32(1 + 2 * systems_first), U32(2 + 2 * systems_first)}));
    EXPECT_EQ(Find(f, "iods"), systems_first ? Iods(1, 2) : Iods(3, 4));
    EXPECT_EQ(Find(f, "mvhd"), MovieHeader(1000, 1600, 5));
    EXPECT_EQ(Find(f, "mp4a"), Mp4a(2, 44100, Find(f, "esds", 1)));
    Values volumes;
    for (int t = 0; t < 4; ++t) volumes.push_back(ReadUint32BE(&Find(f, "tkhd", t)[44]));
    EXPECT_EQ(volumes, (Values{0, 0x01000000u, 0, 0}));
  }
}

// The object descriptor and scene samples at the end of mdat, for the
// media a file has: video, audio or both.
TEST(Flush, SystemSamplesDescribeTheMediaPresent) {
  const char* samples[] = {
      "01080106 00DF0F020001 C0101301 40000000 00000000 012E0850 3BFF0000 00000000 04500FA0"
      "83F80000 03F80000 0FC0",
      "01080106 011F0F020001 C0101281 302A0256 FFC00000 00000003 C0",
      "01808080 1C118080 8009051F 0F808080 02000111 80808009 029F0F80 80800200 02"
      "C0101281 302A0572 61048850 45053F00"};
  for (int media = 1; media <= 3; ++media) {
    Writer w;
    if (media & 1) w.Create(1), w.Video(50, 0, 1);
    if (media & 2) w.Create(2, 1, 44100), w.Audio(20, 0);
    w.Create(4), w.Create(5);
    EXPECT_EQ(w.Flush(), kDone);
    const Bytes f = ReadWholeFile(w.path), want = Hex(samples[media - 1]);
    EXPECT_EQ(Bytes(f.end() - long(want.size()), f.end()), want) << media;
  }
}

// A scene track without an object descriptor track still goes in; 2500
// frames held in two table blocks come out as one table.
TEST(Flush, ASceneTrackAloneAndTwoTableBlocks) {
  Writer w;
  w.Create(1), w.Create(5);
  for (uint32_t i = 0; i < 2500; ++i) w.Video(10 + i % 3, 40 * i, i % 1000 == 0);
  EXPECT_EQ(w.Flush(), kDone);
  const Bytes f = ReadWholeFile(w.path);
  EXPECT_EQ(Find(f, "stco", 1), Stco({uint32_t(f.size() - 38)}));
  EXPECT_EQ(Cat({Find(f, "stts"), Find(f, "stss")}),
            Cat({Stts({{2500, 40}}), Stss({1, 1001, 2001})}));
}

// A temporary file gone, replaced by a shorter one, or cut in place while
// its stream still holds frames in its buffer (what the flush closes in
// lands after the cut); with no frames nothing is missing.
TEST(FlushFailure, MissingRecordsAndTemporaryFilesGiveMinus99) {
  EXPECT_EQ(Call([] { return MP4FileFlush(nullptr); }),
            Said(-99, "the input localfile is empty!\n"));
  for (int fault : {0, 1, 2, 3}) {
    Writer w;
    w.Create(1);
    for (uint32_t i = 0; i < (fault == 3 ? 0 : 600); ++i) w.Video(500, 40 * i, i % 10 == 0);
    const std::string temp = w.file->video_temp_name;
    if (fault != 2) std::filesystem::remove(temp);
    if (fault == 1) std::ofstream(temp) << "short";
    ASSERT_EQ(fault == 2 ? truncate(temp.c_str(), 100000) : 0, 0);
    EXPECT_EQ(w.Flush(), fault == 3 ? kDone : Said(-99, "error in video tempfile!\n"));
  }
}

// A configuration that is no MPEG-4 Visual header, a picture too wide for
// the default one: the tree is written as far as it is sized.
TEST(FlushFailure, ATrackThatCannotBeDescribedFailsUpToTheMovie) {
  const Bytes vop = {0, 0, 1, 0xB6, 0x10};
  for (auto [config, width] : {std::pair{vop, 176u}, {Bytes{}, 8192u}}) {
    Writer w;
    w.Create(1, 1, 1000, config, 0, width);
    w.Video(100, 0);
    EXPECT_EQ(w.Flush(), Said(-99,
                              "there is error in [stbl]'s child=>[stsd]\n"
                              "there is error in [minf]'s child=>[stbl]\n"
                              "there is error in [mdia]'s child=>[minf]\n"
                              "there is error in [trak]'s child=>[mdia]\n"
                              "there is error in [moov]'s child=>[trak]\n"
                              "There is error in [moov] atom\n"
                              "error occuring in writing [stts]atom\n"));
  }
}

// Streams from ffmpeg written as they come, with the system tracks, and
// starting after the first key frame (the frames before it stay reachable).
TEST(FlushFfmpeg, Mpeg4VisualAndAacReadBackParseAndDecode) {
  const std::string m4v = FfmpegMedia(
      "flush-176x144.m4v", "-f lavfi -i testsrc=size=176x144:rate=25 -t 2 -c:v mpeg4 -g 12 -f m4v");
  const std::string aac =
      FfmpegMedia("flush-44100.aac", "-f lavfi -i sine=sample_rate=44100 -t 2 -c:a aac -f adts");
  if (m4v.empty() || aac.empty()) GTEST_SKIP() << "ffmpeg is not installed";
  const Bytes v = ReadWholeFile(m4v), a = ReadWholeFile(aac);
  std::vector<size_t> starts;
  std::vector<int32_t> keys;
  bool key = false;
  for (size_t from = 0, at; FindNextVop(v.data(), v.size(), true, &from, &at, &key);)
    starts.push_back(at), keys.push_back(key);
  if (v[starts[0] - 4] == 0xB3) starts[0] -= 7;  // the group header goes with the first picture
  starts.push_back(v.size());
  ASSERT_EQ((Values{uint32_t(keys.size()), uint32_t(keys[12])}), (Values{50, 1}));
  for (int variant : {0, 1, 2}) {
    Writer w;
    w.Create(1, 1, 1000, Bytes(v.begin(), v.begin() + starts[0]));
    w.Create(2, 1, 44100, Bytes(a.begin(), a.begin() + 4));
    if (variant == 1) w.Create(4), w.Create(5);
    for (size_t i = variant == 2 ? 1 : 0; i < keys.size(); ++i)
      w.Video(uint32_t(starts[i + 1] - starts[i]), uint32_t(40 * i), keys[i],
              Bytes(v.begin() + starts[i], v.begin() + starts[i + 1]));
    AdtsFrame h;
    for (size_t at = 0; ReadAdtsFrame(a.data() + at, uint32_t(std::min<size_t>(7, a.size() - at)),
                                      a.size() - at, &h);
         at += h.frame_length)
      w.Audio(h.payload_length, uint32_t(1024 * w.audio.size()),
              Bytes(a.begin() + at + h.header_length, a.begin() + at + h.frame_length));
    EXPECT_EQ(w.Flush(), kDone);
    std::string decode = "ok\n";  // from a key frame on, ffmpeg decodes it without a word
    if (variant < 2)
      RunCommand("ffmpeg -nostdin -v error -i '" + w.path + "' -f null - && echo ok", &decode);
    EXPECT_EQ(decode, "ok\n");
  }
}

}  // namespace
