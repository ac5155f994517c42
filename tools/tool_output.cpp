#include "tool_output.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstring>

namespace {

#ifdef _WIN32
constexpr char kNullDevice[] = "NUL";
#else
constexpr char kNullDevice[] = "/dev/null";
#endif

}  // namespace

ToolOutput::~ToolOutput() {
  if (stream_ != nullptr) std::fclose(stream_);
}

bool ToolOutput::Take(bool verbose) {
  // Whole lines, so that with -v and 2>&1 the two streams meet between lines.
  if (verbose) std::setvbuf(stdout, nullptr, _IOLBF, 0);
  std::fflush(stdout);
  const int saved = dup(STDOUT_FILENO);
  if (saved < 0) return false;
  const int target = verbose ? dup(STDERR_FILENO) : open(kNullDevice, O_WRONLY);
  if (target < 0 || dup2(target, STDOUT_FILENO) < 0) {
    const int error = errno;
    if (target >= 0) close(target);
    close(saved);
    errno = error;
    return false;
  }
  close(target);
  stream_ = fdopen(saved, "w");
  if (stream_ == nullptr) {
    close(saved);
    return false;
  }
  if (verbose) std::setvbuf(stream_, nullptr, _IOLBF, 0);
  return true;
}

int ToolOutput::Finish(int status) {
  if (stream_ == nullptr) return status;
  const bool written = std::fflush(stream_) == 0 && !std::ferror(stream_);
  const int error = errno;
  std::fclose(stream_);
  stream_ = nullptr;
  if (written) return status;
  return status != 0 ? status : ToolFail("standard output", std::strerror(error));
}

bool ToolDebugChannel::Take(bool verbose) {
  if (verbose) return true;
  std::fflush(stderr);
  saved_ = dup(STDERR_FILENO);
  if (saved_ < 0) return false;
  const int null = open(kNullDevice, O_WRONLY);
  if (null < 0 || dup2(null, STDERR_FILENO) < 0) {
    const int error = errno;
    if (null >= 0) close(null);
    Restore();
    errno = error;
    return false;
  }
  close(null);
  return true;
}

void ToolDebugChannel::Restore() {
  if (saved_ < 0) return;
  std::fflush(stderr);
  (void)dup2(saved_, STDERR_FILENO);  // the descriptor was standard error a moment ago
  close(saved_);
  saved_ = -1;
}

int ToolFail(const std::string& subject, const std::string& reason) {
  std::fflush(nullptr);  // the library's lines and the tool's come first
  std::fprintf(stderr, "ornivex: %s: %s\n", subject.c_str(), reason.c_str());
  return 1;
}

int ToolFailf(const char* subject, const char* format, ...) {
  va_list args, again;
  va_start(args, format);
  va_copy(again, args);
  const int length = std::vsnprintf(nullptr, 0, format, args);
  va_end(args);
  std::string reason(length > 0 ? static_cast<size_t>(length) : 0, '\0');
  std::vsnprintf(reason.data(), reason.size() + 1, format, again);
  va_end(again);
  return ToolFail(subject, reason);
}

int ToolFailDocument(FILE* out, bool json, const std::string& subject, const std::string& reason) {
  if (json) std::fprintf(out, "{\"error\": %s}\n", JsonString(reason).c_str());
  return ToolFail(subject, reason);
}

int ToolUsageError(const char* command, const std::string& reason) {
  std::fflush(nullptr);
  if (command == nullptr)
    std::fprintf(stderr, "ornivex: %s (try 'ornivex --help')\n", reason.c_str());
  else
    std::fprintf(stderr, "ornivex: %s: %s (try 'ornivex %s --help')\n", command, reason.c_str(),
                 command);
  return 2;
}

std::string JsonString(const std::string& text) {
  std::string s = "\"";
  for (const char c : text) {
    if (c == '"' || c == '\\') {
      s += '\\';
      s += c;
    } else if (static_cast<unsigned char>(c) < 0x20) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", c);
      s += escape;
    } else {
      s += c;
    }
  }
  return s + "\"";
}
