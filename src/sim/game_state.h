// The complete state of a simulated game and the operations that advance it.
// Nothing outside a GameState influences a frame: the same state and input
// always give the same next state, bit for bit.
#pragma once

#include <cstdint>

enum class JumpState : std::int32_t { Grounded = 0, Rising = 1, Falling = 2, Airborne = 3 };

// A floor's extent in 16-pixel tile columns.
struct FloorSlot {
  std::int32_t left;
  std::int32_t right;
};

inline constexpr int FLOOR_RING_SIZE = 7;

struct FloorRing {
  FloorSlot slot[FLOOR_RING_SIZE];
};

struct GameState {
  double x;
  double y;
  double vx;
  double vy;
  JumpState jumpState;
  std::int32_t scrolled;
  std::int32_t speedLevel;
  std::int32_t speedTimer;
  std::int32_t halfStep;
  std::int32_t rejump;
  std::int32_t jumpLatch;
  std::int32_t comboTimer;
  std::int32_t comboJumps;
  std::int32_t comboFloors;
  std::int32_t comboScore;
  std::int32_t lastFloor;
  std::int32_t bestCombo;
  FloorRing floors;
  std::int32_t ringNext;
  std::int32_t floorCount;
  std::int32_t rowPhase;
  std::uint32_t rngState;
};

// The feet's offsets from the player's x, left and right; the feet are one
// pixel below y.
inline constexpr std::int32_t FOOT_OFFSET = 11;

struct FloorBand {
  bool found;
  std::int32_t floorY;  // y of the floor's surface line
  std::int32_t leftPx;
  std::int32_t rightPx;
  std::int32_t floorNo;  // generation order; floor 0 is the ground
};

struct IntPoint {
  std::int32_t x;
  std::int32_t y;
};

struct Intersection {
  bool hit;
  std::int32_t outX;
  std::int32_t outY;
};

// Fresh game for a replay header's rejump setting and seed; floors 0 to 5 laid out.
void initGame(GameState& state, std::int32_t rejump, std::uint32_t seed);

// Floor generator: the next pseudo-random value, 0..32767.
std::int32_t rngNext(GameState& state);
// One 16-pixel row of scrolling; every fifth call creates the next floor.
void generateFloor(GameState& state);

// The rows findFloorBand looks at; it finds no band above or below them.
inline constexpr std::int32_t FLOOR_BAND_TOP_ROW = -33;
inline constexpr std::int32_t FLOOR_BAND_BOTTOM_ROW = 478;

// A combo whose timer has just run out scores, if it had at least two
// multi-floor jumps.
void scoreCombo(GameState& state);

FloorBand findFloorBand(const GameState& state, std::int32_t y);
Intersection segmentsIntersect(IntPoint p1, IntPoint p2, IntPoint q1, IntPoint q2);
void checkLanding(GameState& state, std::int32_t oldX, std::int32_t oldY);

// True when the two states are identical bit for bit (reals compared by
// their binary64 patterns).
bool sameState(const GameState& a, const GameState& b);
