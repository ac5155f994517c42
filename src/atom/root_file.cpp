// Opening a file into a root record and running the four passes over it.
#include <cstdio>
#include <cstring>

#include "atom/atom_bodies.h"
#include "atom/atom_tree.h"
#include "atom/helpers.h"
#include "platform/file_length.h"
#include "platform/report.h"

namespace {
// Offsets are unsigned 32-bit and the length a signed 32-bit position.
constexpr long long kMaxFileSize = 0x7FFFFFFF;
}  // namespace

Status OpenRootFile(Root_atom* root, const char* path) {
  Report("file is [%s]\n", path);
  if (std::strlen(path) > static_cast<size_t>(kMaxPathLength)) {
    Report("Can't open the file - %s \n", path);  // would not fit file_name
    return Status::kFailed;
  }
  std::strcpy(root->file_name, path);
  root->file = std::fopen(path, "rb");
  // A directory opens on some systems and then fails every read (its
  // length is whatever the system makes of it): a file is one that reads.
  if (root->file != nullptr && std::fgetc(root->file) == EOF && std::ferror(root->file)) {
    std::fclose(root->file);
    root->file = nullptr;
  }
  if (root->file == nullptr) {
    Report("Can't open the file - %s \n", path);
    return Status::kFailed;
  }
  const long long length = FileLength(root->file);
  if (length == 0) {
    Report("file size be zero!!\n");
    return Status::kFailed;
  }
  if (length < 0 || length > kMaxFileSize) {
    Report("file size [%lld] too large\n", length);
    return Status::kFailed;
  }
  root->file_size = static_cast<uint32_t>(length);
  Report("file size [%d]\n", static_cast<int>(root->file_size));
  return Status::kOk;
}

Status ReadFileTree(Root_atom* root, ExtractLog* log) {
  if (!Ok(ExtractAtomTree(root, log))) {
    Report("file parse error, may not a mp4 file\n");
    return Status::kFailed;
  }
  ValidateAtomTree(root);
  if (!Ok(AllocateRealStructures(root))) {
    Report("mp4 file atom hierarchy tree memory inital error\n");
    return Status::kFailed;
  }
  if (!Ok(ExtractAtomBodies(root))) {
    Report("extracting mp4 file error\n");
    return Status::kFailed;
  }
  return Status::kOk;
}

void ReleaseRootAtom(Root_atom* root) {
  if (root == nullptr) return;
  if (root->file != nullptr) std::fclose(root->file);
  root->file = nullptr;
  FreeAtomTree(root);
  FreeBlock(root);
}
