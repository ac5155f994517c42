#include "writer/atom_template.h"

#include "atom/helpers.h"
#include "writer/track_node.h"

namespace {

constexpr AtomTemplate kFile[] = {
    {nullptr, 6, ""},     {nullptr, 0, "root"}, {nullptr, 1, "ftyp"}, {nullptr, 1, "moov"},
    {nullptr, 3, "mvhd"}, {nullptr, 3, "iods"}, {nullptr, 1, "mdat"},
};

constexpr AtomTemplate kVideoMpeg4[] = {
    {nullptr, 19, ""},     {nullptr, 0, "trak"},  {nullptr, 1, "tkhd"},  {nullptr, 1, "mdia"},
    {nullptr, 3, "mdhd"},  {nullptr, 3, "hdlr"},  {nullptr, 3, "minf"},  {nullptr, 6, "vmhd"},
    {nullptr, 6, "dinf"},  {nullptr, 8, "dref"},  {nullptr, 9, "url "},  {nullptr, 6, "stbl"},
    {nullptr, 11, "stsd"}, {nullptr, 12, "mp4v"}, {nullptr, 13, "esds"}, {nullptr, 11, "stts"},
    {nullptr, 11, "stsz"}, {nullptr, 11, "stsc"}, {nullptr, 11, "stco"}, {nullptr, 11, "stss"}};
constexpr AtomTemplate kVideoH263[] = {
    {nullptr, 19, ""},     {nullptr, 0, "trak"},  {nullptr, 1, "tkhd"},  {nullptr, 1, "mdia"},
    {nullptr, 3, "mdhd"},  {nullptr, 3, "hdlr"},  {nullptr, 3, "minf"},  {nullptr, 6, "vmhd"},
    {nullptr, 6, "dinf"},  {nullptr, 8, "dref"},  {nullptr, 9, "url "},  {nullptr, 6, "stbl"},
    {nullptr, 11, "stsd"}, {nullptr, 12, "s263"}, {nullptr, 13, "d263"}, {nullptr, 11, "stts"},
    {nullptr, 11, "stsz"}, {nullptr, 11, "stsc"}, {nullptr, 11, "stco"}, {nullptr, 11, "stss"}};
// every audio sample is a sync sample: no stss
constexpr AtomTemplate kAudioMpeg4[] = {
    {nullptr, 18, ""},     {nullptr, 0, "trak"},  {nullptr, 1, "tkhd"},  {nullptr, 1, "mdia"},
    {nullptr, 3, "mdhd"},  {nullptr, 3, "hdlr"},  {nullptr, 3, "minf"},  {nullptr, 6, "smhd"},
    {nullptr, 6, "dinf"},  {nullptr, 8, "dref"},  {nullptr, 9, "url "},  {nullptr, 6, "stbl"},
    {nullptr, 11, "stsd"}, {nullptr, 12, "mp4a"}, {nullptr, 13, "esds"}, {nullptr, 11, "stts"},
    {nullptr, 11, "stsz"}, {nullptr, 11, "stsc"}, {nullptr, 11, "stco"}};
constexpr AtomTemplate kAudioAmr[] = {
    {nullptr, 18, ""},     {nullptr, 0, "trak"},  {nullptr, 1, "tkhd"},  {nullptr, 1, "mdia"},
    {nullptr, 3, "mdhd"},  {nullptr, 3, "hdlr"},  {nullptr, 3, "minf"},  {nullptr, 6, "smhd"},
    {nullptr, 6, "dinf"},  {nullptr, 8, "dref"},  {nullptr, 9, "url "},  {nullptr, 6, "stbl"},
    {nullptr, 11, "stsd"}, {nullptr, 12, "samr"}, {nullptr, 13, "damr"}, {nullptr, 11, "stts"},
    {nullptr, 11, "stsz"}, {nullptr, 11, "stsc"}, {nullptr, 11, "stco"}};
constexpr AtomTemplate kObjectDescriptor[] = {
    {nullptr, 20, ""},     {nullptr, 0, "trak"},  {nullptr, 1, "tkhd"},  {nullptr, 1, "tref"},
    {nullptr, 3, "mpod"},  {nullptr, 1, "mdia"},  {nullptr, 5, "mdhd"},  {nullptr, 5, "hdlr"},
    {nullptr, 5, "minf"},  {nullptr, 8, "nmhd"},  {nullptr, 8, "dinf"},  {nullptr, 10, "dref"},
    {nullptr, 11, "url "}, {nullptr, 8, "stbl"},  {nullptr, 13, "stsd"}, {nullptr, 14, "mp4s"},
    {nullptr, 15, "esds"}, {nullptr, 13, "stts"}, {nullptr, 13, "stsz"}, {nullptr, 13, "stsc"},
    {nullptr, 13, "stco"},
};
constexpr AtomTemplate kScene[] = {
    {nullptr, 18, ""},     {nullptr, 0, "trak"},  {nullptr, 1, "tkhd"},  {nullptr, 1, "mdia"},
    {nullptr, 3, "mdhd"},  {nullptr, 3, "hdlr"},  {nullptr, 3, "minf"},  {nullptr, 6, "nmhd"},
    {nullptr, 6, "dinf"},  {nullptr, 8, "dref"},  {nullptr, 9, "url "},  {nullptr, 6, "stbl"},
    {nullptr, 11, "stsd"}, {nullptr, 12, "mp4s"}, {nullptr, 13, "esds"}, {nullptr, 11, "stts"},
    {nullptr, 11, "stsz"}, {nullptr, 11, "stsc"}, {nullptr, 11, "stco"},
};

// Releases the nodes built so far (rows 1 to `built`), which are not yet linked.
void ReleaseRows(AtomTemplate* rows, uint32_t built) {
  for (uint32_t r = 1; r <= built; ++r) {
    FreeBlock(rows[r].node);
    rows[r].node = nullptr;
  }
}

}  // namespace

const AtomTemplate* FileTemplate() {
  return kFile;
}

const AtomTemplate* TrackTemplate(uint32_t track_type, uint32_t codec) {
  switch (track_type) {
    case kTrackVideo:
      if (codec == kCodecMpeg4) return kVideoMpeg4;
      return codec == kCodec3gpp ? kVideoH263 : nullptr;
    case kTrackAudio:
      if (codec == kCodecMpeg4) return kAudioMpeg4;
      return codec == kCodec3gpp ? kAudioAmr : nullptr;
    case kTrackObjectDescriptor:
      return kObjectDescriptor;  // the codec choice does not apply
    case kTrackScene:
      return kScene;
    default:
      return nullptr;
  }
}

Status BuildAtomSubTree(AtomNode** out_root, const AtomTemplate* rows) {
  if (out_root == nullptr || rows == nullptr) return Status::kFailed;
  const uint32_t n = rows[0].parent;
  if (n < 1 || n > kMaxTemplateRows) return Status::kFailed;
  // a row's parent comes before it, so every row hangs from row 1
  for (uint32_t r = 2; r <= n; ++r)
    if (rows[r].parent < 1 || rows[r].parent >= r) return Status::kFailed;

  AtomTemplate copy[kMaxTemplateRows + 1] = {};
  for (uint32_t r = 0; r <= n; ++r) copy[r] = rows[r];
  for (uint32_t r = 1; r <= n; ++r) {
    copy[r].node = static_cast<AtomNode*>(AllocZeroed(sizeof(AtomNode)));
    if (copy[r].node == nullptr) {
      ReleaseRows(copy, r - 1);
      return Status::kFailed;
    }
    (void)CopyAtomType(copy[r].node->type, copy[r].type);  // both are non-null
  }
  for (uint32_t p = 1; p <= n; ++p) {
    AtomNode* last = nullptr;
    for (uint32_t c = 2; c <= n; ++c) {
      if (copy[c].parent != p) continue;
      AtomNode* child = copy[c].node;
      child->parent = copy[p].node;
      if (last == nullptr)
        copy[p].node->first_child = child;
      else
        last->next = child;
      last = child;
    }
  }
  *out_root = copy[1].node;
  return Status::kOk;
}

Status CreateHierarchySubTree(AtomNode** out_trak, uint32_t track_type, AtomNode* parent,
                              AtomNode* next, uint32_t codec) {
  const AtomTemplate* rows = TrackTemplate(track_type, codec);
  if (rows == nullptr) return Status::kNotFound;
  AtomNode* trak = nullptr;
  const Status built = BuildAtomSubTree(&trak, rows);
  if (!Ok(built)) return built;
  trak->parent = parent;
  trak->next = next;
  *out_trak = trak;
  return Status::kOk;
}
