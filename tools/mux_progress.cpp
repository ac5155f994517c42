// The progress line of ornivex mux.
#include <unistd.h>

#include <cstdio>
#include <string>

#include "mux.h"

namespace {

// Shorter inputs are done before a line would be worth reading.
constexpr double kProgressAfterSeconds = 5;

// The line goes to the terminal as one write. Nothing is retried: a write
// that fails or comes short only spoils the progress line.
void WriteText(int fd, const std::string& text) {
  if (write(fd, text.data(), static_cast<unsigned>(text.size())) < 0) return;
}

}  // namespace

void MuxProgress::Update(uint64_t done, const char* medium, double seconds) {
  if (fd_ < 0 || (width_ == 0 && seconds < kProgressAfterSeconds)) return;
  const int percent = total_ == 0 ? 100 : static_cast<int>(done * 100 / total_);
  if (percent == percent_) return;
  percent_ = percent;
  char line[128];
  const int n =
      std::snprintf(line, sizeof line, "ornivex: mux: %d%% (%s %.1f s)", percent, medium, seconds);
  const size_t length = n > 0 ? static_cast<size_t>(n) : 0;
  // what is left of a longer line before it is blanked
  const std::string blank(width_ > length ? width_ - length : 0, ' ');
  WriteText(fd_, "\r" + std::string(line) + blank);
  if (length > width_) width_ = length;
}

void MuxProgress::Erase() {
  if (fd_ < 0 || width_ == 0) return;
  WriteText(fd_, "\r" + std::string(width_, ' ') + "\r");
  width_ = 0;
  percent_ = -1;
}
