// ornivex dump FILE: the atom tree as the library reads it, one atom a line.
#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>

#include "atom/atom_bodies.h"
#include "atom/atom_tree.h"
#include "atom/atom_types.h"
#include "atom/field_offsets.h"
#include "atom/helpers.h"
#include "commands.h"
#include "tool_file.h"
#include "tool_output.h"

namespace {

constexpr uint32_t kEntriesShown = 5;  // the help says so

// Bounded field access on one record: a field past the record's end reads 0
// and marks the view short, so a damaged atom never reads outside its record.
struct RecordView {
  const unsigned char* bytes;
  uint32_t length;
  bool U32(uint32_t at, uint32_t* v) const {
    if (uint64_t{at} + 4 > length) return false;
    *v = RecordU32(bytes, at);
    return true;
  }
  uint32_t u32(uint32_t at) const {
    uint32_t v = 0;
    U32(at, &v);
    return v;
  }
  uint32_t u16(uint32_t at) const { return uint64_t{at} + 2 <= length ? RecordU16(bytes, at) : 0; }
  uint32_t u8(uint32_t at) const { return at < length ? bytes[at] : 0; }
  uint64_t u64(uint32_t at) const { return (uint64_t{u32(at)} << 32) | u32(at + 4); }
  std::string code(uint32_t at) const {
    std::string s;
    for (uint32_t i = 0; i < 4; ++i) {
      const unsigned char c = static_cast<unsigned char>(u8(at + i));
      s += std::isprint(c) ? static_cast<char>(c) : '.';
    }
    return s;
  }
};

std::string Fixed16(uint32_t v) {
  char b[32];
  std::snprintf(b, sizeof b, "%u.%02u", v >> 16, ((v & 0xFFFF) * 100) >> 16);
  return b;
}

std::string Text(const unsigned char* bytes, uint32_t length) {
  std::string s;
  for (uint32_t i = 0; i < length && bytes[i] != 0; ++i)
    s += std::isprint(bytes[i]) ? static_cast<char>(bytes[i]) : '.';
  return s;
}

std::string Hex(const RecordView& r, uint32_t from, uint32_t to) {
  std::string s;
  char b[4];
  for (uint32_t i = from; i < to && i < r.length; ++i) {
    std::snprintf(b, sizeof b, "%02x", r.bytes[i]);
    s += b;
  }
  return s;
}

void PrintVersionFlags(FILE* out, const RecordView& r) {
  std::fprintf(out, " version=%u flags=0x%06x", r.u8(kVersionFlags),
               r.u32(kVersionFlags) & 0xFFFFFF);
}

// Version 1 of the header atoms has 64-bit times, which move every later field.
void PrintTimes(FILE* out, const RecordView& r, bool v1) {
  if (v1)
    std::fprintf(out, " creation=%llu modification=%llu", (unsigned long long)r.u64(kCreationTime),
                 (unsigned long long)r.u64(kModificationTimeV1));
  else
    std::fprintf(out, " creation=%u modification=%u", r.u32(kCreationTime),
                 r.u32(kModificationTime));
}

void PrintEntries(FILE* out, const char* indent, const AtomNode* node, const AtomTypeInfo& info,
                  uint32_t count) {
  const unsigned char* block =
      static_cast<const unsigned char*>(GetTrailingBlock(node->realStructure, info));
  if (block == nullptr) {
    std::fprintf(out, "%s  (no entry table: its size does not match the atom)\n", indent);
    return;
  }
  const uint32_t shown = count < kEntriesShown ? count : kEntriesShown;
  for (uint32_t i = 0; i < shown; ++i) {
    const unsigned char* e = block + uint64_t{i} * info.entry_size;
    std::fprintf(out, "%s  [%u]", indent, i);
    if (IsAtomType(node->type, "stts")) {
      std::fprintf(out, " count=%u delta=%u", ReadUint32BE(e), ReadUint32BE(e + 4));
    } else if (IsAtomType(node->type, "ctts")) {
      std::fprintf(out, " count=%u offset=%d", ReadUint32BE(e), (int)ReadUint32BE(e + 4));
    } else if (IsAtomType(node->type, "stsc")) {
      std::fprintf(out, " first_chunk=%u samples_per_chunk=%u description=%u", ReadUint32BE(e),
                   ReadUint32BE(e + 4), ReadUint32BE(e + 8));
    } else if (IsAtomType(node->type, "co64")) {
      std::fprintf(out, " offset=%llu",
                   (unsigned long long)((uint64_t{ReadUint32BE(e)} << 32) | ReadUint32BE(e + 4)));
    } else if (IsAtomType(node->type, "elst")) {
      std::fprintf(out, " duration=%u media_time=%d rate=%s", ReadUint32BE(e),
                   (int)ReadUint32BE(e + 4), Fixed16(ReadUint32BE(e + 8)).c_str());
    } else if (IsAtomType(node->type, "stsh")) {
      std::fprintf(out, " shadowed=%u sync=%u", ReadUint32BE(e), ReadUint32BE(e + 4));
    } else {
      std::fprintf(out, " %u", ReadUint32BE(e));
    }
    std::fprintf(out, "\n");
  }
  if (count > shown) std::fprintf(out, "%s  ... %u more\n", indent, count - shown);
}

void PrintFields(FILE* out, const char* indent, const AtomNode* node, const RecordView& r,
                 const AtomTypeInfo& info) {
  const char* t = node->type;
  if (IsAtomType(t, "ftyp")) {
    std::fprintf(out, " major=%s minor=%u compatible=%s", r.code(kFtypMajorBrand).c_str(),
                 r.u32(kFtypMinorVersion), r.code(kFtypCompatibleBrand).c_str());
  } else if (IsAtomType(t, "mvhd")) {
    const bool v1 = IsVersion1Header(node);
    PrintVersionFlags(out, r);
    PrintTimes(out, r, v1);
    if (v1)
      std::fprintf(out, " timescale=%u duration=%llu next_track_id=%u", r.u32(kMvhdTimescaleV1),
                   (unsigned long long)r.u64(kMvhdDurationV1), r.u32(kMvhdNextTrackIdV1));
    else
      std::fprintf(out, " timescale=%u duration=%u next_track_id=%u", r.u32(kMvhdTimescale),
                   r.u32(kMvhdDuration), r.u32(kMvhdNextTrackId));
  } else if (IsAtomType(t, "tkhd")) {
    const bool v1 = IsVersion1Header(node);
    PrintVersionFlags(out, r);
    PrintTimes(out, r, v1);
    std::fprintf(out, " track_id=%u", r.u32(v1 ? kTkhdTrackIdV1 : kTkhdTrackId));
    if (v1)
      std::fprintf(out, " duration=%llu", (unsigned long long)r.u64(kTkhdDurationV1));
    else
      std::fprintf(out, " duration=%u", r.u32(kTkhdDuration));
    std::fprintf(out, " width=%s height=%s", Fixed16(r.u32(v1 ? kTkhdWidthV1 : kTkhdWidth)).c_str(),
                 Fixed16(r.u32(v1 ? kTkhdHeightV1 : kTkhdHeight)).c_str());
  } else if (IsAtomType(t, "mdhd")) {
    const bool v1 = IsVersion1Header(node);
    const uint32_t lang = r.u16(v1 ? kMdhdLanguageV1 : kMdhdLanguage);
    PrintVersionFlags(out, r);
    PrintTimes(out, r, v1);
    if (v1)
      std::fprintf(out, " timescale=%u duration=%llu", r.u32(kMdhdTimescaleV1),
                   (unsigned long long)r.u64(kMdhdDurationV1));
    else
      std::fprintf(out, " timescale=%u duration=%u", r.u32(kMdhdTimescale), r.u32(kMdhdDuration));
    std::fprintf(out, " language=%c%c%c", 0x60 + ((lang >> 10) & 31), 0x60 + ((lang >> 5) & 31),
                 0x60 + (lang & 31));
  } else if (IsAtomType(t, "hdlr")) {
    PrintVersionFlags(out, r);
    std::fprintf(
        out, " handler=%s name=\"%s\"", r.code(kHdlrHandlerType).c_str(),
        Text(r.bytes + kHdlrName, r.length > kHdlrName ? r.length - kHdlrName : 0).c_str());
  } else if (IsAtomType(t, "vmhd")) {
    PrintVersionFlags(out, r);
    std::fprintf(out, " graphics_mode=%u", r.u16(kVmhdGraphicsMode));
  } else if (IsAtomType(t, "smhd")) {
    PrintVersionFlags(out, r);
    std::fprintf(out, " balance=%d", (int16_t)r.u16(kSmhdBalance));
  } else if (IsAtomType(t, "stsd") || IsAtomType(t, "dref")) {
    PrintVersionFlags(out, r);
    std::fprintf(out, " entries=%u", r.u32(kEntryCount));
  } else if (IsAtomType(t, "mp4v") || IsAtomType(t, "s263")) {
    std::fprintf(out,
                 " data_reference_index=%u width=%u height=%u resolution=%sx%s frames=%u depth=%u",
                 r.u16(kSampleEntryDataRefIndex), r.u16(kVisualWidth), r.u16(kVisualHeight),
                 Fixed16(r.u32(kVisualHorizontalResolution)).c_str(),
                 Fixed16(r.u32(kVisualVerticalResolution)).c_str(), r.u16(kVisualFrameCount),
                 r.u16(kVisualDepth));
  } else if (IsAtomType(t, "mp4a") || IsAtomType(t, "samr")) {
    std::fprintf(out, " data_reference_index=%u channels=%u sample_size=%u sample_rate=%u",
                 r.u16(kSampleEntryDataRefIndex), r.u16(kAudioEntryChannels),
                 r.u16(kAudioEntrySampleSize), r.u32(kAudioEntrySampleRate) >> 16);
  } else if (IsAtomType(t, "mp4s")) {
    std::fprintf(out, " data_reference_index=%u", r.u16(kSampleEntryDataRefIndex));
  } else if (IsAtomType(t, "esds") || IsAtomType(t, "iods")) {
    PrintVersionFlags(out, r);
    const uint32_t end = node->size < r.length ? node->size : r.length;
    std::fprintf(out, " descriptor=%s", Hex(r, kDescriptors, end).c_str());
  } else if (IsAtomType(t, "stsz")) {
    PrintVersionFlags(out, r);
    std::fprintf(out, " sample_size=%u sample_count=%u\n", r.u32(kStszSampleSize),
                 r.u32(kStszSampleCount));
    if (r.u32(kStszSampleSize) == 0) PrintEntries(out, indent, node, info, r.u32(kStszSampleCount));
    return;
  } else if (HasEntryTable(info)) {
    PrintVersionFlags(out, r);
    std::fprintf(out, " entries=%u\n", r.u32(info.count_offset));
    PrintEntries(out, indent, node, info, r.u32(info.count_offset));
    return;
  } else if (HasTextBlock(info)) {
    if (!IsAtomType(t, "sdp ")) PrintVersionFlags(out, r);
    const unsigned char* text =
        static_cast<const unsigned char*>(GetTrailingBlock(node->realStructure, info));
    if (text == nullptr)
      std::fprintf(out, " (no text)");
    else
      std::fprintf(out, " text=\"%s\"", Text(text, AtomTextLength(node, info)).c_str());
  }
  std::fprintf(out, "\n");
}

const char* StopReason(LevelStop reason) {
  switch (reason) {
    case LevelStop::kUnknownCode:
      return "a type the reader does not accept";
    case LevelStop::kShortHeader:
      return "a header past the end of the file";
    case LevelStop::kSizeBelowHeader:
      return "a size below 8";
    case LevelStop::kTooDeep:
      return "nesting too deep, children not read";
  }
  return "";
}

void PrintStops(FILE* out, const ExtractLog& log, const AtomNode* parent, int depth) {
  for (const LevelStopRecord& s : log.stops) {
    if (s.parent != parent) continue;
    std::string type;
    for (int i = 0; i < 4 && s.type[i] != 0; ++i)
      type += std::isprint(static_cast<unsigned char>(s.type[i])) ? s.type[i] : '.';
    std::fprintf(out, "%*s! level stopped at @%u by '%s' size=%u: %s\n", depth * 2, "", s.offset,
                 type.c_str(), s.size, StopReason(s.reason));
  }
}

void PrintAtom(FILE* out, const AtomNode* node, const Root_atom& root, const ExtractLog& log,
               int depth) {
  const std::string indent(static_cast<size_t>(depth) * 2, ' ');
  AtomTypeInfo info;
  (void)GetAtomPassInfo(node, &info);  // an unknown node shows as skip does
  std::fprintf(out, "%s%s @%u size=%u", indent.c_str(), node->type, node->offset, node->size);
  if (uint64_t{node->offset} + node->size > root.file_size)
    std::fprintf(out, " (past the end of the file)");
  if (node->parent != nullptr &&
      uint64_t{node->offset} + node->size > uint64_t{node->parent->offset} + node->parent->size)
    std::fprintf(out, " (past the end of its parent)");
  if (node->realStructure == nullptr) {
    std::fprintf(out, " (no body)\n");
  } else {
    const RecordView view{static_cast<const unsigned char*>(node->realStructure),
                          BodyReadSize(node, info, root.file_size)};
    PrintFields(out, indent.c_str(), node, view, info);
  }
  for (const AtomNode* child = node->first_child; child != nullptr; child = child->next)
    PrintAtom(out, child, root, log, depth + 1);
  PrintStops(out, log, node, depth + 1);
}

int RunDump(FILE* out, const ToolArgs& args) {
  const char* path = args.operands[0];
  const std::string problem = InputFileProblem(path);
  if (!problem.empty()) return ToolFail(path, problem);
  Root_atom* root = static_cast<Root_atom*>(AllocZeroed(sizeof(Root_atom)));
  if (root == nullptr) return ToolFail(path, "out of memory");
  ExtractLog log;
  const bool opened = Ok(OpenRootFile(root, path));
  const bool read = opened && Ok(ReadFileTree(root, &log));
  if (opened) {
    for (const AtomNode* atom = root->first_atom; atom != nullptr; atom = atom->next)
      PrintAtom(out, atom, *root, log, 0);
    PrintStops(out, log, nullptr, 0);
  }
  ReleaseRootAtom(root);
  if (read) return 0;
  // what is read is printed; the reason follows it
  return ToolFail(path, opened ? "not an MP4 file the library can read"
                               : "the library cannot open it (see -v)");
}

}  // namespace

const ToolOption kOptions[] = {{nullptr, nullptr}};

extern const ToolCommand kDumpCommand = {
    "dump",
    "print the atom tree of an MP4 file",
    "usage: ornivex dump FILE\n"
    "\n"
    "Prints the atom tree of FILE as the library reads it, one atom a line,\n"
    "indented by depth, with its type, offset (@) and size, and its body fields:\n"
    "version and flags, times, timescale, duration, track ID, handler type,\n"
    "sample-entry fields, entry counts and the first 5 entries of each table.\n"
    "A line starting with '!' marks where the reader stopped reading a level\n"
    "(an unknown type, a size below 8, a header past the end of the file): the\n"
    "atoms after it in that level are not in the tree. The library's own\n"
    "messages while reading (child-rule diagnostics) are shown with -v.\n",
    kOptions,
    "FILE",
    RunDump};
