// Reading files into atom trees: shape, diagnostics and damaged input.
#include "atom/atom_tree.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>

#include "atom/atom_bodies.h"
#include "atom/helpers.h"
#include "support/test_support.h"

using namespace box;

namespace {

struct LoadedTree {
  Root_atom* root = nullptr;
  int result = 0;
  std::string output;  // what the four passes printed
  ~LoadedTree() { ReleaseRootAtom(root); }
};

std::unique_ptr<LoadedTree> Load(const Bytes& bytes, ExtractLog* log = nullptr) {
  auto t = std::make_unique<LoadedTree>();
  const std::string path = WriteScratchFile("tree.mp4", bytes);
  t->root = static_cast<Root_atom*>(AllocZeroed(sizeof(Root_atom)));
  int opened = 0;
  CaptureStdout([&] { opened = OpenRootFile(t->root, path.c_str()); });
  if (opened != 1) {
    t->result = opened;
    return t;
  }
  t->output = CaptureStdout([&] { t->result = ReadFileTree(t->root, log); });
  return t;
}

const AtomNode* Child(const AtomNode* first, const char* type) {
  for (const AtomNode* n = first; n != nullptr; n = n->next)
    if (IsAtomType(n->type, type)) return n;
  return nullptr;
}

const AtomNode* Path(const Root_atom* root, std::initializer_list<const char*> types) {
  const AtomNode* level = root->first_atom;
  const AtomNode* found = nullptr;
  for (const char* t : types) {
    found = Child(level, t);
    if (found == nullptr) return nullptr;
    level = found->first_child;
  }
  return found;
}

std::string Types(const AtomNode* first) {
  std::string s;
  for (const AtomNode* n = first; n != nullptr; n = n->next) s += std::string(n->type) + " ";
  return s;
}

Bytes VideoTrak() {
  return Trak(
      Tkhd(1, 176, 144), Mdhd(1000, 300), "vide",
      Stsd(Mp4v(176, 144, Esds(0x20, 0x11, Str("\x00\x00\x01\xB0\x01")))),
      {Stts({{3, 100}}), Stss({1}), Stsc({{1, 3, 1}}), Stsz(0, 3, {10, 20, 30}), Stco({1000})});
}

Bytes MinimalFile(const Bytes& moov_extra = {}) {
  return Cat({Ftyp(), Atom("moov", {Mvhd(1000, 300), Iods(), VideoTrak(), moov_extra}),
              Atom("mdat", {Zeros(60)})});
}

}  // namespace

TEST(AtomTree, MinimalFileReadsWhole) {
  auto t = Load(MinimalFile());
  ASSERT_EQ(t->result, 1);
  EXPECT_EQ(t->output, "");  // no child-rule diagnostics
  EXPECT_EQ(Types(t->root->first_atom), "ftyp moov mdat ");
  EXPECT_EQ(Types(Path(t->root, {"moov"})->first_child), "mvhd iods trak ");
  EXPECT_EQ(Types(Path(t->root, {"moov", "trak", "mdia", "minf", "stbl"})->first_child),
            "stsd stts stss stsc stsz stco ");

  const AtomNode* mvhd = Path(t->root, {"moov", "mvhd"});
  EXPECT_EQ(RecordU32(mvhd->realStructure, 20), 1000u);  // timescale, file byte order kept
  EXPECT_EQ(mvhd->parent, Path(t->root, {"moov"}));

  const AtomNode* stsz = Path(t->root, {"moov", "trak", "mdia", "minf", "stbl", "stsz"});
  AtomTypeInfo info;
  GetAtomPassInfo(stsz, &info);
  const unsigned char* sizes =
      static_cast<const unsigned char*>(GetTrailingBlock(stsz->realStructure, info));
  ASSERT_NE(sizes, nullptr);
  EXPECT_EQ(ReadUint32BE(sizes + 8), 30u);
}

TEST(AtomTree, UnknownChildEndsOnlyItsOwnLevel) {
  // udta { xxxx, cprt } then a trak: udta keeps nothing after the unknown
  // atom, and moov goes on with the trak.
  const Bytes udta = Atom("udta", {Atom("xxxx", {Zeros(4)}), Atom("cprt", {Full(0, 0), Zeros(4)})});
  ExtractLog log;
  auto t = Load(
      Cat({Ftyp(), Atom("moov", {Mvhd(1000, 0), Iods(), udta, VideoTrak()}), Atom("mdat")}), &log);
  ASSERT_EQ(t->result, 1);
  EXPECT_EQ(Types(Path(t->root, {"moov"})->first_child), "mvhd iods udta trak ");
  EXPECT_EQ(Path(t->root, {"moov", "udta"})->first_child, nullptr);
  ASSERT_EQ(log.stops.size(), 1u);
  EXPECT_STREQ(log.stops[0].type, "xxxx");
  EXPECT_EQ(log.stops[0].reason, LevelStop::kUnknownCode);
  EXPECT_EQ(log.stops[0].parent, Path(t->root, {"moov", "udta"}));
  // an empty udta draws nothing: only the atoms checked directly can lack children
  EXPECT_EQ(t->output, "");
}

TEST(AtomTree, TopLevelUnknownCodeFailsTheFile) {
  auto t = Load(Cat({Ftyp(), Atom("uuid", {Zeros(16)}), Atom("moov")}));
  EXPECT_EQ(t->result, -99);
  EXPECT_EQ(t->output, "file parse error, may not a mp4 file\n");
}

TEST(AtomTree, SampleEntryChildrenStartAtByte86) {
  auto t = Load(MinimalFile());
  ASSERT_EQ(t->result, 1);
  const AtomNode* mp4v = Path(t->root, {"moov", "trak", "mdia", "minf", "stbl", "stsd", "mp4v"});
  ASSERT_NE(mp4v, nullptr);
  ASSERT_NE(mp4v->first_child, nullptr);
  EXPECT_STREQ(mp4v->first_child->type, "esds");
  EXPECT_EQ(mp4v->first_child->offset, mp4v->offset + 86);
  // the 88-byte record takes in the first two bytes of the esds size field
  const unsigned char* r = static_cast<const unsigned char*>(mp4v->realStructure);
  EXPECT_EQ(RecordU16(r, 32), 176);
  EXPECT_EQ(r[86], 0);
  EXPECT_EQ(r[87], 0);
}

TEST(AtomTree, SizesThatCannotBeSteppedOverEndTheLevel) {
  for (uint32_t bad : {0u, 1u, 7u}) {
    SCOPED_TRACE(bad);
    // top level: moov before an mdat of size 0 (to the end) or 1 (64-bit size)
    ExtractLog log;
    auto top = Load(Cat({Ftyp(), Atom("moov", {Mvhd(1000, 0), Iods(), VideoTrak()}),
                         AtomSized(bad, "mdat", {Zeros(32)})}),
                    &log);
    ASSERT_EQ(top->result, 1);
    EXPECT_EQ(Types(top->root->first_atom), "ftyp moov ");
    ASSERT_EQ(log.stops.size(), 1u);
    EXPECT_EQ(log.stops[0].reason, LevelStop::kSizeBelowHeader);

    // inside a container: the siblings after it are cut, the enclosing level goes on
    auto inner = Load(Cat(
        {Ftyp(),
         Atom("moov", {Mvhd(1000, 0),
                       Atom("udta", {AtomSized(bad, "cprt"), Atom("cprt", {Zeros(8)})}), Iods()}),
         Atom("mdat")}));
    ASSERT_EQ(inner->result, 1);
    EXPECT_EQ(Types(Path(inner->root, {"moov"})->first_child), "mvhd udta iods ");
    EXPECT_EQ(Path(inner->root, {"moov", "udta"})->first_child, nullptr);
  }
}

TEST(AtomTree, AtomsPastTheEndOfTheFile) {
  // a top-level atom running past the end ends the level normally
  auto top = Load(Cat({Ftyp(), AtomSized(100000, "mdat", {Zeros(16)})}));
  ASSERT_EQ(top->result, 1);
  EXPECT_EQ(Types(top->root->first_atom), "ftyp mdat ");

  // a child running past its parent and the file: its level is cut with the
  // short-read message, its table is not read, nothing is read past the file
  Bytes moov = Atom("moov", {Mvhd(1000, 0), Atom("udta", {AtomSized(5000, "cprt", {Zeros(8)})})});
  auto child = Load(Cat({Ftyp(), moov}));
  ASSERT_EQ(child->result, 1);
  EXPECT_EQ(Types(Path(child->root, {"moov", "udta"})->first_child), "cprt ");

  // a cut stco keeps no table: nothing is read or allocated past the file
  Bytes cut = Cat(
      {Ftyp(),
       Atom("moov",
            {Atom("trak", {Atom("mdia", {Atom("minf", {Atom("stbl", {Stco({1, 2, 3, 4})})})})})})});
  cut.resize(cut.size() - 8);
  auto table = Load(cut);
  ASSERT_EQ(table->result, 1);
  const AtomNode* stco = Path(table->root, {"moov", "trak", "mdia", "minf", "stbl", "stco"});
  ASSERT_NE(stco, nullptr);
  AtomTypeInfo info;
  GetAtomPassInfo(stco, &info);
  EXPECT_EQ(GetTrailingBlock(stco->realStructure, info), nullptr);
  EXPECT_NE(table->output.find("error to read atom[stco] data from file\n"), std::string::npos);
}

TEST(AtomTree, EntryTablesMustMatchTheirAtom) {
  auto tables = [](const Bytes& table) {
    return Cat(
        {Ftyp(),
         Atom("moov", {Mvhd(1000, 0), Iods(),
                       Atom("trak", {Atom("mdia", {Atom("minf", {Atom("stbl", {table})})})})}),
         Atom("mdat")});
  };
  auto stbl_child = [](const LoadedTree& t) {
    return Path(t.root, {"moov", "trak", "mdia", "minf", "stbl"})->first_child;
  };
  AtomTypeInfo info;

  // 3 entries in 16 + 24 = 40 bytes: a 24-byte block
  auto good = Load(tables(Stts({{1, 2}, {3, 4}, {5, 6}})));
  ASSERT_EQ(good->result, 1);
  const AtomNode* stts = stbl_child(*good);
  GetAtomPassInfo(stts, &info);
  const unsigned char* block =
      static_cast<const unsigned char*>(GetTrailingBlock(stts->realStructure, info));
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(ReadUint32BE(block + 20), 6u);

  // the same atom four bytes longer: no block, and the message
  Bytes longer = Stts({{1, 2}, {3, 4}, {5, 6}});
  longer.insert(longer.end(), 4, 0);
  longer[3] = 44;
  auto bad = Load(tables(longer));
  ASSERT_EQ(bad->result, 1);
  EXPECT_NE(bad->output.find("error to read atom[stts] data from file\n"), std::string::npos);
  EXPECT_EQ(GetTrailingBlock(stbl_child(*bad)->realStructure, info), nullptr);

  // an empty stco gets an empty block
  auto empty = Load(tables(Stco({})));
  ASSERT_EQ(empty->result, 1);
  GetAtomPassInfo(stbl_child(*empty), &info);
  EXPECT_NE(GetTrailingBlock(stbl_child(*empty)->realStructure, info), nullptr);

  // a count whose byte length wraps in 32 bits is refused, not allocated
  auto wrapped = Load(tables(Atom("stco", {Full(0, 0), U32(0x40000001), U32(7)})));
  ASSERT_EQ(wrapped->result, 1);
  EXPECT_EQ(GetTrailingBlock(stbl_child(*wrapped)->realStructure, info), nullptr);
  EXPECT_NE(wrapped->output.find("error to read atom[stco] data from file\n"), std::string::npos);

  // a constant sample size: no block whatever the count
  auto constant = Load(tables(Stsz(4096, 1000000)));
  ASSERT_EQ(constant->result, 1);
  GetAtomPassInfo(stbl_child(*constant), &info);
  EXPECT_EQ(GetTrailingBlock(stbl_child(*constant)->realStructure, info), nullptr);
  EXPECT_EQ(constant->output.find("error to read atom"), std::string::npos);
}

TEST(AtomTree, UrlText) {
  auto with_url = [](const Bytes& url) {
    return Cat(
        {Ftyp(),
         Atom("moov",
              {Mvhd(1000, 0), Iods(),
               Atom("trak",
                    {Atom("mdia", {Atom("minf", {Atom("dinf", {Atom("dref", {Full(0, 0), U32(1),
                                                                             url})})})})})}),
         Atom("mdat")});
  };
  AtomTypeInfo info;
  auto self = Load(with_url(Atom("url ", {Full(0, 1)})));
  ASSERT_EQ(self->result, 1);
  const AtomNode* url = Path(self->root, {"moov", "trak", "mdia", "minf", "dinf", "dref", "url "});
  ASSERT_NE(url, nullptr);
  GetAtomPassInfo(url, &info);
  EXPECT_EQ(GetTrailingBlock(url->realStructure, info), nullptr);

  auto text = Load(with_url(Atom("url ", {Full(0, 0), Str(std::string("a.mp4\0\0\0", 8))})));
  ASSERT_EQ(text->result, 1);
  url = Path(text->root, {"moov", "trak", "mdia", "minf", "dinf", "dref", "url "});
  const char* block = static_cast<const char*>(GetTrailingBlock(url->realStructure, info));
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(AtomTextLength(url, info), 8u);
  EXPECT_EQ(std::string(block, 5), "a.mp4");
}

TEST(AtomTree, ChildRuleDiagnostics) {
  auto empty = Load(Cat({Ftyp(), Atom("moov"), Atom("mdat")}));
  ASSERT_EQ(empty->result, 1);
  EXPECT_EQ(empty->output, "\n Without required child atom at [moov] \n");

  auto no_iods = Load(Cat({Ftyp(), Atom("moov", {Mvhd(1000, 0), VideoTrak()}), Atom("mdat")}));
  ASSERT_EQ(no_iods->result, 1);
  EXPECT_EQ(no_iods->output, "\n This atom[moov] must have such type of atom[iods] \n");

  const Bytes two_stsz =
      Trak(Tkhd(1), Mdhd(1000, 0), "vide", Stsd(Mp4v(8, 8, Esds(0x20, 0x11, {}))),
           {Stts({}), Stsc({}), Stsz(1, 1), Stsz(1, 1), Stco({})});
  auto twice = Load(Cat({Ftyp(), Atom("moov", {Mvhd(1000, 0), Iods(), two_stsz}), Atom("mdat")}));
  ASSERT_EQ(twice->result, 1);
  EXPECT_EQ(twice->output, "\n This atom[stbl] must only have one such type of atom[stsz] \n");

  // a child that no rule admits; the check of moov still runs after it
  const Bytes stray = Atom("trak", {Tkhd(2), Atom("mvhd", {Zeros(100)})});
  auto foreign = Load(Cat({Ftyp(), Atom("moov", {Mvhd(1000, 0), stray}), Atom("mdat")}));
  EXPECT_EQ(foreign->output,
            "\n There exist at lest one atom not belong to this atom[trak] \n"
            "\n This atom[moov] must have such type of atom[iods] \n");
}

TEST(AtomTree, LargeEsdsIsKeptWhole) {
  Bytes dsi(60, 0xAA);
  dsi.back() = 0x5C;
  const Bytes esds = Esds(0x20, 0x11, dsi);
  ASSERT_GT(esds.size(), 80u);
  auto t =
      Load(Cat({Ftyp(),
                Atom("moov", {Mvhd(1000, 0), Iods(),
                              Trak(Tkhd(1), Mdhd(1000, 0), "vide", Stsd(Mp4v(8, 8, esds)), {})}),
                Atom("mdat")}));
  ASSERT_EQ(t->result, 1);
  const AtomNode* node =
      Path(t->root, {"moov", "trak", "mdia", "minf", "stbl", "stsd", "mp4v", "esds"});
  ASSERT_NE(node, nullptr);
  EXPECT_EQ(RecordLength(node, t->root->file_size), esds.size());
  const unsigned char* r = static_cast<const unsigned char*>(node->realStructure);
  EXPECT_EQ(r[esds.size() - 4], 0x5C);  // the last DSI byte, before 06 01 02
}

TEST(AtomTree, DeepNestingIsBounded) {
  Bytes nested = Atom("cprt", {Zeros(8)});
  for (int i = 0; i < 5000; ++i) nested = Atom("udta", {nested});
  ExtractLog log;
  auto t = Load(Cat({Ftyp(), Atom("moov", {nested})}), &log);
  ASSERT_EQ(t->result, 1);
  int depth = 0;
  for (const AtomNode* n = t->root->first_atom->next; n != nullptr; n = n->first_child) ++depth;
  EXPECT_EQ(depth, kMaxAtomDepth + 1);
  ASSERT_FALSE(log.stops.empty());
  EXPECT_EQ(log.stops.back().reason, LevelStop::kTooDeep);
}

TEST(AtomTree, DamagedFilesNeverCrash) {
  const Bytes good = MinimalFile(Atom("udta", {Atom("cprt", {Full(0, 0), Zeros(4)})}));
  // every prefix
  for (size_t n = 1; n < good.size(); ++n) {
    Bytes cut(good.begin(), good.begin() + long(n));
    auto t = Load(cut);
    EXPECT_TRUE(t->result == 1 || t->result == -99) << n;
  }
  // random bytes changed
  std::mt19937 rng(1234);
  for (int round = 0; round < 400; ++round) {
    Bytes bad = good;
    const int changes = 1 + int(rng() % 4);
    for (int c = 0; c < changes; ++c) bad[rng() % bad.size()] = uint8_t(rng());
    auto t = Load(bad);
    EXPECT_TRUE(t->result == 1 || t->result == -99) << round;
  }
}

TEST(AtomTree, Corpus) {
  const std::vector<std::string> files = CorpusFiles();
  if (files.empty()) GTEST_SKIP() << "../shared/corpus is absent: corpus cases skipped";
  for (const std::string& path : files) {
    SCOPED_TRACE(path);
    auto t = Load(ReadWholeFile(path));
    EXPECT_TRUE(t->result == 1 || t->result == -99);
  }
}
