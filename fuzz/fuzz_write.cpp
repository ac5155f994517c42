// The input as a program of writing calls: MP4FileNew, CreateTrack with any
// arguments, AddVideoFrame and AddAudioFrame (one at a time or in runs long
// enough to fill table blocks), calls on a null record or a missing track,
// MP4FileFlush, in any order. Every result must be the documented one, a
// flush must leave no temporary file, and every flushed file is read back.
// Where the calls kept the documented order (new, media tracks, system
// tracks, appends with time stamps that never decrease, flush), the flush
// must succeed unless the video track cannot be described, and the frames
// must come back as appended: bytes, times from the first, key frames.
//
// Each opcode byte is followed by its operands; a program that runs out of
// bytes reads zeros. A record still open at the end is flushed.
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "atom/records.h"
#include "fuzz_input.h"
#include "ornivex.h"

namespace {

// The 176 x 144 video object layer the writer's tests use, and an ADTS
// header and an AudioSpecificConfig; any of them may be cut or overlong.
const unsigned char kVol[] = {0,    0,    1,    0,    0,    0,    1,    0x20, 0x01,
                              0x88, 0x40, 0x07, 0xA8, 0x2C, 0x20, 0x90, 0xA3, 0x1F};
const unsigned char kSequence[] = {0, 0, 1, 0xB0, 3, 0, 0, 1, 0xB5, 9};
const unsigned char kAdts[] = {0xFF, 0xF1, 0x50, 0x80, 0x02, 0x1F, 0xFC};
const unsigned char kAsc[] = {0x12, 0x10};

constexpr uint32_t kMaxDecoderConfig = 52;
constexpr uint32_t kMaxPictureSide = 8191;  // what a made-up video header can hold
constexpr size_t kMaxOps = 256;
constexpr size_t kMaxFramesPerInput = 12000;

struct Program {
  const uint8_t* data;
  size_t size;
  size_t at = 0;
  bool Done() const { return at >= size; }
  uint8_t U8() { return at < size ? data[at++] : 0; }
  uint16_t U16() {
    const uint16_t high = U8();
    return static_cast<uint16_t>(high << 8 | U8());
  }
  uint32_t U32() {
    const uint32_t high = U16();
    return high << 16 | U16();
  }
};

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "fuzz_write: %s\n", what);
  std::abort();
}

// This process's working folder; outputs and temporary files go there, and
// it goes when the process ends (empty then: each flush's output is removed).
struct WorkFolder {
  std::string path;
  WorkFolder() {
    const char* tmp = std::getenv("TMPDIR");
    path = std::string(tmp != nullptr ? tmp : "/tmp") + "/ornivex-fuzz-write-" +
           std::to_string(getpid());
    if (mkdir(path.c_str(), 0700) != 0 && access(path.c_str(), F_OK) != 0) Fail("no folder");
  }
  ~WorkFolder() { rmdir(path.c_str()); }
};
const std::string& Folder() {
  static const WorkFolder folder;
  return folder.path;
}

std::vector<std::string> FolderEntries() {
  std::vector<std::string> names;
  DIR* d = opendir(Folder().c_str());
  if (d == nullptr) return names;
  while (const dirent* e = readdir(d))
    if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0)
      names.push_back(e->d_name);
  closedir(d);
  return names;
}

struct Frame {
  std::vector<unsigned char> bytes;
  uint32_t time;
  bool key;
};

// What the calls made of one media track, as far as the results tell.
struct Medium {
  bool exists = false;
  bool spooling = false;  // its temporary file was created
  bool readable = false;  // MPEG-4 sample entries; 3GPP ones are written, not read
  std::string temp;
  uint64_t bytes = 0;
  std::vector<Frame> frames;
};

struct Model {
  MP4_local_file* file = nullptr;
  std::string path;
  bool documented = true;
  int phase = 0;               // 0 media tracks, 1 system tracks, 2 appends
  bool undescribable = false;  // a video track that the flush may refuse
  Medium video, audio;
};

// The temporary file names a program can choose from: two good ones, none,
// one in a folder that is not there, one too long to keep.
const char* TempName(uint8_t choice, std::string* keep) {
  switch (choice % 6) {
    case 0:
    case 1:
      *keep = Folder() + "/v.tmp";
      return keep->c_str();
    case 2:
      *keep = Folder() + "/a.tmp";
      return keep->c_str();
    case 3:
      return nullptr;
    case 4:
      *keep = Folder() + "/none/t.tmp";
      return keep->c_str();
    default:
      *keep = Folder() + "/" + std::string(300, 't');
      return keep->c_str();
  }
}

// The decoder configuration: a known header or the program's bytes, with a
// length that may fall short of it, pass it, or pass 52.
void Configuration(Program* p, std::vector<unsigned char>* bytes, uint32_t* length,
                   const unsigned char** pointer) {
  const uint8_t choice = p->U8();
  switch (choice % 6) {
    case 0:
      bytes->assign(kVol, kVol + sizeof kVol);
      break;
    case 1:
      bytes->assign(kSequence, kSequence + sizeof kSequence);
      bytes->insert(bytes->end(), kVol, kVol + sizeof kVol);
      break;
    case 2:
      bytes->assign(kAdts, kAdts + sizeof kAdts);
      break;
    case 3:
      bytes->assign(kAsc, kAsc + sizeof kAsc);
      break;
    default:
      for (uint8_t n = p->U8() % 64; n > 0; --n) bytes->push_back(p->U8());
  }
  const uint8_t how = p->U8();
  *length = how < 128 ? static_cast<uint32_t>(bytes->size()) : how % 64u;
  if (how == 255) *length = 0xFFFFFFFF;
  bytes->resize(64, 0);  // a length up to 64 stays in the buffer
  *pointer = (choice & 0x80) ? nullptr : bytes->data();
}

bool VideoHeaderKnown(const unsigned char* c, uint32_t length) {
  return length >= 4 && c[0] == 0 && c[1] == 0 && c[2] == 1 && (c[3] == 0xB0 || c[3] == 0);
}

void CreateTrackOp(Program* p, Model* m, bool null_record) {
  static const int32_t kTypes[] = {1, 2, 4, 5, 1, 2, 3, 0, 6};
  static const uint32_t kScales[] = {1000, 90000, 44100, 8000, 0, 1, 0xFFFFFFFF};
  static const uint32_t kCodecs[] = {1, 1, 2, 0, 3};
  const uint8_t t = p->U8();
  const int32_t type = t % 10 < 9 ? kTypes[t % 10] : static_cast<int32_t>(p->U32());
  const uint8_t wide = p->U8();
  const uint32_t width = (wide & 1) ? p->U32() : p->U16(),
                 height = (wide & 2) ? p->U32() : p->U16();
  const uint32_t tir = (wide & 4) ? p->U32() : p->U16();
  const uint8_t s = p->U8();
  const uint32_t scale = s % 8 < 7 ? kScales[s % 8] : p->U32();
  const uint32_t profile = p->U8(), audio_profile = p->U8() % 8, channels = p->U8() % 9;
  const uint32_t rate = (s & 0x80) ? p->U32() : 44100;
  std::vector<unsigned char> config;
  uint32_t length = 0;
  const unsigned char* pointer = nullptr;
  Configuration(p, &config, &length, &pointer);
  std::string temp;
  const char* name = TempName(p->U8(), &temp);
  const uint8_t c = p->U8();
  const uint32_t codec = c % 6 < 5 ? kCodecs[c % 6] : p->U32();

  MP4_local_file* file = null_record ? nullptr : m->file;
  const int32_t r = CreateTrack(file, type, width, height, tir, scale, profile, audio_profile,
                                channels, rate, length, pointer, name, codec);
  const bool media = type == 1 || type == 2;
  const bool accepted = file != nullptr && (media || type == 4 || type == 5) &&
                        (!media || ((codec == 1 || codec == 2) && length <= kMaxDecoderConfig &&
                                    (length == 0 || pointer != nullptr)));
  if (r != (accepted ? 1 : -99)) Fail("CreateTrack result");
  if (!accepted) return;
  if (!media) {
    if (m->phase > 1) m->documented = false;
    m->phase = 1;
    return;
  }
  if (m->phase > 0) m->documented = false;
  Medium& me = type == 1 ? m->video : m->audio;
  const Medium& other = type == 1 ? m->audio : m->video;
  me = Medium{};
  me.exists = true;
  me.readable = codec == 1;
  me.spooling = name != nullptr && temp.size() < 256 && temp.find("/none/") == std::string::npos;
  me.temp = me.spooling ? temp : "";
  // two tracks on one temporary file spoil each other's frames
  if (me.spooling && other.exists && other.temp == me.temp) m->documented = false;
  if (type == 1) {
    m->undescribable = codec == 1 && (length == 0 ? (width & 0xFFFF) > kMaxPictureSide ||
                                                        (height & 0xFFFF) > kMaxPictureSide
                                                  : !VideoHeaderKnown(pointer, length));
  }
}

// One frame, appended and checked against the documented result.
void Append(Model* m, bool video, bool null_record, uint32_t size, bool no_data, uint32_t time,
            int32_t key_mark) {
  std::vector<unsigned char> bytes(no_data ? 0 : size);
  for (uint32_t i = 0; i < bytes.size(); ++i)
    bytes[i] = static_cast<unsigned char>(time * 7 + i * 13 + size);
  const unsigned char* data = no_data ? nullptr : bytes.data();
  MP4_local_file* file = null_record ? nullptr : m->file;
  const int32_t r = video ? AddVideoFrame(file, size, data, time, key_mark)
                          : AddAudioFrame(file, size, data, time);
  Medium& me = video ? m->video : m->audio;
  const bool accepted = file != nullptr && me.exists && me.spooling &&
                        (size == 0 || data != nullptr) && me.bytes + size <= 0xFFFFFFFF;
  if (r != (accepted ? 1 : -99)) Fail("AddVideoFrame or AddAudioFrame result");
  if (!accepted) return;
  if (!me.frames.empty() && time < me.frames.back().time) m->documented = false;
  m->phase = 2;
  me.bytes += size;
  me.frames.push_back({std::move(bytes), time, !video || key_mark == 1});
}

uint32_t NextTime(Program* p, const Medium& me) {
  const uint8_t how = p->U8();
  const uint32_t last = me.frames.empty() ? 0 : me.frames.back().time;
  if (how >= 224) return p->U32();  // anywhere, perhaps back
  return last + (how < 192 ? p->U8() : p->U16());
}

int32_t KeyMark(uint8_t k) {
  static const int32_t kMarks[] = {1, 0, 0, 1, 2, -1};
  return kMarks[k % 6];
}

void AppendOp(Program* p, Model* m, bool video, bool null_record, size_t* budget) {
  const uint8_t sizing = p->U8();
  uint32_t size = sizing % 128;
  const bool no_data = sizing == 255;
  if (no_data) size = (p->U8() & 1) ? 0 : p->U32();
  const uint32_t time = NextTime(p, video ? m->video : m->audio);
  Append(m, video, null_record, size, no_data, time, KeyMark(p->U8()));
  if (*budget > 0) --*budget;
}

// A run of small frames at a fixed step, every nth a key frame: enough to
// fill table blocks (2000 samples) and key-frame slots.
void RunOp(Program* p, Model* m, size_t* budget) {
  const bool video = p->U8() & 1;
  size_t count = p->U16() % 4200 + 1;
  if (count > *budget) count = *budget;
  *budget -= count;
  const uint32_t size = p->U8() % 16, step = p->U8(), every = p->U8() % 4;
  const Medium& me = video ? m->video : m->audio;
  uint32_t time = me.frames.empty() ? 0 : me.frames.back().time;
  for (size_t i = 0; i < count; ++i, time += step)
    Append(m, video, false, size + i % 3, false, time, every == 0 ? 0 : (i % every == 0 ? 1 : 0));
}

// Every sample of a track through MP4GetNextSample.
std::vector<Frame> ReadSamples(MP4_input_file* in, uint32_t id) {
  std::vector<Frame> got;
  unsigned char* data = nullptr;
  uint32_t size = 0, time = 0;
  while (id != 0 && MP4GetNextSample(in, id, &data, &size, &time) == 1) {
    got.push_back({std::vector<unsigned char>(data, data + size), time, false});
    MP4freeData(&data);
  }
  return got;
}

std::vector<std::vector<unsigned char>> ReadKeyFrames(MP4_input_file* in, uint32_t id) {
  std::vector<std::vector<unsigned char>> got;
  unsigned char* data = nullptr;
  uint32_t size = 0;
  if (id == 0 || GoToBeginOfKeyFrame(in, id) != 1) return got;
  while (MP4NextKeyFrame(in, id, &data, &size) == 1) {
    got.emplace_back(data, data + size);
    MP4freeData(&data);
  }
  return got;
}

void ExpectFrames(const std::vector<Frame>& got, const Medium& me, const char* what) {
  if (!me.readable) return;
  if (got.size() != me.frames.size()) Fail(what);
  for (size_t i = 0; i < got.size(); ++i)
    if (got[i].bytes != me.frames[i].bytes || got[i].time != me.frames[i].time - me.frames[0].time)
      Fail(what);
}

// The flushed file through the reading calls: one the flush called whole
// must open; in documented order every frame comes back as appended.
void ReadBack(const Model& m, bool flushed, bool whole) {
  MP4_input_file* in = nullptr;
  const int32_t opened = MP4FileOpen(&in, m.path.c_str());
  if (flushed && opened != 1) Fail("a flushed file does not open");
  if (opened == 1) {
    const std::vector<Frame> video = ReadSamples(in, in->video_track_id);
    const std::vector<Frame> audio = ReadSamples(in, in->audio_track_id);
    const auto keys = ReadKeyFrames(in, in->video_track_id);
    unsigned char out[ORNIVEX_ESDS_DATA_MAX];
    uint32_t width = 0, height = 0, length = 0;
    (void)GetM4vEsdsData(in, out, &width, &height, &length);  // only that it does not crash
    (void)GetM4aEsdsData(in, out, &length);                   // as above
    if (whole) {
      ExpectFrames(video, m.video, "video frames read back differ");
      ExpectFrames(audio, m.audio, "audio frames read back differ");
      std::vector<std::vector<unsigned char>> expected;
      for (const Frame& f : m.video.frames)
        if (f.key) expected.push_back(f.bytes);
      if (m.video.readable && keys != expected) Fail("key frames read back differ");
    }
  }
  MP4FileClose(&in);
  if (!whole) return;
  FileInfo info;
  const int32_t described = GetFileInfo(m.path.c_str(), &info);
  if ((described != 1 || (m.video.readable && info.video_sample_count != m.video.frames.size()) ||
       (m.audio.readable && info.audio_sample_count != m.audio.frames.size())))
    Fail("GetFileInfo disagrees with the frames");
}

void FlushOp(Model* m) {
  if (m->file == nullptr) return;
  const int32_t r = MP4FileFlush(m->file);
  m->file = nullptr;
  if (r != 1 && r != -99) Fail("MP4FileFlush result");
  for (const std::string& name : FolderEntries())
    if (Folder() + "/" + name != m->path) Fail("a temporary file outlived the flush");
  const bool whole = m->documented && !m->undescribable;
  if (whole && r != 1) Fail("a flush in documented order failed");
  ReadBack(*m, r == 1, whole && r == 1);
  std::remove(m->path.c_str());
}

void NewOp(Program* p, Model* m) {
  FlushOp(m);
  const uint8_t choice = p->U8();
  std::string path = Folder() + "/out.mp4";
  if (choice % 8 == 6) path = Folder() + "/none/out.mp4";
  if (choice % 8 == 7) path = Folder() + "/" + std::string(300, 'o');
  MP4_local_file* file = reinterpret_cast<MP4_local_file*>(&path);  // must not stay
  const int32_t r = MP4FileNew(&file, path.c_str());
  const bool good = choice % 8 < 6;
  if (r != (good ? 1 : -99) || (file == nullptr) == good) Fail("MP4FileNew result");
  *m = Model{};
  m->file = file;
  m->path = path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  SilenceStdout();
  Program p{data, size};
  Model m;
  size_t budget = kMaxFramesPerInput;
  for (size_t ops = 0; ops < kMaxOps && !p.Done(); ++ops) {
    const uint8_t op = p.U8();
    const bool null_record = (op & 0xF0) == 0xF0;
    switch (op % 9) {
      case 0:
        NewOp(&p, &m);
        break;
      case 1:
      case 2:
        CreateTrackOp(&p, &m, null_record);
        break;
      case 3:
      case 4:
        AppendOp(&p, &m, true, null_record, &budget);
        break;
      case 5:
        AppendOp(&p, &m, false, null_record, &budget);
        break;
      case 6:
        RunOp(&p, &m, &budget);
        break;
      case 7:
        if (null_record && MP4FileFlush(nullptr) != -99) Fail("MP4FileFlush of null");
        FlushOp(&m);
        break;
      default:
        break;  // a no-op keeps mutations from shifting every later call
    }
  }
  FlushOp(&m);
  return 0;
}
