// The atom type table, checked against a plain transcription of its rows.
#include "atom/atom_types.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "atom/records.h"

namespace {

// type|child offset|record size|table|text|entry size|rules, each rule as
// code:1 or code:N, with :R when required. '_' stands for a blank.
const char* const kRows[] = {
    "co64|0|20|1|0|8|",
    "cprt|0|16|0|0|0|",
    "ctts|0|20|1|0|8|",
    "d263|0|80|0|0|0|",
    "damr|0|20|0|0|0|",
    "dimm|0|16|0|0|0|",
    "dinf|8|8|0|0|0|dref:1:R",
    "dmax|0|12|0|0|0|",
    "dmed|0|16|0|0|0|",
    "dpnd|0|12|1|0|4|",
    "dref|16|16|0|0|0|url_:N urn_:N",
    "drep|0|16|0|0|0|",
    "edts|8|8|0|0|0|elst:1:R",
    "elst|0|20|1|0|12|",
    "esds|0|80|0|0|0|",
    "ftyp|0|20|0|0|0|",
    "hdlr|0|36|0|0|0|",
    "hinf|8|8|0|0|0|trpy:1 nump:1 tpyl:1 maxr:N dmed:1 dimm:1 drep:1 tmin:1 tmax:1 pmax:1 dmax:1 "
    "payt:1",
    "hint|0|12|1|0|4|",
    "hmhd|0|28|0|0|0|",
    "hnti|8|8|0|0|0|sdp_:1 rtp_:1",
    "iods|0|44|0|0|0|",
    "ipir|0|12|1|0|4|",
    "maxr|0|16|0|0|0|",
    "mdat|0|8|0|0|0|",
    "mdhd|0|32|0|0|0|",
    "mdia|8|8|0|0|0|mdhd:1:R hdlr:1:R minf:1:R",
    "mfhd|0|16|0|0|0|",
    "minf|8|8|0|0|0|vmhd:1 smhd:1 hmhd:1 nmhd:1 dinf:1:R stbl:1:R",
    "moof|8|8|0|0|0|mfhd:1:R traf:N",
    "moov|8|8|0|0|0|mvhd:1:R iods:1:R trak:N:R udta:N mvex:1",
    "mp4a|36|36|0|0|0|esds:1:R",
    "mp4s|16|16|0|0|0|esds:1:R",
    "mp4v|86|88|0|0|0|esds:1:R",
    "mpod|0|12|1|0|4|",
    "mvex|8|8|0|0|0|trex:N:R",
    "mvhd|0|108|0|0|0|",
    "nmhd|0|12|0|0|0|",
    "nump|0|16|0|0|0|",
    "payt|0|12|0|1|0|",
    "pmax|0|12|0|0|0|",
    "rtp_|24|24|0|0|0|tims:1:R tsro:1 snro:1",
    "s263|86|88|0|0|0|d263:1:R",
    "samr|36|36|0|0|0|damr:1:R",
    "sdp_|0|12|0|1|1|",
    "skip|0|8|0|0|0|",
    "smhd|0|16|0|0|0|",
    "snro|0|12|0|0|0|",
    "stbl|8|8|0|0|0|stsd:1:R stts:1:R ctts:1 stsz:1:R stsc:1:R stco:1 co64:1 stss:1 stsh:1 stdp:1",
    "stco|0|20|1|0|4|",
    "stdp|0|20|1|0|4|",
    "stsc|0|20|1|0|12|",
    "stsd|16|16|0|0|0|samr:N mp4s:N s263:N rtp_:N mp4a:N mp4v:N",
    "stsh|0|20|1|0|8|",
    "stss|0|20|1|0|4|",
    "stsz|0|24|1|0|4|",
    "stts|0|20|1|0|8|",
    "sync|0|12|1|0|4|",
    "tfhd|0|16|0|0|0|",
    "tims|0|12|0|0|0|",
    "tkhd|0|92|0|0|0|",
    "tmax|0|12|0|0|0|",
    "tmin|0|12|0|0|0|",
    "tpyl|0|16|0|0|0|",
    "traf|8|8|0|0|0|tfhd:1:R trun:N",
    "trak|8|8|0|0|0|tkhd:1:R tref:1 edts:1 mdia:1:R udta:N",
    "tref|8|8|0|0|0|dpnd:1 hint:1 ipir:1 mpod:1 sync:1",
    "trex|0|32|0|0|0|",
    "trpy|0|16|0|0|0|",
    "trun|0|16|0|0|0|",
    "tsro|0|12|0|0|0|",
    "udta|8|8|0|0|0|cprt:N hnti:1 hinf:1",
    "url_|0|16|0|1|1|",
    "urn_|0|16|0|1|1|",
    "vmhd|0|20|0|0|0|",
};

struct Rule {
  std::string code;
  uint32_t max_count;
  bool required;
};

struct Row {
  std::string code;
  uint32_t child_offset, record_size, is_table, has_text, entry_size;
  std::vector<Rule> rules;
};

std::string Blanks(std::string s) {
  for (char& c : s)
    if (c == '_') c = ' ';
  return s;
}

Row ParseRow(const std::string& text) {
  std::vector<std::string> f;
  std::stringstream ss(text);
  std::string part;
  while (std::getline(ss, part, '|')) f.push_back(part);
  if (f.size() == 6) f.push_back("");
  Row row{Blanks(f[0]),
          (uint32_t)std::stoul(f[1]),
          (uint32_t)std::stoul(f[2]),
          (uint32_t)std::stoul(f[3]),
          (uint32_t)std::stoul(f[4]),
          (uint32_t)std::stoul(f[5]),
          {}};
  std::stringstream rs(f[6]);
  std::string rule;
  while (rs >> rule) {
    Rule r{Blanks(rule.substr(0, 4)), rule[5] == '1' ? 1u : 2u,
           rule.size() > 6 && rule.substr(6) == ":R"};
    row.rules.push_back(r);
  }
  return row;
}

AtomNode NodeOf(const char* code) {
  AtomNode node{};
  std::memcpy(node.type, code, 4);
  return node;
}

AtomTypeInfo Sentinel() {
  AtomTypeInfo info;
  std::memset(&info, 0xAB, sizeof info);
  return info;
}

bool Untouched(const AtomTypeInfo& info) {
  AtomTypeInfo s = Sentinel();
  return std::memcmp(&info, &s, sizeof info) == 0;
}

}  // namespace

TEST(AtomTypes, EveryRowThroughTheNodeLookup) {
  for (const char* text : kRows) {
    const Row row = ParseRow(text);
    SCOPED_TRACE(row.code);
    AtomNode node = NodeOf(row.code.c_str());
    AtomTypeInfo info = Sentinel();
    ASSERT_EQ(GetAtomTypeInfo(&node, &info), 1);
    EXPECT_EQ(info.child_offset, row.child_offset);
    EXPECT_EQ(info.record_size, row.record_size);
    EXPECT_EQ(info.is_table, row.is_table);
    EXPECT_EQ(info.has_text, row.has_text);
    EXPECT_EQ(info.entry_size, row.entry_size);
    ASSERT_EQ(info.rule_count, row.rules.size());
    for (size_t i = 0; i < row.rules.size(); ++i) {
      EXPECT_EQ(std::string(info.rules[i].child_type, 4), row.rules[i].code) << "rule " << i + 1;
      EXPECT_EQ(info.rules[i].max_count, row.rules[i].max_count) << "rule " << i + 1;
      EXPECT_EQ(info.rules[i].required, row.rules[i].required ? 1 : 0) << "rule " << i + 1;
    }
    // rules beyond rule_count keep what the record held
    for (size_t i = row.rules.size(); i < kMaxChildRules; ++i)
      EXPECT_EQ(info.rules[i].max_count, 0xABABABABu);
  }
}

TEST(AtomTypes, EveryRowThroughTheCodeLookup) {
  const std::set<std::string> node_only = {"d263", "damr", "s263", "samr"};
  for (const char* text : kRows) {
    const Row row = ParseRow(text);
    SCOPED_TRACE(row.code);
    AtomTypeInfo info = Sentinel();
    if (node_only.count(row.code)) {
      EXPECT_EQ(GetAtomTypeInfoByCode(row.code.c_str(), &info), -1);
      EXPECT_TRUE(Untouched(info));
      continue;
    }
    ASSERT_EQ(GetAtomTypeInfoByCode(row.code.c_str(), &info), 1);
    EXPECT_EQ(info.child_offset, row.child_offset);
    EXPECT_EQ(info.record_size, row.record_size);
    EXPECT_EQ(info.is_table, row.is_table);
    EXPECT_EQ(info.has_text, row.has_text);
    EXPECT_EQ(info.entry_size, row.entry_size);
  }
}

TEST(AtomTypes, TableIsConsistent) {
  std::set<std::string> codes;
  for (const char* text : kRows) codes.insert(ParseRow(text).code);
  EXPECT_EQ(codes.size(), sizeof(kRows) / sizeof(kRows[0]));
  for (const char* text : kRows) {
    const Row row = ParseRow(text);
    SCOPED_TRACE(row.code);
    for (const Rule& r : row.rules) EXPECT_TRUE(codes.count(r.code)) << r.code;
    if (row.child_offset != 0 && row.code != "mp4v" && row.code != "s263") {
      EXPECT_EQ(row.child_offset, row.record_size);
    }
    // a table or text atom keeps its trailing-block reference in its last 4 bytes
    if (row.entry_size != 0) {
      EXPECT_GE(row.record_size, 12u);
    }
  }
}

TEST(AtomTypes, RootPseudoType) {
  AtomNode node = NodeOf("root");
  AtomTypeInfo info = Sentinel();
  EXPECT_EQ(GetAtomTypeInfo(&node, &info), 0);
  EXPECT_EQ(info.child_offset, 0xABABABABu);
  EXPECT_EQ(info.record_size, 0xABABABABu);
  EXPECT_EQ(info.is_table, 0xAB);
  EXPECT_EQ(info.has_text, 0xAB);
  EXPECT_EQ(info.entry_size, 0xABABABABu);
  ASSERT_EQ(info.rule_count, 7u);
  const char* codes[] = {"ftyp", "moov", "mdat", "free", "skip", "udta", "moof"};
  for (int i = 0; i < 7; ++i) {
    EXPECT_EQ(std::string(info.rules[i].child_type, 4), codes[i]);
    EXPECT_EQ(info.rules[i].max_count, i < 2 ? 1u : 2u);
    EXPECT_EQ(info.rules[i].required, i < 2 ? 1 : 0);
  }
  AtomTypeInfo code_info = Sentinel();
  EXPECT_EQ(GetAtomTypeInfoByCode("root", &code_info), -1);
}

TEST(AtomTypes, UnknownCodes) {
  const char* unknown[] = {"Moov",     "MOOV", "uuid", "meta", "1abc", "\xA9nam", "mo\0v",
                           "\0\0\0\0", "avc1", "sawb", "stz2", "zzzz", "mdaT"};
  for (const char* code : unknown) {
    SCOPED_TRACE(code);
    AtomNode node = NodeOf(code);
    AtomTypeInfo info = Sentinel();
    EXPECT_EQ(GetAtomTypeInfo(&node, &info), -1);
    EXPECT_EQ(GetAtomTypeInfoByCode(code, &info), -1);
    EXPECT_TRUE(Untouched(info));
  }
  AtomTypeInfo info = Sentinel();
  EXPECT_EQ(GetAtomTypeInfoByCode(nullptr, &info), -1);
}

TEST(AtomTypes, FreeAndSampleEntryAsymmetry) {
  AtomTypeInfo info = Sentinel();
  EXPECT_EQ(GetAtomTypeInfoByCode("free", &info), 1);
  EXPECT_TRUE(Untouched(info));
  AtomNode free_node = NodeOf("free");
  EXPECT_EQ(GetAtomTypeInfo(&free_node, &info), -1);
  EXPECT_TRUE(Untouched(info));

  AtomNode samr = NodeOf("samr");
  ASSERT_EQ(GetAtomTypeInfo(&samr, &info), 1);
  EXPECT_EQ(info.child_offset, 36u);
  EXPECT_EQ(GetAtomTypeInfoByCode("samr", &info), -1);

  // The passes give a `free` node the values of `skip`, whatever came before.
  AtomTypeInfo pass = Sentinel();
  AtomNode moov = NodeOf("moov");
  GetAtomPassInfo(&moov, &pass);
  EXPECT_EQ(GetAtomPassInfo(&free_node, &pass), -1);
  EXPECT_EQ(pass.child_offset, 0u);
  EXPECT_EQ(pass.record_size, 8u);
  EXPECT_EQ(pass.entry_size, 0u);
  EXPECT_EQ(pass.rule_count, 0u);
}

TEST(AtomTypes, SetChildRuleStoresOnlyThatRule) {
  AtomTypeInfo info = Sentinel();
  SetChildRule(3, kRuleMany, 1, "trak", &info);
  EXPECT_EQ(info.rules[2].max_count, 2u);
  EXPECT_EQ(info.rules[2].required, 1);
  EXPECT_EQ(std::string(info.rules[2].child_type, 4), "trak");
  EXPECT_EQ(info.rule_count, 0xABABABABu);
  EXPECT_EQ(info.rules[1].max_count, 0xABABABABu);
  EXPECT_EQ(info.rules[3].max_count, 0xABABABABu);
}
