#include <gtest/gtest.h>

#include <vector>

#include "support/sim_helpers.h"

namespace {

std::vector<FloorSlot> slots(const GameState& s, int from, int count) {
  std::vector<FloorSlot> out;
  for (int i = from; i < from + count; ++i) out.push_back(s.floors.slot[i % FLOOR_RING_SIZE]);
  return out;
}

void expectFloors(const std::vector<FloorSlot>& actual, const std::vector<FloorSlot>& expected) {
  ASSERT_EQ(actual.size(), expected.size());
  for (std::size_t i = 0; i < actual.size(); ++i) {
    EXPECT_EQ(actual[i].left, expected[i].left) << "floor " << i;
    EXPECT_EQ(actual[i].right, expected[i].right) << "floor " << i;
  }
}

// Makes the next generateFloor call create floor n.
GameState readyForFloor(std::int32_t n, std::uint32_t seed) {
  GameState s = freshGame(seed);
  s.floorCount = n;
  s.rowPhase = 4;
  return s;
}

// How many values floor n takes from the generator.
int drawsForFloor(std::int32_t n) {
  GameState s = readyForFloor(n, 12345);
  GameState probe = s;
  generateFloor(s);
  for (int draws = 0; draws < 4; ++draws) {
    if (probe.rngState == s.rngState) return draws;
    (void)rngNext(probe);
  }
  return -1;
}

TEST(FloorGenerator, InitGameLaysOutFloorsZeroToFive) {
  for (std::uint32_t seed : {0u, 1u, 36u, 0xFFFFFFFFu}) {
    const GameState s = freshGame(seed, 3);
    EXPECT_EQ(s.floorCount, 6);
    EXPECT_EQ(s.ringNext, 6);
    EXPECT_EQ(s.rowPhase, 4);
    EXPECT_EQ(s.jumpState, JumpState::Grounded);
    EXPECT_BITS_EQ(s.x, 200.0);
    EXPECT_BITS_EQ(s.y, 431.0);
    EXPECT_BITS_EQ(s.vx, 0.001);
    EXPECT_EQ(s.rejump, 3);
    EXPECT_EQ(s.floors.slot[0].left, 0) << "floor 0 is full width";
    EXPECT_EQ(s.floors.slot[0].right, 40);
  }
  expectFloors(slots(freshGame(0), 0, 6), {{0, 40}, {24, 32}, {11, 24}, {10, 24}, {10, 20}, {27, 34}});
  expectFloors(slots(freshGame(1), 0, 6), {{0, 40}, {23, 34}, {19, 32}, {17, 31}, {5, 14}, {6, 19}});
}

TEST(FloorGenerator, EveryFifthRowCreatesTheNextFloor) {
  GameState s = freshGame(0);
  generateFloor(s);  // the first scrolled row creates floor 6 at once
  EXPECT_EQ(s.floorCount, 7);
  for (int row = 0; row < 4; ++row) generateFloor(s);
  EXPECT_EQ(s.floorCount, 7);
  for (int floor = 0; floor < 4; ++floor)
    for (int row = 0; row < 5; ++row) generateFloor(s);
  EXPECT_EQ(s.floorCount, 11);
  EXPECT_EQ(s.ringNext, 4);
  expectFloors(slots(s, 6, 5), {{7, 16}, {14, 28}, {6, 20}, {18, 32}, {21, 27}});
}

TEST(FloorGenerator, FullWidthFloorsDrawNothing) {
  for (std::int32_t n : {50, 100, 1000, 1500, 10000}) {
    GameState s = readyForFloor(n, 99);
    const std::uint32_t before = s.rngState;
    generateFloor(s);
    EXPECT_EQ(s.rngState, before) << n;
    EXPECT_EQ(s.floors.slot[6].left, 0) << n;
    EXPECT_EQ(s.floors.slot[6].right, 40) << n;
  }
  // Floor 51 uses the values floor 50 would otherwise have drawn.
  GameState after50 = readyForFloor(50, 99);
  for (int row = 0; row < 6; ++row) generateFloor(after50);
  GameState direct = readyForFloor(51, 99);
  generateFloor(direct);
  EXPECT_EQ(after50.floors.slot[0].left, direct.floors.slot[6].left);
  EXPECT_EQ(after50.floors.slot[0].right, direct.floors.slot[6].right);
}

TEST(FloorGenerator, DrawsPerFloorAndWidths) {
  struct Row {
    std::int32_t n;
    int draws;
    std::int32_t width;  // 0: varies with the draw
  };
  const Row rows[] = {{1, 2, 0},   {239, 2, 0},  {240, 2, 6},  {599, 2, 6},  {601, 1, 6},
                      {999, 1, 6}, {1050, 1, 5}, {1499, 1, 5}, {1500, 0, 0}, {1501, 1, 4},
                      {2001, 1, 3}, {9999, 1, 3}, {10001, 1, 2}};
  for (const Row& r : rows) {
    EXPECT_EQ(drawsForFloor(r.n), r.draws) << "floor " << r.n;
    for (std::uint32_t seed = 0; seed < 50; ++seed) {
      GameState s = readyForFloor(r.n, seed);
      generateFloor(s);
      const FloorSlot f = s.floors.slot[6];
      EXPECT_GE(f.left, r.n == 1500 ? 0 : 5);
      EXPECT_LE(f.right, r.n == 1500 ? 40 : 34);
      if (r.width != 0) {
        EXPECT_EQ(f.right - f.left, r.width) << "floor " << r.n;
      }
    }
  }
  // Below 240 the widths narrow every 30 floors: 6..14 tiles early, 6..7 late.
  for (std::uint32_t seed = 0; seed < 200; ++seed) {
    GameState early = readyForFloor(1, seed), late = readyForFloor(239, seed);
    generateFloor(early);
    generateFloor(late);
    const std::int32_t we = early.floors.slot[6].right - early.floors.slot[6].left;
    const std::int32_t wl = late.floors.slot[6].right - late.floors.slot[6].left;
    EXPECT_TRUE(we >= 6 && we <= 14) << we;
    EXPECT_TRUE(wl >= 6 && wl <= 7) << wl;
  }
}

TEST(FloorGenerator, RandomSequence) {
  GameState s{};
  s.rngState = 0;
  EXPECT_EQ(rngNext(s), 38);  // (2531011 >> 16) & 0x7FFF
  EXPECT_EQ(s.rngState, 2531011u);
  s.rngState = 0xFFFFFFFFu;  // wraps modulo 2^32
  const std::uint32_t expected = 0xFFFFFFFFu * 214013u + 2531011u;
  EXPECT_EQ(rngNext(s), static_cast<std::int32_t>((expected >> 16) & 0x7FFF));
}

}  // namespace
