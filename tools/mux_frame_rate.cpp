// The video frame rate of ornivex mux and the clock its frame times use.
#include <cctype>
#include <cstdlib>
#include <numeric>

#include "mux.h"

namespace {

// Numbers of more digits than this make no frame rate anyone means, and
// keep every product below 64 bits.
constexpr uint64_t kMaxTerm = 1000000000;

// Digits only; false for none or too many.
bool ParseDigits(const char* begin, const char* end, uint64_t* value) {
  if (begin == end) return false;
  *value = 0;
  for (const char* p = begin; p != end; ++p) {
    if (!std::isdigit(static_cast<unsigned char>(*p)) || *value > kMaxTerm) return false;
    *value = *value * 10 + static_cast<uint64_t>(*p - '0');
  }
  return *value <= kMaxTerm;
}

}  // namespace

bool ParseFrameRate(const char* text, FrameRate* rate) {
  const char* end = text;
  while (*end != '\0') ++end;
  const char* slash = text;
  while (slash != end && *slash != '/') ++slash;
  const char* dot = text;
  while (dot != end && *dot != '.') ++dot;
  uint64_t num = 0, den = 1;
  if (slash != end) {  // 30000/1001
    if (!ParseDigits(text, slash, &num) || !ParseDigits(slash + 1, end, &den)) return false;
  } else if (dot != end) {  // 29.97, .5 or 25.
    uint64_t whole = 0, fraction = 0;
    if (dot - text > 4 || end - dot - 1 > 6) return false;
    if (dot != text && !ParseDigits(text, dot, &whole)) return false;
    if (dot + 1 != end && !ParseDigits(dot + 1, end, &fraction)) return false;
    if (dot == text && dot + 1 == end) return false;
    for (const char* p = dot + 1; p != end; ++p) den *= 10;
    num = whole * den + fraction;
  } else if (!ParseDigits(text, end, &num)) {
    return false;
  }
  if (num == 0 || den == 0 || num > kMaxFrameRate * den) return false;
  const uint64_t common = std::gcd(num, den);
  *rate = FrameRate{num / common, den / common};
  return true;
}

VideoClock ChooseVideoClock(const FrameRate& rate) {
  // Frame i is at i * den / num seconds: exact in any multiple of num. Of
  // those, one that is also a multiple of 1000 keeps milliseconds exact
  // (25 fps: 1000, 24 fps: 3000, 30000/1001: 30000); where that is very
  // large, the first multiple of num from 1000 on (2997/100: 2997).
  const uint64_t num = rate.num, den = rate.den;
  uint64_t timescale = num / std::gcd(num, uint64_t{1000}) * 1000;
  if (timescale > 90000) timescale = num >= 1000 ? num : num * ((1000 + num - 1) / num);
  uint64_t ticks = timescale / num * den;
  if (ticks > UINT32_MAX || timescale > UINT32_MAX) {  // a very low rate: one tick a frame
    timescale = num;
    ticks = den;
  }
  return VideoClock{static_cast<uint32_t>(timescale), static_cast<uint32_t>(ticks)};
}
