// runaudit: checks whether a recorded game is genuine.
#include <csignal>
#include <cstdio>

#include "app/report.h"
#include "replay/replay_file.h"
#include "sim/fpu_mode.h"

int main(int argc, char** argv) {
  // Before anything else: the verdict rests on the unit's extended mode.
  resetFloatingPointUnit();
  // A reader that leaves early must not change the exit status: writes to a
  // closed pipe then simply fail, and their results are not examined.
  std::signal(SIGPIPE, SIG_IGN);

  if (argc != 2) {
    printUsage(stdout);
    return 1;
  }

  ReplayFile replay{};
  if (const char* message = loadReplay(argv[1], replay)) {
    printLoadError(stdout, message);
    return 1;
  }

  // After the checksum: each text prints as at most 31 bytes.
  replay.header.playerName[31] = '\0';
  replay.header.date[31] = '\0';
  printReplayInformation(stdout, replay.header);
  runVerdictReport(stdout, replay);

  releaseReplay(replay);
  return 0;
}
