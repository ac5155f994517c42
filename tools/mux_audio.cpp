// The audio of ornivex mux: an ADTS AAC stream, each frame's raw data a
// sample, its CRC (when there is one) skipped.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "merge/adts_frame.h"
#include "merge/raw_stream.h"
#include "mux.h"
#include "tool_file.h"

namespace {

constexpr uint32_t kSamplingRates[] = {96000, 88200, 64000, 48000, 44100, 32000, 24000,
                                       22050, 16000, 12000, 11025, 8000,  7350};
constexpr uint32_t kSamplesPerFrame = 1024;

// The header bits that describe the stream rather than the frame: sync
// word, MPEG version and layer; profile, sampling rate, channels.
bool SameStream(const unsigned char* a, const unsigned char* b) {
  return (a[1] & 0xFE) == (b[1] & 0xFE) && (a[2] & 0xFD) == (b[2] & 0xFD) &&
         (a[3] & 0xC0) == (b[3] & 0xC0);
}

// Why ReadAdtsFrame refused the frame whose header is in `h`, of which
// `available` bytes could be read, `remaining` bytes before the end.
std::string FrameProblem(const unsigned char* h, uint32_t available, uint64_t remaining) {
  if (available < kAdtsHeaderLength) return "the header is cut off by the end of the file";
  if (!HasAdtsSync(h)) return "no ADTS sync word";
  const uint32_t blocks = (h[6] & 0x03u) + 1;
  if (blocks > 1)
    return std::to_string(blocks) + " raw data blocks in one frame; a sample holds one";
  const uint32_t header =
      (h[1] & 0x01) == 0 ? kAdtsHeaderLength + kAdtsCrcLength : kAdtsHeaderLength;
  const uint32_t length = (uint32_t{h[3] & 0x03u} << 11) | (uint32_t{h[4]} << 3) | (h[5] >> 5);
  if (length < header)
    return "frame_length " + std::to_string(length) + " is shorter than its " +
           std::to_string(header) + "-byte header";
  return "frame_length " + std::to_string(length) + " runs past the end of the file (" +
         std::to_string(remaining) + " bytes left)";
}

struct AudioPass {
  MP4_local_file* file;
  const AudioStream* stream;
  const MuxPass* mux;
  FILE* in;
  uint64_t offset = 0;  // of the next frame
  uint32_t frames = 0;
  MuxFailure failure;
};

bool Fail(AudioPass* pass, const std::string& reason) {
  pass->failure =
      MuxFailure{pass->stream->path, "frame " + std::to_string(pass->frames) + " at offset " +
                                         std::to_string(pass->offset) + ": " + reason};
  return false;
}

bool ReadFully(AudioPass* pass, unsigned char* bytes, size_t count) {
  if (count == 0 || std::fread(bytes, 1, count, pass->in) == count) return true;
  const int error = std::ferror(pass->in) ? errno : 0;
  return Fail(pass,
              error != 0 ? CannotRead(error) : "the file ended early: it shrank while it was read");
}

// Reads the next frame and appends it.
bool AddFrame(AudioPass* pass, std::vector<unsigned char>* payload) {
  const AudioStream& s = *pass->stream;
  unsigned char h[kAdtsHeaderLength + kAdtsCrcLength];
  const uint64_t remaining = s.size - pass->offset;
  const uint32_t available =
      remaining < kAdtsHeaderLength ? static_cast<uint32_t>(remaining) : kAdtsHeaderLength;
  if (!ReadFully(pass, h, available)) return false;
  AdtsFrame frame;
  if (!ReadAdtsFrame(h, available, remaining, &frame))
    return Fail(pass, FrameProblem(h, available, remaining));
  if (!SameStream(h, s.first_header))
    return Fail(pass,
                "its header does not match the first frame's (MPEG version, profile, sampling "
                "rate or channels)");
  if (!ReadFully(pass, h + kAdtsHeaderLength, frame.header_length - kAdtsHeaderLength))
    return false;  // the CRC, which the track has no place for
  payload->resize(frame.payload_length);
  if (!ReadFully(pass, payload->data(), frame.payload_length)) return false;
  const uint64_t time = uint64_t{pass->frames} * kSamplesPerFrame;
  if (time > UINT32_MAX)
    return Fail(pass,
                "its time stamp passes 32 bits at timescale " + std::to_string(s.sampling_rate));
  if (AddAudioFrame(pass->file, frame.payload_length, payload->data(),
                    static_cast<uint32_t>(time)) != 1) {
    pass->failure =
        MuxFailure{pass->mux->output, "cannot write: AddAudioFrame refused audio frame " +
                                          std::to_string(pass->frames) + " (" +
                                          std::to_string(frame.payload_length) + " bytes)"};
    return false;
  }
  pass->offset += frame.frame_length;
  ++pass->frames;
  pass->mux->progress->Update(pass->mux->done_before + pass->offset, "audio",
                              double(time + kSamplesPerFrame) / s.sampling_rate);
  return true;
}

}  // namespace

bool ProbeAudioStream(const char* path, AudioStream* stream, MuxFailure* failure) {
  *failure = MuxFailure{path, InputFileProblem(path)};
  if (!failure->reason.empty()) return false;
  stream->path = path;
  unsigned char* h = stream->first_header;
  size_t n = 0;
  errno = 0;
  if (!ReadStreamHead(path, h, kAdtsHeaderLength, &n, &stream->size)) {
    failure->reason = CannotRead(errno);
    return false;
  }
  // the layer bits are 0 in ADTS; MPEG audio layers I to III set them
  if (n < kAdtsHeaderLength || !HasAdtsSync(h) || (h[1] & 0x06) != 0) {
    failure->reason = "not an ADTS AAC stream: no ADTS header at its start";
    return false;
  }
  const uint32_t index = (h[2] >> 2) & 0x0F;
  if (index >= sizeof kSamplingRates / sizeof kSamplingRates[0]) {
    failure->reason =
        "bad ADTS header: sampling frequency index " + std::to_string(index) + " has no rate";
    return false;
  }
  stream->object_type = (h[2] >> 6) + 1u;
  stream->sampling_rate = kSamplingRates[index];
  stream->channels = ((h[2] & 0x01u) << 2) | (h[3] >> 6);
  if (stream->channels == 0) {
    failure->reason =
        "channel configuration 0 (a layout given inside the stream), which a track's "
        "configuration does not describe";
    return false;
  }
  return true;
}

bool AddAudioFrames(MP4_local_file* file, const AudioStream& stream, const MuxPass& mux,
                    uint32_t* frames, MuxFailure* failure) {
  AudioPass pass{file, &stream, &mux, std::fopen(stream.path, "rb"), 0, 0, {}};
  if (pass.in == nullptr) {
    *failure = MuxFailure{stream.path, CannotRead(errno)};
    return false;
  }
  std::vector<unsigned char> payload;
  bool added = true;
  while (added && pass.offset < stream.size) added = AddFrame(&pass, &payload);
  std::fclose(pass.in);
  *frames = pass.frames;
  if (!added) *failure = pass.failure;
  return added;
}
