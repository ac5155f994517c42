// Reading files into atom trees: shape, diagnostics and damaged input.
#include "atom/atom_tree.h"

#include "atom/atom_bodies.h"
#include "support/test_support.h"

using namespace box;

namespace {

const std::string kStbl = "moov/trak/mdia/minf/stbl";

// The file's tree, read as MP4FileOpen reads it. The reading must succeed,
// or fail with -99 when the file is `damaged` (which names it).
struct Tree {
  explicit Tree(const Bytes& bytes, const std::string& damaged = "") {
    const std::string path = WriteScratchFile("tree.mp4", bytes);
    CaptureStdout([&] { ok = Ok(OpenRootFile(root, path.c_str())); });
    if (ok) output = CaptureStdout([&] { ok = Ok(ReadFileTree(root, &log)); });
    EXPECT_TRUE(ok || !damaged.empty()) << damaged;
  }
  ~Tree() { ReleaseRootAtom(root); }
  // The node at a '/'-separated path of types from the top level, or null.
  const AtomNode* Path(const std::string& path) const { return Find(root->first_atom, path); }
  static const AtomNode* Find(const AtomNode* n, const std::string& path) {
    const size_t slash = path.find('/');
    while (n != nullptr && path.substr(0, slash) != n->type) n = n->next;
    if (n == nullptr || slash == std::string::npos) return n;
    return Find(n->first_child, path.substr(slash + 1));
  }
  // The types of the children of the node at `path`, or of the top level.
  std::string Types(const std::string& path = "") const {
    if (!path.empty() && Path(path) == nullptr) return "no " + path;
    std::string s;
    for (auto n = path.empty() ? root->first_atom : Path(path)->first_child; n; n = n->next)
      s += std::string(n->type) + " ";
    return s;
  }
  // The block of entries or text that the node's record ends in.
  const unsigned char* Block(const std::string& path) const {
    AtomTypeInfo info;
    GetAtomPassInfo(Path(path), &info);
    return static_cast<const unsigned char*>(GetTrailingBlock(Path(path)->realStructure, info));
  }
  Root_atom* root = static_cast<Root_atom*>(AllocZeroed(sizeof(Root_atom)));
  bool ok = false;
  std::string output;  // what the four passes printed
  ExtractLog log;
};

// A video track of three samples with an esds of more than 80 bytes,
// whose last DSI byte, before 06 01 02, is 0x5C.
Bytes LargeEsds() {
  Bytes dsi(60, 0xAA);
  dsi.back() = 0x5C;
  return Esds(0x20, 0x11, dsi);
}
Bytes VideoTrak() {
  return Trak(
      Tkhd(1, 176, 144), Mdhd(1000, 0), "vide", Stsd(Mp4v(176, 144, LargeEsds())),
      {Stts({{3, 100}}), Stss({1}), Stsc({{1, 3, 1}}), Stsz(0, 3, {10, 20, 30}), Stco({1000})});
}

}  // namespace

TEST(AtomTree, ShapeOfAFile) {
  // udta { xxxx, cprt }: udta keeps nothing after the unknown atom, and
  // moov goes on with the trak
  const Bytes udta = Atom("udta", {Atom("xxxx", {Zeros(4)}), Atom("cprt", {Full(0, 0), Zeros(4)})});
  Tree t(Movie({udta, VideoTrak()}));
  // no child-rule diagnostics: only the atoms checked directly can lack children
  EXPECT_EQ(t.output, "");
  EXPECT_EQ(t.Types(), "ftyp mdat moov ");
  EXPECT_EQ(t.Types("moov"), "mvhd iods udta trak ");
  EXPECT_EQ(t.Types(kStbl), "stsd stts stss stsc stsz stco ");
  EXPECT_EQ(t.Path("moov/udta")->first_child, nullptr);
  ASSERT_EQ(t.log.stops.size(), 1u);
  EXPECT_EQ(std::make_tuple(std::string(t.log.stops[0].type), t.log.stops[0].reason,
                            t.log.stops[0].parent),
            std::make_tuple(std::string("xxxx"), LevelStop::kUnknownCode, t.Path("moov/udta")));

  const AtomNode* mvhd = t.Path("moov/mvhd");
  EXPECT_EQ(RecordU32(mvhd->realStructure, 20), 1000u);  // timescale, file byte order kept
  EXPECT_EQ(mvhd->parent, t.Path("moov"));
  ASSERT_NE(t.Block(kStbl + "/stsz"), nullptr);
  EXPECT_EQ(ReadUint32BE(t.Block(kStbl + "/stsz") + 8), 30u);
  EXPECT_EQ(t.Block("moov/trak/mdia/minf/dinf/dref/url "), nullptr);  // self-contained: no text

  // a sample entry's children start at byte 86
  const AtomNode* mp4v = t.Path(kStbl + "/stsd/mp4v");
  ASSERT_EQ(t.Types(kStbl + "/stsd/mp4v"), "esds ");
  EXPECT_EQ(mp4v->first_child->offset, mp4v->offset + 86);
  // the 88-byte record takes in the first two bytes of the esds size field
  EXPECT_EQ(RecordU16(mp4v->realStructure, 32), 176);
  EXPECT_EQ(RecordU16(mp4v->realStructure, 86), 0);
  // a large esds is kept whole
  const AtomNode* esds = mp4v->first_child;
  EXPECT_EQ(RecordLength(esds, t.root->file_size), LargeEsds().size());
  EXPECT_EQ(static_cast<const unsigned char*>(esds->realStructure)[LargeEsds().size() - 4], 0x5C);
}

TEST(AtomTree, SizesThatCannotBeSteppedOverEndTheLevel) {
  for (uint32_t bad : {0u, 1u, 7u}) {
    SCOPED_TRACE(bad);
    // top level: moov before an mdat of size 0 (to the end) or 1 (64-bit size)
    Tree top(Cat({Ftyp(), Atom("moov", {Mvhd(1000, 0), Iods(), VideoTrak()}),
                  AtomSized(bad, "mdat", {Zeros(32)})}));
    EXPECT_EQ(top.Types(), "ftyp moov ");
    ASSERT_EQ(top.log.stops.size(), 1u);
    EXPECT_EQ(top.log.stops[0].reason, LevelStop::kSizeBelowHeader);

    // inside a container: the siblings after it are cut, the enclosing level goes on
    const Bytes udta = Atom("udta", {AtomSized(bad, "cprt"), Atom("cprt", {Zeros(8)})});
    Tree inner(Cat({Ftyp(), Atom("moov", {Mvhd(1000, 0), udta, Iods()}), Atom("mdat")}));
    EXPECT_EQ(inner.Types("moov"), "mvhd udta iods ");
    EXPECT_EQ(inner.Types("moov/udta"), "");
  }
}

TEST(AtomTree, AtomsPastTheEndOfTheFile) {
  // a top-level atom running past the end ends the level normally
  Tree top(Cat({Ftyp(), AtomSized(100000, "mdat", {Zeros(16)})}));
  EXPECT_EQ(top.Types(), "ftyp mdat ");

  // a child running past its parent and the file is kept, nothing read past the file
  Tree child(Cat({Ftyp(), Nest("moov/udta", {AtomSized(5000, "cprt", {Zeros(8)})})}));
  EXPECT_EQ(child.Types("moov/udta"), "cprt ");

  // a cut stco keeps no table: nothing is read or allocated past the file
  Bytes cut = Cat({Ftyp(), Nest(kStbl, {Stco({1, 2, 3, 4})})});
  cut.resize(cut.size() - 8);
  Tree table(cut);
  ASSERT_NE(table.Path(kStbl + "/stco"), nullptr);
  EXPECT_EQ(table.Block(kStbl + "/stco"), nullptr);
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
    Tree t(Movie({Nest("trak/mdia/minf/stbl", {table})}));
    const unsigned char* block = t.Block(kStbl + "/" + type);
    ASSERT_EQ(block != nullptr, has_block);
    // the entries as the file stores them
    EXPECT_TRUE(block == nullptr ||
                Bytes(block, block + table.size() - 16) == Bytes(table.begin() + 16, table.end()));
    EXPECT_EQ(Count(t.output, "error to read atom[" + type + "] data from file\n"), message);
  }
}

TEST(AtomTree, UrlText) {
  const Bytes url = Atom("url ", {Full(0, 0), Str(std::string("a.mp4\0\0\0", 8))});
  Tree t(Movie({Nest("trak/mdia/minf/dinf/dref", {Full(0, 0), U32(1), url})}));
  const std::string path = "moov/trak/mdia/minf/dinf/dref/url ";
  AtomTypeInfo info;
  GetAtomPassInfo(t.Path(path), &info);
  EXPECT_EQ(AtomTextLength(t.Path(path), info), 8u);
  ASSERT_NE(t.Block(path), nullptr);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(t.Block(path)), 5), "a.mp4");
}

TEST(AtomTree, ChildRuleDiagnostics) {
  const Bytes two_stsz = SimpleTrak("vide", {Stts({}), Stsc({}), Stsz(1, 1), Stsz(1, 1), Stco({})});
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
    EXPECT_EQ(Tree(Cat({Ftyp(), moov, Atom("mdat")})).output, expected);
  }
}

TEST(AtomTree, DeepNestingIsBounded) {
  Bytes nested = Atom("cprt", {Zeros(8)});
  for (int i = 0; i < 5000; ++i) nested = Atom("udta", {nested});
  Tree t(Cat({Ftyp(), Atom("moov", {nested})}));
  int depth = 0;
  for (const AtomNode* n = t.root->first_atom->next; n != nullptr; n = n->first_child) ++depth;
  EXPECT_EQ(depth, kMaxAtomDepth + 1);
  ASSERT_FALSE(t.log.stops.empty());
  EXPECT_EQ(t.log.stops.back().reason, LevelStop::kTooDeep);
}
