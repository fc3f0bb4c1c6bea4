#include "sim/extended.h"
#include "sim/game_state.h"
#include "sim/wrap.h"

FloorBand findFloorBand(const GameState& state, std::int32_t y) {
  FloorBand band{};
  if (y < -33 || y > 478) return band;

  // Bands are the 16-pixel rows just above each floor's surface; rowPhase
  // says where the 80-pixel floor spacing stands against the scroll.
  const std::int32_t c = y - 16 * state.rowPhase + 113;
  const std::int32_t q = c / 80;
  const std::int32_t r = c - 80 * q;
  if (r > 15) return band;

  std::int32_t s = state.ringNext - q;
  if (s < 0) s += FLOOR_RING_SIZE;
  const FloorSlot& floor = state.floors.slot[s];

  band.found = true;
  band.floorY = (state.scrolled % 16) - ((y + 1) % 16) + y + 1;
  band.leftPx = floor.left * 16 - 2;
  band.rightPx = floor.right * 16 + 17;
  band.floorNo = wrapSub(state.floorCount, q);
  return band;
}

Intersection segmentsIntersect(IntPoint p1, IntPoint p2, IntPoint q1, IntPoint q2) {
  const std::int32_t A = wrapSub(p1.x, p2.x);
  const std::int32_t F = wrapSub(p1.y, p2.y);
  const std::int32_t E = wrapSub(q2.x, q1.x);
  const std::int32_t B = wrapSub(q2.y, q1.y);
  const std::int32_t G = wrapSub(q1.x, p2.x);
  const std::int32_t H = wrapSub(q1.y, p2.y);

  const Intersection miss{false, 0, 0};
  const std::int32_t D = wrapSub(wrapMul(F, E), wrapMul(A, B));
  if (D == 0) return miss;  // parallel paths never meet

  // Both quotients are products with one reciprocal, each kept extended.
  const Ext inv = extDiv(widen(1.0), widen(D));
  const Ext t = extMul(widen(wrapSub(wrapMul(H, A), wrapMul(G, F))), inv);
  if (t < widen(0.0) || t > widen(1.0)) return miss;
  const Ext u = extMul(widen(wrapSub(wrapMul(H, E), wrapMul(G, B))), inv);
  if (u < widen(0.0) || u > widen(1.0)) return miss;

  const std::int32_t dx = truncLow32(extAdd(extMul(widen(E), t), widen(k::C0_5)));
  const std::int32_t dy = truncLow32(extAdd(extMul(widen(B), t), widen(k::C0_5)));
  return Intersection{true, wrapAdd(q1.x, dx), wrapAdd(q1.y, dy)};
}

namespace {

// Foot offsets from the player's centre, and the one-pixel gap between the
// player's y and the feet.
constexpr std::int32_t FOOT_OFFSET = 11;

void scoreLanding(GameState& state, std::int32_t floorNo) {
  const std::int32_t gain = wrapSub(floorNo, state.lastFloor);
  if (gain > 1) {
    // A multi-floor jump starts a combo or extends the running one.
    if (state.comboTimer != 0) {
      state.comboFloors = wrapAdd(state.comboFloors, gain);
      state.comboJumps = wrapAdd(state.comboJumps, 1);
    } else {
      state.comboFloors = gain;
      state.comboJumps = 1;
    }
    state.comboTimer = 100;
  } else if (floorNo != state.lastFloor && state.comboTimer != 0) {
    state.comboTimer = 1;  // ends at the next frame's timeout step
  }
  state.lastFloor = floorNo;
}

}  // namespace

void checkLanding(GameState& state, std::int32_t oldX, std::int32_t oldY) {
  if (state.jumpState == JumpState::Rising) return;

  const std::int32_t curY = truncLow32(widen(state.y));
  FloorBand band = findFloorBand(state, curY);
  if (!band.found) band = findFloorBand(state, oldY);

  if (band.found) {
    const std::int32_t curX = truncLow32(widen(state.x));
    const IntPoint q1{band.leftPx, band.floorY};
    const IntPoint q2{band.rightPx, band.floorY};
    const std::int32_t feetY = wrapAdd(curY, 1);

    // The left foot is tried first; the right only when the left misses.
    bool hit = false;
    std::int32_t landX = 0;
    const Intersection left = segmentsIntersect({wrapSub(oldX, FOOT_OFFSET), oldY},
                                                {wrapSub(curX, FOOT_OFFSET), feetY}, q1, q2);
    if (left.hit) {
      hit = true;
      landX = wrapAdd(left.outX, FOOT_OFFSET);
    } else {
      const Intersection right = segmentsIntersect({wrapAdd(oldX, FOOT_OFFSET), oldY},
                                                   {wrapAdd(curX, FOOT_OFFSET), feetY}, q1, q2);
      if (right.hit) {
        hit = true;
        landX = wrapSub(right.outX, FOOT_OFFSET);
      }
    }

    if (hit) {
      if (state.jumpState == JumpState::Grounded) return;  // still standing
      state.y = static_cast<double>(band.floorY - 1);
      state.jumpState = JumpState::Grounded;
      state.vy = 0.0;
      state.x = static_cast<double>(landX);
      scoreLanding(state, band.floorNo);
      return;
    }
  }

  // Lost contact with any floor.
  if (state.jumpState == JumpState::Falling || state.jumpState == JumpState::Grounded)
    state.jumpState = JumpState::Airborne;
}
