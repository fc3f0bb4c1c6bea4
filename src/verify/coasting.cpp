#include "verify/coasting.h"

#include "replay/replay_file.h"
#include "sim/extended.h"
#include "sim/frame_variants.h"
#include "verify/speed_decay.h"

namespace {

// Whether frames of `input` from `state` change nothing but vx, x and
// halfStep, whatever x does within the band's hold.
bool standsStill(const GameState& s, std::uint8_t input) {
  if ((input & (INPUT_LEFT | INPUT_RIGHT)) != 0 || s.jumpState != JumpState::Grounded || s.vy != 0.0) return false;
  const bool jumpHeld = (input & INPUT_JUMP) != 0;
  const bool latchStays = jumpHeld ? s.rejump == 0 && s.jumpLatch != 0 : s.rejump != 0 || s.jumpLatch == 0;
  const bool halfStepFlips = s.halfStep == 0 || s.halfStep == 1;
  return latchStays && halfStepFlips && s.comboTimer == 0 && s.y >= 160.0 && s.scrolled <= 100;
}

// Whether a move of x by vx (|vx| <= 12.2, no clamp) stays within [85, 555]:
// 555 - x and x - 85 are rounded by 2^-44 at most, far less than the margin.
bool movesWithinWalls(double x, double vx) {
  constexpr double MARGIN = 0x1p-40;
  if (!(vx >= -12.2 && vx <= 12.2 && x >= 85.0 && x <= 555.0)) return false;
  return vx >= 0.0 ? vx <= (555.0 - x) - MARGIN : -vx <= (x - 85.0) - MARGIN;
}

// Whether the band holds a foot of a player at x.
bool holdsAFoot(const FloorBand& band, double x) {
  const std::int32_t at = truncStoredLow32(x);
  const auto holds = [&](std::int32_t foot) { return foot >= band.leftPx && foot <= band.rightPx; };
  return holds(at - FOOT_OFFSET) || holds(at + FOOT_OFFSET);
}

}  // namespace

std::uint32_t coastOnFloor(GameState& state, std::uint8_t input, std::uint32_t frames) {
  if (!standsStill(state, input)) return 0;
  const std::int32_t y = truncStoredLow32(state.y);
  const FloorBand band = findFloorBand(state, y);
  if (!band.found || band.floorY != y + 1) return 0;
  double x = state.x;
  double vx = state.vx;
  std::uint32_t n = 0;
  while (n < frames && movesWithinWalls(x, vx)) {
    double nextX = x;
    double nextVx = vx;
    glide(nextX, nextVx);  // no key steers: the input's decay
    if (!holdsAFoot(band, nextX)) break;
    vx = nextVx;
    x = nextX;
    ++n;
    state.x = x;
    state.vx = vx;
    if (speedIsSettled(state, input)) break;
  }
  if (n % 2 != 0) state.halfStep = state.halfStep == 0 ? 1 : 0;
  return n;
}
