// ornivex: looks into MP4 files with the library, and makes them from raw
// streams.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "commands.h"
#include "tool_output.h"

#ifndef ORNIVEX_VERSION
#define ORNIVEX_VERSION "unknown"
#endif

extern const ToolCommand kDumpCommand;
extern const ToolCommand kSamplesCommand;
extern const ToolCommand kExtractCommand;
extern const ToolCommand kInfoCommand;
extern const ToolCommand kMuxCommand;

const ToolCommand kToolCommands[] = {
    kDumpCommand, kSamplesCommand, kExtractCommand, kInfoCommand, kMuxCommand, {},
};

namespace {

const char kCommonOptions[] =
    "\n"
    "Every command also takes:\n"
    "  -v, --verbose  print the library's own messages on standard error (without\n"
    "                 it they are not shown; standard output holds only the tool's)\n"
    "  -h, --help     print this help\n"
    "  --version      print the tool's version\n"
    "\n"
    "Exit status: 0 on success, 1 when something failed (one line on standard\n"
    "error says what), 2 for a command line that makes no sense.\n";

void PrintUsage(FILE* out) {
  std::fprintf(out,
               "usage: ornivex [-v] COMMAND [ARGS]\n"
               "       ornivex --help | --version\n"
               "\n"
               "Looks into MP4 files with the Ornivex library, which reads MPEG-4 Visual\n"
               "video and MPEG-4 (AAC) or MPEG-1/2 audio, and makes them from raw MPEG-4\n"
               "Visual and ADTS AAC streams.\n"
               "\n"
               "commands:\n");
  for (const ToolCommand* c = kToolCommands; c->name != nullptr; ++c)
    std::fprintf(out, "  %-10s %s\n", c->name, c->summary);
  std::fprintf(out, "%s\n'ornivex COMMAND --help' explains a command.\n", kCommonOptions);
}

bool IsOption(const char* arg, const char* long_name, const char* short_name) {
  return std::strcmp(arg, long_name) == 0 ||
         (short_name != nullptr && std::strcmp(arg, short_name) == 0);
}

const ToolCommand* FindCommand(const char* name) {
  for (const ToolCommand* c = kToolCommands; c->name != nullptr; ++c)
    if (std::strcmp(name, c->name) == 0) return c;
  return nullptr;
}

// Runs `command` once its command line is parsed; the output is taken
// first, so that nothing the library prints reaches the tool's.
int Run(const ToolCommand* command, ArgsResult parsed, const ToolArgs& args) {
  ToolOutput output;
  if (!output.Take(args.verbose)) return ToolFail("standard output", std::strerror(errno));
  FILE* out = output.stream();
  int status = 0;
  if (parsed == ArgsResult::kVersion) {
    std::fprintf(out, "ornivex %s\n", ORNIVEX_VERSION);
  } else if (parsed == ArgsResult::kHelp && command == nullptr) {
    PrintUsage(out);
  } else if (parsed == ArgsResult::kHelp) {
    std::fprintf(out, "%s%s", command->help, kCommonOptions);
  } else {
    status = command->run(out, args);
  }
  return output.Finish(status);
}

}  // namespace

int main(int argc, char** argv) {
  ToolArgs args;
  int first = 1;  // -v may come before the command too
  while (first < argc && IsVerboseOption(argv[first])) {
    args.verbose = true;
    ++first;
  }
  if (first == argc) return ToolUsageError(nullptr, "missing command");
  const char* name = argv[first];
  if (IsOption(name, "--help", "-h")) return Run(nullptr, ArgsResult::kHelp, args);
  if (IsOption(name, "--version", nullptr)) return Run(nullptr, ArgsResult::kVersion, args);
  const ToolCommand* command = FindCommand(name);
  if (command == nullptr)
    return ToolUsageError(nullptr, std::string("unknown command '") + name + "'");
  std::string error;
  const ArgsResult parsed = ParseToolArgs(*command, argc - first, argv + first, &args, &error);
  if (parsed == ArgsResult::kUsageError) return ToolUsageError(command->name, error);
  return Run(command, parsed, args);
}
