#include <unistd.h>

#include <csignal>

#include "platform/terminal.h"

#ifdef __EMSCRIPTEN__
#include <emscripten.h>

// Under node the C library's isatty answers yes for every standard stream,
// redirected or not; node itself knows. Elsewhere (a page) nothing is one.
EM_JS(int, nodeStreamIsTerminal, (int fd), {
  if (typeof process === "undefined") return 0;
  const stream = fd === 1 ? process.stdout : process.stderr;
  return stream && stream.isTTY ? 1 : 0;
});
#endif

bool streamIsTerminal(int fd) {
#ifdef __EMSCRIPTEN__
  return nodeStreamIsTerminal(fd) == 1;
#else
  return ::isatty(fd) == 1;
#endif
}

int standardInputForReading() { return STDIN_FILENO; }

bool standardOutputIsTerminal() { return streamIsTerminal(STDOUT_FILENO); }

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
