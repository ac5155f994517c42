#include "tool_args.h"

#include <cstring>

#include "commands.h"

namespace {

const ToolOption* FindOption(const ToolCommand& command, const char* arg, const char** value) {
  *value = nullptr;
  for (const ToolOption* o = command.options; o != nullptr && o->name != nullptr; ++o) {
    const size_t n = std::strlen(o->name);
    if (std::strncmp(arg, o->name, n) != 0) continue;
    if (arg[n] == '\0') return o;
    if (arg[n] == '=' && o->value_name != nullptr) {
      *value = arg + n + 1;
      return o;
    }
  }
  return nullptr;
}

}  // namespace

bool ToolArgs::Has(const char* name) const {
  return Value(name) != nullptr;
}

const char* ToolArgs::Value(const char* name) const {
  const char* found = nullptr;
  for (const auto& [option, value] : given)
    if (std::strcmp(option, name) == 0) found = value != nullptr ? value : option;
  return found;
}

bool IsVerboseOption(const char* arg) {
  return std::strcmp(arg, "-v") == 0 || std::strcmp(arg, "--verbose") == 0;
}

ArgsResult ParseToolArgs(const ToolCommand& command, int argc, char** argv, ToolArgs* args,
                         std::string* error) {
  bool options_end = false;
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    if (options_end || arg[0] != '-' || arg[1] == '\0') {  // "-" is an operand
      args->operands.push_back(arg);
      continue;
    }
    if (std::strcmp(arg, "--") == 0) {
      options_end = true;
    } else if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) {
      return ArgsResult::kHelp;
    } else if (std::strcmp(arg, "--version") == 0) {
      return ArgsResult::kVersion;
    } else if (IsVerboseOption(arg)) {
      args->verbose = true;
    } else {
      const char* value = nullptr;
      const ToolOption* option = FindOption(command, arg, &value);
      if (option == nullptr) {
        *error = std::string("unknown option '") + arg + "'";
        return ArgsResult::kUsageError;
      }
      if (option->value_name != nullptr && value == nullptr) {
        if (i + 1 == argc) {
          *error = std::string("option '") + option->name + "' needs " + option->value_name +
                   " after it";
          return ArgsResult::kUsageError;
        }
        value = argv[++i];
      }
      args->given.emplace_back(option->name, value);
    }
  }
  const size_t wanted = command.operand != nullptr ? 1 : 0;
  if (args->operands.size() < wanted) {
    *error = std::string("missing ") + command.operand;
    return ArgsResult::kUsageError;
  }
  if (args->operands.size() > wanted) {
    *error = std::string("unexpected argument '") + args->operands[wanted] + "'";
    return ArgsResult::kUsageError;
  }
  return ArgsResult::kRun;
}
