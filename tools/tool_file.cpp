#include "tool_file.h"

#include <sys/stat.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "atom/atom_path.h"
#include "atom/helpers.h"
#include "atom/records.h"

namespace {

// Files of 2 GiB or more are refused: the library's offsets are 32-bit.
constexpr long long kMaxFileSize = 0x7FFFFFFF;

// The 8 header bytes at `offset`, read apart from the library's stream.
bool ReadHeaderAt(const std::string& path, uint64_t offset, unsigned char header[8]) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return false;
  const bool read = offset <= uint64_t{kMaxFileSize} &&
                    std::fseek(f, static_cast<long>(offset), SEEK_SET) == 0 &&
                    std::fread(header, 1, 8, f) == 8;
  std::fclose(f);
  return read;
}

std::string TypeText(const unsigned char* code) {
  std::string s;
  for (int i = 0; i < 4; ++i) s += std::isprint(code[i]) ? static_cast<char>(code[i]) : '.';
  return s;
}

}  // namespace

std::string InputFileProblem(const char* path) {
  struct stat st;
  if (stat(path, &st) != 0) return std::strerror(errno);
  if (S_ISDIR(st.st_mode)) return std::strerror(EISDIR);
  // a FIFO would block the library's open, a device has no size
  if (!S_ISREG(st.st_mode)) return "not a regular file";
  FILE* f = std::fopen(path, "rb");
  if (f == nullptr) return std::strerror(errno);
  std::fclose(f);
  if (st.st_size == 0) return "empty file";
  if (st.st_size > kMaxFileSize) return "2 GiB or more, which the library does not read";
  if (std::strlen(path) > static_cast<size_t>(kMaxPathLength))
    return "path longer than 255 characters, which the library does not take";
  return "";
}

ToolFile::~ToolFile() {
  (void)MP4FileClose(&file_);  // always 1; releases the record
}

std::string CannotRead(int error) {
  return std::string("cannot read: ") + std::strerror(error != 0 ? error : EIO);
}

bool ToolFile::Open(const char* path, std::string* why) {
  path_ = path;
  *why = InputFileProblem(path);
  if (!why->empty()) return false;
  if (MP4FileOpen(&file_, path) != 1) {
    *why = "not an MP4 file the library can read";
    return false;
  }
  if (TrackProblem(kMediaVideo).empty() || TrackProblem(kMediaAudio).empty()) return true;
  *why = "no track the library can read: " + NoTrackReason();
  return false;
}

std::string ToolFile::TrackProblem(MediaType medium) const {
  const bool video = medium == kMediaVideo;
  const uint32_t id = video ? video_track_id() : audio_track_id();
  const char* name = video ? "video" : "audio";
  if (id == 0) return std::string("no ") + name + " track";
  const ReadTrackNode* node = track(id);
  if (node->sample_count > 0) return "";
  const std::string which = std::string(name) + " track " + std::to_string(id);
  const AtomNode* stbl = FindAtomPath(node->trak->first_child, {"mdia", "minf", "stbl"});
  if (stbl == nullptr) return which + " has no sample table (stbl) the library reads";
  const AtomNode* tables = stbl->first_child;
  if (FindSibling(tables, "co64") != nullptr && FindSibling(tables, "stco") == nullptr)
    return which + " has 64-bit chunk offsets (co64)";
  // An entry the library does not read never enters the tree: its type is
  // read from the file, at the first entry of stsd.
  const AtomNode* stsd = FindSibling(tables, "stsd");
  unsigned char header[8];
  if (stsd != nullptr && FindSibling(stsd->first_child, video ? "mp4v" : "mp4a") == nullptr &&
      stsd->size >= 24 && ReadHeaderAt(path_, uint64_t{stsd->offset} + 16, header))
    return which + " has '" + TypeText(header + 4) + "' samples";
  for (const char* table : {"stts", "stsc", "stsz", "stco"})
    if (FindSibling(tables, table) == nullptr)
      return which + " has no '" + table + "' table the library reads";
  return which + " lists no sample";
}

// Why no track offers samples: each track's reason, or why there is none.
std::string ToolFile::NoTrackReason() const {
  if (video_track_id() != 0 && audio_track_id() != 0)
    return TrackProblem(kMediaVideo) + "; " + TrackProblem(kMediaAudio);
  if (video_track_id() != 0) return TrackProblem(kMediaVideo);
  if (audio_track_id() != 0) return TrackProblem(kMediaAudio);
  const AtomNode* last = file_->root->first_atom;
  for (const AtomNode* a = last; a != nullptr; a = a->next) {
    if (IsAtomType(a->type, "moov")) return "no video or audio track";
    last = a;
  }
  // Sizes below 8 end the top level where they stand, 64-bit sizes too.
  const uint64_t next = last != nullptr ? uint64_t{last->offset} + last->size : 0;
  unsigned char header[8];
  if (!ReadHeaderAt(path_, next, header) || ReadUint32BE(header) > 1) return "no movie box (moov)";
  return "the box at offset " + std::to_string(next) + " ('" + TypeText(header + 4) + "') has " +
         (ReadUint32BE(header) == 1 ? "a 64-bit size" : "size 0 (to the end of the file)");
}
