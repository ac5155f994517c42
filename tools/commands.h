// The ornivex tool's commands. A command is one row of kToolCommands: main
// parses its command line (tool_args.h), moves the library's messages off
// standard output (tool_output.h) and runs it.
#ifndef ORNIVEX_TOOLS_COMMANDS_H
#define ORNIVEX_TOOLS_COMMANDS_H

#include <cstdio>

#include "tool_args.h"

struct ToolCommand {
  const char* name;
  const char* summary;        // one line for 'ornivex --help'
  const char* help;           // 'ornivex NAME --help', from its "usage:" line on
  const ToolOption* options;  // its own options, ending with a null name
  const char* operand;        // what its one operand is ("FILE"), or null for none
  // The exit status: 0, 1 after one error line, or 2 for a usage error.
  // `out` is the tool's own standard output.
  int (*run)(FILE* out, const ToolArgs& args);
};

// The commands in the order `--help` lists them; ends with a null name.
extern const ToolCommand kToolCommands[];

#endif  // ORNIVEX_TOOLS_COMMANDS_H
