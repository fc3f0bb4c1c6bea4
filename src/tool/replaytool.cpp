// replaytool: a companion to runaudit for the people who run leaderboards.
#include <csignal>
#include <cstdio>
#include <cstring>

#include "sim/fpu_mode.h"
#include "tool/tool_common.h"

namespace {

const char* const USAGE =
    "usage: replaytool show FILE [--json]\n"
    "       replaytool trace FILE [--from N] [--to M]\n"
    "       replaytool check FILE... [--jobs N]\n"
    "       replaytool pack TEXT OUT\n"
    "       replaytool unpack FILE\n";

int dispatch(int argc, char** argv);

}  // namespace

// Every subcommand's output is checked once it is done: results that did not
// reach their reader (a full disk, a closed pipe) are a failure, never success.
int main(int argc, char** argv) {
  resetFloatingPointUnit();
  std::signal(SIGPIPE, SIG_IGN);  // a closed pipe shows up as a failed write instead
  const int status = dispatch(argc, argv);
  if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0)
    return reportError(EXIT_FAILED, "cannot write to standard output");
  return status;
}

namespace {

int dispatch(int argc, char** argv) {
  if (argc < 2) {
    std::fputs(USAGE, stderr);
    return EXIT_USAGE;
  }
  const char* command = argv[1];
  if (std::strcmp(command, "show") == 0) return runShow(argc - 2, argv + 2);
  if (std::strcmp(command, "trace") == 0) return runTrace(argc - 2, argv + 2);
  if (std::strcmp(command, "check") == 0) return runCheck(argc - 2, argv + 2);
  if (std::strcmp(command, "pack") == 0) return runPack(argc - 2, argv + 2);
  if (std::strcmp(command, "unpack") == 0) return runUnpack(argc - 2, argv + 2);
  if (std::strcmp(command, "--help") == 0 || std::strcmp(command, "help") == 0) {
    std::fputs(USAGE, stdout);
    return 0;
  }
  return reportError(EXIT_USAGE, std::string("unknown command: ") + command + " (see replaytool --help)");
}

}  // namespace
