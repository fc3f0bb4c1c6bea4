#include "verify/pinned_at_wall.h"

#include "replay/replay_file.h"
#include "sim/frame_variants.h"

bool pinnedAtWall(const GameState& state, std::uint8_t input) {
  if ((input & INPUT_LEFT) != 0) return state.x == 85.0 && state.vx >= -0.1 && state.vx <= 0.4;
  if ((input & INPUT_RIGHT) != 0) return state.x == 555.0 && state.vx >= -0.4 && state.vx <= 0.1;
  return false;
}

double pinnedSpeed(double vx, std::uint8_t input, std::uint64_t frames) {
  return bounceSpeedChain(vx, input, frames);
}

PinnedLimit pinnedLimit(double vx, std::uint8_t input, std::uint32_t limit) {
  double at = vx;
  for (std::uint32_t m = 0; m + 2 <= limit; m += 2) {
    const double next = pinnedSpeed(at, input, 2);
    if (next == at) return {m, at};
    at = next;
  }
  return {0, vx};
}
