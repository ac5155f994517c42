// The video object layer header: only its plain rectangular subset is
// accepted, which is all that simple-profile streams use.
#include "serialise/m4v_header.h"

namespace {

constexpr unsigned char kStuffingByte = 0x7F;  // next_start_code() on a byte boundary

void SkipQuantMatrix() {
  if (GetBits(1) == 1) GetBits(64 * 8);  // always 64 values, zeros included
}

int CheckedEnd(int result) {
  return BitsOverrun() ? kVolCutShort : result;
}

}  // namespace

int TimeIncrementBits(uint32_t resolution) {
  int bits = 0;
  while (bits < 32 && (uint64_t{1} << bits) < resolution) ++bits;
  return bits < 1 ? 1 : bits;
}

int ParseVolHeader(const unsigned char* bytes, uint32_t size, uint32_t* width, uint32_t* height,
                   uint32_t* length) {
  StartBits(bytes, size);
  GetBits(32);  // video_object_start_code
  GetBits(32);  // video_object_layer_start_code
  GetBits(9);   // random_accessible_vol, video_object_type_indication
  uint32_t verid = 1;
  if (GetBits(1) == 1) {  // is_object_layer_identifier
    verid = GetBits(4);
    GetBits(3);  // video_object_layer_priority
  }
  if (GetBits(4) == 15) GetBits(16);   // aspect_ratio_info: extended PAR
  if (GetBits(1) == 1) {               // vol_control_parameters
    GetBits(3);                        // chroma_format, low_delay
    if (GetBits(1) == 1) GetBits(79);  // vbv_parameters
  }
  if (GetBits(2) != 0) return CheckedEnd(kVolShape);
  GetBits(1);
  const uint32_t resolution = GetBits(16);  // vop_time_increment_resolution
  GetBits(1);
  if (GetBits(1) == 1) GetBits(TimeIncrementBits(resolution));  // fixed_vop_time_increment
  GetBits(1);
  const uint32_t w = GetBits(13);
  GetBits(1);
  const uint32_t h = GetBits(13);
  if (BitsOverrun()) return kVolCutShort;
  *width = w;
  *height = h;
  GetBits(3);  // marker, interlaced, obmc_disable
  if (GetBits(verid == 1 ? 1 : 2) != 0) return CheckedEnd(kVolSprite);
  if (GetBits(1) == 1) return CheckedEnd(kVolNot8Bit);
  if (GetBits(1) == 1) {  // quant_type
    SkipQuantMatrix();    // intra
    SkipQuantMatrix();    // non-intra
  }
  if (verid != 1 && GetBits(1) == 1) return CheckedEnd(kVolQuarterSample);
  if (GetBits(1) == 0) return CheckedEnd(kVolComplexity);
  GetBits(1);                       // resync_marker_disable
  if (GetBits(1) == 1) GetBits(1);  // data_partitioned: reversible_vlc
  if (verid != 1) {
    if (GetBits(1) != 0) return CheckedEnd(kVolNewpred);
    if (GetBits(1) != 0) return CheckedEnd(kVolReducedResolution);
  }
  if (GetBits(1) != 0) return CheckedEnd(kVolScalability);
  if (BitsOverrun()) return kVolCutShort;

  bool partial = false;
  *length = BitsConsumed(&partial) + (partial ? 1 : 0);
  // The header ends with next_start_code(): when the last field ends on a
  // byte boundary its stuffing is a whole byte, which belongs to the header.
  if (!partial && NextBytesAre(kStuffingByte)) ++*length;
  return kVolOk;
}
