// Files, captured output and shared media for the tests.
#ifndef ORNIVEX_TESTS_TEST_SUPPORT_H
#define ORNIVEX_TESTS_TEST_SUPPORT_H

#include <functional>
#include <string>
#include <vector>

#include "support/box_builder.h"

// A fresh path in the test's scratch directory; `name` keeps it readable.
std::string ScratchPath(const std::string& name);
std::string WriteScratchFile(const std::string& name, const box::Bytes& bytes);
box::Bytes ReadWholeFile(const std::string& path);

// What `f` printed on standard output (and, for the second, standard error).
std::string CaptureStdout(const std::function<void()>& f);
std::string CaptureStderr(const std::function<void()>& f);

// Runs a shell command; returns its exit status and what it printed.
int RunCommand(const std::string& command, std::string* output);

// A command line running the ornivex tool with `args`. Sanitizer findings
// in the tool exit with 86, apart from its own 0, 1 and 2.
std::string ToolCommandLine(const std::string& args);

// The shared corpus of files written by others, or "" when it is absent.
std::string CorpusDir();
std::vector<std::string> CorpusFiles();  // real/ and malformed/, sorted

bool HaveFfmpeg();
// A file that ffmpeg writes once per test run from its test sources, with
// the arguments given; "" when ffmpeg is missing or fails.
std::string FfmpegMedia(const std::string& name, const std::string& arguments);

#endif  // ORNIVEX_TESTS_TEST_SUPPORT_H
