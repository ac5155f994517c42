// Skeleton atom trees built from small constant templates: the file's
// top level and one `trak` per track kind and codec choice.
#ifndef ORNIVEX_WRITER_ATOM_TEMPLATE_H
#define ORNIVEX_WRITER_ATOM_TEMPLATE_H

#include <cstdint>

#include "atom/records.h"
#include "atom/status.h"

// One row of a template. Rows count from 1; row 0 only carries the number of
// rows in `parent`. A row's node goes under the node of its parent row (0 for
// the top row); the children of a row are attached in row order.
struct AtomTemplate {
  AtomNode* node;  // the slot for the built node, filled in a working copy
  uint32_t parent;
  char type[5];
};

// The largest template has 19 rows.
constexpr uint32_t kMaxTemplateRows = 24;

// Codec choices of the media tracks.
constexpr uint32_t kCodecMpeg4 = 1;  // mp4v / mp4a
constexpr uint32_t kCodec3gpp = 2;   // s263 / samr

// The file skeleton: a placeholder "root" over ftyp, moov { mvhd, iods }, mdat.
const AtomTemplate* FileTemplate();
// The trak template of a track type and, for video and audio, a codec
// choice; null for any other combination.
const AtomTemplate* TrackTemplate(uint32_t track_type, uint32_t codec);

// Builds the nodes of a template, zero-filled with their types, and hands
// out the node of row 1. On failure nothing stays allocated.
Status BuildAtomSubTree(AtomNode** out_root, const AtomTemplate* rows);

// Builds the trak of a track type and codec choice and links it under
// `parent` before `next` (both may be null). kNotFound for a combination
// that has no template, kFailed when memory runs out.
Status CreateHierarchySubTree(AtomNode** out_trak, uint32_t track_type, AtomNode* parent,
                              AtomNode* next, uint32_t codec);

#endif  // ORNIVEX_WRITER_ATOM_TEMPLATE_H
