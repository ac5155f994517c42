// Builds MP4 atoms, and whole files, as bytes for the tests.
#ifndef ORNIVEX_TESTS_BOX_BUILDER_H
#define ORNIVEX_TESTS_BOX_BUILDER_H

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace box {

using Bytes = std::vector<uint8_t>;

Bytes U32(uint32_t v);
Bytes U64(uint64_t v);
Bytes Zeros(size_t n);
Bytes Str(const std::string& s);  // the characters, no terminator
Bytes Cat(const std::vector<Bytes>& parts);

// An atom whose size field counts its header and parts.
Bytes Atom(const char* type, const std::vector<Bytes>& parts = {});
// An atom with a size field of the caller's choice.
Bytes AtomSized(uint32_t size, const char* type, const std::vector<Bytes>& parts = {});
// Version and flags of a full atom.
Bytes Full(uint8_t version, uint32_t flags);
// Containers nested by the '/'-separated `path`, around `inner`.
Bytes Nest(const std::string& path, const std::vector<Bytes>& inner);

Bytes Ftyp();
Bytes Mvhd(uint32_t timescale, uint32_t duration);
Bytes Iods();
Bytes Tkhd(uint32_t track_id, uint16_t width = 0, uint16_t height = 0, uint8_t version = 0);
Bytes Mdhd(uint32_t timescale, uint32_t duration, uint8_t version = 0);
Bytes Stts(const std::vector<std::array<uint32_t, 2>>& runs);  // count, delta
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

// Whole MP4 files: ftyp, mdat with the samples, then moov with one trak per
// track whose chunk offsets point into the mdat.
struct TrackPlan {
  uint32_t id = 1;
  std::string handler = "vide";
  std::vector<uint32_t> sizes;   // one per sample
  uint32_t delta = 100;          // ticks per sample
  std::vector<uint32_t> stss;    // video only
  std::vector<uint32_t> chunks;  // samples per chunk; default one chunk
  bool constant_size = false;    // stsz with one size for all
  uint32_t timescale = 1000;
  uint16_t width = 176;
  box::Bytes esds;  // default: a small one
};

// The bytes of sample `index` of track `id`, as the builder stores them.
box::Bytes SampleBytes(uint32_t id, uint32_t index, uint32_t size);

// The movie; `offsets`, when given, receives each track's sample offsets.
box::Bytes BuildMovie(const std::vector<TrackPlan>& tracks,
                      std::vector<std::vector<uint32_t>>* offsets = nullptr);

// A video track (sync sample 1) and an audio track with `n` samples of varied sizes.
TrackPlan VideoPlan(uint32_t id, uint32_t n);
TrackPlan AudioPlan(uint32_t id, uint32_t n);

#endif  // ORNIVEX_TESTS_BOX_BUILDER_H
