// Writing the finished file: the atom tree, each temporary file's bytes in
// bounded pieces, and the object descriptor and scene samples.
#include <cstdio>
#include <initializer_list>

#include "atom/helpers.h"
#include "platform/platform.h"
#include "platform/report.h"
#include "serialise/atom_serialiser.h"
#include "serialise/system_samples.h"
#include "writer/flush.h"

namespace {

constexpr size_t kCopyPiece = size_t{1} << 20;
constexpr size_t kFallbackPiece = 4096;  // when not even one piece can be had

// A piece of memory for the copies, allocated once for the whole flush.
struct CopyBuffer {
  unsigned char* bytes;
  size_t size;
};

// Copies the recorded length of a temporary file to the output, no more,
// so that what follows lands where its offsets say. A missing file, or one
// of another length, is reported; one that is shorter is copied as it is.
Status CopyTemporaryFile(const char* name, uint32_t recorded, bool video, FILE* out,
                         const CopyBuffer& buffer) {
  FILE* in = name[0] != '\0' ? std::fopen(name, "rb") : nullptr;
  if (in == nullptr && recorded == 0) return Status::kOk;  // nothing was appended
  long long length = -1;
  if (in != nullptr && std::fseek(in, 0, SEEK_END) == 0) length = std::ftell(in);
  Status result = Status::kOk;
  if (length != static_cast<long long>(recorded)) {
    if (video)
      Report("error in video tempfile!\n");
    else
      Report("error in audio tempfile!\n");
    result = Status::kFailed;
  }
  if (in == nullptr) return result;
  uint64_t left = length < 0 ? 0 : (length < recorded ? length : recorded);
  if (std::fseek(in, 0, SEEK_SET) != 0) left = 0;
  while (left > 0) {
    const size_t piece = left < buffer.size ? static_cast<size_t>(left) : buffer.size;
    const size_t got = std::fread(buffer.bytes, 1, piece, in);
    if (got == 0 || std::fwrite(buffer.bytes, 1, got, out) != got) {
      result = Status::kFailed;  // a read or write error: the output is short
      break;
    }
    left -= got;
  }
  (void)std::fclose(in);  // read only: nothing to lose
  return result;
}

Status WriteBytes(const unsigned char* bytes, uint32_t length, FILE* out) {
  if (length == 0) return Status::kOk;
  return std::fwrite(bytes, 1, length, out) == length ? Status::kOk : Status::kFailed;
}

void Note(Status step, Status* result) {
  if (!Ok(step)) *result = Status::kFailed;
}

}  // namespace

Status WriteMovieFile(MP4_local_file* file) {
  Root_atom* root = file->root;
  if (root == nullptr) return Status::kFailed;
  Status result = Status::kOk;
  root->file_size = 0;
  Note(WriteAtomTree(root->first_atom, root), &result);
  FILE* out = root->file;

  unsigned char fallback[kFallbackPiece];
  CopyBuffer buffer{static_cast<unsigned char*>(AllocZeroed(kCopyPiece)), kCopyPiece};
  const bool allocated = buffer.bytes != nullptr;
  if (!allocated) buffer = CopyBuffer{fallback, sizeof fallback};
  if (out != nullptr) {
    if (file->VideoTrackNode != nullptr)
      Note(CopyTemporaryFile(file->video_temp_name, file->video_bytes, true, out, buffer), &result);
    if (file->AudioTrackNode != nullptr)
      Note(CopyTemporaryFile(file->audio_temp_name, file->audio_bytes, false, out, buffer),
           &result);
    uint32_t length = 0;
    if (SystemTrackIncluded(file, file->od_track)) {
      const unsigned char* bytes = ObjectDescriptorSample(file, &length);
      Note(WriteBytes(bytes, length, out), &result);
    }
    if (SystemTrackIncluded(file, file->scene_track)) {
      const unsigned char* bytes = SceneSample(file, &length);
      Note(WriteBytes(bytes, length, out), &result);
    }
  }
  if (allocated) FreeBlock(buffer.bytes);

  for (const char* name : {file->video_temp_name, file->audio_temp_name})
    if (name[0] != '\0') (void)DeleteFileByName(name);  // gone already, or never made
  // the close writes what is still buffered: a full disk may show only here
  if (out == nullptr || std::fclose(out) != 0) result = Status::kFailed;
  root->file = nullptr;
  return result;
}
