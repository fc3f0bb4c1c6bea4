#include <unistd.h>

#include <csignal>

#include "platform/terminal.h"

int standardInputForReading() { return STDIN_FILENO; }

bool standardOutputIsTerminal() { return ::isatty(STDOUT_FILENO) == 1; }

void prepareToolSignals() {
  std::signal(SIGPIPE, SIG_DFL);
  std::signal(SIGXFSZ, SIG_IGN);
}

int endForClosedOutput() {
  std::signal(SIGPIPE, SIG_DFL);
  sigset_t pipe;
  sigemptyset(&pipe);
  sigaddset(&pipe, SIGPIPE);
  (void)sigprocmask(SIG_UNBLOCK, &pipe, nullptr);
  std::raise(SIGPIPE);
  return 128 + SIGPIPE;  // the shell's status for a death by SIGPIPE
}
