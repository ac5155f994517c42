// Whole MP4 files for the tests: ftyp, mdat with the samples, then moov
// with one trak per track whose chunk offsets point into the mdat.
#ifndef ORNIVEX_TESTS_MOVIE_BUILDER_H
#define ORNIVEX_TESTS_MOVIE_BUILDER_H

#include <string>
#include <utility>
#include <vector>

#include "support/box_builder.h"

struct TrackSpec {
  uint32_t id = 1;
  std::string handler = "vide";
  std::vector<uint32_t> sizes;                      // one per sample
  std::vector<std::pair<uint32_t, uint32_t>> stts;  // default: every sample 100 ticks
  std::vector<uint32_t> stss;                       // video: default sample 1 only
  std::vector<uint32_t> chunks;                     // samples per chunk; default one chunk
  bool constant_size = false;                       // stsz with one size for all
  uint32_t timescale = 1000;
  uint16_t width = 176, height = 144;
  box::Bytes esds;  // default: a small one
  uint32_t sample_rate = 44100;
};

// The bytes of sample `index` of track `id`, as the builder stores them.
box::Bytes SampleBytes(uint32_t id, uint32_t index, uint32_t size);

// The movie; `offsets`, when given, receives each track's sample offsets.
box::Bytes BuildMovie(const std::vector<TrackSpec>& tracks,
                      std::vector<std::vector<uint32_t>>* offsets = nullptr);

// A video track and an audio track with `n` samples of varied sizes.
TrackSpec VideoSpec(uint32_t id, uint32_t n);
TrackSpec AudioSpec(uint32_t id, uint32_t n);

#endif  // ORNIVEX_TESTS_MOVIE_BUILDER_H
