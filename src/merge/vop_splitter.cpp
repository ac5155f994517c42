#include "merge/vop_splitter.h"

#include <cstring>

#include "atom/helpers.h"

namespace {

constexpr unsigned char kVopStartCode = 0xB6;

Status Emit(const VopSplitter* s, size_t end, VopSink sink, void* context) {
  const size_t size = end - s->begin;
  if (size > UINT32_MAX) return Status::kFailed;
  return sink(context,
              VideoFrame{s->bytes + s->begin, static_cast<uint32_t>(size), s->frames - 1, s->key});
}

Status Scan(VopSplitter* s, bool complete, VopSink sink, void* context) {
  size_t at = 0;
  bool key = false;
  while (FindNextVop(s->bytes, s->end, complete, &s->scan, &at, &key)) {
    if (s->frames > 0) {
      const Status emitted = Emit(s, at, sink, context);
      if (!Ok(emitted)) return emitted;
    }
    if (s->frames == UINT32_MAX) return Status::kFailed;
    s->begin = at;
    s->key = key;
    ++s->frames;
  }
  // before the first VOP nothing is kept: the headers belong to no frame
  if (s->frames == 0) s->begin = s->scan < s->end ? s->scan : s->end;
  return Status::kOk;
}

}  // namespace

bool FindNextVop(const unsigned char* data, size_t size, bool complete, size_t* from, size_t* at,
                 bool* key) {
  const size_t ahead = complete ? 2 : 4;  // bytes needed after a position
  size_t p = *from;
  while (size > ahead && p < size - ahead) {
    if (data[p] != 0 || data[p + 1] != 0 || data[p + 2] != 1) {
      ++p;
      continue;
    }
    if (p + 3 < size && data[p + 3] == kVopStartCode) {
      *at = p;
      *key = p + 4 < size && (data[p + 4] >> 6) == 0;
      *from = p + 4;
      return true;
    }
    p += 4;  // the prefix and the code after it
  }
  *from = p;
  return false;
}

Status FeedVopSplitter(VopSplitter* s, const unsigned char* data, size_t size, VopSink sink,
                       void* context) {
  if (s->begin > 0) {  // what lies before the frame is done with
    std::memmove(s->bytes, s->bytes + s->begin, s->end - s->begin);
    s->end -= s->begin;
    s->scan -= s->begin;
    s->begin = 0;
  }
  if (size > SIZE_MAX - s->end) return Status::kFailed;
  if (s->end + size > s->capacity) {
    size_t capacity = s->capacity > SIZE_MAX / 2 ? SIZE_MAX : s->capacity * 2;
    if (capacity < s->end + size) capacity = s->end + size;
    void* grown = s->bytes == nullptr ? AllocZeroed(capacity) : ResizeBlock(s->bytes, capacity);
    if (grown == nullptr) return Status::kFailed;
    s->bytes = static_cast<unsigned char*>(grown);
    s->capacity = capacity;
  }
  if (size > 0) std::memcpy(s->bytes + s->end, data, size);
  s->end += size;
  return Scan(s, false, sink, context);
}

Status FinishVopSplitter(VopSplitter* s, VopSink sink, void* context) {
  const Status scanned = Scan(s, true, sink, context);
  if (!Ok(scanned)) return scanned;
  if (s->frames == 0) return Status::kNotFound;
  return Emit(s, s->end, sink, context);
}

void ReleaseVopSplitter(VopSplitter* s) {
  FreeBlock(s->bytes);
  *s = VopSplitter{};
}
