#include "support/box_builder.h"

#include <cstring>

namespace box {

static Bytes U16(uint16_t v) {
  return {uint8_t(v >> 8), uint8_t(v)};
}
Bytes U32(uint32_t v) {
  return {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)};
}
static Bytes U32s(const std::vector<uint32_t>& values) {  // each as U32
  Bytes out;
  for (uint32_t v : values)
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(uint8_t(v >> shift));
  return out;
}
Bytes U64(uint64_t v) {
  return U32s({uint32_t(v >> 32), uint32_t(v)});
}
Bytes Zeros(size_t n) {
  return Bytes(n, 0);
}
Bytes Str(const std::string& s) {
  return Bytes(s.begin(), s.end());
}

Bytes Cat(const std::vector<Bytes>& parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

Bytes Atom(const char* type, const std::vector<Bytes>& parts) {
  const Bytes body = Cat(parts);
  return Cat({U32(uint32_t(body.size() + 8)), Bytes(type, type + 4), body});
}

Bytes AtomSized(uint32_t size, const char* type, const std::vector<Bytes>& parts) {
  Bytes out = Atom(type, parts);
  std::memcpy(out.data(), U32(size).data(), 4);
  return out;
}

Bytes Full(uint8_t version, uint32_t flags) {
  return U32((uint32_t(version) << 24) | flags);
}

Bytes Nest(const std::string& path, const std::vector<Bytes>& inner) {
  const size_t last = path.rfind('/');
  if (last == std::string::npos) return Atom(path.c_str(), inner);
  return Nest(path.substr(0, last), {Atom(path.c_str() + last + 1, inner)});
}

Bytes Ftyp() {
  return Atom("ftyp", {Str("isom"), U32(512), Str("isom"), Str("mp41")});
}

Bytes Mvhd(uint32_t timescale, uint32_t duration) {
  return Atom("mvhd", {Full(0, 0), U32(0), U32(0), U32(timescale), U32(duration), U32(0x10000),
                       U16(0x100), Zeros(70), U32(3)});
}

Bytes Iods() {
  return Atom("iods", {Full(0, 0), Bytes{0x10, 0x07, 0x00, 0x4F, 0xFF, 0xFF, 0x0F, 0x01, 0xFF}});
}

// Version 1 widens the times and the duration to 64 bits.
Bytes Tkhd(uint32_t track_id, uint16_t width, uint16_t height, uint8_t version) {
  const Bytes time = version == 1 ? U64(0) : U32(0);
  return Atom("tkhd", {Full(version, 3), time, time, U32(track_id), U32(0),
                       version == 1 ? U64(1000) : U32(1000), Zeros(52), U32(uint32_t(width) << 16),
                       U32(uint32_t(height) << 16)});
}

Bytes Mdhd(uint32_t timescale, uint32_t duration, uint8_t version) {
  const Bytes time = version == 1 ? U64(0) : U32(0);
  return Atom("mdhd", {Full(version, 0), time, time, U32(timescale),
                       version == 1 ? U64(duration) : U32(duration), U16(0x55C4), U16(0)});
}

namespace {

// A table atom of rows of N fields each.
template <size_t N>
Bytes Rows(const char* type, const std::vector<std::array<uint32_t, N>>& rows) {
  std::vector<uint32_t> v;
  for (const auto& r : rows) v.insert(v.end(), r.begin(), r.end());
  return Atom(type, {Full(0, 0), U32(uint32_t(rows.size())), U32s(v)});
}

}  // namespace

Bytes Stts(const std::vector<std::array<uint32_t, 2>>& runs) {
  return Rows("stts", runs);
}

Bytes Stsc(const std::vector<std::array<uint32_t, 3>>& runs) {
  return Rows("stsc", runs);
}

Bytes Stco(const std::vector<uint32_t>& offsets) {
  return Atom("stco", {Full(0, 0), U32(uint32_t(offsets.size())), U32s(offsets)});
}

Bytes Stss(const std::vector<uint32_t>& samples) {
  return Atom("stss", {Full(0, 0), U32(uint32_t(samples.size())), U32s(samples)});
}

Bytes Stsz(uint32_t constant_size, uint32_t count, const std::vector<uint32_t>& sizes) {
  return Atom("stsz", {Full(0, 0), U32(constant_size), U32(count), U32s(sizes)});
}

// ES, DecoderConfig and DecoderSpecificInfo descriptors with 4-byte lengths.
Bytes Esds(uint8_t object_type, uint8_t stream_type, const Bytes& dsi) {
  const uint8_t l = uint8_t(dsi.size());
  return Atom("esds", {Full(0, 0), Bytes{0x03, 0x80, 0x80, 0x80, uint8_t(l + 29), 0, 1, 0},
                       Bytes{0x04, 0x80, 0x80, 0x80, uint8_t(l + 18), object_type, stream_type},
                       Bytes{0, 0x28, 0xFE}, U32(200000), U32(100000),
                       Bytes{0x05, 0x80, 0x80, 0x80, l}, dsi, Bytes{0x06, 0x01, 0x02}});
}

Bytes Mp4v(uint16_t width, uint16_t height, const Bytes& esds) {
  return Atom("mp4v", {Zeros(6), U16(1), Zeros(16), U16(width), U16(height), U32(0x480000),
                       U32(0x480000), U32(0), U16(1), Zeros(32), U16(24), U16(0xFFFF), esds});
}

Bytes Mp4a(uint16_t channels, uint32_t sample_rate, const Bytes& esds) {
  return Atom("mp4a", {Zeros(6), U16(1), Zeros(8), U16(channels), U16(16), U32(0),
                       U32(sample_rate << 16), esds});
}

Bytes Stsd(const Bytes& entry) {
  return Atom("stsd", {Full(0, 0), U32(1), entry});
}

Bytes Trak(const Bytes& tkhd, const Bytes& mdhd, const char* handler, const Bytes& stsd,
           const std::vector<Bytes>& stbl_tables) {
  std::vector<Bytes> stbl = {stsd};
  stbl.insert(stbl.end(), stbl_tables.begin(), stbl_tables.end());
  const Bytes media_header = std::strncmp(handler, "vide", 4) == 0
                                 ? Atom("vmhd", {Full(0, 1), Zeros(8)})
                                 : Atom("smhd", {Full(0, 0), Zeros(4)});
  const Bytes hdlr = Atom(
      "hdlr", {Full(0, 0), U32(0), Bytes(handler, handler + 4), Zeros(12), Str("Test"), Bytes{0}});
  const Bytes dinf = Nest("dinf/dref", {Full(0, 0), U32(1), Atom("url ", {Full(0, 1)})});
  return Atom(
      "trak",
      {tkhd, Atom("mdia", {mdhd, hdlr, Atom("minf", {media_header, dinf, Atom("stbl", stbl)})})});
}

}  // namespace box

using namespace box;

Bytes SampleBytes(uint32_t id, uint32_t index, uint32_t size) {
  Bytes b(size);
  for (uint32_t j = 0; j < size; ++j) b[j] = uint8_t(id * 31 + index * 7 + j);
  return b;
}

TrackPlan VideoPlan(uint32_t id, uint32_t n) {
  TrackPlan t;
  t.id = id;
  for (uint32_t i = 0; i < n; ++i) t.sizes.push_back(20 + (i * 13) % 50);
  t.stss = {1};
  return t;
}

TrackPlan AudioPlan(uint32_t id, uint32_t n) {
  TrackPlan t;
  t.id = id;
  t.handler = "soun";
  t.timescale = 44100;
  for (uint32_t i = 0; i < n; ++i) t.sizes.push_back(10 + (i * 5) % 17);
  t.delta = 1024;
  return t;
}

Bytes BuildMovie(const std::vector<TrackPlan>& tracks,
                 std::vector<std::vector<uint32_t>>* offsets_out) {
  const Bytes ftyp = Ftyp();
  std::vector<std::vector<uint32_t>> chunks(tracks.size()), chunk_offsets(tracks.size()),
      offsets(tracks.size());
  for (size_t t = 0; t < tracks.size(); ++t)
    chunks[t] = tracks[t].chunks.empty() ? std::vector<uint32_t>{uint32_t(tracks[t].sizes.size())}
                                         : tracks[t].chunks;
  // Chunks interleaved track by track, in the order of their chunk lists.
  Bytes media;
  const uint32_t media_start = uint32_t(ftyp.size() + 8);
  std::vector<size_t> next_sample(tracks.size(), 0);
  for (size_t c = 0, more = 1; more; ++c) {
    more = 0;
    for (size_t t = 0; t < tracks.size(); ++t) {
      if (c >= chunks[t].size()) continue;
      more = 1;
      chunk_offsets[t].push_back(media_start + uint32_t(media.size()));
      for (uint32_t s = 0; s < chunks[t][c] && next_sample[t] < tracks[t].sizes.size();
           ++s, ++next_sample[t]) {
        offsets[t].push_back(media_start + uint32_t(media.size()));
        const Bytes b =
            SampleBytes(tracks[t].id, uint32_t(next_sample[t]), tracks[t].sizes[next_sample[t]]);
        media.insert(media.end(), b.begin(), b.end());
      }
    }
  }

  std::vector<Bytes> moov = {Mvhd(1000, 1000), Iods()};
  for (size_t t = 0; t < tracks.size(); ++t) {
    const TrackPlan& s = tracks[t];
    const uint32_t n = uint32_t(s.sizes.size());
    // consecutive chunks with the same sample count share one stsc run
    std::vector<std::array<uint32_t, 3>> runs;
    for (uint32_t c = 0; c < chunks[t].size(); ++c)
      if (runs.empty() || runs.back()[1] != chunks[t][c]) runs.push_back({c + 1, chunks[t][c], 1});
    const bool video = s.handler == "vide";
    std::vector<Bytes> tables = {
        Stts({{n, s.delta}}), Stsc(runs),
        s.constant_size ? Stsz(s.sizes.empty() ? 0 : s.sizes[0], n) : Stsz(0, n, s.sizes),
        Stco(chunk_offsets[t])};
    if (video) tables.insert(tables.begin() + 1, Stss(s.stss));
    const Bytes entry =
        video
            ? Mp4v(s.width, 144,
                   s.esds.empty() ? Esds(0x20, 0x11, Str(std::string("\0\0\1\xB0\1", 5))) : s.esds)
            : Mp4a(2, 44100, s.esds.empty() ? Esds(0x40, 0x15, Str("\x12\x10")) : s.esds);
    moov.push_back(Trak(Tkhd(s.id, s.width, 144), Mdhd(s.timescale, n * 100), s.handler.c_str(),
                        Stsd(entry), tables));
  }
  if (offsets_out != nullptr) *offsets_out = offsets;
  return Cat({ftyp, Atom("mdat", {media}), Atom("moov", moov)});
}
