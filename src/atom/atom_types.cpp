#include "atom/atom_types.h"

#include <cstring>

#include "atom/field_offsets.h"
#include "atom/helpers.h"
#include "atom/records.h"

namespace {

enum : uint8_t { kOptional = 0, kRequired = 1 };
// Which lookups accept a row: the sample entries that the reader does not
// handle are known only to the node lookup, `free` only to the code lookup.
enum : uint8_t { kNode = 1, kCode = 2, kBoth = kNode | kCode };

struct RuleDef {
  char code[5];
  uint32_t max_count;
  uint8_t required;
};

struct AtomTypeRow {
  char code[5];
  uint32_t child_offset;
  uint32_t record_size;
  uint8_t is_table;
  uint8_t has_text;
  uint32_t entry_size;
  uint32_t count_offset;
  uint32_t version1_size;
  const RuleDef* rules;
  uint32_t rule_count;
  uint8_t lookups;
};

constexpr RuleDef kDinf[] = {{"dref", kRuleOne, kRequired}};
constexpr RuleDef kDref[] = {{"url ", kRuleMany, kOptional}, {"urn ", kRuleMany, kOptional}};
constexpr RuleDef kEdts[] = {{"elst", kRuleOne, kRequired}};
constexpr RuleDef kHinf[] = {
    {"trpy", kRuleOne, kOptional},  {"nump", kRuleOne, kOptional}, {"tpyl", kRuleOne, kOptional},
    {"maxr", kRuleMany, kOptional}, {"dmed", kRuleOne, kOptional}, {"dimm", kRuleOne, kOptional},
    {"drep", kRuleOne, kOptional},  {"tmin", kRuleOne, kOptional}, {"tmax", kRuleOne, kOptional},
    {"pmax", kRuleOne, kOptional},  {"dmax", kRuleOne, kOptional}, {"payt", kRuleOne, kOptional}};
constexpr RuleDef kHnti[] = {{"sdp ", kRuleOne, kOptional}, {"rtp ", kRuleOne, kOptional}};
constexpr RuleDef kMdia[] = {
    {"mdhd", kRuleOne, kRequired}, {"hdlr", kRuleOne, kRequired}, {"minf", kRuleOne, kRequired}};
constexpr RuleDef kMinf[] = {{"vmhd", kRuleOne, kOptional}, {"smhd", kRuleOne, kOptional},
                             {"hmhd", kRuleOne, kOptional}, {"nmhd", kRuleOne, kOptional},
                             {"dinf", kRuleOne, kRequired}, {"stbl", kRuleOne, kRequired}};
constexpr RuleDef kMoof[] = {{"mfhd", kRuleOne, kRequired}, {"traf", kRuleMany, kOptional}};
constexpr RuleDef kMoov[] = {{"mvhd", kRuleOne, kRequired},
                             {"iods", kRuleOne, kRequired},
                             {"trak", kRuleMany, kRequired},
                             {"udta", kRuleMany, kOptional},
                             {"mvex", kRuleOne, kOptional}};
constexpr RuleDef kEsds[] = {{"esds", kRuleOne, kRequired}};
constexpr RuleDef kMvex[] = {{"trex", kRuleMany, kRequired}};
constexpr RuleDef kRtp[] = {
    {"tims", kRuleOne, kRequired}, {"tsro", kRuleOne, kOptional}, {"snro", kRuleOne, kOptional}};
constexpr RuleDef kS263[] = {{"d263", kRuleOne, kRequired}};
constexpr RuleDef kSamr[] = {{"damr", kRuleOne, kRequired}};
constexpr RuleDef kStbl[] = {{"stsd", kRuleOne, kRequired}, {"stts", kRuleOne, kRequired},
                             {"ctts", kRuleOne, kOptional}, {"stsz", kRuleOne, kRequired},
                             {"stsc", kRuleOne, kRequired}, {"stco", kRuleOne, kOptional},
                             {"co64", kRuleOne, kOptional}, {"stss", kRuleOne, kOptional},
                             {"stsh", kRuleOne, kOptional}, {"stdp", kRuleOne, kOptional}};
constexpr RuleDef kStsd[] = {{"samr", kRuleMany, kOptional}, {"mp4s", kRuleMany, kOptional},
                             {"s263", kRuleMany, kOptional}, {"rtp ", kRuleMany, kOptional},
                             {"mp4a", kRuleMany, kOptional}, {"mp4v", kRuleMany, kOptional}};
constexpr RuleDef kTraf[] = {{"tfhd", kRuleOne, kRequired}, {"trun", kRuleMany, kOptional}};
constexpr RuleDef kTrak[] = {{"tkhd", kRuleOne, kRequired},
                             {"tref", kRuleOne, kOptional},
                             {"edts", kRuleOne, kOptional},
                             {"mdia", kRuleOne, kRequired},
                             {"udta", kRuleMany, kOptional}};
constexpr RuleDef kTref[] = {{"dpnd", kRuleOne, kOptional},
                             {"hint", kRuleOne, kOptional},
                             {"ipir", kRuleOne, kOptional},
                             {"mpod", kRuleOne, kOptional},
                             {"sync", kRuleOne, kOptional}};
constexpr RuleDef kUdta[] = {
    {"cprt", kRuleMany, kOptional}, {"hnti", kRuleOne, kOptional}, {"hinf", kRuleOne, kOptional}};
// The top level of a file; never applied to a file being read.
constexpr RuleDef kRoot[] = {{"ftyp", kRuleOne, kRequired},  {"moov", kRuleOne, kRequired},
                             {"mdat", kRuleMany, kOptional}, {"free", kRuleMany, kOptional},
                             {"skip", kRuleMany, kOptional}, {"udta", kRuleMany, kOptional},
                             {"moof", kRuleMany, kOptional}};

// Where a table's entry count sits.
constexpr uint32_t kN = kTableEntryCount;
constexpr uint32_t kSz = kStszSampleCount;

#define RULES(r) r, sizeof(r) / sizeof(r[0])
#define LEAF nullptr, 0

// clang-format off
constexpr AtomTypeRow kAtomTypes[] = {
  // code   child  record table text entry count v1   rules           lookups
  {"co64",  0,     20,    1,    0,   8,    kN,   0,   LEAF,           kBoth},
  {"cprt",  0,     16,    0,    0,   0,    0,    0,   LEAF,           kBoth},
  {"ctts",  0,     20,    1,    0,   8,    kN,   0,   LEAF,           kBoth},
  {"d263",  0,     80,    0,    0,   0,    0,    0,   LEAF,           kNode},
  {"damr",  0,     20,    0,    0,   0,    0,    0,   LEAF,           kNode},
  {"dimm",  0,     16,    0,    0,   0,    0,    0,   LEAF,           kBoth},
  {"dinf",  8,     8,     0,    0,   0,    0,    0,   RULES(kDinf),   kBoth},
  {"dmax",  0,     12,    0,    0,   0,    0,    0,   LEAF,           kBoth},
  {"dmed",  0,     16,    0,    0,   0,    0,    0,   LEAF,           kBoth},
  {"dpnd",  0,     12,    1,    0,   4,    0,    0,   LEAF,           kBoth},
  {"dref",  16,    16,    0,    0,   0,    0,    0,   RULES(kDref),   kBoth},
  {"drep",  0,     16,    0,    0,   0,    0,    0,   LEAF,           kBoth},
  {"edts",  8,     8,     0,    0,   0,    0,    0,   RULES(kEdts),   kBoth},
  {"elst",  0,     20,    1,    0,   12,   kN,   0,   LEAF,           kBoth},
  {"esds",  0,     80,    0,    0,   0,    0,    0,   LEAF,           kBoth},
  {"free",  0,     0,     0,    0,   0,    0,    0,   LEAF,           kCode},
  {"ftyp",  0,     20,    0,    0,   0,    0,    0,   LEAF,           kBoth},
  {"hdlr",  0,     36,    0,    0,   0,    0,    0,   LEAF,           kBoth},
  {"hinf",  8,     8,     0,    0,   0,    0,    0,   RULES(kHinf),   kBoth},
  {"hint",  0,     12,    1,    0,   4,    0,    0,   LEAF,           kBoth},
  {"hmhd",  0,     28,    0,    0,   0,    0,    0,   LEAF,           kBoth},
  {"hnti",  8,     8,     0,    0,   0,    0,    0,   RULES(kHnti),   kBoth},
  {"iods",  0,     44,    0,    0,   0,    0,    0,   LEAF,           kBoth},
  {"ipir",  0,     12,    1,    0,   4,    0,    0,   LEAF,           kBoth},
  {"maxr",  0,     16,    0,    0,   0,    0,    0,   LEAF,           kBoth},
  {"mdat",  0,     8,     0,    0,   0,    0,    0,   LEAF,           kBoth},
  {"mdhd",  0,     32,    0,    0,   0,    0,    44,  LEAF,           kBoth},
  {"mdia",  8,     8,     0,    0,   0,    0,    0,   RULES(kMdia),   kBoth},
  {"mfhd",  0,     16,    0,    0,   0,    0,    0,   LEAF,           kBoth},
  {"minf",  8,     8,     0,    0,   0,    0,    0,   RULES(kMinf),   kBoth},
  {"moof",  8,     8,     0,    0,   0,    0,    0,   RULES(kMoof),   kBoth},
  {"moov",  8,     8,     0,    0,   0,    0,    0,   RULES(kMoov),   kBoth},
  {"mp4a",  36,    36,    0,    0,   0,    0,    0,   RULES(kEsds),   kBoth},
  {"mp4s",  16,    16,    0,    0,   0,    0,    0,   RULES(kEsds),   kBoth},
  {"mp4v",  86,    88,    0,    0,   0,    0,    0,   RULES(kEsds),   kBoth},
  {"mpod",  0,     12,    1,    0,   4,    0,    0,   LEAF,           kBoth},
  {"mvex",  8,     8,     0,    0,   0,    0,    0,   RULES(kMvex),   kBoth},
  {"mvhd",  0,     108,   0,    0,   0,    0,    120, LEAF,           kBoth},
  {"nmhd",  0,     12,    0,    0,   0,    0,    0,   LEAF,           kBoth},
  {"nump",  0,     16,    0,    0,   0,    0,    0,   LEAF,           kBoth},
  {"payt",  0,     12,    0,    1,   0,    0,    0,   LEAF,           kBoth},
  {"pmax",  0,     12,    0,    0,   0,    0,    0,   LEAF,           kBoth},
  {"rtp ",  24,    24,    0,    0,   0,    0,    0,   RULES(kRtp),    kBoth},
  {"s263",  86,    88,    0,    0,   0,    0,    0,   RULES(kS263),   kNode},
  {"samr",  36,    36,    0,    0,   0,    0,    0,   RULES(kSamr),   kNode},
  {"sdp ",  0,     12,    0,    1,   1,    0,    0,   LEAF,           kBoth},
  {"skip",  0,     8,     0,    0,   0,    0,    0,   LEAF,           kBoth},
  {"smhd",  0,     16,    0,    0,   0,    0,    0,   LEAF,           kBoth},
  {"snro",  0,     12,    0,    0,   0,    0,    0,   LEAF,           kBoth},
  {"stbl",  8,     8,     0,    0,   0,    0,    0,   RULES(kStbl),   kBoth},
  {"stco",  0,     20,    1,    0,   4,    kN,   0,   LEAF,           kBoth},
  {"stdp",  0,     20,    1,    0,   4,    kN,   0,   LEAF,           kBoth},
  {"stsc",  0,     20,    1,    0,   12,   kN,   0,   LEAF,           kBoth},
  {"stsd",  16,    16,    0,    0,   0,    0,    0,   RULES(kStsd),   kBoth},
  {"stsh",  0,     20,    1,    0,   8,    kN,   0,   LEAF,           kBoth},
  {"stss",  0,     20,    1,    0,   4,    kN,   0,   LEAF,           kBoth},
  {"stsz",  0,     24,    1,    0,   4,    kSz,  0,   LEAF,           kBoth},
  {"stts",  0,     20,    1,    0,   8,    kN,   0,   LEAF,           kBoth},
  {"sync",  0,     12,    1,    0,   4,    0,    0,   LEAF,           kBoth},
  {"tfhd",  0,     16,    0,    0,   0,    0,    0,   LEAF,           kBoth},
  {"tims",  0,     12,    0,    0,   0,    0,    0,   LEAF,           kBoth},
  {"tkhd",  0,     92,    0,    0,   0,    0,    104, LEAF,           kBoth},
  {"tmax",  0,     12,    0,    0,   0,    0,    0,   LEAF,           kBoth},
  {"tmin",  0,     12,    0,    0,   0,    0,    0,   LEAF,           kBoth},
  {"tpyl",  0,     16,    0,    0,   0,    0,    0,   LEAF,           kBoth},
  {"traf",  8,     8,     0,    0,   0,    0,    0,   RULES(kTraf),   kBoth},
  {"trak",  8,     8,     0,    0,   0,    0,    0,   RULES(kTrak),   kBoth},
  {"tref",  8,     8,     0,    0,   0,    0,    0,   RULES(kTref),   kBoth},
  {"trex",  0,     32,    0,    0,   0,    0,    0,   LEAF,           kBoth},
  {"trpy",  0,     16,    0,    0,   0,    0,    0,   LEAF,           kBoth},
  {"trun",  0,     16,    0,    0,   0,    0,    0,   LEAF,           kBoth},
  {"tsro",  0,     12,    0,    0,   0,    0,    0,   LEAF,           kBoth},
  {"udta",  8,     8,     0,    0,   0,    0,    0,   RULES(kUdta),   kBoth},
  {"url ",  0,     16,    0,    1,   1,    0,    0,   LEAF,           kBoth},
  {"urn ",  0,     16,    0,    1,   1,    0,    0,   LEAF,           kBoth},
  {"vmhd",  0,     20,    0,    0,   0,    0,    0,   LEAF,           kBoth},
};
// clang-format on

#undef RULES
#undef LEAF

// A code's four characters as one number, for comparing them at once.
constexpr uint32_t CodeWord(const char* code) {
  return uint32_t(uint8_t(code[0])) << 24 | uint32_t(uint8_t(code[1])) << 16 |
         uint32_t(uint8_t(code[2])) << 8 | uint32_t(uint8_t(code[3]));
}

// Every row's code, in the order of the rows: every lookup of every atom
// of a file goes through them.
struct RowWords {
  uint32_t word[sizeof(kAtomTypes) / sizeof(kAtomTypes[0])];
};
constexpr RowWords MakeRowWords() {
  RowWords w{};
  for (size_t i = 0; i < sizeof(kAtomTypes) / sizeof(kAtomTypes[0]); ++i)
    w.word[i] = CodeWord(kAtomTypes[i].code);
  return w;
}
constexpr RowWords kRowWords = MakeRowWords();

// Every row's code begins with a lowercase letter and has no NUL, so a code
// that does not (a capital, a digit, a NUL) matches no row, as the lookup's
// rule wants; a NUL in `code` ends the counted comparison with a mismatch,
// which comparing all four characters gives too.
const AtomTypeRow* FindRow(const char* code, uint8_t lookup) {
  char four[4] = {};
  for (int i = 0; i < 4 && code[i] != '\0'; ++i) four[i] = code[i];
  const uint32_t word = CodeWord(four);
  for (size_t i = 0; i < sizeof(kAtomTypes) / sizeof(kAtomTypes[0]); ++i)
    if (kRowWords.word[i] == word && (kAtomTypes[i].lookups & lookup)) return &kAtomTypes[i];
  return nullptr;
}

void WriteHeaderFields(const AtomTypeRow& row, AtomTypeInfo* info) {
  info->child_offset = row.child_offset;
  info->record_size = row.record_size;
  info->is_table = row.is_table;
  info->has_text = row.has_text;
  info->entry_size = row.entry_size;
  info->count_offset = row.count_offset;
  info->version1_size = row.version1_size;
}

void WriteRules(const RuleDef* rules, uint32_t count, AtomTypeInfo* info) {
  info->rule_count = count;
  for (uint32_t i = 0; i < count; ++i)
    SetChildRule(static_cast<int>(i + 1), rules[i].max_count, rules[i].required, rules[i].code,
                 info);
}

}  // namespace

void SetChildRule(int number, uint32_t max_count, uint8_t required, const char* child_type,
                  AtomTypeInfo* info) {
  if (info == nullptr || number < 1 || number > kMaxChildRules) return;
  ChildRule& rule = info->rules[number - 1];
  rule.max_count = max_count;
  rule.required = required;
  std::memcpy(rule.child_type, child_type, 4);
}

AtomLookup GetAtomTypeInfo(const AtomNode* node, AtomTypeInfo* info) {
  char code[5];
  CopyAtomType(code, node->type);
  if (std::strncmp(code, "root", 4) == 0) {
    WriteRules(kRoot, sizeof(kRoot) / sizeof(kRoot[0]), info);
    return AtomLookup::kRoot;
  }
  const AtomTypeRow* row = FindRow(code, kNode);
  if (row == nullptr) return AtomLookup::kUnknown;
  WriteHeaderFields(*row, info);
  WriteRules(row->rules, row->rule_count, info);
  return AtomLookup::kKnown;
}

bool GetAtomTypeInfoByCode(const char* code, AtomTypeInfo* info) {
  if (code == nullptr) return false;
  const AtomTypeRow* row = FindRow(code, kCode);
  if (row == nullptr) return false;
  if (row->lookups & kNode) WriteHeaderFields(*row, info);  // `free` writes nothing
  return true;
}

AtomLookup GetAtomPassInfo(const AtomNode* node, AtomTypeInfo* info) {
  std::memset(info, 0, sizeof(*info));
  const AtomLookup found = GetAtomTypeInfo(node, info);
  if (found == AtomLookup::kUnknown) info->record_size = 8;
  return found;
}
