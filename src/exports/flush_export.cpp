// The export that finishes a file: MP4FileFlush.
#include "atom/status.h"
#include "ornivex.h"
#include "platform/report.h"
#include "writer/flush.h"

extern "C" ORNIVEX_API int32_t ORNIVEX_CALL MP4FileFlush(MP4_local_file* file) {
  if (file == nullptr) {
    DebugReport("the input localfile is empty!\n");
    return -99;
  }
  return Ok(FlushWriterFile(file)) ? 1 : -99;
}
