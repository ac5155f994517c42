#include "merge/raw_stream.h"

#include "platform/file_length.h"
#include "platform/report.h"

bool ReadStreamHead(const char* path, unsigned char* head, size_t count, size_t* got,
                    uint64_t* length) {
  FILE* f = std::fopen(path, "rb");
  if (f == nullptr) return false;
  *got = count > 0 ? std::fread(head, 1, count, f) : 0;
  const long long end = FileLength(f);
  (void)std::fclose(f);  // only read from
  if (end < 0) return false;
  *length = static_cast<uint64_t>(end);
  return true;
}

FILE* ReopenStream(const char* path) {
  FILE* f = std::fopen(path, "rb");
  if (f == nullptr) Report("Can't open the stream file [%s] again\n", path);
  return f;
}
