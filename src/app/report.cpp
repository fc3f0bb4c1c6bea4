#include "app/report.h"

#include <cstring>
#include <string>

#include "verify/playback.h"
#include "view/display_text.h"

void printUsage(std::FILE* out) { std::fprintf(out, "Usage: runaudit replay.wlx\n"); }

void printLoadError(std::FILE* out, const char* message) {
  std::fprintf(out, "Error occured while loading replay: %s\n", message);
}

void printReplayInformation(std::FILE* out, const ReplayHeader& h, bool terminal) {
  // The caller has ended both texts at byte 31, so %s and strlen stay inside them.
  const std::string name = terminal ? displayText(h.playerName, std::strlen(h.playerName)) : h.playerName;
  const std::string date = terminal ? displayText(h.date, std::strlen(h.date)) : h.date;
  std::fprintf(out, "Replay information:\nName: %s\nDate: %s\nScore: %d\nFloor: %d\nCombo: %d\nRejump: %s\n",
               name.c_str(), date.c_str(), h.score, h.floor, h.combo, h.rejump != 0 ? "On" : "Off");
}

void runVerdictReport(std::FILE* out, const ReplayFile& replay) {
  std::fprintf(out, "\nPlaying the replay to check it's validity...\n");
  std::fprintf(out, playReplay(replay) ? "Replay is valid\n" : "Replay is invalid\n");
}
