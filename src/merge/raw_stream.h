// Opening and measuring the raw stream file of a merge.
#ifndef ORNIVEX_MERGE_RAW_STREAM_H
#define ORNIVEX_MERGE_RAW_STREAM_H

#include <cstdint>
#include <cstdio>

// Opens `path` for binary reading and reads its first `count` bytes into
// `head` (*got of them could be read) and its length; the file is closed
// again. False when it cannot be opened or measured.
bool ReadStreamHead(const char* path, unsigned char* head, size_t count, size_t* got,
                    uint64_t* length);

// Opens the stream again for its frames; null, after a message, when that
// fails.
FILE* ReopenStream(const char* path);

#endif  // ORNIVEX_MERGE_RAW_STREAM_H
