#include "app/report.h"

#include "verify/playback.h"

void printUsage(std::FILE* out) { std::fprintf(out, "Usage: runaudit replay.wlx\n"); }

void printLoadError(std::FILE* out, const char* message) {
  std::fprintf(out, "Error occured while loading replay: %s\n", message);
}

void printReplayInformation(std::FILE* out, const ReplayHeader& h) {
  // The caller has ended both texts at byte 31, so %s stays inside them.
  std::fprintf(out, "Replay information:\nName: %s\nDate: %s\nScore: %d\nFloor: %d\nCombo: %d\nRejump: %s\n",
               h.playerName, h.date, h.score, h.floor, h.combo, h.rejump != 0 ? "On" : "Off");
}

void runVerdictReport(std::FILE* out, const ReplayFile& replay) {
  std::fprintf(out, "\nPlaying the replay to check it's validity...\n");
  std::fprintf(out, playReplay(replay) ? "Replay is valid\n" : "Replay is invalid\n");
}
