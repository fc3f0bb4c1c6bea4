// The edge hunt driven by libFuzzer: the input's bytes choose the blocks of
// a game (support/edge_hunt.h), so that mutations move along the shortcuts'
// preconditions rather than through random records. Skipped and
// frame-by-frame playback, and trace windows, must agree.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "sim/fpu_mode.h"
#include "support/edge_hunt.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  resetFloatingPointUnit();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  HuntBytes bytes{data, size};
  // Shorter games than the seeded hunt's: more of them per second.
  const HuntGame game = huntGame(bytes, 60000);
  ReplayFile replay = huntReplay(game);
  const std::string why = huntCompare(replay, size == 0 ? 0 : data[size - 1] | data[0] << 8);
  releaseReplay(replay);
  if (!why.empty()) {
    std::fprintf(stderr, "skipped and frame-by-frame playback disagree: %s\n", why.c_str());
    std::abort();
  }
  return 0;
}
