// The merging exports: Mp4AddAudio and Mp4AddVideo.
#include "merge/merge.h"
#include "ornivex.h"

namespace {

int32_t Result(Status status, MergeFault fault) {
  if (Ok(status)) return 1;
  switch (fault) {
    case MergeFault::kExistingOpen:
      return -11;
    case MergeFault::kExistingConfig:
      return -12;
    case MergeFault::kExistingSample:
      return -21;
    case MergeFault::kRawStream:
      return -31;
    case MergeFault::kOutput:
      return -41;
    case MergeFault::kNone:
    case MergeFault::kArgument:
      break;
  }
  return -1;
}

}  // namespace

extern "C" ORNIVEX_API int32_t ORNIVEX_CALL Mp4AddAudio(const char* mp4Path, const char* adtsPath,
                                                        const char* outPath) {
  MergeFault fault = MergeFault::kNone;
  const Status merged = MergeAudio(mp4Path, adtsPath, outPath, &fault);
  return Result(merged, fault);
}

extern "C" ORNIVEX_API int32_t ORNIVEX_CALL Mp4AddVideo(const char* mp4Path, const char* m4vPath,
                                                        const char* outPath, float frameRate) {
  MergeFault fault = MergeFault::kNone;
  const Status merged = MergeVideo(mp4Path, m4vPath, outPath, frameRate, &fault);
  return Result(merged, fault);
}
