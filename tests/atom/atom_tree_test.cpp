// Reading files into atom trees: shape, diagnostics and damaged input.
#include "atom/atom_tree.h"

#include "atom/atom_bodies.h"
#include "support/test_support.h"

using namespace box;

namespace {

// The node at a '/'-separated path of types from the top level of `f`'s
// tree (`n` and its siblings), or null.
const AtomNode* Path(const OpenedFile& f, const std::string& path, const AtomNode* n = nullptr) {
  const size_t slash = path.find('/');
  for (n = n ? n : f.file->root->first_atom; n && path.substr(0, slash) != n->type;) n = n->next;
  return n && slash != std::string::npos ? Path(f, path.substr(slash + 1), n->first_child) : n;
}
// The types of `n` and its siblings, each followed by its children in ().
std::string Shape(const AtomNode* n) {
  std::string s;
  for (; n != nullptr; n = n->next)
    s += n->type + (n->first_child ? "(" + Shape(n->first_child) + ")" : "") + " ";
  return s;
}
std::string Shape(const Bytes& file) {
  return Shape(OpenedFile(file).file->root->first_atom);
}
// What reading the tree printed: after the file's size, before the tracks' discovery.
std::string Passes(const OpenedFile& f) {
  const size_t from = f.output.find('\n', f.output.find("file size [")) + 1;
  return f.output.substr(from, f.output.find("Can't find", from) - from);
}

// A video track with an esds of more than 80 bytes, whose last DSI byte is 0x5C.
const Bytes kLargeEsds = Esds(0x20, 0x11, Cat({Bytes(59, 0xAA), {0x5C}}));
Bytes VideoTrak() {
  return Trak(
      Tkhd(1, 176, 144), Mdhd(1000, 0), "vide", Stsd(Mp4v(176, 144, kLargeEsds)),
      {Stts({{3, 100}}), Stss({1}), Stsc({{1, 3, 1}}), Stsz(0, 3, {10, 20, 30}), Stco({1000})});
}

}  // namespace

TEST(AtomTree, Shape) {
  // an unknown atom (udta keeps nothing from it on), and a size that cannot
  // be stepped over (0, 1, 7), end their level; the enclosing one goes on
  auto udta = [](const Bytes& first) { return Atom("udta", {first, Atom("cprt", {Zeros(8)})}); };
  OpenedFile t(Movie({udta(Atom("xxxx", {Zeros(4)})), udta(AtomSized(0, "cprt")),
                      udta(AtomSized(1, "cprt")), udta(AtomSized(7, "cprt")), VideoTrak()}));
  EXPECT_EQ(Passes(t), "");  // only the atoms checked directly can lack children
  EXPECT_EQ(Shape(t.file->root->first_atom),
            "ftyp mdat moov(mvhd iods udta udta udta udta trak(tkhd mdia(mdhd hdlr minf(vmhd "
            "dinf(dref(url  ) ) stbl(stsd(mp4v(esds ) ) stts stss stsc stsz stco ) ) ) ) ) ");
  // the same at the top level; an atom past the end of the file ends the
  // top level normally, a child of one is kept
  for (uint32_t bad : {0u, 1u, 7u})
    EXPECT_EQ(
        Shape(Cat({Ftyp(), Atom("moov", {Mvhd(1000, 0)}), AtomSized(bad, "mdat", {Zeros(32)})})),
        "ftyp moov(mvhd ) ")
        << bad;
  EXPECT_EQ(Shape(Cat({Ftyp(), AtomSized(100000, "mdat", {Zeros(16)})})), "ftyp mdat ");
  EXPECT_EQ(Shape(Cat({Ftyp(), Nest("moov/udta", {AtomSized(5000, "cprt", {Zeros(8)})})})),
            "ftyp moov(udta(cprt ) ) ");

  // a sample entry's children start at byte 86; its 88-byte record takes in
  // the first two bytes of the esds size field; a large esds is kept whole
  const AtomNode* mp4v = Path(t, "moov/trak/mdia/minf/stbl/stsd/mp4v");
  const AtomNode* esds = mp4v->first_child;
  EXPECT_EQ((Values{esds->offset - mp4v->offset, RecordU16(mp4v->realStructure, 32),
                    RecordU16(mp4v->realStructure, 86), RecordLength(esds, t.file->root->file_size),
                    static_cast<const unsigned char*>(esds->realStructure)[kLargeEsds.size() - 4]}),
            (Values{86, 176, 0, uint32_t(kLargeEsds.size()), 0x5C}));
}

TEST(AtomTree, EntryTablesAndTextsMustMatchTheirAtom) {
  const Bytes file = Cat(
      {Ftyp(),
       Nest("moov/trak/mdia/minf",
            {Nest("dinf/dref", {Full(0, 0), U32(1),
                                Atom("url ", {Full(0, 0), Str(std::string("a.mp4\0\0", 7))})}),
             Nest("stbl", {Stts({{1, 2}, {3, 4}, {5, 6}}),
                           Atom("ctts", {Full(0, 0), U32(3), Zeros(28)}),  // 4 bytes too many
                           Stco({}), Atom("stss", {Full(0, 0), U32(0x40000001), U32(7)}),
                           Stsz(4096, 1000000), Atom("co64", {Full(0, 0), U32(2), Zeros(16)})})})});
  OpenedFile t(Bytes(file.begin(), file.end() - 8));  // co64 is cut by the end of the file
  // the atoms that get their block (the entries or the text as the file
  // stores them); the others draw the message, but for stsz, whose samples
  // have a constant size; stss's byte length wraps in 32 bits
  std::string blocks;
  for (const std::string path : {"dinf/dref/url ", "stbl/stts", "stbl/ctts", "stbl/stco",
                                 "stbl/stss", "stbl/stsz", "stbl/co64"}) {
    const AtomNode* node = Path(t, "moov/trak/mdia/minf/" + path);
    AtomTypeInfo info;
    GetAtomPassInfo(node, &info);
    const auto* b = static_cast<const unsigned char*>(GetTrailingBlock(node->realStructure, info));
    const size_t at = node->offset + info.record_size - 4, end = node->offset + node->size;
    blocks += !b ? "" : std::equal(b, b + end - at, file.begin() + at) ? node->type : "wrong";
  }
  EXPECT_EQ(blocks, "url sttsstco");
  EXPECT_NE(Passes(t).find("error to read atom[ctts] data from file\nerror to read atom[stss] data "
                           "from file\nerror to read atom[co64] data from file\n"),
            std::string::npos);
}

TEST(AtomTree, ChildRuleDiagnostics) {
  const Bytes two_stsz = SimpleTrak("vide", {Stts({}), Stsc({}), Stsz(1, 1), Stsz(1, 1), Stco({})});
  // a child that no rule admits; the check of moov still runs after it
  const Bytes stray = Atom("trak", {Tkhd(2), Atom("mvhd", {Zeros(100)})});
  const std::string iods = "\n This atom[moov] must have such type of atom[iods] \n";
  const std::pair<Bytes, std::string> cases[] = {
      {Atom("moov"), "\n Without required child atom at [moov] \n"},
      {Atom("moov", {Mvhd(1000, 0), VideoTrak()}), iods},
      {Atom("moov", {Mvhd(1000, 0), Iods(), two_stsz}),
       "\n This atom[stbl] must only have one such type of atom[stsz] \n"},
      {Atom("moov", {Mvhd(1000, 0), stray}),
       "\n There exist at lest one atom not belong to this atom[trak] \n" + iods}};
  for (const auto& [moov, expected] : cases)
    EXPECT_EQ(Passes(OpenedFile(Cat({Ftyp(), moov, Atom("mdat")}))), expected);
}

TEST(AtomTree, DeepNestingIsBounded) {
  Bytes nested = Atom("cprt", {Zeros(8)});
  for (int i = 0; i < 5000; ++i) nested = Atom("udta", {nested});
  EXPECT_EQ(Count(Shape(Cat({Ftyp(), Atom("moov", {nested})})), "("), size_t(kMaxAtomDepth));
}
