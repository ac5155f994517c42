// Random sequences of the writing calls with bad values among them: null
// records, unknown types and codecs, long configurations, timescale 0, time
// stamps and sizes near 2^32, missing data. Run under the sanitizers, every
// sequence must end without a finding and release everything.
#include <random>

#include "writer/writer_support.h"

namespace {

struct Fuzzer {
  explicit Fuzzer(uint32_t seed) : rng(seed) {}

  uint32_t Pick(uint32_t n) { return std::uniform_int_distribution<uint32_t>(0, n - 1)(rng); }
  template <typename T>
  T Of(std::initializer_list<T> values) {
    return *(values.begin() + Pick(uint32_t(values.size())));
  }
  uint32_t Stamp() {
    return Of<uint32_t>({0, 40 * Pick(3000), 0x7FFFFFFF, 0xFFFFFFF0u + Pick(16), uint32_t(rng())});
  }
  uint32_t Scale() { return Of<uint32_t>({0, 1, 1000, 44100, 0x80000000u, 0xFFFFFFFFu}); }

  // One call; the record may be null. Checks what every result must keep.
  void Step(MP4_local_file* file) {
    MP4_local_file* target = Pick(10) == 0 ? nullptr : file;
    const uint32_t size = Of<uint32_t>({0, 1, Pick(64), Pick(3000)});
    const bool no_data = Pick(8) == 0;
    // with no data a size may be anything; with data it is what the buffer holds
    const uint32_t claimed = no_data ? Of<uint32_t>({0, size, 0xFFFFFFFFu}) : size;
    const unsigned char* bytes = no_data ? nullptr : data.data();
    switch (Pick(6)) {
      case 0: {
        const std::string temp = Of<std::string>({ScratchPath("t"), missing, too_long, ""});
        const int32_t type = Of<int32_t>({1, 2, 4, 5, 3, 0, 6, -1});
        const uint32_t length = Of<uint32_t>({0, 7, 52, 53, 0xFFFFFFFFu});
        const int32_t r =
            CreateTrack(target, type, rng(), rng(), rng(), Scale(), rng(), rng(), rng(), rng(),
                        length, Pick(4) == 0 ? nullptr : data.data(),
                        temp.empty() ? nullptr : temp.c_str(), Of<uint32_t>({1, 2, 0, 3}));
        ASSERT_TRUE(r == 1 || r == -99);
        break;
      }
      case 1:
      case 2:
      case 3: {
        const int32_t r = AddVideoFrame(target, claimed, bytes, Stamp(), Of<int32_t>({1, 0, 2}));
        ASSERT_TRUE(r == 1 || r == -99);
        break;
      }
      default: {
        const int32_t r = AddAudioFrame(target, claimed, bytes, Stamp());
        ASSERT_TRUE(r == 1 || r == -99);
      }
    }
  }

  // The counters agree with the chains.
  static void CheckInvariants(const MP4_local_file* file) {
    const struct {
      const TrackNode* first;
      uint32_t samples, keys;
    } media[] = {{file->VideoTrackNode, file->video_sample_count, file->video_key_count},
                 {file->AudioTrackNode, file->audio_sample_count, file->audio_key_count}};
    for (const auto& m : media) {
      uint32_t samples = 0, keys = 0;
      for (const TrackNode* b : Blocks(m.first)) {
        ASSERT_EQ((Values{b->FirstSample, b->FirstKeyFrame}), (Values{samples, keys}));
        ASSERT_LE(b->SampleCount, b->TableCapacity);
        samples += b->SampleCount;
        keys += b->KeyFrameCount;
      }
      ASSERT_EQ((Values{samples, keys}), (Values{m.samples, m.keys}));
    }
  }

  std::mt19937 rng;  // 32-bit values
  std::vector<unsigned char> data = std::vector<unsigned char>(3000, 0x5A);
  const std::string missing = ScratchPath("missing") + "/t", too_long = std::string(256, 'l');
};

}  // namespace

TEST(WriterSequences, RandomCallsWithBadValues) {
  for (uint32_t seed = 1; seed <= 24; ++seed) {
    Fuzzer f(seed);
    MP4_local_file* file = nullptr;
    // an occasional refused path first: the handle must come back null
    if (f.Pick(3) == 0) {
      (void)CaptureDebug([&] { EXPECT_EQ(MP4FileNew(&file, f.too_long.c_str()), -99); });
      ASSERT_EQ(file, nullptr);
    }
    ASSERT_EQ(MP4FileNew(&file, ScratchPath("fuzz.mp4").c_str()), 1);
    const uint32_t calls = 300 + f.Pick(900);
    (void)CaptureStdout([&] {  // the diagnostics are the point of other tests
      (void)CaptureDebug([&] {
        for (uint32_t i = 0; i < calls && !testing::Test::HasFatalFailure(); ++i) f.Step(file);
      });
    });
    Fuzzer::CheckInvariants(file);
    ReleaseWriterFile(file);
    if (testing::Test::HasFatalFailure()) FAIL() << "seed " << seed;
  }
}
