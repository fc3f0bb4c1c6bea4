#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include "platform/terminal.h"

int standardInputForReading() {
  (void)_setmode(0, _O_BINARY);
  return 0;
}

// A console, not merely a character device: the null device is one too.
bool standardOutputIsTerminal() {
  DWORD mode = 0;
  const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  return out != INVALID_HANDLE_VALUE && out != nullptr && GetConsoleMode(out, &mode) != 0;
}

// Windows has neither signal: a closed pipe and a full disk are failed
// writes already.
void prepareToolSignals() {}

// No signal to die of: the status a POSIX shell would show for one.
int endForClosedOutput() { return 141; }
