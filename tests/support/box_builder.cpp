#include "support/box_builder.h"

#include <cstring>

namespace box {

Bytes U8(uint8_t v) {
  return {v};
}
Bytes U16(uint16_t v) {
  return {uint8_t(v >> 8), uint8_t(v)};
}
Bytes U32(uint32_t v) {
  return {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)};
}
Bytes U64(uint64_t v) {
  return Cat({U32(uint32_t(v >> 32)), U32(uint32_t(v))});
}
Bytes Zeros(size_t n) {
  return Bytes(n, 0);
}
Bytes Str(const std::string& s) {
  return Bytes(s.begin(), s.end());
}

Bytes Cat(std::initializer_list<Bytes> parts) {
  return Cat(std::vector<Bytes>(parts));
}

Bytes Cat(const std::vector<Bytes>& parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

Bytes Atom(const char* type, const std::vector<Bytes>& parts) {
  const Bytes body = Cat(parts);
  Bytes out = U32(uint32_t(body.size() + 8));
  out.insert(out.end(), type, type + 4);
  out.insert(out.end(), body.begin(), body.end());
  return out;
}

Bytes Atom(const char* type, std::initializer_list<Bytes> parts) {
  return Atom(type, std::vector<Bytes>(parts));
}

Bytes AtomSized(uint32_t size, const char* type, std::initializer_list<Bytes> parts) {
  Bytes out = Atom(type, parts);
  const Bytes s = U32(size);
  std::memcpy(out.data(), s.data(), 4);
  return out;
}

Bytes Full(uint8_t version, uint32_t flags) {
  return U32((uint32_t(version) << 24) | flags);
}

Bytes Ftyp() {
  return Atom("ftyp", {Str("isom"), U32(512), Str("isom"), Str("mp41")});
}

Bytes Mvhd(uint32_t timescale, uint32_t duration) {
  return Atom("mvhd", {Full(0, 0), U32(0), U32(0), U32(timescale), U32(duration), U32(0x10000),
                       U16(0x100), Zeros(10), Zeros(36), Zeros(24), U32(3)});
}

Bytes Iods() {
  return Atom("iods", {Full(0, 0), U8(0x10), U8(0x07), U16(0x004F), Str("\xFF\xFF\x0F\x01\xFF")});
}

Bytes Tkhd(uint32_t track_id, uint16_t width, uint16_t height, uint8_t version) {
  if (version == 1)
    return Atom("tkhd", {Full(1, 3), U64(0), U64(0), U32(track_id), U32(0), U64(1000), Zeros(8),
                         U16(0), U16(0), U16(0), U16(0), Zeros(36), U32(uint32_t(width) << 16),
                         U32(uint32_t(height) << 16)});
  return Atom("tkhd", {Full(0, 3), U32(0), U32(0), U32(track_id), U32(0), U32(1000), Zeros(8),
                       U16(0), U16(0), U16(0), U16(0), Zeros(36), U32(uint32_t(width) << 16),
                       U32(uint32_t(height) << 16)});
}

Bytes Mdhd(uint32_t timescale, uint32_t duration, uint8_t version) {
  if (version == 1)
    return Atom("mdhd",
                {Full(1, 0), U64(0), U64(0), U32(timescale), U64(duration), U16(0x55C4), U16(0)});
  return Atom("mdhd",
              {Full(0, 0), U32(0), U32(0), U32(timescale), U32(duration), U16(0x55C4), U16(0)});
}

Bytes Hdlr(const char* handler) {
  return Atom("hdlr",
              {Full(0, 0), U32(0), Str(std::string(handler, 4)), Zeros(12), Str("Test"), U8(0)});
}

Bytes Dinf() {
  return Atom("dinf", {Atom("dref", {Full(0, 0), U32(1), Atom("url ", {Full(0, 1)})})});
}

Bytes Stts(const std::vector<std::pair<uint32_t, uint32_t>>& runs) {
  std::vector<Bytes> parts = {Full(0, 0), U32(uint32_t(runs.size()))};
  for (const auto& r : runs) parts.push_back(Cat({U32(r.first), U32(r.second)}));
  return Atom("stts", parts);
}

Bytes Stsc(const std::vector<std::array<uint32_t, 3>>& runs) {
  std::vector<Bytes> parts = {Full(0, 0), U32(uint32_t(runs.size()))};
  for (const auto& r : runs) parts.push_back(Cat({U32(r[0]), U32(r[1]), U32(r[2])}));
  return Atom("stsc", parts);
}

Bytes Stco(const std::vector<uint32_t>& offsets) {
  std::vector<Bytes> parts = {Full(0, 0), U32(uint32_t(offsets.size()))};
  for (uint32_t o : offsets) parts.push_back(U32(o));
  return Atom("stco", parts);
}

Bytes Stss(const std::vector<uint32_t>& samples) {
  std::vector<Bytes> parts = {Full(0, 0), U32(uint32_t(samples.size()))};
  for (uint32_t s : samples) parts.push_back(U32(s));
  return Atom("stss", parts);
}

Bytes Stsz(uint32_t constant_size, uint32_t count, const std::vector<uint32_t>& sizes) {
  std::vector<Bytes> parts = {Full(0, 0), U32(constant_size), U32(count)};
  for (uint32_t s : sizes) parts.push_back(U32(s));
  return Atom("stsz", parts);
}

Bytes Esds(uint8_t object_type, uint8_t stream_type, const Bytes& dsi) {
  const uint8_t l = uint8_t(dsi.size());
  return Atom("esds", {Full(0, 0), Str("\x03\x80\x80\x80"), U8(uint8_t(l + 29)), U16(1), U8(0),
                       Str("\x04\x80\x80\x80"), U8(uint8_t(l + 18)), U8(object_type),
                       U8(stream_type), U8(0), U16(0x28FE), U32(200000), U32(100000),
                       Str("\x05\x80\x80\x80"), U8(l), dsi, Str("\x06\x01\x02")});
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
  const bool video = std::strncmp(handler, "vide", 4) == 0;
  const Bytes media_header =
      video ? Atom("vmhd", {Full(0, 1), Zeros(8)}) : Atom("smhd", {Full(0, 0), Zeros(4)});
  return Atom("trak",
              {tkhd, Atom("mdia", {mdhd, Hdlr(handler),
                                   Atom("minf", {media_header, Dinf(), Atom("stbl", stbl)})})});
}

}  // namespace box
