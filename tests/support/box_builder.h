// Builds MP4 atoms, and whole files, as bytes for the tests.
#ifndef ORNIVEX_TESTS_BOX_BUILDER_H
#define ORNIVEX_TESTS_BOX_BUILDER_H

#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace box {

using Bytes = std::vector<uint8_t>;

inline Bytes Cat(const std::vector<Bytes>& parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}
// Each of `values` as `width` bytes, most significant first.
inline Bytes Be(int width, const std::vector<uint64_t>& values) {
  Bytes out;
  for (uint64_t v : values)
    for (int shift = 8 * (width - 1); shift >= 0; shift -= 8) out.push_back(uint8_t(v >> shift));
  return out;
}
inline Bytes U32(uint32_t v) {
  return Be(4, {v});
}
inline Bytes Zeros(size_t n) {
  return Bytes(n, 0);
}
inline Bytes Str(const std::string& s) {  // the characters, no terminator
  return Bytes(s.begin(), s.end());
}
// Bytes written as hex digits; blanks between them are ignored.
inline Bytes Hex(const char* digits) {
  Bytes out;
  for (int n = 0, v = 0; *digits != '\0'; ++digits) {
    if (*digits == ' ') continue;
    v = v * 16 + (*digits <= '9' ? *digits - '0' : (*digits | 0x20) - 'a' + 10);
    if (++n % 2 == 0) out.push_back(uint8_t(v)), v = 0;
  }
  return out;
}

// An atom whose size field counts its header and parts, or is `size`.
inline Bytes AtomSized(uint32_t size, const char* type, const std::vector<Bytes>& parts = {}) {
  return Cat({U32(size), Bytes(type, type + 4), Cat(parts)});
}
inline Bytes Atom(const char* type, const std::vector<Bytes>& parts = {}) {
  return AtomSized(uint32_t(Cat(parts).size() + 8), type, parts);
}
// Version and flags of a full atom.
inline Bytes Full(uint8_t version, uint32_t flags) {
  return U32((uint32_t(version) << 24) | flags);
}
// Containers nested by the '/'-separated `path`, around `inner`.
inline Bytes Nest(const std::string& path, const std::vector<Bytes>& inner) {
  const size_t last = path.rfind('/');
  if (last == std::string::npos) return Atom(path.c_str(), inner);
  return Nest(path.substr(0, last), {Atom(path.c_str() + last + 1, inner)});
}

inline Bytes Ftyp() {
  return Atom("ftyp", {Str("isom"), U32(512), Str("isom"), Str("mp41")});
}
inline Bytes Mvhd(uint32_t timescale, uint32_t duration) {
  return Atom("mvhd", {Full(0, 0), Be(4, {0, 0, timescale, duration, 0x10000}), Be(2, {0x100}),
                       Zeros(70), U32(3)});
}
inline Bytes Iods() {
  return Atom("iods", {Full(0, 0), Bytes{0x10, 0x07, 0x00, 0x4F, 0xFF, 0xFF, 0x0F, 0x01, 0xFF}});
}
// Version 1 widens the times and the duration to 64 bits.
inline Bytes Tkhd(uint32_t track_id, uint16_t width = 0, uint16_t height = 0, uint8_t version = 0) {
  const int w = version == 1 ? 8 : 4;
  return Atom("tkhd", {Full(version, 3), Be(w, {0, 0}), Be(4, {track_id, 0}), Be(w, {1000}),
                       Zeros(52), Be(4, {uint32_t(width) << 16, uint32_t(height) << 16})});
}
inline Bytes Mdhd(uint32_t timescale, uint32_t duration, uint8_t version = 0) {
  const int w = version == 1 ? 8 : 4;
  return Atom("mdhd", {Full(version, 0), Be(w, {0, 0}), U32(timescale), Be(w, {duration}),
                       Be(2, {0x55C4, 0})});
}
// A table atom: its entry count, then rows of fields.
template <size_t N>
Bytes Table(const char* type, const std::vector<std::array<uint32_t, N>>& rows) {
  std::vector<uint64_t> v;
  for (const auto& r : rows) v.insert(v.end(), r.begin(), r.end());
  return Atom(type, {Full(0, 0), U32(uint32_t(rows.size())), Be(4, v)});
}
inline Bytes Stts(const std::vector<std::array<uint32_t, 2>>& runs) {  // count, delta
  return Table("stts", runs);
}
inline Bytes Stsc(const std::vector<std::array<uint32_t, 3>>& runs) {
  return Table("stsc", runs);
}
inline Bytes Stco(const std::vector<uint32_t>& v) {  // chunk offsets
  return Atom("stco", {Full(0, 0), U32(uint32_t(v.size())), Be(4, {v.begin(), v.end()})});
}
inline Bytes Stss(const std::vector<uint32_t>& v) {  // sync samples
  return Atom("stss", {Full(0, 0), U32(uint32_t(v.size())), Be(4, {v.begin(), v.end()})});
}
inline Bytes Stsz(uint32_t constant_size, uint32_t count, const std::vector<uint32_t>& sizes = {}) {
  return Atom("stsz",
              {Full(0, 0), U32(constant_size), U32(count), Be(4, {sizes.begin(), sizes.end()})});
}
// An esds of the layout the library writes, around a decoder-specific info:
// ES, DecoderConfig and DecoderSpecificInfo descriptors with 4-byte lengths.
inline Bytes Esds(uint8_t object_type, uint8_t stream_type, const Bytes& dsi,
                  uint32_t max_rate = 200000, uint32_t avg_rate = 100000) {
  const uint8_t l = uint8_t(dsi.size());
  return Atom("esds", {Full(0, 0), Bytes{0x03, 0x80, 0x80, 0x80, uint8_t(l + 29), 0, 1, 0},
                       Bytes{0x04, 0x80, 0x80, 0x80, uint8_t(l + 18), object_type, stream_type},
                       Bytes{0, 0x28, 0xFE}, Be(4, {max_rate, avg_rate}),
                       Bytes{0x05, 0x80, 0x80, 0x80, l}, dsi, Bytes{0x06, 0x01, 0x02}});
}
inline Bytes Mp4v(uint16_t width, uint16_t height, const Bytes& esds) {
  return Atom("mp4v",
              {Zeros(6), Be(2, {1}), Zeros(16), Be(2, {width, height}),
               Be(4, {0x480000, 0x480000, 0}), Be(2, {1}), Zeros(32), Be(2, {24, 0xFFFF}), esds});
}
inline Bytes Mp4a(uint16_t channels, uint32_t sample_rate, const Bytes& esds) {
  return Atom("mp4a", {Zeros(6), Be(2, {1}), Zeros(8), Be(2, {channels, 16}),
                       Be(4, {0, sample_rate << 16}), esds});
}
inline Bytes Stsd(const Bytes& entry) {
  return Atom("stsd", {Full(0, 0), U32(1), entry});
}
// A track from its parts; `stbl_tables` follow the stsd inside stbl.
inline Bytes Trak(const Bytes& tkhd, const Bytes& mdhd, const char* handler, const Bytes& stsd,
                  const std::vector<Bytes>& stbl_tables) {
  const Bytes media_header = std::strncmp(handler, "vide", 4) == 0
                                 ? Atom("vmhd", {Full(0, 1), Zeros(8)})
                                 : Atom("smhd", {Full(0, 0), Zeros(4)});
  const Bytes hdlr = Atom(
      "hdlr", {Full(0, 0), U32(0), Bytes(handler, handler + 4), Zeros(12), Str("Test"), Bytes{0}});
  const Bytes dinf = Nest("dinf/dref", {Full(0, 0), U32(1), Atom("url ", {Full(0, 1)})});
  const Bytes stbl = Atom("stbl", {stsd, Cat(stbl_tables)});
  return Atom("trak", {tkhd, Atom("mdia", {mdhd, hdlr, Atom("minf", {media_header, dinf, stbl})})});
}

// A track with a small sample entry of its handler, "vide" or "soun", and `stbl_tables`.
inline Bytes SimpleTrak(const char* handler, const std::vector<Bytes>& stbl_tables,
                        uint32_t id = 1) {
  const Bytes entry = std::strncmp(handler, "vide", 4) == 0
                          ? Mp4v(176, 144, Esds(0x20, 0x11, {}))
                          : Mp4a(2, 44100, Esds(0x40, 0x15, Str("\x12\x10")));
  return Trak(Tkhd(id, 176, 144), Mdhd(1000, 0), handler, Stsd(entry), stbl_tables);
}
// ftyp, an mdat of `mdat_size` zeros, then moov with mvhd, iods and `moov_children`.
inline Bytes Movie(const std::vector<Bytes>& moov_children, size_t mdat_size = 64) {
  return Cat({Ftyp(), Atom("mdat", {Zeros(mdat_size)}),
              Atom("moov", {Mvhd(1000, 0), Iods(), Cat(moov_children)})});
}

// An ADTS frame of AAC LC around `payload`, at sampling frequency index
// `rate_index`: `crc` puts two CRC bytes after the header, `blocks` raw data
// blocks are declared, and `length`, unless -1, is the frame_length written.
inline Bytes Adts(const Bytes& payload, uint32_t rate_index = 4, uint32_t channels = 2,
                  bool crc = false, uint32_t blocks = 1, int length = -1) {
  const uint32_t n = length >= 0 ? uint32_t(length) : uint32_t(payload.size() + (crc ? 9 : 7));
  return Cat({{0xFF, uint8_t(crc ? 0xF0 : 0xF1), uint8_t(1 << 6 | rate_index << 2 | channels >> 2),
               uint8_t((channels & 3) << 6 | n >> 11), uint8_t(n >> 3),
               uint8_t((n & 7) << 5 | 0x1F), uint8_t(0xFC | (blocks - 1))},
              Bytes(crc ? 2 : 0, 0xAB),
              payload});
}
// An MPEG-4 Visual VOP of `size` bytes (5 or more): intra coded (a key
// frame) or predicted.
inline Bytes Vop(bool intra, size_t size) {
  return Cat({{0, 0, 1, 0xB6, uint8_t(intra ? 0x10 : 0x50)}, Bytes(size - 5, 0x40)});
}

}  // namespace box

// Whole MP4 files: ftyp, mdat with the samples, then moov with one trak per
// track whose chunk offsets point into the mdat.
struct TrackPlan {
  uint32_t id = 1;
  std::string handler = "vide";  // any other than "vide" is built as audio
  std::vector<uint32_t> sizes;   // one per sample
  std::vector<uint32_t> stss;    // video only
  std::vector<uint32_t> chunks;  // samples per chunk
  box::Bytes esds;
  bool constant_size = false;    // stsz with one size for all
  std::vector<box::Bytes> data;  // the samples' bytes; empty: SampleBytes of `sizes`
};

// The bytes of sample `index` of track `id`, as the builder stores them.
inline box::Bytes SampleBytes(uint32_t id, uint32_t index, uint32_t size) {
  box::Bytes b(size);
  for (uint32_t j = 0; j < size; ++j) b[j] = uint8_t(id * 31 + index * 7 + j);
  return b;
}

// A video track (sync samples `stss`) and an audio track with `n` samples
// of varied sizes in one chunk and a small esds.
inline TrackPlan VideoPlan(uint32_t id, uint32_t n, const std::vector<uint32_t>& stss = {1}) {
  TrackPlan t{id, "vide", {}, stss, {n}, box::Esds(0x20, 0x11, {0, 0, 1, 0xB0, 1}), false, {}};
  for (uint32_t i = 0; i < n; ++i) t.sizes.push_back(20 + (i * 13) % 50);
  return t;
}
inline TrackPlan AudioPlan(uint32_t id, uint32_t n) {
  TrackPlan t{id, "soun", {}, {}, {n}, box::Esds(0x40, 0x15, {0x12, 0x10}), false, {}};
  for (uint32_t i = 0; i < n; ++i) t.sizes.push_back(10 + (i * 5) % 17);
  return t;
}

// The movie; `offsets`, when given, receives each track's sample offsets.
// Video has 100 ticks a sample at 1000 a second, audio 1024 at 44100.
inline box::Bytes BuildMovie(std::vector<TrackPlan> tracks,
                             std::vector<std::vector<uint32_t>>* offsets_out = nullptr) {
  using namespace box;
  for (TrackPlan& p : tracks)
    if (!p.data.empty()) {
      p.sizes.clear();
      for (const Bytes& d : p.data) p.sizes.push_back(uint32_t(d.size()));
    }
  std::vector<std::vector<uint32_t>> chunk_offsets(tracks.size()), offsets(tracks.size());
  Bytes media;
  const uint32_t media_start = uint32_t(Ftyp().size() + 8);
  // Chunks interleaved track by track, in the order of their chunk lists.
  for (size_t c = 0, more = 1; more; ++c) {
    more = 0;
    for (size_t t = 0; t < tracks.size(); ++t) {
      const TrackPlan& p = tracks[t];
      if (c >= p.chunks.size()) continue;
      more = 1;
      chunk_offsets[t].push_back(media_start + uint32_t(media.size()));
      for (uint32_t s = 0; s < p.chunks[c] && offsets[t].size() < p.sizes.size(); ++s) {
        const uint32_t i = uint32_t(offsets[t].size());
        offsets[t].push_back(media_start + uint32_t(media.size()));
        media = Cat({media, p.data.empty() ? SampleBytes(p.id, i, p.sizes[i]) : p.data[i]});
      }
    }
  }
  std::vector<Bytes> moov = {Mvhd(1000, 1000), Iods()};
  for (size_t t = 0; t < tracks.size(); ++t) {
    const TrackPlan& p = tracks[t];
    const uint32_t n = uint32_t(p.sizes.size());
    const bool video = p.handler == "vide";
    // consecutive chunks with the same sample count share one stsc run
    std::vector<std::array<uint32_t, 3>> runs;
    for (uint32_t c = 0; c < p.chunks.size(); ++c)
      if (runs.empty() || runs.back()[1] != p.chunks[c]) runs.push_back({c + 1, p.chunks[c], 1});
    moov.push_back(
        Trak(Tkhd(p.id, 176, 144), Mdhd(video ? 1000 : 44100, n * 100), p.handler.c_str(),
             Stsd(video ? Mp4v(176, 144, p.esds) : Mp4a(2, 44100, p.esds)),
             {Stts({{n, video ? 100u : 1024u}}), video ? Stss(p.stss) : Bytes{}, Stsc(runs),
              p.constant_size ? Stsz(n == 0 ? 0 : p.sizes[0], n) : Stsz(0, n, p.sizes),
              Stco(chunk_offsets[t])}));
  }
  if (offsets_out != nullptr) *offsets_out = offsets;
  return Cat({Ftyp(), Atom("mdat", {media}), Atom("moov", moov)});
}

#endif  // ORNIVEX_TESTS_BOX_BUILDER_H
