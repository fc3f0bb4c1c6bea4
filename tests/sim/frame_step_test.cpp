#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "replay/replay_file.h"
#include "sim/extended.h"
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

}  // namespace
