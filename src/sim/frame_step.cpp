#include "replay/replay_file.h"
#include "sim/frame_arith.h"
#include "sim/frame_variants.h"
#include "sim/game_state.h"
#include "sim/wrap.h"

namespace RUNAUDIT_FRAME_NS {

RUNAUDIT_FRAME_TARGET double steeredSpeed(double vx, std::uint8_t input) {
  // Reversing keeps 0.7 of the speed before accelerating; no key lets it decay.
  if (input & INPUT_LEFT) {
    if (vx > 0.0) vx = store(extMul(widen(vx), widen(k::C0_7)));
    return store(extSub(widen(vx), widen(k::C0_3)));
  }
  if (input & INPUT_RIGHT) {
    if (vx < 0.0) vx = store(extMul(widen(vx), widen(k::C0_7)));
    return store(extAdd(widen(vx), widen(k::C0_3)));
  }
  return store(extMul(widen(vx), widen(k::C0_9)));
}

RUNAUDIT_FRAME_TARGET double bouncedSpeed(double vx) { return store(extMul(widen(vx), widen(k::CM0_9))); }

RUNAUDIT_FRAME_TARGET double movedPosition(double x, double vx) { return store(extAdd(widen(x), widen(vx))); }

RUNAUDIT_FRAME_TARGET void glide(double& x, double& vx) {
  vx = steeredSpeed(vx, 0);
  x = movedPosition(x, vx);
}

// Long chains of the updates above, one call each: the loop keeps the
// speed in a register instead of a call per frame.
[[gnu::flatten]] RUNAUDIT_FRAME_TARGET double decayedSpeed(double vx, std::uint64_t frames, double stopBelow) {
  for (std::uint64_t n = 0; n < frames && !(vx < stopBelow && vx > -stopBelow); ++n) {
    const double next = steeredSpeed(vx, 0);
    if (next == vx) break;  // a value the decay keeps for ever
    vx = next;
  }
  return vx;
}

[[gnu::flatten]] RUNAUDIT_FRAME_TARGET double bouncedOnTheSpot(double vx, std::uint8_t input, std::uint64_t frames) {
  for (std::uint64_t n = 0; n < frames; ++n) vx = bouncedSpeed(steeredSpeed(vx, input));
  return vx;
}

RUNAUDIT_FRAME_TARGET void applyInput(GameState& s, std::uint8_t input) {
  s.vx = steeredSpeed(s.vx, input);

  const bool jumpHeld = (input & INPUT_JUMP) != 0;
  if (s.rejump != 0) {
    if (jumpHeld) (void)startJump(s);
  } else if (!jumpHeld) {
    s.jumpLatch = 0;
  } else if (s.jumpLatch == 0 && startJump(s)) {
    // Only a jump that actually started latches the key.
    s.jumpLatch = 1;
  }
}

RUNAUDIT_FRAME_TARGET bool startJump(GameState& s) {
  if (s.jumpState != JumpState::Grounded) return false;
  s.jumpState = JumpState::Rising;
  // Take off at -|2·vx|, but never slower than 12.2 upward.
  const auto sum = extAdd(widen(s.vx), widen(s.vx));
  s.vy = store(sum);
  if (sum > widen(0.0)) s.vy = store(extNeg(sum));
  if (k::CM12_2 < s.vy) s.vy = k::CM12_2;
  return true;
}

RUNAUDIT_FRAME_TARGET void integrateMotion(GameState& s) {
  if (s.vx > k::C12_2) {
    s.vx = k::C12_2;
  } else if (s.vx < k::CM12_2) {
    s.vx = k::CM12_2;
  }
  if (s.vy > k::C12_2) {
    s.vy = k::C12_2;
  } else if (s.vy < -100.0) {
    s.vy = -100.0;
  }

  // The walls test the unrounded sum: a move beyond them by less than a
  // binary64 step still bounces.
  const auto S = extAdd(widen(s.x), widen(s.vx));
  s.x = store(S);
  if (S > widen(555.0)) {
    s.x = 555.0;
    s.vx = bouncedSpeed(s.vx);
  } else if (S < widen(85.0)) {
    s.x = 85.0;
    s.vx = bouncedSpeed(s.vx);
  }

  // The vertical move uses the speed from before this frame's gravity.
  const auto T = extAdd(widen(s.vy), widen(s.y));
  s.y = store(T);
  if (T > widen(1000.0)) s.y = 1000.0;

  if (s.jumpState != JumpState::Grounded) {
    const auto G = extAdd(widen(s.vy), widen(k::C0_8));
    s.vy = store(G);
    if (s.jumpState == JumpState::Rising && G > widen(0.0)) s.jumpState = JumpState::Falling;
  }
}

namespace {

// Pixels the screen follows a player who climbs high, by the stored y.
std::int32_t followScroll(double y) {
  if (y >= 160.0) return 0;
  if (y < 0.0) return 13;
  if (y < 20.0) return 10;
  if (y < 40.0) return 8;
  if (y < 60.0) return 6;
  if (y < 80.0) return 5;
  if (y < 100.0) return 4;
  if (y < 120.0) return 3;
  if (y < 140.0) return 2;
  return 1;
}

constexpr std::int32_t MAX_SPEED_LEVEL = 5;
constexpr std::int32_t FRAMES_PER_SPEED_LEVEL = 1500;

// Total scroll this frame: the follow scroll plus, once the climb has
// begun, the automatic scroll that speeds up over time.
std::int32_t scrollAmount(GameState& s, std::int32_t d) {
  std::int32_t e = d;
  if (wrapAdd(s.scrolled, d) > 100) {
    if (s.speedLevel > 0) {
      e = d + s.speedLevel;
    } else if (s.halfStep == 0) {
      e = d + 1;
    }
    if (s.speedLevel < MAX_SPEED_LEVEL) {
      s.speedTimer += 1;
      if (s.speedTimer > FRAMES_PER_SPEED_LEVEL) {
        s.speedLevel += 1;
        s.speedTimer -= FRAMES_PER_SPEED_LEVEL;
      }
    }
  }
  return e;
}

void expireCombo(GameState& s) {
  if (s.comboTimer == 0) return;
  s.comboTimer -= 1;
  if (s.comboTimer == 0) scoreCombo(s);
}

}  // namespace

[[gnu::flatten]] RUNAUDIT_FRAME_TARGET bool stepFrame(GameState& s, std::uint8_t input) {
  const std::int32_t oldX = truncLow32(widen(s.x));
  std::int32_t oldY = truncLow32(widen(s.y));

  applyInput(s, input);
  integrateMotion(s);

  const std::int32_t e = scrollAmount(s, followScroll(s.y));
  s.halfStep = s.halfStep == 0 ? 1 : 0;

  if (e != 0) {
    s.scrolled = wrapAdd(s.scrolled, e);
    s.y = store(extAdd(widen(e), widen(s.y)));
    oldY = wrapAdd(oldY, e);  // the previous position moves down with the screen
    // One new row per frame that crosses a 16-pixel boundary, however far it scrolled.
    if (s.scrolled % 16 < wrapSub(s.scrolled, e) % 16 || e >= 16) generateFloor(s);
  }

  expireCombo(s);
  checkLanding(s, oldX, oldY);
  return !(s.y > 540.0);
}

}  // namespace RUNAUDIT_FRAME_NS
