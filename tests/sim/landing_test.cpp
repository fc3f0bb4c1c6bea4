#include <gtest/gtest.h>

#include "sim/extended.h"
#include "sim/wrap.h"
#include "support/sim_helpers.h"

namespace {

TEST(FindFloorBand, LookupsRightAfterInitGame) {
  const GameState s = freshGame(0);

  const FloorBand ground = findFloorBand(s, 431);
  ASSERT_TRUE(ground.found);
  EXPECT_EQ(ground.floorNo, 0);
  EXPECT_EQ(ground.floorY, 432);
  EXPECT_EQ(ground.leftPx, -2);
  EXPECT_EQ(ground.rightPx, 657);

  const FloorBand first = findFloorBand(s, 351);
  ASSERT_TRUE(first.found);
  EXPECT_EQ(first.floorNo, 1);
  EXPECT_EQ(first.floorY, 352);
  EXPECT_EQ(first.leftPx, 24 * 16 - 2);
  EXPECT_EQ(first.rightPx, 32 * 16 + 17);

  EXPECT_FALSE(findFloorBand(s, 447).found) << "c = 496, r = 16";
  // The band is the standing row and the 15 rows below it.
  EXPECT_TRUE(findFloorBand(s, 446).found);
  EXPECT_FALSE(findFloorBand(s, 430).found);
}

TEST(FindFloorBand, OutsideTheScreenRangeNothingIsFound) {
  for (std::int32_t phase = 0; phase <= 4; ++phase) {
    GameState s = freshGame(5);
    s.rowPhase = phase;
    for (std::int32_t scrolled : {0, 7, 15, 1234}) {
      s.scrolled = scrolled;
      EXPECT_FALSE(findFloorBand(s, 479).found);
      EXPECT_FALSE(findFloorBand(s, -34).found);
      EXPECT_FALSE(findFloorBand(s, INT32_MIN).found);
      EXPECT_FALSE(findFloorBand(s, INT32_MAX).found);
    }
  }
}

TEST(FindFloorBand, SurfaceFollowsTheScroll) {
  GameState s = freshGame(0);
  s.scrolled = 5;
  const FloorBand b = findFloorBand(s, 431);
  ASSERT_TRUE(b.found);
  EXPECT_EQ(b.floorY, 5 - 0 + 432);
  // Negative y + 1 uses the truncating remainder.
  s.scrolled = 0;
  s.rowPhase = 0;
  const FloorBand high = findFloorBand(s, -33);
  ASSERT_TRUE(high.found);
  EXPECT_EQ(high.floorY, 0 - (-32 % 16) + -32);
}

TEST(SegmentsIntersect, ExtendedArithmeticPlacesTheHit) {
  // E × t is exactly 42.5 in extended arithmetic; binary64 gives just below
  // it and would put the hit at 184.
  const Intersection hit = segmentsIntersect({187, 347}, {184, 353}, {142, 352}, {385, 352});
  ASSERT_TRUE(hit.hit);
  EXPECT_EQ(hit.outX, 185);
  EXPECT_EQ(hit.outY, 352);
}

TEST(SegmentsIntersect, ParallelAndEndPoints) {
  EXPECT_FALSE(segmentsIntersect({0, 10}, {50, 10}, {0, 10}, {100, 10}).hit) << "collinear";
  EXPECT_FALSE(segmentsIntersect({0, 5}, {50, 5}, {0, 10}, {100, 10}).hit) << "parallel";

  // A path ending exactly on the surface, and one starting on it.
  const Intersection ends = segmentsIntersect({189, 431}, {189, 432}, {-2, 432}, {657, 432});
  ASSERT_TRUE(ends.hit);
  EXPECT_EQ(ends.outX, 189);
  EXPECT_EQ(ends.outY, 432);
  EXPECT_TRUE(segmentsIntersect({189, 432}, {189, 440}, {-2, 432}, {657, 432}).hit);

  // A path through either end of the floor touches it.
  EXPECT_TRUE(segmentsIntersect({-2, 420}, {-2, 440}, {-2, 432}, {657, 432}).hit);
  const Intersection right = segmentsIntersect({657, 420}, {657, 440}, {-2, 432}, {657, 432});
  ASSERT_TRUE(right.hit);
  EXPECT_EQ(right.outX, 657);
  EXPECT_FALSE(segmentsIntersect({658, 420}, {658, 440}, {-2, 432}, {657, 432}).hit);
  EXPECT_FALSE(segmentsIntersect({100, 400}, {100, 431}, {-2, 432}, {657, 432}).hit) << "stops short";
}

// Drops a falling player onto floor `floorNo` (0..5) of a seed-0 game,
// through the middle of the floor, and runs the landing check.
void landOn(GameState& s, std::int32_t floorNo) {
  const std::int32_t surface = 432 - 80 * floorNo;
  const FloorSlot& f = s.floors.slot[floorNo];
  const std::int32_t midX = (f.left * 16 - 2 + f.right * 16 + 17) / 2;
  s.jumpState = JumpState::Falling;
  s.x = midX;
  s.y = surface + 3;
  checkLanding(s, midX, surface - 6);
  ASSERT_EQ(s.jumpState, JumpState::Grounded);
  ASSERT_EQ(s.lastFloor, floorNo);
}

TEST(CheckLanding, LandingPlacesThePlayerOnTheSurface) {
  GameState s = freshGame(0);
  landOn(s, 2);
  EXPECT_BITS_EQ(s.y, 271.0);
  EXPECT_BITS_EQ(s.vy, 0.0);
  EXPECT_EQ(s.comboTimer, 100);
  EXPECT_EQ(s.comboFloors, 2);
  EXPECT_EQ(s.comboJumps, 1);
}

TEST(CheckLanding, LeftFootWinsAndPlacesTheLanding) {
  GameState s = freshGame(0);
  s.jumpState = JumpState::Falling;
  s.x = 195.5;  // the left foot's path is the 42.5 example
  s.y = 352.0;
  s.rowPhase = 4;
  // Floor 1 spans 382..529 for seed 0; give it the width of the example.
  s.floors.slot[1] = {9, 23};  // 142 .. 385
  checkLanding(s, 198, 347);
  EXPECT_EQ(s.jumpState, JumpState::Grounded);
  EXPECT_BITS_EQ(s.x, 196.0);
  EXPECT_BITS_EQ(s.y, 351.0);
}

TEST(CheckLanding, StandingAndLosingContact) {
  GameState s = freshGame(0);
  checkLanding(s, 200, 431);
  EXPECT_EQ(s.jumpState, JumpState::Grounded) << "a standing player stays";
  EXPECT_EQ(s.lastFloor, 0);

  // Both feet beyond floor 1's right end (529): the player starts to fall.
  s.y = 351.0;
  s.x = 560.0;
  checkLanding(s, 560, 351);
  EXPECT_EQ(s.jumpState, JumpState::Airborne);

  GameState rising = freshGame(0);
  rising.jumpState = JumpState::Rising;
  rising.y = 435.0;
  checkLanding(rising, 200, 420);
  EXPECT_EQ(rising.jumpState, JumpState::Rising) << "nothing lands while moving up";
  EXPECT_BITS_EQ(rising.y, 435.0);
}

TEST(Combos, TwoMultiFloorJumpsScoreTheSquareOfTheirFloors) {
  GameState s = freshGame(0);
  s.bestCombo = 1;
  landOn(s, 2);
  landOn(s, 4);
  EXPECT_EQ(s.comboFloors, 4);
  EXPECT_EQ(s.comboJumps, 2);
  EXPECT_EQ(s.comboTimer, 100);
  landOn(s, 5);
  EXPECT_EQ(s.comboTimer, 1) << "one floor up cuts the combo";
  EXPECT_EQ(s.comboScore, 0);
  stepFrame(s, 0);
  EXPECT_EQ(s.comboScore, 16);
  EXPECT_EQ(s.bestCombo, 4);
  EXPECT_EQ(s.comboTimer, 0);
}

TEST(Combos, ASingleMultiFloorJumpScoresNothing) {
  GameState s = freshGame(0);
  landOn(s, 3);
  for (int frame = 0; frame < 99; ++frame) stepFrame(s, 0);
  EXPECT_EQ(s.comboTimer, 1);
  stepFrame(s, 0);
  EXPECT_EQ(s.comboTimer, 0);
  EXPECT_EQ(s.comboScore, 0);
  EXPECT_EQ(s.bestCombo, 0);
  EXPECT_EQ(s.comboFloors, 3) << "kept until the next multi-floor landing";
}

TEST(Combos, LandingOnTheSameFloorKeepsTheTimer) {
  GameState s = freshGame(0);
  landOn(s, 2);
  s.comboTimer = 40;
  landOn(s, 2);
  EXPECT_EQ(s.comboTimer, 40);
  landOn(s, 1);
  EXPECT_EQ(s.comboTimer, 1) << "a lower floor cuts it too";
}

}  // namespace

namespace {

// The intersection exactly as the game computes it: both quotients formed
// in extended arithmetic and compared with 0 and 1.
Intersection referenceIntersect(IntPoint p1, IntPoint p2, IntPoint q1, IntPoint q2) {
  const std::int32_t A = wrapSub(p1.x, p2.x), F = wrapSub(p1.y, p2.y), E = wrapSub(q2.x, q1.x),
                     B = wrapSub(q2.y, q1.y), G = wrapSub(q1.x, p2.x), H = wrapSub(q1.y, p2.y);
  const std::int32_t D = wrapSub(wrapMul(F, E), wrapMul(A, B));
  if (D == 0) return {false, 0, 0};
  const Ext inv = extDiv(widen(1.0), widen(D));
  const Ext t = extMul(widen(wrapSub(wrapMul(H, A), wrapMul(G, F))), inv);
  if (t < widen(0.0) || t > widen(1.0)) return {false, 0, 0};
  const Ext u = extMul(widen(wrapSub(wrapMul(H, E), wrapMul(G, B))), inv);
  if (u < widen(0.0) || u > widen(1.0)) return {false, 0, 0};
  return {true, wrapAdd(q1.x, truncLow32(extAdd(extMul(widen(E), t), widen(0.5)))),
          wrapAdd(q1.y, truncLow32(extAdd(extMul(widen(B), t), widen(0.5))))};
}

TEST(SegmentsIntersect, AgreesWithTheExtendedComputationEverywhere) {
  std::uint32_t rng = 12345;
  auto next = [&rng](int span) {
    rng = rng * 1664525u + 1013904223u;
    return static_cast<std::int32_t>((rng >> 8) % static_cast<std::uint32_t>(span)) - span / 2;
  };
  int hits = 0;
  for (int i = 0; i < 400000; ++i) {
    // Feet paths of a few pixels against horizontal floors, as in the game,
    // with end points often exactly on the surface or on a floor end.
    const std::int32_t floorY = next(200), left = next(400), right = left + 1 + next(300) + 150;
    const IntPoint q1{left, floorY}, q2{right, floorY};
    const std::int32_t x1 = i % 3 == 0 ? left : left + next(700);
    // Every fourth path falls straight down: landings on the spot.
    const std::int32_t x2 = i % 5 == 0 ? right : i % 4 == 1 ? x1 : x1 + next(60);
    const std::int32_t y1 = floorY + next(30), y2 = i % 2 == 0 ? floorY : floorY + next(30);
    const Intersection got = segmentsIntersect({x1, y1}, {x2, y2}, q1, q2);
    const Intersection want = referenceIntersect({x1, y1}, {x2, y2}, q1, q2);
    ASSERT_EQ(got.hit, want.hit) << x1 << "," << y1 << " " << x2 << "," << y2 << " floor " << left << ".." << right;
    if (want.hit) {
      ++hits;
      ASSERT_EQ(got.outX, want.outX);
      ASSERT_EQ(got.outY, want.outY);
    }
  }
  EXPECT_GT(hits, 10000) << "the cases must exercise hits, not only misses";

  // Straight down onto level floors, at coordinates around the 2^15 where
  // the landing stops taking its shortcut and beyond, where products wrap.
  for (int i = 0; i < 200000; ++i) {
    const std::int32_t scale = 1 << (i % 8 + 12);
    const std::int32_t x = next(scale), left = x - next(scale) - scale / 2, right = x + next(scale) + scale / 2;
    const std::int32_t floorY = next(scale), y1 = floorY - 1 - next(scale), y2 = floorY + next(scale);
    const Intersection got = segmentsIntersect({x, y1}, {x, y2}, {left, floorY}, {right, floorY});
    const Intersection want = referenceIntersect({x, y1}, {x, y2}, {left, floorY}, {right, floorY});
    ASSERT_EQ(got.hit, want.hit) << x << " " << y1 << ".." << y2 << " floor " << left << ".." << right;
    if (want.hit) {
      ASSERT_TRUE(got.outX == want.outX && got.outY == want.outY) << x << " " << y1 << ".." << y2;
    }
  }

  // Arbitrary segments, slanted floors included.
  for (int i = 0; i < 400000; ++i) {
    const IntPoint p1{next(4000), next(4000)}, p2{next(4000), next(4000)};
    const IntPoint q1{next(4000), next(4000)}, q2{i % 7 == 0 ? p1.x : next(4000), i % 7 == 0 ? p1.y : next(4000)};
    const Intersection got = segmentsIntersect(p1, p2, q1, q2);
    const Intersection want = referenceIntersect(p1, p2, q1, q2);
    ASSERT_EQ(got.hit, want.hit);
    if (want.hit) {
      ASSERT_EQ(got.outX, want.outX);
      ASSERT_EQ(got.outY, want.outY);
    }
  }
}

}  // namespace
