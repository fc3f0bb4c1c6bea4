#include "sim/game_state.h"

#include <cstring>

#include "sim/extended.h"
#include "sim/wrap.h"

void initGame(GameState& state, std::int32_t rejump, std::uint32_t seed) {
  state = GameState{};
  state.x = 200.0;
  state.y = 431.0;
  state.vx = k::C0_001;
  state.vy = 0.0;
  state.jumpState = JumpState::Grounded;
  state.rejump = rejump;
  state.rowPhase = 2;
  state.rngState = seed;
  // Rows 3, 8, ..., 28 create floors 0 to 5; the generator ends one row
  // short of floor 6, which the first scrolled row then creates.
  for (int i = 0; i < 32; ++i) generateFloor(state);
}

namespace {

bool sameBits(double a, double b) {
  std::uint64_t ua;
  std::uint64_t ub;
  std::memcpy(&ua, &a, sizeof ua);
  std::memcpy(&ub, &b, sizeof ub);
  return ua == ub;
}

}  // namespace

void scoreCombo(GameState& s) {
  if (s.comboJumps <= 1) return;
  s.comboScore = wrapAdd(s.comboScore, wrapMul(s.comboFloors, s.comboFloors));
  if (s.comboFloors > s.bestCombo) s.bestCombo = s.comboFloors;
}

bool sameState(const GameState& a, const GameState& b) {
  if (!sameBits(a.x, b.x) || !sameBits(a.y, b.y) || !sameBits(a.vx, b.vx) || !sameBits(a.vy, b.vy)) return false;
  if (a.jumpState != b.jumpState || a.scrolled != b.scrolled || a.speedLevel != b.speedLevel ||
      a.speedTimer != b.speedTimer || a.halfStep != b.halfStep || a.rejump != b.rejump ||
      a.jumpLatch != b.jumpLatch || a.comboTimer != b.comboTimer || a.comboJumps != b.comboJumps ||
      a.comboFloors != b.comboFloors || a.comboScore != b.comboScore || a.lastFloor != b.lastFloor ||
      a.bestCombo != b.bestCombo || a.ringNext != b.ringNext || a.floorCount != b.floorCount ||
      a.rowPhase != b.rowPhase || a.rngState != b.rngState)
    return false;
  for (int i = 0; i < FLOOR_RING_SIZE; ++i)
    if (a.floors.slot[i].left != b.floors.slot[i].left || a.floors.slot[i].right != b.floors.slot[i].right) return false;
  return true;
}
