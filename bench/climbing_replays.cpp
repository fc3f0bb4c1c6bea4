// Writes the benchmarks' scripted climbing games as replay files, so that
// other builds (the WebAssembly one under node, the programs under
// hyperfine) can be timed on the same games:
//   runaudit_climbing_replays DIR   writes DIR/climb-SEED.wlx
#include <cstdio>
#include <string>

#include "climber.h"
#include "replay_writer.h"
#include "sim/fpu_mode.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: runaudit_climbing_replays DIR\n");
    return 2;
  }
  resetFloatingPointUnit();  // the climber plays the game to choose its keys
  for (std::uint32_t seed = 0; seed < CLIMBING_GAMES; ++seed) {
    const ScriptedGame game = scriptClimb(seed, CLIMBING_MAX_FRAMES);
    const std::string path = std::string(argv[1]) + "/climb-" + std::to_string(seed) + ".wlx";
    if (!writeBytes(path, replayBytes(1, seed, climbRecords(game)))) {
      std::fprintf(stderr, "runaudit_climbing_replays: cannot write %s\n", path.c_str());
      return 1;
    }
  }
  return 0;
}
