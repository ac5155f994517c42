// MP4GetNextSample, GetSample, SeekTrack and MP4freeData.
#include "atom/helpers.h"
#include "ornivex.h"
#include "track/sample_access.h"

namespace {

// A time stamp as the result of GetSample and SeekTrack: 0 or more tells
// the caller that the block is theirs, so a later stamp reads as the
// latest one the result can carry.
int32_t StampResult(uint32_t stamp) {
  return stamp > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int32_t>(stamp);
}

}  // namespace

extern "C" ORNIVEX_API int32_t ORNIVEX_CALL MP4GetNextSample(MP4_input_file* file, uint32_t trackId,
                                                             unsigned char** dataOut,
                                                             uint32_t* sizeOut, uint32_t* timeOut) {
  if (dataOut == nullptr || sizeOut == nullptr || timeOut == nullptr) return -1;
  // the read's own block, the sample and 10 bytes more: no copy is made
  unsigned char* block = nullptr;
  if (!Ok(GetNextSampleBlock(file, trackId, &block, sizeOut, timeOut)) || block == nullptr)
    return -1;
  *dataOut = block;
  return 1;
}

extern "C" ORNIVEX_API int32_t ORNIVEX_CALL GetSample(MP4_input_file* file, uint32_t trackId,
                                                      int32_t time, unsigned char** dataOut,
                                                      uint32_t* sizeOut) {
  if (dataOut == nullptr || sizeOut == nullptr) return -99;
  uint32_t stamp = 0;
  if (!Ok(ReadSampleAtTime(file, trackId, time, dataOut, sizeOut, &stamp))) return -99;
  return StampResult(stamp);
}

extern "C" ORNIVEX_API int32_t ORNIVEX_CALL SeekTrack(MP4_input_file* file, uint32_t trackId,
                                                      int32_t time, unsigned char** dataOut,
                                                      uint32_t* sizeOut) {
  if (dataOut == nullptr || sizeOut == nullptr) return -99;
  uint32_t stamp = 0;
  if (!Ok(ReadKeyFrameAtTime(file, trackId, time, dataOut, sizeOut, &stamp))) return -99;
  return StampResult(stamp);
}

extern "C" ORNIVEX_API int32_t ORNIVEX_CALL MP4freeData(unsigned char** dataRef) {
  if (dataRef == nullptr) return 1;
  FreeBlock(*dataRef);
  *dataRef = nullptr;
  return 1;
}
