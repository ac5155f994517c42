// One run of the ornivex tool, its standard output and standard error kept
// apart. Sanitizer findings exit with 86, apart from its own 0, 1 and 2.
#ifndef ORNIVEX_TESTS_TOOL_RUN_H
#define ORNIVEX_TESTS_TOOL_RUN_H

#include "support/test_support.h"

struct ToolRun {
  int status;
  std::string out, err;
};
// The tool with `args`; `prefix` runs in the same shell before it.
inline ToolRun Tool(const std::string& args, const std::string& prefix = "") {
  const std::string err_path = ScratchPath("stderr.txt");
  ToolRun run;
  run.status = RunCommand("(" + prefix +
                              " ASAN_OPTIONS=exitcode=86:detect_leaks=1 "
                              "UBSAN_OPTIONS=halt_on_error=1:exitcode=86 '" ORNIVEX_TOOL_PATH "' " +
                              args + " 2>'" + err_path + "')",
                          &run.out);
  const box::Bytes err = ReadWholeFile(err_path);
  run.err.assign(err.begin(), err.end());
  return run;
}

#endif  // ORNIVEX_TESTS_TOOL_RUN_H
