// GetFileInfo: a summary of a file's streams in 24 words.
#ifndef ORNIVEX_SERIALISE_FILE_INFO_H
#define ORNIVEX_SERIALISE_FILE_INFO_H

#include "atom/status.h"
#include "ornivex.h"

// Opens the file at `path`, fills `info` (zeroed first) and closes the file
// again; kFailed when it is no MP4 file the library can open.
Status DescribeFile(const char* path, FileInfo* info);

#endif  // ORNIVEX_SERIALISE_FILE_INFO_H
