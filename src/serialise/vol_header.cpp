// The video object layer header: only its plain rectangular subset is
// accepted, which is all that simple-profile streams use.
#include "serialise/m4v_header.h"

namespace {

constexpr unsigned char kStuffingByte = 0x7F;  // next_start_code() on a byte boundary

void SkipQuantMatrix(BitReader& bits) {
  if (bits.Get(1) == 1) bits.Get(64 * 8);  // always 64 values, zeros included
}

// A feature that the parse stops at, unless the bits ran out before it.
Status Unsupported(const BitReader& bits, VolFeature feature, VolFeature* unsupported) {
  if (bits.Overrun()) return Status::kFailed;
  if (unsupported != nullptr) *unsupported = feature;
  return Status::kNotFound;
}

}  // namespace

int TimeIncrementBits(uint32_t resolution) {
  int bits = 0;
  while (bits < 32 && (uint64_t{1} << bits) < resolution) ++bits;
  return bits < 1 ? 1 : bits;
}

Status ParseVolHeader(const unsigned char* bytes, uint32_t size, uint32_t* width, uint32_t* height,
                      uint32_t* length, VolFeature* unsupported) {
  BitReader bits(bytes, size);
  bits.Get(32);  // video_object_start_code
  bits.Get(32);  // video_object_layer_start_code
  bits.Get(9);   // random_accessible_vol, video_object_type_indication
  uint32_t verid = 1;
  if (bits.Get(1) == 1) {  // is_object_layer_identifier
    verid = bits.Get(4);
    bits.Get(3);  // video_object_layer_priority
  }
  if (bits.Get(4) == 15) bits.Get(16);   // aspect_ratio_info: extended PAR
  if (bits.Get(1) == 1) {                // vol_control_parameters
    bits.Get(3);                         // chroma_format, low_delay
    if (bits.Get(1) == 1) bits.Get(79);  // vbv_parameters
  }
  if (bits.Get(2) != 0) return Unsupported(bits, VolFeature::kShape, unsupported);
  bits.Get(1);
  const uint32_t resolution = bits.Get(16);  // vop_time_increment_resolution
  bits.Get(1);
  if (bits.Get(1) == 1) bits.Get(TimeIncrementBits(resolution));  // fixed_vop_time_increment
  bits.Get(1);
  const uint32_t w = bits.Get(13);
  bits.Get(1);
  const uint32_t h = bits.Get(13);
  if (bits.Overrun()) return Status::kFailed;
  *width = w;
  *height = h;
  bits.Get(3);  // marker, interlaced, obmc_disable
  if (bits.Get(verid == 1 ? 1 : 2) != 0) return Unsupported(bits, VolFeature::kSprite, unsupported);
  if (bits.Get(1) == 1) return Unsupported(bits, VolFeature::kNot8Bit, unsupported);
  if (bits.Get(1) == 1) {   // quant_type
    SkipQuantMatrix(bits);  // intra
    SkipQuantMatrix(bits);  // non-intra
  }
  if (verid != 1 && bits.Get(1) == 1)
    return Unsupported(bits, VolFeature::kQuarterSample, unsupported);
  if (bits.Get(1) == 0) return Unsupported(bits, VolFeature::kComplexity, unsupported);
  bits.Get(1);                        // resync_marker_disable
  if (bits.Get(1) == 1) bits.Get(1);  // data_partitioned: reversible_vlc
  if (verid != 1) {
    if (bits.Get(1) != 0) return Unsupported(bits, VolFeature::kNewpred, unsupported);
    if (bits.Get(1) != 0) return Unsupported(bits, VolFeature::kReducedResolution, unsupported);
  }
  if (bits.Get(1) != 0) return Unsupported(bits, VolFeature::kScalability, unsupported);
  if (bits.Overrun()) return Status::kFailed;

  bool partial = false;
  *length = bits.Consumed(&partial) + (partial ? 1 : 0);
  // The header ends with next_start_code(): when the last field ends on a
  // byte boundary its stuffing is a whole byte, which belongs to the header.
  if (!partial && bits.NextByteIs(kStuffingByte)) ++*length;
  return Status::kOk;
}
