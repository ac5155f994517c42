// The decoder-specific info of an MPEG-4 Visual track: the stream header
// that the caller gave, completed where it lacks the sequence headers, or a
// default header made up from the track's picture size and time base.
#include <cstring>

#include "serialise/esds_write.h"

namespace {

constexpr unsigned char kSequenceStart[] = {0x00, 0x00, 0x01, 0xB0};
constexpr unsigned char kVideoObjectStart[] = {0x00, 0x00, 0x01, 0x00};
constexpr unsigned char kVisualObject[] = {0x00, 0x00, 0x01, 0xB5, 0x09};
constexpr unsigned char kVolStart[] = {0x00, 0x00, 0x01, 0x20};
constexpr uint32_t kPrefixLength = 10;  // sequence start, profile, visual object
constexpr uint32_t kDefaultDsiLength = 28;
constexpr uint32_t kMaxPictureSide = 8191;  // 13 bits in the video object layer
static_assert(kDefaultDsiLength <= kMaxVideoDsi &&
                  kPrefixLength + kDecoderConfigMax <= kMaxVideoDsi,
              "every decoder-specific info fits");

// Writes fields most significant bit first.
struct BitWriter {
  unsigned char* out;
  uint32_t bit;
};

void PutBits(BitWriter* w, uint32_t value, int count) {
  for (int i = count - 1; i >= 0; --i) {
    if ((value >> i) & 1u) w->out[w->bit / 8] |= static_cast<unsigned char>(0x80u >> (w->bit % 8));
    ++w->bit;
  }
}

// The sequence header with the track's profile and a visual object header.
uint32_t PutPrefix(const TrackNode& t, unsigned char* out) {
  std::memcpy(out, kSequenceStart, 4);
  out[4] = static_cast<unsigned char>(t.ProfileLevel & 0xFF);
  std::memcpy(out + 5, kVisualObject, 5);
  return kPrefixLength;
}

// A rectangular, progressive video object layer of the track's size.
uint32_t PutDefaultDsi(const TrackNode& t, unsigned char* out) {
  uint32_t n = PutPrefix(t, out);
  std::memcpy(out + n, kVideoObjectStart, 4);
  std::memcpy(out + n + 4, kVolStart, 4);
  n += 8;
  std::memset(out + n, 0, 10);
  BitWriter w{out + n, 0};
  PutBits(&w, 0, 1);       // random_accessible_vol
  PutBits(&w, 0x03, 8);    // video_object_type_indication
  PutBits(&w, 0, 1);       // is_object_layer_identifier
  PutBits(&w, 0b0010, 4);  // aspect_ratio_info
  PutBits(&w, 0, 1);       // vol_control_parameters
  PutBits(&w, 0, 2);       // video_object_layer_shape: rectangular
  PutBits(&w, 1, 1);
  PutBits(&w, t.TimeIncrementResolution, 16);
  PutBits(&w, 1, 1);
  PutBits(&w, 0, 1);  // fixed_vop_rate
  PutBits(&w, 1, 1);
  PutBits(&w, t.Width, 13);
  PutBits(&w, 1, 1);
  PutBits(&w, t.Height, 13);
  PutBits(&w, 1, 1);
  PutBits(&w, 0, 1);         // interlaced
  PutBits(&w, 1, 1);         // obmc_disable
  PutBits(&w, 0, 1);         // sprite_enable
  PutBits(&w, 0, 1);         // not_8_bit
  PutBits(&w, 0, 1);         // quant_type
  PutBits(&w, 1, 1);         // complexity_estimation_disable
  PutBits(&w, 1, 1);         // resync_marker_disable
  PutBits(&w, 0, 1);         // data_partitioned
  PutBits(&w, 0, 1);         // scalability
  PutBits(&w, 0b011111, 6);  // stuffing to the byte boundary
  return n + 10;
}

}  // namespace

Status ChooseVideoDsi(TrackNode* t, unsigned char dsi[kMaxVideoDsi], uint32_t* length) {
  const uint32_t given =
      t->DecoderConfigLength < kDecoderConfigMax ? t->DecoderConfigLength : kDecoderConfigMax;
  unsigned char* d = t->DecoderConfig;
  if (given == 0) {
    // the picture size has 13 bits in the header: a larger one cannot be described
    if (t->Width > kMaxPictureSide || t->Height > kMaxPictureSide) return Status::kNotFound;
    *length = PutDefaultDsi(*t, dsi);
    return Status::kOk;
  }
  if (given >= 4 && std::memcmp(d, kSequenceStart, 4) == 0) {
    d[4] = static_cast<unsigned char>(t->ProfileLevel & 0xFF);  // the track's profile wins
    std::memcpy(dsi, d, given);
    *length = given;
    return Status::kOk;
  }
  if (given >= 4 && std::memcmp(d, kVideoObjectStart, 4) == 0) {
    const uint32_t n = PutPrefix(*t, dsi);
    std::memcpy(dsi + n, d, given);
    *length = n + given;
    t->DecoderConfigLength = given + kPrefixLength;  // the bytes themselves stay unprefixed
    return Status::kOk;
  }
  return Status::kNotFound;
}
