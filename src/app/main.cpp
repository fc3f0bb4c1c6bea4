// runaudit: checks whether a recorded game is genuine.
#include <cstdio>
#include <string>
#include <vector>

#include "app/frames_option.h"
#include "app/report.h"
#include "platform/files.h"
#include "platform/terminal.h"
#include "replay/replay_file.h"
#include "sim/fpu_mode.h"

int main(int argc, char** argv) {
  // Before anything else: the verdict rests on the unit's extended mode.
  resetFloatingPointUnit();
  useFramePathFromEnvironment();
  // A reader that leaves early must not change the exit status: writes to a
  // closed pipe then simply fail, and their results are not examined. The
  // texts are bytes: line feeds stay line feeds on every system.
  prepareStandardStreams();
  const std::vector<std::string> arguments = programArguments(argc, argv);

  if (arguments.size() != 2) {
    printUsage(stdout);
    return 1;
  }

  ReplayFile replay{};
  if (const char* message = loadReplay(arguments[1].c_str(), replay)) {
    printLoadError(stdout, message);
    return 1;
  }

  // After the checksum: each text prints as at most 31 bytes.
  replay.header.playerName[31] = '\0';
  replay.header.date[31] = '\0';
  // Tools reading the output get the stored bytes; a person, nothing that
  // acts on the terminal.
  printReplayInformation(stdout, replay.header, standardOutputIsTerminal());
  runVerdictReport(stdout, replay);

  releaseReplay(replay);
  return 0;
}
