// Runs a built program through the shell and captures everything it did.
#pragma once

#include <string>

struct RunResult {
  std::string out;
  std::string err;
  int status;  // exit status, or -1 when it did not exit normally
};

// `command` is a shell command line; standard input is /dev/null. (Not on
// Windows, whose tests start no programs.)
RunResult runProgram(const std::string& command);

// Whole contents of a file ("" when it cannot be read).
std::string slurp(const std::string& path);

// Single-quotes a path for the shell.
std::string shellQuote(const std::string& text);
