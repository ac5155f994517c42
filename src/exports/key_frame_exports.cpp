// GoToBeginOfKeyFrame, GoToEndOfKeyFrame, MP4NextKeyFrame and MP4PrevKeyFrame.
#include "ornivex.h"
#include "track/sample_access.h"

namespace {

using KeyRead = Status (*)(MP4_input_file*, uint32_t, SampleBuffer*, uint32_t*);

int32_t ReadKeyFrameExport(MP4_input_file* file, uint32_t trackId, unsigned char** dataOut,
                           uint32_t* sizeOut, KeyRead read) {
  if (dataOut == nullptr || sizeOut == nullptr) return -1;
  SampleBuffer buffer;
  (void)buffer.Alloc(1);  // without it the read fails to resize it, with its message
  if (!Ok(read(file, trackId, &buffer, sizeOut))) return -1;
  unsigned char* block = buffer.TakeData();  // no copy, as for the other reads
  if (block == nullptr) return -1;
  *dataOut = block;
  return 1;
}

}  // namespace

extern "C" ORNIVEX_API int32_t ORNIVEX_CALL GoToBeginOfKeyFrame(MP4_input_file* file,
                                                                uint32_t trackId) {
  return Ok(SetKeyCursorToBegin(file, trackId)) ? 1 : -99;
}

extern "C" ORNIVEX_API int32_t ORNIVEX_CALL GoToEndOfKeyFrame(MP4_input_file* file,
                                                              uint32_t trackId) {
  return Ok(SetKeyCursorToEnd(file, trackId)) ? 1 : -99;
}

extern "C" ORNIVEX_API int32_t ORNIVEX_CALL MP4NextKeyFrame(MP4_input_file* file, uint32_t trackId,
                                                            unsigned char** dataOut,
                                                            uint32_t* sizeOut) {
  return ReadKeyFrameExport(file, trackId, dataOut, sizeOut, GetNextKeySample);
}

extern "C" ORNIVEX_API int32_t ORNIVEX_CALL MP4PrevKeyFrame(MP4_input_file* file, uint32_t trackId,
                                                            unsigned char** dataOut,
                                                            uint32_t* sizeOut) {
  return ReadKeyFrameExport(file, trackId, dataOut, sizeOut, GetPrevKeySample);
}
