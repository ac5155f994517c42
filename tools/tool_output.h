// Where the tool writes. The library prints its messages on standard output
// and hosts may rely on them, so the tool leaves them as they are and moves
// them instead: descriptor 1 goes to /dev/null, or to standard error with
// -v, and the tool writes its own output to a copy of the original.
#ifndef ORNIVEX_TOOLS_TOOL_OUTPUT_H
#define ORNIVEX_TOOLS_TOOL_OUTPUT_H

#include <cstdio>
#include <string>

#if defined(__GNUC__) || defined(__clang__)
#define ORNIVEX_TOOL_PRINTF(f, a) __attribute__((format(printf, f, a)))
#else
#define ORNIVEX_TOOL_PRINTF(f, a)
#endif

class ToolOutput {
 public:
  ToolOutput() = default;
  ~ToolOutput();
  ToolOutput(const ToolOutput&) = delete;
  ToolOutput& operator=(const ToolOutput&) = delete;

  // Takes standard output for the tool; false with errno set.
  bool Take(bool verbose);
  FILE* stream() const { return stream_; }
  // Flushes the tool's output: `status`, or 1 after an error line when the
  // output could not be written.
  int Finish(int status);

 private:
  FILE* stream_ = nullptr;
};

// The library's writing calls describe their failures on the debugger
// channel, which is standard error where no debugger listens. While a
// command writes, that channel goes where the library's standard output
// goes: nowhere, or with -v to standard error as it is.
class ToolDebugChannel {
 public:
  ToolDebugChannel() = default;
  ~ToolDebugChannel() { Restore(); }
  ToolDebugChannel(const ToolDebugChannel&) = delete;
  ToolDebugChannel& operator=(const ToolDebugChannel&) = delete;

  // False with errno set when standard error cannot be moved.
  bool Take(bool verbose);
  // Standard error as the tool found it, for the tool's own lines.
  int stderr_fd() const { return saved_ >= 0 ? saved_ : 2; }
  // Puts standard error back; the tool's failure line comes after this.
  void Restore();

 private:
  int saved_ = -1;
};

// One line on standard error, "ornivex: SUBJECT: REASON", after everything
// printed before it; returns 1, the exit status of a failure. SUBJECT is
// the file concerned, or what else failed.
int ToolFail(const std::string& subject, const std::string& reason);
int ToolFailf(const char* subject, const char* format, ...) ORNIVEX_TOOL_PRINTF(2, 3);

// ToolFail for a command that prints one JSON document: with `json`, the
// document is {"error": REASON}, on the tool's output `out`.
int ToolFailDocument(FILE* out, bool json, const std::string& subject, const std::string& reason);

// A command line that makes no sense: one line on standard error, with the
// way to the help; returns 2. `command` is null for the tool as a whole.
int ToolUsageError(const char* command, const std::string& reason);

// `text` as a JSON string, quotes included.
std::string JsonString(const std::string& text);

#endif  // ORNIVEX_TOOLS_TOOL_OUTPUT_H
