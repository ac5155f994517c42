// The ornivex tool's commands; each returns the process exit status.
#ifndef ORNIVEX_TOOLS_COMMANDS_H
#define ORNIVEX_TOOLS_COMMANDS_H

struct ToolCommand {
  const char* name;
  const char* summary;
  int (*run)(int argc, char** argv);  // argv[0] is the command's name
};

// The commands in the order `--help` lists them; ends with a null name.
extern const ToolCommand kToolCommands[];

#endif  // ORNIVEX_TOOLS_COMMANDS_H
