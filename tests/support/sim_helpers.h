// Small helpers for simulation tests: exact bit comparison of reals and
// scripted input sequences.
#pragma once

#include <cstdint>
#include <cstring>

#include "sim/frame_step.h"
#include "sim/game_state.h"

inline std::uint64_t bitsOf(double v) {
  std::uint64_t u;
  std::memcpy(&u, &v, sizeof u);
  return u;
}

inline double fromBits(std::uint64_t u) {
  double v;
  std::memcpy(&v, &u, sizeof v);
  return v;
}

// Reals are compared by their binary64 patterns, never with a tolerance.
#define EXPECT_BITS_EQ(actual, expected) EXPECT_EQ(bitsOf(actual), bitsOf(expected)) << (actual) << " vs " << (expected)

inline GameState freshGame(std::uint32_t seed, std::int32_t rejump = 0) {
  GameState s;
  initGame(s, rejump, seed);
  return s;
}

// Runs `frames` frames of one input; returns whether the player is still alive.
inline bool runFrames(GameState& s, std::uint8_t input, int frames) {
  bool alive = true;
  for (int i = 0; i < frames; ++i) alive = stepFrame(s, input);
  return alive;
}
