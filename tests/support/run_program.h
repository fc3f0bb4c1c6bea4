// Runs a built program through the shell and captures everything it did.
#pragma once

#include <string>

struct RunResult {
  std::string out;
  std::string err;
  int status;  // exit status, or -1 when it did not exit normally
};

// Whether tests can start the built programs through a POSIX shell: not
// from a Windows test process (under Wine) or a WebAssembly one (under
// node); scripts/compare-models.sh and scripts/windows-tests.sh run those
// builds' programs instead.
#if defined(_WIN32) || defined(__EMSCRIPTEN__)
#define RUNAUDIT_TESTS_RUN_PROGRAMS 0
#else
#define RUNAUDIT_TESTS_RUN_PROGRAMS 1
#endif

#if RUNAUDIT_TESTS_RUN_PROGRAMS
// `command` is a shell command line; standard input is /dev/null.
RunResult runProgram(const std::string& command);
#endif

// Whole contents of a file ("" when it cannot be read).
std::string slurp(const std::string& path);

// Single-quotes a path for the shell.
std::string shellQuote(const std::string& text);
