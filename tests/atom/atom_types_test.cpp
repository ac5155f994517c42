// The atom type table, checked against a plain transcription of its rows.
#include "atom/atom_types.h"

#include <set>

#include "support/test_support.h"

namespace {

// Rows apart by blanks, each type|child offset|record size|table|text|entry
// size|rules, the rules apart by commas, each code:1 or code:N, with :R when
// required. '_' stands for a blank in a code. The leaves first, then the
// containers.
const char* const kRows = R"(
co64|0|20|1|0|8|  cprt|0|16|0|0|0|  ctts|0|20|1|0|8|  d263|0|80|0|0|0|  damr|0|20|0|0|0|
dimm|0|16|0|0|0|  dmax|0|12|0|0|0|  dmed|0|16|0|0|0|  dpnd|0|12|1|0|4|  drep|0|16|0|0|0|
elst|0|20|1|0|12|  esds|0|80|0|0|0|  ftyp|0|20|0|0|0|  hdlr|0|36|0|0|0|  hint|0|12|1|0|4|
hmhd|0|28|0|0|0|  iods|0|44|0|0|0|  ipir|0|12|1|0|4|  maxr|0|16|0|0|0|  mdat|0|8|0|0|0|
mdhd|0|32|0|0|0|  mfhd|0|16|0|0|0|  mpod|0|12|1|0|4|  mvhd|0|108|0|0|0|  nmhd|0|12|0|0|0|
nump|0|16|0|0|0|  payt|0|12|0|1|0|  pmax|0|12|0|0|0|  sdp_|0|12|0|1|1|  skip|0|8|0|0|0|
smhd|0|16|0|0|0|  snro|0|12|0|0|0|  stco|0|20|1|0|4|  stdp|0|20|1|0|4|  stsc|0|20|1|0|12|
stsh|0|20|1|0|8|  stss|0|20|1|0|4|  stsz|0|24|1|0|4|  stts|0|20|1|0|8|  sync|0|12|1|0|4|
tfhd|0|16|0|0|0|  tims|0|12|0|0|0|  tkhd|0|92|0|0|0|  tmax|0|12|0|0|0|  tmin|0|12|0|0|0|
tpyl|0|16|0|0|0|  trex|0|32|0|0|0|  trpy|0|16|0|0|0|  trun|0|16|0|0|0|  tsro|0|12|0|0|0|
url_|0|16|0|1|1|  urn_|0|16|0|1|1|  vmhd|0|20|0|0|0|
dinf|8|8|0|0|0|dref:1:R  dref|16|16|0|0|0|url_:N,urn_:N  edts|8|8|0|0|0|elst:1:R
hinf|8|8|0|0|0|trpy:1,nump:1,tpyl:1,maxr:N,dmed:1,dimm:1,drep:1,tmin:1,tmax:1,pmax:1,dmax:1,payt:1
hnti|8|8|0|0|0|sdp_:1,rtp_:1  mdia|8|8|0|0|0|mdhd:1:R,hdlr:1:R,minf:1:R
minf|8|8|0|0|0|vmhd:1,smhd:1,hmhd:1,nmhd:1,dinf:1:R,stbl:1:R  moof|8|8|0|0|0|mfhd:1:R,traf:N
moov|8|8|0|0|0|mvhd:1:R,iods:1:R,trak:N:R,udta:N,mvex:1  mp4a|36|36|0|0|0|esds:1:R
mp4s|16|16|0|0|0|esds:1:R  mp4v|86|88|0|0|0|esds:1:R  mvex|8|8|0|0|0|trex:N:R
rtp_|24|24|0|0|0|tims:1:R,tsro:1,snro:1  s263|86|88|0|0|0|d263:1:R  samr|36|36|0|0|0|damr:1:R
stbl|8|8|0|0|0|stsd:1:R,stts:1:R,ctts:1,stsz:1:R,stsc:1:R,stco:1,co64:1,stss:1,stsh:1,stdp:1
stsd|16|16|0|0|0|samr:N,mp4s:N,s263:N,rtp_:N,mp4a:N,mp4v:N  traf|8|8|0|0|0|tfhd:1:R,trun:N
trak|8|8|0|0|0|tkhd:1:R,tref:1,edts:1,mdia:1:R,udta:N
tref|8|8|0|0|0|dpnd:1,hint:1,ipir:1,mpod:1,sync:1  udta|8|8|0|0|0|cprt:N,hnti:1,hinf:1
)";

AtomNode NodeOf(const char* code) {
  AtomNode node{};
  std::memcpy(node.type, code, 4);
  return node;
}

// A record filled with 0xAB, so that what a lookup leaves alone shows.
AtomTypeInfo Sentinel() {
  AtomTypeInfo info;
  std::memset(&info, 0xAB, sizeof info);
  return info;
}
bool Untouched(const AtomTypeInfo& info) {
  const AtomTypeInfo s = Sentinel();
  return std::memcmp(&info, &s, sizeof info) == 0;
}

// A record in the transcription's notation, its rules only when `rules`;
// '?' stands for a value that the notation has no word for.
std::string Describe(const char* code, const AtomTypeInfo& info, bool rules = true) {
  std::string s = std::string(code, 4) + "|";
  for (uint32_t v : {info.child_offset, info.record_size, uint32_t(info.is_table),
                     uint32_t(info.has_text), info.entry_size})
    s += std::to_string(v) + "|";
  for (uint32_t i = 0; rules && i < std::min<uint32_t>(info.rule_count, kMaxChildRules); ++i) {
    const ChildRule& r = info.rules[i];
    const char* count = r.max_count == kRuleOne ? ":1" : r.max_count == kRuleMany ? ":N" : ":?";
    const char* required = r.required == 1 ? ":R" : r.required == 0 ? "" : ":?";
    s += (i == 0 ? "" : ",") + std::string(r.child_type, 4) + count + required;
  }
  return s;
}

}  // namespace

TEST(AtomTypes, EveryRowThroughBothLookups) {
  const std::set<std::string> node_only = {"d263", "damr", "s263", "samr"};
  std::istringstream in(kRows);
  int rows = 0;
  for (std::string row; in >> row; ++rows) {
    std::replace(row.begin(), row.end(), '_', ' ');
    SCOPED_TRACE(row);
    AtomNode node = NodeOf(row.c_str());
    AtomTypeInfo info = Sentinel();
    ASSERT_EQ(GetAtomTypeInfo(&node, &info), 1);
    EXPECT_EQ(Describe(row.c_str(), info), row);
    // rules beyond rule_count keep what the record held
    for (uint32_t i = std::min<uint32_t>(info.rule_count, kMaxChildRules); i < kMaxChildRules; ++i)
      EXPECT_EQ(info.rules[i].max_count, 0xABABABABu);

    // the code lookup: the header fields only, and no sample entry the reader cannot handle
    info = Sentinel();
    if (node_only.count(row.substr(0, 4))) {
      EXPECT_EQ(GetAtomTypeInfoByCode(row.c_str(), &info), -1);
      EXPECT_TRUE(Untouched(info));
    } else {
      ASSERT_EQ(GetAtomTypeInfoByCode(row.c_str(), &info), 1);
      EXPECT_EQ(Describe(row.c_str(), info, false), row.substr(0, row.rfind('|') + 1));
    }
  }
  EXPECT_EQ(rows, 75);
}

TEST(AtomTypes, CodesOutsideTheRows) {
  // the root pseudo-type: only the rules are written, and only by the node lookup
  AtomNode node = NodeOf("root");
  AtomTypeInfo info = Sentinel();
  EXPECT_EQ(GetAtomTypeInfo(&node, &info), 0);
  EXPECT_EQ(Describe("root", info), Describe("root", Sentinel(), false) +
                                        "ftyp:1:R,moov:1:R,mdat:N,free:N,skip:N,udta:N,moof:N");
  EXPECT_EQ(GetAtomTypeInfoByCode("root", &info), -1);

  // unknown codes, and free, which only the code lookup knows: neither writes anything
  for (const char* code : {"free", "Moov", "MOOV", "uuid", "meta", "1abc", "\xA9nam", "mo\0v",
                           "\0\0\0\0", "avc1", "sawb", "stz2", "zzzz", "mdaT"}) {
    SCOPED_TRACE(code);
    node = NodeOf(code);
    info = Sentinel();
    EXPECT_EQ(GetAtomTypeInfo(&node, &info), -1);
    EXPECT_EQ(GetAtomTypeInfoByCode(code, &info), std::string(code, 4) == "free" ? 1 : -1);
    EXPECT_TRUE(Untouched(info));
  }
  EXPECT_EQ(GetAtomTypeInfoByCode(nullptr, &info), -1);
  // the passes give a free node the values of skip, whatever came before
  node = NodeOf("free");
  AtomNode moov = NodeOf("moov");
  GetAtomPassInfo(&moov, &info);
  EXPECT_EQ(GetAtomPassInfo(&node, &info), -1);
  EXPECT_EQ(Describe("free", info), "free|0|8|0|0|0|");
}
