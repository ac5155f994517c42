// The atom type table as data: its properties, the lookups' contracts, and
// the worked rows.
#include "atom/atom_types.h"

#include "atom/field_offsets.h"
#include "support/test_support.h"

namespace {

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

// The codes the node lookup knows, found by following the child rules from
// the root's: every row of the table is some container's child.
std::vector<std::string> KnownCodes() {
  std::vector<std::string> codes = {"root"};
  for (size_t next = 0; next < codes.size(); ++next) {
    AtomNode node = NodeOf(codes[next].c_str());
    AtomTypeInfo info;
    if (GetAtomTypeInfo(&node, &info) == AtomLookup::kUnknown) continue;
    for (uint32_t i = 0; i < info.rule_count; ++i) {
      const std::string child(info.rules[i].child_type, 4);
      if (std::find(codes.begin(), codes.end(), child) == codes.end()) codes.push_back(child);
    }
  }
  codes.erase(codes.begin());                                  // root
  codes.erase(std::find(codes.begin(), codes.end(), "free"));  // known to the code lookup only
  return codes;
}

}  // namespace

TEST(AtomTypes, TheTableHoldsTogether) {
  const std::vector<std::string> codes = KnownCodes();
  EXPECT_EQ(codes.size(), 75u);
  for (const std::string& code : codes) {
    SCOPED_TRACE(code);
    AtomNode node = NodeOf(code.c_str());
    AtomTypeInfo info = Sentinel(), by_code = Sentinel();
    ASSERT_EQ(GetAtomTypeInfo(&node, &info), AtomLookup::kKnown);
    // a container's children begin after its record, apart from the visual
    // sample entries, whose record takes in 2 bytes of the first child
    if (info.child_offset != 0) {
      EXPECT_EQ(info.child_offset + (code == "mp4v" || code == "s263" ? 2 : 0), info.record_size);
      EXPECT_GT(info.rule_count, 0u);
    }
    for (uint32_t i = 0; i < info.rule_count; ++i)
      EXPECT_TRUE(info.rules[i].max_count == kRuleOne || info.rules[i].max_count == kRuleMany);
    // what hangs off the record: a table with a count, a text, a track reference
    const int kinds = HasEntryTable(info) + HasTextBlock(info) + IsTrackReference(info);
    EXPECT_EQ(kinds, info.entry_size != 0 ? 1 : 0);
    // tables with a count: 20 bytes, the count at 12; stsz 24, the count at
    // 16; track references: 12 bytes
    if (HasEntryTable(info)) {
      const Values expected =
          code == "stsz" ? Values{24, kStszSampleCount} : Values{20, kTableEntryCount};
      EXPECT_EQ((Values{info.record_size, info.count_offset}), expected);
    }
    if (IsTrackReference(info)) {
      EXPECT_EQ(info.record_size, 12u);
    }
    // rules beyond rule_count keep what the record held
    EXPECT_EQ(info.rules[info.rule_count].max_count, 0xABABABABu);
    // the code lookup: the same header fields, but no sample entry the reader cannot handle
    const bool node_only = code == "d263" || code == "damr" || code == "s263" || code == "samr";
    EXPECT_EQ(GetAtomTypeInfoByCode(code.c_str(), &by_code), !node_only);
    if (node_only) {
      EXPECT_TRUE(Untouched(by_code));
    } else {
      EXPECT_EQ(std::memcmp(&by_code, &info, offsetof(AtomTypeInfo, rule_count)), 0);
    }
  }
}

TEST(AtomTypes, WorkedRows) {
  // code, child offset, record size, entry size, count offset, version-1
  // size, rule count, and the last rule as child:max:required
  const std::tuple<const char*, Values, std::string> rows[] = {
      {"moov", {8, 8, 0, 0, 0, 5}, "mvex:1:0"},   {"hinf", {8, 8, 0, 0, 0, 12}, "payt:1:0"},
      {"mp4v", {86, 88, 0, 0, 0, 1}, "esds:1:1"}, {"samr", {36, 36, 0, 0, 0, 1}, "damr:1:1"},
      {"stsz", {0, 24, 4, 16, 0, 0}, ""},         {"stsc", {0, 20, 12, 12, 0, 0}, ""},
      {"sdp ", {0, 12, 1, 0, 0, 0}, ""},          {"mpod", {0, 12, 4, 0, 0, 0}, ""},
      {"tkhd", {0, 92, 0, 0, 104, 0}, ""},        {"mvhd", {0, 108, 0, 0, 120, 0}, ""},
      {"mdhd", {0, 32, 0, 0, 44, 0}, ""},
  };
  for (const auto& [code, fields, last] : rows) {
    AtomNode node = NodeOf(code);
    AtomTypeInfo i;
    ASSERT_EQ(GetAtomTypeInfo(&node, &i), AtomLookup::kKnown) << code;
    EXPECT_EQ((Values{i.child_offset, i.record_size, i.entry_size, i.count_offset, i.version1_size,
                      i.rule_count}),
              fields)
        << code;
    if (i.rule_count == 0) continue;
    const ChildRule& r = i.rules[i.rule_count - 1];
    EXPECT_EQ(std::string(r.child_type, 4) + ":" + std::to_string(r.max_count) + ":" +
                  std::to_string(r.required),
              last)
        << code;
  }
  AtomNode moov = NodeOf("moov");
  AtomTypeInfo i;
  GetAtomTypeInfo(&moov, &i);
  EXPECT_EQ(std::string(i.rules[2].child_type, 4) + std::to_string(i.rules[2].required), "trak1");
}

TEST(AtomTypes, CodesOutsideTheRows) {
  // the root pseudo-type: only the rules are written, and only by the node lookup
  AtomNode node = NodeOf("root");
  AtomTypeInfo info = Sentinel();
  EXPECT_EQ(GetAtomTypeInfo(&node, &info), AtomLookup::kRoot);
  EXPECT_EQ((Values{info.record_size, info.rule_count}), (Values{0xABABABAB, 7}));
  EXPECT_EQ(std::string(info.rules[6].child_type, 4), "moof");
  EXPECT_FALSE(GetAtomTypeInfoByCode("root", &info));

  // unknown codes, and free, which only the code lookup knows: neither writes anything
  for (const char* code : {"free", "Moov", "uuid", "meta", "1abc", "\xA9nam", "mo\0v", "mdaT"}) {
    SCOPED_TRACE(code);
    node = NodeOf(code);
    info = Sentinel();
    EXPECT_EQ(GetAtomTypeInfo(&node, &info), AtomLookup::kUnknown);
    EXPECT_EQ(GetAtomTypeInfoByCode(code, &info), std::string(code, 4) == "free");
    EXPECT_TRUE(Untouched(info));
  }
  EXPECT_FALSE(GetAtomTypeInfoByCode(nullptr, &info));
  // the passes give a free node the values of skip, whatever came before
  node = NodeOf("free");
  AtomNode moov = NodeOf("moov");
  GetAtomPassInfo(&moov, &info);
  EXPECT_EQ(GetAtomPassInfo(&node, &info), AtomLookup::kUnknown);
  EXPECT_EQ((Values{info.child_offset, info.record_size, info.entry_size, info.rule_count}),
            (Values{0, 8, 0, 0}));
}
