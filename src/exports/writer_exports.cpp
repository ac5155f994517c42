// The writing exports: MP4FileNew, CreateTrack, AddVideoFrame, AddAudioFrame.
#include "atom/status.h"
#include "ornivex.h"
#include "platform/report.h"
#include "writer/writer.h"

namespace {

int32_t Result(Status status) {
  return Ok(status) ? 1 : -99;
}

}  // namespace

extern "C" ORNIVEX_API int32_t ORNIVEX_CALL MP4FileNew(MP4_local_file** file, const char* path) {
  if (file == nullptr) {
    DebugReport("Can not create new file in MP4FileNew(...) \n");  // nowhere to hand it out
    return -99;
  }
  return Result(NewWriterFile(path, file));
}

extern "C" ORNIVEX_API int32_t ORNIVEX_CALL
CreateTrack(MP4_local_file* file, int32_t trackType, uint32_t width, uint32_t height,
            uint32_t timeIncrementResolution, uint32_t timeScale, uint32_t profileLevel,
            uint32_t audioProfile, uint32_t channelConfig, uint32_t sampleRate,
            uint32_t decoderConfigLength, const unsigned char* decoderConfig,
            const char* tempFileName, uint32_t codec) {
  // the three 16-bit values come in the low halves of their slots
  const TrackParams params{trackType,
                           static_cast<uint16_t>(width),
                           static_cast<uint16_t>(height),
                           static_cast<uint16_t>(timeIncrementResolution),
                           timeScale,
                           profileLevel,
                           audioProfile,
                           channelConfig,
                           sampleRate,
                           decoderConfigLength,
                           decoderConfig,
                           tempFileName,
                           codec};
  return Result(CreateWriterTrack(file, params));
}

extern "C" ORNIVEX_API int32_t ORNIVEX_CALL AddVideoFrame(MP4_local_file* file, uint32_t size,
                                                          const unsigned char* data,
                                                          uint32_t timeStamp, int32_t keyFrame) {
  return Result(AppendVideoFrame(file, size, data, timeStamp, keyFrame));
}

extern "C" ORNIVEX_API int32_t ORNIVEX_CALL AddAudioFrame(MP4_local_file* file, uint32_t size,
                                                          const unsigned char* data,
                                                          uint32_t timeStamp) {
  return Result(AppendAudioFrame(file, size, data, timeStamp));
}
