#include "support/movie_builder.h"

using namespace box;

Bytes SampleBytes(uint32_t id, uint32_t index, uint32_t size) {
  Bytes b(size);
  for (uint32_t j = 0; j < size; ++j) b[j] = uint8_t(id * 31 + index * 7 + j);
  return b;
}

TrackSpec VideoSpec(uint32_t id, uint32_t n) {
  TrackSpec t;
  t.id = id;
  for (uint32_t i = 0; i < n; ++i) t.sizes.push_back(20 + (i * 13) % 50);
  t.stss = {1};
  return t;
}

TrackSpec AudioSpec(uint32_t id, uint32_t n) {
  TrackSpec t;
  t.id = id;
  t.handler = "soun";
  t.timescale = 44100;
  for (uint32_t i = 0; i < n; ++i) t.sizes.push_back(10 + (i * 5) % 17);
  t.stts = {{n, 1024}};
  return t;
}

namespace {

std::vector<uint32_t> ChunksOf(const TrackSpec& t) {
  if (!t.chunks.empty()) return t.chunks;
  return {uint32_t(t.sizes.size())};
}

// Consecutive chunks with the same sample count share one stsc run.
std::vector<std::array<uint32_t, 3>> StscRuns(const std::vector<uint32_t>& chunks) {
  std::vector<std::array<uint32_t, 3>> runs;
  for (uint32_t c = 0; c < chunks.size(); ++c)
    if (runs.empty() || runs.back()[1] != chunks[c]) runs.push_back({c + 1, chunks[c], 1});
  return runs;
}

Bytes SampleEntry(const TrackSpec& t) {
  if (t.handler == "vide") {
    const Bytes esds =
        t.esds.empty() ? Esds(0x20, 0x11, Str(std::string("\0\0\1\xB0\1", 5))) : t.esds;
    return Mp4v(t.width, t.height, esds);
  }
  const Bytes esds = t.esds.empty() ? Esds(0x40, 0x15, Str("\x12\x10")) : t.esds;
  return Mp4a(2, t.sample_rate, esds);
}

}  // namespace

Bytes BuildMovie(const std::vector<TrackSpec>& tracks,
                 std::vector<std::vector<uint32_t>>* offsets_out) {
  const Bytes ftyp = Ftyp();
  // Chunks interleaved track by track, in the order of their chunk lists.
  std::vector<std::vector<uint32_t>> chunk_offsets(tracks.size());
  std::vector<std::vector<uint32_t>> offsets(tracks.size());
  Bytes media;
  const uint32_t media_start = uint32_t(ftyp.size() + 8);
  std::vector<size_t> next_chunk(tracks.size(), 0), next_sample(tracks.size(), 0);
  for (bool more = true; more;) {
    more = false;
    for (size_t t = 0; t < tracks.size(); ++t) {
      const std::vector<uint32_t> chunks = ChunksOf(tracks[t]);
      if (next_chunk[t] >= chunks.size()) continue;
      more = true;
      chunk_offsets[t].push_back(media_start + uint32_t(media.size()));
      for (uint32_t s = 0; s < chunks[next_chunk[t]] && next_sample[t] < tracks[t].sizes.size();
           ++s, ++next_sample[t]) {
        offsets[t].push_back(media_start + uint32_t(media.size()));
        const Bytes b =
            SampleBytes(tracks[t].id, uint32_t(next_sample[t]), tracks[t].sizes[next_sample[t]]);
        media.insert(media.end(), b.begin(), b.end());
      }
      ++next_chunk[t];
    }
  }

  std::vector<Bytes> moov = {Mvhd(1000, 1000), Iods()};
  for (size_t t = 0; t < tracks.size(); ++t) {
    const TrackSpec& s = tracks[t];
    const uint32_t n = uint32_t(s.sizes.size());
    std::vector<Bytes> tables;
    tables.push_back(
        Stts(s.stts.empty() ? std::vector<std::pair<uint32_t, uint32_t>>{{n, 100}} : s.stts));
    if (s.handler == "vide") tables.push_back(Stss(s.stss));
    tables.push_back(Stsc(StscRuns(ChunksOf(s))));
    tables.push_back(s.constant_size ? Stsz(s.sizes.empty() ? 0 : s.sizes[0], n)
                                     : Stsz(0, n, s.sizes));
    tables.push_back(Stco(chunk_offsets[t]));
    moov.push_back(Trak(Tkhd(s.id, s.width, s.height), Mdhd(s.timescale, n * 100),
                        s.handler.c_str(), Stsd(SampleEntry(s)), tables));
  }
  if (offsets_out != nullptr) *offsets_out = offsets;
  return Cat({ftyp, Atom("mdat", {media}), Atom("moov", moov)});
}
