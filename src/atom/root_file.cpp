// Opening a file into a root record and running the four passes over it.
#include <cstdio>
#include <cstring>

#include "atom/atom_bodies.h"
#include "atom/atom_tree.h"
#include "atom/helpers.h"

namespace {
// Offsets are unsigned 32-bit and the length a signed 32-bit position.
constexpr long long kMaxFileSize = 0x7FFFFFFF;
}  // namespace

int OpenRootFile(Root_atom* root, const char* path) {
  std::printf("file is [%s]\n", path);
  if (std::strlen(path) > static_cast<size_t>(kMaxPathLength)) {
    std::printf("Can't open the file - %s \n", path);  // would not fit file_name
    return -99;
  }
  std::strcpy(root->file_name, path);
  root->file = std::fopen(path, "rb");
  if (root->file == nullptr) {
    std::printf("Can't open the file - %s \n", path);
    return -99;
  }
  long long length = -1;
  if (std::fseek(root->file, 0, SEEK_END) == 0) length = std::ftell(root->file);
  if (length == 0) {
    std::printf("file size be zero!!\n");
    return -99;
  }
  if (length < 0 || length > kMaxFileSize) {
    std::printf("file size [%lld] too large\n", length);
    return -99;
  }
  root->file_size = static_cast<uint32_t>(length);
  std::printf("file size [%d]\n", static_cast<int>(root->file_size));
  return 1;
}

int ReadFileTree(Root_atom* root, ExtractLog* log) {
  if (ExtractAtomTree(root, log) <= 0) {
    std::printf("file parse error, may not a mp4 file\n");
    return -99;
  }
  ValidateAtomTree(root);
  if (!Ok(AllocateRealStructures(root))) {
    std::printf("mp4 file atom hierarchy tree memory inital error\n");
    return -99;
  }
  if (ExtractAtomBodies(root) <= 0) {
    std::printf("extracting mp4 file error\n");
    return -99;
  }
  return 1;
}

void ReleaseRootAtom(Root_atom* root) {
  if (root == nullptr) return;
  if (root->file != nullptr) std::fclose(root->file);
  root->file = nullptr;
  FreeAtomTree(root);
  FreeBlock(root);
}
