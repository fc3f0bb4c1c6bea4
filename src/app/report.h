// The texts the front end prints.
#pragma once

#include <cstdio>

#include "replay/replay_file.h"

// Usage line, printed when the argument count is wrong.
void printUsage(std::FILE* out);
// Load failure line with the loader's message.
void printLoadError(std::FILE* out, const char* message);
// The replay information block: the name and date as stored, or, for a
// terminal, with their control bytes shown escaped (view/display_text.h),
// so that a forged text can neither print lines of its own nor act on the
// screen.
void printReplayInformation(std::FILE* out, const ReplayHeader& header, bool terminal = false);
// Announces playback, plays the replay and prints the verdict.
void runVerdictReport(std::FILE* out, const ReplayFile& replay);
