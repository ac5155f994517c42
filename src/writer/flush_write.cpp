// Writing the finished file: the atom tree, each temporary file's bytes in
// bounded pieces, and the object descriptor and scene samples.
#include <cstdio>
#include <initializer_list>

#include "atom/helpers.h"
#include "platform/file_length.h"
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

void ReportTemporaryFile(bool video) {
  if (video)
    Report("error in video tempfile!\n");
  else
    Report("error in audio tempfile!\n");
}

// Copies the recorded length of a temporary file to the output, no more,
// so that what follows lands where its offsets say. A missing file, or one
// of another length, is reported and fails; one that is shorter is copied
// as it is. A failed write ends the copy; the caller sees it on `out`.
Status CopyTemporaryFile(const char* name, uint32_t recorded, bool video, FILE* out,
                         const CopyBuffer& buffer) {
  FILE* in = name[0] != '\0' ? std::fopen(name, "rb") : nullptr;
  if (in == nullptr && recorded == 0) return Status::kOk;  // nothing was appended
  long long length = -1;
  if (in != nullptr) length = FileLength(in);
  if (in != nullptr && std::fseek(in, 0, SEEK_SET) != 0) length = -1;
  Status result = Status::kOk;
  if (length != static_cast<long long>(recorded)) {
    ReportTemporaryFile(video);
    result = Status::kFailed;
  }
  if (in == nullptr) return result;
  uint64_t left = length < 0 ? 0 : static_cast<uint64_t>(length < recorded ? length : recorded);
  while (left > 0) {
    const size_t piece = left < buffer.size ? static_cast<size_t>(left) : buffer.size;
    const size_t got = std::fread(buffer.bytes, 1, piece, in);
    if (got == 0) {  // shorter than it measured: someone cut it meanwhile
      if (Ok(result)) ReportTemporaryFile(video);
      result = Status::kFailed;
      break;
    }
    if (std::fwrite(buffer.bytes, 1, got, out) != got) break;
    left -= got;
  }
  (void)std::fclose(in);  // read only: nothing to lose
  return result;
}

void Note(Status step, Status* result) {
  if (!Ok(step)) *result = Status::kFailed;
}

// The body of mdat: the temporary files, then the system samples.
Status WriteMedia(MP4_local_file* file, FILE* out) {
  unsigned char fallback[kFallbackPiece];
  CopyBuffer buffer{static_cast<unsigned char*>(AllocZeroed(kCopyPiece)), kCopyPiece};
  const bool allocated = buffer.bytes != nullptr;
  if (!allocated) buffer = CopyBuffer{fallback, sizeof fallback};
  Status result = Status::kOk;
  if (file->VideoTrackNode != nullptr)
    Note(CopyTemporaryFile(file->video_temp_name, file->video_bytes, true, out, buffer), &result);
  if (file->AudioTrackNode != nullptr)
    Note(CopyTemporaryFile(file->audio_temp_name, file->audio_bytes, false, out, buffer), &result);
  if (allocated) FreeBlock(buffer.bytes);
  uint32_t length = 0;
  if (SystemTrackIncluded(file, file->od_track)) {
    const unsigned char* bytes = ObjectDescriptorSample(file, &length);
    (void)std::fwrite(bytes, 1, length, out);  // a failure shows on the stream
  }
  if (SystemTrackIncluded(file, file->scene_track)) {
    const unsigned char* bytes = SceneSample(file, &length);
    (void)std::fwrite(bytes, 1, length, out);  // as above
  }
  return result;
}

}  // namespace

Status WriteMovieFile(MP4_local_file* file) {
  Root_atom* root = file->root;
  if (root == nullptr) return Status::kFailed;
  FILE* out = root->file;
  root->file_size = 0;
  Status result = WriteAtomTree(root->first_atom, root);  // reports its own failure
  bool written = Ok(result);
  // after a broken tree the media would only follow it into a useless file
  if (written) {
    Note(WriteMedia(file, out), &result);
    written = !std::ferror(out);
  }
  for (const char* name : {file->video_temp_name, file->audio_temp_name})
    if (name[0] != '\0') (void)DeleteFileByName(name);  // gone already, or never made
  // the close writes what is still buffered: a full disk may show only here
  if (out != nullptr && std::fclose(out) != 0) written = false;
  root->file = nullptr;
  if (Ok(result) && !written) {
    Report("error occuring in writing [%s]atom\n", "mdat");
    result = Status::kFailed;
  }
  return result;
}
