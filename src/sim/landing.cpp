#include "sim/extended.h"
#include "sim/game_state.h"
#include "sim/wrap.h"

namespace {

// Inlined into the landing check, which asks up to twice a frame.
[[gnu::always_inline]] inline FloorBand floorBandAt(const GameState& state, std::int32_t y) {
  FloorBand band{};
  if (y < FLOOR_BAND_TOP_ROW || y > FLOOR_BAND_BOTTOM_ROW) return band;

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

}  // namespace

FloorBand findFloorBand(const GameState& state, std::int32_t y) { return floorBandAt(state, y); }

namespace {

// Whether the extended quotient num × ext(1 / den) lies in [0, 1], decided
// exactly on the integers, so that a miss, or a touch that needs no
// landing point, costs no division. The quotient has num's sign relative
// to den and is nonzero when num is. When |num| > |den| it is at least
// 1 + 1/|den| >= 1 + 2^-31 before two roundings of relative size 2^-64, so
// above 1. When |num| < |den| it is at most (1 - 2^-31)(1 + 2^-63): below 1.
// When num = den, den × ext(1 / den) is within 2^-64 of 1 and rounds to 1
// or to the extended number just below it: never above.
bool quotientInUnit(std::int32_t num, std::int32_t den) {
  if (num == 0) return true;
  if ((num < 0) != (den < 0)) return false;
  const std::int64_t n = num < 0 ? -static_cast<std::int64_t>(num) : num;
  const std::int64_t d = den < 0 ? -static_cast<std::int64_t>(den) : den;
  return n <= d;
}

// The integers of a foot path P against a floor surface Q.
struct Crossing {
  bool hit;
  std::int32_t tNum;  // t = tNum / den runs along the floor
  std::int32_t den;
  std::int32_t E;
  std::int32_t B;
  std::int32_t A;  // horizontal run of the foot path, 0 when straight down
  std::int32_t F;
  std::int32_t G;
};

[[gnu::always_inline]] inline Crossing crossSegments(IntPoint p1, IntPoint p2, IntPoint q1, IntPoint q2) {
  const std::int32_t A = wrapSub(p1.x, p2.x);
  const std::int32_t F = wrapSub(p1.y, p2.y);
  const std::int32_t E = wrapSub(q2.x, q1.x);
  const std::int32_t B = wrapSub(q2.y, q1.y);
  const std::int32_t G = wrapSub(q1.x, p2.x);
  const std::int32_t H = wrapSub(q1.y, p2.y);

  Crossing c{false, 0, 0, E, B, A, F, G};
  c.den = wrapSub(wrapMul(F, E), wrapMul(A, B));
  if (c.den == 0) return c;  // parallel paths never meet
  c.tNum = wrapSub(wrapMul(H, A), wrapMul(G, F));
  const std::int32_t uNum = wrapSub(wrapMul(H, E), wrapMul(G, B));
  c.hit = quotientInUnit(c.tNum, c.den) && quotientInUnit(uNum, c.den);
  return c;
}

// A foot path straight down (A = 0) onto a level floor (B = 0) from the
// left end (E > 0), all within 2^15 so that no product wraps: then
// den = F·E and tNum = -G·F, t = n / E with n = -G in [0, E] (the hit),
// and the three extended steps that form E·t are off by a relative 2^-62
// at most, 2^-47 absolutely: E·t + 0.5 rounds to within 2^-46 of n + 0.5
// and truncates to n, while B·t + 0.5 is 0.5 and truncates to 0. The hit
// is the path's own end: no division needed.
bool fallsStraightOntoLevelFloor(const Crossing& c) {
  constexpr std::int32_t LIMIT = 1 << 15;
  const auto within = [](std::int32_t v) { return v >= -LIMIT && v <= LIMIT; };
  return c.A == 0 && c.B == 0 && c.E > 0 && c.E <= LIMIT && within(c.F) && within(c.G);
}

// Where a crossing meets the floor: t as the product with the one
// reciprocal, each step kept extended, rounded half up by truncation.
Intersection hitPoint(const Crossing& c, IntPoint q1) {
  if (fallsStraightOntoLevelFloor(c)) return Intersection{true, q1.x - c.G, q1.y};
  const Ext inv = extDiv(widen(1.0), widen(c.den));
  const Ext t = extMul(widen(c.tNum), inv);
  const std::int32_t dx = truncLow32(extAdd(extMul(widen(c.E), t), widen(k::C0_5)));
  const std::int32_t dy = truncLow32(extAdd(extMul(widen(c.B), t), widen(k::C0_5)));
  return Intersection{true, wrapAdd(q1.x, dx), wrapAdd(q1.y, dy)};
}

}  // namespace

Intersection segmentsIntersect(IntPoint p1, IntPoint p2, IntPoint q1, IntPoint q2) {
  const Crossing c = crossSegments(p1, p2, q1, q2);
  if (!c.hit) return Intersection{false, 0, 0};
  return hitPoint(c, q1);
}

namespace {

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

  const std::int32_t curY = truncStoredLow32(state.y);
  FloorBand band = floorBandAt(state, curY);
  if (!band.found) band = floorBandAt(state, oldY);

  if (band.found) {
    const std::int32_t curX = truncStoredLow32(state.x);
    const IntPoint q1{band.leftPx, band.floorY};
    const IntPoint q2{band.rightPx, band.floorY};
    const std::int32_t feetY = wrapAdd(curY, 1);

    // The left foot is tried first; the right only when the left misses.
    // (Only the verdict is kept here: the crossing itself is formed again
    // for a landing, which keeps the common frame's integers in registers.)
    const auto foot = [&](std::int32_t offset) {
      return crossSegments({wrapAdd(oldX, offset), oldY}, {wrapAdd(curX, offset), feetY}, q1, q2);
    };
    std::int32_t footOffset = -FOOT_OFFSET;
    bool hit = foot(footOffset).hit;
    if (!hit) {
      footOffset = FOOT_OFFSET;
      hit = foot(footOffset).hit;
    }

    if (hit) {
      if (state.jumpState == JumpState::Grounded) return;  // still standing
      const Intersection at = hitPoint(foot(footOffset), q1);
      state.y = static_cast<double>(band.floorY - 1);
      state.jumpState = JumpState::Grounded;
      state.vy = 0.0;
      state.x = static_cast<double>(wrapSub(at.outX, footOffset));
      scoreLanding(state, band.floorNo);
      return;
    }
  }

  // Lost contact with any floor.
  if (state.jumpState == JumpState::Falling || state.jumpState == JumpState::Grounded)
    state.jumpState = JumpState::Airborne;
}
