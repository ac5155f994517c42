// What the fuzz targets share: the input bytes as a file the library can
// open, and standard output silenced (the library reports on it).
#ifndef ORNIVEX_FUZZ_FUZZ_INPUT_H
#define ORNIVEX_FUZZ_FUZZ_INPUT_H

#include <cstddef>
#include <cstdint>
#include <string>

// Writes the bytes to this process's scratch file and gives its path.
std::string InputFile(const uint8_t* data, size_t size, const char* suffix);
// Sends the library's reports to nowhere.
void SilenceStdout();

#endif  // ORNIVEX_FUZZ_FUZZ_INPUT_H
