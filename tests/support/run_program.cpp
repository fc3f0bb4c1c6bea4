#include "support/run_program.h"
#if RUNAUDIT_TESTS_RUN_PROGRAMS
#include <sys/wait.h>
#endif
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "support/replay_builder.h"

std::string slurp(const std::string& path) {
  std::string text;
  if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) text.append(buf, n);
    std::fclose(f);
  }
  return text;
}

std::string shellQuote(const std::string& text) {
  std::string out = "'";
  for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

#if RUNAUDIT_TESTS_RUN_PROGRAMS
RunResult runProgram(const std::string& command) {
  const std::string outPath = writeTempFile("run_out", {});
  const std::string errPath = writeTempFile("run_err", {});
  const std::string cmd = command + " >" + outPath + " 2>" + errPath + " </dev/null";
  const int raw = std::system(cmd.c_str());
  RunResult r{slurp(outPath), slurp(errPath), WIFEXITED(raw) ? WEXITSTATUS(raw) : -1};
  ::unlink(outPath.c_str());
  ::unlink(errPath.c_str());
  return r;
}
#endif
