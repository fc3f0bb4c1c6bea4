// Standard streams beyond files.h: terminals, standard input as a file,
// and the signals about output.
#pragma once

// Whether standard output is a terminal (on Windows, a console): there a
// replay's texts are shown escaped, never as bytes that act on the screen.
bool standardOutputIsTerminal();

#ifndef _WIN32
// Whether descriptor fd (standard output or error) is a terminal. Under
// node the answer is node's, as the C library's isatty says yes to all.
bool streamIsTerminal(int fd);
#endif

// Standard input's descriptor, set to bytes as they are (no CR LF
// translation), for reading a file given as "-". Never closed.
int standardInputForReading();

// replaytool's output signals, as other command-line tools have them: a
// reader that goes away ends the program at once and silently (SIGPIPE
// keeps its default action whatever the parent set), and a write past the
// file size limit fails with EFBIG instead of killing the process, so that
// a temporary file can be removed and the reason reported.
void prepareToolSignals();

// Ends a program whose standard output lost its reader the way the signal
// would have (for a process that had SIGPIPE blocked, or a system without
// it); returns the status to exit with if the signal did not end it.
int endForClosedOutput();
