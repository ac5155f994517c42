// MP4FileNew and CreateTrack: the skeleton trees, track IDs, the fixed
// samples of the stream tracks, and every refusal.
#include <sys/stat.h>

#include "atom/atom_bodies.h"
#include "atom/atom_types.h"
#include "writer/atom_template.h"
#include "writer/writer_support.h"

namespace {

std::string FullTrak(const std::string& media_header, const std::string& entry,
                     const std::string& stbl_tail, const std::string& tref = "") {
  return "trak{tkhd," + tref + "mdia{mdhd,hdlr,minf{" + media_header +
         ",dinf{dref{url }},stbl{stsd{" + entry + "},stts,stsz,stsc,stco" + stbl_tail + "}}}}";
}

// Every node has a zero body of its type's size but for the type in bytes 4
// to 7, and the sizes and offsets wait for the flush.
void ExpectFreshBodies(const AtomNode* node) {
  for (; node != nullptr; node = node->next) {
    ASSERT_NE(node->realStructure, nullptr) << node->type;
    const unsigned char* body = static_cast<const unsigned char*>(node->realStructure);
    AtomTypeInfo info;
    (void)GetAtomPassInfo(node, &info);  // every template type is known
    const uint32_t fixed = info.entry_size != 0 ? info.record_size - 4 : info.record_size;
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(body) + 4, 4), node->type);
    EXPECT_EQ(std::count(body + 8, body + fixed, 0) + 8, long(fixed)) << node->type;
    if (info.entry_size != 0) {
      EXPECT_EQ(GetTrailingBlock(body, info), nullptr) << node->type;
    }
    EXPECT_EQ(RecordU32(body, 0) + node->size + node->offset, 0u) << node->type;
    ExpectFreshBodies(node->first_child);
  }
}

}  // namespace

TEST(NewFile, SkeletonAndEmptyOutput) {
  const std::string path = WriteScratchFile("existing.mp4", box::Bytes(100, 7));
  MP4_local_file* file = nullptr;
  ASSERT_EQ(MP4FileNew(&file, path.c_str()), 1);
  std::string top;
  for (const AtomNode* a = file->root->first_atom; a != nullptr; a = a->next)
    top += TreeText(a) + (a->parent == nullptr ? ";" : "+parent;");
  EXPECT_EQ(top, "ftyp;moov{mvhd,iods};mdat;");
  ExpectFreshBodies(file->root->first_atom);
  EXPECT_EQ(file->next_track_id, 1u);
  EXPECT_EQ(std::string(file->root->file_name), path);
  EXPECT_EQ(ReadWholeFile(path).size(), 0u);  // truncated at once
  ReleaseWriterFile(file);
}

TEST(NewFile, Refusals) {
  // 255 characters fit file_name; 256 are refused before anything is created
  const std::string dir = ScratchPath("d");
  ASSERT_EQ(mkdir(dir.c_str(), 0700), 0);
  const std::string longest = dir + "/" + std::string(254 - dir.size(), 'n');
  ASSERT_EQ(longest.size(), 255u);
  MP4_local_file* file = nullptr;
  ASSERT_EQ(MP4FileNew(&file, longest.c_str()), 1);
  ReleaseWriterFile(file);

  const std::string too_long = longest + "x";
  const std::string missing_dir = ScratchPath("no-such-dir") + "/out.mp4";
  for (const char* path :
       {too_long.c_str(), missing_dir.c_str(), static_cast<const char*>(nullptr)}) {
    file = reinterpret_cast<MP4_local_file*>(&file);  // never left pointing anywhere
    int32_t result = 0;
    const std::string debug = CaptureDebug([&] { result = MP4FileNew(&file, path); });
    EXPECT_EQ(result, -99);
    EXPECT_EQ(file, nullptr);
    EXPECT_EQ(debug, "Can not create new file in MP4FileNew(...) \n");
  }
  EXPECT_FALSE(std::filesystem::exists(too_long));
  EXPECT_EQ(MP4FileNew(nullptr, longest.c_str()), -99);
}

TEST(CreateTrack, TemplatesOfEveryKindAndCodec) {
  struct Case {
    int32_t type;
    uint32_t codec;
    std::string tree;
  } cases[] = {
      {1, 1, FullTrak("vmhd", "mp4v{esds}", ",stss")},
      {1, 2, FullTrak("vmhd", "s263{d263}", ",stss")},
      {2, 1, FullTrak("smhd", "mp4a{esds}", "")},
      {2, 2, FullTrak("smhd", "samr{damr}", "")},
      {4, 7, FullTrak("nmhd", "mp4s{esds}", "", "tref{mpod},")},  // the codec does not apply
      {5, 0, FullTrak("nmhd", "mp4s{esds}", "")},
  };
  for (const Case& c : cases) {
    Writer w;
    TrackArgs a(c.type);
    a.codec = c.codec;
    int32_t result = 0;
    // the templates keep the child rules: nothing on either channel
    const std::string out =
        CaptureStdout([&] { EXPECT_EQ(CaptureDebug([&] { result = w.Create(a); }), ""); });
    ASSERT_EQ(result, 1);
    EXPECT_EQ(out, "");
    const TrackNode* t = c.type == 1   ? w.file->VideoTrackNode
                         : c.type == 2 ? w.file->AudioTrackNode
                         : c.type == 4 ? w.file->od_track
                                       : w.file->scene_track;
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(TreeText(t->Trak), c.tree) << c.type << "/" << c.codec;
    EXPECT_EQ(t->Trak->parent, nullptr);
    EXPECT_EQ(t->Trak->next, nullptr);
    ExpectFreshBodies(t->Trak);
    EXPECT_EQ(t->TableCapacity, c.type <= 2 ? 2000u : 100u);
    EXPECT_EQ(t->TrackType, uint32_t(c.type));
  }
  // no template for the others
  for (uint32_t codec : {0u, 3u}) EXPECT_EQ(TrackTemplate(1, codec), nullptr);
  EXPECT_EQ(TrackTemplate(3, 1), nullptr);
}

TEST(CreateTrack, IdsInCreationOrderAndRefusalsBeforeAnId) {
  Writer w;
  EXPECT_EQ(w.Create({5}), 1);
  EXPECT_EQ(w.Media(2), 1);
  for (int32_t type : {3, 6, 0, -1}) {
    int32_t result = 0;
    EXPECT_EQ(CaptureStdout([&] { result = w.Create({type}); }), "unsupport track type\n");
    EXPECT_EQ(result, -99);
  }
  TrackArgs bad;
  bad.codec = 3;
  EXPECT_EQ(CaptureDebug([&] { EXPECT_EQ(w.Create(bad), -99); }),
            "Can't create atom HierarchySubTree in CreateTrack(...) \n");
  EXPECT_EQ(w.file->VideoTrackNode, nullptr);
  EXPECT_EQ(w.Media(1, 2), 1);
  EXPECT_EQ(w.Create({4}), 1);
  EXPECT_EQ(
      (Values{w.file->scene_track->TrackID, w.file->AudioTrackNode->TrackID,
              w.file->VideoTrackNode->TrackID, w.file->od_track->TrackID, w.file->next_track_id}),
      (Values{1, 2, 3, 4, 5}));
  EXPECT_EQ(w.file->VideoTrackNode->VideoTrackID, 3u);
  EXPECT_EQ(w.file->AudioTrackNode->AudioTrackID, 2u);

  // a null record
  int32_t result = 0;
  EXPECT_EQ(CaptureDebug([&] {
              result = CreateTrack(nullptr, 1, 0, 0, 0, 1000, 0, 0, 0, 0, 0, nullptr, "x", 1);
            }),
            "the input parameter for MP4_local_file is empty\n");
  EXPECT_EQ(result, -99);
}

TEST(CreateTrack, StreamSampleSizesFollowTheMediaTracks) {
  struct Case {
    bool video, audio;
    uint32_t od, scene;
  } cases[] = {
      {true, true, 33, 16}, {true, false, 10, 38}, {false, true, 10, 17}, {false, false, 10, 0}};
  for (const Case& c : cases) {
    Writer w;
    ASSERT_EQ((Values{c.video ? uint32_t(w.Media(1)) : 1, c.audio ? uint32_t(w.Media(2)) : 1,
                      uint32_t(w.Create({4})), uint32_t(w.Create({5}))}),
              (Values{1, 1, 1, 1}));
    for (const TrackNode* t : {w.file->od_track, w.file->scene_track}) {
      const uint32_t n = t == w.file->od_track ? c.od : c.scene;
      const SampleIndexEntry& s = t->SampleTable[0];
      EXPECT_EQ(
          (Values{s.time_stamp, s.file_offset, s.temp_offset, s.size, t->SampleCount,
                  t->KeyFrameCount, t->KeyFrameTable[0].sample_index, t->SampleTable[1].size}),
          (Values{0, 0, 0, n, 1, 1, 0, 0}))
          << c.video << c.audio;
    }
  }
}

TEST(CreateTrack, ArgumentsKeptAndDecoderConfigLimits) {
  Writer w;
  unsigned char config[60];
  for (int i = 0; i < 60; ++i) config[i] = static_cast<unsigned char>(i + 1);
  TrackArgs a;
  a.width = 0x12340160;  // the low halves count
  a.height = 0x000100F0;
  a.tir = 0x10019;
  a.config = config;
  a.config_length = 52;
  a.temp = ScratchPath("temp.v");
  ASSERT_EQ(w.Create(a), 1);
  const TrackNode* v = w.file->VideoTrackNode;
  EXPECT_EQ((Values{v->Width, v->Height, v->TimeIncrementResolution, v->TimeScale, v->ProfileLevel,
                    v->DecoderConfigLength, v->DecoderConfig[51]}),
            (Values{0x160, 0xF0, 0x19, 1000, 3, 52, 52}));

  // longer than 52, or no bytes for a length: refused, and no ID taken
  for (auto [length, bytes] : {std::pair<uint32_t, const unsigned char*>{53, config},
                               {0xFFFFFFFF, config},
                               {4, nullptr}}) {
    TrackArgs b(2);
    b.config_length = length;
    b.config = bytes;
    const std::string debug = CaptureDebug([&] { EXPECT_EQ(w.Create(b), -99); });
    EXPECT_EQ(debug, "Invalid decoder config length [" + std::to_string(length) +
                         "] in CreateTrack(...) \n");
  }
  EXPECT_EQ(w.file->AudioTrackNode, nullptr);
  EXPECT_EQ(w.file->next_track_id, 2u);

  // length 0 leaves the configuration zero
  TrackArgs c{2};
  c.config = config;
  ASSERT_EQ(w.Create(c), 1);
  EXPECT_EQ(w.file->AudioTrackNode->DecoderConfigLength + w.file->AudioTrackNode->DecoderConfig[0],
            0u);
}

TEST(CreateTrack, TemporaryFileNames) {
  Writer w;
  // the name is copied: the caller's buffer may change at once
  std::string name = ScratchPath("temp.v");
  const std::string original = name;
  ASSERT_EQ(CreateTrack(w.file, 1, 0, 0, 0, 1000, 0, 0, 0, 0, 0, nullptr, name.c_str(), 1), 1);
  std::fill(name.begin(), name.end(), 'z');
  EXPECT_EQ(std::string(w.file->video_temp_name), original);
  EXPECT_TRUE(std::filesystem::exists(original));

  // no file: a null name, one too long to keep, one in a missing directory;
  // the track is made, its appends fail without recording anything
  const std::string missing = ScratchPath("gone") + "/temp.a", too_long(300, 'a');
  for (const char* temp : {static_cast<const char*>(nullptr), missing.c_str(), too_long.c_str()}) {
    Writer x;
    ASSERT_EQ(CreateTrack(x.file, 2, 0, 0, 0, 1000, 0, 0, 0, 0, 0, nullptr, temp, 1), 1);
    EXPECT_EQ(x.file->audio_temp, nullptr);
    int32_t result = 0;
    EXPECT_EQ(CaptureDebug([&] { result = x.Audio(10, 0); }),
              "the size of data written to temp audio file is error!\n");
    EXPECT_EQ(result, -99);
    EXPECT_EQ(x.file->audio_sample_count + x.file->audio_bytes, 0u);
  }
}

TEST(CreateTrack, SecondTrackOfATypeReplacesTheFirst) {
  Writer w;
  const std::string first_temp = ScratchPath("first.v"), second_temp = ScratchPath("second.v");
  TrackArgs a;
  a.temp = first_temp;
  ASSERT_EQ(w.Create(a), 1);
  for (uint32_t i = 0; i < 2001; ++i) ASSERT_EQ(w.Video(3, i * 40, i % 2), 1);
  ASSERT_EQ(w.Create({4}), 1);
  ASSERT_EQ(w.Create({4}), 1);  // the first one is released (LeakSanitizer watches)
  a.temp = second_temp;
  a.codec = 2;
  ASSERT_EQ(w.Create(a), 1);
  const TrackNode* v = w.file->VideoTrackNode;
  EXPECT_EQ((Values{v->TrackID, v->NextBlock == nullptr, w.file->video_sample_count,
                    w.file->video_key_count, w.file->video_bytes, w.file->video_block_index,
                    w.file->video_block_key_index}),
            (Values{4, 1, 0, 0, 0, 0, 0}));
  EXPECT_FALSE(std::filesystem::exists(first_temp));  // the replaced frames go
  EXPECT_EQ(std::string(w.file->video_temp_name), second_temp);
  ASSERT_EQ(w.Video(5, 0), 1);
  EXPECT_EQ(w.TempBytes(true), box::Bytes(5, 5));
  EXPECT_EQ(w.file->od_track->TrackID, 3u);
}
