// ornivex: looks into MP4 files with the library.
#include <cstdio>
#include <cstring>

#include "commands.h"

#ifndef ORNIVEX_VERSION
#define ORNIVEX_VERSION "unknown"
#endif

extern const ToolCommand kDumpCommand;
extern const ToolCommand kSamplesCommand;
extern const ToolCommand kExtractCommand;
extern const ToolCommand kInfoCommand;

const ToolCommand kToolCommands[] = {
    kDumpCommand, kSamplesCommand, kExtractCommand, kInfoCommand, {nullptr, nullptr, nullptr},
};

static void PrintUsage(FILE* out) {
  std::fprintf(out,
               "usage: ornivex COMMAND [ARGS]\n"
               "       ornivex --help | --version\n"
               "\n"
               "Looks into MP4 files (MPEG-4 Visual, AAC, H.263, AMR) with the Ornivex library.\n");
  if (kToolCommands[0].name != nullptr) std::fprintf(out, "\ncommands:\n");
  for (const ToolCommand* c = kToolCommands; c->name != nullptr; ++c)
    std::fprintf(out, "  %-10s %s\n", c->name, c->summary);
  std::fprintf(out, "\n'ornivex COMMAND --help' explains a command.\n");
}

int main(int argc, char** argv) {
  if (argc < 2) {
    PrintUsage(stderr);
    return 2;
  }
  const char* command = argv[1];
  if (std::strcmp(command, "--help") == 0 || std::strcmp(command, "-h") == 0) {
    PrintUsage(stdout);
    return 0;
  }
  if (std::strcmp(command, "--version") == 0) {
    std::printf("ornivex %s\n", ORNIVEX_VERSION);
    return 0;
  }
  for (const ToolCommand* c = kToolCommands; c->name != nullptr; ++c)
    if (std::strcmp(command, c->name) == 0) return c->run(argc - 1, argv + 1);
  std::fprintf(stderr, "ornivex: unknown command '%s'\n", command);
  PrintUsage(stderr);
  return 2;
}
