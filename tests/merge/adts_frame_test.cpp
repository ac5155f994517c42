// ADTS frame headers: sync, sampling rate, frame length and the CRC.
#include "merge/adts_frame.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using Header = std::vector<unsigned char>;

// A 7-byte ADTS header; `crc` clears protection_absent.
Header Adts(uint32_t frame_length, bool crc = false, uint32_t sampling_index = 4,
            uint32_t raw_blocks = 0) {
  return {0xFF,
          static_cast<unsigned char>(crc ? 0xF0 : 0xF1),
          static_cast<unsigned char>(0x40 | (sampling_index << 2)),
          static_cast<unsigned char>(0x80 | ((frame_length >> 11) & 0x03)),
          static_cast<unsigned char>(frame_length >> 3),
          static_cast<unsigned char>(((frame_length & 0x07) << 5) | 0x1F),
          static_cast<unsigned char>(0xFC | raw_blocks)};
}

TEST(AdtsFrame, FramesAndWhereTheWalkStops) {
  struct Case {
    const char* what;
    Header header;
    uint32_t available;
    uint64_t remaining;
    bool ok;
    uint32_t header_length, payload_length;
  };
  Header no_sync = Adts(100);
  no_sync[1] = 0xE1;
  const Case cases[] = {
      {"plain", Adts(100), 7, 1000, true, 7, 93},
      {"all 13 bits of frame_length", Adts(0x1ABC), 7, 0x1ABC, true, 7, 0x1ABC - 7},
      {"CRC: a 9-byte header", Adts(100, true), 7, 100, true, 9, 91},
      {"empty payload", Adts(7), 7, 7, true, 7, 0},
      {"frame_length 6", Adts(6), 7, 1000, false, 0, 0},
      {"frame_length 0", Adts(0), 7, 1000, false, 0, 0},
      {"CRC with frame_length 8", Adts(8, true), 7, 1000, false, 0, 0},
      {"one byte past the end", Adts(101), 7, 100, false, 0, 0},
      {"header cut off", Adts(100), 6, 6, false, 0, 0},
      {"no sync word", no_sync, 7, 1000, false, 0, 0},
      {"two raw data blocks", Adts(100, false, 4, 1), 7, 1000, false, 0, 0},
  };
  for (const Case& c : cases) {
    AdtsFrame frame{};
    EXPECT_EQ(ReadAdtsFrame(c.header.data(), c.available, c.remaining, &frame), c.ok) << c.what;
    if (c.ok) {
      EXPECT_EQ(frame.header_length, c.header_length) << c.what;
      EXPECT_EQ(frame.payload_length, c.payload_length) << c.what;
      EXPECT_EQ(frame.frame_length, c.header_length + c.payload_length) << c.what;
    }
  }
}

TEST(AdtsFrame, SamplingRates) {
  const uint32_t rates[] = {96000, 88200, 64000, 48000, 44100, 32000,
                            24000, 22050, 16000, 12000, 11025, 8000};
  for (uint32_t index = 0; index < 16; ++index) {
    uint32_t rate = 0;
    const Header h = Adts(100, false, index);
    EXPECT_EQ(AdtsSamplingRate(h.data(), &rate), index < 12) << index;
    if (index < 12) {
      EXPECT_EQ(rate, rates[index]);
    }
    EXPECT_TRUE(HasAdtsSync(h.data()));
  }
}

}  // namespace
