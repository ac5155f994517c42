// MD5 of a byte run, as hex: ffprobe's packet hashes are compared with it.
#ifndef ORNIVEX_TESTS_MD5_H
#define ORNIVEX_TESTS_MD5_H

#include <cstddef>
#include <cstdint>
#include <string>

std::string Md5Hex(const uint8_t* data, size_t size);

#endif  // ORNIVEX_TESTS_MD5_H
