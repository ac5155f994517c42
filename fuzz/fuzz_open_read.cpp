// Opens the input as an MP4 file and reads everything the calls can reach:
// every sample of every readable track, the key frames both ways, reads by
// time, and the decoder configuration.
#include <cstdint>

#include "atom/records.h"
#include "fuzz_input.h"
#include "ornivex.h"

namespace {

void ReadTrack(MP4_input_file* file, uint32_t id) {
  unsigned char* data = nullptr;
  uint32_t size = 0, time = 0;
  while (MP4GetNextSample(file, id, &data, &size, &time) == 1) MP4freeData(&data);
  for (int32_t t : {-1, 0, 1, 12345, 0x7FFFFFFF}) {
    if (GetSample(file, id, t, &data, &size) >= 0) MP4freeData(&data);
    if (SeekTrack(file, id, t, &data, &size) >= 0) MP4freeData(&data);
  }
  GoToBeginOfKeyFrame(file, id);
  while (MP4NextKeyFrame(file, id, &data, &size) == 1) MP4freeData(&data);
  while (MP4PrevKeyFrame(file, id, &data, &size) == 1) MP4freeData(&data);
  GoToEndOfKeyFrame(file, id);
  while (MP4PrevKeyFrame(file, id, &data, &size) == 1) MP4freeData(&data);
  if (MP4NextKeyFrame(file, id, &data, &size) == 1) MP4freeData(&data);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  SilenceStdout();
  const std::string path = InputFile(data, size, ".mp4");
  MP4_input_file* file = nullptr;
  if (MP4FileOpen(&file, path.c_str()) == 1) {
    for (uint32_t id = 0; id < kMaxTrackId; ++id)
      if (file->tracks[id] != nullptr) ReadTrack(file, id);
    unsigned char out[ORNIVEX_ESDS_DATA_MAX];
    uint32_t width = 0, height = 0, length = 0;
    GetM4vEsdsData(file, out, &width, &height, &length);
    GetM4aEsdsData(file, out, &length);
  }
  MP4FileClose(&file);
  return 0;
}
