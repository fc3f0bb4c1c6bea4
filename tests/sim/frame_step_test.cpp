#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

#include "replay/replay_file.h"
#include "sim/extended.h"
#include "sim/soft_extended.h"
#include "support/sim_helpers.h"

namespace {

constexpr std::uint8_t RIGHT = INPUT_RIGHT;
constexpr std::uint8_t LEFT = INPUT_LEFT;
constexpr std::uint8_t JUMP = INPUT_JUMP;

TEST(FrameStep, StandingStillNeverEnds) {
  GameState s = freshGame(0);
  for (int frame = 0; frame < 20000; ++frame) ASSERT_TRUE(stepFrame(s, 0)) << frame;
  EXPECT_EQ(s.scrolled, 0);
  EXPECT_EQ(s.jumpState, JumpState::Grounded);
  EXPECT_BITS_EQ(s.y, 431.0);
  // vx settles in the subnormal range at five times the smallest step:
  // 0.9 × 5 steps is a little over 4.5 steps and rounds back to 5.
  EXPECT_EQ(bitsOf(s.vx), 5u);
}

TEST(FrameStep, SubnormalFixedPointOfTheDecay) {
  GameState s = freshGame(0);
  s.vx = fromBits(5);
  applyInput(s, 0);
  EXPECT_EQ(bitsOf(s.vx), 5u);
  s.vx = fromBits(6);
  applyInput(s, 0);
  EXPECT_EQ(bitsOf(s.vx), 5u);
  s.vx = -fromBits(5);
  applyInput(s, 0);
  EXPECT_BITS_EQ(s.vx, -fromBits(5));
}

TEST(FrameStep, InputBits) {
  GameState both = freshGame(0), left = freshGame(0), noise = freshGame(0), none = freshGame(0);
  for (int i = 0; i < 30; ++i) {
    stepFrame(both, LEFT | RIGHT);
    stepFrame(left, LEFT);
    stepFrame(noise, 0x04 | 0x08 | 0x20 | 0x40 | 0x80);
    stepFrame(none, 0);
  }
  EXPECT_TRUE(sameState(both, left)) << "left wins when both are held";
  EXPECT_TRUE(sameState(noise, none)) << "other bits do nothing";
}

TEST(FrameStep, SeedZeroJumpWithTheKeyHeld) {
  GameState s = freshGame(0, 0);
  stepFrame(s, JUMP);
  EXPECT_BITS_EQ(s.y, 418.8);
  // About -11.4: the extended sum -12.2 + 0.8 rounds to the binary64 just above it.
  EXPECT_EQ(bitsOf(s.vy), 0xC026CCCCCCCCCCCCu);
  EXPECT_EQ(s.jumpState, JumpState::Rising);
  for (int frame = 2; frame <= 15; ++frame) {
    stepFrame(s, JUMP);
    ASSERT_EQ(s.jumpState, JumpState::Rising) << frame;
  }
  // Gravity turns the speed downward, and with no band holding y the landing
  // check makes the player airborne in the same frame.
  stepFrame(s, JUMP);
  EXPECT_EQ(s.jumpState, JumpState::Airborne);
  for (int frame = 17; frame <= 31; ++frame) {
    stepFrame(s, JUMP);
    ASSERT_EQ(s.jumpState, JumpState::Airborne) << frame;
  }
  stepFrame(s, JUMP);
  EXPECT_EQ(s.jumpState, JumpState::Grounded);
  EXPECT_BITS_EQ(s.x, 200.0);
  EXPECT_BITS_EQ(s.y, 431.0);

  // The latch holds: no second jump while the key stays down.
  for (int frame = 33; frame <= 100; ++frame) stepFrame(s, JUMP);
  EXPECT_EQ(s.jumpState, JumpState::Grounded);
  // Releasing the key for one frame re-arms it.
  stepFrame(s, 0);
  stepFrame(s, JUMP);
  EXPECT_EQ(s.jumpState, JumpState::Rising);
}

TEST(FrameStep, RejumpRepeatsTheJumpEvery32Frames) {
  GameState s = freshGame(0, 1);
  stepFrame(s, JUMP);
  const GameState afterFirst = s;
  for (int frame = 2; frame <= 32; ++frame) stepFrame(s, JUMP);
  EXPECT_EQ(s.jumpState, JumpState::Grounded);
  stepFrame(s, JUMP);
  EXPECT_EQ(s.jumpState, JumpState::Rising);
  EXPECT_BITS_EQ(s.y, afterFirst.y);
  EXPECT_BITS_EQ(s.vy, afterFirst.vy);
}

TEST(FrameStep, HoldingJumpInTheAirJumpsAtTheLanding) {
  // Without rejump: the key pressed only while airborne starts a jump on
  // landing, because only a started jump sets the latch.
  GameState s = freshGame(0, 0);
  stepFrame(s, JUMP);
  for (int frame = 2; frame <= 20; ++frame) stepFrame(s, 0);
  for (int frame = 21; frame <= 32; ++frame) stepFrame(s, JUMP);
  EXPECT_EQ(s.jumpState, JumpState::Grounded);
  stepFrame(s, JUMP);
  EXPECT_EQ(s.jumpState, JumpState::Rising);
}

TEST(FrameStep, RunJumpAndBounceOffTheRightWall) {
  GameState s = freshGame(0, 0);
  runFrames(s, RIGHT, 10);
  EXPECT_BITS_EQ(s.x, 216.51);
  runFrames(s, RIGHT, 10);
  EXPECT_BITS_EQ(s.x, 263.02);
  runFrames(s, RIGHT, 10);
  EXPECT_BITS_EQ(s.x, 339.53);
  EXPECT_BITS_EQ(s.vx, 9.001);
  EXPECT_BITS_EQ(s.y, 431.0);
  EXPECT_EQ(s.jumpState, JumpState::Grounded);

  stepFrame(s, RIGHT | JUMP);
  EXPECT_EQ(s.jumpState, JumpState::Rising) << "the jump starts in frame 31";
  runFrames(s, RIGHT | JUMP, 9);
  EXPECT_BITS_EQ(s.x, 446.04);
  EXPECT_BITS_EQ(s.y, 280.98);
  EXPECT_EQ(s.jumpState, JumpState::Rising);

  runFrames(s, RIGHT | JUMP, 10);
  EXPECT_BITS_EQ(s.x, 547.614);
  EXPECT_BITS_EQ(s.vx, -7.386);

  runFrames(s, RIGHT | JUMP, 20);
  runFrames(s, LEFT, 10);
  EXPECT_BITS_EQ(s.x, 531.0);
  EXPECT_BITS_EQ(s.y, 431.0);
  EXPECT_EQ(s.jumpState, JumpState::Grounded);
}

struct WallCase {
  double x;
  double vx;
  bool bounces;
  double wall;
};

TEST(IntegrateMotion, WallsTestTheUnroundedSum) {
  const double justAboveOne = std::nextafter(1.0, 2.0);
  const WallCase cases[] = {
      {554.0, justAboveOne, true, 555.0},
      {554.0, 1.0, false, 555.0},
      {86.0, -justAboveOne, true, 85.0},
      {86.0, -1.0, false, 85.0},
  };
  for (const WallCase& c : cases) {
    GameState s = freshGame(0);
    s.x = c.x;
    s.vx = c.vx;
    integrateMotion(s);
    EXPECT_BITS_EQ(s.x, c.wall);
    if (c.bounces) {
      // The stored product with -0.9 of the 64-bit-rounded value.
      EXPECT_BITS_EQ(s.vx, store(extMul(widen(c.vx), widen(-0.9))));
      EXPECT_TRUE(s.vx * c.vx < 0) << "bounced back";
    } else {
      EXPECT_BITS_EQ(s.vx, c.vx);
    }
  }
}

TEST(IntegrateMotion, SpeedLimitsAndGravity) {
  GameState s = freshGame(0);
  s.jumpState = JumpState::Airborne;
  s.y = 0.0;
  s.vy = 50.0;
  s.vx = -30.0;
  integrateMotion(s);
  EXPECT_BITS_EQ(s.vx, -12.2);
  EXPECT_BITS_EQ(s.y, 12.2) << "moves with the clamped speed from before gravity";
  EXPECT_BITS_EQ(s.vy, 13.0) << "a long fall settles at 13";
  integrateMotion(s);
  EXPECT_BITS_EQ(s.vy, 13.0);

  s.vy = -500.0;
  s.y = 300.0;
  integrateMotion(s);
  EXPECT_BITS_EQ(s.y, 200.0) << "upward speed is capped at 100";

  s.y = 995.0;
  s.vy = 12.0;
  integrateMotion(s);
  EXPECT_BITS_EQ(s.y, 1000.0);
}

TEST(StartJump, TakeOffSpeed) {
  GameState s = freshGame(0);
  s.vx = 3.0;
  EXPECT_TRUE(startJump(s));
  EXPECT_BITS_EQ(s.vy, -12.2);
  EXPECT_FALSE(startJump(s)) << "only from the ground";

  GameState fast = freshGame(0);
  fast.vx = -8.0;
  EXPECT_TRUE(startJump(fast));
  EXPECT_BITS_EQ(fast.vy, -16.0);
  EXPECT_BITS_EQ(fast.vx, -8.0);
}

TEST(StepFrame, GameOverBelow540) {
  GameState s = freshGame(0);
  s.jumpState = JumpState::Airborne;
  s.x = 300.0;
  s.vy = 0.0;
  s.y = 540.0 - 0.0;
  // No band is this low and the speed is zero, so the player stays at 540.
  s.vx = 0.0;
  s.floors.slot[0] = {0, 0};
  EXPECT_TRUE(stepFrame(s, 0)) << "540 itself is still on the screen";
  EXPECT_BITS_EQ(s.y, 540.0);
  EXPECT_FALSE(stepFrame(s, 0));
}

TEST(StepFrame, ALargeScrollCreatesOneRow) {
  GameState s = freshGame(0);
  s.jumpState = JumpState::Airborne;
  s.scrolled = 111;  // one pixel short of a row boundary
  s.speedLevel = 5;
  s.y = -50.0;  // follow scroll 13 plus 5 for the speed level: e = 18,
  s.vy = 0.0;   // crossing the boundaries at 112 and 128
  const std::int32_t before = s.rowPhase;
  stepFrame(s, 0);
  EXPECT_EQ(s.scrolled, 111 + 18);
  EXPECT_EQ(s.floorCount, 7) << "rowPhase 4: the one call created floor 6";
  EXPECT_EQ(before, 4);
  EXPECT_EQ(s.rowPhase, 0);
}

TEST(StepFrame, SpeedLevelsCountFromTheFirstClimbingFrame) {
  GameState s = freshGame(0);
  s.scrolled = 101;
  s.jumpState = JumpState::Airborne;
  for (int frame = 1; frame <= 1500; ++frame) {
    s.y = 300.0;  // no follow scroll, no landing
    s.vy = 0.0;
    s.jumpState = JumpState::Airborne;
    stepFrame(s, 0);
  }
  EXPECT_EQ(s.speedLevel, 0);
  EXPECT_EQ(s.speedTimer, 1500);
  s.y = 300.0;
  stepFrame(s, 0);
  EXPECT_EQ(s.speedLevel, 1);
  EXPECT_EQ(s.speedTimer, 1);
  // Level 0 scrolls one pixel every other frame: 750 pixels in 1500 frames.
  EXPECT_EQ(s.scrolled, 101 + 750 + 1);
}

// A standing player without speed: nothing but the scroll moves y (a
// grounded player never has its y changed by the landing test).
GameState still(double y, std::int32_t scrolled) {
  GameState s = freshGame(0);
  s.x = 300.0;
  s.y = y;
  s.vx = 0.0;
  s.vy = 0.0;
  s.jumpState = JumpState::Grounded;
  s.scrolled = scrolled;
  return s;
}

TEST(StepFrame, EveryScrollBoundHoldsToTheBit) {
  // The follow scroll by stored y: each bound and the binary64 just below it.
  const struct { double bound; std::int32_t at, below; } follow[] = {
      {160.0, 0, 1}, {140.0, 1, 2}, {120.0, 2, 3}, {100.0, 3, 4}, {80.0, 4, 5},
      {60.0, 5, 6},  {40.0, 6, 8},  {20.0, 8, 10}, {0.0, 10, 13}};
  for (const auto& f : follow) {
    GameState at = still(f.bound, 0), below = still(std::nextafter(f.bound, -1.0), 0);
    stepFrame(at, 0);
    stepFrame(below, 0);
    EXPECT_EQ(at.scrolled, f.at) << "y = " << f.bound;
    EXPECT_EQ(below.scrolled, f.below) << "just below " << f.bound;
  }

  // The automatic scroll starts once scrolled + d passes 100.
  GameState level = still(150.0, 99);
  stepFrame(level, 0);
  EXPECT_EQ(level.scrolled, 100);
  EXPECT_EQ(level.speedTimer, 0);
  stepFrame(level, 0);
  EXPECT_EQ(level.scrolled, 101) << "no extra pixel on an odd frame";
  EXPECT_EQ(level.speedTimer, 1);
  stepFrame(level, 0);
  EXPECT_EQ(level.scrolled, 103) << "d + 1 on an even one";

  // The speed level stops at 5, its timer with it.
  GameState top = still(150.0, 1000);
  top.speedLevel = 5;
  top.speedTimer = 1500;
  stepFrame(top, 0);
  EXPECT_EQ(top.speedLevel, 5);
  EXPECT_EQ(top.speedTimer, 1500);
  EXPECT_EQ(top.scrolled, 1000 + 1 + 5);

  // A scroll of exactly 16 (13 + level 3) ends on the same row phase and
  // still makes one row.
  GameState sixteen = still(-1.0, 1000);
  sixteen.speedLevel = 3;
  const std::int32_t rows = sixteen.floorCount * 5 + sixteen.rowPhase;
  stepFrame(sixteen, 0);
  EXPECT_EQ(sixteen.scrolled, 1016);
  EXPECT_EQ(sixteen.floorCount * 5 + sixteen.rowPhase, rows + 1);
}

TEST(StepFrame, RiseCombosAndStoredResultsAtTheirEdges) {
  // The rise ends when the unrounded vy + 0.8 is above zero: at exactly zero
  // the player is still rising.
  GameState apex = still(300.0, 0);
  apex.jumpState = JumpState::Rising;
  apex.vy = -0.8;
  stepFrame(apex, 0);
  EXPECT_EQ(apex.jumpState, JumpState::Rising);
  stepFrame(apex, 0);
  EXPECT_NE(apex.jumpState, JumpState::Rising);

  // A combo that times out scores its floors squared; the best stays the largest.
  GameState combo = still(300.0, 0);
  combo.comboTimer = 1;
  combo.comboJumps = 2;
  combo.comboFloors = 3;
  combo.bestCombo = 7;
  combo.comboScore = 5;
  stepFrame(combo, 0);
  EXPECT_EQ(combo.comboScore, 14);
  EXPECT_EQ(combo.bestCombo, 7);

  // Operands whose stored result differs from a single binary64 rounding:
  // each stored operation must round at 64 bits first.
  using namespace softext;
  std::mt19937_64 rng(77);
  // (A sum differs only when its operands lie more than 11 binades apart.)
  auto hard = [&](auto exact, auto single, int scale) {
    for (int tries = 0; tries < 1000000; ++tries) {
      const double v = std::ldexp(static_cast<double>(rng() >> 11) + 0x1p53, scale - 53);
      if (bitsOf(toDouble(exact(v))) != bitsOf(single(v))) return v;
    }
    ADD_FAILURE() << "no hard operand found";
    return 0.0;
  };
  const double decay = hard([](double v) { return mul(fromDouble(v), fromDouble(0.9)); }, [](double v) { return v * 0.9; }, 1);
  GameState d = still(300.0, 0);
  d.vx = decay;
  applyInput(d, 0);
  EXPECT_BITS_EQ(d.vx, toDouble(mul(fromDouble(decay), fromDouble(0.9))));

  const double turn = hard([](double v) { return mul(fromDouble(v), fromDouble(0.7)); }, [](double v) { return v * 0.7; }, 2);
  GameState r = still(300.0, 0);
  r.vx = turn;
  applyInput(r, INPUT_LEFT);
  EXPECT_BITS_EQ(r.vx, toDouble(sub(fromDouble(toDouble(mul(fromDouble(turn), fromDouble(0.7)))), fromDouble(0.3))));

  // A vertical speed that small is possible only in principle; the rounding is the same.
  const double fall = -hard([](double v) { return add(fromDouble(-v), fromDouble(0.8)); }, [](double v) { return -v + 0.8; }, -14);
  GameState g = still(300.0, 0);
  g.vy = fall;
  g.jumpState = JumpState::Falling;
  integrateMotion(g);
  EXPECT_BITS_EQ(g.vy, toDouble(add(fromDouble(fall), fromDouble(0.8))));

  // The scroll is added unrounded too: 10 + 2^-50 + 2^-65 is a 53-bit tie
  // only after the 64-bit rounding.
  GameState high = still(0x1p-50 + 0x1p-65, 0);
  stepFrame(high, 0);
  EXPECT_EQ(high.scrolled, 10);
  EXPECT_BITS_EQ(high.y, 10.0);
}

}  // namespace
