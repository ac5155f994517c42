// Command lines of the tool's commands: each takes its own options, the
// common ones (--help, --version, -v/--verbose) and a fixed number of
// operands, in any order.
#ifndef ORNIVEX_TOOLS_TOOL_ARGS_H
#define ORNIVEX_TOOLS_TOOL_ARGS_H

#include <string>
#include <utility>
#include <vector>

struct ToolCommand;

// One option of a command: a switch (--json) or one with a value
// (--video OUT or --video=OUT).
struct ToolOption {
  const char* name;
  const char* value_name;  // null for a switch
};

struct ToolArgs {
  std::vector<const char*> operands;
  std::vector<std::pair<const char*, const char*>> given;  // name, value (null for a switch)
  bool verbose = false;  // the library's messages go to standard error

  bool Has(const char* name) const;
  // The value given last; a switch gives its name; null when not given.
  const char* Value(const char* name) const;
};

enum class ArgsResult { kRun, kHelp, kVersion, kUsageError };

bool IsVerboseOption(const char* arg);

// Parses argv[1..argc) of `command` (argv[0] is its name) into `args`.
// --help and --version win where they stand; "--" makes every later
// argument an operand. kUsageError with the reason in `error`.
ArgsResult ParseToolArgs(const ToolCommand& command, int argc, char** argv, ToolArgs* args,
                         std::string* error);

#endif  // ORNIVEX_TOOLS_TOOL_ARGS_H
