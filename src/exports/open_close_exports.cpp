// MP4FileOpen and MP4FileClose.
#include "atom/helpers.h"
#include "ornivex.h"
#include "track/open_file.h"

extern "C" ORNIVEX_API int32_t ORNIVEX_CALL MP4FileOpen(MP4_input_file** handle, const char* path) {
  if (handle == nullptr) return -99;
  MP4_input_file* file = static_cast<MP4_input_file*>(AllocZeroed(sizeof(MP4_input_file)));
  *handle = file;  // also on failure: the caller may close it
  if (file == nullptr) return -99;
  return Ok(OpenInputFile(file, path)) ? 1 : -99;
}

extern "C" ORNIVEX_API int32_t ORNIVEX_CALL MP4FileClose(MP4_input_file** handle) {
  if (handle != nullptr) CloseInputFile(handle);
  return 1;
}
