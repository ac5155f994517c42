// Reading files into atom trees: shape, diagnostics and damaged input.
#include "atom/atom_tree.h"

#include <cstring>
#include <random>
#include <sstream>
#include <tuple>

#include "atom/atom_bodies.h"
#include "atom/helpers.h"
#include "support/test_support.h"

using namespace box;

namespace {

// The file's tree, read as MP4FileOpen reads it.
struct Tree {
  explicit Tree(const Bytes& bytes, ExtractLog* log = nullptr) {
    const std::string path = WriteScratchFile("tree.mp4", bytes);
    CaptureStdout([&] { result = OpenRootFile(root, path.c_str()); });
    if (result == 1) output = CaptureStdout([&] { result = ReadFileTree(root, log); });
  }
  ~Tree() { ReleaseRootAtom(root); }
  Root_atom* root = static_cast<Root_atom*>(AllocZeroed(sizeof(Root_atom)));
  int result = 0;
  std::string output;  // what the four passes printed
};

// The node at a '/'-separated path of types from the top level, or null.
const AtomNode* Path(const Root_atom* root, const std::string& path) {
  const AtomNode* level = root->first_atom;
  const AtomNode* found = nullptr;
  std::istringstream in(path);
  for (std::string type; std::getline(in, type, '/'); level = found->first_child) {
    for (found = level; found != nullptr && type != found->type;) found = found->next;
    if (found == nullptr) return nullptr;
  }
  return found;
}

const std::string kStbl = "moov/trak/mdia/minf/stbl";

std::string Types(const AtomNode* first) {
  std::string s;
  for (const AtomNode* n = first; n != nullptr; n = n->next) s += std::string(n->type) + " ";
  return s;
}

const unsigned char* Block(const AtomNode* node) {
  AtomTypeInfo info;
  GetAtomPassInfo(node, &info);
  return static_cast<const unsigned char*>(GetTrailingBlock(node->realStructure, info));
}

Bytes VideoTrak() {
  return Trak(
      Tkhd(1, 176, 144), Mdhd(1000, 300), "vide", Stsd(Mp4v(176, 144, Esds(0x20, 0x11, {}))),
      {Stts({{3, 100}}), Stss({1}), Stsc({{1, 3, 1}}), Stsz(0, 3, {10, 20, 30}), Stco({1000})});
}

// ftyp, then moov with mvhd, iods and `moov_children`, then mdat.
Bytes File(const std::vector<Bytes>& moov_children) {
  std::vector<Bytes> moov = {Mvhd(1000, 300), Iods()};
  moov.insert(moov.end(), moov_children.begin(), moov_children.end());
  return Cat({Ftyp(), Atom("moov", moov), Atom("mdat", {Zeros(60)})});
}

}  // namespace

TEST(AtomTree, MinimalFileReadsWhole) {
  Tree t(File({VideoTrak()}));
  ASSERT_EQ(t.result, 1);
  EXPECT_EQ(t.output, "");  // no child-rule diagnostics
  EXPECT_EQ(Types(t.root->first_atom), "ftyp moov mdat ");
  EXPECT_EQ(Types(Path(t.root, "moov")->first_child), "mvhd iods trak ");
  EXPECT_EQ(Types(Path(t.root, kStbl)->first_child), "stsd stts stss stsc stsz stco ");

  const AtomNode* mvhd = Path(t.root, "moov/mvhd");
  EXPECT_EQ(RecordU32(mvhd->realStructure, 20), 1000u);  // timescale, file byte order kept
  EXPECT_EQ(mvhd->parent, Path(t.root, "moov"));
  const unsigned char* sizes = Block(Path(t.root, kStbl + "/stsz"));
  ASSERT_NE(sizes, nullptr);
  EXPECT_EQ(ReadUint32BE(sizes + 8), 30u);

  // a sample entry's children start at byte 86
  const AtomNode* mp4v = Path(t.root, kStbl + "/stsd/mp4v");
  ASSERT_NE(mp4v, nullptr);
  ASSERT_EQ(Types(mp4v->first_child), "esds ");
  EXPECT_EQ(mp4v->first_child->offset, mp4v->offset + 86);
  // the 88-byte record takes in the first two bytes of the esds size field
  const unsigned char* r = static_cast<const unsigned char*>(mp4v->realStructure);
  EXPECT_EQ(RecordU16(r, 32), 176);
  EXPECT_EQ(RecordU16(r, 86), 0);
}

TEST(AtomTree, UnknownChildEndsOnlyItsOwnLevel) {
  // udta { xxxx, cprt } then a trak: udta keeps nothing after the unknown
  // atom, and moov goes on with the trak.
  const Bytes udta = Atom("udta", {Atom("xxxx", {Zeros(4)}), Atom("cprt", {Full(0, 0), Zeros(4)})});
  ExtractLog log;
  Tree t(File({udta, VideoTrak()}), &log);
  ASSERT_EQ(t.result, 1);
  EXPECT_EQ(Types(Path(t.root, "moov")->first_child), "mvhd iods udta trak ");
  EXPECT_EQ(Path(t.root, "moov/udta")->first_child, nullptr);
  ASSERT_EQ(log.stops.size(), 1u);
  EXPECT_STREQ(log.stops[0].type, "xxxx");
  EXPECT_EQ(log.stops[0].reason, LevelStop::kUnknownCode);
  EXPECT_EQ(log.stops[0].parent, Path(t.root, "moov/udta"));
  // an empty udta draws nothing: only the atoms checked directly can lack children
  EXPECT_EQ(t.output, "");
}

TEST(AtomTree, TopLevelUnknownCodeFailsTheFile) {
  Tree t(Cat({Ftyp(), Atom("uuid", {Zeros(16)}), Atom("moov")}));
  EXPECT_EQ(t.result, -99);
  EXPECT_EQ(t.output, "file parse error, may not a mp4 file\n");
}

TEST(AtomTree, SizesThatCannotBeSteppedOverEndTheLevel) {
  for (uint32_t bad : {0u, 1u, 7u}) {
    SCOPED_TRACE(bad);
    // top level: moov before an mdat of size 0 (to the end) or 1 (64-bit size)
    ExtractLog log;
    Tree top(Cat({Ftyp(), Atom("moov", {Mvhd(1000, 0), Iods(), VideoTrak()}),
                  AtomSized(bad, "mdat", {Zeros(32)})}),
             &log);
    ASSERT_EQ(top.result, 1);
    EXPECT_EQ(Types(top.root->first_atom), "ftyp moov ");
    ASSERT_EQ(log.stops.size(), 1u);
    EXPECT_EQ(log.stops[0].reason, LevelStop::kSizeBelowHeader);

    // inside a container: the siblings after it are cut, the enclosing level goes on
    Tree inner(Cat(
        {Ftyp(),
         Atom("moov", {Mvhd(1000, 0),
                       Atom("udta", {AtomSized(bad, "cprt"), Atom("cprt", {Zeros(8)})}), Iods()}),
         Atom("mdat")}));
    ASSERT_EQ(inner.result, 1);
    EXPECT_EQ(Types(Path(inner.root, "moov")->first_child), "mvhd udta iods ");
    EXPECT_EQ(Path(inner.root, "moov/udta")->first_child, nullptr);
  }
}

TEST(AtomTree, AtomsPastTheEndOfTheFile) {
  // a top-level atom running past the end ends the level normally
  Tree top(Cat({Ftyp(), AtomSized(100000, "mdat", {Zeros(16)})}));
  ASSERT_EQ(top.result, 1);
  EXPECT_EQ(Types(top.root->first_atom), "ftyp mdat ");

  // a child running past its parent and the file: its level is cut with the
  // short-read message, its table is not read, nothing is read past the file
  Tree child(Cat({Ftyp(), Atom("moov", {Mvhd(1000, 0),
                                        Atom("udta", {AtomSized(5000, "cprt", {Zeros(8)})})})}));
  ASSERT_EQ(child.result, 1);
  EXPECT_EQ(Types(Path(child.root, "moov/udta")->first_child), "cprt ");

  // a cut stco keeps no table: nothing is read or allocated past the file
  Bytes cut = Cat({Ftyp(), Nest(kStbl, {Stco({1, 2, 3, 4})})});
  cut.resize(cut.size() - 8);
  Tree table(cut);
  ASSERT_EQ(table.result, 1);
  const AtomNode* stco = Path(table.root, kStbl + "/stco");
  ASSERT_NE(stco, nullptr);
  EXPECT_EQ(Block(stco), nullptr);
  EXPECT_NE(table.output.find("error to read atom[stco] data from file\n"), std::string::npos);
}

TEST(AtomTree, EntryTablesMustMatchTheirAtom) {
  Bytes longer = Stts({{1, 2}, {3, 4}, {5, 6}});
  longer.insert(longer.end(), 4, 0);
  longer[3] = 44;
  // each table, whether it gets a block, whether it draws the message
  const std::tuple<Bytes, bool, bool> cases[] = {
      {Stts({{1, 2}, {3, 4}, {5, 6}}), true, false},  // 3 entries in 16 + 24 = 40 bytes
      {longer, false, true},                          // the same atom four bytes longer
      {Stco({}), true, false},                        // an empty stco gets an empty block
      // a count whose byte length wraps in 32 bits is refused, not allocated
      {Atom("stco", {Full(0, 0), U32(0x40000001), U32(7)}), false, true},
      {Stsz(4096, 1000000), false, false},  // a constant sample size: no block whatever the count
  };
  for (const auto& [table, has_block, message] : cases) {
    const std::string type(table.begin() + 4, table.begin() + 8);
    SCOPED_TRACE(type + " of " + std::to_string(table.size()) + " bytes");
    Tree t(File({Nest("trak/mdia/minf/stbl", {table})}));
    ASSERT_EQ(t.result, 1);
    const unsigned char* block = Block(Path(t.root, kStbl)->first_child);
    ASSERT_EQ(block != nullptr, has_block);
    // the entries as the file stores them
    if (block != nullptr) {
      EXPECT_EQ(0, std::memcmp(block, table.data() + 16, table.size() - 16));
    }
    EXPECT_EQ(
        t.output.find("error to read atom[" + type + "] data from file\n") != std::string::npos,
        message);
  }
}

TEST(AtomTree, UrlText) {
  auto with_url = [](const Bytes& url) {
    return File({Nest("trak/mdia/minf/dinf/dref", {Full(0, 0), U32(1), url})});
  };
  const std::string path = "moov/trak/mdia/minf/dinf/dref/url ";
  Tree self(with_url(Atom("url ", {Full(0, 1)})));
  ASSERT_EQ(self.result, 1);
  ASSERT_NE(Path(self.root, path), nullptr);
  EXPECT_EQ(Block(Path(self.root, path)), nullptr);

  Tree text(with_url(Atom("url ", {Full(0, 0), Str(std::string("a.mp4\0\0\0", 8))})));
  ASSERT_EQ(text.result, 1);
  const AtomNode* url = Path(text.root, path);
  AtomTypeInfo info;
  GetAtomPassInfo(url, &info);
  ASSERT_NE(Block(url), nullptr);
  EXPECT_EQ(AtomTextLength(url, info), 8u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(Block(url)), 5), "a.mp4");
}

TEST(AtomTree, ChildRuleDiagnostics) {
  const Bytes two_stsz =
      Trak(Tkhd(1), Mdhd(1000, 0), "vide", Stsd(Mp4v(8, 8, Esds(0x20, 0x11, {}))),
           {Stts({}), Stsc({}), Stsz(1, 1), Stsz(1, 1), Stco({})});
  // a child that no rule admits; the check of moov still runs after it
  const Bytes stray = Atom("trak", {Tkhd(2), Atom("mvhd", {Zeros(100)})});
  const std::pair<Bytes, std::string> cases[] = {
      {Atom("moov"), "\n Without required child atom at [moov] \n"},
      {Atom("moov", {Mvhd(1000, 0), VideoTrak()}),
       "\n This atom[moov] must have such type of atom[iods] \n"},
      {Atom("moov", {Mvhd(1000, 0), Iods(), two_stsz}),
       "\n This atom[stbl] must only have one such type of atom[stsz] \n"},
      {Atom("moov", {Mvhd(1000, 0), stray}),
       "\n There exist at lest one atom not belong to this atom[trak] \n"
       "\n This atom[moov] must have such type of atom[iods] \n"},
  };
  for (const auto& [moov, expected] : cases) {
    Tree t(Cat({Ftyp(), moov, Atom("mdat")}));
    EXPECT_EQ(t.result, 1);
    EXPECT_EQ(t.output, expected);
  }
}

TEST(AtomTree, LargeEsdsIsKeptWhole) {
  Bytes dsi(60, 0xAA);
  dsi.back() = 0x5C;
  const Bytes esds = Esds(0x20, 0x11, dsi);
  ASSERT_GT(esds.size(), 80u);
  Tree t(File({Trak(Tkhd(1), Mdhd(1000, 0), "vide", Stsd(Mp4v(8, 8, esds)), {})}));
  ASSERT_EQ(t.result, 1);
  const AtomNode* node = Path(t.root, kStbl + "/stsd/mp4v/esds");
  ASSERT_NE(node, nullptr);
  EXPECT_EQ(RecordLength(node, t.root->file_size), esds.size());
  const unsigned char* r = static_cast<const unsigned char*>(node->realStructure);
  EXPECT_EQ(r[esds.size() - 4], 0x5C);  // the last DSI byte, before 06 01 02
}

TEST(AtomTree, DeepNestingIsBounded) {
  Bytes nested = Atom("cprt", {Zeros(8)});
  for (int i = 0; i < 5000; ++i) nested = Atom("udta", {nested});
  ExtractLog log;
  Tree t(Cat({Ftyp(), Atom("moov", {nested})}), &log);
  ASSERT_EQ(t.result, 1);
  int depth = 0;
  for (const AtomNode* n = t.root->first_atom->next; n != nullptr; n = n->first_child) ++depth;
  EXPECT_EQ(depth, kMaxAtomDepth + 1);
  ASSERT_FALSE(log.stops.empty());
  EXPECT_EQ(log.stops.back().reason, LevelStop::kTooDeep);
}

TEST(AtomTree, DamagedFilesNeverCrash) {
  const Bytes good = File({VideoTrak(), Atom("udta", {Atom("cprt", {Full(0, 0), Zeros(4)})})});
  // every prefix
  for (size_t n = 1; n < good.size(); ++n) {
    Tree t(Bytes(good.begin(), good.begin() + long(n)));
    EXPECT_TRUE(t.result == 1 || t.result == -99) << n;
  }
  // random bytes changed
  std::mt19937 rng(1234);
  for (int round = 0; round < 400; ++round) {
    Bytes bad = good;
    const int changes = 1 + int(rng() % 4);
    for (int c = 0; c < changes; ++c) bad[rng() % bad.size()] = uint8_t(rng());
    Tree t(bad);
    EXPECT_TRUE(t.result == 1 || t.result == -99) << round;
  }
}

TEST(AtomTree, Corpus) {
  const std::vector<std::string> files = CorpusFiles();
  if (files.empty()) GTEST_SKIP() << "../shared/corpus is absent: corpus cases skipped";
  for (const std::string& path : files) {
    Tree t(ReadWholeFile(path));
    EXPECT_TRUE(t.result == 1 || t.result == -99) << path;
  }
}
