// GetM4vEsdsData, GetM4aEsdsData, GetFileInfo and GetM4vHeaderSize.
#include <cstring>

#include "ornivex.h"
#include "platform/platform.h"
#include "serialise/esds_query.h"
#include "serialise/file_info.h"
#include "serialise/m4v_header.h"

extern "C" ORNIVEX_API int32_t ORNIVEX_CALL GetM4vEsdsData(MP4_input_file* file, unsigned char* out,
                                                           uint32_t* width, uint32_t* height,
                                                           uint32_t* length) {
  if (out == nullptr) return 0;
  const unsigned char* header = nullptr;
  uint32_t w = 0, h = 0, n = 0;
  const Status found = FindVideoConfig(file, &header, &n, &w, &h);
  if (found == Status::kFailed) return -1;
  if (!Ok(found)) return -99;
  if (n > ORNIVEX_ESDS_DATA_MAX) return -2;
  if (width == nullptr || height == nullptr || length == nullptr) return -99;
  std::memcpy(out, header, n);
  *width = w;
  *height = h;
  *length = n;
  return 1;
}

extern "C" ORNIVEX_API int32_t ORNIVEX_CALL GetM4aEsdsData(MP4_input_file* file, unsigned char* out,
                                                           uint32_t* length) {
  if (out == nullptr) return 0;
  const unsigned char* esds = nullptr;
  uint32_t size = 0;
  const Status found = FindAudioEsds(file, &esds, &size);
  if (found == Status::kFailed || (Ok(found) && size > ORNIVEX_ESDS_DATA_MAX)) return -2;
  if (!Ok(found) || length == nullptr) return -99;
  std::memcpy(out, esds, size);
  *length = size;
  return 1;
}

extern "C" ORNIVEX_API int32_t ORNIVEX_CALL GetFileInfo(const char* path, FileInfo* info) {
  if (!CanReadFileBytes(path)) return -11;
  if (info == nullptr) return -12;
  return Ok(DescribeFile(path, info)) ? 1 : -21;
}

extern "C" ORNIVEX_API int32_t ORNIVEX_CALL GetM4vHeaderSize(const char* path, uint32_t* width,
                                                             uint32_t* height) {
  if (path == nullptr || width == nullptr || height == nullptr) return -1;
  uint32_t length = 0;
  const Status measured = MeasureM4vHeader(path, &length, width, height);
  if (measured == Status::kFailed) return 0;  // no memory
  return Ok(measured) ? static_cast<int32_t>(length) : -1;
}
