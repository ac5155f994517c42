// MP4FileNew and CreateTrack: the output, the track trees and IDs, the
// temporary files, and every refusal.
#include <sys/stat.h>

#include "writer/writer_support.h"

namespace {

// "type{child,child{...}}" for a node and its descendants.
std::string TreeText(const AtomNode* node) {
  std::string text = node->type;
  for (const AtomNode* c = node->first_child; c != nullptr; c = c->next)
    text += (c == node->first_child ? "{" : ",") + TreeText(c) + (c->next ? "" : "}");
  return text;
}

// An existing output is emptied at once; 255 characters fit file_name, 256
// are refused before anything is created.
TEST(NewFile, OutputTruncatedAtOnceAndRefusals) {
  const std::string existing = WriteScratchFile("existing.mp4", Bytes(100, 7));
  { Writer w(existing); }
  EXPECT_EQ(ReadWholeFile(existing).size(), 0u);
  const std::string dir = ScratchPath("d");
  ASSERT_EQ(mkdir(dir.c_str(), 0700), 0);
  const std::string longest = dir + "/" + std::string(254 - dir.size(), 'n');
  EXPECT_NE(Writer(longest).file, nullptr);
  const std::string too_long = longest + "x", missing_dir = ScratchPath("no-such-dir") + "/o.mp4";
  for (const char* path : {too_long.c_str(), missing_dir.c_str(), (const char*)nullptr}) {
    MP4_local_file* file =
        reinterpret_cast<MP4_local_file*>(&file);  // never left pointing anywhere
    EXPECT_EQ(Call([&] { return MP4FileNew(&file, path); }),
              Said(-99, "Can not create new file in MP4FileNew(...) \n"));
    EXPECT_EQ(file, nullptr);
  }
  EXPECT_FALSE(std::filesystem::exists(too_long));
  EXPECT_EQ(MP4FileNew(nullptr, longest.c_str()), -99);
}

TEST(CreateTrack, TemplatesOfEveryKindAndCodec) {
  auto trak = [](const std::string& header, const std::string& entry, const std::string& tail,
                 const std::string& tref = "") {
    return "trak{tkhd," + tref + "mdia{mdhd,hdlr,minf{" + header + ",dinf{dref{url }},stbl{stsd{" +
           entry + "},stts,stsz,stsc,stco" + tail + "}}}}";
  };
  const std::tuple<int32_t, uint32_t, std::string> cases[] = {
      {1, 1, trak("vmhd", "mp4v{esds}", ",stss")},
      {1, 2, trak("vmhd", "s263{d263}", ",stss")},
      {2, 1, trak("smhd", "mp4a{esds}", "")},
      {2, 2, trak("smhd", "samr{damr}", "")},
      {4, 7, trak("nmhd", "mp4s{esds}", "", "tref{mpod},")},  // the codec does not apply
      {5, 0, trak("nmhd", "mp4s{esds}", "")}};
  for (const auto& [type, codec, tree] : cases) {
    Writer w;
    // the templates keep the child rules: nothing on either channel
    ASSERT_EQ(Call([&, type = type, codec = codec] { return w.Create(type, codec); }), kDone);
    const MP4_local_file& f = *w.file;
    const TrackNode* t[] = {f.VideoTrackNode, f.AudioTrackNode, nullptr, f.od_track, f.scene_track};
    EXPECT_EQ(TreeText(t[type - 1]->Trak), tree) << type << "/" << codec;
  }
}

TEST(CreateTrack, IdsInCreationOrderAndRefusalsBeforeAnId) {
  Writer w;
  EXPECT_EQ(w.Create(5) + w.Create(2), 2);
  const std::string type = "unsupport track type\n",
                    codec = "Can't create atom HierarchySubTree in CreateTrack(...) \n",
                    no = "Invalid decoder config length [";
  const Bytes config(53, 1);
  const std::pair<std::function<int32_t()>, std::string> cases[] = {
      {[&] { return w.Create(3); }, type},
      {[&] { return w.Create(-1); }, type},
      {[&] { return w.Create(1, 3); }, codec},
      // a configuration longer than 52 bytes, or no bytes for one
      {[&] { return w.Create(2, 1, 1000, config); }, no + "53] in CreateTrack(...) \n"},
      {[&] { return w.Create(1, 1, 1000, config, ~0u); },
       no + "4294967295] in CreateTrack(...) \n"},
      {[&] { return w.Create(2, 1, 1000, {}, 4); }, no + "4] in CreateTrack(...) \n"},
      {[&] { return CreateTrack(nullptr, 1, 0, 0, 0, 1000, 0, 0, 0, 0, 0, nullptr, "x", 1); },
       "the input parameter for MP4_local_file is empty\n"}};
  for (auto [call, text] : cases) EXPECT_EQ(Call(call), Said(-99, text));
  ASSERT_EQ(w.Create(1, 2, 1000, config, 52) + w.Create(4), 2);  // 52 bytes fit
  const MP4_local_file& f = *w.file;
  EXPECT_EQ((Values{f.scene_track->TrackID, f.AudioTrackNode->TrackID, f.VideoTrackNode->TrackID,
                    f.od_track->TrackID, f.next_track_id, f.VideoTrackNode->VideoTrackID,
                    f.AudioTrackNode->AudioTrackID, f.VideoTrackNode->DecoderConfigLength}),
            (Values{1, 2, 3, 4, 5, 3, 2, 52}));
}

// The first track's frames, blocks and temporary file go; its ID stays
// taken; the second one's frames are the file's.
TEST(CreateTrack, SecondTrackOfATypeReplacesTheFirst) {
  Writer w;
  ASSERT_EQ(w.Create(1), 1);
  const std::string first_temp = w.file->video_temp_name;
  for (uint32_t i = 0; i < 2001; ++i) ASSERT_EQ(w.Video(3, i * 40, i % 2), 1);
  ASSERT_EQ(w.Create(4) + w.Create(4) + w.Create(1), 3);  // LeakSanitizer watches
  w.video.clear();
  ASSERT_EQ(w.Video(5, 0), 1);
  const MP4_local_file& f = *w.file;
  EXPECT_EQ((Values{f.VideoTrackNode->TrackID, f.VideoTrackNode->NextBlock == nullptr,
                    f.video_sample_count, f.video_key_count, f.video_bytes, f.video_block_index,
                    f.od_track->TrackID, std::filesystem::exists(first_temp)}),
            (Values{4, 1, 1, 1, 5, 1, 3, 0}));
  EXPECT_EQ(w.Flush(), kDone);
}

}  // namespace
