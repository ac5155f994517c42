// Builds MP4 atoms as bytes for the tests.
#ifndef ORNIVEX_TESTS_BOX_BUILDER_H
#define ORNIVEX_TESTS_BOX_BUILDER_H

#include <array>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

namespace box {

using Bytes = std::vector<uint8_t>;

Bytes U8(uint8_t v);
Bytes U16(uint16_t v);
Bytes U32(uint32_t v);
Bytes U64(uint64_t v);
Bytes Zeros(size_t n);
Bytes Str(const std::string& s);  // the characters, no terminator
Bytes Cat(std::initializer_list<Bytes> parts);
Bytes Cat(const std::vector<Bytes>& parts);

// An atom whose size field counts its header and parts.
Bytes Atom(const char* type, std::initializer_list<Bytes> parts = {});
Bytes Atom(const char* type, const std::vector<Bytes>& parts);
// An atom with a size field of the caller's choice.
Bytes AtomSized(uint32_t size, const char* type, std::initializer_list<Bytes> parts = {});
// Version and flags of a full atom.
Bytes Full(uint8_t version, uint32_t flags);

Bytes Ftyp();
Bytes Mvhd(uint32_t timescale, uint32_t duration);
Bytes Iods();
Bytes Tkhd(uint32_t track_id, uint16_t width = 0, uint16_t height = 0, uint8_t version = 0);
Bytes Mdhd(uint32_t timescale, uint32_t duration, uint8_t version = 0);
Bytes Hdlr(const char* handler);
Bytes Dinf();
Bytes Stts(const std::vector<std::pair<uint32_t, uint32_t>>& runs);
Bytes Stsc(const std::vector<std::array<uint32_t, 3>>& runs);
Bytes Stco(const std::vector<uint32_t>& offsets);
Bytes Stss(const std::vector<uint32_t>& samples);
Bytes Stsz(uint32_t constant_size, uint32_t count, const std::vector<uint32_t>& sizes = {});
// An esds of the layout the library writes, around a decoder-specific info.
Bytes Esds(uint8_t object_type, uint8_t stream_type, const Bytes& dsi);
Bytes Mp4v(uint16_t width, uint16_t height, const Bytes& esds);
Bytes Mp4a(uint16_t channels, uint32_t sample_rate, const Bytes& esds);
Bytes Stsd(const Bytes& entry);

// A track from its parts; `stbl_tables` follow the stsd inside stbl.
Bytes Trak(const Bytes& tkhd, const Bytes& mdhd, const char* handler, const Bytes& stsd,
           const std::vector<Bytes>& stbl_tables);

}  // namespace box

#endif  // ORNIVEX_TESTS_BOX_BUILDER_H
